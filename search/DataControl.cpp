#include "search/DataControl.h"

#include "search/SearchSource.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"

#include <QDate>
#include <QDateTime>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using lodvik::Error;
using lodvik::Variant;

namespace {

// Rows read per step: one screen and a little more, so the first rows show at once.
constexpr int batchSize = 64;

const QString identityAlias = QStringLiteral("lodvik_radid");
const QString writableTable = QStringLiteral("ProduktSok");

Variant toVariant(const QVariant &value) {
    if (value.isNull())
        return Variant::Null();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return Variant::Boolean(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: {
        const qlonglong n = value.toLongLong();
        if (n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
            return Variant::Long(qint32(n));
        return Variant::Double(double(n));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return Variant::Double(value.toDouble());
    case QMetaType::QDate:
        return Variant::Date(value.toDate());
    case QMetaType::QDateTime:
        return Variant::Date(value.toDateTime().date());
    case QMetaType::QByteArray:
        return Variant::String(QString::fromUtf8(value.toByteArray()));
    default:
        return Variant::String(value.toString());
    }
}

// An emptied cell is stored as no value, as the grid shows no value as an empty cell.
QVariant cellValue(const QVariant &typed) {
    const QString text = typed.toString().left(DataControl::maxCellLength);
    if (text.isEmpty())
        return QVariant(QMetaType(QMetaType::QString));
    return text;
}

bool sameValue(const QVariant &a, const QVariant &b) {
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.toString() == b.toString();
}

} // namespace

DataControl::DataControl(QObject *parent) : QAbstractTableModel(parent) {}

DataControl::~DataControl() = default;

const QStringList &DataControl::gridColumns() {
    static const QStringList columns = {QStringLiteral("Soknamn"), QStringLiteral("Produktnummer")};
    return columns;
}

void DataControl::setSource(SearchSource *source) {
    beginResetModel();
    clearRows();
    m_source = source;
    endResetModel();
}

void DataControl::setRecordSource(const QString &sql) {
    m_recordSource = sql;
}

void DataControl::clearRows() {
    m_open.reset();
    m_active = false;
    m_withIdentity = false;
    m_baseTable.clear();
    m_fields.clear();
    m_gridFields.clear();
    m_rows.clear();
    m_editRow = -1;
    m_editValues.clear();
}

[[noreturn]] void DataControl::raise(const QString &what, const QSqlError &error) const {
    const QString store = m_source ? m_source->description() : QStringLiteral("sökdatakällan");
    const QString missing = sqltext::missingObject(error.text()); // a table dropped meanwhile
    const bool sqlite = m_source && m_source->database().driver()->dbmsType() == QSqlDriver::SQLite;
    throw Error(QStringLiteral("%1 (%2):\n%3")
                    .arg(what, store,
                         missing.isEmpty() ? dao::databaseFailure(error, sqlite) : missing + '.'));
}

void DataControl::refresh() {
    // Leaving the row for a new query stores it; a refused store is told after the new rows.
    QString storeFailure;
    try {
        submitRow();
    } catch (const Error &e) {
        storeFailure = e.message();
    }

    beginResetModel();
    auto endReset = qScopeGuard([this] { endResetModel(); });
    clearRows();
    if (!m_source)
        throw Error(QStringLiteral("Det finns ingen förbindelse med sökdatakällan."));
    QSqlDatabase db = m_source->database();
    if (!db.isOpen())
        raise(QStringLiteral("Förbindelsen med sökdatakällan är bruten"), db.lastError());

    QString sql = m_recordSource;
    if (const auto query = sqltext::tableQuery(m_recordSource)) {
        m_baseTable = query->table;
        if (!m_source->rowIdentity().isEmpty()) {
            sql = QStringLiteral("SELECT %1 AS %2, * from %3%4")
                      .arg(m_source->rowIdentity(), identityAlias, query->tableText, query->rest);
            m_withIdentity = true;
        }
    }

    QSqlError error;
    std::unique_ptr<RowReader> query = m_source->read(sql, &error);
    if (!query)
        raise(QStringLiteral("Frågan kunde inte köras"), error);
    const QSqlRecord record = query->record();
    for (int i = m_withIdentity ? 1 : 0; i < record.count(); ++i)
        m_fields.append(record.fieldName(i));
    // The grid's columns stay bound even when the query has no such column (the reset).
    for (const QString &column : gridColumns()) {
        int index = fieldIndex(column);
        if (index < 0) {
            m_fields.append(column);
            index = int(m_fields.size()) - 1;
        }
        m_gridFields.append(index);
    }
    m_open = std::move(query);
    m_active = true;
    m_rows = readRows(batchSize);

    endReset.dismiss();
    endResetModel();
    if (!storeFailure.isEmpty())
        throw Error(storeFailure);
}

QList<DataControl::Row> DataControl::readRows(int count) {
    QList<Row> rows;
    if (!m_open)
        return rows;
    const int first = m_withIdentity ? 1 : 0;
    const int queryFields = m_open->record().count() - first;
    while (count-- > 0) {
        if (!m_open->next()) {
            const QSqlError error = m_open->lastError();
            m_open.reset(); // ends the read, so that writes are not held up
            if (error.isValid())
                raise(QStringLiteral("Raderna kunde inte läsas"), error);
            break;
        }
        Row row;
        if (m_withIdentity)
            row.id = m_open->value(0);
        row.values.reserve(m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i)
            row.values.append(i < queryFields ? m_source->fromStore(m_open->value(first + i))
                                              : QVariant());
        rows.append(std::move(row));
    }
    return rows;
}

void DataControl::fetchRows(int count) {
    if (!m_open)
        return;
    const int before = rowCount(QModelIndex());
    QList<Row> rows = readRows(count);
    const int after = int(m_rows.size() + rows.size()) + (m_open ? 0 : (m_active ? 1 : 0));
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        m_rows.append(std::move(rows));
        endInsertRows();
    }
}

void DataControl::fetchAll() {
    while (m_open)
        fetchRows(1024);
}

int DataControl::recordCount() {
    fetchAll();
    return int(m_rows.size());
}

int DataControl::fieldIndex(const QString &name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Variant DataControl::field(int row, const QString &columnName) const {
    if (row >= m_rows.size())
        const_cast<DataControl *>(this)->fetchAll();
    if (row < 0 || row >= m_rows.size())
        throw Error(QStringLiteral("Raden %1 finns inte i sökresultatet.").arg(row + 1));
    const int index = fieldIndex(columnName);
    if (index < 0)
        throw Error(QStringLiteral("Kolumnen %1 finns inte i sökresultatet.").arg(columnName));
    return toVariant(m_rows.at(row).values.at(index));
}

int DataControl::forEachRow(const QStringList &columnNames,
                            const std::function<void(const QList<Variant> &values)> &visit) {
    QList<int> indexes;
    for (const QString &name : columnNames) {
        const int index = fieldIndex(name);
        if (index < 0)
            throw Error(QStringLiteral("Kolumnen %1 finns inte i sökresultatet.").arg(name));
        indexes.append(index);
    }
    QList<Variant> values(columnNames.size());
    const auto give = [&](const Row &row) {
        for (qsizetype i = 0; i < indexes.size(); ++i)
            values[i] = toVariant(row.values.at(indexes.at(i)));
        visit(values);
    };
    int count = 0;
    for (const Row &row : std::as_const(m_rows)) {
        give(row);
        ++count;
    }
    while (m_open) {
        const QList<Row> rows = readRows(batchSize);
        for (const Row &row : rows) {
            give(row);
            ++count;
        }
    }
    return count;
}

int DataControl::newRow() const {
    return m_active && !m_open ? int(m_rows.size()) : -1;
}

bool DataControl::rowsEditable() const {
    return m_active && m_baseTable.compare(writableTable, Qt::CaseInsensitive) == 0;
}

int DataControl::rowCount(const QModelIndex &parent) const {
    if (parent.isValid())
        return 0;
    return int(m_rows.size()) + (newRow() >= 0 ? 1 : 0);
}

int DataControl::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(gridColumns().size());
}

QVariant DataControl::gridValue(int row, int column) const {
    if (row == m_editRow)
        return m_editValues.value(column);
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_gridFields.size())
        return {};
    return m_rows.at(row).values.value(m_gridFields.at(column));
}

QVariant DataControl::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const QVariant value = gridValue(index.row(), index.column());
    if (value.isNull())
        return QString();
    return value.toString().left(maxCellLength);
}

QVariant DataControl::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return gridColumns().value(section);
    // The record selectors: a pencil on the row being edited, a star on the new row.
    if (section == m_editRow)
        return QStringLiteral("✎");
    if (section == newRow())
        return QStringLiteral("*");
    return QString();
}

Qt::ItemFlags DataControl::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.row() == newRow() || (index.row() < m_rows.size() && rowsEditable()))
        result |= Qt::ItemIsEditable;
    return result;
}

bool DataControl::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int row = index.row();
    if (m_editRow >= 0 && m_editRow != row) {
        // The operator left the row being edited without the grid noticing: store it now.
        if (!submit())
            return false;
    }
    const QVariant typed = cellValue(value);
    if (sameValue(typed, gridValue(row, index.column())))
        return true;
    if (m_editRow != row) {
        m_editValues.clear();
        for (int column = 0; column < columnCount(); ++column)
            m_editValues.append(gridValue(row, column));
        m_editRow = row;
        emit headerDataChanged(Qt::Vertical, row, row);
    }
    m_editValues[index.column()] = typed;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool DataControl::canFetchMore(const QModelIndex &parent) const {
    return !parent.isValid() && m_open != nullptr;
}

void DataControl::fetchMore(const QModelIndex &parent) {
    if (parent.isValid())
        return;
    try {
        fetchRows(batchSize);
    } catch (const Error &e) {
        emit errorOccurred(e.message());
    }
}

bool DataControl::submit() {
    try {
        submitRow();
        return true;
    } catch (const Error &e) {
        emit errorOccurred(e.message());
        return false;
    }
}

void DataControl::revert() {
    if (m_editRow < 0)
        return;
    const int row = m_editRow;
    m_editRow = -1;
    m_editValues.clear();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

void DataControl::submitRow() {
    if (m_editRow < 0)
        return;
    const int row = m_editRow;
    const QList<QVariant> values = m_editValues;
    // The edit is taken out first: a refused store drops it and the row shows the store again.
    revert();
    if (!m_source)
        throw Error(QStringLiteral("Det finns ingen förbindelse med sökdatakällan."));
    if (row == newRow())
        storeNew(values);
    else
        storeChanged(row, values);
}

void DataControl::storeNew(const QList<QVariant> &values) {
    bool anything = false;
    for (const QVariant &value : values)
        anything = anything || !value.isNull();
    if (!anything)
        return;
    fetchAll(); // ends a server cursor's transaction, which would otherwise take the row along
    QSqlDatabase db = m_source->database();
    QSqlQuery insert(db);
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (?, ?)")
                            .arg(writableTable, gridColumns().join(QStringLiteral(", "))) +
                        m_source->returningIdentity();
    if (!insert.prepare(sql))
        raise(QStringLiteral("Produkten kunde inte läggas till"), insert.lastError());
    for (const QVariant &value : values)
        insert.addBindValue(value);
    if (!insert.exec())
        raise(QStringLiteral("Produkten kunde inte läggas till"), insert.lastError());

    Row stored;
    if (m_withIdentity)
        stored.id = m_source->returningIdentity().isEmpty()
                        ? insert.lastInsertId()
                        : (insert.next() ? insert.value(0) : QVariant());
    stored.values = QList<QVariant>(m_fields.size());
    for (int column = 0; column < m_gridFields.size(); ++column)
        stored.values[m_gridFields.at(column)] = values.value(column);
    // The typed row becomes a stored row and a new empty row appears below it.
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row + 1, row + 1);
    m_rows.append(stored);
    endInsertRows();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row + 1);
}

QString DataControl::rowCondition(const Row &row, QList<QVariant> &bindings) const {
    QStringList conditions;
    if (row.id.isValid() && !row.id.isNull()) {
        conditions.append(m_source->rowIdentity() + QStringLiteral(" = ?"));
        bindings.append(row.id);
    }
    for (int column = 0; column < m_gridFields.size(); ++column) {
        const QString name = gridColumns().at(column);
        const QVariant old = row.values.value(m_gridFields.at(column));
        if (old.isNull()) {
            conditions.append(name + QStringLiteral(" IS NULL"));
        } else {
            conditions.append(m_source->exactMatch(name));
            bindings.append(old);
        }
    }
    return conditions.join(QStringLiteral(" AND "));
}

void DataControl::storeChanged(int row, const QList<QVariant> &values) {
    if (row < 0 || row >= m_rows.size() || !rowsEditable())
        throw Error(QStringLiteral("Raden kan inte ändras här."));
    // The open read would hold up the write, or on a server take it into its cursor's transaction.
    fetchAll();
    QSqlDatabase db = m_source->database();
    QList<QVariant> bindings = values;
    QStringList assignments;
    for (const QString &column : gridColumns())
        assignments.append(column + QStringLiteral(" = ?"));
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                            .arg(writableTable, assignments.join(QStringLiteral(", ")),
                                 rowCondition(m_rows.at(row), bindings)) +
                        m_source->returningIdentity();

    beginWrite(db, QStringLiteral("Ändringen kunde inte sparas"));
    QSqlQuery update(db);
    if (!update.prepare(sql)) {
        db.rollback();
        raise(QStringLiteral("Ändringen kunde inte sparas"), update.lastError());
    }
    for (const QVariant &value : bindings)
        update.addBindValue(value);
    if (!update.exec()) {
        const QSqlError message = update.lastError();
        db.rollback();
        raise(QStringLiteral("Ändringen kunde inte sparas"), message);
    }
    // Where the write moves the row's identity, the rows returned tell both the count and the
    // new identity; drivers do not agree on the affected count of such a statement.
    int changed = 0;
    QVariant newIdentity = m_rows.at(row).id;
    if (m_source->returningIdentity().isEmpty()) {
        changed = update.numRowsAffected();
    } else {
        while (update.next()) {
            ++changed;
            newIdentity = update.value(0);
        }
    }
    if (changed != 1) {
        db.rollback();
        if (changed > 1)
            throw Error(QStringLiteral("Ändringen sparades inte: flera produkter har samma värden "
                                       "och raden kan inte skiljas från dem."));
        reloadAfterConflict(row);
        throw ConflictError(QStringLiteral(
            "Produkten har ändrats eller tagits bort av någon annan sedan den visades. "
            "Ändringen sparades inte. Sök igen för att se det som finns i databasen nu."));
    }
    if (!db.commit())
        raise(QStringLiteral("Ändringen kunde inte sparas"), db.lastError());
    if (m_withIdentity)
        m_rows[row].id = newIdentity;
    for (int column = 0; column < m_gridFields.size(); ++column)
        m_rows[row].values[m_gridFields.at(column)] = values.value(column);
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void DataControl::deleteRow(int row) {
    if (row < 0 || row >= m_rows.size())
        throw Error(QStringLiteral("Ingen produkt är vald."));
    if (!rowsEditable() || !m_source)
        throw Error(QStringLiteral("Raden kan inte tas bort här."));
    if (m_editRow == row)
        revert();
    fetchAll(); // as for a change
    QSqlDatabase db = m_source->database();
    QList<QVariant> bindings;
    const QString sql = QStringLiteral("DELETE FROM %1 WHERE %2")
                            .arg(writableTable, rowCondition(m_rows.at(row), bindings));
    beginWrite(db, QStringLiteral("Produkten kunde inte tas bort"));
    QSqlQuery remove(db);
    if (!remove.prepare(sql)) {
        db.rollback();
        raise(QStringLiteral("Produkten kunde inte tas bort"), remove.lastError());
    }
    for (const QVariant &value : bindings)
        remove.addBindValue(value);
    if (!remove.exec()) {
        const QSqlError message = remove.lastError();
        db.rollback();
        raise(QStringLiteral("Produkten kunde inte tas bort"), message);
    }
    const int removed = remove.numRowsAffected();
    if (removed != 1) {
        db.rollback();
        if (removed > 1)
            throw Error(QStringLiteral("Produkten togs inte bort: flera produkter har samma "
                                       "värden och raden kan inte skiljas från dem."));
        reloadAfterConflict(row);
        throw ConflictError(QStringLiteral(
            "Produkten har ändrats eller tagits bort av någon annan sedan den visades; "
            "den togs inte bort."));
    }
    if (!db.commit())
        raise(QStringLiteral("Produkten kunde inte tas bort"), db.lastError());
    if (m_editRow > row)
        --m_editRow;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void DataControl::beginWrite(QSqlDatabase &db, const QString &what) const {
    // A write outside a transaction could not be taken back when it touched the wrong count.
    if (!db.transaction())
        raise(what, db.lastError());
}

void DataControl::reloadAfterConflict(int row) {
    const Row &shown = m_rows.at(row);
    if (!shown.id.isValid() || shown.id.isNull())
        return; // nothing tells the row apart; it keeps what was read
    QSqlQuery query(m_source->database());
    query.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
            .arg(gridColumns().join(QStringLiteral(", ")), writableTable, m_source->rowIdentity()));
    query.addBindValue(shown.id);
    if (!query.exec())
        return; // the conflict itself is what the operator is told
    if (query.next()) {
        for (int column = 0; column < m_gridFields.size(); ++column)
            m_rows[row].values[m_gridFields.at(column)] = m_source->fromStore(query.value(column));
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    } else {
        // Deleted, or (where the identity moves on every update) changed beyond recognition:
        // either way the row as shown is gone.
        if (m_editRow > row)
            --m_editRow;
        beginRemoveRows(QModelIndex(), row, row);
        m_rows.removeAt(row);
        endRemoveRows();
    }
}
