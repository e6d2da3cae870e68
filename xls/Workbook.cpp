#include "xls/Workbook.h"

#include "MDlib/Error.h"
#include "MDlib/SafeFile.h"
#include "xls/CompoundFile.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>
#include <QVarLengthArray>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using lodvik::Variant;

namespace xls {

namespace {

// Record types of the BIFF8 workbook stream.
enum Rec : quint16 {
    BOF = 0x0809,
    EOF_ = 0x000A,
    CODEPAGE = 0x0042,
    WINDOW1 = 0x003D,
    DATEMODE = 0x0022,
    PRECISION = 0x000E,
    BOOKBOOL = 0x00DA,
    FONT = 0x0031,
    XF = 0x00E0,
    FORMAT = 0x041E,
    STYLE = 0x0293,
    BOUNDSHEET = 0x0085,
    SST = 0x00FC,
    CONTINUE = 0x003C,
    EXTSST = 0x00FF,
    UNCALCED = 0x005E,
    CALCMODE = 0x000D,
    CALCCOUNT = 0x000C,
    REFMODE = 0x000F,
    ITERATION = 0x0011,
    DELTA = 0x0010,
    SAVERECALC = 0x005F,
    PRINTHEADERS = 0x002A,
    PRINTGRIDLINES = 0x002B,
    GRIDSET = 0x0082,
    DEFAULTROWHEIGHT = 0x0225,
    WSBOOL = 0x0081,
    DEFCOLWIDTH = 0x0055,
    COLINFO = 0x007D,
    DIMENSIONS = 0x0200,
    ROW = 0x0208,
    BLANK = 0x0201,
    NUMBER = 0x0203,
    RK = 0x027E,
    LABELSST = 0x00FD,
    BOOLERR = 0x0205,
    FORMULA = 0x0006,
    WINDOW2 = 0x023E,
};

constexpr int MaxRecordData = 8224;
constexpr quint16 NormalXf = 15; // the first cell XF; 0-14 are style XFs
constexpr quint16 BoldXf = 16;
constexpr quint16 DateXf = 17;      // only in a workbook with dates
constexpr quint16 DateFormat = 164; // the first number format of a workbook's own

// A record's body, built in place: most records are a few bytes.
class Bytes {
public:
    Bytes &u8(int v) {
        m_data.append(char(v & 0xFF));
        return *this;
    }
    Bytes &u16(int v) {
        char b[2];
        qToLittleEndian(quint16(v), b);
        m_data.append(b, 2);
        return *this;
    }
    Bytes &u32(quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        m_data.append(b, 4);
        return *this;
    }
    Bytes &f64(double v) {
        char b[8];
        qToLittleEndian(v, b);
        m_data.append(b, 8);
        return *this;
    }
    Bytes &raw(const QByteArray &b) {
        m_data.append(b.constData(), b.size());
        return *this;
    }
    // Room for n more bytes, to be written at the pointer returned.
    char *grow(int n) {
        const qsizetype at = m_data.size();
        m_data.resize(at + n);
        return m_data.data() + at;
    }
    QByteArray data() const { return QByteArray(m_data.constData(), m_data.size()); }
    QByteArrayView view() const { return QByteArrayView(m_data.constData(), m_data.size()); }
    int size() const { return int(m_data.size()); }

private:
    QVarLengthArray<char, 64> m_data;
};

// A record's type and body length, the four bytes before its body.
void recordHeader(char *h, quint16 type, qsizetype size) {
    Q_ASSERT(size <= MaxRecordData);
    qToLittleEndian(type, h);
    qToLittleEndian(quint16(size), h + 2);
}

// Records one after another; a sheet's cells make many small ones.
class Stream {
public:
    void record(quint16 type, QByteArrayView body) {
        char h[4];
        recordHeader(h, type, body.size());
        m_data.append(h, 4);
        m_data.append(body.data(), size_t(body.size()));
    }
    void record(quint16 type, const Bytes &body) { record(type, body.view()); }
    QByteArray data() const { return QByteArray(m_data.data(), qsizetype(m_data.size())); }
    int size() const { return int(m_data.size()); }

private:
    std::string m_data; // appends without QByteArray's detach checks
};

// A cell's record put together on the stack and appended at once: a sheet has many, and each
// append to the growing stream costs more than the few bytes it adds.
class SmallRecord {
public:
    static constexpr int Capacity = 128;
    explicit SmallRecord(quint16 type) : m_type(type) {}
    SmallRecord &u8(int v) {
        m_b[m_n++] = char(v & 0xFF);
        return *this;
    }
    SmallRecord &u16(int v) {
        qToLittleEndian(quint16(v), m_b + m_n);
        m_n += 2;
        return *this;
    }
    SmallRecord &u32(quint32 v) {
        qToLittleEndian(v, m_b + m_n);
        m_n += 4;
        return *this;
    }
    SmallRecord &f64(double v) {
        qToLittleEndian(v, m_b + m_n);
        m_n += 8;
        return *this;
    }
    SmallRecord &raw(const std::string &b) {
        std::memcpy(m_b + m_n, b.data(), b.size());
        m_n += int(b.size());
        return *this;
    }
    int room() const { return Capacity - m_n; }
    const char *bytes() const { return m_b; }
    void appendTo(std::string &out) {
        recordHeader(m_b, m_type, m_n - 4);
        out.append(m_b, size_t(m_n));
    }

private:
    quint16 m_type;
    int m_n = 4; // the header is filled in last
    char m_b[Capacity];
};

bool isLatin1(const QString &s) {
    for (QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

void appendChars(Bytes &b, const QString &s, bool wide, int from, int count) {
    char *p = b.grow(wide ? 2 * count : count);
    for (const QChar c : QStringView(s).sliced(from, count)) {
        if (wide) {
            qToLittleEndian(c.unicode(), p);
            p += 2;
        } else {
            *p++ = char(c.unicode());
        }
    }
}

// A string with a one-byte length (FONT, BOUNDSHEET).
void shortString(Bytes &b, const QString &s) {
    const bool wide = !isLatin1(s);
    b.u8(int(s.size())).u8(wide ? 1 : 0);
    appendChars(b, s, wide, 0, int(s.size()));
}

Bytes bof(int type) {
    Bytes b;
    // BIFF8, the build and year of the format's first release, last edited on Windows.
    b.u16(0x0600).u16(type).u16(0x0DBB).u16(0x07CC).u32(0x000000C1).u32(0x00000006);
    return b;
}

Bytes font(bool bold) {
    Bytes b;
    // 10 pt; bit 0 of the options still marks bold for older readers.
    b.u16(200).u16(bold ? 1 : 0).u16(0x7FFF).u16(bold ? 700 : 400).u16(0).u8(0).u8(0).u8(0).u8(0);
    shortString(b, QStringLiteral("Arial"));
    return b;
}

Bytes xf(int fontIndex, bool style, int format = 0) {
    Bytes b;
    b.u16(fontIndex).u16(format);   // font, number format (0: General)
    b.u16(style ? 0xFFF5 : 0x0001); // locked; a style XF has no parent
    b.u8(0x20).u8(0).u8(0);         // bottom aligned, no rotation, no indent
    // attributes this XF sets itself: its number format, its font
    b.u8(style ? 0xF4 : (format ? 0x04 : 0) | (fontIndex ? 0x08 : 0));
    b.u32(0).u32(0); // no borders
    b.u16(0x20C0);   // automatic pattern colours
    return b;
}

} // namespace

// ---- Worksheet ----------------------------------------------------------------------------

Worksheet::Range Worksheet::parseRange(const QString &text) {
    const QStringList parts = text.trimmed().split(':');
    if (parts.size() > 2 || parts.first().isEmpty())
        throw lodvik::Error(QStringLiteral("%1 är inget cellområde.").arg(text));
    const CellRef a = parseCellRef(parts.first());
    const CellRef b = parts.size() == 2 ? parseCellRef(parts.last()) : a;
    return {std::min(a.row, b.row), std::min(a.column, b.column), std::max(a.row, b.row),
            std::max(a.column, b.column)};
}

Worksheet::Cell Worksheet::cellFor(int row, int column, const Variant &value, int maxRows,
                                   int maxColumns) {
    Cell next;
    assign(next, row, column, value, maxRows, maxColumns);
    return next;
}

void Worksheet::assign(Cell &cell, int row, int column, const Variant &value, int maxRows,
                       int maxColumns) {
    if (row < 1 || row > maxRows || column < 1 || column > maxColumns)
        throw lodvik::Error(
            QStringLiteral("Cellen rad %1, kolumn %2 ligger utanför arbetsbladet (högst %3 rader "
                           "och %4 kolumner).")
                .arg(row)
                .arg(column)
                .arg(maxRows)
                .arg(maxColumns));
    cell.kind = Cell::Kind::Blank;
    cell.number = 0;
    cell.bold = false;
    cell.date = false;
    cell.formula.reset();
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        cell.text.clear();
        break;
    case Variant::Type::String: {
        const QString &t = value.text();
        double d = 0;
        // A value from the extracts is never a formula, even when it begins with "=".
        if (t.isEmpty()) {
            cell.text.clear();
        } else if (lodvik::parseNumber(t, &d)) {
            cell.kind = Cell::Kind::Number;
            cell.number = d;
            cell.text.clear();
        } else {
            cell.kind = Cell::Kind::Text;
            cell.text = t;
        }
        break;
    }
    case Variant::Type::Boolean:
        cell.kind = Cell::Kind::Boolean;
        cell.number = value.number() != 0 ? 1 : 0;
        cell.text.clear();
        break;
    default:
        cell.kind = Cell::Kind::Number;
        cell.number = value.toDouble();
        cell.text.clear();
        if (!std::isfinite(cell.number))
            throw lodvik::Error(
                QStringLiteral("Cellen rad %1, kolumn %2 kan inte få ett värde som är för stort "
                               "eller inget tal.")
                    .arg(row)
                    .arg(column));
    }
    // Named by its cell, so that the product with the long text can be found.
    if (cell.kind == Cell::Kind::Text && cell.text.size() > 32767)
        throw lodvik::Error(QStringLiteral("Texten i cellen rad %1, kolumn %2 har %3 tecken; en "
                                           "cell rymmer högst 32 767.")
                                .arg(row)
                                .arg(column)
                                .arg(cell.text.size()));
}

Worksheet::CellMap::Row *Worksheet::CellMap::rowOf(int row0) const {
    if (row0 != m_lastRow || !m_last) {
        const auto row = m_rows.find(row0);
        if (row == m_rows.end())
            return nullptr;
        m_lastRow = row0;
        m_last = const_cast<Row *>(&row->second);
    }
    return m_last;
}

const Worksheet::Cell *Worksheet::CellMap::find(int row0, int column0) const {
    const Row *row = rowOf(row0);
    if (!row || column0 < 0 || size_t(column0) >= row->size())
        return nullptr;
    const Cell &cell = (*row)[size_t(column0)];
    return holds(cell) ? &cell : nullptr;
}

Worksheet::CellMap::Row Worksheet::CellMap::spareRow() {
    Row buffer;
    if (!m_spare.empty()) {
        buffer = std::move(m_spare.back());
        m_spare.pop_back();
    }
    return buffer;
}

void Worksheet::CellMap::addRow(int row0, Row &&cells) {
    // Rows mostly come in order: the hint makes the insertion constant time.
    const auto at = m_rows.emplace_hint(m_rows.lower_bound(row0), row0, std::move(cells));
    m_lastRow = row0;
    m_last = &at->second;
}

Worksheet::Cell &Worksheet::CellMap::at(int row0, int column0) {
    Row *row = rowOf(row0);
    if (!row)
        row = &m_rows.emplace(row0, spareRow()).first->second;
    Row &cells = *row;
    if (size_t(column0) >= cells.size())
        cells.resize(size_t(column0) + 1);
    return cells[size_t(column0)];
}

void Worksheet::CellMap::erase(int row0, int column0) {
    const auto row = m_rows.find(row0);
    if (row == m_rows.end() || size_t(column0) >= row->second.size())
        return;
    Row &cells = row->second;
    cells[size_t(column0)] = Cell();
    while (!cells.empty() && !holds(cells.back()))
        cells.pop_back();
    if (cells.empty()) {
        m_spare.push_back(std::move(cells));
        m_rows.erase(row);
        m_last = nullptr;
    }
}

void Worksheet::CellMap::eraseBefore(int row0) {
    const auto to = m_rows.lower_bound(row0);
    for (auto it = m_rows.begin(); it != to; ++it) {
        // A few buffers suffice for a sheet written row by row.
        if (m_spare.size() < 64) {
            it->second.clear();
            m_spare.push_back(std::move(it->second));
        }
    }
    m_rows.erase(m_rows.begin(), to);
    m_last = nullptr;
}

void Worksheet::store(CellMap &cells, int row0, int column0, Cell next) {
    if (Cell *old = cells.find(row0, column0)) {
        next.bold = old->bold;
        if (!CellMap::holds(next)) {
            cells.erase(row0, column0);
            return;
        }
        *old = std::move(next);
    } else if (next.kind != Cell::Kind::Blank) {
        cells.at(row0, column0) = std::move(next);
    }
}

void Worksheet::storeFormula(CellMap &cells, int row0, int column0, const Formula &formula) {
    Cell &cell = cells.at(row0, column0);
    cell.kind = Cell::Kind::Formula;
    cell.number = 0;
    cell.text.clear();
    cell.formula = formula;
}

void Worksheet::storeBold(CellMap &cells, const Range &range) {
    for (int r = range.firstRow; r <= range.lastRow; ++r)
        for (int c = range.firstColumn; c <= range.lastColumn; ++c)
            cells.at(r, c).bold = true;
}

void Worksheet::setCell(int row, int column, const Variant &value) {
    store(m_cells, row - 1, column - 1, cellFor(row, column, value, MaxRows, MaxColumns));
}

void Worksheet::setDate(int row, int column, const QDate &date) {
    Cell next = cellFor(row, column, Variant::Date(date), MaxRows, MaxColumns);
    next.date = true;
    store(m_cells, row - 1, column - 1, std::move(next));
    m_dates = true;
}

void Worksheet::setRange(const QString &range, const Variant &value) {
    const Range rg = parseRange(range);
    if (value.isString() && value.text().startsWith('=')) {
        const Formula formula = Formula::parse(value.text());
        // References only move down and right: if the last cell's copy stays on the sheet, every
        // copy does, and a formula that cannot be written leaves the range as it was.
        formula.shifted(rg.lastRow - rg.firstRow, rg.lastColumn - rg.firstColumn);
        for (int r = rg.firstRow; r <= rg.lastRow; ++r)
            for (int c = rg.firstColumn; c <= rg.lastColumn; ++c)
                storeFormula(m_cells, r, c, formula.shifted(r - rg.firstRow, c - rg.firstColumn));
        return;
    }
    for (int r = rg.firstRow; r <= rg.lastRow; ++r)
        for (int c = rg.firstColumn; c <= rg.lastColumn; ++c)
            setCell(r + 1, c + 1, value);
}

void Worksheet::setFormula(int row, int column, const Formula &formula) {
    if (row < 1 || row > MaxRows || column < 1 || column > MaxColumns)
        throw lodvik::Error(QStringLiteral("Cellen rad %1, kolumn %2 ligger utanför arbetsbladet.")
                                .arg(row)
                                .arg(column));
    storeFormula(m_cells, row - 1, column - 1, formula);
}

bool Worksheet::setNewRow(int row, std::span<const SheetWriter::RowCell> cells) {
    return storeNewRow(m_cells, row, cells, MaxRows, MaxColumns);
}

size_t Worksheet::makeRow(CellMap::Row &buffer, int row,
                          std::span<const SheetWriter::RowCell> values, int maxRows,
                          int maxColumns) {
    if (buffer.size() < values.size())
        buffer.resize(values.size());
    size_t end = 0; // past the last cell the row holds
    for (size_t i = 0; i < values.size(); ++i) {
        Cell &cell = buffer[i];
        if (values[i].formula) {
            cell = Cell();
            cell.kind = Cell::Kind::Formula;
            cell.formula = *values[i].formula;
        } else if (values[i].value) {
            assign(cell, row, int(i) + 1, *values[i].value, maxRows, maxColumns);
        } else {
            cell = Cell();
        }
        if (CellMap::holds(cell))
            end = i + 1;
    }
    return end;
}

bool Worksheet::storeNewRow(CellMap &cells, int row, std::span<const SheetWriter::RowCell> values,
                            int maxRows, int maxColumns) {
    if (row < 1 || row > maxRows || values.size() > size_t(maxColumns) || cells.hasRow(row - 1))
        return false;
    // A new row: its cells made in place in one buffer, which joins the sheet only when every
    // cell could be made (setCell would have stored those before a failing one, in a workbook
    // that is not saved then).
    CellMap::Row buffer = cells.spareRow();
    const size_t end = makeRow(buffer, row, values, maxRows, maxColumns);
    buffer.resize(end);
    if (end > 0)
        cells.addRow(row - 1, std::move(buffer));
    return true;
}

std::pair<int, int> Worksheet::parseColumns(const QString &columns, double characters) {
    const QStringList parts = columns.trimmed().split(':');
    if (parts.size() > 2 || !(characters >= 0 && characters <= 255))
        throw lodvik::Error(
            QStringLiteral("Ogiltig kolumnbredd %1 för %2.").arg(characters).arg(columns));
    // "A:M" names whole columns: read them as rows 1 of those columns.
    const int first = parseCellRef(parts.first() + '1').column;
    const int last = parseCellRef(parts.last() + '1').column;
    return {std::min(first, last), std::max(first, last)};
}

void Worksheet::setColumnWidth(const QString &columns, double characters) {
    const auto [first, last] = parseColumns(columns, characters);
    for (int c = first; c <= last; ++c)
        m_widths[size_t(c)] = characters;
}

void Worksheet::setBold(const QString &range) {
    storeBold(m_cells, parseRange(range));
}

const Worksheet::Cell *Worksheet::cell(int row, int column) const {
    return m_cells.find(row - 1, column - 1);
}

std::optional<double> Worksheet::columnWidth(int column) const {
    if (column < 1 || column > MaxColumns || m_widths[size_t(column - 1)] == 0)
        return std::nullopt;
    return m_widths[size_t(column - 1)];
}

Operand Worksheet::evaluate(const CellMap &cells, int row0, int column0, Memo &memo, Busy &busy) {
    using Key = std::pair<int, int>;
    // What a formula reads from a cell whose own formula, if any, is done or still running.
    const auto known = [&](const Key &key) -> Operand {
        const Cell *found = cells.find(key.first, key.second);
        if (!found)
            return {};
        if (found->kind != Cell::Kind::Formula)
            return operand(*found);
        if (auto m = memo.find(key); m != memo.end())
            return m->second;
        return Operand::fromNumber(0); // a circular reference counts as 0, as when loaded
    };
    const auto isBusy = [&](const Key &key) {
        auto it = busy.find(key);
        return it != busy.end() && it->second;
    };
    const auto pending = [&](const Key &key) {
        const Cell *cell = cells.find(key.first, key.second);
        return cell && cell->kind == Cell::Kind::Formula && !memo.count(key);
    };

    // A formula that reads no other formula (a row's sum of its own figures) needs no order.
    if (const Cell *top = cells.find(row0, column0); top && top->kind == Cell::Kind::Formula) {
        bool readsFormula = false;
        top->formula->forEachCell([&](int r, int c) {
            const Cell *read = cells.find(r, c);
            readsFormula = readsFormula || (read && read->kind == Cell::Kind::Formula);
        });
        if (!readsFormula)
            return top->formula->evaluate([&](int r, int c) { return known({r, c}); });
    }

    // The formulas a formula reads are computed first, on a stack of our own: a chain of
    // formulas down a long column would overflow the call stack if each evaluated the next.
    struct Step {
        Key key;
        bool expanded;
    };
    std::vector<Step> stack{{{row0, column0}, false}};
    while (!stack.empty()) {
        const Key key = stack.back().key;
        if (!pending(key) || (!stack.back().expanded && isBusy(key))) {
            stack.pop_back();
            continue;
        }
        const Formula &formula = *cells.find(key.first, key.second)->formula;
        if (!stack.back().expanded) {
            stack.back().expanded = true;
            busy[key] = true;
            std::vector<Key> reads;
            formula.forEachCell([&](int r, int c) {
                if (pending({r, c}) && !isBusy({r, c}))
                    reads.emplace_back(r, c);
            });
            for (auto it = reads.rbegin(); it != reads.rend(); ++it)
                stack.push_back({*it, false});
            continue;
        }
        memo[key] = formula.evaluate([&](int r, int c) { return known({r, c}); });
        busy[key] = false;
        stack.pop_back();
    }
    return known({row0, column0});
}

Operand Worksheet::value(int row, int column) const {
    Memo memo;
    Busy busy;
    return evaluate(m_cells, row - 1, column - 1, memo, busy);
}

void Worksheet::widen(Extent &e, const CellMap::Row &cells) {
    for (int c = 0; c < int(cells.size()); ++c)
        if (CellMap::holds(cells[size_t(c)])) {
            e.firstColumn = std::min(e.firstColumn, c);
            break;
        }
    // The row's buffer ends with a cell it holds.
    if (!cells.empty())
        e.lastColumn = std::max(e.lastColumn, int(cells.size()) - 1);
}

Worksheet::Extent Worksheet::extent() const {
    Extent e = m_finishedExtent;
    const CellMap::Rows &rows = m_cells.rows();
    if (!rows.empty()) {
        e.firstRow = e.lastRow < 0 ? rows.begin()->first : e.firstRow;
        e.lastRow = rows.rbegin()->first;
        for (const auto &[row, cells] : rows)
            widen(e, cells);
    }
    if (e.lastRow < 0)
        return {0, -1, 0, -1};
    return e;
}

QByteArray Worksheet::headRecords() const {
    Stream s;
    s.record(BOF, bof(0x0010));
    s.record(UNCALCED, QByteArray(2, '\0')); // not calculated by us: recalculate when loaded
    s.record(CALCMODE, Bytes().u16(1));      // automatic
    s.record(CALCCOUNT, Bytes().u16(100));
    s.record(REFMODE, Bytes().u16(1)); // A1
    s.record(ITERATION, Bytes().u16(0));
    s.record(DELTA, Bytes().f64(0.001));
    s.record(SAVERECALC, Bytes().u16(1));
    s.record(PRINTHEADERS, Bytes().u16(0));
    s.record(PRINTGRIDLINES, Bytes().u16(0));
    s.record(GRIDSET, Bytes().u16(1));
    s.record(DEFAULTROWHEIGHT, Bytes().u16(0).u16(255));
    s.record(WSBOOL, Bytes().u16(0x04C1));
    s.record(DEFCOLWIDTH, Bytes().u16(8));

    // Column widths, one record per run of equal widths.
    for (int c = 0; c < MaxColumns;) {
        if (m_widths[size_t(c)] == 0) {
            ++c;
            continue;
        }
        int last = c;
        while (last + 1 < MaxColumns && m_widths[size_t(last + 1)] == m_widths[size_t(c)])
            ++last;
        const int width = int(std::lround(m_widths[size_t(c)] * 256));
        s.record(COLINFO, Bytes()
                              .u16(c)
                              .u16(last)
                              .u16(std::min(width, 0xFFFF))
                              .u16(NormalXf)
                              .u16(0x0002)
                              .u16(0)); // custom width
        c = last + 1;
    }

    const Extent e = extent();
    s.record(DIMENSIONS, Bytes()
                             .u32(quint32(e.firstRow))
                             .u32(quint32(e.lastRow + 1))
                             .u16(e.firstColumn)
                             .u16(e.lastColumn + 1)
                             .u16(0));
    return s.data();
}

template <class Sst>
void Worksheet::cellRecords(CellMap::Rows::const_iterator from, CellMap::Rows::const_iterator to,
                            std::string &out, Sst &&sst) const {
    Memo memo;
    Busy busy;
    std::string rgce;

    // Rows in blocks of 32: the ROW records of a block, then its cells.
    auto it = from;
    while (it != to) {
        const int blockEnd = (it->first / 32 + 1) * 32;
        auto blockStop = it;
        for (; blockStop != to && blockStop->first < blockEnd; ++blockStop) {
            Extent used;
            widen(used, blockStop->second);
            SmallRecord(ROW)
                .u16(blockStop->first)
                .u16(used.firstColumn)
                .u16(used.lastColumn + 1)
                .u16(255)
                .u16(0)
                .u16(0)
                .u32(0x000F0100)
                .appendTo(out);
        }
        for (; it != blockStop; ++it) {
            const int row = it->first;
            const CellMap::Row &cells = it->second;
            for (int col = 0; col < int(cells.size()); ++col) {
                const Cell &cell = cells[size_t(col)];
                if (!CellMap::holds(cell))
                    continue;
                const quint16 ixfe = cell.date ? DateXf : cell.bold ? BoldXf : NormalXf;
                switch (cell.kind) {
                case Cell::Kind::Blank:
                    SmallRecord(BLANK).u16(row).u16(col).u16(ixfe).appendTo(out);
                    break;
                case Cell::Kind::Number: {
                    const double v = cell.number;
                    if (v == std::floor(v) && v >= -(1 << 29) && v < (1 << 29) &&
                        !(v == 0 && std::signbit(v)))
                        SmallRecord(RK)
                            .u16(row)
                            .u16(col)
                            .u16(ixfe)
                            .u32((quint32(qint32(v)) << 2) | 0x02)
                            .appendTo(out);
                    else
                        SmallRecord(NUMBER).u16(row).u16(col).u16(ixfe).f64(v).appendTo(out);
                    break;
                }
                case Cell::Kind::Text:
                    SmallRecord(LABELSST)
                        .u16(row)
                        .u16(col)
                        .u16(ixfe)
                        .u32(sst(cell.text))
                        .appendTo(out);
                    break;
                case Cell::Kind::Boolean:
                    SmallRecord(BOOLERR)
                        .u16(row)
                        .u16(col)
                        .u16(ixfe)
                        .u8(int(cell.number))
                        .u8(0)
                        .appendTo(out);
                    break;
                case Cell::Kind::Formula: {
                    const Operand v = evaluate(m_cells, row, col, memo, busy);
                    cell.formula->tokensInto(rgce);
                    SmallRecord r(FORMULA);
                    r.u16(row).u16(col).u16(ixfe);
                    if (v.kind == Operand::Kind::Error) // #VALUE!
                        r.u8(2).u8(0).u8(0x0F).u8(0).u8(0).u8(0).u16(0xFFFF);
                    else if (!std::isfinite(v.number)) // a sum past the largest number: #NUM!
                        r.u8(2).u8(0).u8(0x24).u8(0).u8(0).u8(0).u16(0xFFFF);
                    else
                        r.f64(v.number);
                    r.u16(0x0001); // fAlwaysCalc: the program recalculates it on load
                    r.u32(0);
                    r.u16(int(rgce.size()));
                    if (qsizetype(rgce.size()) <= r.room()) {
                        r.raw(rgce).appendTo(out);
                    } else { // a long formula: the record as a whole, then its tokens
                        const std::string head(r.bytes(), size_t(SmallRecord::Capacity - r.room()));
                        char h[4];
                        recordHeader(h, FORMULA, qsizetype(head.size() - 4 + rgce.size()));
                        out.append(h, 4);
                        out.append(head, 4);
                        out.append(rgce);
                    }
                    break;
                }
                }
            }
        }
    }
}

QByteArray Worksheet::tailRecords() {
    Stream s;
    // Gridlines, row and column headings, zeros shown; the sheet selected.
    s.record(WINDOW2, Bytes().u16(0x06B6).u16(0).u16(0).u16(0x40).u16(0).u16(0).u16(0).u32(0));
    s.record(EOF_, QByteArray());
    return s.data();
}

void Worksheet::finishRowsBefore(int row) {
    // Whole blocks of 32 rows only, so that the blocks come out as one pass over the sheet
    // would write them.
    const int end = std::min(row - 1, MaxRows) / 32 * 32;
    if (end <= m_finishedRows)
        return;
    const auto to = m_cells.lowerBound(end);
    for (auto it = m_cells.rows().cbegin(); it != to; ++it) {
        Extent &e = m_finishedExtent;
        if (e.lastRow < 0)
            e.firstRow = it->first;
        e.lastRow = it->first;
        widen(e, it->second);
    }
    // The records go into chunks of about a megabyte: no copy of what is written, and no chunk
    // much larger than it needs to be.
    constexpr size_t ChunkSize = 1 << 20;
    if (m_finished.empty() || m_finished.back().size() >= ChunkSize) {
        m_finished.emplace_back();
        m_finished.back().reserve(ChunkSize + ChunkSize / 8);
    }
    std::string &chunk = m_finished.back();
    const size_t before = chunk.size();
    cellRecords(m_cells.rows().cbegin(), to, chunk,
                [this](const QString &text) { return m_strings.add(text); });
    m_finishedSize += qint64(chunk.size() - before);
    m_cells.eraseBefore(end);
    m_finishedRows = end;
}

quint32 Worksheet::SharedStrings::add(const QString &text) {
    ++references;
    if ((strings.size() + 1) * 2 > qsizetype(m_slots.size()))
        grow();
    const size_t hash = qHash(text);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const quint32 number = m_slots[i];
        if (number == 0) {
            strings.append(text);
            m_hashes.push_back(hash);
            m_slots[i] = quint32(strings.size());
            return quint32(strings.size() - 1);
        }
        if (m_hashes[number - 1] == hash && strings.at(number - 1) == text)
            return number - 1;
    }
}

void Worksheet::SharedStrings::grow() {
    std::vector<quint32> table(std::max<size_t>(64, m_slots.size() * 2), 0);
    const size_t mask = table.size() - 1;
    for (size_t n = 0; n < m_hashes.size(); ++n) {
        size_t i = m_hashes[n] & mask;
        while (table[i] != 0)
            i = (i + 1) & mask;
        table[i] = quint32(n + 1);
    }
    m_slots = std::move(table);
}

// ---- Workbook -----------------------------------------------------------------------------

namespace {

// Collects small writes into larger ones: the file device writes unbuffered, so that a short
// write shows at once, and a workbook is written in many small pieces.
class ChunkedWriter : public QIODevice {
public:
    explicit ChunkedWriter(QIODevice &out) : m_out(out) { open(QIODevice::WriteOnly); }
    ~ChunkedWriter() override { flush(); }
    qint64 count() const { return m_count; } // bytes handed in
    void flush() {
        if (!m_buffer.isEmpty()) {
            m_out.write(m_buffer);
            m_buffer.clear();
        }
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override {
        m_count += size;
        if (m_buffer.size() + size > ChunkSize)
            flush();
        if (size >= ChunkSize)
            m_out.write(data, size);
        else
            m_buffer.append(data, size);
        return size;
    }

private:
    static constexpr qint64 ChunkSize = 1 << 16;
    QIODevice &m_out;
    qint64 m_count = 0;
    QByteArray m_buffer;
};

} // namespace

void Workbook::write(QIODevice &out) const {
    // The strings are known only once the sheet is written; the sheet comes after the globals.
    // Rows finished earlier numbered theirs already; the rest continue the numbering.
    Worksheet::SharedStrings sst = m_sheet.m_strings;
    const Worksheet::CellMap::Rows &rows = m_sheet.m_cells.rows();
    if (!rows.empty() && rows.begin()->first < m_sheet.m_finishedRows)
        throw lodvik::Error(QStringLiteral("Arbetsbladet skrevs till i rader som redan är klara."));
    std::string cells;
    m_sheet.cellRecords(rows.cbegin(), rows.cend(), cells,
                        [&](const QString &text) { return sst.add(text); });
    const QStringList &strings = sst.strings;
    const quint32 references = sst.references;
    const QByteArray head = m_sheet.headRecords();
    const QByteArray tail = Worksheet::tailRecords();
    const qint64 sheetSize =
        head.size() + m_sheet.m_finishedSize + qint64(cells.size()) + tail.size();

    Stream g;
    g.record(BOF, bof(0x0005));
    g.record(CODEPAGE, Bytes().u16(1200)); // UTF-16
    g.record(WINDOW1, Bytes()
                          .u16(0x0168)
                          .u16(0x001E)
                          .u16(0x4000)
                          .u16(0x2000)
                          .u16(0x0038)
                          .u16(0)
                          .u16(0)
                          .u16(1)
                          .u16(0x0258));
    g.record(DATEMODE, Bytes().u16(0));
    g.record(PRECISION, Bytes().u16(1));
    g.record(BOOKBOOL, Bytes().u16(0));
    // Font 4 does not exist in the format: four normal fonts, then the bold one as font 5.
    for (int i = 0; i < 4; ++i)
        g.record(FONT, font(false));
    g.record(FONT, font(true));
    if (m_sheet.m_dates) {
        Bytes format;
        format.u16(DateFormat);
        const QString pattern = QStringLiteral("YYYY-MM-DD");
        format.u16(int(pattern.size())).u8(0);
        appendChars(format, pattern, false, 0, int(pattern.size()));
        g.record(FORMAT, format);
    }
    for (int i = 0; i < 15; ++i)
        g.record(XF, xf(0, true));
    g.record(XF, xf(0, false)); // 15: normal cells
    g.record(XF, xf(5, false)); // 16: bold cells
    if (m_sheet.m_dates)
        g.record(XF, xf(0, false, DateFormat));          // 17: dates
    g.record(STYLE, Bytes().u16(0x8000).u8(0).u8(0xFF)); // the built-in Normal style
    const int boundSheetAt = g.size() + 4;
    Bytes boundSheet;
    boundSheet.u32(0).u16(0); // the sheet's position is filled in below; a visible worksheet
    shortString(boundSheet, QStringLiteral("Blad1"));
    g.record(BOUNDSHEET, boundSheet);

    // Shared strings, split over CONTINUE records where a record fills up. A string's header
    // never splits; its characters may, and each continuation repeats the width flag.
    const int perBucket = std::max(8, int((strings.size() + 127) / 128));
    Bytes extsst;
    extsst.u16(perBucket);
    {
        QList<QByteArray> parts;
        Bytes current;
        current.u32(references).u32(quint32(strings.size()));
        int recordStart = g.size(); // stream position of the record being filled
        auto flush = [&]() {
            parts.append(current.data());
            recordStart += 4 + current.size();
            current = Bytes();
        };
        for (int i = 0; i < strings.size(); ++i) {
            const QString &text = strings.at(i);
            const bool wide = !isLatin1(text);
            const int charSize = wide ? 2 : 1;
            if (current.size() + 3 + (text.isEmpty() ? 0 : charSize) > MaxRecordData)
                flush();
            if (i % perBucket == 0)
                extsst.u32(quint32(recordStart + 4 + current.size()))
                    .u16(4 + current.size())
                    .u16(0);
            current.u16(int(text.size())).u8(wide ? 1 : 0);
            int done = 0;
            while (done < text.size()) {
                int room = (MaxRecordData - current.size()) / charSize;
                if (room == 0) {
                    flush();
                    current.u8(wide ? 1 : 0);
                    room = (MaxRecordData - current.size()) / charSize;
                }
                const int n = std::min(room, int(text.size()) - done);
                appendChars(current, text, wide, done, n);
                done += n;
            }
        }
        parts.append(current.data());
        for (int i = 0; i < parts.size(); ++i)
            g.record(i == 0 ? SST : CONTINUE, parts.at(i));
    }
    if (extsst.size() > MaxRecordData)
        throw lodvik::Error(QStringLiteral("Arbetsboken har för många olika texter."));
    g.record(EXTSST, extsst);
    g.record(EOF_, QByteArray());

    QByteArray globals = g.data();
    qToLittleEndian(quint32(globals.size()), globals.data() + boundSheetAt);
    writeCompoundFile(out, QStringLiteral("Workbook"), globals.size() + sheetSize,
                      [&](QIODevice &device) {
                          ChunkedWriter stream(device);
                          stream.write(globals);
                          stream.write(head);
                          for (const std::string &chunk : m_sheet.m_finished)
                              stream.write(chunk.data(), qint64(chunk.size()));
                          stream.write(cells.data(), qint64(cells.size()));
                          stream.write(tail);
                          // The container was laid out for this size.
                          Q_ASSERT(stream.count() == globals.size() + sheetSize);
                      });
}

QByteArray Workbook::toBytes() const {
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    write(buffer);
    return file;
}

void Workbook::saveAs(const QString &fileName) const {
    lodvik::saveFile(fileName, QStringLiteral("Arbetsboken %1").arg(fileName),
                     [&](QIODevice &file) { write(file); });
}

} // namespace xls
