#include "reports/CoverageSources.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/NumberText.h"
#include "MDlib/Progress.h"
#include "reports/CoverageColumns.h"
#include "reports/CoverageScan.h"
#include "reports/Reports.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"

#include <cmath>
#include <cstring>

using lodvik::swedishNumber;
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

QString valueText(const CellNumber &n) {
    return n ? swedishNumber(*n) : QStringLiteral("tomt");
}

// "120 förp.", "2,5 ≈ 3 förp." or "0,25 → tom cell": the figure's value and the cell it gives.
QString result(const Variant &raw, const CellNumber &cell, const QString &unit) {
    const QString value = valueText(raw);
    if (!cell)
        return value + QStringLiteral(" → tom cell");
    double fromText = 0;
    const bool exact =
        (raw.isNumber() && raw.number() == *cell) ||
        (raw.isString() && lodvik::parseNumber(raw.text(), &fromText) && fromText == *cell);
    return exact ? value + QLatin1Char(' ') + unit
                 : value + QStringLiteral(" ≈ ") + swedishNumber(*cell) + QLatin1Char(' ') + unit;
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

// The figures' own names, for whoever knows them: "; figuren SalesPerWeek".
QString figureNames(const QList<FigureSource> &figures) {
    QStringList names;
    for (const FigureSource &f : figures)
        names << f.figure;
    if (names.isEmpty())
        return {};
    return (names.size() == 1 ? QStringLiteral("; figuren ") : QStringLiteral("; figurerna ")) +
           names.join(QStringLiteral(" och "));
}

QString capitalised(QString text) {
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
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
    CoverageRow row;
    CoverageFigures f;
    fillCoverageRow(figures, Variant::String(product), Variant(), *umconv, row, progress, &f);
    const auto cellOf = [&](char letter) { return row.*coverageColumn(letter)->number; };
    // The terms of a sum as written after "=": the first as it is, the others in parentheses
    // when negative.
    const auto termValues = [&](const char *terms, double *sum) {
        QStringList values;
        *sum = cellOf(terms[0]).value_or(0);
        values << swedishNumber(*sum);
        for (const char *t = terms + 1; *t; ++t) {
            *sum = *sum + cellOf(*t).value_or(0);
            values << term(cellOf(*t).value_or(0));
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
        QStringList meanings;
        for (int i = 0; i < 2 && c.figures[size_t(i)].name; ++i) {
            const ColumnFigure &figure = c.figures[size_t(i)];
            FigureSource source{QString::fromUtf8(figure.name), f.read[k][size_t(i)], {}};
            for (const ExtractTable &t : figure.tables)
                if (t.table)
                    source.tables << counter.count(QString::fromUtf8(t.table),
                                                   QString::fromUtf8(t.itemColumn));
            sources << source;
            meanings << QString::fromUtf8(figure.meaning ? figure.meaning : c.meaning);
        }
        const CellNumber &cell = row.*c.number;
        QString explanation;
        switch (c.kind) {
        case CoverageColumn::Kind::Stored:
            explanation = QStringLiteral("%1 %2 × %3 = %4 %5")
                              .arg(capitalised(meanings.value(0)), valueText(f.read[k][0]))
                              .arg(c.scale)
                              .arg(valueText(cell), unit);
            break;
        case CoverageColumn::Kind::Figure:
            explanation =
                sources.size() > 1
                    ? QStringLiteral("%1 %2 − %3 %4 = %5")
                          .arg(capitalised(meanings[0]), valueText(f.read[k][0]), meanings[1],
                               term(f.read[k][1]), result(f.value[k], cell, unit))
                    : capitalised(meanings[0]) + note + QLatin1Char(' ') +
                          result(f.value[k], cell, unit);
            break;
        case CoverageColumn::Kind::Sum: {
            double sum = 0;
            const QStringList values = termValues(c.terms, &sum);
            explanation = QStringLiteral("%1 = %2 = %3 %4%5")
                              .arg(letters(c.terms), values.join(QStringLiteral(" + ")),
                                   swedishNumber(sum), unit, note);
            break;
        }
        case CoverageColumn::Kind::Cover: {
            // The covers come from the rounded cells, as in the run.
            if (f.value[k].isNull()) {
                explanation = QString::fromUtf8(c.noDivisor);
                break;
            }
            double sum = 0;
            termValues(c.terms, &sum);
            const QString dividend = std::strlen(c.terms) > 1
                                         ? QLatin1Char('(') + letters(c.terms) + QLatin1Char(')')
                                         : letters(c.terms);
            explanation =
                QStringLiteral("%1 ÷ %2 = %3 ÷ %4 = %5")
                    .arg(dividend, QString(QLatin1Char(c.divisor)), swedishNumber(sum),
                         term(cellOf(c.divisor).value_or(0)), result(f.value[k], cell, unit));
            break;
        }
        case CoverageColumn::Kind::Heading:
            break;
        }
        cells.append({c.letter, QString::fromUtf8(c.meaning),
                      cell ? lodvik::plainNumber(*cell) : QString(), sources,
                      explanation + fromTables(sources) + figureNames(sources)});
    }
    return cells;
}

} // namespace reports
