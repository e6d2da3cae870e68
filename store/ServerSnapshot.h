#pragma once

#include "store/ServerSettings.h"
#include "store/StoredValue.h"

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
class ServerConnection;

// One connection to the extract store, in a REPEATABLE READ transaction that lasts as long as
// it does: through libpq's COPY on a QPSQL connection, through a forward-only query on QODBC.
class ServerSnapshot {
public:
    // A connection of its own that reads the snapshot another connection of the operation
    // exported (ServerConnection::exportSnapshot), in a transaction that lasts as long as this.
    // Raises lodvik::Error with the server's words when the server cannot be reached or refuses.
    ServerSnapshot(const SearchSourceSettings &settings, const QString &snapshot);
    // Reads on the run's own connection to the server store, in its transaction.
    explicit ServerSnapshot(dao::Database &run);
    ~ServerSnapshot();
    ServerSnapshot(const ServerSnapshot &) = delete;
    ServerSnapshot &operator=(const ServerSnapshot &) = delete;

    // The snapshot's id, under which other connections join it while this connection lasts.
    const QString &snapshot() const { return m_snapshot; }

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

    std::unique_ptr<ServerConnection> m_own; // the connection when it is this reading's own
    QSqlDatabase m_db;
    QString m_description;
    QString m_snapshot;
};

} // namespace dao
