#include "planning/SnapshotChunk.h"

#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QtEndian>

#include <array>
#include <cmath>
#include <limits>
#include <numeric>

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

void writeNumbers(QDataStream &out, const std::vector<std::optional<double>> &numbers) {
    std::vector<quint8> kinds(numbers.size(), NoNumber);
    std::vector<qint64> whole;
    std::vector<double> other;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (!numbers[i])
            continue;
        const double n = *numbers[i];
        if (n == std::trunc(n) && std::abs(n) < WholeLimit) {
            kinds[i] = WholeNumber;
            whole.push_back(qint64(n));
        } else {
            kinds[i] = OtherNumber;
            other.push_back(n);
        }
    }
    writeBlock(out, kinds);
    writeWhole(out, whole);
    out << quint32(other.size());
    writeBlock(out, other);
}

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

// Appends text as UTF-8 and gives its length; an ASCII text byte by byte, without an array of
// its own.
qint64 appendUtf8(QByteArray &bytes, const QString &text) {
    if (text.isEmpty())
        return 0; // the bytes stay null while only empty texts come, as the stream writes them
    const qsizetype at = bytes.size();
    bytes.resize(at + text.size());
    char *p = bytes.data() + at;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            bytes.resize(at);
            const QByteArray utf8 = text.toUtf8();
            bytes += utf8;
            return utf8.size();
        }
        *p++ = char(c.unicode());
    }
    return text.size();
}

// Texts as their UTF-8 lengths and bytes: text(i) for i below count.
template <typename Text> void writeTexts(QDataStream &out, size_t count, Text text) {
    std::vector<qint64> lengths;
    lengths.reserve(count);
    QByteArray bytes;
    for (size_t i = 0; i < count; ++i)
        lengths.push_back(appendUtf8(bytes, text(i)));
    writeWhole(out, lengths);
    out << bytes;
}
void writeTexts(QDataStream &out, const std::vector<QString> &texts) {
    writeTexts(out, texts.size(), [&](size_t i) -> const QString & { return texts[i]; });
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
void writeRepeated(QDataStream &out, const std::vector<QString> &texts) {
    std::vector<QString> own;
    QHash<QString, qint64> index;
    std::vector<qint64> at;
    for (const QString &text : texts) {
        auto found = index.find(text);
        if (found == index.end()) {
            found = index.insert(text, qint64(own.size()));
            own.push_back(text);
        }
        at.push_back(*found);
    }
    writeTexts(out, own);
    writeWhole(out, at);
}
std::vector<QString> readRepeated(QDataStream &in, size_t count) {
    const std::vector<QString> own = readTexts(in, count);
    const auto at = readWhole(in, count);
    std::vector<QString> texts(count);
    for (size_t i = 0; i < at.size(); ++i)
        texts[i] = at[i] >= 0 && size_t(at[i]) < own.size() ? own[size_t(at[i])] : QString();
    return texts;
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

QByteArray packChunk(const std::vector<std::pair<quint32, const SnapshotRow *>> &rows) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << ChunkFormat << quint32(rows.size());
    // One column of the rows at a time.
    const auto column = [&](auto value) {
        std::vector<decltype(value(SnapshotRow()))> values;
        values.reserve(rows.size());
        for (const auto &[position, row] : rows)
            values.push_back(value(*row));
        return values;
    };
    const auto number = [](auto member) {
        return [member](const SnapshotRow &r) { return std::optional<double>(double(member(r))); };
    };
    std::vector<qint64> positions;
    for (const auto &[position, row] : rows)
        positions.push_back(position);
    writeWhole(out, positions);
    writeTexts(out, rows.size(),
               [&](size_t i) -> const QString & { return rows[i].second->product; });
    writeTexts(out, rows.size(),
               [&](size_t i) -> const QString & { return rows[i].second->description; });
    for (Number n : numberColumns)
        writeNumbers(out, column([n](const SnapshotRow &r) { return r.*n; }));
    writeNumbers(out, column([](const SnapshotRow &r) {
                     return r.suggestion ? std::optional(double(*r.suggestion)) : std::nullopt;
                 }));
    writeWhole(out, column([](const SnapshotRow &r) { return qint64(r.urgency); }));
    writeNumbers(out, column(number([](const SnapshotRow &r) { return r.rule.leadTimeWeeks; })));
    writeNumbers(out, column(number([](const SnapshotRow &r) { return r.rule.safetyWeeks; })));
    writeNumbers(out, column(number([](const SnapshotRow &r) { return r.rule.safetyPacks; })));
    writeNumbers(out, column(number([](const SnapshotRow &r) { return r.rule.multiple; })));
    writeNumbers(out, column(number([](const SnapshotRow &r) { return r.rule.minimum; })));
    writeRepeated(out, column([](const SnapshotRow &r) { return r.rule.supplier; }));
    writeRepeated(out, column([](const SnapshotRow &r) { return r.rule.group; }));
    writeWhole(out, column([](const SnapshotRow &r) { return qint64(r.rule.followTrend); }));
    // The fastest level: the columns are narrow already, and a run waits for this.
    return qCompress(bytes, 1);
}

bool unpackChunk(const QByteArray &record, std::vector<SnapshotRow> &rows,
                 std::vector<quint32> &places, const QSet<QByteArray> *only) {
    const QByteArray bytes = qUncompress(record);
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
    each(readNumbers(in, count), [](SnapshotRow &r, std::optional<double> v) {
        r.suggestion = v ? std::optional(qint64(*v)) : std::nullopt;
    });
    each(readWhole(in, count), [](SnapshotRow &r, qint64 v) { r.urgency = int(v); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.leadTimeWeeks = v.value_or(0); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.safetyWeeks = v.value_or(0); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.safetyPacks = v.value_or(0); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.multiple = qint64(v.value_or(1)); });
    each(readNumbers(in, count),
         [](SnapshotRow &r, std::optional<double> v) { r.rule.minimum = qint64(v.value_or(0)); });
    each(readRepeated(in, count),
         [](SnapshotRow &r, QString &&t) { r.rule.supplier = std::move(t); });
    each(readRepeated(in, count), [](SnapshotRow &r, QString &&t) { r.rule.group = std::move(t); });
    each(readWhole(in, count), [](SnapshotRow &r, qint64 v) { r.rule.followTrend = v != 0; });
    return in.status() == QDataStream::Ok && in.atEnd();
}

} // namespace planning
