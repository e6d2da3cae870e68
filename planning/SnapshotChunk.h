#pragma once

#include "planning/RunHistory.h"

#include <QByteArray>
#include <QSet>

#include <utility>
#include <vector>

// How a kept run is stored: its products spread over chunks by a hash of the product number,
// each chunk one record of typed numbers, column by column in blocks as narrow as their values
// allow, through QDataStream and qCompress. About 20 bytes a product on SQLite and on the server;
// one product's history reads one chunk a period, and nothing of it needs a list of products.
namespace planning {

// Products in a chunk, about.
constexpr int ChunkProducts = 512;

// The chunks of a snapshot of this many products.
int chunkCount(size_t products);
// Where a product is: its hash modulo the snapshot's chunk count. The same on every machine and
// in every version, as the stored chunks depend on it.
quint32 productHash(const QString &product);

// The rows of a chunk, each with its place in the run's order.
QByteArray packChunk(const std::vector<std::pair<quint32, const SnapshotRow *>> &rows);
// The rows of a record into rows (resized to their count, its room used again) and their places
// into places; with only, just the rows of those products (by their UTF-8). False when the
// record is none this program wrote (cut short, another format).
bool unpackChunk(const QByteArray &record, std::vector<SnapshotRow> &rows,
                 std::vector<quint32> &places, const QSet<QByteArray> *only = nullptr);

} // namespace planning
