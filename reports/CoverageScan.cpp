#include "reports/CoverageScan.h"

#include "figures/DpFigures.h"
#include "figures/FigureQuery.h"
#include "figures/PjFigures.h"
#include "store/LocalDatabase.h"

using lodvik::Variant;

namespace reports {

namespace {

dao::ScanRequest summed(const figures::SummedColumn &c, int reader) {
    dao::ScanRequest r;
    r.table = c.table;
    r.key = c.key;
    r.column = c.column;
    r.reader = reader;
    return r;
}

dao::ScanRequest rows(const char *table, const char *key, dao::ValueRule rule, int reader) {
    dao::ScanRequest r;
    r.kind = dao::ScanRequest::Kind::Rows;
    r.table = table;
    r.key = key;
    r.rule = rule;
    r.reader = reader;
    return r;
}

// What each figure of a coverage row adds up, in the order of CoverageScan::Extract, on two
// readers of about equal work: the row walks of DTSPL and frnhist cost the most.
std::vector<dao::ScanRequest> requests(const figures::Period &period) {
    using F = figures::FrnFigures;
    using P = figures::PjFigures;
    using D = figures::DpFigures;
    std::vector<dao::ScanRequest> r;
    r.push_back(summed(F::stockColumn, 0));
    r.push_back(summed(F::availColumn, 0));
    r.push_back(summed(F::orderColumn, 1));
    r.push_back(summed(F::backOrderColumn, 1));
    // The six months of sales history the figure adds, each value as it stands.
    dao::ScanRequest history = rows(F::historyTable, F::historyKey, dao::ValueRule::Summable, 1);
    for (const int position : F::salesMonths(period))
        history.added.push_back(position);
    r.push_back(std::move(history));
    // Stock on hand less allocated, each value as a quantity; DTSPL's figure requires its
    // companion table.
    dao::ScanRequest dp = rows(D::table, D::productColumn, dao::ValueRule::Quantity, 0);
    for (int p = D::onHandColumns.first; p <= D::onHandColumns.last; ++p)
        dp.added.push_back(p);
    for (int p = D::allocatedColumns.first; p <= D::allocatedColumns.last; ++p)
        dp.subtracted.push_back(p);
    dp.required = D::companionTable;
    r.push_back(std::move(dp));
    r.push_back(summed(P::stockColumn, 1));
    r.push_back(summed(P::orderColumn, 1));
    r.push_back(summed(P::salesColumn, 0));
    r.push_back(summed(P::backOrderColumn, 1));
    r.push_back(summed(P::forecastColumn, 1));
    return r;
}

} // namespace

CoverageScan::CoverageScan(const QString &localDatabase, const figures::Period &period,
                           lodvik::Progress &progress)
    : m_queries(localDatabase, period, progress) {
    // The run's own connection when it holds one (a nested open shares it).
    dao::Database run = dao::Database::OpenExtractStore(localDatabase);
    std::vector<dao::ScanRequest> asked = requests(period);
    for (const dao::ScanRequest &r : asked)
        m_tables << QString::fromUtf8(r.table);
    m_scan = std::make_unique<dao::ExtractScan>(run, std::move(asked), progress);
}

CoverageScan::~CoverageScan() = default;

ProductFigureQueries::ProductFigureQueries(const QString &localDatabase,
                                           const figures::Period &period,
                                           lodvik::Progress &progress)
    : m_period(period), m_figures(localDatabase, progress) {}

Variant ProductFigureQueries::stockOnHandFRN(const QString &product) {
    return m_figures.frn.StockOnHandFRN(product);
}
Variant ProductFigureQueries::avail(const QString &product) {
    return m_figures.frn.avail(product);
}
Variant ProductFigureQueries::stockOnHandDP(const QString &product) {
    return m_figures.dp.StockOnHandDP(product);
}
Variant ProductFigureQueries::stockOnHandPJ(const QString &product, double umfaktor) {
    return m_figures.pj.StockOnHandPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodBackOrderPJ(const QString &product, double umfaktor) {
    return m_figures.pj.ProdBackOrderPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodBackOrderFRN(const QString &product, double umfaktor) {
    return m_figures.frn.ProdBackOrderFRN(Variant::String(product), umfaktor);
}
Variant ProductFigureQueries::prodOrderPJ(const QString &product, double umfaktor) {
    return m_figures.pj.ProdOrderPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodOrderFRN(const QString &product, double umfaktor) {
    return m_figures.frn.ProdOrderFRN(product, umfaktor);
}
Variant ProductFigureQueries::salesPerWeek(const QString &product, double umfaktor) {
    return m_figures.pj.SalesPerWeek(product, umfaktor);
}
Variant ProductFigureQueries::salesPerWeekFRN(const QString &product) {
    return m_figures.frn.SalesPerWeekFRN(product, m_period);
}

QStringList CoverageScan::scannedTables() const {
    QStringList names;
    for (qsizetype i = 0; i < m_tables.size(); ++i)
        if (m_scan->scanned(size_t(i)))
            names << m_tables.at(i);
    return names;
}

int CoverageScan::slotOf(const QString &product) const {
    // Each product is looked up for every table in turn: its slot is found once.
    const bool same = m_slotKnown && (product.constData() == m_slotOf.constData()
                                          ? product.size() == m_slotOf.size()
                                          : product == m_slotOf);
    if (!same) {
        m_slot = m_scan->slotOf(product);
        m_slotOf = product;
        m_slotKnown = true;
    }
    return m_slot;
}

std::optional<Variant> CoverageScan::sum(Extract extract, const QString &product) const {
    return m_scan->scanned(extract) ? m_scan->sum(extract, slotOf(product)) : std::nullopt;
}

std::optional<double> CoverageScan::total(Extract extract, const QString &product) const {
    return m_scan->scanned(extract) ? m_scan->total(extract, slotOf(product)) : std::nullopt;
}

Variant CoverageScan::stockOnHandFRN(const QString &product) {
    const std::optional<Variant> s = sum(FrnStock, product);
    return s ? figures::asSum(*s) : m_queries.stockOnHandFRN(product);
}

Variant CoverageScan::avail(const QString &product) {
    const std::optional<Variant> s = sum(Avail, product);
    return s ? figures::asSum(*s) : m_queries.avail(product);
}

Variant CoverageScan::stockOnHandDP(const QString &product) {
    const std::optional<double> t = total(Dp, product);
    return t ? Variant::Double(*t) : m_queries.stockOnHandDP(product);
}

Variant CoverageScan::stockOnHandPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(PjStock, product);
    return s ? figures::PjFigures::stockInPacks(*s, umfaktor, product)
             : m_queries.stockOnHandPJ(product, umfaktor);
}

Variant CoverageScan::prodBackOrderPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> backOrders = sum(PjBackOrder, product);
    const std::optional<Variant> forecast = sum(PjForecast, product);
    if (!backOrders || !forecast)
        return m_queries.prodBackOrderPJ(product, umfaktor);
    return figures::PjFigures::backOrderInPacks(backOrders, forecast, umfaktor, product);
}

Variant CoverageScan::prodBackOrderFRN(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(FrnBackOrder, product);
    return s ? figures::FrnFigures::backOrderText(*s, umfaktor, product)
             : m_queries.prodBackOrderFRN(product, umfaktor);
}

Variant CoverageScan::prodOrderPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(PjOrder, product);
    return s ? figures::PjFigures::orderInPacks(*s, umfaktor, product)
             : m_queries.prodOrderPJ(product, umfaktor);
}

Variant CoverageScan::prodOrderFRN(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(FrnOrder, product);
    return s ? figures::FrnFigures::orderInPacks(*s, umfaktor, product)
             : m_queries.prodOrderFRN(product, umfaktor);
}

Variant CoverageScan::salesPerWeek(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(PjSales, product);
    return s ? figures::PjFigures::salesPerWeek(*s, umfaktor, product)
             : m_queries.salesPerWeek(product, umfaktor);
}

Variant CoverageScan::salesPerWeekFRN(const QString &product) {
    const std::optional<double> t = total(FrnHistory, product);
    return t ? figures::FrnFigures::salesPerWeek(*t) : m_queries.salesPerWeekFRN(product);
}

} // namespace reports
