#include "figures/FigureQuery.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"

#include <cmath>

using lodvik::Error;
using lodvik::Variant;

namespace figures {

FigureQuery::FigureQuery(const QString &localDatabase)
    : m_db(dao::Database::OpenDatabase(localDatabase)) {}

void FigureQuery::requireTable(const QString &name) {
    m_db.OpenTable(name);
}

dao::Recordset FigureQuery::open(const QString &sql) {
    return m_db.OpenRecordset(sql);
}

void FigureQuery::execute(const QString &sql) {
    m_db.Execute(sql);
}

std::optional<Variant> FigureQuery::firstValue(const QString &sql, const QString &field,
                                               const dao::Parameters &parameters) {
    dao::Recordset rs = m_db.OpenRecordset(sql, parameters);
    if (rs.RecordCount() < 1)
        return std::nullopt;
    return rs.Fields(field);
}

void FigureQuery::forEachRow(const QString &sql,
                             const std::function<void(const dao::Recordset &)> &visit,
                             const dao::Parameters &parameters) {
    dao::Recordset rs = m_db.OpenRecordset(sql, parameters);
    for (; !rs.isEOF(); rs.MoveNext())
        visit(rs);
}

Variant asSum(const Variant &value) {
    if (value.isNull() || value.isEmpty())
        return Variant::Null();
    return Variant::Double(value.toDouble());
}

double quantity(const Variant &value) {
    return NullToValue(value, QStringLiteral("T")).toDouble();
}

double summable(const Variant &value, const QString &column, const QString &item) {
    if (value.isNull())
        throw Error(QStringLiteral("Kolumnen %1 saknar värde (Null) för artikel \"%2\"; ett tomt "
                                   "värde kan inte summeras.")
                        .arg(column, item));
    return value.toDouble();
}

double tablesSum(FigureQuery &q, const QString &select, const QStringList &tables) {
    double total = 0;
    for (const QString &table : tables) {
        const std::optional<Variant> sum =
            q.firstValue(select + QStringLiteral(" FROM ") + table + QStringLiteral(" "),
                         QStringLiteral("summa"));
        // An empty table has no sum; it adds nothing rather than stopping the total.
        if (sum && !sum->isNull())
            total = total + sum->toDouble();
    }
    return total;
}

namespace {

QString figureOf(const QString &figure, const QString &product) {
    return product.isEmpty() ? QStringLiteral("Figuren %1").arg(figure)
                             : QStringLiteral("Figuren %1 för produkt \"%2\"").arg(figure, product);
}

bool finite(const Variant &value) {
    return !value.isNumber() || std::isfinite(value.number());
}

void requireFactor(double umfaktor, const QString &figure, const QString &product) {
    if (umfaktor == 0)
        throw Error(QStringLiteral("%1 för produkt \"%2\" kan inte räknas om till förpackningar: "
                                   "antal per förpackning (umfaktor) är 0. Division med noll.")
                        .arg(figure, product));
}

// A sum converted to packs: a tiny umfaktor can take a finite sum past the largest number.
Variant packs(double value, double umfaktor, const QString &figure, const QString &product) {
    const Variant result = Variant::Double(value);
    if (!finite(result))
        throw Error(figureOf(figure, product) +
                    QStringLiteral(" kan inte räknas om till förpackningar (umfaktor %1): "
                                   "resultatet blir för stort eller inget tal. Kontrollera "
                                   "värdena i utdragen och umfaktor.")
                        .arg(umfaktor));
    return result;
}

} // namespace

Variant requireFinite(const Variant &result, const QString &figure, const QString &product) {
    if (finite(result))
        return result;
    throw Error(figureOf(figure, product) +
                QStringLiteral(" kan inte räknas ut: resultatet blir för stort eller inget tal. "
                               "Kontrollera värdena i utdragen och antal per förpackning."));
}

Variant thousandsToPacks(const Variant &value, double umfaktor, const QString &figure,
                         const QString &product) {
    if (value.isNull())
        return value;
    requireFactor(umfaktor, figure, product);
    return packs(value.toDouble() * 1000 / umfaktor, umfaktor, figure, product);
}

Variant unitsToPacks(const Variant &value, double umfaktor, const QString &figure,
                     const QString &product) {
    if (value.isNull())
        return value;
    requireFactor(umfaktor, figure, product);
    return packs(value.toDouble() / umfaktor, umfaktor, figure, product);
}

int periodMonth(const QString &perioddatum) {
    // Characters 6-7 are the month only in this layout: "1.3.2024" would read as February.
    requirePeriodDate(perioddatum);
    return perioddatum.mid(5, 2).toInt();
}

} // namespace figures
