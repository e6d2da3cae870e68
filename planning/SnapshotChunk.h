#pragma once

#include "planning/RunHistory.h"

#include <QByteArray>
#include <QSet>

#include <string>
#include <utility>
#include <vector>

// How a kept run is stored: its products spread over chunks by a hash of the product number,
// each chunk one record of typed numbers, column by column in blocks as narrow as their values
// allow, through QDataStream, deflated as qCompress does. About 20 bytes a product on SQLite and on
// the server; one product's history reads one chunk a period, and nothing of it needs a list of
// products.
namespace planning {

// Products in a chunk, about.
constexpr int ChunkProducts = 512;

// The chunks of a snapshot of this many products.
int chunkCount(size_t products);
// Where a product is: its hash modulo the snapshot's chunk count. The same on every machine and
// in every version, as the stored chunks depend on it.
quint32 productHash(const QString &product);

// A run's rows packed as they come: each product once, by its first row, as a record of some 90
// bytes in its chunk's buffer, so that a run neither holds rows of 400 bytes to its end nor walks
// them out of order to pack them.
class SnapshotPacker {
public:
    // The run's products as counted before its rows, which sets the chunks; with another count
    // in the end (a product listed twice, products left out) the records are placed again.
    explicit SnapshotPacker(size_t expected = 0);

    void add(const SnapshotRow &row);
    qint64 products() const { return m_products; }
    // Once every row is in: the stored chunks, chunkCount(products()) of them, packed on two
    // cores.
    std::vector<QByteArray> chunks() const;

private:
    // The records of each chunk, in the run's order.
    std::vector<std::vector<const char *>> placed() const;

    QSet<QString> m_seen;
    qint64 m_products = 0;
    std::vector<std::string> m_buffers; // by the expected count's chunks
    std::string m_record;
};

// The rows of a record into rows (resized to their count, its room used again) and their places
// into places; with only, just the rows of those products (by their UTF-8). False when the
// record is none this program wrote (cut short, another format).
bool unpackChunk(const QByteArray &record, std::vector<SnapshotRow> &rows,
                 std::vector<quint32> &places, const QSet<QByteArray> *only = nullptr);

} // namespace planning
