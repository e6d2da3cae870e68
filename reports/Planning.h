#pragma once

#include "planning/PlanningStore.h"
#include "reports/CoverageOverview.h"

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

// Replenishment planning on the coverage overview's rows: each product's rule in the suggestion,
// the dates its stock runs out and the order must leave by, the rules as CSV for a buyer's
// spreadsheet, and the purchase proposal per supplier.
namespace reports {

// Gives each row its product's rule (the default rule where it has none) and its mark of the
// period.
void applyPlanning(std::vector<CoverageRow> &rows, const PlanningRules &rules,
                   const PlanningMarks &marks);
void applyPlanning(CoverageRow &row, const PlanningRules &rules, const PlanningMarks &marks);

// The suggestion's arithmetic, step by step, for a row with sales:
//   need = weekly sales × (lead time + target + safety weeks) + safety packs
//          − total stock − orders on their way + back orders
struct SuggestionSteps {
    double weeks = 0;    // lead time + target + safety weeks
    double need = 0;     // the formula above
    qint64 packs = 0;    // need rounded up to whole packs (0 when need is 0 or less)
    qint64 multiple = 0; // packs rounded up to the order multiple
    qint64 minimum = 0;  // and raised to the minimum order
};
SuggestionSteps suggestionSteps(const CoverageRow &row, double targetWeeks);

// The date the stock of all sources runs out at the weekly sales: the period's date plus the
// weeks of cover (H) × 7 days, the period's date itself when the cover is 0 or less; nullopt for
// a product without sales or an invalid period.
std::optional<QDate> stockoutDate(const CoverageRow &row, const QDate &period);
// "Beställ senast": the stock-out date less the lead time (a part of a day counts as a day).
std::optional<QDate> orderByDate(const CoverageRow &row, const QDate &period);

// How soon the order must leave, by the order-by date.
enum class OrderUrgency {
    None,         // no sales, so no date
    OrderNow,     // order by today or earlier: "beställ nu"
    WithinTarget, // before the period's date + the target: "beställ inom målet"
    Enough,       // later: "räcker"
};
OrderUrgency orderUrgency(const CoverageRow &row, const QDate &period, double targetWeeks,
                          const QDate &today);
QString orderUrgencyKey(OrderUrgency urgency); // "order_now", "order_within_target", "enough", ""
QString orderUrgencyText(OrderUrgency urgency);

// The planning columns after the list's own: CSV header names and JSON members. They are no
// workbook columns, so they stay out of the coverage column table (reports/CoverageColumns).
QStringList planningKeys();
constexpr int PlanningColumnCount = 13;
// Their values for a row, in the order of planningKeys(): numbers, ISO dates and texts (the
// supplier and the group even when empty); Empty for none.
std::array<ListCell, PlanningColumnCount> planningCells(const CoverageRow &row, const QDate &period,
                                                        double targetWeeks, const QDate &today);
// The same as C-locale numbers, ISO dates, "" for none (CSV).
QStringList planningCsvFields(const CoverageRow &row, const QDate &period, double targetWeeks,
                              const QDate &today);
// The same into a JSON row, null for none.
void addPlanningMembers(QJsonObject &object, const CoverageRow &row, const QDate &period,
                        double targetWeeks, const QDate &today);

// The planning columns the overview shows after the list's own, and its saved workbook and
// printout after theirs: how soon to order, the dates, the rule's supplier and group, and the
// operator's mark.
enum class PlanningListColumn { OrderUrgency, Stockout, OrderBy, Supplier, Group, Mark };
constexpr int PlanningListColumnCount = int(PlanningListColumn::Mark) + 1;

struct PlanningListColumnInfo {
    const char *heading = nullptr;
    const char *tooltip = nullptr;
};
const PlanningListColumnInfo &planningListColumnInfo(PlanningListColumn column);

// A row's cell in such a column, as the window shows it: the urgency's words, ISO dates, the
// mark as "beställd <date>, <packs> förp." or "utgått"; "" for none.
QString planningListText(const CoverageRow &row, PlanningListColumn column, const QDate &period,
                         double targetWeeks, const QDate &today);

// The rules as CSV for a Swedish spreadsheet: UTF-8 with BOM, ';', decimal comma, a header of
// product;lead_time_weeks;safety_weeks;safety_packs;multiple;minimum;supplier;group.
QByteArray rulesCsv(const PlanningRules &rules);
// Reads such a file: ';' or ',' between fields, decimal comma or point, the header optional, an
// empty number field taking the default rule's value. Each bad line goes into errors with its
// line number and column, and so does a file with no line at all; the rules read are then not to
// be used.
PlanningRules parseRulesCsv(const QByteArray &data, QStringList *errors);

// The purchase proposal: the shown rows that get a suggestion and carry no mark, by supplier
// (Swedish order, no supplier last), then product, each product once (by its first row). An
// empty supplier filter takes all.
struct ProposalLine {
    const CoverageRow *row = nullptr;
    qint64 packs = 0;
};
std::vector<ProposalLine> proposalLines(const std::vector<const CoverageRow *> &rows,
                                        double targetWeeks, const QString &supplier = {});
// As a Swedish spreadsheet opens it on a double-click: UTF-8 with BOM, ';', decimal comma.
QByteArray proposalCsv(const std::vector<ProposalLine> &lines, const QDate &period);
// The same as a workbook with a "Att beställa" total under the packs; raises lodvik::Error when
// it cannot be saved (an earlier file stays as it was).
void saveProposalWorkbook(const std::vector<ProposalLine> &lines, const figures::Period &period,
                          const QString &fileName);
// {"period", "target_weeks", "suppliers": [{"supplier", "total_packs", "rows": [...]}]}
QByteArray proposalJson(const std::vector<ProposalLine> &lines, const figures::Period &period,
                        double targetWeeks);

} // namespace reports
