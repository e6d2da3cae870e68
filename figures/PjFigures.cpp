#include "figures/PjFigures.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "figures/FigureQuery.h"

#include <cmath>

using lodvik::Variant;

namespace figures {

namespace {

QString selectAllFrom(const QString &table) {
    return QStringLiteral("SELECT  * ") + QStringLiteral(" FROM ") + table + QStringLiteral(" ");
}

// Adds NullToValue(column, "T") of every row of the tables to total. These extracts carry no
// item column that the figures may rely on, so the progress shows the table being read.
void addRows(FigureQuery &q, const QStringList &tables, const QString &column, double &total,
             lodvik::Progress &progress) {
    for (const QString &table : tables) {
        progress.caption(table);
        q.forEachRow(selectAllFrom(table), [&](const dao::Recordset &row) {
            total = total + quantity(row, column, table);
        });
    }
}

// Test items and returns are kept apart from the stock: their numbers start with PROV or KNR,
// compared exactly as written.
bool countsAsStock(const Variant &item) {
    if (item.isNull())
        return false;
    const QString number = item.toText();
    return !number.startsWith(QLatin1String("PROV"), Qt::CaseSensitive) &&
           !number.startsWith(QLatin1String("KNR"), Qt::CaseSensitive);
}

// The one-product queries of the PJ figures.
const dao::ProductQuery &stockBalanceQuery() {
    static const dao::ProductQuery q = productSum({"fpsaldo", "LIPQOH", "IBLITM", "SUMMA"});
    return q;
}
const dao::ProductQuery &stockOnHandQuery() {
    static const dao::ProductQuery q = productSum(PjFigures::stockColumn);
    return q;
}
const dao::ProductQuery &orderQuery() {
    static const dao::ProductQuery q = productSum(PjFigures::orderColumn);
    return q;
}
const dao::ProductQuery &salesQuery() {
    static const dao::ProductQuery q = productSum(PjFigures::salesColumn);
    return q;
}
const dao::ProductQuery &backOrderQuery() {
    static const dao::ProductQuery q = productSum(PjFigures::backOrderColumn);
    return q;
}
const dao::ProductQuery &forecastQuery() {
    static const dao::ProductQuery q = productSum(PjFigures::forecastColumn);
    return q;
}

// The sum of one product's rows, or nothing when the query gave no row.
std::optional<Variant> sumOf(FigureQuery &q, const dao::ProductQuery &query, const QString &prnr) {
    return q.firstValue(query, QStringLiteral("prodsumma"), prnr);
}

} // namespace

Variant getantaliforpack(const QString &localDatabase, const QString &artnr) {
    FigureQuery q(localDatabase);
    static const dao::ProductQuery packQuery =
        dao::productQuery(QStringLiteral("pjomr"), QStringLiteral("iblitm"));
    dao::Recordset row = q.productRows(packQuery, artnr);
    if (row.RecordCount() < 1)
        return Variant::Double(0);
    // Its field would read a blob as the text of its bytes.
    if (const std::optional<QString> blob = row.storedBlob(QStringLiteral("umconv")))
        throw lodvik::Error(QStringLiteral("Produkten %1 i pjomr har antal per förpackning "
                                           "(umconv) %2, som är binära data och inget tal.")
                                .arg(artnr, *blob));
    const std::optional<Variant> umconv = row.Fields(QStringLiteral("umconv"));
    // An empty factor says as little as a missing product: neither gives a pack size.
    if (umconv->isNull() || umconv->isEmpty() ||
        (umconv->isString() && umconv->text().trimmed().isEmpty()))
        return Variant::Double(0);
    // A factor that is no finite number ("nan", an infinity) would make every total it enters
    // print as "nan" or "inf".
    double pack = 0;
    const bool finite = umconv->isString() ? lodvik::parseNumber(umconv->text(), &pack)
                                           : std::isfinite(pack = umconv->toDouble());
    if (!finite)
        throw lodvik::Error(QStringLiteral("Produkten %1 i pjomr har antal per förpackning "
                                           "(umconv) \"%2\", som inte är något tal.")
                                .arg(artnr, umconv->toDisplayText()));
    return Variant::Double(pack);
}

PjFigures::PjFigures(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

Variant PjFigures::getantaliforpack(const QString &artnr) {
    return figures::getantaliforpack(m_localDatabase, artnr);
}

Variant PjFigures::getlagersaldo(const QString &artnr) {
    BusyCursorScope busy;
    FigureQuery q(m_localDatabase);
    return asSum(q.firstValue(stockBalanceQuery(), QStringLiteral("summa"), artnr)
                     .value_or(Variant::Null()));
}

Variant PjFigures::backordersPJ() {
    FigureQuery q(m_localDatabase);
    return Variant::Double(tablesSum(q, QStringLiteral("antaltusen"), {"pjoback", "pjo1back"}));
}

Variant PjFigures::outsidePJ() {
    FigureQuery q(m_localDatabase);
    return Variant::Double(tablesSum(q, QStringLiteral("antaltusen"), {"pjofram", "pjo1fram"}));
}

Variant PjFigures::orderscurrmonthPJ() {
    FigureQuery q(m_localDatabase);
    double total = tablesSum(q, QStringLiteral("antaltusen"), {"pjocurr", "pjo1curr"});
    addRows(q, {"pjpvmens"}, QStringLiteral("mffqt"), total, m_progress);
    return Variant::Double(total);
}

Variant PjFigures::salescurrmonthPJ() {
    FigureQuery q(m_localDatabase);
    return Variant::Double(
        tablesSum(q, QStringLiteral("sdpqor"), {"pjscurr", "pjs1curr", "pjs2curr"}));
}

Variant PjFigures::salespriormonthPJ() {
    FigureQuery q(m_localDatabase);
    return Variant::Double(tablesSum(q, QStringLiteral("sdpqor"), {"pjsprior", "pjs1prior"}));
}

Variant PjFigures::GSLPJ() {
    FigureQuery q(m_localDatabase);
    double total = 0;
    q.forEachRow(selectAllFrom(QStringLiteral("pjstk")), [&](const dao::Recordset &row) {
        const Variant item = row.Fields(QStringLiteral("imlitm"));
        if (countsAsStock(item))
            total = total + quantity(row, QStringLiteral("lipqoh"), QStringLiteral("pjstk"));
        m_progress.caption(item.toText());
    });
    return Variant::Double(total / 1000); // units to thousands
}

Variant PjFigures::GSCPJ() {
    FigureQuery q(m_localDatabase);
    double total = 0;
    addRows(q, {"pjstkens"}, QStringLiteral("lipqoh"), total, m_progress);
    return Variant::Double(total);
}

Variant PjFigures::GITPJ() {
    FigureQuery q(m_localDatabase);
    double total = 0;
    addRows(q, {"pjgit", "pj1git"}, QStringLiteral("sdpqor"), total, m_progress);
    return Variant::Double(total);
}

Variant PjFigures::StockOnHandPJ(const QString &prnr, double umfaktor) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum =
        q.firstValue(stockOnHandQuery(), QStringLiteral("summaprod"), prnr);
    if (!sum)
        return Variant::Integer(0);
    return stockInPacks(*sum, umfaktor, prnr);
}

Variant PjFigures::stockInPacks(const Variant &sum, double umfaktor, const QString &prnr) {
    const Variant stock = asSum(sum);
    // Stock is in units; a shortfall or nothing in stock is reported as it is, not in packs.
    if (!lodvik::greaterThanZero(stock))
        return stock;
    return unitsToPacks(stock, umfaktor, QStringLiteral("StockOnHandPJ"), prnr);
}

Variant PjFigures::ProdOrderPJ(const QString &prnr, double umfaktor) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum = sumOf(q, orderQuery(), prnr);
    if (!sum)
        return Variant::Integer(0);
    return orderInPacks(*sum, umfaktor, prnr);
}

Variant PjFigures::orderInPacks(const Variant &sum, double umfaktor, const QString &prnr) {
    return thousandsToPacks(asSum(sum), umfaktor, QStringLiteral("ProdOrderPJ"), prnr);
}

Variant PjFigures::SalesPerWeek(const QString &prnr, double umfaktor) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum = sumOf(q, salesQuery(), prnr);
    if (!sum)
        return Variant::Integer(0);
    return salesPerWeek(*sum, umfaktor, prnr);
}

Variant PjFigures::salesPerWeek(const Variant &sum, double umfaktor, const QString &prnr) {
    const Variant packs =
        thousandsToPacks(asSum(sum), umfaktor, QStringLiteral("SalesPerWeek"), prnr);
    if (packs.isNull())
        return packs;
    return Variant::Double(packs.number() / 26); // the sales cover 26 weeks
}

Variant PjFigures::ProdBackOrderPJ(const QString &prnr, double umfaktor) {
    const auto sum = [&](const dao::ProductQuery &query) {
        FigureQuery q(m_localDatabase);
        return sumOf(q, query, prnr);
    };
    const std::optional<Variant> backOrders = sum(backOrderQuery());
    return backOrderInPacks(backOrders, sum(forecastQuery()), umfaktor, prnr);
}

Variant PjFigures::backOrderInPacks(const std::optional<Variant> &backOrderSum,
                                    const std::optional<Variant> &forecastSum, double umfaktor,
                                    const QString &prnr) {
    // Each part counts an empty sum as 0, so a product with no rows has no back order.
    const auto part = [&](const std::optional<Variant> &sum) {
        if (!sum)
            return 0.0;
        return thousandsToPacks(NullToValue(*sum, QStringLiteral("T")), umfaktor,
                                QStringLiteral("ProdBackOrderPJ"), prnr)
            .toDouble();
    };
    const double backOrders = part(backOrderSum);
    // The forecast quantity counts as back order too.
    const double forecast = part(forecastSum);
    return Variant::Double(forecast + backOrders);
}

} // namespace figures
