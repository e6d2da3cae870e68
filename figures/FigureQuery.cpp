#include "figures/FigureQuery.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/PjFigures.h"

#include <cmath>

using lodvik::Error;
using lodvik::Variant;

namespace figures {

FigureQuery::FigureQuery(const QString &localDatabase, dao::Access access)
    : m_db(dao::Database::OpenExtractStore(localDatabase, access)) {
    // Every query of a figure, and of the operation it is part of, reads one state of the store.
    if (access == dao::Access::Read)
        m_db.holdSnapshot();
}

void FigureQuery::requireTable(const QString &name) {
    m_db.RequireTable(name);
}

dao::Recordset FigureQuery::productRows(const dao::ProductQuery &query, const QString &product) {
    return m_db.OpenProduct(query, product);
}

dao::Recordset FigureQuery::open(const QString &sql) {
    return m_db.OpenRecordset(sql);
}

void FigureQuery::execute(const QString &sql) {
    m_db.Execute(sql);
}

void FigureQuery::commit() {
    m_db.Commit();
}

Variant FigureQuery::tableSum(const QString &table, const QString &column) {
    return m_db.TableSum(table, column);
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

std::optional<Variant> FigureQuery::firstValue(const dao::ProductQuery &query, const QString &field,
                                               const QString &product) {
    dao::Recordset rs = m_db.OpenProduct(query, product);
    if (rs.RecordCount() < 1)
        return std::nullopt;
    return rs.Fields(field);
}

void FigureQuery::forEachRow(const dao::ProductQuery &query, const QString &product,
                             const std::function<void(const dao::Recordset &)> &visit) {
    for (dao::Recordset rs = m_db.OpenProduct(query, product); !rs.isEOF(); rs.MoveNext())
        visit(rs);
}

dao::ProductQuery productSum(const SummedColumn &summed) {
    return dao::productSumQuery(QString::fromUtf8(summed.table), QString::fromUtf8(summed.key),
                                QString::fromUtf8(summed.column), QString::fromUtf8(summed.alias));
}

dao::ProductQuery productRows(const QString &table, const QString &key) {
    return dao::productQuery(table, key);
}

Variant asSum(const Variant &value) {
    if (value.isNull() || value.isEmpty())
        return Variant::Null();
    return Variant::Double(value.toDouble());
}

namespace {

// The column's name for a message, read only when a message is given.
QString columnName(const dao::Recordset &row, int position) {
    return row.fieldName(position);
}
QString columnName(const dao::Recordset &, const QString &column) {
    return column;
}

// The number the store holds in the field, which must be finite: an infinity would turn a
// figure into NaN that a comparison then drops without a word. Nothing for a value that is no
// stored number; a blob stops too, as it reads as a text of its bytes that may look like one.
template <typename Column>
std::optional<double> storedFinite(const dao::Recordset &row, const Column &column,
                                   const QString &table) {
    if (const std::optional<double> number = row.storedNumber(column)) {
        if (std::isfinite(*number))
            return number;
        throw Error(
            dao::notANumberMessage(table, columnName(row, column),
                                   *number < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf"),
                                   dao::NotANumber::Infinite));
    }
    if (const std::optional<QString> blob = row.storedBlob(column))
        throw Error(
            dao::notANumberMessage(table, columnName(row, column), *blob, dao::NotANumber::Blob));
    return std::nullopt;
}

template <typename Column>
double quantityOf(const dao::Recordset &row, const Column &column, const QString &table) {
    if (const std::optional<double> number = storedFinite(row, column, table))
        return *number;
    const Variant value = row.Fields(column);
    if (value.isNumber())
        return value.number();
    if (!value.isString())
        return NullToValue(value, QStringLiteral("T")).toDouble();
    // NullToValue(value, "T") with the column named when the text is no number.
    const QString &text = value.text();
    if (text.isEmpty() || text == QLatin1String(" "))
        return 0;
    double number = 0;
    if (!lodvik::parseNumber(text, &number))
        throw Error(dao::notANumberMessage(table, columnName(row, column), text));
    return number;
}

template <typename Column>
double summableOf(const dao::Recordset &row, const Column &column, const QString &table,
                  const QString &item) {
    if (const std::optional<double> number = storedFinite(row, column, table))
        return *number;
    const Variant value = row.Fields(column);
    if (value.isNumber())
        return value.number();
    if (value.isNull())
        throw Error(QStringLiteral("Kolumnen %1 saknar värde (Null) för artikel \"%2\"; ett tomt "
                                   "värde kan inte summeras.")
                        .arg(columnName(row, column), item));
    if (!value.isString())
        return value.toDouble();
    double number = 0;
    if (!lodvik::parseNumber(value.text(), &number))
        throw Error(dao::notANumberMessage(table, columnName(row, column), value.text()));
    return number;
}

} // namespace

double quantity(const dao::Recordset &row, int position, const QString &table) {
    return quantityOf(row, position, table);
}

double quantity(const dao::Recordset &row, const QString &column, const QString &table) {
    return quantityOf(row, column, table);
}

double summable(const dao::Recordset &row, int position, const QString &table,
                const QString &item) {
    return summableOf(row, position, table, item);
}

double summable(const dao::Recordset &row, const QString &column, const QString &table,
                const QString &item) {
    return summableOf(row, column, table, item);
}

double tablesSum(FigureQuery &q, const QString &column, const QStringList &tables) {
    double total = 0;
    for (const QString &table : tables) {
        const Variant sum = q.tableSum(table, column);
        // An empty table has no sum; it adds nothing rather than stopping the total.
        if (!sum.isNull())
            total = total + sum.toDouble();
    }
    return total;
}

double PackSizes::of(const QString &product) {
    const auto it = m_sizes.constFind(product);
    if (it != m_sizes.constEnd())
        return *it;
    const double size = getantaliforpack(m_localDatabase, product).toDouble();
    m_sizes.insert(product, size);
    return size;
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

} // namespace figures
