#pragma once

#include "reports/CoverageRow.h"

#include <QDate>
#include <QString>

#include <array>
#include <optional>

// The columns of the coverage list, each described once: the workbook's columns it shows, its
// own (the urgency and the suggestion) and the planning columns. The overview's model, its
// printout and the saved list show the columns with a heading, in this order; the command line's
// CSV and JSON write those with a key, in machineColumns() order.
namespace reports {

struct CoverageColumn;

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
    OrderUrgency,
    Stockout,
    OrderBy,
    Supplier,
    Group,
    Mark,
    // In the command line's CSV and JSON only.
    LeadTime,
    SafetyWeeks,
    SafetyPacks,
    Multiple,
    Minimum,
    OrderedOn,
    OrderedPacks,
};
// The columns with a heading come first: the overview's columns are these, by their numbers.
constexpr int ShownColumnCount = int(ListColumn::Mark) + 1;
constexpr int ListColumnCount = int(ListColumn::OrderedPacks) + 1;

// A cell of the list: empty, a number or a text.
struct ListCell {
    enum class Kind { Empty, Number, Text };
    Kind kind = Kind::Empty;
    double number = 0;
    QString text;
};

// What a row's cells are worked out against.
struct ListContext {
    QDate period;                // the run's period, which the dates count from
    double targetWeeks = 4;      // the suggestion's and the urgencies' target
    QDate today;                 // the order urgency's "today"
    bool operatorsWords = false; // the status, order urgency and mark as the window words them
};

struct ListColumnInfo {
    enum class Kind { Number, Text, Date };
    ListColumn column;
    const char *key;     // CSV header and JSON member; nullptr: not in the command line's files
    const char *heading; // the window's, the printout's and the saved list's; nullptr: not there
    const char *tooltip; // the heading's, where the column's own words say more
    Kind kind;           // numbers are right-aligned and sort as numbers, dates by day
    // The longest text a cell shows, where it is wider than the heading (the window's width).
    const char *widest;
    // The saved list's width in characters.
    int listWidth;
    // Where the printout is short of room: the order in which the column's text gives up its
    // width (1 first); 0 for a column that is never cut.
    int cut;
    // A number of the program's planning data rather than of the run: written as a text in the
    // CSV when it is no finite number.
    bool planningNumber;
    // The workbook's column it shows (reports/CoverageColumns), or nullptr for the list's own.
    const CoverageColumn *workbook;
};
const ListColumnInfo &listColumn(ListColumn column);
// The columns of the command line's CSV and JSON, in their order.
constexpr size_t MachineColumnCount = 30;
const std::array<ListColumn, MachineColumnCount> &machineColumns();

// A row's cell in a column: a number, a text (the product, description, supplier and group even
// when empty) or empty.
ListCell listCell(const CoverageRow &row, ListColumn column, const ListContext &context);

// An ISO date ("yyyy-MM-dd"), "" for none or for a year outside 1 to 9999.
QString isoDate(const std::optional<QDate> &date);

} // namespace reports
