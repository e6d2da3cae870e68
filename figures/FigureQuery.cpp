#include "figures/FigureQuery.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"

using lodvik::Error;
using lodvik::Variant;

namespace figures {

FigureQuery::FigureQuery(const QString &localDatabase)
    : m_db(dao::Database::OpenDatabase(localDatabase)) {}

void FigureQuery::requireTable(const QString &name) {
    m_db.RequireTable(name);
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

void requireFactor(double umfaktor, const QString &figure, const QString &product) {
    if (umfaktor == 0)
        throw Error(QStringLiteral("%1 för produkt \"%2\" kan inte räknas om till förpackningar: "
                                   "antal per förpackning (umfaktor) är 0. Division med noll.")
                        .arg(figure, product));
}

} // namespace

Variant thousandsToPacks(const Variant &value, double umfaktor, const QString &figure,
                         const QString &product) {
    if (value.isNull())
        return value;
    requireFactor(umfaktor, figure, product);
    return Variant::Double(value.toDouble() * 1000 / umfaktor);
}

Variant unitsToPacks(const Variant &value, double umfaktor, const QString &figure,
                     const QString &product) {
    if (value.isNull())
        return value;
    requireFactor(umfaktor, figure, product);
    return Variant::Double(value.toDouble() / umfaktor);
}

int periodMonth(const QString &perioddatum) {
    bool ok = false;
    const int month = perioddatum.mid(5, 2).toInt(&ok);
    if (!ok || month < 1 || month > 12)
        throw Error(QStringLiteral("Perioddatumet \"%1\" har ingen giltig månad i tecken 6-7; "
                                   "ange perioden som ÅÅÅÅ-MM-DD.")
                        .arg(perioddatum));
    return month;
}

} // namespace figures
