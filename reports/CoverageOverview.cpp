#include "reports/CoverageOverview.h"

#include "MDlib/Error.h"
#include "reports/CoverageColumns.h"
#include "reports/Planning.h"
#include "reports/Reports.h"
#include "xls/Workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <array>
#include <cmath>

using lodvik::Variant;

namespace reports {

namespace {

// One worksheet row filled as excellprodukter fills a product's row, with the two total
// formulas in place, so that every value is the workbook's own: a numeric text becomes its
// number, the empty text an empty cell, and G and N are evaluated as the file computes them.
class WorkbookRow {
public:
    WorkbookRow() {
        for (const CoverageColumn &c : coverageColumns())
            if (c.kind == CoverageColumn::Kind::Sum)
                m_sheet.setRange(QString(QLatin1Char(c.letter)) + QLatin1Char('1'),
                                 Variant::String(sumFormula(c, 1)));
    }

    // The number columns of a table row (the product and its description are read as texts).
    void fill(const ProduktTabell::Row &cells) {
        for (const CoverageColumn &c : coverageColumns()) {
            if (!c.number || c.kind == CoverageColumn::Kind::Sum)
                continue; // empty in the table; the formulas stay
            try {
                m_sheet.setCell(1, c.column(), cells[size_t(c.column())]);
            } catch (const lodvik::Error &) {
                // A value the workbook could not take either (a text beginning with "=" that
                // is no formula): the list shows it empty rather than give up.
                m_sheet.setCell(1, c.column(), Variant());
            }
        }
    }

    // A cell as typed input left it; a formula evaluated as the file computes it.
    CellNumber number(const CoverageColumn &column) const {
        if (column.kind == CoverageColumn::Kind::Sum) {
            const xls::Operand v = m_sheet.value(1, column.column());
            if (v.kind == xls::Operand::Kind::Number)
                return v.number;
            return std::nullopt;
        }
        const xls::Worksheet::Cell *cell = m_sheet.cell(1, column.column());
        if (cell && (cell->kind == xls::Worksheet::Cell::Kind::Number ||
                     cell->kind == xls::Worksheet::Cell::Kind::Boolean))
            return cell->number;
        return std::nullopt;
    }

private:
    xls::Worksheet m_sheet;
};

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

// A number as C-locale text: whole numbers without a decimal point, others with up to 15
// significant digits.
QString plainNumber(double d) {
    return QString::number(d, 'g', 15);
}

// A spreadsheet opening the file would run a text such as "=cmd|..." or "@SUM(...)" as a
// formula; a leading apostrophe keeps it a text there. A number ("-12") stays a number.
QString spreadsheetText(const QString &text) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (text.isEmpty() || !formulaStarts.contains(text.front()))
        return text;
    bool number = false;
    const double value = QLocale::c().toDouble(text, &number);
    return number && std::isfinite(value) ? text : QLatin1Char('\'') + text;
}

QString csvField(const QString &text) {
    const QString field = spreadsheetText(text);
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

struct CoverageRowMaker::Sheet : WorkbookRow {};

CoverageRowMaker::CoverageRowMaker() : m_sheet(std::make_unique<Sheet>()) {}
CoverageRowMaker::~CoverageRowMaker() = default;

CoverageRow CoverageRowMaker::operator()(const ProduktTabell::Row &cells, int tableRow) {
    WorkbookRow &sheet = *m_sheet;
    sheet.fill(cells);
    CoverageRow row;
    row.tableRow = tableRow;
    for (const CoverageColumn &c : coverageColumns()) {
        if (c.text)
            row.*c.text = text(cells[size_t(c.column())]);
        else if (c.number)
            row.*c.number = sheet.number(c);
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

QByteArray csvLine(const CoverageRow &row, const QDate &period, double targetWeeks,
                   const QDate &today) {
    QStringList fields;
    for (int c = 0; c < ListColumnCount; ++c) {
        if (ListColumn(c) == ListColumn::Status) {
            fields << urgencyKey(urgency(row, targetWeeks));
            continue;
        }
        const ListCell cell = listCell(row, ListColumn(c), targetWeeks);
        switch (cell.kind) {
        case ListCell::Kind::Empty:
            fields << QString();
            break;
        case ListCell::Kind::Number:
            fields << plainNumber(cell.number);
            break;
        case ListCell::Kind::Text:
            fields << csvField(cell.text);
            break;
        }
    }
    for (const QString &field : planningCsvFields(row, period, targetWeeks, today))
        fields << csvField(field);
    return (fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

QJsonObject jsonRow(const CoverageRow &row, const QDate &period, double targetWeeks,
                    const QDate &today) {
    QJsonObject o;
    for (int c = 0; c < ListColumnCount; ++c) {
        const QString key = QLatin1String(columns[c].key);
        if (ListColumn(c) == ListColumn::Status) {
            o.insert(key, urgencyKey(urgency(row, targetWeeks)));
            continue;
        }
        const ListCell cell = listCell(row, ListColumn(c), targetWeeks);
        switch (cell.kind) {
        case ListCell::Kind::Empty:
            // The product and its description are texts even when empty.
            o.insert(key, columns[size_t(c)].column && columns[size_t(c)].column->text
                              ? QJsonValue(QString())
                              : QJsonValue(QJsonValue::Null));
            break;
        case ListCell::Kind::Number:
            o.insert(key, cell.number);
            break;
        case ListCell::Kind::Text:
            o.insert(key, cell.text);
            break;
        }
    }
    addPlanningMembers(o, row, period, targetWeeks, today);
    return o;
}

} // namespace

CoverageListWriter::CoverageListWriter(Format format, const figures::Period &period,
                                       double targetWeeks,
                                       std::function<void(const QByteArray &)> out)
    : m_format(format), m_period(period.date()), m_today(QDate::currentDate()),
      m_targetWeeks(targetWeeks), m_out(std::move(out)) {
    if (m_format == Format::Csv) {
        m_out(csvHeader());
        return;
    }
    // Qt's own document with no rows, cut where the rows go, so that the streamed document is
    // the one QJsonDocument writes: {"period", "rows": [ ... ], "target_weeks"} indented.
    QJsonObject doc;
    doc.insert(QStringLiteral("period"), period.text());
    doc.insert(QStringLiteral("target_weeks"), targetWeeks);
    doc.insert(QStringLiteral("rows"), QJsonArray());
    const QByteArray empty = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    const QByteArray open = "\"rows\": [\n";
    const qsizetype cut = empty.indexOf(open) + open.size();
    m_out(empty.left(cut));
    m_jsonEnd = empty.mid(cut);
}

void CoverageListWriter::add(const CoverageRow &row) {
    if (m_format == Format::Csv) {
        m_out(csvLine(row, m_period, m_targetWeeks, m_today));
        ++m_rows;
        return;
    }
    // The row as an element of the array two levels in.
    const QByteArray object = QJsonDocument(jsonRow(row, m_period, m_targetWeeks, m_today))
                                  .toJson(QJsonDocument::Indented);
    QByteArray element = m_rows ? QByteArray(",\n") : QByteArray();
    for (const QByteArray &line : object.chopped(1).split('\n'))
        element += QByteArray(8, ' ') + line + '\n';
    element.chop(1);
    m_out(element);
    ++m_rows;
}

void CoverageListWriter::finish() {
    if (m_format == Format::Json)
        m_out(m_rows ? QByteArray("\n") + m_jsonEnd : m_jsonEnd);
}

namespace {

QByteArray writeList(CoverageListWriter::Format format,
                     const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                     double targetWeeks) {
    QByteArray out;
    CoverageListWriter writer(format, period, targetWeeks,
                              [&](const QByteArray &part) { out += part; });
    for (const CoverageRow *row : rows)
        writer.add(*row);
    writer.finish();
    return out;
}

} // namespace

QByteArray coverageCsv(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                       double targetWeeks) {
    return writeList(CoverageListWriter::Format::Csv, rows, period, targetWeeks);
}

QByteArray coverageJson(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                        double targetWeeks) {
    return writeList(CoverageListWriter::Format::Json, rows, period, targetWeeks);
}

void saveCoverageListWorkbook(const std::vector<const CoverageRow *> &rows,
                              const figures::Period &period, double targetWeeks,
                              const QString &fileName) {
    xls::Workbook book;
    xls::Worksheet &sheet = book.worksheet();
    sheet.setCell(1, 1,
                  Variant::String(QStringLiteral("Täckningsöversikt, period %1, mål %2 veckor")
                                      .arg(period.text(), plainNumber(targetWeeks))));
    sheet.setBold(QStringLiteral("A1"));
    sheet.setColumnWidth(QStringLiteral("A:Q"), 12);
    sheet.setColumnWidth(QStringLiteral("A:A"), 18);
    sheet.setColumnWidth(QStringLiteral("C:C"), 30);
    const int headingRow = 3;
    sheet.setBold(QStringLiteral("A3:Q3"));
    for (int c = 0; c < ListColumnCount; ++c)
        sheet.setCell(headingRow, c + 1, Variant::String(QString::fromUtf8(columns[c].heading)));
    int r = headingRow + 1;
    for (const CoverageRow *row : rows) {
        for (int c = 0; c < ListColumnCount; ++c) {
            const ListCell cell = listCell(*row, ListColumn(c), targetWeeks);
            if (cell.kind == ListCell::Kind::Number)
                sheet.setCell(r, c + 1, Variant::Double(cell.number));
            else if (cell.kind == ListCell::Kind::Text)
                // Typed input would take a leading "=" for a formula.
                sheet.setCell(r, c + 1,
                              Variant::String(cell.text.startsWith(QLatin1Char('='))
                                                  ? QLatin1Char(' ') + cell.text
                                                  : cell.text));
        }
        ++r;
    }
    // The total the window shows under the list, under the suggestion column.
    double total = 0;
    for (const CoverageRow *row : rows)
        total += double(reorderSuggestion(*row, targetWeeks).value_or(0));
    const int suggestionColumn = int(ListColumn::Suggestion) + 1;
    sheet.setCell(r + 1, suggestionColumn - 1, Variant::String(QStringLiteral("Att beställa")));
    sheet.setCell(r + 1, suggestionColumn, Variant::Double(total));
    sheet.setBold(QStringLiteral("P%1:Q%1").arg(r + 1));
    book.saveAs(fileName);
}

} // namespace reports
