#pragma once

#include "store/CheckedSum.h"
#include "store/ExtractScan.h"
#include "store/ProductKey.h"
#include "store/StoredValue.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// The parts of the coverage run's one pass (ExtractScan) that each store's reading fills: the
// products by key, and per table the sums or totals by product slot. Only the store's classes
// include this.
namespace dao {

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

// The products of pjomr by their keys (productKey), each with a slot; products whose keys
// are equal share one. Made before the scans and only read by both threads: an open-addressing
// table over one buffer of key bytes, so that a row's look-up folds its key on the stack and
// allocates nothing.
class ScanProducts {
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

// The rows of a product mostly follow one another: the slot of the row before, found again by
// comparing its bytes as stored. Another product is looked for at the slot after the last one
// found first.
class LastProduct {
public:
    int slotOf(const ScanProducts &products, const char *utf8, qsizetype size) {
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
    [[gnu::noinline]] int another(const ScanProducts &products, const char *utf8, qsizetype size) {
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

struct ScanTable {
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

    explicit ScanTable(ScanRequest r)
        : request(std::move(r)), kind(request.kind), name(request.table), key(request.key),
          column(request.column) {}

    // Room for the slots, made by the thread that starts the run: in the heap the run made room
    // in (lodvik::RunMemory), where a reading thread of its own would take them elsewhere.
    void reserve(int products) {
        if (kind == ScanRequest::Kind::Sum)
            sums.reserve(size_t(products));
        else
            totals.reserve(size_t(products));
    }
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

// pjomr's product numbers as the walk hands them to the figures: a text as stored, and as it
// reads once decoded when it is no valid UTF-8. A product the walk names otherwise is not in
// the dictionary, and its figures ask.
inline void addProduct(ScanProducts &products, QByteArrayView utf8) {
    products.add(utf8);
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) {
            const QByteArray decoded = QString::fromUtf8(utf8).toUtf8();
            if (decoded != utf8)
                products.add(decoded);
            return;
        }
}

} // namespace dao
