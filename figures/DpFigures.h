#pragma once

#include "MDlib/Variant.h"
#include "data/LocalDatabase.h"

#include <QString>

#include <vector>

namespace lodvik {
class Progress;
}

namespace figures {

// The DP figures over DTSPL, which is read by position: six totals over the whole table, each
// row weighed by its product's units per pack, and the stock on hand of one product in units.
class DpFigures {
public:
    DpFigures(const QString &localDatabase, lodvik::Progress &progress);

    lodvik::Variant salespriormonthDP();
    lodvik::Variant salescurrmonthDP();
    lodvik::Variant orderscurrmonthDP();
    lodvik::Variant outsideDP();
    lodvik::Variant GSCDP();
    lodvik::Variant backordersDP();
    lodvik::Variant StockOnHandDP(const QString &prnr);

    // The one-product queries of the per-product figure, for a dao::ProductWalk.
    static std::vector<dao::ProductQuery> productQueries();

private:
    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
