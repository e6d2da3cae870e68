#include "reports/CoverageOverview.h"

#include "MDlib/Error.h"
#include "reports/CoverageColumns.h"
#include "reports/Planning.h"
#include "reports/Reports.h"
#include "store/ProductKey.h"
#include "xls/Workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <set>
#include <string>

using lodvik::Variant;

namespace reports {

QString plainNumber(double d) {
    const QString digits15 = QString::number(d, 'g', 15);
    if (!std::isfinite(d) || digits15.toDouble() == d)
        return digits15;
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

namespace {

QString text(const Variant &v) {
    return v.isNull() || v.isEmpty() ? QString() : v.toText();
}

// The list's columns: the workbook's columns it shows, and its own two, which are no workbook
// column (the urgency and the suggestion, worked out from the row and the target).
const std::array<ListColumnInfo, ListColumnCount> columns = [] {
    std::array<ListColumnInfo, ListColumnCount> list{};
    list[size_t(ListColumn::Status)] = {"urgency", "Status", 0, nullptr};
    list[size_t(ListColumn::Suggestion)] = {"suggestion", "Förslag förp.", 0, nullptr};
    for (const CoverageColumn &c : coverageColumns())
        if (c.list)
            list[size_t(*c.list)] = {c.key, c.listHeading, c.letter, &c};
    return list;
}();

ListCell numberCell(const CellNumber &n) {
    ListCell c;
    if (n) {
        c.kind = ListCell::Kind::Number;
        c.number = *n;
    }
    return c;
}

ListCell textCell(const QString &t) {
    ListCell c;
    if (!t.isEmpty()) {
        c.kind = ListCell::Kind::Text;
        c.text = t;
    }
    return c;
}

// A number in C form, as the CSV writes numbers.
bool cNumber(const QString &text) {
    bool number = false;
    const double value = QLocale::c().toDouble(text, &number);
    return number && std::isfinite(value);
}

} // namespace

QString spreadsheetText(const QString &text, bool (*isNumber)(const QString &)) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (text.isEmpty() || !formulaStarts.contains(text.front()) || isNumber(text))
        return text;
    return QLatin1Char('\'') + text;
}

QString csvField(const QString &text) {
    const QString field = spreadsheetText(text, cNumber);
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The cells of a product's row as the coverage workbook holds them, without the workbook: each
// value made into the cell the sheet would store (a numeric text becomes its number, the empty
// text an empty cell), and the total columns' formulas evaluated over those cells as the file
// computes them.
struct CoverageRowMaker::Sheet {
    std::vector<std::pair<const CoverageColumn *, xls::Formula>> totals; // as written in row 1
};

CoverageRowMaker::CoverageRowMaker() : m_sheet(std::make_unique<Sheet>()) {
    for (const CoverageColumn &c : coverageColumns())
        if (c.kind == CoverageColumn::Kind::Sum)
            m_sheet->totals.emplace_back(&c, xls::Formula::parse(sumFormula(c, 1)));
}
CoverageRowMaker::~CoverageRowMaker() = default;

CoverageRow CoverageRowMaker::operator()(const ProduktTabell::Row &cells, int tableRow) {
    using Cell = xls::Worksheet::Cell;
    // What a formula in row 1 reads from each column (1 = A); the texts A and B are no cells.
    std::array<xls::Operand, CoverageColumnCount + 1> sheetRow{};
    CoverageRow row;
    row.tableRow = tableRow;
    for (const CoverageColumn &c : coverageColumns()) {
        if (c.text) {
            row.*c.text = text(cells[size_t(c.column())]);
            continue;
        }
        if (!c.number || c.kind == CoverageColumn::Kind::Sum)
            continue;
        Cell cell;
        try {
            cell = xls::Worksheet::cellFor(1, c.column(), cells[size_t(c.column())],
                                           xls::Worksheet::MaxRows, xls::Worksheet::MaxColumns);
        } catch (const lodvik::Error &) {
            // A value the workbook could not take either (an infinite number, an overlong
            // text): the list shows it empty rather than give up.
        }
        xls::Operand &seen = sheetRow[size_t(c.column())];
        if (cell.kind == Cell::Kind::Number || cell.kind == Cell::Kind::Boolean) {
            row.*c.number = cell.number;
            seen = xls::Operand::fromNumber(cell.number);
        } else if (cell.kind == Cell::Kind::Text) {
            seen.kind = xls::Operand::Kind::Text;
        }
    }
    // The totals add stored cells only, so their order does not matter.
    for (const auto &[c, formula] : m_sheet->totals) {
        const xls::Operand v = formula.evaluate([&](int r, int column) {
            return r == 0 && column >= 0 && column < CoverageColumnCount
                       ? sheetRow[size_t(column) + 1]
                       : xls::Operand{};
        });
        if (v.kind == xls::Operand::Kind::Number)
            row.*c->number = v.number;
    }
    return row;
}

std::vector<CoverageRow> coverageRows(const ProduktTabell &produkttabell) {
    std::vector<CoverageRow> rows;
    CoverageRowMaker make;
    for (int r = 1; r < produkttabell.rowCount() && !isBlankProduct(produkttabell.at(r, 1)); ++r)
        rows.push_back(make(produkttabell.row(r), r));
    return rows;
}

Urgency urgency(const CoverageRow &row, double targetWeeks) {
    if (!row.hasSales())
        return Urgency::NoSales;
    // An empty cover cell is a cover that rounds to 0 weeks.
    const double cover = row.coverWeeks.value_or(0);
    if (cover < targetWeeks / 2)
        return Urgency::Urgent;
    if (cover < targetWeeks)
        return Urgency::BelowTarget;
    return Urgency::Plain;
}

std::optional<qint64> reorderSuggestion(const CoverageRow &row, double targetWeeks) {
    if (!row.hasSales() || row.discontinued())
        return std::nullopt;
    const SuggestionSteps steps = suggestionSteps(row, targetWeeks);
    if (steps.packs <= 0)
        return std::nullopt;
    return steps.minimum;
}

std::vector<const CoverageRow *> eachProductOnce(const std::vector<const CoverageRow *> &rows) {
    std::vector<const CoverageRow *> once;
    once.reserve(rows.size());
    std::set<QByteArray> products;
    for (const CoverageRow *row : rows)
        if (products.insert(dao::productKey(row->product)).second)
            once.push_back(row);
    return once;
}

OrderTotal orderTotal(const std::vector<const CoverageRow *> &rows, double targetWeeks) {
    OrderTotal total;
    for (const CoverageRow *row : eachProductOnce(rows))
        if (const std::optional<qint64> packs = reorderSuggestion(*row, targetWeeks)) {
            total.packs += *packs;
            ++total.products;
        }
    return total;
}

const ListColumnInfo &listColumnInfo(ListColumn column) {
    return columns[int(column)];
}

ListCell listCell(const CoverageRow &row, ListColumn column, double targetWeeks) {
    if (const CoverageColumn *c = columns[size_t(column)].column)
        return c->text ? textCell(row.*c->text) : numberCell(row.*c->number);
    if (column == ListColumn::Status)
        return textCell(urgencyText(urgency(row, targetWeeks)));
    const std::optional<qint64> s = reorderSuggestion(row, targetWeeks);
    return s ? numberCell(double(*s)) : ListCell{};
}

QString urgencyKey(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return QStringLiteral("urgent");
    case Urgency::BelowTarget:
        return QStringLiteral("below_target");
    case Urgency::NoSales:
        return QStringLiteral("no_sales");
    case Urgency::Plain:
        break;
    }
    return QStringLiteral("ok");
}

QString urgencyText(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return QStringLiteral("under halva målet");
    case Urgency::BelowTarget:
        return QStringLiteral("under målet");
    case Urgency::NoSales:
        return QStringLiteral("ingen försäljning");
    case Urgency::Plain:
        break;
    }
    return {};
}

std::vector<const CoverageRow *> allRows(const std::vector<CoverageRow> &rows) {
    std::vector<const CoverageRow *> pointers;
    pointers.reserve(rows.size());
    for (const CoverageRow &row : rows)
        pointers.push_back(&row);
    return pointers;
}

namespace {

QByteArray csvHeader() {
    QStringList fields;
    for (int c = 0; c < ListColumnCount; ++c)
        fields << QLatin1String(columns[c].key);
    fields << planningKeys();
    return (fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

// The list's cells of a row, then the planning columns': what both writers write.
using ListValues = std::array<ListCell, ListColumnCount + PlanningColumnCount>;

void listValues(ListValues &values, const CoverageRow &row, const QDate &period, double targetWeeks,
                const QDate &today) {
    for (int c = 0; c < ListColumnCount; ++c)
        values[size_t(c)] =
            ListColumn(c) == ListColumn::Status
                ? ListCell{ListCell::Kind::Text, 0, urgencyKey(urgency(row, targetWeeks))}
                : listCell(row, ListColumn(c), targetWeeks);
    auto planning = planningCells(row, period, targetWeeks, today);
    std::move(planning.begin(), planning.end(), values.begin() + ListColumnCount);
}

// The writers append bytes to a QByteArray (the functions below) or to a row's std::string,
// whose appends cost less than QByteArray's general insert.
template <class Out> void appendBytes(Out &out, const char *data, qsizetype size) {
    out.append(data, decltype(out.size())(size));
}
template <class Out> void appendBytes(Out &out, const QByteArray &bytes) {
    appendBytes(out, bytes.constData(), bytes.size());
}
template <class Out> void appendByte(Out &out, char c) {
    out.push_back(c);
}

// Whole numbers below 1e15 are their digits in both formats (negative zero "0", as Qt writes
// it); to_chars spares them the exact decimal conversion that the others need.
template <class Out> bool wholeNumberTo(Out &out, double d) {
    if (!(std::fabs(d) < 1e15) || d != std::trunc(d))
        return false;
    char digits[24];
    const char *end = std::to_chars(digits, digits + sizeof digits, qint64(d)).ptr;
    appendBytes(out, digits, end - digits);
    return true;
}

// A value as QJsonDocument writes it as the only element of a compact array.
QByteArray qtJson(const QJsonValue &value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Appends an ASCII text byte by byte.
template <class Out> void asciiTo(Out &out, const QString &text) {
    const auto at = out.size();
    out.resize(at + decltype(at)(text.size()));
    char *p = out.data() + at;
    for (const QChar c : text)
        *p++ = char(c.unicode());
}

template <class Out> void plainNumberTo(Out &out, double d) {
    if (wholeNumberTo(out, d))
        return;
    if (!std::isfinite(d)) {
        appendBytes(out, plainNumber(d).toLatin1());
        return;
    }
    // The shortest text that reads back as d has as many significant digits as d needs. Past 15
    // no 15-digit text reads back as d, and plainNumber writes the shortest; up to 15 the
    // 15-digit text reads back as d, and to_chars writes it as QString::number does (a tie that
    // they round apart lies at a 16th digit).
    char digits[32];
    const char *end =
        std::to_chars(digits, digits + sizeof digits, d, std::chars_format::scientific).ptr;
    const char *e = std::find(static_cast<const char *>(digits), end, 'e');
    if (std::count_if(static_cast<const char *>(digits), e,
                      [](char c) { return c >= '0' && c <= '9'; }) > 15) {
        appendBytes(out, plainNumber(d).toLatin1());
        return;
    }
    end = std::to_chars(digits, digits + sizeof digits, d, std::chars_format::general, 15).ptr;
    appendBytes(out, digits, end - digits);
}

template <class Out> void jsonNumberTo(Out &out, double d) {
    if (wholeNumberTo(out, d))
        return;
    if (std::isfinite(d) && d != std::trunc(d))
        appendBytes(out, QByteArray::number(d, 'g', QLocale::FloatingPointShortest));
    else // a large whole number may be kept as an integer, an infinity becomes null
        appendBytes(out, qtJson(d));
}

template <class Out> void jsonStringTo(Out &out, const QString &text) {
    bool ascii = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == u'"' || u == u'\\' || QChar::isSurrogate(u)) {
            appendBytes(out, qtJson(text)); // escapes, and a lone surrogate Qt's way
            return;
        }
        ascii = ascii && u < 0x80;
    }
    appendByte(out, '"');
    if (ascii)
        asciiTo(out, text);
    else
        appendBytes(out, text.toUtf8());
    appendByte(out, '"');
}

template <class Out> void csvFieldTo(Out &out, const QString &text) {
    if (text.isEmpty())
        return;
    const char16_t first = text.front().unicode();
    bool plain = first != u'=' && first != u'+' && first != u'-' && first != u'@';
    bool ascii = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        plain = plain && u != u',' && u != u'"' && u != u'\n' && u != u'\r' && u != u'\t';
        ascii = ascii && u < 0x80;
    }
    if (!plain)
        appendBytes(out, csvField(text).toUtf8());
    else if (ascii)
        asciiTo(out, text);
    else
        appendBytes(out, text.toUtf8());
}

void csvLine(std::string &line, const ListValues &values) {
    for (size_t c = 0; c < values.size(); ++c) {
        if (c > 0)
            line += ',';
        const ListCell &cell = values[c];
        if (cell.kind == ListCell::Kind::Text)
            csvFieldTo(line, cell.text);
        else if (cell.kind == ListCell::Kind::Empty)
            continue;
        else if (c < size_t(ListColumnCount) || std::isfinite(cell.number))
            plainNumberTo(line, cell.number);
        else // the planning columns are fields like any text: "-inf" gets its apostrophe
            csvFieldTo(line, plainNumber(cell.number));
    }
    line += "\r\n";
}

// The members of a row's JSON object in the order QJsonObject keeps them, each with its place
// in ListValues and what goes before its value as the object is written two levels in: the
// object's opening or the comma after the member before, the line's indent and the key.
struct JsonMember {
    std::string start;
    size_t value;
};

std::vector<JsonMember> jsonMembers() {
    QList<QByteArray> keys;
    for (int c = 0; c < ListColumnCount; ++c)
        keys << columns[c].key;
    for (const QString &key : planningKeys())
        keys << key.toLatin1();
    // QJsonObject keeps its members sorted; the keys are ASCII, so byte order is its order.
    QList<QByteArray> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    std::vector<JsonMember> members;
    for (const QByteArray &key : sorted) {
        // Appended piece by piece: GCC 12 at -O3 with _FORTIFY_SOURCE warns (-Wrestrict) about
        // the same text joined with operator+.
        std::string start = members.empty() ? "        {\n" : ",\n";
        start.append(12, ' ').append(1, '"').append(key.constData(), size_t(key.size()));
        start.append("\": ");
        members.push_back({std::move(start), size_t(keys.indexOf(key))});
    }
    return members;
}

void jsonElement(std::string &element, const ListValues &values,
                 const std::vector<JsonMember> &members) {
    for (const JsonMember &m : members) {
        element += m.start;
        const ListCell &cell = values[m.value];
        if (cell.kind == ListCell::Kind::Number) {
            jsonNumberTo(element, cell.number);
        } else if (cell.kind == ListCell::Kind::Text) {
            jsonStringTo(element, cell.text);
        } else {
            // The product and its description are texts even when empty.
            const CoverageColumn *column =
                m.value < size_t(ListColumnCount) ? columns[m.value].column : nullptr;
            element += column && column->text ? "\"\"" : "null";
        }
    }
    element += "\n        }";
}

} // namespace

void appendPlainNumber(QByteArray &out, double d) {
    plainNumberTo(out, d);
}

void appendJsonNumber(QByteArray &out, double d) {
    jsonNumberTo(out, d);
}

void appendJsonString(QByteArray &out, const QString &text) {
    jsonStringTo(out, text);
}

void appendCsvField(QByteArray &out, const QString &text) {
    csvFieldTo(out, text);
}

CoverageListWriter::CoverageListWriter(Format format, const figures::Period &period,
                                       double targetWeeks,
                                       std::function<void(const QByteArray &)> out,
                                       const QDate &today)
    : m_format(format), m_period(period.date()), m_today(today), m_targetWeeks(targetWeeks),
      m_out(std::move(out)) {
    if (m_format == Format::Csv) {
        m_out(csvHeader());
        return;
    }
    // The document QJsonDocument writes, {"period", "rows": [ ... ], "target_weeks"} indented,
    // its members in key order; the rows go between its two parts.
    QByteArray head = "{\n    \"period\": ";
    appendJsonString(head, period.text());
    m_out(head + ",\n    \"rows\": [\n");
    m_jsonEnd = "    ],\n    \"target_weeks\": ";
    appendJsonNumber(m_jsonEnd, targetWeeks);
    m_jsonEnd += "\n}\n";
}

void CoverageListWriter::add(const CoverageRow &row) {
    ListValues values;
    listValues(values, row, m_period, m_targetWeeks, m_today);
    m_line.clear(); // keeps its room for the next row
    if (m_format == Format::Csv) {
        csvLine(m_line, values);
    } else {
        // The row as an element of the array two levels in.
        static const std::vector<JsonMember> members = jsonMembers();
        if (m_rows)
            m_line += ",\n";
        jsonElement(m_line, values, members);
    }
    m_out(QByteArray::fromRawData(m_line.data(), qsizetype(m_line.size())));
    ++m_rows;
}

void CoverageListWriter::finish() {
    if (m_format == Format::Json)
        m_out(m_rows ? QByteArray("\n") + m_jsonEnd : m_jsonEnd);
}

namespace {

QByteArray writeList(CoverageListWriter::Format format,
                     const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                     double targetWeeks, const QDate &today) {
    QByteArray out;
    CoverageListWriter writer(
        format, period, targetWeeks, [&](const QByteArray &part) { out += part; }, today);
    for (const CoverageRow *row : rows)
        writer.add(*row);
    writer.finish();
    return out;
}

} // namespace

QByteArray coverageCsv(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                       double targetWeeks, const QDate &today) {
    return writeList(CoverageListWriter::Format::Csv, rows, period, targetWeeks, today);
}

QByteArray coverageJson(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                        double targetWeeks, const QDate &today) {
    return writeList(CoverageListWriter::Format::Json, rows, period, targetWeeks, today);
}

void saveCoverageListWorkbook(const std::vector<const CoverageRow *> &rows,
                              const figures::Period &period, double targetWeeks,
                              const QString &fileName, const QDate &today) {
    xls::Workbook book;
    xls::Worksheet &sheet = book.worksheet();
    sheet.setCell(1, 1,
                  Variant::String(QStringLiteral("Täckningsöversikt, period %1, mål %2 veckor")
                                      .arg(period.text(), plainNumber(targetWeeks))));
    sheet.setBold(QStringLiteral("A1"));
    sheet.setColumnWidth(QStringLiteral("A:W"), 12);
    sheet.setColumnWidth(QStringLiteral("A:A"), 18);
    sheet.setColumnWidth(QStringLiteral("C:C"), 30);
    sheet.setColumnWidth(QStringLiteral("R:R"), 18); // "beställ inom målet"
    sheet.setColumnWidth(QStringLiteral("W:W"), 28); // "beställd 2010-11-18, 100 förp."
    const int headingRow = 3;
    sheet.setBold(QStringLiteral("A3:W3"));
    for (int c = 0; c < ListColumnCount; ++c)
        sheet.setCell(headingRow, c + 1, Variant::String(QString::fromUtf8(columns[c].heading)));
    for (int p = 0; p < PlanningListColumnCount; ++p)
        sheet.setCell(headingRow, ListColumnCount + p + 1,
                      Variant::String(QString::fromUtf8(
                          planningListColumnInfo(PlanningListColumn(p)).heading)));
    // Typed input would take a leading "=" for a formula.
    const auto text = [](const QString &t) {
        return Variant::String(t.startsWith(QLatin1Char('=')) ? QLatin1Char(' ') + t : t);
    };
    int r = headingRow + 1;
    for (const CoverageRow *row : rows) {
        for (int c = 0; c < ListColumnCount; ++c) {
            const ListCell cell = listCell(*row, ListColumn(c), targetWeeks);
            if (cell.kind == ListCell::Kind::Number)
                sheet.setCell(r, c + 1, Variant::Double(cell.number));
            else if (cell.kind == ListCell::Kind::Text)
                sheet.setCell(r, c + 1, text(cell.text));
        }
        for (int p = 0; p < PlanningListColumnCount; ++p) {
            const QString t =
                planningListText(*row, PlanningListColumn(p), period.date(), targetWeeks, today);
            if (!t.isEmpty())
                sheet.setCell(r, ListColumnCount + p + 1, text(t));
        }
        ++r;
    }
    // The total the window shows under the list, under the suggestion column.
    const double total = double(orderTotal(rows, targetWeeks).packs);
    const int suggestionColumn = int(ListColumn::Suggestion) + 1;
    sheet.setCell(r + 1, suggestionColumn - 1, Variant::String(QStringLiteral("Att beställa")));
    sheet.setCell(r + 1, suggestionColumn, Variant::Double(total));
    sheet.setBold(QStringLiteral("P%1:Q%1").arg(r + 1));
    book.saveAs(fileName);
}

} // namespace reports
