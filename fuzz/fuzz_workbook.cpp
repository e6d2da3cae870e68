// The workbook writer: a worksheet built by a script of operations, then written as a file whose
// container and records must read back.
//
// Input: UTF-8 lines, one operation each (see fuzz/README.md):
//   c ROW COLUMN VALUE   setCell          r RANGE VALUE    setRange
//   w COLUMNS WIDTH      setColumnWidth   b RANGE          setBold
// VALUE is a type letter and its text: s text, f double, l long, i integer, b boolean, d date,
// n Null, e Empty. "r G5:G9 s=D5+E5" writes a formula down a column.

#include "MDlib/Error.h"
#include "MDlib/Variant.h"
#include "xls/Workbook.h"

#include <QDate>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <utility>

using lodvik::Variant;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// Cells written, and cells read by the formulas written: a sheet of millions of cells, or of
// thousands of SUMs over whole columns, is legal but too slow to fuzz.
constexpr qint64 CellBudget = 16384;
constexpr qint64 ReadBudget = 100000;

QString takeWord(QString &line) {
    line = line.trimmed();
    const qsizetype end = line.indexOf(u' ');
    const QString word = end < 0 ? line : line.left(end);
    line = end < 0 ? QString() : line.mid(end + 1);
    return word;
}

Variant value(const QString &typed) {
    const QString text = typed.mid(1);
    switch (typed.isEmpty() ? u'e' : typed.at(0).unicode()) {
    case u's':
        return Variant::String(text);
    case u'f':
        return Variant::Double(text.toDouble());
    case u'l':
        return Variant::Long(text.toInt());
    case u'i':
        return Variant::Integer(text.toShort());
    case u'b':
        return Variant::Boolean(text.toInt() != 0);
    case u'd':
        return Variant::Date(QDate::fromJulianDay(text.toLongLong()));
    case u'n':
        return Variant::Null();
    default:
        return Variant();
    }
}

// How many cells a formula reads, or 0 for any other value.
qint64 formulaReads(const Variant &v) {
    if (!v.isString() || !v.text().startsWith(u'='))
        return 0;
    try {
        qint64 cells = 0;
        // Not forEachCell: it would take as long as the evaluation being avoided.
        static const QRegularExpression area(
            QStringLiteral(R"((\$?[A-Z]+\$?[0-9]+):(\$?[A-Z]+\$?[0-9]+))"));
        const QString text = xls::Formula::parse(v.text()).text();
        for (auto it = area.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            const xls::CellRef a = xls::parseCellRef(m.captured(1));
            const xls::CellRef b = xls::parseCellRef(m.captured(2));
            cells += qint64(std::abs(a.row - b.row) + 1) * (std::abs(a.column - b.column) + 1);
        }
        return cells + text.count(u'+') + text.count(u'-') + 1;
    } catch (const lodvik::Error &) {
        return 0;
    }
}

// The cells of an A1 range as the worksheet reads it, or 0 when it is no range.
qint64 rangeCells(const QString &range) {
    const QStringList parts = range.trimmed().split(u':');
    try {
        const xls::CellRef a = xls::parseCellRef(parts.first());
        const xls::CellRef b = xls::parseCellRef(parts.last());
        return qint64(std::abs(a.row - b.row) + 1) * (std::abs(a.column - b.column) + 1);
    } catch (const lodvik::Error &) {
        return 0;
    }
}

// The top left cell of a range (counted from 1), or (0, 0) when it is no range.
std::pair<int, int> firstCell(const QString &range) {
    const QStringList parts = range.trimmed().split(u':');
    try {
        const xls::CellRef a = xls::parseCellRef(parts.first());
        const xls::CellRef b = xls::parseCellRef(parts.last());
        return {std::min(a.row, b.row) + 1, std::min(a.column, b.column) + 1};
    } catch (const lodvik::Error &) {
        return {0, 0};
    }
}

QString describe(const xls::Worksheet::Cell *cell) {
    if (!cell)
        return QStringLiteral("none");
    return QStringList{QString::number(int(cell->kind)), QString::number(cell->number, 'g', 17),
                       cell->text, QString::number(cell->bold),
                       cell->formula ? cell->formula->text() : QString()}
        .join(u'|');
}

quint16 u16(const QByteArray &b, qsizetype at) {
    check(at >= 0 && at + 2 <= b.size());
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 u32(const QByteArray &b, qsizetype at) {
    check(at >= 0 && at + 4 <= b.size());
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// The Workbook stream out of the compound file, following the FAT as a reader does.
QByteArray workbookStream(const QByteArray &file) {
    check(file.size() >= 512 && file.size() % 512 == 0);
    check(file.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")));
    check(u16(file, 0x1E) == 9);
    const auto sector = [&](quint32 s) {
        check(qint64(s + 1) * 512 + 512 <= file.size());
        return file.mid(qsizetype(s + 1) * 512, 512);
    };
    // The FAT, from the header's DIFAT and the DIFAT sectors.
    const quint32 fatSectors = u32(file, 0x2C);
    QList<quint32> fatAt;
    for (int i = 0; i < 109 && quint32(fatAt.size()) < fatSectors; ++i)
        fatAt.append(u32(file, 0x4C + 4 * i));
    for (quint32 d = u32(file, 0x44), n = 0; quint32(fatAt.size()) < fatSectors; ++n) {
        check(n < u32(file, 0x48));
        const QByteArray difat = sector(d);
        for (int i = 0; i < 127 && quint32(fatAt.size()) < fatSectors; ++i)
            fatAt.append(u32(difat, 4 * i));
        d = u32(difat, 508);
    }
    QByteArray fat;
    for (quint32 s : fatAt)
        fat += sector(s);
    const QByteArray directory = sector(u32(file, 0x30));
    check(QString::fromUtf16(reinterpret_cast<const char16_t *>(directory.constData() + 128), 8) ==
          QStringLiteral("Workbook"));
    const quint32 size = u32(directory, 128 + 120);
    QByteArray stream;
    quint32 s = u32(directory, 128 + 116);
    for (quint32 steps = 0; s != 0xFFFFFFFE; ++steps) {
        check(steps < quint32(file.size() / 512));
        stream += sector(s);
        s = u32(fat, qsizetype(s) * 4);
    }
    check(stream.size() >= qsizetype(size));
    return stream.left(size);
}

// Walks the BIFF records of both substreams.
void checkRecords(const QByteArray &stream) {
    qsizetype at = 0;
    quint32 sheetAt = 0, uniqueStrings = 0;
    int eofs = 0;
    while (eofs < 2) {
        const quint16 type = u16(stream, at), length = u16(stream, at + 2);
        check(length <= 8224 && at + 4 + length <= stream.size());
        const QByteArray body = stream.mid(at + 4, length);
        if (at == 0 || (eofs == 1 && qsizetype(sheetAt) == at))
            check(type == 0x0809); // BOF
        switch (type) {
        case 0x0085: // BOUNDSHEET
            sheetAt = u32(body, 0);
            break;
        case 0x00FC: // SST
            uniqueStrings = u32(body, 4);
            break;
        case 0x00FD: // LABELSST
            check(u32(body, 6) < uniqueStrings);
            break;
        case 0x0006: // FORMULA
            check(length == 22 + u16(body, 20));
            break;
        case 0x000A: // EOF
            ++eofs;
            if (eofs == 1)
                check(at + 4 == qsizetype(sheetAt));
            break;
        }
        at += 4 + length;
    }
    // Only the padding up to the mini-stream cutoff follows.
    check(stream.mid(at).count('\0') == stream.size() - at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString script = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    xls::Workbook book;
    xls::Worksheet &sheet = book.worksheet();
    std::set<std::pair<int, int>> touched;
    qint64 budget = CellBudget, reads = ReadBudget;
    for (QString line : script.split(u'\n')) {
        const QString op = takeWord(line);
        try {
            if (op == u"c") {
                const int row = takeWord(line).toInt();
                const int column = takeWord(line).toInt();
                const Variant v = value(line);
                reads -= formulaReads(v);
                if (reads < 0)
                    break;
                sheet.setCell(row, column, v);
                touched.emplace(row, column);
            } else if (op == u"r" || op == u"b") {
                const QString range = takeWord(line);
                budget -= rangeCells(range);
                if (budget < 0)
                    break;
                if (op == u"b") {
                    sheet.setBold(range);
                    continue;
                }
                const Variant v = value(line);
                reads -= rangeCells(range) * formulaReads(v);
                if (reads < 0)
                    break;
                // A range that cannot be written is left as it was.
                const auto [row, column] = firstCell(range);
                const QString before = describe(sheet.cell(row, column));
                try {
                    sheet.setRange(range, v);
                } catch (const lodvik::Error &) {
                    check(describe(sheet.cell(row, column)) == before);
                    throw;
                }
            } else if (op == u"w") {
                const QString columns = takeWord(line);
                sheet.setColumnWidth(columns, takeWord(line).toDouble());
            }
        } catch (const lodvik::Error &) {
        }
    }

    for (const auto &[row, column] : touched) {
        const xls::Worksheet::Cell *cell = sheet.cell(row, column);
        const xls::Operand v = sheet.value(row, column);
        if (!cell || cell->kind == xls::Worksheet::Cell::Kind::Blank)
            check(v.kind == xls::Operand::Kind::Empty);
    }

    QByteArray file;
    try {
        file = book.toBytes();
    } catch (const lodvik::Error &) {
        return 0;
    }
    checkRecords(workbookStream(file));
    return 0;
}
