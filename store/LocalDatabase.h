#pragma once

#include "MDlib/Variant.h"
#include "store/ExtractStore.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A thin DAO-like layer over the extract store: local.mdb (an SQLite file here) or the server
// that lodvikprodsok.ini names, each behind its own class (store/ExtractStore.h). Every operation
// opens the store, reads or updates, and closes it again. A lookup that runs inside another
// operation on the same store (the pack size lookup of a figure, say) shares that operation's
// connection instead of opening a second one; no connection outlives the outermost operation,
// so nothing is cached between operations. Values are read fresh by every query. Connections
// belong to the thread that opened them.
namespace dao {

class Recordset;

class Database {
public:
    // Opens an existing SQLite file (local.mdb, a work file); a missing file, a Jet (Access) file
    // or any other non-SQLite file raises lodvik::Error with a message for the operator. Never
    // creates the file.
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
    // A database over a connection already open (a store's own code and its tests).
    explicit Database(std::shared_ptr<ExtractStore> store);

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
    // A second connection of the operation for another thread, reading the state this one holds
    // (it begins holding it): made here, opened by calling it in that thread. Empty where no
    // other connection can join it: through ODBC (psqlODBC runs each statement after a
    // transaction's first in a savepoint, where no snapshot is taken) and on a local.mdb in WAL
    // mode, whose readers do not hold a writer off. The joined connection belongs to the
    // operation and is not shared by nested opens. On local.mdb a writer waiting to commit is let
    // through first (the state is then taken again): join before the operation reads.
    std::function<Database()> JoinSnapshot();

    // The rows of one product (productQuery), in row order, as the store compares products.
    Recordset OpenProduct(const ProductQuery &query, const QString &product);
    // The checked sum (checkedSum) of column over every row of table, as the store reads a sum
    // back: Null for no value, a Long or a Double.
    lodvik::Variant TableSum(const QString &table, const QString &column);
    // A writer of rows into columns of an existing table (a load, the demo).
    std::unique_ptr<TableWriter> OpenWriter(const QString &table, const QStringList &columns);
    // The indexes the one-product queries need (catalogue::prepareIndexes).
    void PrepareIndexes(lodvik::Progress &progress, catalogue::MissingIndexes where);

    const QString &path() const;
    // "den lokala databasen X" or the server, for messages.
    QString description() const;

private:
    friend class Recordset;
    friend class ExtractScan;
    ExtractStore &store() const;
    std::shared_ptr<ExtractStore> m_store;
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
    // What the field adds to a figure that reads it by rule (store/StoredValue): the one reading
    // of a stored value as a number, on every store. Raises as Fields does.
    StoredNumber stored(int position, ValueRule rule) const;
    StoredNumber stored(const QString &name, ValueRule rule) const;
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
    Recordset(std::shared_ptr<ExtractStore> store, std::unique_ptr<StoreRows> rows,
              const QString &sql, const QString &updatableTable);
    void step();
    void current(int position) const; // raises at end of file or for a bad position

    std::shared_ptr<ExtractStore> m_store;
    std::unique_ptr<StoreRows> m_rows;
    QString m_sql;
    QString m_table; // the base table when the recordset is updatable
    bool m_eof = true;
    int m_rowsSeen = 0;
    bool m_editing = false;
    std::vector<std::pair<int, lodvik::Variant>> m_pending;
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
// What a file holds by its first 32 bytes (or fewer).
FileKind fileKindOfHead(const QByteArray &head);

} // namespace dao
