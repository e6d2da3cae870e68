#include "figures/StockFigures.h"

#include "figures/FigureQuery.h"

using lodvik::Variant;

namespace figures {

namespace {

using F = StockFigures;
using A = FigureArguments;

const NamedFigure all[] = {
    // PJ figures and pack size
    {"getantaliforpack", true, false, false,
     [](F &f, const A &a) { return f.pj.getantaliforpack(a.product); }},
    {"getlagersaldo", true, false, false,
     [](F &f, const A &a) { return f.pj.getlagersaldo(a.product); }},
    {"backordersPJ", false, false, false, [](F &f, const A &) { return f.pj.backordersPJ(); }},
    {"outsidePJ", false, false, false, [](F &f, const A &) { return f.pj.outsidePJ(); }},
    {"orderscurrmonthPJ", false, false, false,
     [](F &f, const A &) { return f.pj.orderscurrmonthPJ(); }},
    {"salescurrmonthPJ", false, false, false,
     [](F &f, const A &) { return f.pj.salescurrmonthPJ(); }},
    {"salespriormonthPJ", false, false, false,
     [](F &f, const A &) { return f.pj.salespriormonthPJ(); }},
    {"GSLPJ", false, false, false, [](F &f, const A &) { return f.pj.GSLPJ(); }},
    {"GSCPJ", false, false, false, [](F &f, const A &) { return f.pj.GSCPJ(); }},
    {"GITPJ", false, false, false, [](F &f, const A &) { return f.pj.GITPJ(); }},
    {"StockOnHandPJ", true, true, false,
     [](F &f, const A &a) { return f.pj.StockOnHandPJ(a.product, a.umfaktor); }},
    {"ProdBackOrderPJ", true, true, false,
     [](F &f, const A &a) { return f.pj.ProdBackOrderPJ(a.product, a.umfaktor); }},
    {"ProdOrderPJ", true, true, false,
     [](F &f, const A &a) { return f.pj.ProdOrderPJ(a.product, a.umfaktor); }},
    {"SalesPerWeek", true, true, false,
     [](F &f, const A &a) { return f.pj.SalesPerWeek(a.product, a.umfaktor); }},
    // FRN figures
    {"avail", true, false, false, [](F &f, const A &a) { return f.frn.avail(a.product); }},
    {"StockOnHandFRN", true, false, false,
     [](F &f, const A &a) { return f.frn.StockOnHandFRN(a.product); }},
    {"ProdOrderFRN", true, true, false,
     [](F &f, const A &a) { return f.frn.ProdOrderFRN(a.product, a.umfaktor); }},
    {"ProdBackOrderFRN", true, true, false,
     [](F &f, const A &a) {
         return f.frn.ProdBackOrderFRN(Variant::String(a.product), a.umfaktor);
     }},
    {"SalesPerWeekFRN", true, false, true,
     [](F &f, const A &a) { return f.frn.SalesPerWeekFRN(a.product, a.requirePeriod()); }},
    {"backordersFRN", false, false, false, [](F &f, const A &) { return f.frn.backordersFRN(); }},
    {"GSCFRN", false, false, false, [](F &f, const A &) { return f.frn.GSCFRN(); }},
    {"orderscurrmonthFRN", false, false, false,
     [](F &f, const A &) { return f.frn.orderscurrmonthFRN(); }},
    {"outsideFRN", false, false, false, [](F &f, const A &) { return f.frn.outsideFRN(); }},
    {"salescurrmonthFRN", false, false, true,
     [](F &f, const A &a) { return f.frn.salescurrmonthFRN(a.requirePeriod()); }},
    {"salespriormonthFRN", false, false, true,
     [](F &f, const A &a) {
         // The figure asks for tillfall before it reads the period: so does a call without one.
         if (!a.period)
             FigureQuery(f.localDatabase).requireTable(QStringLiteral("tillfall"));
         return f.frn.salespriormonthFRN(a.requirePeriod());
     }},
    // DP figures
    {"salespriormonthDP", false, false, false,
     [](F &f, const A &) { return f.dp.salespriormonthDP(); }},
    {"salescurrmonthDP", false, false, false,
     [](F &f, const A &) { return f.dp.salescurrmonthDP(); }},
    {"orderscurrmonthDP", false, false, false,
     [](F &f, const A &) { return f.dp.orderscurrmonthDP(); }},
    {"outsideDP", false, false, false, [](F &f, const A &) { return f.dp.outsideDP(); }},
    {"GSCDP", false, false, false, [](F &f, const A &) { return f.dp.GSCDP(); }},
    {"backordersDP", false, false, false, [](F &f, const A &) { return f.dp.backordersDP(); }},
    {"StockOnHandDP", true, false, false,
     [](F &f, const A &a) { return f.dp.StockOnHandDP(a.product); }},
};

} // namespace

const Period &FigureArguments::requirePeriod() const {
    if (!period)
        throw Period::missing();
    return *period;
}

Variant NamedFigure::run(StockFigures &figures, const FigureArguments &arguments) const {
    return requireFinite(compute(figures, arguments), QLatin1String(name),
                         takesProduct ? arguments.product : QString());
}

std::span<const NamedFigure> namedFigures() {
    return all;
}

const NamedFigure *findNamedFigure(const QString &name) {
    for (const NamedFigure &figure : all)
        if (name == QLatin1String(figure.name))
            return &figure;
    return nullptr;
}

} // namespace figures
