// The formula parser: parse, canonical text, moving to another cell, evaluation and the tokens of
// the FORMULA record.
//
// Input: two bytes of row offset and one of column offset (signed) for shifted(), one byte that
// seeds the cell values evaluate() sees, then the formula text in UTF-8.

#include "MDlib/Error.h"
#include "xls/Formula.h"

#include <QRegularExpression>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <utility>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The longest parsed form a cell formula may have in the file format.
constexpr qsizetype MaxTokenBytes = 1800;

// Reads the tokens as a reader of the file would: every token known and complete, the operand
// stack never short, one value left at the end.
void checkTokens(const QByteArray &rgce) {
    check(!rgce.isEmpty() && rgce.size() <= MaxTokenBytes);
    const auto *p = reinterpret_cast<const uchar *>(rgce.constData());
    const qsizetype n = rgce.size();
    qsizetype i = 0;
    int depth = 0;
    const auto need = [&](qsizetype bytes) { check(i + bytes <= n); };
    const auto column = [](quint16 field) { check((field & 0x3F00) == 0); };
    while (i < n) {
        const uchar token = p[i++];
        switch (token) {
        case 0x1E: // tInt
            need(2);
            i += 2;
            ++depth;
            break;
        case 0x1F: { // tNum
            need(8);
            check(std::isfinite(qFromLittleEndian<double>(p + i)));
            i += 8;
            ++depth;
            break;
        }
        case 0x24: // tRef
        case 0x44: // tRefV
            need(4);
            column(qFromLittleEndian<quint16>(p + i + 2));
            i += 4;
            ++depth;
            break;
        case 0x25: // tArea
        case 0x45: // tAreaV
            need(8);
            column(qFromLittleEndian<quint16>(p + i + 4));
            column(qFromLittleEndian<quint16>(p + i + 6));
            i += 8;
            ++depth;
            break;
        case 0x03: // tAdd
        case 0x04: // tSub
            check(depth >= 2);
            --depth;
            break;
        case 0x13: // tUminus
        case 0x15: // tParen
            check(depth >= 1);
            break;
        case 0x42: { // tFuncVarV
            need(3);
            const int arguments = p[i];
            check(arguments <= 30 && qFromLittleEndian<quint16>(p + i + 1) == 4); // SUM
            i += 3;
            check(depth >= arguments);
            depth = depth - arguments + 1;
            break;
        }
        default:
            check(false);
        }
    }
    check(depth == 1);
}

// How many cells the ranges of a canonical text cover: evaluating a SUM over the whole sheet is
// correct but too slow to repeat thousands of times a second.
qint64 areaCells(const QString &text) {
    static const QRegularExpression area(
        QStringLiteral(R"(\$?([A-Z]+)\$?([0-9]+):\$?([A-Z]+)\$?([0-9]+))"));
    const auto column = [](const QString &letters) {
        qint64 c = 0;
        for (const QChar ch : letters)
            c = c * 26 + (ch.unicode() - 'A' + 1);
        return c;
    };
    qint64 cells = 0;
    for (auto it = area.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const qint64 rows = std::abs(m.captured(2).toLongLong() - m.captured(4).toLongLong()) + 1;
        const qint64 columns = std::abs(column(m.captured(1)) - column(m.captured(3))) + 1;
        cells += rows * columns;
    }
    return cells;
}

// A cell's value as evaluate() sees it: a fixed function of the position and the seed.
xls::Operand cellValue(int row, int column, uint8_t seed) {
    const uint32_t h = uint32_t(row) * 2654435761u ^ uint32_t(column) * 40503u ^ seed;
    switch (h % 8) {
    case 0:
    case 1:
        return {};
    case 2:
        return {xls::Operand::Kind::Text, 0};
    case 3:
        return seed & 0x80 ? xls::Operand::error() : xls::Operand::fromNumber(0);
    case 4:
        return xls::Operand::fromNumber(-double(h % 1000) / 8);
    case 5:
        return xls::Operand::fromNumber(1e300);
    default:
        return xls::Operand::fromNumber(double(h % 100));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4)
        return 0;
    const int rows = qFromLittleEndian<qint16>(data);
    const int columns = int8_t(data[2]);
    const uint8_t seed = data[3];
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));

    xls::Formula formula;
    try {
        formula = xls::Formula::parse(text);
    } catch (const lodvik::Error &) {
        return 0;
    }

    // The canonical text parses to itself.
    const QString canonical = formula.text();
    const xls::Formula reparsed = xls::Formula::parse(QLatin1Char('=') + canonical);
    check(reparsed.text() == canonical);
    checkTokens(formula.tokens());
    checkTokens(reparsed.tokens());

    // Moved to another cell and back again, it is the same formula; moved nowhere, too.
    check(formula.shifted(0, 0).text() == canonical);
    try {
        const xls::Formula moved = formula.shifted(rows, columns);
        check(xls::Formula::parse(QLatin1Char('=') + moved.text()).text() == moved.text());
        check(moved.shifted(-rows, -columns).text() == canonical);
        check(moved.tokens().size() == formula.tokens().size());
    } catch (const lodvik::Error &) {
    }

    if (areaCells(canonical) > 4096)
        return 0;
    // Evaluation reads only cells on the sheet and only cells the formula names; the formula read
    // back from its text gives a value of the same kind.
    std::set<std::pair<int, int>> named;
    formula.forEachCell([&](int row, int column) {
        check(row >= 0 && row < 65536 && column >= 0 && column < 256);
        named.emplace(row, column);
    });
    const auto lookup = [&](int row, int column) {
        check(named.count({row, column}) == 1);
        return cellValue(row, column, seed);
    };
    const xls::Operand value = formula.evaluate(lookup);
    check(value.kind == xls::Operand::Kind::Number || value.kind == xls::Operand::Kind::Error);
    check(reparsed.evaluate(lookup).kind == value.kind);
    return 0;
}
