#include "figures/DpFigures.h"

#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "figures/FigureQuery.h"
#include "figures/PjFigures.h"

using lodvik::Variant;

namespace figures {

namespace {

// DTSPL is read by position: 2 is the product number ("Fält2"), 4-45 hold quantities in six
// groups of seven columns.
constexpr int productPosition = 2;

using Columns = DpFigures::Columns;
constexpr Columns salesPriorMonth{4, 10};
constexpr Columns salesCurrentMonth{11, 17};
constexpr Columns allocated = DpFigures::allocatedColumns;
constexpr Columns ordersCurrentMonth{25, 31};
constexpr Columns outside{32, 38};
constexpr Columns gscColumns{38, 45}; // eight columns: the last of "outside" as well
constexpr Columns onHand = DpFigures::onHandColumns;

const QString dtspl = QStringLiteral("DTSPL");

double at(const dao::Recordset &row, int position) {
    return quantity(row, position, dtspl);
}
double at(const std::function<double(int)> &quantityAt, int position) {
    return quantityAt(position);
}

// Adds value × factor of every column of the group to total, in ascending order.
template <typename Row> void add(const Row &row, Columns columns, double factor, double &total) {
    for (int p = columns.first; p <= columns.last; ++p)
        total = total + at(row, p) * factor;
}

template <typename Row>
void subtract(const Row &row, Columns columns, double factor, double &total) {
    for (int p = columns.first; p <= columns.last; ++p)
        total = total - at(row, p) * factor;
}

// How one row of DTSPL enters a total, given the pack size of its product.
using RowFigure = std::function<void(const dao::Recordset &row, double pack, double &total)>;

// Walks DTSPL (all rows, or those of one product) and lets each row add to the total. The pack
// size of the row's product is looked up once per product unless the figure counts in units.
// The rows of one product.
const dao::ProductQuery &productRowsQuery() {
    static const dao::ProductQuery q = productRows(QString::fromUtf8(DpFigures::table),
                                                   QString::fromUtf8(DpFigures::productColumn));
    return q;
}

const QString allRows = QStringLiteral("SELECT * FROM DTSPL");

// Every row of DTSPL, or those of one product when product is given.
double dtsplTotal(const QString &localDatabase, lodvik::Progress &progress,
                  const std::optional<QString> &product, bool inPacks, const RowFigure &rowFigure) {
    FigureQuery q(localDatabase);
    q.requireTable(QString::fromUtf8(DpFigures::companionTable));
    PackSizes packs(localDatabase);
    double total = 0;
    const auto visit = [&](const dao::Recordset &row) {
        const QString prnr = NullToValue(row.Fields(productPosition), QStringLiteral("S")).toText();
        const double pack = inPacks ? packs.of(prnr) : 1.0;
        rowFigure(row, pack, total);
        progress.caption(prnr);
    };
    if (product)
        q.forEachRow(productRowsQuery(), *product, visit);
    else
        q.forEachRow(allRows, visit);
    return total;
}

RowFigure groupTotal(Columns columns) {
    return [columns](const dao::Recordset &row, double pack, double &total) {
        add(row, columns, pack, total);
    };
}

} // namespace

DpFigures::DpFigures(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

Variant DpFigures::salespriormonthDP() {
    return Variant::Double(
        dtsplTotal(m_localDatabase, m_progress, std::nullopt, true, groupTotal(salesPriorMonth)));
}

Variant DpFigures::salescurrmonthDP() {
    return Variant::Double(
        dtsplTotal(m_localDatabase, m_progress, std::nullopt, true, groupTotal(salesCurrentMonth)));
}

Variant DpFigures::orderscurrmonthDP() {
    return Variant::Double(dtsplTotal(m_localDatabase, m_progress, std::nullopt, true,
                                      groupTotal(ordersCurrentMonth)));
}

Variant DpFigures::outsideDP() {
    return Variant::Double(
        dtsplTotal(m_localDatabase, m_progress, std::nullopt, true, groupTotal(outside)));
}

Variant DpFigures::GSCDP() {
    return Variant::Double(dtsplTotal(m_localDatabase, m_progress, std::nullopt, true,
                                      [](const dao::Recordset &row, double pack, double &total) {
                                          // Products without a pack size are left out.
                                          if (pack > 0)
                                              add(row, gscColumns, pack, total);
                                      }));
}

Variant DpFigures::backordersDP() {
    return Variant::Double(dtsplTotal(m_localDatabase, m_progress, std::nullopt, true,
                                      [](const dao::Recordset &row, double pack, double &total) {
                                          // Only a row's shortfall counts; a surplus on one row
                                          // does not cover another's.
                                          double balance = 0;
                                          add(row, onHand, pack, balance);
                                          subtract(row, allocated, pack, balance);
                                          if (balance < 0)
                                              total = total - balance;
                                      }));
}

Variant DpFigures::StockOnHandDP(const QString &prnr) {
    return Variant::Double(dtsplTotal(
        m_localDatabase, m_progress, prnr, false,
        [](const dao::Recordset &row, double, double &total) { total = addStock(total, row); }));
}

namespace {

template <typename Row> double addStockOf(double total, const Row &row) {
    add(row, onHand, 1, total);
    subtract(row, allocated, 1, total);
    return total;
}

} // namespace

double DpFigures::addStock(double total, const dao::Recordset &row) {
    return addStockOf(total, row);
}

double DpFigures::addStockAt(double total, const std::function<double(int)> &quantityAt) {
    return addStockOf(total, quantityAt);
}

} // namespace figures
