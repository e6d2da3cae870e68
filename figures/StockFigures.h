#pragma once

#include "figures/DpFigures.h"
#include "figures/FrnFigures.h"
#include "figures/Period.h"
#include "figures/PjFigures.h"

#include <optional>
#include <span>

namespace figures {

// The figures of the three stock sources over one local.mdb, reporting to one progress sink.
struct StockFigures {
    StockFigures(const QString &localDatabase, lodvik::Progress &progress)
        : localDatabase(localDatabase), pj(localDatabase, progress), frn(localDatabase, progress),
          dp(localDatabase, progress) {}

    QString localDatabase;
    PjFigures pj;
    FrnFigures frn;
    DpFigures dp;
};

// The window-level values a figure called by its name may read.
struct FigureArguments {
    QString product;
    std::optional<Period> period; // none when the operator gave none
    double umfaktor = 0;

    // The period of a figure that reads its month; raises Period::missing() when none was given.
    const Period &requirePeriod() const;
};

// Every figure and lookup by the name the window's operation has, for the command line, the
// benchmarks and the tests.
struct NamedFigure {
    const char *name;
    bool takesProduct;
    bool inPacks;     // divides by umfaktor
    bool readsPeriod; // reads the period month
    lodvik::Variant (*compute)(StockFigures &figures, const FigureArguments &arguments);

    // The figure, refused (lodvik::Error naming it) when it comes out as no finite number.
    lodvik::Variant run(StockFigures &figures, const FigureArguments &arguments) const;
};

std::span<const NamedFigure> namedFigures();
const NamedFigure *findNamedFigure(const QString &name); // nullptr when unknown

} // namespace figures
