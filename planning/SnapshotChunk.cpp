#include "planning/SnapshotChunk.h"

#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <new>
#include <numeric>
#include <string>
#include <system_error>

namespace planning {

namespace {

constexpr quint8 ChunkFormat = 1;

// The numbers of a row, in the order they are written.
using Number = std::optional<double> SnapshotRow::*;
constexpr std::array<Number, 14> numberColumns = {
    &SnapshotRow::unitsPerPack,  &SnapshotRow::stockFrn,    &SnapshotRow::stockDp,
    &SnapshotRow::stockPj,       &SnapshotRow::stockTotal,  &SnapshotRow::coverWeeks,
    &SnapshotRow::coverWeeksFrn, &SnapshotRow::backOrderPj, &SnapshotRow::backOrderFrn,
    &SnapshotRow::orderPj,       &SnapshotRow::orderFrn,    &SnapshotRow::orderTotal,
    &SnapshotRow::salesPj,       &SnapshotRow::salesFrn};

// Blocks of values written whole, little-endian on any machine: a value at a time through the
// stream would cost more than the rest of the work.
template <typename T> void writeBlock(QDataStream &out, const std::vector<T> &values) {
    if (values.empty())
        return; // an empty vector's data() may be null, which the byte copy must not see
    QByteArray stored(qsizetype(values.size() * sizeof(T)), Qt::Uninitialized);
    qToLittleEndian<T>(values.data(), qsizetype(values.size()), stored.data());
    out.writeRawData(stored.constData(), int(stored.size()));
}
template <typename T> std::vector<T> readBlock(QDataStream &in, size_t count) {
    std::vector<T> values(count);
    if (count == 0)
        return values;
    const qint64 bytes = qint64(count * sizeof(T));
    if (in.readRawData(reinterpret_cast<char *>(values.data()), int(bytes)) != bytes) {
        in.setStatus(QDataStream::ReadPastEnd);
        values.assign(count, T());
    }
    qFromLittleEndian<T>(values.data(), qsizetype(count), values.data());
    return values;
}

// Whole numbers in the fewest bytes that hold them all: a width, then the values.
template <typename T> void writeAs(QDataStream &out, const std::vector<qint64> &values) {
    writeBlock(out, std::vector<T>(values.begin(), values.end()));
}
void writeWhole(QDataStream &out, const std::vector<qint64> &values) {
    qint64 low = 0, high = 0;
    for (qint64 v : values) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const auto fits = [&](auto type) {
        using T = decltype(type);
        return low >= std::numeric_limits<T>::min() && high <= std::numeric_limits<T>::max();
    };
    const quint8 width = fits(qint8()) ? 1 : fits(qint16()) ? 2 : fits(qint32()) ? 4 : 8;
    out << quint32(values.size()) << width;
    switch (width) {
    case 1:
        return writeAs<qint8>(out, values);
    case 2:
        return writeAs<qint16>(out, values);
    case 4:
        return writeAs<qint32>(out, values);
    default:
        return writeAs<qint64>(out, values);
    }
}
template <typename T> std::vector<qint64> readAs(QDataStream &in, size_t count) {
    const std::vector<T> values = readBlock<T>(in, count);
    return std::vector<qint64>(values.begin(), values.end());
}
std::vector<qint64> readWhole(QDataStream &in, size_t most) {
    quint32 count = 0;
    quint8 width = 0;
    in >> count >> width;
    if (count > most) {
        in.setStatus(QDataStream::ReadCorruptData);
        return std::vector<qint64>(most);
    }
    switch (width) {
    case 1:
        return readAs<qint8>(in, count);
    case 2:
        return readAs<qint16>(in, count);
    case 4:
        return readAs<qint32>(in, count);
    case 8:
        return readAs<qint64>(in, count);
    default:
        in.setStatus(QDataStream::ReadCorruptData);
        return std::vector<qint64>(count);
    }
}

// A column of numbers: a kind per row (none, whole, other), the whole numbers, the others.
enum : quint8 { NoNumber, WholeNumber, OtherNumber };
constexpr double WholeLimit = 9007199254740992.0; // 2^53: whole numbers a double holds exactly

std::vector<std::optional<double>> readNumbers(QDataStream &in, size_t count) {
    const auto kinds = readBlock<quint8>(in, count);
    const auto whole = readWhole(in, count);
    quint32 otherCount = 0;
    in >> otherCount;
    const auto other = readBlock<double>(in, std::min<size_t>(otherCount, count));
    std::vector<std::optional<double>> numbers(count);
    size_t w = 0, o = 0;
    for (size_t i = 0; i < count; ++i) {
        if (kinds[i] == WholeNumber && w < whole.size())
            numbers[i] = double(whole[w++]);
        else if (kinds[i] == OtherNumber && o < other.size())
            numbers[i] = other[o++];
    }
    return numbers;
}

// The texts of a block as UTF-8, each as its place in the bytes.
struct Utf8Texts {
    QByteArray bytes;
    std::vector<std::pair<qsizetype, qsizetype>> at; // start, length

    QString text(size_t i) const {
        return i < at.size() ? QString::fromUtf8(bytes.constData() + at[i].first, at[i].second)
                             : QString();
    }
};
Utf8Texts readUtf8(QDataStream &in, size_t count) {
    const auto lengths = readWhole(in, count);
    Utf8Texts texts;
    in >> texts.bytes;
    qsizetype at = 0;
    for (qint64 length : lengths) {
        if (length < 0 || at + length > texts.bytes.size()) {
            in.setStatus(QDataStream::ReadCorruptData);
            break;
        }
        texts.at.emplace_back(at, length);
        at += length;
    }
    return texts;
}
std::vector<QString> readTexts(QDataStream &in, size_t count) {
    const Utf8Texts utf8 = readUtf8(in, count);
    std::vector<QString> texts(count);
    for (size_t i = 0; i < count; ++i)
        texts[i] = utf8.text(i);
    return texts;
}

// Texts that repeat (suppliers, groups): the chunk's own list and an index per row.
std::vector<QString> readRepeated(QDataStream &in, size_t count) {
    const std::vector<QString> own = readTexts(in, count);
    const auto at = readWhole(in, count);
    std::vector<QString> texts(count);
    for (size_t i = 0; i < at.size(); ++i)
        texts[i] = at[i] >= 0 && size_t(at[i]) < own.size() ? own[size_t(at[i])] : QString();
    return texts;
}

// A row as the packer holds it until the run ends: its values in the chunk's column order, whole
// numbers as variable-length integers (most take a byte or two), texts as UTF-8.
class RecordWriter {
public:
    explicit RecordWriter(std::string &bytes) : m_bytes(bytes) {}

    void byte(quint8 b) { m_bytes.push_back(char(b)); }
    void unsignedWhole(quint64 v) {
        for (; v >= 0x80; v >>= 7)
            byte(quint8(v | 0x80));
        byte(quint8(v));
    }
    void whole(qint64 v) { unsignedWhole((quint64(v) << 1) ^ quint64(v >> 63)); }
    void fixed32(quint32 v) { m_bytes.append(reinterpret_cast<const char *>(&v), sizeof v); }
    void number(std::optional<double> n) {
        if (!n)
            return byte(NoNumber);
        if (*n == std::trunc(*n) && std::abs(*n) < WholeLimit) {
            byte(WholeNumber);
            return whole(qint64(*n));
        }
        byte(OtherNumber);
        m_bytes.append(reinterpret_cast<const char *>(&*n), sizeof(double));
    }
    void text(const QString &text) {
        // An ASCII text byte by byte: its length is known before its bytes.
        const size_t at = m_bytes.size();
        unsignedWhole(quint64(text.size()));
        for (const QChar c : text) {
            if (c.unicode() >= 0x80) {
                m_bytes.resize(at);
                const QByteArray utf8 = text.toUtf8();
                unsignedWhole(quint64(utf8.size()));
                m_bytes.append(utf8.constData(), size_t(utf8.size()));
                return;
            }
            m_bytes.push_back(char(c.unicode()));
        }
    }

private:
    std::string &m_bytes;
};

class RecordReader {
public:
    explicit RecordReader(const char *at) : m_at(at) {}

    quint8 byte() { return quint8(*m_at++); }
    quint64 unsignedWhole() {
        quint64 v = 0;
        for (int shift = 0;; shift += 7) {
            const quint8 b = byte();
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
    }
    qint64 whole() {
        const quint64 v = unsignedWhole();
        return qint64(v >> 1) ^ -qint64(v & 1);
    }
    quint32 fixed32() {
        quint32 v;
        std::memcpy(&v, m_at, sizeof v);
        m_at += sizeof v;
        return v;
    }
    double otherNumber() {
        double v;
        std::memcpy(&v, m_at, sizeof v);
        m_at += sizeof v;
        return v;
    }
    std::pair<const char *, qsizetype> text() {
        const auto length = qsizetype(unsignedWhole());
        const char *bytes = m_at;
        m_at += length;
        return {bytes, length};
    }
    const char *at() const { return m_at; }

private:
    const char *m_at;
};

// The columns of a chunk as they are written.
struct NumberColumn {
    std::vector<quint8> kinds;
    std::vector<qint64> whole;
    std::vector<double> other;

    void reserve(size_t count) {
        kinds.reserve(count);
        whole.reserve(count);
    }
    void read(RecordReader &in) {
        const quint8 kind = in.byte();
        kinds.push_back(kind);
        if (kind == WholeNumber)
            whole.push_back(in.whole());
        else if (kind == OtherNumber)
            other.push_back(in.otherNumber());
    }
    void write(QDataStream &out) const {
        writeBlock(out, kinds);
        writeWhole(out, whole);
        out << quint32(other.size());
        writeBlock(out, other);
    }
};
struct TextColumn {
    std::vector<qint64> lengths;
    QByteArray bytes; // stays null while only empty texts come, as the stream writes them

    void add(std::pair<const char *, qsizetype> text) {
        lengths.push_back(text.second);
        if (text.second > 0)
            bytes.append(text.first, text.second);
    }
    void write(QDataStream &out) const {
        writeWhole(out, lengths);
        out << bytes;
    }
};
struct RepeatedColumn {
    TextColumn own;
    QHash<QByteArray, qint64> index; // keys over the records' bytes
    std::vector<qint64> at;

    void add(std::pair<const char *, qsizetype> text) {
        const QByteArray key = QByteArray::fromRawData(text.first, text.second);
        auto found = index.find(key);
        if (found == index.end()) {
            found = index.insert(key, qint64(own.lengths.size()));
            own.add(text);
        }
        at.push_back(*found);
    }
    void write(QDataStream &out) const {
        own.write(out);
        writeWhole(out, at);
    }
};

// The rule's numbers, as the chunk holds them.
constexpr std::array<double (*)(const PlanningRule &), 5> ruleNumbers = {
    [](const PlanningRule &r) { return r.leadTimeWeeks; },
    [](const PlanningRule &r) { return r.safetyWeeks; },
    [](const PlanningRule &r) { return r.safetyPacks; },
    [](const PlanningRule &r) { return double(r.multiple); },
    [](const PlanningRule &r) { return double(r.minimum); }};

// qCompress's record (the length, big-endian, then a zlib stream) at the fastest level: the
// columns are narrow already, and a run waits for this. One stream for many chunks, reset for
// each: a fresh one takes a quarter of a megabyte, which the second core's heap maps anew each
// time.
class Deflater {
public:
    Deflater() {
        if (deflateInit(&m_stream, 1) != Z_OK)
            throw std::bad_alloc();
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    QByteArray deflated(const QByteArray &bytes) {
        deflateReset(&m_stream);
        const uLong bound = deflateBound(&m_stream, uLong(bytes.size()));
        QByteArray record(qsizetype(4 + bound), Qt::Uninitialized);
        qToBigEndian(quint32(bytes.size()), record.data());
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
        m_stream.avail_in = uInt(bytes.size());
        m_stream.next_out = reinterpret_cast<Bytef *>(record.data() + 4);
        m_stream.avail_out = uInt(bound);
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
            throw std::bad_alloc(); // cannot happen with the bound's room
        record.resize(qsizetype(4 + m_stream.total_out));
        return record;
    }

private:
    z_stream m_stream{};
};

QByteArray packRecords(const std::vector<const char *> &records, Deflater &deflater) {
    std::vector<qint64> positions;
    TextColumn products, descriptions;
    std::array<NumberColumn, numberColumns.size() + 1> numbers; // and the suggestion
    std::vector<qint64> urgencies;
    std::array<NumberColumn, ruleNumbers.size()> rules;
    RepeatedColumn suppliers, groups;
    std::vector<qint64> followTrend;
    // Room for every column at once: a chunk's few hundred records would otherwise grow each
    // one by doubling, on a packing thread whose heap is new.
    const size_t count = records.size();
    positions.reserve(count);
    urgencies.reserve(count);
    followTrend.reserve(count);
    for (TextColumn *column : {&products, &descriptions, &suppliers.own, &groups.own})
        column->lengths.reserve(count);
    suppliers.at.reserve(count);
    groups.at.reserve(count);
    for (NumberColumn &column : numbers)
        column.reserve(count);
    for (NumberColumn &column : rules)
        column.reserve(count);
    qsizetype recordBytes = 0;
    for (const char *record : records) {
        RecordReader in(record);
        in.fixed32();
        positions.push_back(qint64(in.unsignedWhole()));
        products.add(in.text());
        descriptions.add(in.text());
        for (NumberColumn &column : numbers)
            column.read(in);
        urgencies.push_back(in.whole());
        for (NumberColumn &column : rules)
            column.read(in);
        suppliers.add(in.text());
        groups.add(in.text());
        followTrend.push_back(in.byte());
        recordBytes += in.at() - record;
    }
    QByteArray bytes;
    bytes.reserve(recordBytes + 1024); // the columns take about what the records took
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << ChunkFormat << quint32(records.size());
    writeWhole(out, positions);
    products.write(out);
    descriptions.write(out);
    for (const NumberColumn &column : numbers)
        column.write(out);
    writeWhole(out, urgencies);
    for (const NumberColumn &column : rules)
        column.write(out);
    suppliers.write(out);
    groups.write(out);
    writeWhole(out, followTrend);
    return deflater.deflated(bytes);
}

// The bytes of a record Deflater wrote, or none when it is no such record (cut short, damaged),
// without the warning qUncompress writes on stderr: the caller tells the operator what it means.
QByteArray inflated(const QByteArray &record) {
    if (record.size() < 4)
        return {};
    const quint32 length = qFromBigEndian<quint32>(record.constData());
    // deflate makes at most 1,032 bytes of one: a longer length is damage, not room to take
    if (length == 0 || length / 1032 > quint32(record.size()))
        return {};
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    uLongf made = length;
    if (uncompress(reinterpret_cast<Bytef *>(bytes.data()), &made,
                   reinterpret_cast<const Bytef *>(record.constData() + 4),
                   uLong(record.size() - 4)) != Z_OK ||
        made != length)
        return {};
    return bytes;
}

// A whole number of the row kept as a double. Beyond qint64 lies only the rounding of its limits,
// which it keeps; a NaN is none this program wrote.
qint64 storedWhole(QDataStream &in, double v) {
    if (std::isnan(v)) {
        in.setStatus(QDataStream::ReadCorruptData);
        return 0;
    }
    constexpr double Limit = 9223372036854775808.0; // 2^63
    return v >= Limit   ? std::numeric_limits<qint64>::max()
           : v < -Limit ? std::numeric_limits<qint64>::min()
                        : qint64(v);
}

} // namespace

int chunkCount(size_t products) {
    return int(std::max<size_t>(1, (products + ChunkProducts - 1) / ChunkProducts));
}

quint32 productHash(const QString &product) {
    // FNV-1a over the UTF-16 code units.
    quint32 hash = 2166136261u;
    for (QChar c : product) {
        hash = (hash ^ c.unicode()) * 16777619u;
    }
    return hash;
}

bool unpackChunk(const QByteArray &record, std::vector<SnapshotRow> &rows,
                 std::vector<quint32> &places, const QSet<QByteArray> *only) {
    const QByteArray bytes = inflated(record);
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 format = 0;
    quint32 count = 0;
    in >> format >> count;
    // Every row takes bytes of its own: a count past them is no chunk of ours.
    if (in.status() != QDataStream::Ok || format != ChunkFormat || count > quint32(bytes.size()))
        return false;
    const auto positions = readWhole(in, count);
    const Utf8Texts products = readUtf8(in, count);
    // Which rows are made, and where: all, or those of the products asked for.
    std::vector<qsizetype> slot(count, -1);
    qsizetype made = 0;
    for (size_t i = 0; i < count; ++i)
        if (!only ||
            (i < products.at.size() &&
             only->contains(QByteArray::fromRawData(
                 products.bytes.constData() + products.at[i].first, products.at[i].second))))
            slot[i] = made++;
    rows.resize(size_t(made));
    places.resize(rows.size());
    const auto each = [&](auto &&values, auto set) {
        for (size_t i = 0; i < values.size() && i < count; ++i)
            if (slot[i] >= 0)
                set(rows[size_t(slot[i])], std::move(values[i]));
    };
    for (size_t i = 0; i < positions.size() && i < count; ++i)
        if (slot[i] >= 0) {
            places[size_t(slot[i])] = quint32(positions[i]);
            rows[size_t(slot[i])].product = products.text(i);
        }
    const Utf8Texts descriptions = readUtf8(in, count);
    for (size_t i = 0; i < count; ++i)
        if (slot[i] >= 0)
            rows[size_t(slot[i])].description = descriptions.text(i);
    for (Number n : numberColumns)
        each(readNumbers(in, count), [n](SnapshotRow &r, std::optional<double> v) { r.*n = v; });
    each(readNumbers(in, count), [&](SnapshotRow &r, std::optional<double> v) {
        r.suggestion = v ? std::optional(storedWhole(in, *v)) : std::nullopt;
    });
    each(readWhole(in, count), [](SnapshotRow &r, qint64 v) { r.urgency = int(v); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.leadTimeWeeks = v.value_or(0); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.safetyWeeks = v.value_or(0); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.safetyPacks = v.value_or(0); });
    each(readNumbers(in, count), [&](SnapshotRow &r, std::optional<double> v) {
        r.rule.multiple = storedWhole(in, v.value_or(1));
    });
    each(readNumbers(in, count), [&](SnapshotRow &r, std::optional<double> v) {
        r.rule.minimum = storedWhole(in, v.value_or(0));
    });
    each(readRepeated(in, count),
         [](SnapshotRow &r, QString &&t) { r.rule.supplier = std::move(t); });
    each(readRepeated(in, count), [](SnapshotRow &r, QString &&t) { r.rule.group = std::move(t); });
    each(readWhole(in, count), [](SnapshotRow &r, qint64 v) { r.rule.followTrend = v != 0; });
    return in.status() == QDataStream::Ok && in.atEnd();
}

SnapshotPacker::SnapshotPacker(size_t expected) : m_buffers(size_t(chunkCount(expected))) {
    m_seen.reserve(qsizetype(expected));
    // About 90 bytes a row: room made once rather than by doubling.
    for (std::string &buffer : m_buffers)
        buffer.reserve(expected / m_buffers.size() * 100 + 1024);
}

void SnapshotPacker::add(const SnapshotRow &row) {
    const qsizetype before = m_seen.size();
    m_seen.insert(row.product); // one look-up: the set grows only for a product not seen
    if (m_seen.size() == before)
        return;
    const quint32 hash = productHash(row.product);
    m_record.clear();
    RecordWriter record(m_record);
    record.fixed32(hash);
    record.unsignedWhole(quint64(m_products++));
    record.text(row.product);
    record.text(row.description);
    for (Number n : numberColumns)
        record.number(row.*n);
    record.number(row.suggestion ? std::optional(double(*row.suggestion)) : std::nullopt);
    record.whole(row.urgency);
    for (const auto number : ruleNumbers)
        record.number(number(row.rule));
    record.text(row.rule.supplier);
    record.text(row.rule.group);
    record.byte(row.rule.followTrend);
    std::string &buffer = m_buffers[hash % m_buffers.size()];
    RecordWriter(buffer).unsignedWhole(m_record.size());
    buffer += m_record;
}

std::vector<std::vector<const char *>> SnapshotPacker::placed() const {
    const size_t chunks = size_t(chunkCount(size_t(m_products)));
    std::vector<std::vector<const char *>> placed(chunks);
    // Each record of a buffer, in the order it came: its length, then the record.
    const auto records = [](const std::string &buffer, auto use) {
        const char *const end = buffer.data() + buffer.size();
        for (RecordReader in(buffer.data()); in.at() != end;) {
            const auto length = qsizetype(in.unsignedWhole());
            use(in.at());
            in = RecordReader(in.at() + length);
        }
    };
    if (chunks == m_buffers.size()) {
        for (size_t c = 0; c < chunks; ++c)
            records(m_buffers[c], [&](const char *record) { placed[c].push_back(record); });
        return placed;
    }
    // Another count than the run expected (products listed twice, or left out): each record to
    // its chunk of that count, in the run's order.
    std::vector<std::pair<quint64, const char *>> ordered; // place, record
    ordered.reserve(size_t(m_products));
    for (const std::string &buffer : m_buffers)
        records(buffer, [&](const char *record) {
            RecordReader in(record);
            in.fixed32();
            ordered.emplace_back(in.unsignedWhole(), record);
        });
    std::sort(ordered.begin(), ordered.end());
    for (const auto &[place, record] : ordered)
        placed[RecordReader(record).fixed32() % chunks].push_back(record);
    return placed;
}

std::vector<QByteArray> SnapshotPacker::chunks() const {
    const std::vector<std::vector<const char *>> placed = this->placed();
    std::vector<QByteArray> chunks(placed.size());
    // Every other chunk on the second core, each with a deflate stream of its own: the run
    // waits for the packing once its list is written, and each chunk is deflated on its own,
    // so the bytes are those of one core.
    const auto packEvery = [&](size_t first, size_t step) {
        Deflater deflater;
        for (size_t c = first; c < chunks.size(); c += step)
            chunks[c] = packRecords(placed[c], deflater);
    };
    std::future<void> second;
    if (chunks.size() > 1) {
        try {
            second = std::async(std::launch::async, packEvery, 1, 2);
        } catch (const std::system_error &) {
            // No thread to be had: this one packs them all.
        }
    }
    if (!second.valid()) {
        packEvery(0, 1);
        return chunks;
    }
    try {
        packEvery(0, 2);
    } catch (...) {
        second.wait(); // it writes into chunks
        throw;
    }
    second.get();
    return chunks;
}

} // namespace planning
