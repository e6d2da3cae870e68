#pragma once

#include "MDlib/Variant.h"
#include "store/ServerSettings.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QSqlQuery;

// The extract store on a PostgreSQL server (lodvikprodsok.ini's [extrakt]), behind dao::Database
// and dao::Recordset: one Qt SQL connection per operation, in one REPEATABLE READ transaction, so
// that everything the operation reads comes from one snapshot. Every table has the hidden column
// lodvik_radnr, the row's place in the SQLite store; rows are read in its order and updated by
// it, and it never shows among a query's fields.
namespace dao {

enum class Access;

class ServerConnection;

// The rows of one query, read in batches; the current row's visible fields.
class ServerRows {
public:
    ServerRows(ServerConnection &connection, const QString &sql, const QString &table);
    ~ServerRows();
    ServerRows(const ServerRows &) = delete;
    ServerRows &operator=(const ServerRows &) = delete;
    // One row made here (a sum the connection added up), named name.
    ServerRows(const QString &name, const lodvik::Variant &value);

    // The next row; false at the end. Raises lodvik::Error for a server fault.
    bool next();
    const QStringList &names() const { return m_names; }
    const std::vector<lodvik::Variant> &row() const { return m_row; }
    qint64 radnr() const { return m_radnr; }

private:
    friend class ServerConnection;
    ServerRows() = default;
    void take(QSqlQuery &query);
    bool fetch();

    ServerConnection *m_connection = nullptr;
    QString m_sql;    // for messages
    QString m_table;  // names its columns as the catalogue does
    QString m_cursor; // empty when every row is read already
    std::deque<std::vector<lodvik::Variant>> m_buffer;
    std::deque<qint64> m_radnrs;
    QStringList m_names;
    std::vector<int> m_visible; // the query's field of each visible column
    int m_radnrField = -1;
    bool m_named = false;
    std::vector<lodvik::Variant> m_row;
    qint64 m_radnr = 0;
};

class ServerConnection {
public:
    // Connects, takes the write lock for Access::Write, and begins the transaction; with a
    // snapshot (exportSnapshot of another connection) the transaction reads that one.
    ServerConnection(const SearchSourceSettings &settings, Access access,
                     const QString &snapshot = {});
    ~ServerConnection();
    ServerConnection(const ServerConnection &) = delete;
    ServerConnection &operator=(const ServerConnection &) = delete;

    // A query as the figures write it for SQLite, in the server's form. table names the
    // updatable table of a "SELECT * FROM table" query.
    std::unique_ptr<ServerRows> query(const QString &sql,
                                      const std::vector<lodvik::Variant> &values, QString *table);
    // The rows of one product, in lodvik_radnr order: all columns, or select.
    std::unique_ptr<ServerRows> productRows(const QString &table, const QString &key,
                                            const QString &select, const QString &product);
    // The checked sum of column over the rows of table (of one product when key is given).
    lodvik::Variant sum(const QString &table, const QString &column, const QString &key = {},
                        const QString &product = {});
    void execute(const QString &sql, const std::vector<lodvik::Variant> &values = {});
    void update(const QString &table, const QString &column, const lodvik::Variant &value,
                qint64 radnr);
    bool tableExists(const QString &name);
    void commit();
    QString exportSnapshot();

    QSqlDatabase database() const;
    const QString &description() const { return m_description; }
    // The server's failure in the operator's words, its own words after "Detaljer:".
    [[noreturn]] void fail(const QSqlError &error, const QString &sql) const;

private:
    friend class ServerRows;
    // The query of sql, prepared once per connection, run with values bound to its "?".
    QSqlQuery &prepared(const QString &sql, const QVariantList &values);
    void run(const QString &sql);
    // The first field of the first row of sql, as text.
    QString value(const QString &sql);
    void begin();

    std::unique_ptr<ServerLogin> m_source; // owns the connection
    QString m_description;
    QString m_begin;
    bool m_writes = false;
    bool m_open = false; // a transaction is open
    int m_cursors = 0;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_prepared;
};

// The connection settings of the program folder's server store: [extrakt] of lodvikprodsok.ini
// in the folder local.mdb lies in; nothing when local.mdb is the store.
std::optional<SearchSourceSettings> serverStoreOf(const QString &localDatabase);

} // namespace dao
