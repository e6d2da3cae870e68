#include "reports/CoverageScan.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "data/CheckedSum.h"
#include "data/LocalDatabase.h"
#include "data/ProductKey.h"
#include "data/ServerStore.h"
#include "data/TableCatalogue.h"
#include "figures/DpFigures.h"
#include "figures/FigureQuery.h"
#include "figures/PjFigures.h"
#include "reports/CoverageScanServer.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <QHashFunctions>

using lodvik::Variant;

namespace reports {

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

struct Stopped {};

// Whether the n bytes at a and at b are equal: inline for the short numbers of most products,
// where a call of memcmp costs more than the comparison.
inline bool sameBytes(const char *a, const char *b, size_t n) {
    const auto word = [](const char *p) {
        quint64 w;
        std::memcpy(&w, p, 8);
        return w;
    };
    if (n >= 8 && n <= 16) // two words, overlapping when n < 16
        return ((word(a) ^ word(b)) | (word(a + n - 8) ^ word(b + n - 8))) == 0;
    if (n > 16)
        return std::memcmp(a, b, n) == 0;
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

using Stop = std::function<void()>;

} // namespace

// The products of pjomr by their keys (dao::productKey), each with a slot; products whose keys
// are equal share one. Made before the scans and only read by both threads: an open-addressing
// table over one buffer of key bytes, so that a row's look-up folds its key on the stack and
// allocates nothing.
class CoverageScan::Products {
public:
    // The slot of the product whose number is size bytes at utf8, or -1 when it is none of them.
    int slotOf(const char *utf8, qsizetype size) const { return slotOf(utf8, size, -1); }

    // As slotOf, trying the slot guess first (when it is one): extracts mostly list their
    // products in pjomr's order, so that the slot after the row before's is the likely one, and
    // its key lies beside that one's, where a probe of the index is a miss of the cache.
    int slotOf(const char *utf8, qsizetype size, int guess) const {
        if (m_index.empty())
            return -1;
        char stack[128];
        std::string heap;
        char *key = stack;
        if (size > qsizetype(sizeof stack)) {
            heap.resize(size_t(size));
            key = heap.data();
        }
        dao::foldProductKey(utf8, size, key);
        if (guess >= 0 && guess < m_slots) {
            const quint32 start = m_keyStarts[size_t(guess)];
            if (m_keyStarts[size_t(guess) + 1] - start == quint32(size) &&
                sameBytes(m_bytes.data() + start, key, size_t(size)))
                return guess;
        }
        return find(key, size, hashOf(key, size));
    }

    // The slot of the product whose folded key (dao::foldProductKey) of the given hash (hashOf)
    // is size bytes at key, or -1.
    int find(const char *key, qsizetype size, quint64 hash) const {
        if (m_index.empty())
            return -1;
        for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Entry &e = m_index[i];
            if (e.slot < 0)
                return -1;
            if (e.hash == quint32(hash >> 32) && e.size == quint32(size) &&
                std::memcmp(m_bytes.data() + e.offset, key, size_t(size)) == 0)
                return e.slot;
        }
    }

    // Fetches the index entry where find(..., hash) starts into the cache.
    void prefetch(quint64 hash) const {
        if (!m_index.empty())
            __builtin_prefetch(&m_index[hash & m_mask]);
    }

    // Gives the product a slot, the one of an equal key when there is one.
    void add(QByteArrayView utf8) {
        if (slotOf(utf8.data(), utf8.size()) >= 0)
            return;
        if (size_t(m_slots + 1) * 2 > m_index.size())
            grow();
        const QByteArray key = dao::productKey(utf8);
        const quint64 hash = hashOf(key.constData(), key.size());
        insert(hash & m_mask,
               {quint32(hash >> 32), quint32(m_bytes.size()), quint32(key.size()), m_slots++});
        m_bytes.append(key.constData(), size_t(key.size()));
        m_keyStarts.push_back(quint32(m_bytes.size()));
    }

    int count() const { return m_slots; }

private:
    // A small entry (two to a cache line's quarter) keeps the index of 128,000 products within
    // the processor's cache; the hash's upper half spares most key comparisons.
    struct Entry {
        quint32 hash = 0;
        quint32 offset = 0;
        quint32 size = 0;
        qint32 slot = -1;
    };

public:
    // Product numbers are short: eight bytes at a time, multiplied and mixed, is hash enough for
    // the table and costs a few cycles, where a general string hash costs more than the row.
    static quint64 hashOf(const char *key, qsizetype size) {
        constexpr quint64 k = 0x9E3779B97F4A7C15ull;
        quint64 h = quint64(size) * k;
        qsizetype i = 0;
        for (; i + 8 <= size; i += 8) {
            quint64 chunk;
            std::memcpy(&chunk, key + i, 8);
            h = (h ^ chunk) * k;
            h ^= h >> 29;
        }
        if (i < size) {
            quint64 chunk = 0;
            std::memcpy(&chunk, key + i, size_t(size - i));
            h = (h ^ chunk) * k;
        }
        h ^= h >> 32;
        h *= k;
        return h ^ (h >> 29);
    }

private:
    void insert(size_t i, const Entry &entry) {
        while (m_index[i].slot >= 0)
            i = (i + 1) & m_mask;
        m_index[i] = entry;
    }

    void grow() {
        const std::vector<Entry> old = std::move(m_index);
        m_index.assign(std::max<size_t>(64, old.size() * 2), Entry());
        m_mask = m_index.size() - 1;
        for (const Entry &e : old)
            if (e.slot >= 0)
                insert(hashOf(m_bytes.data() + e.offset, e.size) & m_mask, e);
    }

    std::vector<Entry> m_index; // a power of two of entries, at most half of them used
    size_t m_mask = 0;
    std::string m_bytes;                 // the keys one after another, in the order of their slots
    std::vector<quint32> m_keyStarts{0}; // by slot, where its key starts in m_bytes; then the end
    int m_slots = 0;
};

namespace {

// The rows of a product mostly follow one another: the slot of the row before, found again by
// comparing its bytes as stored. Another product is looked for at the slot after the last one
// found first.
class LastProduct {
public:
    int slotOf(const CoverageScan::Products &products, const char *utf8, qsizetype size) {
        if (size == m_size && sameBytes(m_key.data(), utf8, size_t(size)))
            return m_slot;
        return another(products, utf8, size);
    }

    // For rows that wait in a batch (Batch): whether the number is the row before's, and which
    // it is otherwise.
    bool same(const char *utf8, qsizetype size) const {
        return size == m_size && sameBytes(m_key.data(), utf8, size_t(size));
    }
    void remember(const char *utf8, qsizetype size) {
        m_key.assign(utf8, size_t(size));
        m_size = size;
    }
    // The slot of the last row and the last slot found, once the rows before were looked up.
    int slot() const { return m_slot; }
    int found() const { return m_found; }
    void found(int slot, int found) {
        m_slot = slot;
        m_found = found;
    }
    // Whether the new products of the last rows did not follow pjomr's order.
    bool unordered() const { return m_unordered; }
    void ordered() { m_unordered = false; }

private:
    // Out of line: a row of the product before, the most, is spared its frame.
    [[gnu::noinline]] int another(const CoverageScan::Products &products, const char *utf8,
                                  qsizetype size) {
        // In an extract in another order than pjomr's each guess would cost a miss of the cache:
        // after a wrong one new products are looked up without, until one follows the last one
        // found again.
        const int next = m_found + 1;
        m_slot = products.slotOf(utf8, size, m_unordered ? -1 : next);
        m_unordered = m_slot != next;
        if (m_slot >= 0)
            m_found = m_slot;
        m_key.assign(utf8, size_t(size));
        m_size = size;
        return m_slot;
    }

    std::string m_key;
    qsizetype m_size = -1;
    int m_slot = -1;
    int m_found = -1;         // the last slot found
    bool m_unordered = false; // the last new product did not follow the one found before
};

} // namespace

struct CoverageScan::Table {
    enum class Kind { Sum, DpRows, HistoryRows };
    Kind kind;
    const char *name;
    const char *key;
    const char *column; // the summed column
    bool scanned = false;
    KeyRule rule = KeyRule::Product;
    // By product slot: the sum or total of its rows, and whether the pass does not add its values
    // as the figure would (its figure then asks). Both in one place, which a row touches once.
    struct SumSlot : dao::ExactSum {
        bool refused = false; // in ExactSum's padding
    };
    struct TotalSlot {
        double total = 0;
        bool refused = false;
    };
    std::vector<SumSlot> sums;
    std::vector<TotalSlot> totals;
    bool refused(int slot) const {
        return kind == Kind::Sum ? sums[size_t(slot)].refused : totals[size_t(slot)].refused;
    }

    Table(const figures::SummedColumn &summed)
        : kind(Kind::Sum), name(summed.table), key(summed.key), column(summed.column) {}
    Table(Kind kind, const char *name, const char *key)
        : kind(kind), name(name), key(key), column(nullptr) {}

    // Before the reading: every product without rows, none refused.
    void start(int products) {
        if (kind == Kind::Sum)
            sums.assign(size_t(products), SumSlot());
        else
            totals.assign(size_t(products), TotalSlot());
    }
    // The reading failed: the figures ask.
    void drop() {
        scanned = false;
        sums = {};
        totals = {};
    }
};

namespace {

std::optional<KeyRule> keyRule(sqlite3 *db, const char *table, const char *column) {
    const char *declared = nullptr;
    if (sqlite3_table_column_metadata(db, "main", table, column, &declared, nullptr, nullptr,
                                      nullptr, nullptr) != SQLITE_OK ||
        !comparesAsStored(QByteArray(declared ? declared : "")))
        return std::nullopt;
    // The figures compare under the product collation whatever the column declares.
    return KeyRule::Product;
}

} // namespace

std::optional<KeyRule> keyRule(const QString &localDatabase, const char *table,
                               const char *column) {
    dao::Database db = dao::Database::OpenDatabase(localDatabase);
    return keyRule(db.handle(), table, column);
}

QByteArray productKey(KeyRule, const QByteArray &utf8) {
    return dao::productKey(QByteArrayView(utf8));
}

namespace {

struct Statement {
    sqlite3_stmt *statement = nullptr;
    ~Statement() { sqlite3_finalize(statement); }
};

// A stored value as the store's checked sum takes it: nothing (Null), an integer, a double,
// or refused: a value the pass leaves to the figure's query (a text that is no number, a blob,
// a value that is no finite number), whose query then stops with the figure's message.
struct Number {
    enum class Kind : quint8 { Nothing, Integer, Real, Refused };
    Kind kind = Kind::Nothing;
    qint64 integer = 0;
    double real = 0;
};

// A text as the sum takes it.
[[gnu::noinline]] Number textNumber(sqlite3_value *stored) {
    {
        // The engine's own conversion of a numeric text, as the check and SUM apply it, on a
        // copy: the conversion may change the value it looks at.
        sqlite3_value *value = sqlite3_value_dup(stored);
        if (!value)
            throw std::bad_alloc();
        Number number;
        switch (sqlite3_value_numeric_type(value)) {
        case SQLITE_INTEGER:
            number = {Number::Kind::Integer, sqlite3_value_int64(value), 0};
            break;
        case SQLITE_FLOAT:
            number = {Number::Kind::Real, 0, sqlite3_value_double(value)};
            break;
        default: { // "" and " " count 0 (as a double); any other text stops the figure
            const QByteArray text(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                                  sqlite3_value_bytes(value));
            number.kind =
                text.isEmpty() || text == " " ? Number::Kind::Real : Number::Kind::Refused;
        }
        }
        sqlite3_value_free(value);
        return number;
    }
}

inline Number storedNumber(sqlite3_value *stored) {
    switch (sqlite3_value_type(stored)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return {Number::Kind::Integer, sqlite3_value_int64(stored), 0};
    case SQLITE_FLOAT:
        return {Number::Kind::Real, 0, sqlite3_value_double(stored)};
    case SQLITE_TEXT:
        return textNumber(stored);
    default:
        return {Number::Kind::Refused, 0, 0};
    }
}

// Adds the number as the store's checked sum would; false for a refused one and for a sum that
// overflows.
inline bool addNumber(dao::ExactSum &sum, const Number &number) {
    switch (number.kind) {
    case Number::Kind::Nothing:
        return true;
    case Number::Kind::Integer:
        return sum.addInteger(number.integer);
    case Number::Kind::Real:
        return sum.addReal(number.real);
    case Number::Kind::Refused:
        break;
    }
    return false;
}

inline bool addValue(dao::ExactSum &sum, sqlite3_value *stored) {
    return addNumber(sum, storedNumber(stored));
}

// The most values a row of DTSPL or frnhist hands the pass (DTSPL's 7 added and 7 subtracted).
constexpr int maxRowValues = 16;

// A stored number as the figure reads it; nothing for a value the pass leaves to the figure.
inline std::optional<double> storedValue(sqlite3_value *value, bool nullCountsZero) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return double(sqlite3_value_int64(value));
    case SQLITE_FLOAT: {
        const double v = sqlite3_value_double(value);
        return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
    }
    case SQLITE_NULL:
        return nullCountsZero ? std::optional<double>(0.0) : std::nullopt;
    default:
        return std::nullopt;
    }
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
        Number value;         // a sum's
        bool refused = false; // a row's: a value the figure refuses
        double values[maxRowValues];
    };
    static constexpr int rows = 16;
    Row m_rows[rows];
    int m_count = 0;
    int m_values = 0; // in a row of DTSPL or frnhist
};

struct Pass {
    const CoverageScan::Products *products = nullptr;
    CoverageScan::Table *table = nullptr;
    int added = 0;
    bool nullCountsZero = false;
    const Stop *stop = nullptr;
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
            dao::foldProductKey(utf8, size, row.key);
            row.size = size;
            row.hash = CoverageScan::Products::hashOf(row.key, size);
            pass.products->prefetch(row.hash);
            row.slot = Row::LookUp;
        } else {
            row.slot = pass.products->slotOf(utf8, size); // rare: looked up at once
        }
    }
    if (pass.table->kind == CoverageScan::Table::Kind::Sum) {
        row.value = storedNumber(argv[1]);
    } else {
        row.refused = false;
        for (int c = 1; c < argc && !row.refused; ++c) {
            const std::optional<double> v = storedValue(argv[c], pass.nullCountsZero);
            row.refused = !v;
            row.values[c - 1] = v.value_or(0);
        }
    }
    m_values = argc - 1;
    if (++m_count == rows)
        add(pass);
}

void Batch::add(Pass &pass) {
    CoverageScan::Table &table = *pass.table;
    const bool sums = table.kind == CoverageScan::Table::Kind::Sum;
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
            CoverageScan::Table::SumSlot &sum = table.sums[size_t(row.slot)];
            if (!sum.refused && !addNumber(sum, row.value))
                sum.refused = true;
            continue;
        }
        CoverageScan::Table::TotalSlot &total = table.totals[size_t(row.slot)];
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
void addRow(const Pass &pass, CoverageScan::Table &table, int slot, int argc,
            sqlite3_value **argv) {
    if (table.kind == CoverageScan::Table::Kind::Sum) {
        CoverageScan::Table::SumSlot &sum = table.sums[size_t(slot)];
        if (!sum.refused && !addValue(sum, argv[1]))
            sum.refused = true;
        return;
    }
    CoverageScan::Table::TotalSlot &total = table.totals[size_t(slot)];
    if (total.refused)
        return;
    double sum = total.total;
    for (int c = 1; c < argc; ++c) {
        const std::optional<double> v = storedValue(argv[c], pass.nullCountsZero);
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

bool prepare(const dao::Database &db, const QByteArray &sql, Statement &s) {
    return sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &s.statement,
                              nullptr) == SQLITE_OK;
}

// Reads table with sql, a lodvik_scan over it; not scanned when the table cannot be read so
// (a missing table or column, which the figure's query reports).
void runPass(dao::Database &db, Pass &pass, CoverageScan::Table &table, const QByteArray &sql) {
    // The pass adds in rowid order: a table without rowids is left to the figures.
    Statement rowids, s;
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

void scanSums(dao::Database &db, Pass &pass, CoverageScan::Table &table) {
    // NOT INDEXED: the table itself, in rowid order, also where an index holds both columns.
    const QByteArray sql = QStringLiteral("SELECT lodvik_scan(%1, %2) FROM \"%3\" NOT INDEXED")
                               .arg(QString::fromUtf8(table.key), QString::fromUtf8(table.column),
                                    QString::fromUtf8(table.name))
                               .toUtf8();
    pass.added = 1;
    runPass(db, pass, table, sql);
}

// The values a row of DTSPL or frnhist gives its product's total, by their positions among the
// table's columns: added in order, then subtracted in order. A NULL among them counts 0 where
// the figure reads it as a quantity (DTSPL); where it stops the figure (frnhist), the product is
// left to the figure's query, as is a product with any value stored as text or blob.
struct RowValues {
    std::vector<int> added;
    std::vector<int> subtracted;
    bool nullCountsZero = false;
};

RowValues columnRange(figures::DpFigures::Columns added, figures::DpFigures::Columns subtracted) {
    RowValues values;
    for (int p = added.first; p <= added.last; ++p)
        values.added.push_back(p);
    for (int p = subtracted.first; p <= subtracted.last; ++p)
        values.subtracted.push_back(p);
    values.nullCountsZero = true;
    return values;
}

// The rows of DTSPL or frnhist, added as the figure adds one product's rows: only the key and
// the columns the figure reads are handed to the pass, the key's bytes as stored, as the sums
// take them.
void scanRows(dao::Database &db, Pass &pass, CoverageScan::Table &table, const RowValues &values) {
    // The figure reads its columns by position in the table: their names here.
    Statement all;
    if (!prepare(db, "SELECT * FROM \"" + QByteArray(table.name) + "\"", all))
        return;
    const int columns = sqlite3_column_count(all.statement);
    if (values.added.size() + values.subtracted.size() > size_t(maxRowValues))
        return; // left to the figure's query
    QByteArray sql = "SELECT lodvik_scan(\"" + QByteArray(table.key) + "\"";
    for (const std::vector<int> *group : {&values.added, &values.subtracted})
        for (const int position : *group) {
            if (position >= columns)
                return; // the figure's query says what is missing
            sql += ", \"" +
                   QByteArray(sqlite3_column_name(all.statement, position)).replace('"', "\"\"") +
                   '"';
        }
    sql += ") FROM \"" + QByteArray(table.name) + "\" NOT INDEXED";
    pass.added = int(values.added.size());
    pass.nullCountsZero = values.nullCountsZero;
    runPass(db, pass, table, sql);
    pass.nullCountsZero = false;
}

// pjomr's product numbers as the walk hands them to the figures: a text as stored, and as it
// reads once decoded when it is no valid UTF-8. A product the walk names otherwise is not in
// the dictionary, and its figures ask.
void addProduct(CoverageScan::Products &products, QByteArrayView utf8) {
    products.add(utf8);
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) {
            const QByteArray decoded = QString::fromUtf8(utf8).toUtf8();
            if (decoded != utf8)
                products.add(decoded);
            return;
        }
}

void readProducts(const dao::Database &db, CoverageScan::Products &products) {
    Statement s;
    if (!prepare(db, "SELECT iblitm FROM pjomr", s))
        return;
    while (sqlite3_step(s.statement) == SQLITE_ROW)
        if (sqlite3_column_type(s.statement, 0) == SQLITE_TEXT) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s.statement, 0));
            addProduct(products, QByteArrayView(text, sqlite3_column_bytes(s.statement, 0)));
        }
}

// A value of the server's store as local.mdb's would be taken.
Number storedNumber(const ServerValue &value) {
    switch (value.kind) {
    case ServerValue::Kind::Null:
        return {};
    case ServerValue::Kind::Integer:
        return {Number::Kind::Integer, value.integer, 0};
    case ServerValue::Kind::Real:
        return {Number::Kind::Real, 0, value.real};
    case ServerValue::Kind::NotANumber:
        break;
    }
    return {Number::Kind::Refused, 0, 0};
}

// The slot of a row's product on the server, or -1 when it is not asked or asked of the query.
int serverSlot(const CoverageScan::Products &products, LastProduct &last,
               const CoverageScan::Table &table, QByteArrayView product) {
    const int slot = last.slotOf(products, product.data(), product.size());
    return slot < 0 || table.refused(slot) ? -1 : slot;
}

void scanServerSums(ServerSnapshot &server, const CoverageScan::Products &products,
                    CoverageScan::Table &table, const Stop &stop) {
    table.start(products.count());
    LastProduct last;
    const bool read = server.readColumn(
        QString::fromUtf8(table.name), QString::fromUtf8(table.key),
        QString::fromUtf8(table.column),
        [&](QByteArrayView product, const ServerValue &value) {
            const int slot = serverSlot(products, last, table, product);
            if (slot >= 0 && !addNumber(table.sums[size_t(slot)], storedNumber(value)))
                table.sums[size_t(slot)].refused = true;
        },
        stop);
    table.scanned = read;
    if (!read)
        table.drop();
}

struct Refused {};

// The rows of DTSPL or frnhist on the server, added as the figure adds one product's rows
// (addRow with the value at each position); a Null counts 0 where the figure's reading of the
// field counts it so, and refuses the product otherwise.
void scanServerRows(ServerSnapshot &server, const CoverageScan::Products &products,
                    CoverageScan::Table &table,
                    const std::function<double(double, const std::function<double(int)> &)> &addRow,
                    bool nullCountsZero, const Stop &stop) {
    const catalogue::Table *catalogued = catalogue::findLocalTable(QString::fromUtf8(table.name));
    if (!catalogued)
        return;
    QStringList columns; // the numbers in their places; the texts stay Null
    for (const catalogue::Column &column : catalogued->columns)
        columns << (column.kind == catalogue::ColumnKind::Number ? column.name : QString());
    table.start(products.count());
    LastProduct last;
    const bool read = server.readRows(
        QString::fromUtf8(table.name), QString::fromUtf8(table.key), columns,
        [&](QByteArrayView product, const std::vector<ServerValue> &values) {
            const int slot = serverSlot(products, last, table, product);
            if (slot < 0)
                return;
            const auto valueAt = [&](int position) {
                const ServerValue &value = values.at(size_t(position));
                if (value.kind == ServerValue::Kind::Integer)
                    return double(value.integer);
                if (value.kind == ServerValue::Kind::Real)
                    return value.real;
                if (value.kind == ServerValue::Kind::Null && nullCountsZero)
                    return 0.0;
                throw Refused{};
            };
            try {
                table.totals[size_t(slot)].total =
                    addRow(table.totals[size_t(slot)].total, valueAt);
            } catch (const Refused &) {
                table.totals[size_t(slot)].refused = true;
            }
        },
        stop);
    table.scanned = read;
    if (!read)
        table.drop();
}

void readServerProducts(ServerSnapshot &server, CoverageScan::Products &products,
                        const Stop &stop) {
    server.readRows(
        QStringLiteral("pjomr"), QStringLiteral("iblitm"), {},
        [&](QByteArrayView product, const std::vector<ServerValue> &) {
            addProduct(products, product);
        },
        stop);
}

} // namespace

CoverageScan::CoverageScan(const QString &localDatabase, const figures::Period &period,
                           lodvik::Progress &progress, const QString &snapshot)
    : m_queries(localDatabase, period, progress), m_tables([] {
          using F = figures::FrnFigures;
          using P = figures::PjFigures;
          std::vector<std::unique_ptr<Table>> t;
          for (const figures::SummedColumn &c :
               {F::stockColumn, F::availColumn, F::orderColumn, F::backOrderColumn})
              t.push_back(std::make_unique<Table>(c));
          t.push_back(
              std::make_unique<Table>(Table::Kind::HistoryRows, F::historyTable, F::historyKey));
          t.push_back(std::make_unique<Table>(Table::Kind::DpRows, figures::DpFigures::table,
                                              figures::DpFigures::productColumn));
          for (const figures::SummedColumn &c : {P::stockColumn, P::orderColumn, P::salesColumn,
                                                 P::backOrderColumn, P::forecastColumn})
              t.push_back(std::make_unique<Table>(c));
          return t;
      }()),
      m_frnStock(*m_tables[0]), m_avail(*m_tables[1]), m_frnOrder(*m_tables[2]),
      m_frnBackOrder(*m_tables[3]), m_frnHistory(*m_tables[4]), m_dp(*m_tables[5]),
      m_pjStock(*m_tables[6]), m_pjOrder(*m_tables[7]), m_pjSales(*m_tables[8]),
      m_pjBackOrder(*m_tables[9]), m_pjForecast(*m_tables[10]) {
    const figures::FrnFigures::SalesMonths months = figures::FrnFigures::salesMonths(period);
    RowValues salesMonths;
    for (const int position : months)
        salesMonths.added.push_back(position);
    const RowValues dpStock =
        columnRange(figures::DpFigures::onHandColumns, figures::DpFigures::allocatedColumns);
    std::atomic<bool> stopping{false};
    const std::thread::id owner = std::this_thread::get_id();

    // On a server store both threads read one snapshot: the run's, or the first connection's.
    const std::optional<SearchSourceSettings> server = dao::serverStoreOf(localDatabase);
    // Through ODBC no snapshot is shared (scanSnapshot): this thread alone reads, on the run's
    // connection.
    const bool oneConnection = server && server->driver == QLatin1String("QODBC");
    std::optional<dao::Database> run;
    std::optional<ServerSnapshot> first;
    if (oneConnection)
        first.emplace(run.emplace(dao::Database::OpenExtractStore(localDatabase)));
    else if (server)
        first.emplace(*server, snapshot);

    // Reads a group of tables on the server, on this thread's snapshot or one joining it.
    const auto scanServerGroup = [&](const std::vector<Table *> &group, const Stop &stop) {
        std::optional<ServerSnapshot> own;
        ServerSnapshot &on =
            std::this_thread::get_id() == owner ? *first : own.emplace(*server, first->snapshot());
        for (Table *table : group) {
            if (table->kind == Table::Kind::Sum) {
                scanServerSums(on, *m_products, *table, stop);
                continue;
            }
            // DTSPL's figure requires its companion table; without it, its query says so.
            if (table->kind == Table::Kind::HistoryRows)
                scanServerRows(
                    on, *m_products, *table,
                    [&](double total, const std::function<double(int)> &summableAt) {
                        return figures::FrnFigures::addSalesAt(total, summableAt, months);
                    },
                    false, stop);
            else if (on.tableExists(QString::fromUtf8(figures::DpFigures::companionTable)))
                scanServerRows(on, *m_products, *table, &figures::DpFigures::addStockAt, true,
                               stop);
        }
    };
    // Reads a group of tables of local.mdb on db; the key rules are read there too.
    const auto scanLocalGroup = [&](const std::vector<Table *> &group, dao::Database &db,
                                    const Stop &stop) {
        Statement encoding;
        if (sqlite3_prepare_v2(db.handle(), "PRAGMA encoding", -1, &encoding.statement, nullptr) !=
                SQLITE_OK ||
            sqlite3_step(encoding.statement) != SQLITE_ROW ||
            qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(encoding.statement, 0)),
                    "UTF-8") != 0)
            return; // the key rules compare UTF-8 bytes
        Pass pass;
        pass.products = m_products.get();
        pass.stop = &stop;
        // db may be the run's own connection: the aggregate lasts as long as the reading.
        struct Registered {
            sqlite3 *db;
            bool ok;
            ~Registered() {
                if (ok)
                    sqlite3_create_function_v2(db, "lodvik_scan", -1, SQLITE_UTF8, nullptr, nullptr,
                                               nullptr, nullptr, nullptr);
            }
        } registered{db.handle(), sqlite3_create_function_v2(db.handle(), "lodvik_scan", -1,
                                                             SQLITE_UTF8, &pass, nullptr, scanStep,
                                                             scanFinal, nullptr) == SQLITE_OK};
        if (!registered.ok)
            return;
        // DTSPL's figure requires this table; without it, its query says so.
        const bool dpReadable =
            db.TableExists(QString::fromUtf8(figures::DpFigures::companionTable));
        for (Table *table : group) {
            const std::optional<KeyRule> rule = keyRule(db.handle(), table->name, table->key);
            if (!rule)
                continue; // the figure's query compares; it is asked per product
            table->rule = *rule;
            switch (table->kind) {
            case Table::Kind::Sum:
                scanSums(db, pass, *table);
                break;
            case Table::Kind::HistoryRows:
                scanRows(db, pass, *table, salesMonths);
                break;
            case Table::Kind::DpRows:
                if (dpReadable)
                    scanRows(db, pass, *table, dpStock);
                break;
            }
        }
    };
    const auto scanGroup = [&](const std::vector<Table *> &group, const Stop &stop) {
        if (server) {
            scanServerGroup(group, stop);
            return;
        }
        dao::Database db = dao::Database::OpenDatabase(localDatabase);
        scanLocalGroup(group, db, stop);
    };

    // Two groups of about equal work: the row walks of DTSPL and frnhist cost the most.
    std::vector<Table *> mine{&m_dp, &m_pjSales, &m_frnStock, &m_avail};
    std::vector<Table *> other{&m_frnHistory, &m_pjStock,      &m_pjOrder,   &m_pjBackOrder,
                               &m_frnOrder,   &m_frnBackOrder, &m_pjForecast};
    // Both threads stop at the next few thousand rows once the operator cancels or the other
    // thread failed.
    const Stop stop = [&] {
        if (stopping.load(std::memory_order_relaxed) || progress.cancelled())
            throw Stopped{};
    };
    std::promise<void> done;
    std::future<void> otherDone = done.get_future();
    std::thread worker;
    try {
        progress.caption(QStringLiteral("Läser utdragen"), lodvik::Progress::Show::Now);
        // The products the scans gather for, before either starts.
        m_products = std::make_unique<Products>();
        if (server)
            readServerProducts(*first, *m_products, stop);
        else
            readProducts(dao::Database::OpenDatabase(localDatabase), *m_products);
        worker = std::thread([&] {
            try {
                if (!oneConnection)
                    scanGroup(other, stop);
                done.set_value();
            } catch (...) {
                done.set_exception(std::current_exception());
            }
        });
        scanGroup(mine, stop);
        if (oneConnection)
            scanGroup(other, stop);
        while (otherDone.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            stop();
        worker.join();
        otherDone.get();
    } catch (...) {
        stopping = true;
        if (worker.joinable())
            worker.join();
        try {
            throw;
        } catch (const Stopped &) {
            progress.checkCancelled();
            throw lodvik::Error(QStringLiteral("Läsningen av utdragen avbröts.")); // not reached
        }
    }
}

CoverageScan::~CoverageScan() = default;

ProductFigureQueries::ProductFigureQueries(const QString &localDatabase,
                                           const figures::Period &period,
                                           lodvik::Progress &progress)
    : m_period(period), m_figures(localDatabase, progress) {}

Variant ProductFigureQueries::stockOnHandFRN(const QString &product) {
    return m_figures.frn.StockOnHandFRN(product);
}
Variant ProductFigureQueries::avail(const QString &product) {
    return m_figures.frn.avail(product);
}
Variant ProductFigureQueries::stockOnHandDP(const QString &product) {
    return m_figures.dp.StockOnHandDP(product);
}
Variant ProductFigureQueries::stockOnHandPJ(const QString &product, double umfaktor) {
    return m_figures.pj.StockOnHandPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodBackOrderPJ(const QString &product, double umfaktor) {
    return m_figures.pj.ProdBackOrderPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodBackOrderFRN(const QString &product, double umfaktor) {
    return m_figures.frn.ProdBackOrderFRN(Variant::String(product), umfaktor);
}
Variant ProductFigureQueries::prodOrderPJ(const QString &product, double umfaktor) {
    return m_figures.pj.ProdOrderPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodOrderFRN(const QString &product, double umfaktor) {
    return m_figures.frn.ProdOrderFRN(product, umfaktor);
}
Variant ProductFigureQueries::salesPerWeek(const QString &product, double umfaktor) {
    return m_figures.pj.SalesPerWeek(product, umfaktor);
}
Variant ProductFigureQueries::salesPerWeekFRN(const QString &product) {
    return m_figures.frn.SalesPerWeekFRN(product, m_period);
}

QStringList CoverageScan::scannedTables() const {
    QStringList names;
    for (const auto &table : m_tables)
        if (table->scanned)
            names << QString::fromUtf8(table->name);
    return names;
}

int CoverageScan::slotOf(const QString &product) const {
    // Each product is looked up for every table in turn: its slot is found once.
    const bool same = m_slotKnown && (product.constData() == m_slotOf.constData()
                                          ? product.size() == m_slotOf.size()
                                          : product == m_slotOf);
    if (!same) {
        const QByteArray utf8 = product.toUtf8();
        m_slot = m_products ? m_products->slotOf(utf8.constData(), utf8.size()) : -1;
        m_slotOf = product;
        m_slotKnown = true;
    }
    return m_slot;
}

std::optional<Variant> CoverageScan::sum(const Table &table, const QString &product) const {
    if (!table.scanned)
        return std::nullopt;
    const int slot = slotOf(product);
    if (slot < 0 || table.sums[size_t(slot)].refused)
        return std::nullopt;
    return table.sums[size_t(slot)].result();
}

std::optional<double> CoverageScan::total(const Table &table, const QString &product) const {
    if (!table.scanned)
        return std::nullopt;
    const int slot = slotOf(product);
    if (slot < 0 || table.totals[size_t(slot)].refused)
        return std::nullopt;
    return table.totals[size_t(slot)].total;
}

Variant CoverageScan::stockOnHandFRN(const QString &product) {
    const std::optional<Variant> s = sum(m_frnStock, product);
    return s ? figures::asSum(*s) : m_queries.stockOnHandFRN(product);
}

Variant CoverageScan::avail(const QString &product) {
    const std::optional<Variant> s = sum(m_avail, product);
    return s ? figures::asSum(*s) : m_queries.avail(product);
}

Variant CoverageScan::stockOnHandDP(const QString &product) {
    const std::optional<double> t = total(m_dp, product);
    return t ? Variant::Double(*t) : m_queries.stockOnHandDP(product);
}

Variant CoverageScan::stockOnHandPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_pjStock, product);
    return s ? figures::PjFigures::stockInPacks(*s, umfaktor, product)
             : m_queries.stockOnHandPJ(product, umfaktor);
}

Variant CoverageScan::prodBackOrderPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> backOrders = sum(m_pjBackOrder, product);
    const std::optional<Variant> forecast = sum(m_pjForecast, product);
    if (!backOrders || !forecast)
        return m_queries.prodBackOrderPJ(product, umfaktor);
    return figures::PjFigures::backOrderInPacks(backOrders, forecast, umfaktor, product);
}

Variant CoverageScan::prodBackOrderFRN(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_frnBackOrder, product);
    return s ? figures::FrnFigures::backOrderText(*s, umfaktor, product)
             : m_queries.prodBackOrderFRN(product, umfaktor);
}

Variant CoverageScan::prodOrderPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_pjOrder, product);
    return s ? figures::PjFigures::orderInPacks(*s, umfaktor, product)
             : m_queries.prodOrderPJ(product, umfaktor);
}

Variant CoverageScan::prodOrderFRN(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_frnOrder, product);
    return s ? figures::FrnFigures::orderInPacks(*s, umfaktor, product)
             : m_queries.prodOrderFRN(product, umfaktor);
}

Variant CoverageScan::salesPerWeek(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_pjSales, product);
    return s ? figures::PjFigures::salesPerWeek(*s, umfaktor, product)
             : m_queries.salesPerWeek(product, umfaktor);
}

Variant CoverageScan::salesPerWeekFRN(const QString &product) {
    const std::optional<double> t = total(m_frnHistory, product);
    return t ? figures::FrnFigures::salesPerWeek(*t) : m_queries.salesPerWeekFRN(product);
}

} // namespace reports
