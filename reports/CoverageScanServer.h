#pragma once

#include "data/SearchSource.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// The coverage run's one-pass reading of an extract store on a PostgreSQL server: each
// extract's product numbers and summed values in lodvik_radnr order (the order of the rows in
// local.mdb), streamed to the client so that the sums are added there exactly as the SQLite
// store's are. Every connection of a run reads the same snapshot of the store.
namespace dao {
class Database;
}

namespace reports {

// One value of a summed column as local.mdb would hold it: the catalogue's number columns are
// NUMERIC, which keeps a whole number as an integer.
struct ServerValue {
    enum class Kind { Null, Integer, Real, NotANumber };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
};

// The value local.mdb's NUMERIC column would give for a double: an integer when it is whole.
ServerValue numericValue(double value);
// The same for a number the server sends as text (numeric): integer text stays an integer.
ServerValue numericValue(QByteArrayView text);

// One connection to the extract store, in a REPEATABLE READ transaction that lasts as long as
// it does: through libpq's COPY on a QPSQL connection, through a forward-only query on QODBC.
class ServerSnapshot {
public:
    // Opens a connection from the settings and starts its transaction; with a snapshot of
    // another connection of the run (snapshot()), reads exactly what that one reads. Raises
    // lodvik::Error with the server's words when the server cannot be reached or refuses.
    explicit ServerSnapshot(const SearchSourceSettings &settings, const QString &snapshot = {});
    // Reads on the run's own connection to the server store, in its transaction.
    explicit ServerSnapshot(dao::Database &run);
    ~ServerSnapshot();
    ServerSnapshot(const ServerSnapshot &) = delete;
    ServerSnapshot &operator=(const ServerSnapshot &) = delete;

    // The snapshot's id, under which other connections join it while this connection lasts.
    const QString &snapshot() const { return m_snapshot; }

    using Row = std::function<void(QByteArrayView key, const ServerValue &value)>;
    // Every row of table whose key is not Null, with its value of column, in lodvik_radnr order.
    // false when the table or one of the columns is not there (the figure's own query then says
    // so); raises lodvik::Error when the connection fails. everyFewRows is called every few
    // thousand rows and may throw to stop the reading.
    bool readColumn(const QString &table, const QString &key, const QString &column, const Row &row,
                    const std::function<void()> &everyFewRows);
    using Rows = std::function<void(QByteArrayView key, const std::vector<ServerValue> &values)>;
    // The same with the values of several columns, in their order; an empty name stands for a
    // Null in its place.
    bool readRows(const QString &table, const QString &key, const QStringList &columns,
                  const Rows &row, const std::function<void()> &everyFewRows);

    bool tableExists(const QString &name);

private:
    bool readCopy(QStringList select, const QString &from, const Rows &row,
                  const std::function<void()> &everyFewRows);
    bool readQuery(const QString &select, const Rows &row,
                   const std::function<void()> &everyFewRows);
    [[noreturn]] void fail(const QString &words) const;

    std::unique_ptr<SearchSource> m_source; // the connection when it is this reading's own
    QSqlDatabase m_db;
    QString m_description;
    QString m_snapshot;
};

// The snapshot of the run's connection that the scan's own connections join: empty on
// local.mdb, and through ODBC, where the scan reads on the run's connection instead (psqlODBC
// runs each statement after a transaction's first in a savepoint, where no snapshot is taken).
QString scanSnapshot(dao::Database &run);

} // namespace reports
