#pragma once

#include "planning/PlanningStore.h"
#include "planning/SalesTrend.h"

#include <QDate>
#include <QString>

#include <map>
#include <optional>
#include <vector>

// Replenishment planning on the products of a coverage run: how soon each runs out, the packs
// its rule asks to order, the dates its stock runs out and the order must leave by, and which
// products are ordered. It reads numbers only; how they are shown or written is the writers'.
namespace planning {

// What planning reads of one product of a coverage run: its number and description, the run's
// numbers as its workbook cells hold them (nullopt for an empty cell), and its rule and mark.
struct Item {
    QString product;                   // A, as stored
    QString description;               // B
    std::optional<double> stockTotal;  // G = D + E + F, packs of all sources
    std::optional<double> coverWeeks;  // H: total stock ÷ PJ weekly sales, whole weeks
    std::optional<double> backOrderPj; // J: back orders to fill
    std::optional<double> orderPj;     // L: orders on their way
    std::optional<double> salesPj;     // O: packs a week
    // The product's rule (the default rule without one) and the operator's mark for the period.
    PlanningRule rule;
    std::optional<PlanningMark> mark;
    // The product's sales trend over the kept runs, where the rule follows it and it has one.
    std::optional<SalesTrend> trend;

    // Whether the product sells at all: its PJ weekly sales are above 0. The run gives a product
    // selling less than half a pack a week an empty O and a cover of 0, as if it had none.
    bool hasSales() const { return salesPj.value_or(0) > 0; }
    bool discontinued() const { return mark && mark->kind == PlanningMark::Kind::Discontinued; }
    // Marked ordered, and the order not yet among the orders on their way: L holds fewer packs
    // than were ordered (a mark without packs holds until it is taken away).
    bool awaitingOrder() const;
};

// Gives the item its product's rule (the default rule where it has none) and its mark.
void applyPlanning(Item &item, const PlanningRules &rules, const PlanningMarks &marks);
template <class Row>
void applyPlanning(std::vector<Row> &rows, const PlanningRules &rules, const PlanningMarks &marks) {
    for (Item &item : rows)
        applyPlanning(item, rules, marks);
}

// The default target in weeks of cover.
constexpr int DefaultTargetWeeks = 4;

// How soon a product runs out, measured by its weeks of cover (H) against the target.
enum class Urgency {
    Plain,       // covers the target
    BelowTarget, // below the target (amber)
    Urgent,      // below half the target (red)
    NoSales,     // no PJ weekly sales, so no cover to measure (grey)
};
Urgency urgency(const Item &item, double targetWeeks);
// The machine name: "urgent", "below_target", "no_sales", "ok".
QString urgencyKey(Urgency urgency);
// The operator's words: "under halva målet", "under målet", "ingen försäljning", or "".
QString urgencyText(Urgency urgency);

// The suggestion's arithmetic, step by step, for an item with sales:
//   need = weekly sales × (lead time + target + safety weeks) + safety packs
//          − total stock − orders on their way + back orders
// The weekly sales are PJ's (O), or where the rule follows the trend and the product has one,
// the rate the trend expects on average over the lead time and target (trendRate).
struct SuggestionSteps {
    double rate = 0;     // the weekly sales used
    double weeks = 0;    // lead time + target + safety weeks
    double need = 0;     // the formula above
    qint64 packs = 0;    // need rounded up to whole packs (0 when need is 0 or less)
    qint64 multiple = 0; // packs rounded up to the order multiple
    qint64 minimum = 0;  // and raised to the minimum order
};
SuggestionSteps suggestionSteps(const Item &item, double targetWeeks);
// Packs to order so that the stock covers targetWeeks of sales by the item's rule: the steps'
// minimum; nullopt when the need is 0 or less, the product has no sales, is discontinued or
// awaits an order.
std::optional<qint64> reorderSuggestion(const Item &item, double targetWeeks);
// The suggestion worked out in words and numbers, for the drill-down.
QString suggestionExplanation(const Item &item, double targetWeeks);

// The date the stock of all sources runs out at the weekly sales: the period's date plus the
// weeks of cover (H) × 7 days, the period's date itself when the cover is 0 or less; nullopt for
// a product without sales or an invalid period.
std::optional<QDate> stockoutDate(const Item &item, const QDate &period);
// "Beställ senast": the stock-out date less the lead time (a part of a day counts as a day).
std::optional<QDate> orderByDate(const Item &item, const QDate &period);

// How soon the order must leave, by the order-by date.
enum class OrderUrgency {
    None,         // no sales, or nothing to order: discontinued or awaiting its order
    OrderNow,     // order by today or earlier: "beställ nu"
    WithinTarget, // before the period's date + the target: "beställ inom målet"
    Enough,       // later: "räcker"
};
OrderUrgency orderUrgency(const Item &item, const QDate &period, double targetWeeks,
                          const QDate &today);
QString orderUrgencyKey(OrderUrgency urgency); // "order_now", "order_within_target", "enough", ""
QString orderUrgencyText(OrderUrgency urgency);

// A product to order and its packs.
struct ProposalLine {
    const Item *row = nullptr;
    qint64 packs = 0;
};
// What is to be ordered of rows: each product once (by its first row: pjomr may list a product
// twice, in one case or another, with the same figures), each with a suggestion; by supplier
// (Swedish order, no supplier last), then product. An empty supplier takes all. The purchase
// proposal, the totals to order and the per-supplier totals are all this.
std::vector<ProposalLine> proposalLines(const std::vector<const Item *> &rows, double targetWeeks,
                                        const QString &supplier = {});
// Product numbers as the proposal tells products apart (the figures' product key), for a hash.
struct ProductHash {
    size_t operator()(QStringView product) const;
};
struct SameProduct {
    bool operator()(QStringView a, QStringView b) const;
};

// The packs of proposalLines(rows, targetWeeks) and for how many products, also per supplier.
struct OrderTotal {
    qint64 packs = 0;
    int products = 0;
    std::map<QString, qint64> bySupplier;
};
OrderTotal orderTotal(const std::vector<const Item *> &rows, double targetWeeks);

// The same over rows of a type that is an Item.
template <class Row>
std::vector<ProposalLine> proposalLines(const std::vector<const Row *> &rows, double targetWeeks,
                                        const QString &supplier = {}) {
    return proposalLines(std::vector<const Item *>(rows.begin(), rows.end()), targetWeeks,
                         supplier);
}
template <class Row>
OrderTotal orderTotal(const std::vector<const Row *> &rows, double targetWeeks) {
    return orderTotal(std::vector<const Item *>(rows.begin(), rows.end()), targetWeeks);
}

} // namespace planning
