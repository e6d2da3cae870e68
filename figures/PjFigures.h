#pragma once

#include "MDlib/Variant.h"
#include "data/LocalDatabase.h"

#include <QString>

#include <vector>

namespace lodvik {
class Progress;
}

namespace figures {

// The units per pack of a product: the umconv of its first pjomr row as a Double, or 0 for a
// product that pjomr does not hold (or holds with an empty umconv). Every source's figures use
// it. Raises lodvik::Error when the store cannot be read.
lodvik::Variant getantaliforpack(const QString &localDatabase, const QString &artnr);

// The PJ figures: whole-source totals over the PJ extracts, and per-product figures in packs.
// Each call opens local.mdb, reads, and closes it again (sharing a connection its caller holds).
// A per-product figure in packs divides by umfaktor, the product's units per pack × 1000, and
// raises when it is 0.
class PjFigures {
public:
    PjFigures(const QString &localDatabase, lodvik::Progress &progress);

    lodvik::Variant getantaliforpack(const QString &artnr);
    lodvik::Variant getlagersaldo(const QString &artnr);

    lodvik::Variant backordersPJ();
    lodvik::Variant outsidePJ();
    lodvik::Variant orderscurrmonthPJ();
    lodvik::Variant salescurrmonthPJ();
    lodvik::Variant salespriormonthPJ();
    lodvik::Variant GSLPJ();
    lodvik::Variant GSCPJ();
    lodvik::Variant GITPJ();

    lodvik::Variant StockOnHandPJ(const QString &prnr, double umfaktor);
    lodvik::Variant ProdBackOrderPJ(const QString &prnr, double umfaktor);
    lodvik::Variant ProdOrderPJ(const QString &prnr, double umfaktor);
    lodvik::Variant SalesPerWeek(const QString &prnr, double umfaktor);

    // The one-product queries of the per-product figures, for a dao::ProductWalk.
    static std::vector<dao::ProductQuery> productQueries();

private:
    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
