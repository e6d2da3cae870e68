#include "reports/CoverageSources.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "data/LocalDatabase.h"
#include "figures/StockFigures.h"
#include "reports/CoverageOverview.h"

#include <QLocale>

#include <cmath>

using lodvik::Variant;

namespace reports {

namespace {

const QString Whole = QStringLiteral("########");
const QString Weeks = QStringLiteral("####");
const QString Packs = QStringLiteral("förp.");
const QString PacksAWeek = QStringLiteral("förp./vecka");
const QString WeeksUnit = QStringLiteral("veckor");

Variant number(const Variant &stored) {
    return NullToValue(stored, QStringLiteral("T"));
}

QString valueText(const Variant &v) {
    if (v.isNull() || v.isEmpty())
        return QStringLiteral("tomt");
    double d = 0;
    if (v.isNumber() || (v.isString() && lodvik::parseNumber(v.text(), &d)))
        return swedishNumber(v.isNumber() ? v.number() : d);
    return v.toText();
}

// "120 förp.", "2,5 ≈ 3 förp." or "0,25 → tom cell": the figure's value and the cell it gives.
QString result(const Variant &raw, const QString &cell, const QString &unit) {
    const QString value = valueText(raw);
    if (cell.isEmpty())
        return value + QStringLiteral(" → tom cell");
    double stored = 0;
    lodvik::parseNumber(cell, &stored);
    double fromText = 0;
    const bool exact =
        (raw.isNumber() && raw.number() == stored) ||
        (raw.isString() && lodvik::parseNumber(raw.text(), &fromText) && fromText == stored);
    return exact ? value + QLatin1Char(' ') + unit
                 : value + QStringLiteral(" ≈ ") + swedishNumber(stored) + QLatin1Char(' ') + unit;
}

// A number after an operator: a negative one in parentheses ("− (−355)").
QString term(const Variant &v) {
    const QString text = valueText(v);
    return v.isNumber() && v.number() < 0 ? QLatin1Char('(') + text + QLatin1Char(')') : text;
}

QString term(double d) {
    return term(Variant::Double(d));
}

QString rowsText(qint64 rows) {
    return rows == 1 ? QStringLiteral("1 rad") : QStringLiteral("%1 rader").arg(rows);
}

QString fromTables(const QList<FigureSource> &figures) {
    QStringList parts;
    for (const FigureSource &f : figures)
        for (const TableRows &t : f.tables)
            parts << t.table + QLatin1Char(' ') + rowsText(t.rows);
    return parts.isEmpty() ? QString()
                           : QStringLiteral(", från ") + parts.join(QStringLiteral(", "));
}

// Counts the product's rows in the tables the figures read, matched as the figures match them.
class RowCounter {
public:
    RowCounter(const QString &localDatabase, const QString &product)
        : m_db(dao::Database::OpenDatabase(localDatabase)), m_product(product) {}

    TableRows count(const QString &table, const QString &itemColumn) {
        const dao::BoundQuery query =
            dao::forProduct(dao::productQuery(QLatin1Char('"') + table + QLatin1Char('"'),
                                              QLatin1Char('"') + itemColumn + QLatin1Char('"'),
                                              QStringLiteral("count(*)")),
                            m_product);
        dao::Recordset rs = m_db.OpenRecordset(query.sql, query.parameters);
        return {table, rs.isEOF() ? 0 : qint64(rs.Fields(0).toDouble())};
    }

    std::optional<Variant> umconv() {
        const dao::BoundQuery query =
            dao::forProduct(dao::productQuery(QStringLiteral("pjomr"), QStringLiteral("iblitm"),
                                              QStringLiteral("umconv")),
                            m_product);
        dao::Recordset rs = m_db.OpenRecordset(query.sql, query.parameters);
        if (rs.isEOF())
            return std::nullopt;
        return rs.Fields(0);
    }

private:
    dao::Database m_db;
    QString m_product;
};

} // namespace

QString swedishNumber(double value) {
    static const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    const double rounded = std::round(value * 100) / 100;
    QString text = swedish.toString(rounded, 'f', 2);
    if (text.contains(swedish.decimalPoint())) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(swedish.decimalPoint()))
            text.chop(swedish.decimalPoint().size());
    }
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text.replace(QLatin1Char('-'), QChar(0x2212)); // a real minus sign
}

QList<CellSource> coverageCellSources(const QString &localDatabase, const QString &perioddatum,
                                      const QString &product) {
    RowCounter counter(localDatabase, product);
    const std::optional<Variant> umconv = counter.umconv();
    if (!umconv)
        throw lodvik::Error(QStringLiteral("Produkten %1 finns inte i pjomr.").arg(product));
    if (umconv->isNull() || umconv->isEmpty() || number(*umconv).toDouble() == 0)
        throw lodvik::Error(
            QStringLiteral("Produkten %1 saknar antal per förpackning (umconv) i pjomr.")
                .arg(product));

    lodvik::NoProgress progress;
    figures::StockFigures figures(localDatabase, progress);
    QList<CellSource> cells;
    const auto add = [&](char column, const QString &heading, const QString &cell,
                         QList<FigureSource> sources, const QString &expression) {
        cells.append({column, heading, cell, sources, expression + fromTables(sources)});
    };
    const auto formatted = [](const Variant &v, const QString &pattern) {
        return Format(v, pattern);
    };

    const Variant perPack = *umconv * Variant::Long(1000);
    const double umfaktor = perPack.toDouble();
    add('C', QStringLiteral("Enheter per förpackning"), perPack.toText(),
        {{QStringLiteral("umconv"),
          *umconv,
          {counter.count(QStringLiteral("pjomr"), QStringLiteral("iblitm"))}}},
        QStringLiteral("umconv %1 × 1000 = %2 enheter per förp.")
            .arg(valueText(*umconv), valueText(perPack)));

    const Variant stockFrn = figures.frn.StockOnHandFRN(product);
    const Variant availability = figures.frn.avail(product);
    const Variant frnNet = stockFrn - availability;
    const QString d = formatted(frnNet, Whole);
    add('D', QStringLiteral("Lager FRN"), d,
        {{QStringLiteral("StockOnHandFRN"),
          stockFrn,
          {counter.count(QStringLiteral("pjstkfrn"), QStringLiteral("ivcitm"))}},
         {QStringLiteral("avail"),
          availability,
          {counter.count(QStringLiteral("avail"), QStringLiteral("ivcitm"))}}},
        QStringLiteral("StockOnHandFRN %1 − avail %2 = %3")
            .arg(valueText(stockFrn), term(availability), result(frnNet, d, Packs)));

    const Variant stockDp = figures.dp.StockOnHandDP(product);
    const QString e = formatted(stockDp, Whole);
    add('E', QStringLiteral("Lager DP"), e,
        {{QStringLiteral("StockOnHandDP"),
          stockDp,
          {counter.count(QStringLiteral("DTSPL"), QStringLiteral("Fält2"))}}},
        QStringLiteral("StockOnHandDP ") + result(stockDp, e, Packs));

    const Variant stockPj = figures.pj.StockOnHandPJ(product, umfaktor);
    const QString f = formatted(stockPj, Whole);
    add('F', QStringLiteral("Lager PJ"), f,
        {{QStringLiteral("StockOnHandPJ"),
          stockPj,
          {counter.count(QStringLiteral("pjstk"), QStringLiteral("imlitm"))}}},
        QStringLiteral("StockOnHandPJ ") + result(stockPj, f, Packs));

    const Variant total =
        number(Variant::String(d)) + number(Variant::String(e)) + number(Variant::String(f));
    add('G', QStringLiteral("Lager totalt"), QString::number(total.toDouble(), 'g', 15), {},
        QStringLiteral("D + E + F = %1 + %2 + %3 = %4 %5 (tom cell räknas som 0)")
            .arg(valueText(number(Variant::String(d))), term(number(Variant::String(e))),
                 term(number(Variant::String(f))), valueText(total), Packs));

    const Variant backPj = figures.pj.ProdBackOrderPJ(product, umfaktor);
    const QString j = formatted(backPj, Whole);
    add('J', QStringLiteral("Restorder PJ"), j,
        {{QStringLiteral("ProdBackOrderPJ"),
          backPj,
          {counter.count(QStringLiteral("PJOTBALLA"), QStringLiteral("sdaitm")),
           counter.count(QStringLiteral("pjpvmens"), QStringLiteral("mflitm"))}}},
        QStringLiteral("ProdBackOrderPJ (restorder och prognos) ") + result(backPj, j, Packs));

    const Variant backFrn = figures.frn.ProdBackOrderFRN(Variant::String(product), umfaktor);
    const QString k = formatted(backFrn, Whole);
    add('K', QStringLiteral("Restorder FRN"), k,
        {{QStringLiteral("ProdBackOrderFRN"),
          backFrn,
          {counter.count(QStringLiteral("PJOFBACK"), QStringLiteral("sdaitm"))}}},
        QStringLiteral("ProdBackOrderFRN ") + result(backFrn, k, Packs));

    const Variant orderPj = figures.pj.ProdOrderPJ(product, umfaktor);
    const QString l = formatted(orderPj, Whole);
    add('L', QStringLiteral("Order PJ"), l,
        {{QStringLiteral("ProdOrderPJ"),
          orderPj,
          {counter.count(QStringLiteral("PJOTALLA"), QStringLiteral("sdaitm"))}}},
        QStringLiteral("ProdOrderPJ ") + result(orderPj, l, Packs));

    const Variant orderFrn = figures.frn.ProdOrderFRN(product, umfaktor);
    const QString m = formatted(orderFrn, Whole);
    add('M', QStringLiteral("Order FRN"), m,
        {{QStringLiteral("ProdOrderFRN"),
          orderFrn,
          {counter.count(QStringLiteral("PJOFFRAM"), QStringLiteral("sdaitm"))}}},
        QStringLiteral("ProdOrderFRN ") + result(orderFrn, m, Packs));

    const Variant orders = number(Variant::String(l)) + number(Variant::String(j));
    add('N', QStringLiteral("Order totalt"), QString::number(orders.toDouble(), 'g', 15), {},
        QStringLiteral("L + J = %1 + %2 = %3 %4")
            .arg(valueText(number(Variant::String(l))), term(number(Variant::String(j))),
                 valueText(orders), Packs));

    const Variant sales = figures.pj.SalesPerWeek(product, umfaktor);
    const QString o = formatted(sales, Whole);
    add('O', QStringLiteral("Försäljning per vecka PJ"), o,
        {{QStringLiteral("SalesPerWeek"),
          sales,
          {counter.count(QStringLiteral("pjsfakt"), QStringLiteral("sdlitm"))}}},
        QStringLiteral("SalesPerWeek (26 veckor) ") + result(sales, o, PacksAWeek));

    const Variant salesFrn = figures.frn.SalesPerWeekFRN(product, perioddatum);
    const QString p = formatted(salesFrn, Whole);
    add('P', QStringLiteral("Försäljning per vecka FRN"), p,
        {{QStringLiteral("SalesPerWeekFRN"),
          salesFrn,
          {counter.count(QStringLiteral("frnhist"), QStringLiteral("ivcitm"))}}},
        QStringLiteral("SalesPerWeekFRN (sex månader ÷ 26) ") + result(salesFrn, p, PacksAWeek));

    // The covers come from the rounded cells, as in the run.
    const Variant dSales = number(Variant::String(o));
    if (dSales.toDouble() != 0) {
        const Variant cover = total / dSales;
        const QString h = formatted(cover, Weeks);
        add('H', QStringLiteral("Täckning i veckor"), h, {},
            QStringLiteral("(D + E + F) ÷ O = %1 ÷ %2 = %3")
                .arg(valueText(total), term(dSales), result(cover, h, WeeksUnit)));
    } else {
        add('H', QStringLiteral("Täckning i veckor"), QStringLiteral("0"), {},
            QStringLiteral("O är tom (ingen försäljning) → 0"));
    }
    const Variant eSales = number(Variant::String(p));
    if (eSales.toDouble() != 0) {
        const Variant cover = number(Variant::String(d)) / eSales;
        const QString i = formatted(cover, Weeks);
        add('I', QStringLiteral("Täckning i veckor FRN"), i, {},
            QStringLiteral("D ÷ P = %1 ÷ %2 = %3")
                .arg(valueText(number(Variant::String(d))), term(eSales),
                     result(cover, i, WeeksUnit)));
    } else {
        add('I', QStringLiteral("Täckning i veckor FRN"), QStringLiteral("0"), {},
            QStringLiteral("P är tom (ingen FRN-försäljning) → 0"));
    }

    std::sort(cells.begin(), cells.end(), [](const CellSource &a, const CellSource &b) {
        return a.workbookColumn < b.workbookColumn;
    });
    return cells;
}

QString suggestionExplanation(const CoverageRow &row, double targetWeeks) {
    if (!row.hasSales())
        return QStringLiteral("Ingen försäljning per vecka (O är tom eller 0): inget förslag.");
    const double need = *row.salesPj * targetWeeks - row.stockTotal.value_or(0) -
                        row.orderPj.value_or(0) + row.backOrderPj.value_or(0);
    const std::optional<qint64> packs = reorderSuggestion(row, targetWeeks);
    return QStringLiteral("Förslag = försäljning per vecka × mål − lager totalt − order på väg + "
                          "restorder = %1 × %2 − %3 − %4 + %5 = %6 → %7")
        .arg(swedishNumber(*row.salesPj), term(targetWeeks), term(row.stockTotal.value_or(0)),
             term(row.orderPj.value_or(0)), term(row.backOrderPj.value_or(0)), swedishNumber(need),
             packs ? QStringLiteral("%1 förp.").arg(*packs) : QStringLiteral("inget förslag"));
}

} // namespace reports
