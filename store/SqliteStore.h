#pragma once

#include "MDlib/Error.h"
#include "store/ExtractStore.h"
#include "store/LocalDatabase.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The extract store in an SQLite file: local.mdb, or a work file of an import. One connection
// per operation, its statements kept: a query that ends hands its prepared statement back to the
// connection (reset, its values unbound), and the next run of the same SQL text takes it instead
// of preparing it again; a query that fails is finalized. Every connection has the checked sum
// (lodvik_sum) and the product collation registered.
namespace dao {

class SqliteStore : public ExtractStore {
public:
    // Opens path with sqlite3_open_v2's flags; raises lodvik::Error when SQLite cannot.
    static std::shared_ptr<SqliteStore> open(const QString &path, int flags);
    // The same for an existing file of the program's, whose first bytes must say SQLite: an
    // Access file or any other file raises with a message for the operator.
    static std::shared_ptr<SqliteStore> openExisting(const QString &path);
    // Raises with a message for the operator when path names no file a store can be (nothing
    // there, a folder, a pipe, a link into a missing folder).
    static void checkPath(const QString &path);
    // checkPath, then openExisting.
    static std::shared_ptr<SqliteStore> openFile(const QString &path);
    ~SqliteStore() override;

    std::unique_ptr<StoreRows> query(const QString &sql, const Parameters &parameters,
                                     QString *updatableTable) override;
    void execute(const QString &sql, const Parameters &parameters) override;
    bool tableExists(const QString &name) override;
    std::unique_ptr<StoreRows> product(const ProductQuery &query, const QString &product,
                                       QString *updatableTable) override;
    lodvik::Variant tableSum(const QString &table, const QString &column) override;
    void update(const QString &table, qint64 place, const QString &column,
                const lodvik::Variant &value) override;
    std::unique_ptr<TableWriter> writer(const QString &table, const QStringList &columns) override;
    void commit() override {}
    bool holdSnapshot() override;
    std::function<std::shared_ptr<ExtractStore>()> joinSnapshot() override;
    void readProducts(ScanProducts &products, const ScanStop &stop) override;
    void scanTables(const std::vector<ScanTable *> &tables, const ScanProducts &products,
                    const ScanStop &stop) override;
    void prepareIndexes(lodvik::Progress &progress, catalogue::MissingIndexes where) override;
    QString description() const override;

    sqlite3 *handle() const { return m_db; }
    // The engine's failure in the operator's words, its own words after "Detaljer:".
    [[noreturn]] void fail(const QString &sql) const;
    lodvik::Error failure(const QString &sql) const; // what fail throws
    // A read transaction that could not begin: told, then ended.
    [[noreturn]] void failRead() const;

    // A statement of sql that the connection keeps for the next query of the same text, or
    // prepares now (the rowid form of a table query when rowid is set and the table has one;
    // table then names it).
    struct Statement;
    Statement statement(const QString &sql, bool rowid);

private:
    SqliteStore() = default;
    friend struct Statement;

    struct Prepared {
        QString sql;
        sqlite3_stmt *statement;
        QString table; // the base table of the updatable (rowid) form, else empty
    };
    sqlite3 *m_db = nullptr;
    std::vector<Prepared> m_prepared;
    bool m_snapshotHeld = false;  // a read transaction holds the operation's state
    bool m_snapshotFresh = false; // begun by holdSnapshot, and taken again only by joinSnapshot
};

// A prepared statement of a connection, handed back to it when done (keep) or finalized.
struct SqliteStore::Statement {
    Statement(SqliteStore *store, const QString &sql) : store(store), sql(sql) {}
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&) = delete;
    ~Statement();
    sqlite3_stmt *get() const { return statement; }

    SqliteStore *store;
    QString sql;
    sqlite3_stmt *statement = nullptr;
    QString table;
    bool keep = true;
};

// What the SQLite file a connection has open holds, read through the connection's own
// descriptor: a file this process holds SQLite locks on must never be opened and closed again
// (closing any descriptor of a file drops every POSIX lock of the process on it).
FileKind fileKind(sqlite3 *db, const QString &what = QStringLiteral("Filen"));

// The name of an index of table that serves the product comparison of column (productCondition:
// its first column, under NOCASE), or nothing.
std::optional<QString> servingIndex(SqliteStore &db, const QString &table, const QString &column);

// A value bound to or read from an SQLite statement.
lodvik::Variant columnValue(sqlite3_stmt *statement, int column);
void bindValue(sqlite3_stmt *statement, int index, const lodvik::Variant &value);

} // namespace dao
