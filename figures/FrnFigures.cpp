#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/FigureQuery.h"

using figures::FigureQuery;
using figures::literal;
using lodvik::Error;
using lodvik::Variant;

namespace {

QString selectAllFrom(const QString &table) {
    return QStringLiteral("SELECT * ") + QStringLiteral(" FROM ") + table + QStringLiteral(" ");
}

QString monthColumn(int month) {
    return QStringLiteral("IHSQ%1").arg(month, 2, 10, QLatin1Char('0'));
}

// The sum of one column over the rows of one item, or nothing when the query gave no row.
std::optional<Variant> itemSum(FigureQuery &q, const QString &select, const QString &table,
                               const QString &itemColumn, const QString &item,
                               const QString &field) {
    return q.firstValue(select + QStringLiteral(" FROM ") + table + QStringLiteral(" ") +
                            QStringLiteral(" Where ") + itemColumn + QStringLiteral(" = '") +
                            literal(item) + QStringLiteral("' "),
                        field);
}

enum class BlankItems { Fail, Skip };

// Walks every row of a table and adds the row's quantity times its item's pack size.
double itemsTotal(StartmenyOperations &ops, const figures::Progress &progress, const QString &table,
                  const QString &column, BlankItems blankItems) {
    FigureQuery q;
    double total = 0;
    q.forEachRow(selectAllFrom(table), [&](const dao::Recordset &row) {
        const Variant item = row.Fields(QStringLiteral("ivcitm"));
        if (blankItems == BlankItems::Skip &&
            NullToValue(item, QStringLiteral("S")).toText().isEmpty())
            return;
        if (item.isNull())
            throw Error(
                QStringLiteral("En rad i %1 saknar artikelnummer (ivcitm är tomt).").arg(table));
        const QString prnr = item.toText();
        const double pack = ops.getantaliforpack(prnr).toDouble();
        const double value = figures::summable(row.Fields(column), column, prnr);
        total = total + value * pack;
        progress(prnr);
    });
    return total;
}

} // namespace

Variant StartmenyOperations::avail(const QString &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum =
        itemSum(q, QStringLiteral("SELECT sum(quantity) as prodsumma "), QStringLiteral("avail"),
                QStringLiteral("ivcitm"), prnr, QStringLiteral("prodsumma"));
    return sum ? figures::asSum(*sum) : Variant::Integer(0);
}

Variant StartmenyOperations::StockOnHandFRN(const QString &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum =
        itemSum(q, QStringLiteral("SELECT  sum(lipqoh)as summaprod "), QStringLiteral("pjstkfrn"),
                QStringLiteral("ivcitm"), prnr, QStringLiteral("summaprod"));
    return sum ? figures::asSum(*sum) : Variant::Integer(0);
}

Variant StartmenyOperations::ProdOrderFRN(const QString &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum = itemSum(
        q, QStringLiteral("SELECT sum(antaltusen) as prodsumma "), QStringLiteral("PJOFFRAM"),
        QStringLiteral("sdaitm"), prnr, QStringLiteral("prodsumma"));
    if (!sum)
        return Variant::Integer(0);
    return figures::thousandsToPacks(figures::asSum(*sum), umfaktor, QStringLiteral("ProdOrderFRN"),
                                     prnr);
}

Variant StartmenyOperations::ProdBackOrderFRN(const Variant &prnr) {
    FigureQuery q;
    const std::optional<Variant> sum = itemSum(
        q, QStringLiteral("SELECT sum(antaltusen) as prodsumma "), QStringLiteral("PJOFBACK"),
        QStringLiteral("sdaitm"), prnr.toText(), QStringLiteral("prodsumma"));
    if (!sum)
        return Variant::String(QStringLiteral("0"));
    // Reported as text: an empty sum counts as no back order.
    const Variant packs = figures::thousandsToPacks(
        Variant::Double(NullToValue(*sum, QStringLiteral("T")).toDouble()), umfaktor,
        QStringLiteral("ProdBackOrderFRN"), prnr.toText());
    return Variant::String(packs.toText());
}

Variant StartmenyOperations::SalesPerWeekFRN(const QString &prnr) {
    int month = figures::periodMonth(perioddatum);
    if (month == 1)
        month = 13;
    // Six months of history: from seven months before the period month, wrapping at the year.
    int start = month - 7;
    if (start < 1)
        start += 12;
    FigureQuery q;
    double total = 0;
    q.forEachRow(
        selectAllFrom(QStringLiteral("frnhist")) + QStringLiteral(" Where ivcitm = '") +
            literal(prnr) + QStringLiteral("' "),
        [&](const dao::Recordset &row) {
            int m = start;
            for (int i = 0; i < 6; ++i) {
                total = total + figures::summable(row.Fields(m + 1), monthColumn(m), prnr);
                if (++m == 13)
                    m = 1;
            }
            showProgress(
                NullToValue(row.Fields(QStringLiteral("ivcitm")), QStringLiteral("S")).toText());
        });
    return Variant::Double(total / 26); // weeks in six months
}

Variant StartmenyOperations::backordersFRN() {
    return Variant::Double(itemsTotal(
        *this, [this](const QString &c) { showProgress(c); }, QStringLiteral("avail"),
        QStringLiteral("quantity"), BlankItems::Skip));
}

Variant StartmenyOperations::GSCFRN() {
    return Variant::Double(itemsTotal(
        *this, [this](const QString &c) { showProgress(c); }, QStringLiteral("pjstkfrn"),
        QStringLiteral("lipqoh"), BlankItems::Fail));
}

Variant StartmenyOperations::orderscurrmonthFRN() {
    return Variant::Double(itemsTotal(
        *this, [this](const QString &c) { showProgress(c); }, QStringLiteral("frnrequest"),
        QStringLiteral("sduorg"), BlankItems::Fail));
}

Variant StartmenyOperations::outsideFRN() {
    return Variant::Double(itemsTotal(
        *this, [this](const QString &c) { showProgress(c); }, QStringLiteral("frnrequesu"),
        QStringLiteral("sduorg01"), BlankItems::Skip));
}

Variant StartmenyOperations::salescurrmonthFRN() {
    const QString column = monthColumn(figures::periodMonth(perioddatum));
    return Variant::Double(itemsTotal(
        *this, [this](const QString &c) { showProgress(c); }, QStringLiteral("frnhist"), column,
        BlankItems::Fail));
}

Variant StartmenyOperations::salespriormonthFRN() {
    FigureQuery q;
    q.requireTable(QStringLiteral("tillfall"));
    // The month before the period month; January looks back to December.
    int month = figures::periodMonth(perioddatum);
    if (month == 1)
        month = 13;
    return Variant::Double(itemsTotal(
        *this, [this](const QString &c) { showProgress(c); }, QStringLiteral("frnhist"),
        monthColumn(month - 1), BlankItems::Fail));
}
