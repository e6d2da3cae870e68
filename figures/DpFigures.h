#pragma once

#include "MDlib/Variant.h"
#include "store/LocalDatabase.h"

#include <QString>

#include <functional>
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

    // What StockOnHandDP reads, for the set-based coverage run: the rows of DTSPL whose
    // product column is the product, each added to a total that starts at 0 (a text that is no
    // number raises). The table must sit beside "tillfall".
    static constexpr const char *table = "DTSPL";
    static constexpr const char *productColumn = "Fält2";
    static constexpr const char *companionTable = "tillfall";
    static double addStock(double total, const dao::Recordset &row);
    // The same for a row read otherwise: quantityAt(position) is what quantity() gives for the
    // field at that position (0-based, the table's order).
    static double addStockAt(double total, const std::function<double(int)> &quantityAt);

    // The positions addStock reads: the on-hand columns added, then the allocated ones
    // subtracted, each in ascending order.
    struct Columns {
        int first;
        int last;
    };
    static constexpr Columns onHandColumns{39, 45};
    static constexpr Columns allocatedColumns{18, 24};

private:
    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
