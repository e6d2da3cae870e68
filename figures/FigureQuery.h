#pragma once

#include "MDlib/Variant.h"
#include "store/LocalDatabase.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The plumbing that every figure shares: open local.mdb, run a query, walk its rows, read a sum.
// The figure files then hold nothing but the arithmetic of each figure.
namespace figures {

// One operation's connection to the extract store (dao::Database::OpenExtractStore: local.mdb, or
// the server the program folder's settings name), opened on construction and released with the
// object. A lookup made while another operation holds the store shares that operation's
// connection, and on the server its snapshot.
class FigureQuery {
public:
    explicit FigureQuery(const QString &localDatabase, dao::Access access = dao::Access::Read);

    // Opens a table by name only to require it; its rows are never read.
    void requireTable(const QString &name);

    // The value of field in the first row of sql, or nothing when the query returned no row.
    std::optional<lodvik::Variant> firstValue(const QString &sql, const QString &field,
                                              const dao::Parameters &parameters = {});

    // Calls visit for every row of sql, from the first to end of file.
    void forEachRow(const QString &sql, const std::function<void(const dao::Recordset &)> &visit,
                    const dao::Parameters &parameters = {});

    // The same for a one-product query, run for the product (dao::forProduct).
    std::optional<lodvik::Variant> firstValue(const dao::ProductQuery &query, const QString &field,
                                              const QString &product);
    void forEachRow(const dao::ProductQuery &query, const QString &product,
                    const std::function<void(const dao::Recordset &)> &visit);

    // The rows of a one-product query, standing on the first (dao::Database::OpenProduct).
    dao::Recordset productRows(const dao::ProductQuery &query, const QString &product);

    // Opens sql as an updatable recordset (the date conversion rewrites rows through it).
    dao::Recordset open(const QString &sql);

    // Runs a statement that returns no rows.
    void execute(const QString &sql);
    // Keeps what the operation changed (dao::Database::Commit).
    void commit();
    // The checked sum of column over all rows of table: Null for no value.
    lodvik::Variant tableSum(const QString &table, const QString &column);

private:
    dao::Database m_db;
};

// A column a per-product figure sums over the rows of one product.
struct SummedColumn {
    const char *table;
    const char *column;
    const char *key; // the product number
    const char *alias;
};

// The one-product sum "SELECT sum(column) AS alias FROM table WHERE key = ?" (dao::checkedSum),
// and the one-product row query "SELECT * FROM table WHERE key = ?" (dao::productQuery).
dao::ProductQuery productSum(const SummedColumn &summed);
dao::ProductQuery productRows(const QString &table, const QString &key);

// A sum as the database gives it back: a Double, or Null when no value was summed.
lodvik::Variant asSum(const lodvik::Variant &value);

// A quantity read through NullToValue(value, "T"): Null, Empty, "" and " " count as 0. A text
// that is no number stops the figure with a message naming the table, the column and the text.
double quantity(const dao::Recordset &row, int position, const QString &table);
double quantity(const dao::Recordset &row, const QString &column, const QString &table);

// A quantity that enters a sum as it is: a Null has no number, so it stops the figure, and so
// does a text that is no number.
double summable(const dao::Recordset &row, int position, const QString &table, const QString &item);
double summable(const dao::Recordset &row, const QString &column, const QString &table,
                const QString &item);

// Sum of one column over whole tables, one "SELECT Sum(column) AS Summa FROM table" per table
// (dao::checkedSum), as one running Double. A table with no rows (or only empty values) adds 0.
double tablesSum(FigureQuery &q, const QString &column, const QStringList &tables);

// The units per pack of each product a whole-table total meets, looked up once per product.
class PackSizes {
public:
    explicit PackSizes(const QString &localDatabase) : m_localDatabase(localDatabase) {}
    double of(const QString &product);

private:
    QString m_localDatabase;
    QHash<QString, double> m_sizes;
};

// A figure's result as it leaves the figure. A number past the largest double or NaN (an
// overflowing sum, a tiny umfaktor) raises with the figure and the product (when not empty)
// named, so that no report or command prints "inf" or "nan". Other values pass unchanged.
lodvik::Variant requireFinite(const lodvik::Variant &result, const QString &figure,
                              const QString &product);

// value × 1000 ÷ umfaktor: a sum in thousands of units converted to packs. Null stays Null;
// an umfaktor of 0 (no coverage run has set it) raises instead of giving a number, and so does
// a result that is no finite number.
lodvik::Variant thousandsToPacks(const lodvik::Variant &value, double umfaktor,
                                 const QString &figure, const QString &product);
// value ÷ umfaktor: a sum in units converted to packs, checked the same way.
lodvik::Variant unitsToPacks(const lodvik::Variant &value, double umfaktor, const QString &figure,
                             const QString &product);

} // namespace figures
