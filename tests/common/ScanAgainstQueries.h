#pragma once

#include "figures/StockFigures.h"
#include "reports/CoverageScan.h"

#include <bit>
#include <functional>

// The coverage run's one pass against each figure's own query (tst_reports, fuzz/fuzz_scan.cpp).
namespace scancheck {

// A figure's value with its type and bits, or its message.
inline QString outcome(const std::function<lodvik::Variant()> &figure) {
    try {
        const lodvik::Variant v = figure();
        const QString value = v.isNumber() ? QString::number(std::bit_cast<qint64>(v.number()), 16)
                                           : v.toDisplayText();
        return QStringLiteral("%1 %2").arg(int(v.type())).arg(value);
    } catch (const lodvik::Error &e) {
        return QString::fromUtf8(e.what());
    }
}

// The first of p's figures (u units a pack) where the pass and the query differ; "" if none do.
inline QString difference(reports::CoverageScan &scan, figures::StockFigures &f, const QString &p,
                          double u, const figures::Period &period) {
    const std::pair<std::function<lodvik::Variant()>, std::function<lodvik::Variant()>> pairs[] = {
        {[&] { return scan.stockOnHandFRN(p); }, [&] { return f.frn.StockOnHandFRN(p); }},
        {[&] { return scan.avail(p); }, [&] { return f.frn.avail(p); }},
        {[&] { return scan.stockOnHandDP(p); }, [&] { return f.dp.StockOnHandDP(p); }},
        {[&] { return scan.stockOnHandPJ(p, u); }, [&] { return f.pj.StockOnHandPJ(p, u); }},
        {[&] { return scan.prodBackOrderPJ(p, u); }, [&] { return f.pj.ProdBackOrderPJ(p, u); }},
        {[&] { return scan.prodBackOrderFRN(p, u); },
         [&] { return f.frn.ProdBackOrderFRN(lodvik::Variant::String(p), u); }},
        {[&] { return scan.prodOrderPJ(p, u); }, [&] { return f.pj.ProdOrderPJ(p, u); }},
        {[&] { return scan.prodOrderFRN(p, u); }, [&] { return f.frn.ProdOrderFRN(p, u); }},
        {[&] { return scan.salesPerWeek(p, u); }, [&] { return f.pj.SalesPerWeek(p, u); }},
        {[&] { return scan.salesPerWeekFRN(p); }, [&] { return f.frn.SalesPerWeekFRN(p, period); }},
    };
    for (int figure = 0; figure < int(std::size(pairs)); ++figure)
        if (const QString got = outcome(pairs[figure].first), want = outcome(pairs[figure].second);
            got != want)
            return QStringLiteral("\"%1\", figure %2: the pass gives %3, the query %4")
                .arg(p, QString::number(figure), got, want);
    return {};
}

} // namespace scancheck
