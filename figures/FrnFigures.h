#pragma once

#include "MDlib/Variant.h"
#include "data/LocalDatabase.h"

#include <QString>

#include <vector>

namespace lodvik {
class Progress;
}

namespace figures {

// The FRN figures: per-product sums, all-items totals that weigh each row by its item's units
// per pack, and the weekly sales over six months of history. The month figures read the period
// month from characters 6-7 of perioddatum (YYYY-MM-DD); the figures in packs divide by
// umfaktor, the product's units per pack × 1000.
class FrnFigures {
public:
    FrnFigures(const QString &localDatabase, lodvik::Progress &progress);

    lodvik::Variant avail(const QString &prnr);
    lodvik::Variant StockOnHandFRN(const QString &prnr);
    lodvik::Variant ProdOrderFRN(const QString &prnr, double umfaktor);
    lodvik::Variant ProdBackOrderFRN(const lodvik::Variant &prnr, double umfaktor);
    lodvik::Variant SalesPerWeekFRN(const QString &prnr, const QString &perioddatum);

    lodvik::Variant backordersFRN();
    lodvik::Variant GSCFRN();
    lodvik::Variant orderscurrmonthFRN();
    lodvik::Variant outsideFRN();
    lodvik::Variant salescurrmonthFRN(const QString &perioddatum);
    lodvik::Variant salespriormonthFRN(const QString &perioddatum);

    // The one-product queries of the per-product figures, for a dao::ProductWalk.
    static std::vector<dao::ProductQuery> productQueries();

private:
    double itemsTotal(const QString &table, const QString &column, bool skipBlankItems);

    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
