#pragma once

#include "planning/RunHistory.h"

#include <QVariant>

#include <vector>

// What changed for the buyer between two kept runs.
namespace planning {

enum class ChangeKind {
    New,             // in this run, not in the earlier one
    Vanished,        // in the earlier run, not in this one
    NeedsOrder,      // a suggestion now, none before
    StockoutEarlier, // the stock runs out more than a week earlier than the earlier run said
    SalesUp,         // PJ weekly sales up by more than the set share (or from none)
    SalesDown,       // down by more than the set share (or to none)
    Rule,            // another rule in force
};
QString changeKey(ChangeKind kind);  // "new", "vanished", "needs_order", "stockout_earlier"...
QString changeText(ChangeKind kind); // "ny produkt", "försvunnen", "behöver beställas"...

// One change of one product, from what to what: nothing where there was or is none; numbers
// (packs, packs a week) as double, the stock-out dates as QDate, a rule as ruleText.
struct Change {
    QString product;
    QString description;
    ChangeKind kind = ChangeKind::New;
    QVariant before;
    QVariant after;

    bool operator==(const Change &) const = default;
};

// The share by which PJ weekly sales must move to count when lodvikprodsok.ini says nothing.
constexpr double DefaultSalesChangeShare = 0.25;

// The changes from the earlier run to the later one: the later run's products in its order,
// each product's changes in the order of ChangeKind, then the vanished products in the earlier
// run's order. New products show their total stock (G), vanished ones their last.
std::vector<Change> changesBetween(const Snapshot &earlier, const Snapshot &later,
                                   double salesShare);

// The date the stock of all sources runs out in a kept run: the period's date plus the weeks of
// cover × 7 days (the period's date for a cover of 0 or less); nothing without PJ sales.
std::optional<QDate> stockoutDate(const SnapshotRow &row, const QDate &period);

// A rule in the buyer's words: "ledtid 2 v, säkerhet 1 v + 5 förp., multipel 6, minst 12,
// leverantör Ab, grupp Kaffe, följer trenden".
QString ruleText(const PlanningRule &rule);

} // namespace planning
