#pragma once

#include "MDlib/Variant.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A thin DAO-like layer over the local store local.mdb, which is an SQLite file here.
// Every operation opens the database, reads or updates, and closes it again. A lookup that runs
// inside another operation on the same file (the pack size lookup of a figure, say) shares that
// operation's connection instead of opening a second one; no connection outlives the outermost
// operation, so nothing is cached between operations. Within one, a query that ends hands its
// prepared statement back to the connection (reset, its values unbound), and the next run of the
// same SQL text takes it instead of preparing it again; a query that fails is finalized. Values
// are read fresh by every query. Connections belong to the thread that opened them.
namespace dao {

class Recordset;
class ServerRows;
struct ProductQuery;

// Whether an operation only reads the extract store, or also writes it (the date conversion).
enum class Access { Read, Write };

// Values bound to the ? of a statement, in order.
using Parameters = std::vector<lodvik::Variant>;

class Database {
public:
    // Opens an existing local store; a missing file, a Jet (Access) file or any other non-SQLite
    // file raises lodvik::Error with a message for the operator. Never creates the file.
    static Database OpenDatabase(const QString &path);
    // Creates a new empty SQLite file (the schema and demo code use this); raises when it exists.
    static Database CreateDatabase(const QString &path);
    // The extract store of the program folder that localDatabase (its local.mdb) lies in: the
    // PostgreSQL server named by [extrakt] of lodvikprodsok.ini in that folder, else local.mdb
    // itself, opened as OpenDatabase opens it. The one place where the store is chosen, once per
    // operation: a nested open while the operation holds its store shares that connection, and
    // on the server its transaction (REPEATABLE READ: one snapshot for the whole operation, READ
    // ONLY for Access::Read). Access::Write waits for any other writer of the server store first
    // and keeps it waiting until the operation ends; its changes last only through Commit().
    static Database OpenExtractStore(const QString &localDatabase, Access access = Access::Read);

    Database(Database &&other) noexcept;
    Database &operator=(Database &&other) noexcept;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;
    ~Database();

    // Runs a query; the recordset stands on its first row, or at end of file when empty.
    Recordset OpenRecordset(const QString &sql, const Parameters &parameters = {});
    // Opens a table by name; raises when the table does not exist.
    Recordset OpenTable(const QString &name);
    // Runs a statement that returns no rows.
    void Execute(const QString &sql, const Parameters &parameters = {});
    bool TableExists(const QString &name);
    // Raises as OpenTable does when the table does not exist. A table found once is not looked
    // up again on this connection until a statement run through Execute may have changed the
    // schema.
    void RequireTable(const QString &name);
    void Close();
    // Makes the operation's changes so far permanent: on the server store commits its
    // transaction (the next statement begins a new one); SQLite commits every statement itself.
    void Commit();

    // Holds one state of the store for the rest of the operation, so that every query of it,
    // and every connection that joins it (JoinSnapshot), reads that state. The server store's
    // operation reads one snapshot from its start; on local.mdb this begins a read transaction,
    // whose lock keeps a writer from committing until the operation ends. Call it once what the
    // operation writes itself (its indexes) is written. True when it began the state now.
    bool holdSnapshot();
    // Whether another connection can join the state this one holds: not through ODBC (psqlODBC
    // runs each statement after a transaction's first in a savepoint, where no snapshot is
    // taken) and not on a local.mdb in WAL mode, whose readers do not hold a writer off.
    bool snapshotJoinable();
    // A second connection of the operation, for another thread, that reads the state this one
    // holds (holdSnapshot); it belongs to the operation and is not shared by nested opens. A
    // writer waiting to commit on local.mdb is let through first when this connection began the
    // state itself (the state is then taken again): join before the operation reads.
    Database JoinSnapshot();
    // The same on the server store from another thread, by the snapshot's id (exportSnapshot of
    // the operation's connection): a connection belongs to the thread that opened it.
    static Database JoinSnapshot(const QString &localDatabase, const QString &snapshot);

    // The rows of one product (dao::productQuery, forProduct on SQLite; the server's product
    // comparison in lodvik_radnr order on the server store).
    Recordset OpenProduct(const ProductQuery &query, const QString &product);
    // The checked sum (checkedSum) of column over every row of table, as the store reads a sum
    // back: Null for no value, a Long or a Double.
    lodvik::Variant TableSum(const QString &table, const QString &column);

    const QString &path() const;
    // The SQLite connection; nullptr on the server store.
    sqlite3 *handle() const;
    bool isServer() const;
    // The server store's connection, inside the operation's transaction; invalid on SQLite.
    QSqlDatabase serverDatabase() const;
    // The snapshot of the operation's transaction, for JoinSnapshot; empty on SQLite.
    QString exportSnapshot();
    // "den lokala databasen X" or the server, for messages.
    QString description() const;

    struct Connection;

private:
    friend class Recordset;
    explicit Database(std::shared_ptr<Connection> connection);
    static Database open(const QString &path, int flags);
    // The server store the settings of localDatabase's folder name, or local.mdb.
    static Database openStore(const QString &localDatabase, Access access, const QString &snapshot);
    std::shared_ptr<Connection> m_connection;
};

class Recordset {
public:
    Recordset(Recordset &&other) noexcept;
    Recordset &operator=(Recordset &&other) noexcept;
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;
    ~Recordset();

    bool isEOF() const { return m_eof; }
    void MoveFirst();
    void MoveNext();
    // Rows reached so far: above 0 as soon as the query returned a row.
    int RecordCount() const { return m_rowsSeen; }
    // The rowid of the current row of an updatable recordset ("SELECT * FROM table"), or its
    // lodvik_radnr on the server store; 0 for other queries and at end of file.
    qint64 rowid() const;

    int fieldCount() const;
    QString fieldName(int position) const;
    // A field by name, without regard to case; raises for an unknown name.
    lodvik::Variant Fields(const QString &name) const;
    // A field by 0-based position; raises for a position past the last column.
    lodvik::Variant Fields(int position) const;
    // The position at which Fields(name) reads; raises for an unknown name. For a walk over many
    // rows that reads a field of each.
    int position(const QString &name) const;
    // The number a field holds when the store holds a number there (what Fields(...).number()
    // gives then), without making a Variant; nothing for any other value. For the sums that read
    // a field of every row.
    std::optional<double> storedNumber(int position) const;
    std::optional<double> storedNumber(const QString &name) const;
    // The bytes a field holds when the store holds a blob there (Fields gives them as a text),
    // as x'…' for a message; nothing for any other value.
    std::optional<QString> storedBlob(int position) const;
    std::optional<QString> storedBlob(const QString &name) const;

    // Changes the current row of a "SELECT * FROM table" recordset: Edit, set fields, Update.
    void Edit();
    void SetField(const QString &name, const lodvik::Variant &value);
    void Update();
    void Close();

private:
    friend class Database;
    // Gives the statement back to its connection's cache when the query is over, or finalizes
    // it when it failed (keep false) or has no connection to go back to.
    struct Release {
        Database::Connection *connection = nullptr;
        QString sql;
        QString table;
        bool keep = true;
        void operator()(sqlite3_stmt *statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Release>;

    Recordset(std::shared_ptr<Database::Connection> connection, Statement statement,
              const QString &sql, const QString &updatableTable);
    Recordset(std::shared_ptr<Database::Connection> connection, std::unique_ptr<ServerRows> rows,
              const QString &sql, const QString &updatableTable);
    void step();

    std::shared_ptr<Database::Connection> m_connection;
    Statement m_statement;
    std::unique_ptr<ServerRows> m_rows; // the server store's rows instead of a statement
    QString m_sql;
    QString m_table;      // the base table when the recordset is updatable
    int m_firstField = 0; // 1 when column 0 is the hidden rowid
    bool m_eof = true;
    int m_rowsSeen = 0;
    bool m_editing = false;
    QHash<int, lodvik::Variant> m_pending;
    mutable QString m_lastName; // the field Fields(name) found last, at m_lastPosition
    mutable int m_lastPosition = -1;
};

// A one-product query as a figure runs it: "SELECT <select> FROM <table> WHERE <key> = ? COLLATE
// NOCASE" (the product's sum), or "SELECT * FROM <table> WHERE <key> = ? COLLATE NOCASE" (its
// rows). sql is the text for a product without Latin-1 letters; forProduct gives any product's.
struct ProductQuery {
    QString sql;
    QString table;
    QString key;
    QString select; // empty for the product's rows
    QString summed; // the column of a checked sum (productSumQuery), else empty
    QString alias;  // its name in the result
};
ProductQuery productQuery(const QString &table, const QString &key, const QString &select = {});
// "SELECT checkedSum(table, column) AS alias FROM table WHERE key = ? COLLATE NOCASE".
ProductQuery productSumQuery(const QString &table, const QString &key, const QString &column,
                             const QString &alias);

// A query with the values bound to its "?".
struct BoundQuery {
    QString sql;
    Parameters parameters;
};
// The query for one product: its rows are those whose product number folds as the product's
// (productCondition), read in row order as one key's rows are, so that a sum adds them in the
// same order whichever case variants they are stored in.
BoundQuery forProduct(const ProductQuery &query, const QString &product);

// The name of an index of table that serves the product comparison of column (productCondition:
// its first column, under NOCASE), or nothing.
std::optional<QString> servingIndex(Database &db, const QString &table, const QString &column);

// A value bound to or read from an SQLite statement.
lodvik::Variant columnValue(sqlite3_stmt *statement, int column);
void bindValue(sqlite3_stmt *statement, int index, const lodvik::Variant &value);

// The message for a value in a column that a figure sums when the value is no number: a text
// (given as it is), a blob (given as x'…') or an infinity (given as stored).
enum class NotANumber { Text, Blob, Infinite };
QString notANumberMessage(const QString &table, const QString &column, const QString &value,
                          NotANumber kind = NotANumber::Text);
// The message for a sum of a column that leaves the range of numbers.
QString sumOverflowMessage(const QString &table, const QString &column);

// The SQL expression "sum(column)" for a column of table, summing as SQLite's SUM does (same
// order, same integer and floating-point rules, Null without values), except that it stops the
// query with notANumberMessage at a text that is no number, a blob or an infinity instead of
// counting it, and with sumOverflowMessage where SUM would overflow (an English "integer
// overflow", an infinity, or Null for a NaN). The texts "" and " " count as 0, as NullToValue
// counts them. Works on the connections of this layer.
QString checkedSum(const QString &table, const QString &column);

// What a file holds, by its first bytes. An empty file counts as SQLite (SQLite takes it as a new
// store). Raises lodvik::Error "<what> <path> kan inte läsas" when the file cannot be read.
enum class FileKind { Sqlite, Access, Other };
FileKind fileKind(const QString &path, const QString &what = QStringLiteral("Filen"));
// The same for the file a connection has open, read through the connection's own descriptor: a
// file this process holds SQLite locks on must never be opened and closed again (closing any
// descriptor of a file drops every POSIX lock of the process on it).
FileKind fileKind(sqlite3 *db, const QString &what = QStringLiteral("Filen"));

} // namespace dao
