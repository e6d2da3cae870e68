#include "reports/CoverageSources.h"
#include "reports/Planning.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "data/LocalDatabase.h"
#include "data/ProductKey.h"
#include "reports/CoverageOverview.h"
#include "reports/CoverageScan.h"
#include "reports/Reports.h"

#include <QLocale>

#include <cmath>

using lodvik::Variant;

namespace reports {

namespace {

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
        : m_db(dao::Database::OpenExtractStore(localDatabase)), m_product(product) {}

    TableRows count(const QString &table, const QString &itemColumn) {
        dao::Recordset rs = m_db.OpenProduct(
            dao::productQuery(table, itemColumn, QStringLiteral("count(*)")), m_product);
        return {table, rs.isEOF() ? 0 : qint64(rs.Fields(0).toDouble())};
    }

    std::optional<Variant> umconv() {
        dao::Recordset rs =
            m_db.OpenProduct(dao::productQuery(QStringLiteral("pjomr"), QStringLiteral("iblitm"),
                                               QStringLiteral("umconv")),
                             m_product);
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

    // The row as the run computes it, so that the drill-down shows the run's cells.
    lodvik::NoProgress progress;
    ProductFigureQueries figures(localDatabase, perioddatum, progress);
    ProduktTabell::Row row;
    CoverageFigures f;
    fillCoverageRow(figures, Variant::String(product), Variant(), *umconv, row, progress, &f);
    const auto cellText = [&](int column) { return row[size_t(column)].toText(); };

    QList<CellSource> cells;
    const auto add = [&](char column, const QString &heading, const QString &cell,
                         QList<FigureSource> sources, const QString &expression) {
        cells.append({column, heading, cell, sources, expression + fromTables(sources)});
    };

    const Variant &perPack = row[3];
    add('C', QStringLiteral("Enheter per förpackning"), perPack.toText(),
        {{QStringLiteral("umconv"),
          *umconv,
          {counter.count(QStringLiteral("pjomr"), QStringLiteral("iblitm"))}}},
        QStringLiteral("umconv %1 × 1000 = %2 enheter per förp.")
            .arg(valueText(*umconv), valueText(perPack)));

    const Variant frnNet = f.stockFrn - f.avail;
    const QString d = cellText(4);
    add('D', QStringLiteral("Lager FRN"), d,
        {{QStringLiteral("StockOnHandFRN"),
          f.stockFrn,
          {counter.count(QStringLiteral("pjstkfrn"), QStringLiteral("ivcitm"))}},
         {QStringLiteral("avail"),
          f.avail,
          {counter.count(QStringLiteral("avail"), QStringLiteral("ivcitm"))}}},
        QStringLiteral("StockOnHandFRN %1 − avail %2 = %3")
            .arg(valueText(f.stockFrn), term(f.avail), result(frnNet, d, Packs)));

    const QString e = cellText(5);
    add('E', QStringLiteral("Lager DP"), e,
        {{QStringLiteral("StockOnHandDP"),
          f.stockDp,
          {counter.count(QStringLiteral("DTSPL"), QStringLiteral("Fält2"))}}},
        QStringLiteral("StockOnHandDP ") + result(f.stockDp, e, Packs));

    const QString fp = cellText(6);
    add('F', QStringLiteral("Lager PJ"), fp,
        {{QStringLiteral("StockOnHandPJ"),
          f.stockPj,
          {counter.count(QStringLiteral("pjstk"), QStringLiteral("imlitm"))}}},
        QStringLiteral("StockOnHandPJ ") + result(f.stockPj, fp, Packs));

    const Variant total =
        number(Variant::String(d)) + number(Variant::String(e)) + number(Variant::String(fp));
    add('G', QStringLiteral("Lager totalt"), QString::number(total.toDouble(), 'g', 15), {},
        QStringLiteral("D + E + F = %1 + %2 + %3 = %4 %5 (tom cell räknas som 0)")
            .arg(valueText(number(Variant::String(d))), term(number(Variant::String(e))),
                 term(number(Variant::String(fp))), valueText(total), Packs));

    const QString j = cellText(10);
    add('J', QStringLiteral("Restorder PJ"), j,
        {{QStringLiteral("ProdBackOrderPJ"),
          f.backOrderPj,
          {counter.count(QStringLiteral("PJOTBALLA"), QStringLiteral("sdaitm")),
           counter.count(QStringLiteral("pjpvmens"), QStringLiteral("mflitm"))}}},
        QStringLiteral("ProdBackOrderPJ (restorder och prognos) ") +
            result(f.backOrderPj, j, Packs));

    const QString k = cellText(11);
    add('K', QStringLiteral("Restorder FRN"), k,
        {{QStringLiteral("ProdBackOrderFRN"),
          f.backOrderFrn,
          {counter.count(QStringLiteral("PJOFBACK"), QStringLiteral("sdaitm"))}}},
        QStringLiteral("ProdBackOrderFRN ") + result(f.backOrderFrn, k, Packs));

    const QString l = cellText(12);
    add('L', QStringLiteral("Order PJ"), l,
        {{QStringLiteral("ProdOrderPJ"),
          f.orderPj,
          {counter.count(QStringLiteral("PJOTALLA"), QStringLiteral("sdaitm"))}}},
        QStringLiteral("ProdOrderPJ ") + result(f.orderPj, l, Packs));

    const QString m = cellText(13);
    add('M', QStringLiteral("Order FRN"), m,
        {{QStringLiteral("ProdOrderFRN"),
          f.orderFrn,
          {counter.count(QStringLiteral("PJOFFRAM"), QStringLiteral("sdaitm"))}}},
        QStringLiteral("ProdOrderFRN ") + result(f.orderFrn, m, Packs));

    const Variant orders = number(Variant::String(l)) + number(Variant::String(j));
    add('N', QStringLiteral("Order totalt"), QString::number(orders.toDouble(), 'g', 15), {},
        QStringLiteral("L + J = %1 + %2 = %3 %4")
            .arg(valueText(number(Variant::String(l))), term(number(Variant::String(j))),
                 valueText(orders), Packs));

    const QString o = cellText(15);
    add('O', QStringLiteral("Försäljning per vecka PJ"), o,
        {{QStringLiteral("SalesPerWeek"),
          f.salesPj,
          {counter.count(QStringLiteral("pjsfakt"), QStringLiteral("sdlitm"))}}},
        QStringLiteral("SalesPerWeek (26 veckor) ") + result(f.salesPj, o, PacksAWeek));

    const QString p = cellText(16);
    add('P', QStringLiteral("Försäljning per vecka FRN"), p,
        {{QStringLiteral("SalesPerWeekFRN"),
          f.salesFrn,
          {counter.count(QStringLiteral("frnhist"), QStringLiteral("ivcitm"))}}},
        QStringLiteral("SalesPerWeekFRN (sex månader ÷ 26) ") + result(f.salesFrn, p, PacksAWeek));

    // The covers come from the rounded cells, as in the run.
    if (!f.cover.isNull()) {
        const QString h = cellText(8);
        add('H', QStringLiteral("Täckning i veckor"), h, {},
            QStringLiteral("(D + E + F) ÷ O = %1 ÷ %2 = %3")
                .arg(valueText(total), term(number(Variant::String(o))),
                     result(f.cover, h, WeeksUnit)));
    } else {
        add('H', QStringLiteral("Täckning i veckor"), cellText(8), {},
            QStringLiteral("O är tom (ingen försäljning) → 0"));
    }
    if (!f.coverFrn.isNull()) {
        const QString i = cellText(9);
        add('I', QStringLiteral("Täckning i veckor FRN"), i, {},
            QStringLiteral("D ÷ P = %1 ÷ %2 = %3")
                .arg(valueText(number(Variant::String(d))), term(number(Variant::String(p))),
                     result(f.coverFrn, i, WeeksUnit)));
    } else {
        add('I', QStringLiteral("Täckning i veckor FRN"), cellText(9), {},
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
    const PlanningRule &rule = row.rule;
    const SuggestionSteps steps = suggestionSteps(row, targetWeeks);
    const std::optional<qint64> packs = reorderSuggestion(row, targetWeeks);
    QString text = QStringLiteral("Förslag = försäljning per vecka × (ledtid + mål + "
                                  "säkerhetsveckor) + säkerhetslager − lager totalt − order på "
                                  "väg + restorder = %1 × (%2 + %3 + %4) + %5 − %6 − %7 + %8 = %9")
                       .arg(swedishNumber(*row.salesPj), term(rule.leadTimeWeeks),
                            term(targetWeeks), term(rule.safetyWeeks), term(rule.safetyPacks),
                            term(row.stockTotal.value_or(0)), term(row.orderPj.value_or(0)),
                            term(row.backOrderPj.value_or(0)), swedishNumber(steps.need));
    if (steps.packs > 0) {
        text += QStringLiteral(" → %1 förp.").arg(steps.packs);
        if (rule.multiple > 1)
            text +=
                QStringLiteral(", i multipler av %1: %2").arg(rule.multiple).arg(steps.multiple);
        if (rule.minimum > 0)
            text += QStringLiteral(", minst %1: %2").arg(rule.minimum).arg(steps.minimum);
    }
    if (row.discontinued())
        return text + QStringLiteral(" → inget förslag: markerad som utgått.");
    return text + (packs ? QStringLiteral(" → förslag %1 förp.").arg(*packs)
                         : QStringLiteral(" → inget förslag"));
}

} // namespace reports
