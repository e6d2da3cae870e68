#pragma once

#include "MDlib/Variant.h"
#include "figures/FigureQuery.h"
#include "store/LocalDatabase.h"

#include <QString>

#include <optional>
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

    // The columns the per-product figures sum, and what each figure makes of its product's sum
    // (as the store gives it back: Null when no value was summed). The set-based coverage run
    // reads the sums itself and hands them to these.
    static constexpr SummedColumn stockColumn{"pjstk", "lipqoh", "imlitm", "summaprod"};
    static constexpr SummedColumn orderColumn{"PJOTALLA", "antaltusen", "sdaitm", "prodsumma"};
    static constexpr SummedColumn salesColumn{"pjsfakt", "sdpqor", "sdlitm", "prodsumma"};
    static constexpr SummedColumn backOrderColumn{"PJOTBALLA", "antaltusen", "sdaitm", "prodsumma"};
    static constexpr SummedColumn forecastColumn{"pjpvmens", "mffqt", "mflitm", "prodsumma"};
    static lodvik::Variant stockInPacks(const lodvik::Variant &sum, double umfaktor,
                                        const QString &prnr);
    static lodvik::Variant orderInPacks(const lodvik::Variant &sum, double umfaktor,
                                        const QString &prnr);
    static lodvik::Variant salesPerWeek(const lodvik::Variant &sum, double umfaktor,
                                        const QString &prnr);
    static lodvik::Variant backOrderInPacks(const std::optional<lodvik::Variant> &backOrderSum,
                                            const std::optional<lodvik::Variant> &forecastSum,
                                            double umfaktor, const QString &prnr);

private:
    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
