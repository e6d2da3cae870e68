#pragma once

#include "MDlib/Variant.h"
#include "store/ServerSettings.h"
#include "store/StoredValue.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lodvik {
class Progress;
}
namespace catalogue {
enum class MissingIndexes;
}

// The extract store: the tables the figures and the coverage read. On one workstation that is
// local.mdb in the program folder; a business with several workstations puts the tables on a
// PostgreSQL server prepared with server/extrakt-postgresql.sql and names it in the section
// [extrakt] of lodvikprodsok.ini, with the keys of [sokdata] (driver QPSQL or QODBC).
//
// One class per server stands behind dao::Database and dao::Recordset: SqliteStore for local.mdb
// (and any other SQLite file of the program's), PostgresStore for the server (QPSQL, or QODBC as
// a mode of its own). Database::OpenExtractStore picks one where an operation starts; nothing
// above this folder asks which one it talks to.
namespace dao {

// Values bound to the ? of a statement, in order.
using Parameters = std::vector<lodvik::Variant>;

// Whether an operation only reads the extract store, or also writes it (the date conversion).
enum class Access { Read, Write };

struct ProductQuery;
class ScanProducts;
struct ScanTable;
// Called every few thousand rows of the scan; throws to stop it.
using ScanStop = std::function<void()>;

// The rows of one query, standing on a row once next() said so.
class StoreRows {
public:
    virtual ~StoreRows();
    // Moves to the next row (the first one on the first call); false past the last. Raises
    // lodvik::Error with the store's message when reading fails.
    virtual bool next() = 0;
    // Back before the first row; false when the store cannot read the rows again.
    virtual bool rewind() = 0;
    virtual int fieldCount() const = 0;
    virtual QString fieldName(int position) const = 0;
    // The position of a field by name, without regard to case (of two fields of one name, the
    // last); -1 when there is none.
    virtual int find(const QString &name) const = 0;
    virtual lodvik::Variant value(int position) const = 0;
    // What the value adds to a figure that reads it by rule (store/StoredValue).
    virtual StoredNumber number(int position, ValueRule rule) const = 0;
    // The bytes of a blob as x'…' for a message; nothing for any other value.
    virtual std::optional<QString> blob(int position) const = 0;
    // The row's place (rowid, lodvik_radnr) in an updatable query; 0 in any other.
    virtual qint64 place() const = 0;
};

// One operation's connection to the store. Its methods raise lodvik::Error with a message for
// the operator (the store's own words after "Detaljer:").
class ExtractStore {
public:
    virtual ~ExtractStore();

    // A query as the figures write it (SQLite's dialect); updatableTable gets the table of a
    // "SELECT * FROM table" query, whose rows can be changed (update), else empty.
    virtual std::unique_ptr<StoreRows> query(const QString &sql, const Parameters &parameters,
                                             QString *updatableTable) = 0;
    // A statement without rows; without parameters it may hold several.
    virtual void execute(const QString &sql, const Parameters &parameters) = 0;
    virtual bool tableExists(const QString &name) = 0;
    // The rows of one product (productQuery), in row order; updatable when they are a table's.
    virtual std::unique_ptr<StoreRows> product(const ProductQuery &query, const QString &product,
                                               QString *updatableTable) = 0;
    // The checked sum (checkedSum) of column over every row of table: Null for no value, a Long
    // or a Double.
    virtual lodvik::Variant tableSum(const QString &table, const QString &column) = 0;
    // Sets column of the row at place (StoreRows::place) of table.
    virtual void update(const QString &table, qint64 place, const QString &column,
                        const lodvik::Variant &value) = 0;
    // A writer of rows into columns of table, which must exist.
    virtual std::unique_ptr<class TableWriter> writer(const QString &table,
                                                      const QStringList &columns) = 0;
    // Makes the changes so far permanent (the server commits; SQLite commits every statement).
    virtual void commit() = 0;

    // Holds one state of the store for the rest of the operation (Database::holdSnapshot).
    virtual bool holdSnapshot() = 0;
    // A way for another thread into the state this connection holds: made here, called there
    // (a connection belongs to the thread that opened it). Empty when no other connection can
    // join this one's state; the operation then reads on this connection alone.
    virtual std::function<std::shared_ptr<ExtractStore>()> joinSnapshot() = 0;

    // The coverage run's one pass (ExtractScan): pjomr's product numbers into products, and the
    // rows of each table, added into its slots by product key in row order. A table the pass
    // cannot read as the figure's query reads it stays unscanned, left to that query.
    virtual void readProducts(ScanProducts &products, const ScanStop &stop) = 0;
    virtual void scanTables(const std::vector<ScanTable *> &tables, const ScanProducts &products,
                            const ScanStop &stop) = 0;

    // The indexes the one-product queries need (catalogue::prepareIndexes).
    virtual void prepareIndexes(lodvik::Progress &progress, catalogue::MissingIndexes where) = 0;

    // "den lokala databasen X" or the server, for messages.
    virtual QString description() const = 0;

    // The local.mdb this connection stands for (the program folder's, for the server).
    QString path;
    // Tables found once (Database::RequireTable), names as given; cleared by a statement that
    // may change the schema.
    QSet<QString> requiredTables;
};

// A writer of rows into one table of a store, as a load or the demo fills it: set the values
// of a row by position, then write it.
class TableWriter {
public:
    virtual ~TableWriter();
    virtual void setNull(int position) = 0;
    virtual void setInteger(int position, qint64 value) = 0;
    virtual void setReal(int position, double value) = 0;
    virtual void setText(int position, QByteArrayView utf8) = 0;
    virtual void setBlob(int position, QByteArrayView bytes) = 0;
    void set(int position, const lodvik::Variant &value);
    // Writes the row and leaves every value Null for the next; raises lodvik::Error.
    virtual void write() = 0;
};

} // namespace dao

// The settings of [extrakt] in the program folder's lodvikprodsok.ini; nothing when there is no
// such section, and local.mdb is the store. Raises lodvik::Error for an unknown driver or a bad
// port.
std::optional<SearchSourceSettings> readExtractStoreSettings(const QString &appPath);

// A connection to the server store the settings name, with the search source's time limits;
// raises lodvik::Error with a message for the operator when it cannot be reached.
std::unique_ptr<ServerLogin> openExtractServer(const SearchSourceSettings &settings);

// The column every server table has beside the extract's own: the row's place, in which the
// server does what SQLite does in rowid order. The operator never sees it.
inline constexpr char extractRowNumberColumn[] = "lodvik_radnr";

// The advisory lock every load of the server store takes first, so that two loads never mix.
inline constexpr qint64 extractLoadLockKey = 0x4c6f6476696b4c44; // "LodvikLD"
