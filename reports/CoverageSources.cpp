#include "reports/CoverageSources.h"
#include "reports/Planning.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "reports/CoverageColumns.h"
#include "reports/CoverageOverview.h"
#include "reports/CoverageScan.h"
#include "reports/Reports.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"

#include <QLocale>

#include <cmath>
#include <cstring>

using lodvik::Variant;

namespace reports {

namespace {

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

QList<CellSource> coverageCellSources(const QString &localDatabase, const figures::Period &period,
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
    ProductFigureQueries figures(localDatabase, period, progress);
    ProduktTabell::Row row;
    CoverageFigures f;
    fillCoverageRow(figures, Variant::String(product), Variant(), *umconv, row, progress, &f);
    const auto stored = [&](char letter) { return number(row[size_t(letter - 'A' + 1)]); };
    // The terms of a sum as written after "=": the first as it is, the others in parentheses
    // when negative.
    const auto termValues = [&](const char *terms, Variant *sum) {
        QStringList values;
        *sum = stored(terms[0]);
        values << valueText(*sum);
        for (const char *t = terms + 1; *t; ++t) {
            *sum = *sum + stored(*t);
            values << term(stored(*t));
        }
        return values;
    };
    const auto letters = [](const char *terms) {
        QStringList names;
        for (const char *t = terms; *t; ++t)
            names << QString(QLatin1Char(*t));
        return names.join(QStringLiteral(" + "));
    };

    QList<CellSource> cells;
    for (const CoverageColumn &c : coverageColumns()) {
        if (!c.meaning)
            continue;
        const size_t k = size_t(c.column());
        const QString unit = QString::fromUtf8(c.unit);
        const QString note = QString::fromUtf8(c.note);
        QList<FigureSource> sources;
        for (int i = 0; i < 2 && c.figures[size_t(i)].name; ++i) {
            const ColumnFigure &figure = c.figures[size_t(i)];
            FigureSource source{QString::fromUtf8(figure.name), f.read[k][size_t(i)], {}};
            for (const ExtractTable &t : figure.tables)
                if (t.table)
                    source.tables << counter.count(QString::fromUtf8(t.table),
                                                   QString::fromUtf8(t.itemColumn));
            sources << source;
        }
        QString cell = row[k].toText();
        QString explanation;
        switch (c.kind) {
        case CoverageColumn::Kind::Stored:
            explanation = QStringLiteral("%1 %2%3 = %4 %5")
                              .arg(sources.value(0).figure, valueText(f.read[k][0]),
                                   QStringLiteral(" × %1").arg(c.scale), valueText(row[k]), unit);
            break;
        case CoverageColumn::Kind::Figure:
            explanation =
                sources.size() > 1
                    ? QStringLiteral("%1 %2 − %3 %4 = %5")
                          .arg(sources[0].figure, valueText(f.read[k][0]), sources[1].figure,
                               term(f.read[k][1]), result(f.value[k], cell, unit))
                    : sources[0].figure + note + QLatin1Char(' ') + result(f.value[k], cell, unit);
            break;
        case CoverageColumn::Kind::Sum: {
            Variant sum;
            const QStringList values = termValues(c.terms, &sum);
            cell = QString::number(sum.toDouble(), 'g', 15);
            explanation = QStringLiteral("%1 = %2 = %3 %4%5")
                              .arg(letters(c.terms), values.join(QStringLiteral(" + ")),
                                   valueText(sum), unit, note);
            break;
        }
        case CoverageColumn::Kind::Cover: {
            // The covers come from the rounded cells, as in the run.
            if (f.value[k].isNull()) {
                explanation = QString::fromUtf8(c.noDivisor);
                break;
            }
            Variant sum;
            termValues(c.terms, &sum);
            const QString dividend = std::strlen(c.terms) > 1
                                         ? QLatin1Char('(') + letters(c.terms) + QLatin1Char(')')
                                         : letters(c.terms);
            explanation = QStringLiteral("%1 ÷ %2 = %3 ÷ %4 = %5")
                              .arg(dividend, QString(QLatin1Char(c.divisor)), valueText(sum),
                                   term(stored(c.divisor)), result(f.value[k], cell, unit));
            break;
        }
        case CoverageColumn::Kind::Heading:
            break;
        }
        cells.append({c.letter, QString::fromUtf8(c.meaning), cell, sources,
                      explanation + fromTables(sources)});
    }
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
