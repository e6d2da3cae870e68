#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/FigureQuery.h"

using figures::FigureQuery;
using figures::literal;
using lodvik::Variant;

namespace {

const QString sumAntaltusen = QStringLiteral("SELECT  Sum(antaltusen) AS Summa ");
const QString sumSdpqor = QStringLiteral("SELECT  Sum(sdpqor) AS Summa ");

QString selectAllFrom(const QString &table) {
    return QStringLiteral("SELECT  * ") + QStringLiteral(" FROM ") + table + QStringLiteral(" ");
}

// Adds NullToValue(column, "T") of every row of the tables to total. These extracts carry no
// item column that the figures may rely on, so the progress shows the table being read.
void addRows(FigureQuery &q, const QStringList &tables, const QString &column, double &total,
             const figures::Progress &progress) {
    for (const QString &table : tables) {
        progress(table);
        q.forEachRow(selectAllFrom(table), [&](const dao::Recordset &row) {
            total = total + figures::quantity(row.Fields(column));
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

} // namespace

Variant StartmenyOperations::getantaliforpack(const QString &artnr) {
    FigureQuery q;
    const std::optional<Variant> umconv =
        q.firstValue(QStringLiteral("SELECT  *  ") + QStringLiteral(" FROM pjomr ") +
                         QStringLiteral(" where iblitm ='") + literal(artnr) + QStringLiteral("' "),
                     QStringLiteral("umconv"));
    if (!umconv)
        return Variant::Double(0);
    // An empty factor says as little as a missing product: neither gives a pack size.
    if (umconv->isNull() || umconv->isEmpty() ||
        (umconv->isString() && umconv->text().trimmed().isEmpty()))
        return Variant::Double(0);
    return Variant::Double(umconv->toDouble());
}

Variant StartmenyOperations::getlagersaldo(const QString &artnr) {
    BusyCursorScope busy;
    FigureQuery q;
    return figures::asSum(q.firstValue(QStringLiteral("SELECT sum(LIPQOH)AS SUMMA ") +
                                           QStringLiteral(" FROM fpsaldo ") +
                                           QStringLiteral(" where IBLITM = '") + literal(artnr) +
                                           QStringLiteral("' "),
                                       QStringLiteral("summa"))
                              .value_or(Variant::Null()));
}

Variant StartmenyOperations::backordersPJ() {
    FigureQuery q;
    return Variant::Double(figures::tablesSum(q, sumAntaltusen, {"pjoback", "pjo1back"}));
}

Variant StartmenyOperations::outsidePJ() {
    FigureQuery q;
    return Variant::Double(figures::tablesSum(q, sumAntaltusen, {"pjofram", "pjo1fram"}));
}

Variant StartmenyOperations::orderscurrmonthPJ() {
    FigureQuery q;
    double total = figures::tablesSum(q, sumAntaltusen, {"pjocurr", "pjo1curr"});
    addRows(q, {"pjpvmens"}, QStringLiteral("mffqt"), total,
            [this](const QString &c) { showProgress(c); });
    return Variant::Double(total);
}

Variant StartmenyOperations::salescurrmonthPJ() {
    FigureQuery q;
    return Variant::Double(figures::tablesSum(q, sumSdpqor, {"pjscurr", "pjs1curr", "pjs2curr"}));
}

Variant StartmenyOperations::salespriormonthPJ() {
    FigureQuery q;
    return Variant::Double(figures::tablesSum(q, sumSdpqor, {"pjsprior", "pjs1prior"}));
}

Variant StartmenyOperations::GSLPJ() {
    FigureQuery q;
    double total = 0;
    q.forEachRow(selectAllFrom(QStringLiteral("pjstk")), [&](const dao::Recordset &row) {
        const Variant item = row.Fields(QStringLiteral("imlitm"));
        if (countsAsStock(item))
            total = total + figures::quantity(row.Fields(QStringLiteral("lipqoh")));
        showProgress(item.toText());
    });
    return Variant::Double(total / 1000); // units to thousands
}

Variant StartmenyOperations::GSCPJ() {
    FigureQuery q;
    double total = 0;
    addRows(q, {"pjstkens"}, QStringLiteral("lipqoh"), total,
            [this](const QString &c) { showProgress(c); });
    return Variant::Double(total);
}

Variant StartmenyOperations::GITPJ() {
    FigureQuery q;
    double total = 0;
    addRows(q, {"pjgit", "pj1git"}, QStringLiteral("sdpqor"), total,
            [this](const QString &c) { showProgress(c); });
    return Variant::Double(total);
}

Variant StartmenyOperations::StockOnHandPJ(const QString &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum = q.firstValue(
        QStringLiteral("SELECT  sum(lipqoh)as summaprod ") + QStringLiteral(" FROM pjstk ") +
            QStringLiteral(" Where imlitm = '") + literal(prnr) + QStringLiteral("' "),
        QStringLiteral("summaprod"));
    if (!sum)
        return Variant::Integer(0);
    const Variant stock = figures::asSum(*sum);
    // Stock is in units; a shortfall or nothing in stock is reported as it is, not in packs.
    if (!lodvik::greaterThanZero(stock))
        return stock;
    return figures::unitsToPacks(stock, umfaktor, QStringLiteral("StockOnHandPJ"), prnr);
}

Variant StartmenyOperations::ProdOrderPJ(const QString &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum = q.firstValue(
        QStringLiteral("SELECT sum(antaltusen) as prodsumma ") + QStringLiteral(" FROM PJOTALLA ") +
            QStringLiteral(" Where sdaitm = '") + literal(prnr) + QStringLiteral("' "),
        QStringLiteral("prodsumma"));
    if (!sum)
        return Variant::Integer(0);
    return figures::thousandsToPacks(figures::asSum(*sum), umfaktor, QStringLiteral("ProdOrderPJ"),
                                     prnr);
}

Variant StartmenyOperations::SalesPerWeek(const QString &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum = q.firstValue(
        QStringLiteral("SELECT sum(sdpqor) as prodsumma ") + QStringLiteral(" FROM pjsfakt ") +
            QStringLiteral(" Where sdlitm = '") + literal(prnr) + QStringLiteral("' "),
        QStringLiteral("prodsumma"));
    if (!sum)
        return Variant::Integer(0);
    const Variant packs = figures::thousandsToPacks(figures::asSum(*sum), umfaktor,
                                                    QStringLiteral("SalesPerWeek"), prnr);
    if (packs.isNull())
        return packs;
    return Variant::Double(packs.number() / 26); // the sales cover 26 weeks
}

Variant StartmenyOperations::ProdBackOrderPJ(const QString &prnr) {
    // Each part counts an empty sum as 0, so a product with no rows has no back order.
    const auto part = [&](const QString &sql) {
        FigureQuery q;
        const std::optional<Variant> sum = q.firstValue(sql, QStringLiteral("prodsumma"));
        if (!sum)
            return 0.0;
        return figures::thousandsToPacks(NullToValue(*sum, QStringLiteral("T")), umfaktor,
                                         QStringLiteral("ProdBackOrderPJ"), prnr)
            .toDouble();
    };
    const double backOrders =
        part(QStringLiteral("SELECT sum(antaltusen) as prodsumma ") +
             QStringLiteral(" FROM PJOTBALLA ") + QStringLiteral(" Where sdaitm = '") +
             literal(prnr) + QStringLiteral("' "));
    // The forecast quantity counts as back order too.
    const double forecast = part(
        QStringLiteral("SELECT  sum(mffqt) as prodsumma  ") + QStringLiteral(" FROM pjpvmens ") +
        QStringLiteral(" Where mflitm = '") + literal(prnr) + QStringLiteral("' "));
    return Variant::Double(forecast + backOrders);
}
