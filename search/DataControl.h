#pragma once

#include "MDlib/Error.h"
#include "MDlib/Variant.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <memory>

class QSqlError;

class QSqlDatabase;
class RowReader;
class SearchSource;

// An edit or delete refused because someone else changed or removed the row since it was read.
class ConflictError : public lodvik::Error {
public:
    using Error::Error;
};

// The window's data control: a record source (query text) run on the search data source, with
// the rows of its last run. It is also the grid's model: the columns Soknamn and Produktnummer,
// edits stored to ProduktSok when the operator leaves the row, and an empty new row at the end
// for a new product. Every write checks the row's identity and old values, so a row that someone
// else changed or removed meanwhile is never overwritten, and no other row is ever touched.
// It holds no widgets; failures are raised, or signalled where Qt's views call in.
class DataControl : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DataControl(QObject *parent = nullptr);
    ~DataControl() override;

    // The source the queries run on; not owned. nullptr disconnects (refresh then raises).
    void setSource(SearchSource *source);
    SearchSource *source() const { return m_source; }

    void setRecordSource(const QString &sql);
    const QString &recordSource() const { return m_recordSource; }

    // Runs the record source again. A pending edit is stored first. Raises lodvik::Error with the
    // driver's message when the query is refused or the connection is lost; the rows are then
    // empty.
    void refresh();

    // The rows of the last query, all of them: reads what the grid has not needed yet. (The
    // grid's rowCount counts the rows read so far and the empty new row.)
    int recordCount();
    // A column of a row by name, without regard to case; raises for an unknown column or row.
    lodvik::Variant field(int row, const QString &columnName) const;
    // Hands every row of the last query to visit, in order, as the values of the named columns
    // (as field() gives them), reading the rest of the result without keeping it: for a reader
    // that goes through a result of any size once, as the command line does. The data control
    // then holds only the rows it held before, as if the result ended there. Returns the number
    // of rows; raises for an unknown column or when the rows cannot be read.
    int forEachRow(const QStringList &columnNames,
                   const std::function<void(const QList<lodvik::Variant> &values)> &visit);
    // The columns of the last query, without the hidden row identity.
    QStringList fieldNames() const { return m_fields; }

    // Deletes one row from ProduktSok at once. Raises lodvik::Error when there is no such row or
    // the store refuses, ConflictError when the row was changed or removed meanwhile.
    void deleteRow(int row);
    // Stores the row being edited (or the new row being typed); nothing when none is pending.
    // Raises like deleteRow; after a failure the edit is dropped and the row shows the store.
    void submitRow();
    bool hasPendingEdit() const { return m_editRow >= 0; }
    int pendingRow() const { return m_editRow; }
    // The grid row of the empty new row, or -1 while rows remain to be fetched.
    int newRow() const;

    static constexpr int maxCellLength = 50;
    static const QStringList &gridColumns();

    int rowCount(const QModelIndex &parent) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

public slots:
    // Called by the grid when an edited cell is left with Enter: stores the row.
    bool submit() override;
    // Called by the grid on Escape: drops the pending edit.
    void revert() override;

signals:
    // A failure where the grid called in and nothing can be raised; the window tells the operator.
    void errorOccurred(const QString &message);

private:
    struct Row {
        QVariant id;            // the row identity; invalid when the source has none
        QList<QVariant> values; // aligned with m_fields
    };

    void clearRows();
    QList<Row> readRows(int count);
    void fetchRows(int count);
    void fetchAll();
    int fieldIndex(const QString &name) const;
    QVariant gridValue(int row, int column) const;
    bool rowsEditable() const;
    void storeNew(const QList<QVariant> &values);
    void storeChanged(int row, const QList<QVariant> &values);
    QString rowCondition(const Row &row, QList<QVariant> &bindings) const;
    void reloadAfterConflict(int row);
    void beginWrite(QSqlDatabase &db, const QString &what) const;
    [[noreturn]] void raise(const QString &what, const QSqlError &error) const;

    SearchSource *m_source = nullptr;
    QString m_recordSource;
    QString m_baseTable;               // the table of a "SELECT * FROM table" record source
    std::unique_ptr<RowReader> m_open; // the query while rows remain to be read
    bool m_active = false;             // the last refresh succeeded
    bool m_withIdentity = false;
    QStringList m_fields;
    QList<int> m_gridFields; // per grid column, its index in m_fields
    QList<Row> m_rows;
    int m_editRow = -1;
    QList<QVariant> m_editValues; // per grid column
};
