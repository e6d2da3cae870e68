#include "reports/ListWriters.h"

#include "MDlib/Csv.h"
#include "MDlib/NumberText.h"
#include "reports/ListColumns.h"
#include "xls/Workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

using lodvik::plainNumber;
using lodvik::Variant;

namespace reports {

namespace {

// A number in C form, as the CSV writes numbers.
bool cNumber(const QString &text) {
    bool number = false;
    const double value = QLocale::c().toDouble(text, &number);
    return number && std::isfinite(value);
}

} // namespace

QString csvField(const QString &text) {
    return lodvik::csvField(lodvik::spreadsheetText(text, cNumber));
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
    for (const ListColumn c : machineColumns())
        fields << QLatin1String(listColumn(c).key);
    return (fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

// A row's cells in the columns of the command line's files: what both writers write.
using ListValues = std::array<ListCell, MachineColumnCount>;

void listValues(ListValues &values, const CoverageRow &row, const ListContext &context) {
    const auto &columns = machineColumns();
    for (size_t c = 0; c < columns.size(); ++c)
        values[c] = listCell(row, columns[c], context);
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
    const auto &columns = machineColumns();
    for (size_t c = 0; c < values.size(); ++c) {
        if (c > 0)
            line += ',';
        const ListCell &cell = values[c];
        if (cell.kind == ListCell::Kind::Text)
            csvFieldTo(line, cell.text);
        else if (cell.kind == ListCell::Kind::Empty)
            continue;
        else if (!listColumn(columns[c]).planningNumber || std::isfinite(cell.number))
            plainNumberTo(line, cell.number);
        else // the planning data's numbers are fields like any text: "-inf" gets its apostrophe
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
    for (const ListColumn c : machineColumns())
        keys << listColumn(c).key;
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
        if (cell.kind == ListCell::Kind::Number)
            jsonNumberTo(element, cell.number);
        else if (cell.kind == ListCell::Kind::Text)
            jsonStringTo(element, cell.text);
        else
            element += "null";
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
    listValues(values, row, {m_period, m_targetWeeks, m_today, false});
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

// The overview's columns: those with a heading.
std::vector<ListColumn> shownColumns() {
    std::vector<ListColumn> columns;
    for (int c = 0; c < ShownColumnCount; ++c)
        columns.push_back(ListColumn(c));
    return columns;
}

// A column's letters in a workbook (1 = A).
QString columnLetters(int column) {
    QString letters;
    for (; column > 0; column = (column - 1) / 26)
        letters.prepend(QChar(u'A' + (column - 1) % 26));
    return letters;
}

bool spreadsheetNumber(const QString &text) {
    return lodvik::readSpreadsheetNumber(text).has_value();
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

QByteArray swedishListCsv(const std::vector<const CoverageRow *> &rows,
                          const figures::Period &period, double targetWeeks, const QDate &today) {
    const std::vector<ListColumn> columns = shownColumns();
    const ListContext context{period.date(), targetWeeks, today, true};
    QList<QStringList> lines;
    QStringList fields;
    for (const ListColumn c : columns)
        fields << QString::fromUtf8(listColumn(c).heading);
    lines << fields;
    for (const CoverageRow *row : rows) {
        fields.clear();
        for (const ListColumn c : columns) {
            const ListCell cell = listCell(*row, c, context);
            fields << (cell.kind == ListCell::Kind::Number
                           ? lodvik::commaNumber(cell.number)
                           : lodvik::spreadsheetText(cell.text, spreadsheetNumber));
        }
        lines << fields;
    }
    return lodvik::swedishCsv(lines);
}

void saveCoverageListWorkbook(const std::vector<const CoverageRow *> &rows,
                              const figures::Period &period, double targetWeeks,
                              const QString &fileName, const QDate &today) {
    const std::vector<ListColumn> columns = shownColumns();
    const QString last = columnLetters(int(columns.size()));
    const ListContext context{period.date(), targetWeeks, today, true};
    xls::Workbook book;
    xls::Worksheet &sheet = book.worksheet();
    sheet.setCell(1, 1,
                  Variant::String(QStringLiteral("Täckningsöversikt, period %1, mål %2 veckor")
                                      .arg(period.text(), plainNumber(targetWeeks))));
    sheet.setBold(QStringLiteral("A1"));
    constexpr int usualWidth = 12;
    sheet.setColumnWidth(QStringLiteral("A:") + last, usualWidth);
    for (size_t k = 0; k < columns.size(); ++k)
        if (const int width = listColumn(columns[k]).listWidth; width != usualWidth) {
            const QString letters = columnLetters(int(k) + 1);
            sheet.setColumnWidth(letters + QLatin1Char(':') + letters, width);
        }
    const int headingRow = 3;
    sheet.setBold(QStringLiteral("A%1:%2%1").arg(QString::number(headingRow), last));
    for (size_t k = 0; k < columns.size(); ++k)
        sheet.setCell(headingRow, int(k) + 1,
                      Variant::String(QString::fromUtf8(listColumn(columns[k]).heading)));
    // Typed input would take a leading "=" for a formula.
    const auto text = [](const QString &t) {
        return Variant::String(t.startsWith(QLatin1Char('=')) ? QLatin1Char(' ') + t : t);
    };
    int r = headingRow + 1;
    for (const CoverageRow *row : rows) {
        for (size_t k = 0; k < columns.size(); ++k) {
            const ListCell cell = listCell(*row, columns[k], context);
            if (cell.kind == ListCell::Kind::Number)
                sheet.setCell(r, int(k) + 1, Variant::Double(cell.number));
            else if (cell.kind == ListCell::Kind::Text && !cell.text.isEmpty())
                sheet.setCell(r, int(k) + 1, text(cell.text));
        }
        ++r;
    }
    // The total the window shows under the list, under the suggestion column.
    const double total = double(planning::orderTotal(rows, targetWeeks).packs);
    const int suggestion =
        int(std::find(columns.begin(), columns.end(), ListColumn::Suggestion) - columns.begin()) +
        1;
    sheet.setCell(r + 1, suggestion - 1, Variant::String(QStringLiteral("Att beställa")));
    sheet.setCell(r + 1, suggestion, Variant::Double(total));
    sheet.setBold(QStringLiteral("%1%3:%2%3")
                      .arg(columnLetters(suggestion - 1), columnLetters(suggestion))
                      .arg(r + 1));
    book.saveAs(fileName);
}

} // namespace reports
