#pragma once

#include "MDlib/Variant.h"
#include "figures/FrnFigures.h"
#include "figures/StockFigures.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace lodvik {
class Progress;
}

namespace reports {

// How the figures' product comparison (dao::productEquals) with a product number bound as text
// finds the stored product numbers of a key column: only values stored as text can be equal,
// and they compare under the product collation (dao::productKey) whatever the column declares.
// Nothing when the column compares in another way (a numeric affinity converts the bound text).
enum class KeyRule { Product };
std::optional<KeyRule> keyRule(const QString &localDatabase, const char *table, const char *column);
// The hash key of a product number under rule: two numbers have the same key exactly when
// "key = ?" finds the one for the other.
QByteArray productKey(KeyRule rule, const QByteArray &utf8);

// The per-product figures a coverage row is made of.
class ProductFigures {
public:
    virtual ~ProductFigures() = default;
    virtual lodvik::Variant stockOnHandFRN(const QString &product) = 0;
    virtual lodvik::Variant avail(const QString &product) = 0;
    virtual lodvik::Variant stockOnHandDP(const QString &product) = 0;
    virtual lodvik::Variant stockOnHandPJ(const QString &product, double umfaktor) = 0;
    virtual lodvik::Variant prodBackOrderPJ(const QString &product, double umfaktor) = 0;
    virtual lodvik::Variant prodBackOrderFRN(const QString &product, double umfaktor) = 0;
    virtual lodvik::Variant prodOrderPJ(const QString &product, double umfaktor) = 0;
    virtual lodvik::Variant prodOrderFRN(const QString &product, double umfaktor) = 0;
    virtual lodvik::Variant salesPerWeek(const QString &product, double umfaktor) = 0;
    virtual lodvik::Variant salesPerWeekFRN(const QString &product) = 0;
};

// The same figures, each by its own one-product query: for a single product (the drill-down).
class ProductFigureQueries : public ProductFigures {
public:
    ProductFigureQueries(const QString &localDatabase, const figures::Period &period,
                         lodvik::Progress &progress);
    lodvik::Variant stockOnHandFRN(const QString &product) override;
    lodvik::Variant avail(const QString &product) override;
    lodvik::Variant stockOnHandDP(const QString &product) override;
    lodvik::Variant stockOnHandPJ(const QString &product, double umfaktor) override;
    lodvik::Variant prodBackOrderPJ(const QString &product, double umfaktor) override;
    lodvik::Variant prodBackOrderFRN(const QString &product, double umfaktor) override;
    lodvik::Variant prodOrderPJ(const QString &product, double umfaktor) override;
    lodvik::Variant prodOrderFRN(const QString &product, double umfaktor) override;
    lodvik::Variant salesPerWeek(const QString &product, double umfaktor) override;
    lodvik::Variant salesPerWeekFRN(const QString &product) override;

private:
    figures::Period m_period;
    figures::StockFigures m_figures;
};

// The per-product figures of the coverage run for every product, from one sequential pass over
// each extract the run reads: each table is read in rowid order (the order in which a product's
// query adds its rows) into per-product sums or totals, one for each product of pjomr (rows of
// other products are passed over), on two threads with a connection each. A product's figure is
// then the figure's own arithmetic on its sum, with the store's sum replicated to the bit (integers
// exact, the double beside it, Null when nothing was summed). A table the pass cannot read the way
// the figure's query reads it (a key column that compares in another way, a value the check
// refuses, a missing table) is left to the figure's own per-product query, and so is a product
// whose rows the figure refuses or whose integer sum overflows: the query then raises the figure's
// own message for it.
class CoverageScan : public ProductFigures {
public:
    // Reads the extracts. Cancelling stops both threads within a few thousand rows. On a store
    // on the server, snapshot names the run's snapshot (pg_export_snapshot) that the reading
    // joins; without one the reading takes its own.
    CoverageScan(const QString &localDatabase, const figures::Period &period,
                 lodvik::Progress &progress, const QString &snapshot = {});
    ~CoverageScan();
    CoverageScan(const CoverageScan &) = delete;
    CoverageScan &operator=(const CoverageScan &) = delete;

    lodvik::Variant stockOnHandFRN(const QString &product) override;
    lodvik::Variant avail(const QString &product) override;
    lodvik::Variant stockOnHandDP(const QString &product) override;
    lodvik::Variant stockOnHandPJ(const QString &product, double umfaktor) override;
    lodvik::Variant prodBackOrderPJ(const QString &product, double umfaktor) override;
    lodvik::Variant prodBackOrderFRN(const QString &product, double umfaktor) override;
    lodvik::Variant prodOrderPJ(const QString &product, double umfaktor) override;
    lodvik::Variant prodOrderFRN(const QString &product, double umfaktor) override;
    lodvik::Variant salesPerWeek(const QString &product, double umfaktor) override;
    lodvik::Variant salesPerWeekFRN(const QString &product) override;

    // The tables that were read in one pass (the rest are asked per product).
    QStringList scannedTables() const;

    struct Table;
    class Products;

private:
    // The store's sum of the product in table, or nothing when the figure must ask itself.
    std::optional<lodvik::Variant> sum(const Table &table, const QString &product) const;
    std::optional<double> total(const Table &table, const QString &product) const;
    // The product's slot among pjomr's products, or a negative number for one the pass did not
    // gather (its figures ask).
    int slotOf(const QString &product) const;

    mutable QString m_slotOf; // the product whose slot m_slot is
    mutable int m_slot = -1;
    mutable bool m_slotKnown = false;
    ProductFigureQueries m_queries; // for what the pass left to the figures' own queries
    std::unique_ptr<Products> m_products;
    std::vector<std::unique_ptr<Table>> m_tables;
    Table &m_frnStock, &m_avail, &m_frnOrder, &m_frnBackOrder, &m_frnHistory;
    Table &m_dp, &m_pjStock, &m_pjOrder, &m_pjSales, &m_pjBackOrder, &m_pjForecast;
};

} // namespace reports
