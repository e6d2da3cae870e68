#include "store/SqliteStore.h"

#include "store/ScanTables.h"
#include "store/SqliteValue.h"
#include "store/TableCatalogue.h"

#include <sqlite3.h>

#include <cmath>
#include <exception>
#include <optional>

// The coverage run's one pass on an SQLite store: an aggregate, lodvik_scan, adds each row where
// SQLite stands, so that a row costs no more than the engine's own count() and total() plus the
// look-up of its product.
namespace dao {

namespace {

// SQLite's affinity of a declared column type, as far as the key rule needs it.
bool comparesAsStored(const QByteArray &declared) {
    const QByteArray type = declared.toUpper();
    if (type.contains("INT"))
        return false;
    if (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT"))
        return true;                                // TEXT affinity: the bound text stays text
    return type.isEmpty() || type.contains("BLOB"); // no affinity: nothing converts
}

// Whether the figures' product comparison (productEquals) with a product number bound as text
// finds the stored product numbers of the key column by their product keys (productKey): only
// values stored as text can be equal, and they compare under the product collation whatever the
// column declares. Not so when the column compares in another way (a numeric affinity converts
// the bound text): the figure's query then compares, per product.
bool keyComparesAsStored(sqlite3 *db, const char *table, const char *column) {
    const char *declared = nullptr;
    return sqlite3_table_column_metadata(db, "main", table, column, &declared, nullptr, nullptr,
                                         nullptr, nullptr) == SQLITE_OK &&
           comparesAsStored(QByteArray(declared ? declared : ""));
}

struct RawStatement {
    sqlite3_stmt *statement = nullptr;
    ~RawStatement() { sqlite3_finalize(statement); }
};

// The most values a row of DTSPL or frnhist hands the pass (DTSPL's 7 added and 7 subtracted).
constexpr int maxRowValues = 16;

inline bool addValue(ExactSum &sum, sqlite3_value *stored) {
    return addNumber(sum, storedSqliteValue(stored, ValueRule::Sum));
}

// A stored value as the figure reads it (rule); nothing for a value the figure refuses, which
// the pass leaves to the figure's query.
inline std::optional<double> rowValue(sqlite3_value *value, ValueRule rule) {
    return asTotal(storedSqliteValue(value, rule));
}

// One table's pass: the aggregate lodvik_scan(key, value, ...) adds each row where SQLite
// stands, so that a row costs no more than the engine's own count() and total() plus the
// look-up of its product. The values after the key are the summed column (a sum), or the
// figure's columns in their order, the first `added` of them added and the rest subtracted.
struct Pass;

// Rows of an extract in another order than pjomr's, where each new product's look-up would be
// a miss of the cache: each row waits here with its values, its index entry fetched into the
// cache as it comes, and the batch is added in row order (each sum as before) once it is full or
// the table ends.
class Batch {
public:
    bool waiting() const { return m_count > 0; }
    void wait(Pass &pass, const char *utf8, qsizetype size, int argc, sqlite3_value **argv);
    void add(Pass &pass);

private:
    struct Row {
        enum : int { AsBefore = -2, LookUp = -3 };
        int slot = AsBefore; // or the slot, once known
        qsizetype size = 0;
        quint64 hash = 0;
        char key[24];         // folded, for LookUp
        StoredNumber value;   // a sum's
        bool refused = false; // a row's: a value the figure refuses
        double values[maxRowValues];
    };
    static constexpr int rows = 16;
    Row m_rows[rows];
    int m_count = 0;
    int m_values = 0; // in a row of DTSPL or frnhist
};

struct Pass {
    const ScanProducts *products = nullptr;
    ScanTable *table = nullptr;
    int added = 0;
    ValueRule rule = ValueRule::Sum;
    const ScanStop *stop = nullptr;
    LastProduct last;
    bool batched = false; // the rows wait in batch
    Batch batch;
    qint64 rows = 0;
    std::exception_ptr failure; // what stopped the pass from inside the engine
};

void Batch::wait(Pass &pass, const char *utf8, qsizetype size, int argc, sqlite3_value **argv) {
    Row &row = m_rows[m_count];
    if (pass.last.same(utf8, size)) {
        row.slot = Row::AsBefore;
    } else {
        pass.last.remember(utf8, size);
        if (size <= qsizetype(sizeof row.key)) {
            foldProductKey(utf8, size, row.key);
            row.size = size;
            row.hash = ScanProducts::hashOf(row.key, size);
            pass.products->prefetch(row.hash);
            row.slot = Row::LookUp;
        } else {
            row.slot = pass.products->slotOf(utf8, size); // rare: looked up at once
        }
    }
    if (pass.table->kind == ScanRequest::Kind::Sum) {
        row.value = storedSqliteValue(argv[1], ValueRule::Sum);
    } else {
        row.refused = false;
        for (int c = 1; c < argc && !row.refused; ++c) {
            const std::optional<double> v = rowValue(argv[c], pass.rule);
            row.refused = !v;
            row.values[c - 1] = v.value_or(0);
        }
    }
    m_values = argc - 1;
    if (++m_count == rows)
        add(pass);
}

void Batch::add(Pass &pass) {
    ScanTable &table = *pass.table;
    const bool sums = table.kind == ScanRequest::Kind::Sum;
    // The slots first, in row order, each fetching its product's sum into the cache.
    int slot = pass.last.slot(), found = pass.last.found();
    int products = 0, following = 0;
    for (int i = 0; i < m_count; ++i) {
        Row &row = m_rows[i];
        if (row.slot == Row::AsBefore) {
            row.slot = slot;
        } else {
            if (row.slot == Row::LookUp)
                row.slot = pass.products->find(row.key, row.size, row.hash);
            ++products;
            if (row.slot >= 0) {
                following += row.slot == found + 1;
                found = row.slot;
            }
        }
        slot = row.slot;
        if (slot >= 0)
            __builtin_prefetch(sums ? static_cast<const void *>(&table.sums[size_t(slot)])
                                    : &table.totals[size_t(slot)]);
    }
    pass.last.found(slot, found);
    // Then the rows, in their order.
    for (int i = 0; i < m_count; ++i) {
        const Row &row = m_rows[i];
        if (row.slot < 0)
            continue;
        if (sums) {
            ScanTable::SumSlot &sum = table.sums[size_t(row.slot)];
            if (!sum.refused && !addNumber(sum, row.value))
                sum.refused = true;
            continue;
        }
        ScanTable::TotalSlot &total = table.totals[size_t(row.slot)];
        if (total.refused)
            continue;
        if (row.refused) {
            total.refused = true;
            continue;
        }
        double sum = total.total;
        for (int c = 0; c < pass.added; ++c)
            sum += row.values[c];
        for (int c = pass.added; c < m_values; ++c)
            sum -= row.values[c];
        total.total = sum;
    }
    // Back to one row at a time once the rows mostly follow the row before or pjomr's order.
    if (products * 4 < m_count || following * 2 > products) {
        pass.batched = false;
        pass.last.ordered();
    }
    m_count = 0;
}

// Adds a row to its product's slot, or marks the slot refused.
void addRow(const Pass &pass, ScanTable &table, int slot, int argc, sqlite3_value **argv) {
    if (table.kind == ScanRequest::Kind::Sum) {
        ScanTable::SumSlot &sum = table.sums[size_t(slot)];
        if (!sum.refused && !addValue(sum, argv[1]))
            sum.refused = true;
        return;
    }
    ScanTable::TotalSlot &total = table.totals[size_t(slot)];
    if (total.refused)
        return;
    double sum = total.total;
    for (int c = 1; c < argc; ++c) {
        const std::optional<double> v = rowValue(argv[c], pass.rule);
        if (!v) {
            total.refused = true;
            return;
        }
        sum = c <= pass.added ? sum + *v : sum - *v;
    }
    total.total = sum;
}

void scanStep(sqlite3_context *context, int argc, sqlite3_value **argv) {
    Pass &pass = *static_cast<Pass *>(sqlite3_user_data(context));
    // No exception may cross the engine: it is kept and raised again once the statement ends.
    try {
        if (++pass.rows % 4096 == 0)
            (*pass.stop)();
        if (sqlite3_value_type(argv[0]) != SQLITE_TEXT)
            return; // never equal to a bound text under this key rule
        const auto *key = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        if (!key)
            return;
        const int size = sqlite3_value_bytes(argv[0]);
        if (pass.batched) {
            pass.batch.wait(pass, key, size, argc, argv);
            return;
        }
        const int slot = pass.last.slotOf(*pass.products, key, size);
        if (slot >= 0) // else not asked
            addRow(pass, *pass.table, slot, argc, argv);
        pass.batched = pass.last.unordered();
    } catch (...) {
        pass.failure = std::current_exception();
        sqlite3_result_error(context, "lodvik_scan", -1);
    }
}

void scanFinal(sqlite3_context *context) {
    sqlite3_result_null(context);
}

bool prepare(sqlite3 *db, const QByteArray &sql, RawStatement &s) {
    return sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s.statement, nullptr) ==
           SQLITE_OK;
}

// Reads table with sql, a lodvik_scan over it; not scanned when the table cannot be read so
// (a missing table or column, which the figure's query reports).
void runPass(sqlite3 *db, Pass &pass, ScanTable &table, const QByteArray &sql) {
    // The pass adds in rowid order: a table without rowids is left to the figures.
    RawStatement rowids, s;
    if (!prepare(db, "SELECT rowid FROM \"" + QByteArray(table.name) + "\"", rowids) ||
        !prepare(db, sql, s))
        return;
    table.start(pass.products->count());
    pass.table = &table;
    pass.failure = nullptr;
    const int rc = sqlite3_step(s.statement);
    if (pass.failure)
        std::rethrow_exception(pass.failure);
    if (pass.batch.waiting())
        pass.batch.add(pass); // the table's last rows
    table.scanned = rc == SQLITE_ROW;
    if (!table.scanned)
        table.drop();
}

void scanSums(sqlite3 *db, Pass &pass, ScanTable &table) {
    // NOT INDEXED: the table itself, in rowid order, also where an index holds both columns.
    const QByteArray sql = QStringLiteral("SELECT lodvik_scan(%1, %2) FROM \"%3\" NOT INDEXED")
                               .arg(QString::fromUtf8(table.key), QString::fromUtf8(table.column),
                                    QString::fromUtf8(table.name))
                               .toUtf8();
    pass.added = 1;
    runPass(db, pass, table, sql);
}

// The rows of a Rows extract (DTSPL, frnhist), added as the figure adds one product's rows:
// only the key and the columns the figure reads are handed to the pass, by their positions among
// the table's columns, the key's bytes as stored, as the sums take them. Each value is read by
// the request's rule; a product with a value the rule refuses is left to the figure's query.
void scanRows(sqlite3 *db, Pass &pass, ScanTable &table) {
    const ScanRequest &request = table.request;
    // The figure reads its columns by position in the table: their names here.
    RawStatement all;
    if (!prepare(db, "SELECT * FROM \"" + QByteArray(table.name) + "\"", all))
        return;
    const int columns = sqlite3_column_count(all.statement);
    if (request.added.size() + request.subtracted.size() > size_t(maxRowValues))
        return; // left to the figure's query
    QByteArray sql = "SELECT lodvik_scan(\"" + QByteArray(table.key) + "\"";
    for (const std::vector<int> *group : {&request.added, &request.subtracted})
        for (const int position : *group) {
            if (position >= columns)
                return; // the figure's query says what is missing
            sql += ", \"" +
                   QByteArray(sqlite3_column_name(all.statement, position)).replace('"', "\"\"") +
                   '"';
        }
    sql += ") FROM \"" + QByteArray(table.name) + "\" NOT INDEXED";
    pass.added = int(request.added.size());
    pass.rule = request.rule;
    runPass(db, pass, table, sql);
    pass.rule = ValueRule::Sum;
}

} // namespace

void SqliteStore::readProducts(ScanProducts &products, const ScanStop &) {
    RawStatement s;
    if (!prepare(m_db, "SELECT iblitm FROM pjomr", s))
        return;
    while (sqlite3_step(s.statement) == SQLITE_ROW)
        if (sqlite3_column_type(s.statement, 0) == SQLITE_TEXT) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s.statement, 0));
            addProduct(products, QByteArrayView(text, sqlite3_column_bytes(s.statement, 0)));
        }
}

void SqliteStore::scanTables(const std::vector<ScanTable *> &tables, const ScanProducts &products,
                             const ScanStop &stop) {
    {
        RawStatement encoding;
        if (!prepare(m_db, "PRAGMA encoding", encoding) ||
            sqlite3_step(encoding.statement) != SQLITE_ROW ||
            qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(encoding.statement, 0)),
                    "UTF-8") != 0)
            return; // the key rules compare UTF-8 bytes
    }
    Pass pass;
    pass.products = &products;
    pass.stop = &stop;
    // This may be the run's own connection: the aggregate lasts as long as the reading.
    struct Registered {
        sqlite3 *db;
        bool ok;
        ~Registered() {
            if (ok)
                sqlite3_create_function_v2(db, "lodvik_scan", -1, SQLITE_UTF8, nullptr, nullptr,
                                           nullptr, nullptr, nullptr);
        }
    } registered{m_db,
                 sqlite3_create_function_v2(m_db, "lodvik_scan", -1, SQLITE_UTF8, &pass, nullptr,
                                            scanStep, scanFinal, nullptr) == SQLITE_OK};
    if (!registered.ok)
        return;
    for (ScanTable *table : tables) {
        if (!keyComparesAsStored(m_db, table->name, table->key))
            continue; // the figure's query compares; it is asked per product
        if (table->request.required && !tableExists(QString::fromUtf8(table->request.required)))
            continue; // the figure's query says that it is missing
        if (table->kind == ScanRequest::Kind::Sum)
            scanSums(m_db, pass, *table);
        else
            scanRows(m_db, pass, *table);
    }
}

} // namespace dao
