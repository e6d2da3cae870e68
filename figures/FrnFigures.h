#pragma once

#include "MDlib/Variant.h"
#include "figures/FigureQuery.h"
#include "figures/Period.h"
#include "store/LocalDatabase.h"

#include <QString>

#include <array>
#include <functional>
#include <vector>

namespace lodvik {
class Progress;
}

namespace figures {

// The FRN figures: per-product sums, all-items totals that weigh each row by its item's units
// per pack, and the weekly sales over six months of history. The month figures read the period
// month (Period::month); the figures in packs divide by
// umfaktor, the product's units per pack × 1000.
class FrnFigures {
public:
    FrnFigures(const QString &localDatabase, lodvik::Progress &progress);

    lodvik::Variant avail(const QString &prnr);
    lodvik::Variant StockOnHandFRN(const QString &prnr);
    lodvik::Variant ProdOrderFRN(const QString &prnr, double umfaktor);
    lodvik::Variant ProdBackOrderFRN(const lodvik::Variant &prnr, double umfaktor);
    lodvik::Variant SalesPerWeekFRN(const QString &prnr, const Period &period);

    lodvik::Variant backordersFRN();
    lodvik::Variant GSCFRN();
    lodvik::Variant orderscurrmonthFRN();
    lodvik::Variant outsideFRN();
    lodvik::Variant salescurrmonthFRN(const Period &period);
    lodvik::Variant salespriormonthFRN(const Period &period);

    // The columns the per-product figures sum and the rows of history SalesPerWeekFRN walks,
    // and what each figure makes of them, for the set-based coverage run. A sum is the store's
    // (Null when no value was summed).
    static constexpr SummedColumn availColumn{"avail", "quantity", "ivcitm", "prodsumma"};
    static constexpr SummedColumn stockColumn{"pjstkfrn", "lipqoh", "ivcitm", "summaprod"};
    static constexpr SummedColumn orderColumn{"PJOFFRAM", "antaltusen", "sdaitm", "prodsumma"};
    static constexpr SummedColumn backOrderColumn{"PJOFBACK", "antaltusen", "sdaitm", "prodsumma"};
    static constexpr const char *historyTable = "frnhist";
    static constexpr const char *historyKey = "ivcitm";
    static lodvik::Variant orderInPacks(const lodvik::Variant &sum, double umfaktor,
                                        const QString &prnr);
    static lodvik::Variant backOrderText(const lodvik::Variant &sum, double umfaktor,
                                         const QString &prnr);
    // The positions in a frnhist row of the six months of history of the period, in the order
    // they are added.
    using SalesMonths = std::array<int, 6>;
    static SalesMonths salesMonths(const Period &period);
    // total plus the row's six months, one by one; a Null or a text that is no number raises.
    static double addSales(double total, const dao::Recordset &row, const SalesMonths &months,
                           const QString &prnr);
    // The same for a row read otherwise: summableAt(position) is what summable() gives for the
    // field at that position (0-based, the table's order).
    static double addSalesAt(double total, const std::function<double(int)> &summableAt,
                             const SalesMonths &months);
    static lodvik::Variant salesPerWeek(double total);

private:
    double itemsTotal(const QString &table, const QString &column, bool skipBlankItems);

    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
