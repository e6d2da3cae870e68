#include "store/ExtractScan.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "store/CheckedSum.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"
#include "store/ServerSnapshot.h"
#include "store/ServerStore.h"
#include "store/TableCatalogue.h"

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

using lodvik::Variant;

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

// The products of pjomr by their keys (productKey), each with a slot; products whose keys
// are equal share one. Made before the scans and only read by both threads: an open-addressing
// table over one buffer of key bytes, so that a row's look-up folds its key on the stack and
// allocates nothing.
class ExtractScan::Products {
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
        foldProductKey(utf8, size, key);
        if (guess >= 0 && guess < m_slots) {
            const quint32 start = m_keyStarts[size_t(guess)];
            if (m_keyStarts[size_t(guess) + 1] - start == quint32(size) &&
                sameBytes(m_bytes.data() + start, key, size_t(size)))
                return guess;
        }
        return find(key, size, hashOf(key, size));
    }

    // The slot of the product whose folded key (foldProductKey) of the given hash (hashOf)
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
        const QByteArray key = productKey(utf8);
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
    int slotOf(const ExtractScan::Products &products, const char *utf8, qsizetype size) {
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
    [[gnu::noinline]] int another(const ExtractScan::Products &products, const char *utf8,
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

struct ExtractScan::Table {
    ScanRequest request;
    ScanRequest::Kind kind;
    const char *name;
    const char *key;
    const char *column; // the summed column
    bool scanned = false;
    // By product slot: the sum or total of its rows, and whether the pass does not add its values
    // as the figure would (its figure then asks). Both in one place, which a row touches once.
    struct SumSlot : ExactSum {
        bool refused = false; // in ExactSum's padding
    };
    struct TotalSlot {
        double total = 0;
        bool refused = false;
    };
    std::vector<SumSlot> sums;
    std::vector<TotalSlot> totals;
    bool refused(int slot) const {
        return kind == ScanRequest::Kind::Sum ? sums[size_t(slot)].refused
                                              : totals[size_t(slot)].refused;
    }

    explicit Table(ScanRequest r)
        : request(std::move(r)), kind(request.kind), name(request.table), key(request.key),
          column(request.column) {}

    // Before the reading: every product without rows, none refused.
    void start(int products) {
        if (kind == ScanRequest::Kind::Sum)
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

} // namespace

namespace {

struct Statement {
    sqlite3_stmt *statement = nullptr;
    ~Statement() { sqlite3_finalize(statement); }
};

// A text as the sum takes it: the plain whole numbers most numeric texts are read here, any
// other text through SQLite's own conversion, as the checked sum converts it.
[[gnu::noinline]] StoredNumber textNumber(sqlite3_value *stored) {
    return storedText(QByteArrayView(reinterpret_cast<const char *>(sqlite3_value_text(stored)),
                                     sqlite3_value_bytes(stored)),
                      ValueRule::Sum);
}

// A stored value as the store's checked sum takes it: nothing (Null), an integer, a double, or
// refused: a value the pass leaves to the figure's query (a text that is no number, a blob, a
// value that is no finite number), whose query then stops with the figure's message.
inline StoredNumber summedValue(sqlite3_value *stored) {
    switch (sqlite3_value_type(stored)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return {StoredNumber::Kind::Integer, sqlite3_value_int64(stored), 0};
    case SQLITE_FLOAT:
        return {StoredNumber::Kind::Real, 0, sqlite3_value_double(stored)};
    case SQLITE_TEXT:
        return textNumber(stored);
    default:
        return {StoredNumber::Kind::Refused, 0, 0};
    }
}

// Adds the number as the store's checked sum would; false for a refused one and for a sum that
// overflows.
inline bool addNumber(ExactSum &sum, const StoredNumber &number) {
    switch (number.kind) {
    case StoredNumber::Kind::Null:
        return true;
    case StoredNumber::Kind::Integer:
        return sum.addInteger(number.integer);
    case StoredNumber::Kind::Real:
        return sum.addReal(number.real);
    case StoredNumber::Kind::Refused:
        break;
    }
    return false;
}

inline bool addValue(ExactSum &sum, sqlite3_value *stored) {
    return addNumber(sum, summedValue(stored));
}

// The most values a row of DTSPL or frnhist hands the pass (DTSPL's 7 added and 7 subtracted).
constexpr int maxRowValues = 16;

// A number a row adds to its total, as the figure reads it.
inline std::optional<double> asTotal(const StoredNumber &number) {
    switch (number.kind) {
    case StoredNumber::Kind::Integer:
        return double(number.integer);
    case StoredNumber::Kind::Real:
        return std::isfinite(number.real) ? std::optional<double>(number.real) : std::nullopt;
    case StoredNumber::Kind::Null:
    case StoredNumber::Kind::Refused:
        break;
    }
    return std::nullopt;
}

// A text a row adds, as rule reads it.
[[gnu::noinline]] std::optional<double> textValue(sqlite3_value *value, ValueRule rule) {
    return asTotal(
        storedText(QByteArrayView(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                                  sqlite3_value_bytes(value)),
                   rule));
}

// A stored value as the figure reads it (rule); nothing for a value the figure refuses, which
// the pass leaves to the figure's query.
inline std::optional<double> storedValue(sqlite3_value *value, ValueRule rule) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return double(sqlite3_value_int64(value));
    case SQLITE_FLOAT: {
        const double v = sqlite3_value_double(value);
        return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
    }
    case SQLITE_NULL:
        return asTotal(storedNull(rule));
    case SQLITE_TEXT:
        return textValue(value, rule);
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
    const ExtractScan::Products *products = nullptr;
    ExtractScan::Table *table = nullptr;
    int added = 0;
    ValueRule rule = ValueRule::Sum;
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
            foldProductKey(utf8, size, row.key);
            row.size = size;
            row.hash = ExtractScan::Products::hashOf(row.key, size);
            pass.products->prefetch(row.hash);
            row.slot = Row::LookUp;
        } else {
            row.slot = pass.products->slotOf(utf8, size); // rare: looked up at once
        }
    }
    if (pass.table->kind == ScanRequest::Kind::Sum) {
        row.value = summedValue(argv[1]);
    } else {
        row.refused = false;
        for (int c = 1; c < argc && !row.refused; ++c) {
            const std::optional<double> v = storedValue(argv[c], pass.rule);
            row.refused = !v;
            row.values[c - 1] = v.value_or(0);
        }
    }
    m_values = argc - 1;
    if (++m_count == rows)
        add(pass);
}

void Batch::add(Pass &pass) {
    ExtractScan::Table &table = *pass.table;
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
            ExtractScan::Table::SumSlot &sum = table.sums[size_t(row.slot)];
            if (!sum.refused && !addNumber(sum, row.value))
                sum.refused = true;
            continue;
        }
        ExtractScan::Table::TotalSlot &total = table.totals[size_t(row.slot)];
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
void addRow(const Pass &pass, ExtractScan::Table &table, int slot, int argc, sqlite3_value **argv) {
    if (table.kind == ScanRequest::Kind::Sum) {
        ExtractScan::Table::SumSlot &sum = table.sums[size_t(slot)];
        if (!sum.refused && !addValue(sum, argv[1]))
            sum.refused = true;
        return;
    }
    ExtractScan::Table::TotalSlot &total = table.totals[size_t(slot)];
    if (total.refused)
        return;
    double sum = total.total;
    for (int c = 1; c < argc; ++c) {
        const std::optional<double> v = storedValue(argv[c], pass.rule);
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

bool prepare(const Database &db, const QByteArray &sql, Statement &s) {
    return sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &s.statement,
                              nullptr) == SQLITE_OK;
}

// Reads table with sql, a lodvik_scan over it; not scanned when the table cannot be read so
// (a missing table or column, which the figure's query reports).
void runPass(Database &db, Pass &pass, ExtractScan::Table &table, const QByteArray &sql) {
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

void scanSums(Database &db, Pass &pass, ExtractScan::Table &table) {
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
void scanRows(Database &db, Pass &pass, ExtractScan::Table &table) {
    const ScanRequest &request = table.request;
    // The figure reads its columns by position in the table: their names here.
    Statement all;
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

// pjomr's product numbers as the walk hands them to the figures: a text as stored, and as it
// reads once decoded when it is no valid UTF-8. A product the walk names otherwise is not in
// the dictionary, and its figures ask.
void addProduct(ExtractScan::Products &products, QByteArrayView utf8) {
    products.add(utf8);
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) {
            const QByteArray decoded = QString::fromUtf8(utf8).toUtf8();
            if (decoded != utf8)
                products.add(decoded);
            return;
        }
}

void readProducts(const Database &db, ExtractScan::Products &products) {
    Statement s;
    if (!prepare(db, "SELECT iblitm FROM pjomr", s))
        return;
    while (sqlite3_step(s.statement) == SQLITE_ROW)
        if (sqlite3_column_type(s.statement, 0) == SQLITE_TEXT) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s.statement, 0));
            addProduct(products, QByteArrayView(text, sqlite3_column_bytes(s.statement, 0)));
        }
}

// The slot of a row's product on the server, or -1 when it is not asked or asked of the query.
int serverSlot(const ExtractScan::Products &products, LastProduct &last,
               const ExtractScan::Table &table, QByteArrayView product) {
    const int slot = last.slotOf(products, product.data(), product.size());
    return slot < 0 || table.refused(slot) ? -1 : slot;
}

void scanServerSums(ServerSnapshot &server, const ExtractScan::Products &products,
                    ExtractScan::Table &table, const Stop &stop) {
    table.start(products.count());
    LastProduct last;
    const bool read = server.readRows(
        QString::fromUtf8(table.name), QString::fromUtf8(table.key),
        {QString::fromUtf8(table.column)}, ValueRule::Sum,
        [&](QByteArrayView product, const std::vector<StoredNumber> &values) {
            const int slot = serverSlot(products, last, table, product);
            if (slot >= 0 && !addNumber(table.sums[size_t(slot)], values.front()))
                table.sums[size_t(slot)].refused = true;
        },
        stop);
    table.scanned = read;
    if (!read)
        table.drop();
}

// The rows of a Rows extract on the server, added as scanRows adds them on local.mdb.
void scanServerRows(ServerSnapshot &server, const ExtractScan::Products &products,
                    ExtractScan::Table &table, const Stop &stop) {
    const ScanRequest &request = table.request;
    const catalogue::Table *catalogued = catalogue::findLocalTable(QString::fromUtf8(table.name));
    if (!catalogued)
        return;
    // The columns the figure reads, by their positions in the catalogue's table.
    QStringList columns;
    for (const std::vector<int> *group : {&request.added, &request.subtracted})
        for (const int position : *group) {
            if (position < 0 || position >= int(catalogued->columns.size()))
                return; // the figure's query says what is missing
            columns << catalogued->columns.at(position).name;
        }
    const size_t added = request.added.size();
    table.start(products.count());
    LastProduct last;
    const bool read = server.readRows(
        QString::fromUtf8(table.name), QString::fromUtf8(table.key), columns, request.rule,
        [&](QByteArrayView product, const std::vector<StoredNumber> &values) {
            const int slot = serverSlot(products, last, table, product);
            if (slot < 0)
                return;
            ExtractScan::Table::TotalSlot &total = table.totals[size_t(slot)];
            double sum = total.total;
            for (size_t c = 0; c < values.size(); ++c) {
                const std::optional<double> v = asTotal(values[c]);
                if (!v) {
                    total.refused = true;
                    return;
                }
                sum = c < added ? sum + *v : sum - *v;
            }
            total.total = sum;
        },
        stop);
    table.scanned = read;
    if (!read)
        table.drop();
}

void readServerProducts(ServerSnapshot &server, ExtractScan::Products &products, const Stop &stop) {
    server.readRows(
        QStringLiteral("pjomr"), QStringLiteral("iblitm"), {}, ValueRule::Sum,
        [&](QByteArrayView product, const std::vector<StoredNumber> &) {
            addProduct(products, product);
        },
        stop);
}

} // namespace

ExtractScan::ExtractScan(Database &run, std::vector<ScanRequest> requests,
                         lodvik::Progress &progress) {
    for (ScanRequest &request : requests)
        m_tables.push_back(std::make_unique<Table>(std::move(request)));
    std::vector<Table *> groups[2];
    for (const auto &table : m_tables)
        groups[table->request.reader == 0 ? 0 : 1].push_back(table.get());

    // Every reader reads the run's state: the run holds it from here on, and the second reader's
    // connection joins it before anything is read.
    // One reader alone, on the run's connection, where no other connection can join the run's
    // snapshot (Database::snapshotJoinable).
    const bool oneConnection = !run.snapshotJoinable();
    run.holdSnapshot();
    const bool server = run.isServer();
    std::optional<SearchSourceSettings> settings;
    std::optional<ServerSnapshot> first;
    std::optional<Database> second;
    if (server) {
        settings = serverStoreOf(run.path());
        if (oneConnection)
            first.emplace(run);
        else
            first.emplace(*settings, run.exportSnapshot());
    } else if (!oneConnection) {
        second.emplace(run.JoinSnapshot());
    }

    // Reads a group of tables on the server, on the snapshot given.
    const auto scanServerGroup = [&](const std::vector<Table *> &group, ServerSnapshot &on,
                                     const Stop &stop) {
        for (Table *table : group) {
            if (table->request.required &&
                !on.tableExists(QString::fromUtf8(table->request.required)))
                continue; // the figure's query says that it is missing
            if (table->kind == ScanRequest::Kind::Sum)
                scanServerSums(on, *m_products, *table, stop);
            else
                scanServerRows(on, *m_products, *table, stop);
        }
    };
    // Reads a group of tables of local.mdb on db; the key rules are read there too.
    const auto scanLocalGroup = [&](const std::vector<Table *> &group, Database &db,
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
        for (Table *table : group) {
            if (!keyComparesAsStored(db.handle(), table->name, table->key))
                continue; // the figure's query compares; it is asked per product
            if (table->request.required &&
                !db.TableExists(QString::fromUtf8(table->request.required)))
                continue; // the figure's query says that it is missing
            if (table->kind == ScanRequest::Kind::Sum)
                scanSums(db, pass, *table);
            else
                scanRows(db, pass, *table);
        }
    };
    // A group on this thread, on the run's connection or its snapshot.
    const auto scanHere = [&](const std::vector<Table *> &group, const Stop &stop) {
        if (server)
            scanServerGroup(group, *first, stop);
        else
            scanLocalGroup(group, run, stop);
    };

    std::atomic<bool> stopping{false};
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
            readProducts(run, *m_products);
        if (!oneConnection)
            worker = std::thread([&] {
                try {
                    if (server) {
                        ServerSnapshot own(*settings, first->snapshot());
                        scanServerGroup(groups[1], own, stop);
                    } else {
                        scanLocalGroup(groups[1], *second, stop);
                    }
                    done.set_value();
                } catch (...) {
                    done.set_exception(std::current_exception());
                }
            });
        else
            done.set_value();
        scanHere(groups[0], stop);
        if (oneConnection)
            scanHere(groups[1], stop);
        while (otherDone.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            stop();
        if (worker.joinable())
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

ExtractScan::~ExtractScan() = default;

int ExtractScan::slotOf(const QString &product) const {
    if (!m_products)
        return -1;
    const QByteArray utf8 = product.toUtf8();
    return m_products->slotOf(utf8.constData(), utf8.size());
}

bool ExtractScan::scanned(size_t request) const {
    return request < m_tables.size() && m_tables[request]->scanned;
}

std::optional<Variant> ExtractScan::sum(size_t request, int slot) const {
    if (!scanned(request) || slot < 0)
        return std::nullopt;
    const Table::SumSlot &s = m_tables[request]->sums[size_t(slot)];
    if (s.refused)
        return std::nullopt;
    return s.result();
}

std::optional<double> ExtractScan::total(size_t request, int slot) const {
    if (!scanned(request) || slot < 0)
        return std::nullopt;
    const Table::TotalSlot &t = m_tables[request]->totals[size_t(slot)];
    if (t.refused)
        return std::nullopt;
    return t.total;
}

} // namespace dao
