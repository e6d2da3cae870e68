#pragma once

#include "MDlib/Variant.h"
#include "figures/FrnFigures.h"
#include "figures/StockFigures.h"
#include "store/ExtractScan.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace lodvik {
class Progress;
}

namespace reports {

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

// The per-product figures of the coverage run for every product, from one pass over each
// extract the run reads (dao::ExtractScan): a product's figure is the figure's own arithmetic on
// the sum or total the pass gathered, the store's sum replicated to the bit. What the pass leaves
// (a table it cannot read as the figure's query reads it, a product whose values the figure
// refuses or whose integer sum overflows) is asked of the figure's own per-product query, which
// then raises the figure's own message.
class CoverageScan : public ProductFigures {
public:
    // Reads the extracts on the operation's store (the connection the run holds, or one of its
    // own), in the run's snapshot. Cancelling stops the reading within a few thousand rows.
    CoverageScan(const QString &localDatabase, const figures::Period &period,
                 lodvik::Progress &progress);
    ~CoverageScan() override;
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

private:
    // The extracts of the pass, in the order of its requests.
    enum Extract : size_t {
        FrnStock,
        Avail,
        FrnOrder,
        FrnBackOrder,
        FrnHistory,
        Dp,
        PjStock,
        PjOrder,
        PjSales,
        PjBackOrder,
        PjForecast,
        Extracts
    };
    // The store's sum of the product in the extract, or nothing when the figure must ask itself.
    std::optional<lodvik::Variant> sum(Extract extract, const QString &product) const;
    std::optional<double> total(Extract extract, const QString &product) const;
    // The product's slot in the pass, found once for the product's figures in turn.
    int slotOf(const QString &product) const;

    mutable QString m_slotOf; // the product whose slot m_slot is
    mutable int m_slot = -1;
    mutable bool m_slotKnown = false;
    ProductFigureQueries m_queries; // for what the pass left to the figures' own queries
    QStringList m_tables;           // by Extract
    std::unique_ptr<dao::ExtractScan> m_scan;
};

} // namespace reports
