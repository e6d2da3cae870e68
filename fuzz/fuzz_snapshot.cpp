// Kept runs: a chunk as the history store gives it back, which a damaged store, another version
// of the program or another writer may have filled with anything.
//
// Input: a byte choosing how the rest is read (even: the chunk's bytes before deflating, which
// the target deflates; odd: the stored record itself), then those bytes.

#include "planning/SnapshotChunk.h"

#include <QByteArray>
#include <QSet>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

using planning::SnapshotRow;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// Equal, a NaN being the same as itself.
bool same(std::optional<double> a, std::optional<double> b) {
    return a == b || (a && b && std::isnan(*a) && std::isnan(*b));
}
bool same(double a, double b) {
    return same(std::optional(a), std::optional(b));
}
bool same(const SnapshotRow &a, const SnapshotRow &b) {
    return a.product == b.product && a.description == b.description &&
           same(a.unitsPerPack, b.unitsPerPack) && same(a.stockFrn, b.stockFrn) &&
           same(a.stockDp, b.stockDp) && same(a.stockPj, b.stockPj) &&
           same(a.stockTotal, b.stockTotal) && same(a.coverWeeks, b.coverWeeks) &&
           same(a.coverWeeksFrn, b.coverWeeksFrn) && same(a.backOrderPj, b.backOrderPj) &&
           same(a.backOrderFrn, b.backOrderFrn) && same(a.orderPj, b.orderPj) &&
           same(a.orderFrn, b.orderFrn) && same(a.orderTotal, b.orderTotal) &&
           same(a.salesPj, b.salesPj) && same(a.salesFrn, b.salesFrn) &&
           a.suggestion == b.suggestion && a.urgency == b.urgency &&
           same(a.rule.leadTimeWeeks, b.rule.leadTimeWeeks) &&
           same(a.rule.safetyWeeks, b.rule.safetyWeeks) &&
           same(a.rule.safetyPacks, b.rule.safetyPacks) && a.rule.multiple == b.rule.multiple &&
           a.rule.minimum == b.rule.minimum && a.rule.supplier == b.rule.supplier &&
           a.rule.group == b.rule.group && a.rule.followTrend == b.rule.followTrend;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArray record = data[0] % 2 == 0 ? qCompress(bytes, 1) : bytes;
    std::vector<SnapshotRow> rows;
    std::vector<quint32> places;
    if (!planning::unpackChunk(record, rows, places))
        return 0;
    check(places.size() == rows.size());

    // The rows of some products are those rows of the whole chunk, in its order.
    QSet<QByteArray> wanted;
    for (size_t i = 0; i < rows.size(); i += 2)
        wanted.insert(rows[i].product.toUtf8());
    std::vector<SnapshotRow> some;
    std::vector<quint32> somePlaces;
    check(planning::unpackChunk(record, some, somePlaces, &wanted));
    check(somePlaces.size() == some.size() && some.size() <= rows.size());
    for (size_t i = 0, from = 0; i < some.size(); ++i, ++from) {
        check(wanted.contains(some[i].product.toUtf8()));
        while (from < rows.size() && somePlaces[i] != places[from])
            ++from;
        check(from < rows.size() && same(some[i], rows[from]));
    }

    // Kept again, in the order of their places, the rows come back: each product once, by its
    // first row, in the chunk of its hash.
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return places[a] < places[b]; });
    planning::SnapshotPacker packer(rows.size());
    std::vector<const SnapshotRow *> first;
    QSet<QString> seen;
    for (size_t i : order) {
        packer.add(rows[i]);
        if (!seen.contains(rows[i].product)) {
            seen.insert(rows[i].product);
            first.push_back(&rows[i]);
        }
    }
    check(packer.products() == qint64(first.size()));
    const std::vector<QByteArray> chunks = packer.chunks();
    check(chunks.size() == size_t(planning::chunkCount(first.size())));
    size_t found = 0;
    for (size_t c = 0; c < chunks.size(); ++c) {
        std::vector<SnapshotRow> again;
        std::vector<quint32> againPlaces;
        check(planning::unpackChunk(chunks[c], again, againPlaces));
        for (size_t i = 0; i < again.size(); ++i) {
            check(againPlaces[i] < first.size() && same(again[i], *first[againPlaces[i]]));
            check(planning::productHash(again[i].product) % chunks.size() == c);
        }
        found += again.size();
    }
    check(found == first.size());
    return 0;
}
