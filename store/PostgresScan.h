#pragma once

#include "store/StoredValue.h"

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The coverage run's one pass on the server store (PostgresStore): each extract's product numbers
// and summed values in lodvik_radnr order (the order of the rows in local.mdb), streamed to the
// client so that the sums are added there exactly as the SQLite store's are.
namespace dao {

class ScanProducts;
struct ScanTable;

// The reading on one connection to the server store, in its transaction (REPEATABLE READ):
// through libpq's COPY on a QPSQL connection, through a forward-only query on QODBC.
class PostgresScan {
public:
    // Reads on db, the connection of a PostgresStore; description names it in messages.
    PostgresScan(const QSqlDatabase &db, const QString &description)
        : m_db(db), m_description(description) {}

    // ExtractStore::readProducts and scanTables on this connection.
    void readProducts(ScanProducts &products, const std::function<void()> &stop);
    void scanTables(const std::vector<ScanTable *> &tables, const ScanProducts &products,
                    const std::function<void()> &stop);

    using Rows = std::function<void(QByteArrayView key, const std::vector<StoredNumber> &values)>;
    // Every row of table whose key is not Null, with its values of columns in their order, each
    // as rule reads it (a number column as local.mdb's NUMERIC column keeps it), in lodvik_radnr
    // order. false when the table or one of the columns is not there (the figure's own query
    // then says so); raises lodvik::Error when the connection fails. everyFewRows is called
    // every few thousand rows and may throw to stop the reading.
    bool readRows(const QString &table, const QString &key, const QStringList &columns,
                  ValueRule rule, const Rows &row, const std::function<void()> &everyFewRows);

    bool tableExists(const QString &name);

private:
    bool readCopy(QStringList select, const QString &from, ValueRule rule, const Rows &row,
                  const std::function<void()> &everyFewRows);
    bool readQuery(const QString &select, ValueRule rule, const Rows &row,
                   const std::function<void()> &everyFewRows);
    [[noreturn]] void fail(const QString &words) const;

    QSqlDatabase m_db;
    QString m_description;
};

} // namespace dao
