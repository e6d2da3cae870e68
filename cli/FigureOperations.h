#pragma once

#include "Startmeny/StartmenyOperations.h"

#include <functional>
#include <span>
#include <variant>

// Every figure and lookup of the window that runs by its name: the figure command and the
// benchmark walk the same list.
namespace cli {

using TotalFigure = lodvik::Variant (StartmenyOperations::*)();
using ProductFigure = lodvik::Variant (StartmenyOperations::*)(const QString &);
using ProductFigureCall = std::function<lodvik::Variant(StartmenyOperations &, const QString &)>;

struct FigureOperation {
    const char *name;
    std::variant<TotalFigure, ProductFigure, ProductFigureCall> run;
    bool inPacks = false; // converts to packs, so it divides by umfaktor

    bool takesProduct() const { return !std::holds_alternative<TotalFigure>(run); }
    lodvik::Variant operator()(StartmenyOperations &ops, const QString &product) const;
};

std::span<const FigureOperation> figureOperations();
const FigureOperation *findFigureOperation(const QString &name); // nullptr when unknown

} // namespace cli
