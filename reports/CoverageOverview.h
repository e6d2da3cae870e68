#pragma once

#include "figures/Period.h"
#include "planning/PlanningStore.h"
#include "reports/ProduktTabell.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The coverage run's rows as a list to read on screen or hand on: the values of the workbook's
// cells, the urgency of each product against a target in weeks of cover, and the packs to order
// to reach it. Nothing here recomputes a figure; it all comes from produkttabell.
namespace reports {

// A number as a workbook cell shows it; nullopt for an empty cell.
using CellNumber = std::optional<double>;

// One product of the last coverage run, its cells as the coverage workbook holds them.
struct CoverageRow {
    int tableRow = 0;         // row of produkttabell (the workbook's row is tableRow + 4)
    QString product;          // A, as stored (the workbook turns a numeric text into a number)
    QString description;      // B
    CellNumber unitsPerPack;  // C
    CellNumber stockFrn;      // D
    CellNumber stockDp;       // E
    CellNumber stockPj;       // F
    CellNumber stockTotal;    // G = D + E + F, evaluated as the workbook does (empty counts 0)
    CellNumber coverWeeks;    // H: total stock ÷ PJ weekly sales, whole weeks; 0 without sales
    CellNumber coverWeeksFrn; // I: FRN stock ÷ FRN weekly sales
    CellNumber backOrderPj;   // J
    CellNumber backOrderFrn;  // K
    CellNumber orderPj;       // L
    CellNumber orderFrn;      // M
    CellNumber orderTotal;    // N = L + J
    CellNumber salesPj;       // O: packs a week
    CellNumber salesFrn;      // P

    // From the program's own planning data (reports/Planning.h): the product's rule, the
    // default rule without one, and the operator's mark for the period.
    PlanningRule rule;
    std::optional<PlanningMark> mark;
    bool discontinued() const { return mark && mark->kind == PlanningMark::Kind::Discontinued; }

    // Whether the product sells at all: its PJ weekly sales are above 0. The run gives a product
    // selling less than half a pack a week an empty O and a cover of 0, as if it had none.
    bool hasSales() const { return salesPj.value_or(0) > 0; }
};

// The rows of the table from row 1 to the first row without a product number (or the table's
// end), as excellprodukter writes them.
std::vector<CoverageRow> coverageRows(const ProduktTabell &produkttabell);

// Makes the list's row of one table row as coverageRows does, one row after another.
class CoverageRowMaker {
public:
    CoverageRowMaker();
    ~CoverageRowMaker();
    CoverageRow operator()(const ProduktTabell::Row &cells, int tableRow);

private:
    struct Sheet;
    std::unique_ptr<Sheet> m_sheet;
};

// How soon a product runs out, measured by its weeks of cover (H) against the target.
enum class Urgency {
    Plain,       // covers the target
    BelowTarget, // below the target (amber)
    Urgent,      // below half the target (red)
    NoSales,     // no PJ weekly sales, so no cover to measure (grey)
};
Urgency urgency(const CoverageRow &row, double targetWeeks);

// Packs to order so that the stock covers targetWeeks of sales by the row's rule:
//   weekly sales (O) × (lead time + target + safety weeks) + safety packs
//   − total stock (G) − orders on their way (L) + back orders (J),
// rounded up to whole packs, then to the order multiple, then raised to the minimum order;
// nullopt when the need is 0 or less, the product has no sales or is marked discontinued.
std::optional<qint64> reorderSuggestion(const CoverageRow &row, double targetWeeks);

// The rows less each later row of a product already among them: pjomr may list a product twice
// (in one case or another), with the same figures on both rows, and it is ordered once. What the
// totals to order and the purchase proposal count.
std::vector<const CoverageRow *> eachProductOnce(const std::vector<const CoverageRow *> &rows);
// The packs to order over rows and for how many products, each product once.
struct OrderTotal {
    qint64 packs = 0;
    int products = 0;
};
OrderTotal orderTotal(const std::vector<const CoverageRow *> &rows, double targetWeeks);

// The default target in weeks of cover.
constexpr int DefaultTargetWeeks = 4;

// The columns of the list, in the order the window, the printout and the writers show them.
enum class ListColumn {
    Status,
    Product,
    Description,
    StockFrn,
    StockDp,
    StockPj,
    StockTotal,
    SalesPj,
    SalesFrn,
    Cover,
    CoverFrn,
    BackOrderPj,
    BackOrderFrn,
    OrderPj,
    OrderFrn,
    OrderTotal,
    Suggestion,
};
constexpr int ListColumnCount = int(ListColumn::Suggestion) + 1;

struct CoverageColumn;
struct ListColumnInfo {
    const char *key;     // CSV header and JSON member
    const char *heading; // the window's and the printout's heading (Swedish)
    char workbookColumn; // the coverage workbook's column, or 0
    // The workbook's column it shows (reports/CoverageColumns), or nullptr for the list's own.
    const CoverageColumn *column;
};
const ListColumnInfo &listColumnInfo(ListColumn column);

// A cell of the list: empty, a number or a text.
struct ListCell {
    enum class Kind { Empty, Number, Text };
    Kind kind = Kind::Empty;
    double number = 0;
    QString text;
};
ListCell listCell(const CoverageRow &row, ListColumn column, double targetWeeks);

// Writers of a list of rows, in the order given (the window passes them sorted and filtered as
// shown). Numbers are plain C-locale numbers, an empty cell is an empty field (CSV) or null
// (JSON); the suggestion column follows the target. The planning columns (reports/Planning.h)
// follow the list's own, the order urgency against today.
QByteArray coverageCsv(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                       double targetWeeks, const QDate &today = QDate::currentDate());
QByteArray coverageJson(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                        double targetWeeks, const QDate &today = QDate::currentDate());
// The same two documents written as the rows come, each part handed to out as soon as it is
// complete, so that nothing grows with the number of rows: the same bytes as coverageCsv and
// coverageJson give for the same rows. A row's part holds the writer's own buffer: it is valid
// during the call, and a copy kept of it must be a deep one (QByteArray(part.constData(), …)).
class CoverageListWriter {
public:
    enum class Format { Csv, Json };
    CoverageListWriter(Format format, const figures::Period &period, double targetWeeks,
                       std::function<void(const QByteArray &)> out,
                       const QDate &today = QDate::currentDate());
    void add(const CoverageRow &row);
    void finish();

private:
    Format m_format;
    QDate m_period;
    QDate m_today; // the order urgency's "today", fixed for the whole list
    double m_targetWeeks;
    std::function<void(const QByteArray &)> m_out;
    QByteArray m_jsonEnd;
    std::string m_line; // the row being written, its room kept from row to row
    qint64 m_rows = 0;
};
// A number as C-locale text: whole numbers without a decimal point, others with 15 significant
// digits, or as many more as it takes to read back the same number.
QString plainNumber(double d);
// The writers' texts, appended to out: a number as plainNumber writes it, a
// number and a text as QJsonDocument writes a member's value, a text as a CSV field (csvField,
// in UTF-8). The faster paths of the writers, kept equal to the general ones by tests.
void appendPlainNumber(QByteArray &out, double d);
void appendJsonNumber(QByteArray &out, double d);
void appendJsonString(QByteArray &out, const QString &text);
void appendCsvField(QByteArray &out, const QString &text);
// A text as a spreadsheet that opens the file must show it: one it would run as a formula
// (beginning with =, +, -, @, a tab or a carriage return: "=cmd|…", "@SUM(…)", "-A1+B1") gets a
// leading apostrophe, unless isNumber reads it as one of the file's numbers ("-12").
QString spreadsheetText(const QString &text, bool (*isNumber)(const QString &));
// A text as a CSV field: an apostrophe before what a spreadsheet would run as a formula, quoted
// when it holds a comma, a quote or a line break.
QString csvField(const QString &text);

// The list's columns and then the window's planning columns (the order urgency against today)
// as a workbook with the window's Swedish headings; raises lodvik::Error when it cannot be saved
// (an earlier file stays as it was).
void saveCoverageListWorkbook(const std::vector<const CoverageRow *> &rows,
                              const figures::Period &period, double targetWeeks,
                              const QString &fileName, const QDate &today = QDate::currentDate());

// The machine name of an urgency in CSV and JSON: "urgent", "below_target", "no_sales", "ok".
QString urgencyKey(Urgency urgency);
// The marker the window and the printout show: "under halva målet", "under målet",
// "ingen försäljning", or "".
QString urgencyText(Urgency urgency);

// Pointers to every row, in order.
std::vector<const CoverageRow *> allRows(const std::vector<CoverageRow> &rows);

} // namespace reports
