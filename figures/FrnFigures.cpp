#include "figures/FrnFigures.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "figures/FigureQuery.h"
#include "figures/PjFigures.h"

using lodvik::Error;
using lodvik::Variant;

namespace figures {

namespace {

QString selectAllFrom(const QString &table) {
    return QStringLiteral("SELECT * ") + QStringLiteral(" FROM ") + table + QStringLiteral(" ");
}

QString monthColumn(int month) {
    return QStringLiteral("IHSQ%1").arg(month, 2, 10, QLatin1Char('0'));
}

// The sum of one column over the rows of one item, or nothing when the query gave no row.
std::optional<Variant> itemSum(FigureQuery &q, const dao::ProductQuery &query, const QString &item,
                               const QString &field) {
    return q.firstValue(query, field, item);
}

// The one-product queries of the FRN figures.
const dao::ProductQuery &availQuery() {
    static const dao::ProductQuery q = productSum(FrnFigures::availColumn);
    return q;
}
const dao::ProductQuery &stockOnHandQuery() {
    static const dao::ProductQuery q = productSum(FrnFigures::stockColumn);
    return q;
}
const dao::ProductQuery &orderQuery() {
    static const dao::ProductQuery q = productSum(FrnFigures::orderColumn);
    return q;
}
const dao::ProductQuery &backOrderQuery() {
    static const dao::ProductQuery q = productSum(FrnFigures::backOrderColumn);
    return q;
}
const dao::ProductQuery &historyQuery() {
    static const dao::ProductQuery q = productRows(QString::fromUtf8(FrnFigures::historyTable),
                                                   QString::fromUtf8(FrnFigures::historyKey));
    return q;
}

} // namespace

FrnFigures::FrnFigures(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

// Walks every row of a table and adds the row's quantity times its item's pack size.
double FrnFigures::itemsTotal(const QString &table, const QString &column, bool skipBlankItems) {
    FigureQuery q(m_localDatabase);
    PackSizes packs(m_localDatabase);
    double total = 0;
    q.forEachRow(selectAllFrom(table), [&](const dao::Recordset &row) {
        const Variant item = row.Fields(QStringLiteral("ivcitm"));
        if (skipBlankItems && NullToValue(item, QStringLiteral("S")).toText().isEmpty())
            return;
        if (item.isNull())
            throw Error(
                QStringLiteral("En rad i %1 saknar artikelnummer (ivcitm är tomt).").arg(table));
        const QString prnr = item.toText();
        const double pack = packs.of(prnr);
        const double value = summable(row, column, table, prnr);
        total = total + value * pack;
        m_progress.caption(prnr);
    });
    return total;
}

Variant FrnFigures::avail(const QString &prnr) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum = itemSum(q, availQuery(), prnr, QStringLiteral("prodsumma"));
    return sum ? asSum(*sum) : Variant::Integer(0);
}

Variant FrnFigures::StockOnHandFRN(const QString &prnr) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum =
        itemSum(q, stockOnHandQuery(), prnr, QStringLiteral("summaprod"));
    return sum ? asSum(*sum) : Variant::Integer(0);
}

Variant FrnFigures::ProdOrderFRN(const QString &prnr, double umfaktor) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum = itemSum(q, orderQuery(), prnr, QStringLiteral("prodsumma"));
    if (!sum)
        return Variant::Integer(0);
    return orderInPacks(*sum, umfaktor, prnr);
}

Variant FrnFigures::orderInPacks(const Variant &sum, double umfaktor, const QString &prnr) {
    return thousandsToPacks(asSum(sum), umfaktor, QStringLiteral("ProdOrderFRN"), prnr);
}

Variant FrnFigures::ProdBackOrderFRN(const Variant &prnr, double umfaktor) {
    FigureQuery q(m_localDatabase);
    const std::optional<Variant> sum =
        itemSum(q, backOrderQuery(), prnr.toText(), QStringLiteral("prodsumma"));
    if (!sum)
        return Variant::String(QStringLiteral("0"));
    return backOrderText(*sum, umfaktor, prnr.toText());
}

Variant FrnFigures::backOrderText(const Variant &sum, double umfaktor, const QString &prnr) {
    // Reported as text: an empty sum counts as no back order.
    const Variant packs =
        thousandsToPacks(Variant::Double(NullToValue(sum, QStringLiteral("T")).toDouble()),
                         umfaktor, QStringLiteral("ProdBackOrderFRN"), prnr);
    return Variant::String(packs.toText());
}

FrnFigures::SalesMonths FrnFigures::salesMonths(const Period &period) {
    int month = period.month();
    if (month == 1)
        month = 13;
    // Six months of history: from seven months before the period month, wrapping at the year.
    int m = month - 7;
    if (m < 1)
        m += 12;
    SalesMonths positions{};
    for (int &position : positions) {
        position = m + 1;
        if (++m == 13)
            m = 1;
    }
    return positions;
}

double FrnFigures::addSales(double total, const dao::Recordset &row, const SalesMonths &months,
                            const QString &prnr) {
    return addSalesAt(
        total,
        [&](int position) {
            return summable(row, position, QString::fromUtf8(historyTable), prnr);
        },
        months);
}

double FrnFigures::addSalesAt(double total, const std::function<double(int)> &summableAt,
                              const SalesMonths &months) {
    for (const int position : months)
        total = total + summableAt(position);
    return total;
}

Variant FrnFigures::SalesPerWeekFRN(const QString &prnr, const Period &period) {
    const SalesMonths months = salesMonths(period);
    FigureQuery q(m_localDatabase);
    double total = 0;
    q.forEachRow(historyQuery(), prnr, [&](const dao::Recordset &row) {
        total = addSales(total, row, months, prnr);
        m_progress.caption(
            NullToValue(row.Fields(QStringLiteral("ivcitm")), QStringLiteral("S")).toText());
    });
    return salesPerWeek(total);
}

Variant FrnFigures::salesPerWeek(double total) {
    return Variant::Double(total / 26); // weeks in six months
}

Variant FrnFigures::backordersFRN() {
    return Variant::Double(
        itemsTotal(QStringLiteral("avail"), QStringLiteral("quantity"), /*skipBlankItems=*/true));
}

Variant FrnFigures::GSCFRN() {
    return Variant::Double(
        itemsTotal(QStringLiteral("pjstkfrn"), QStringLiteral("lipqoh"), /*skipBlankItems=*/false));
}

Variant FrnFigures::orderscurrmonthFRN() {
    return Variant::Double(itemsTotal(QStringLiteral("frnrequest"), QStringLiteral("sduorg"),
                                      /*skipBlankItems=*/false));
}

Variant FrnFigures::outsideFRN() {
    return Variant::Double(itemsTotal(QStringLiteral("frnrequesu"), QStringLiteral("sduorg01"),
                                      /*skipBlankItems=*/true));
}

Variant FrnFigures::salescurrmonthFRN(const Period &period) {
    return Variant::Double(itemsTotal(QStringLiteral("frnhist"), monthColumn(period.month()),
                                      /*skipBlankItems=*/false));
}

Variant FrnFigures::salespriormonthFRN(const Period &period) {
    FigureQuery q(m_localDatabase);
    q.requireTable(QStringLiteral("tillfall"));
    // The month before the period month; January looks back to December.
    int month = period.month();
    if (month == 1)
        month = 13;
    return Variant::Double(itemsTotal(QStringLiteral("frnhist"), monthColumn(month - 1),
                                      /*skipBlankItems=*/false));
}

} // namespace figures
