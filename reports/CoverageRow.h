#pragma once

#include "MDlib/Variant.h"
#include "planning/Planning.h"

#include <optional>

namespace reports {

// A number of the run as its workbook cell holds it: rounded and in the unit of its column
// (reports/CoverageColumns); nullopt for an empty cell.
using CellNumber = std::optional<double>;

// One product of a coverage run, as the run computes it: the numbers of its workbook row, and
// what planning reads of it (planning::Item: the number and description as lists show them,
// total stock G, cover H, back orders J, orders L, weekly sales O, the rule and the mark). Every
// file and list of the run is written from these rows.
struct CoverageRow : planning::Item {
    int tableRow = 0; // the row of the run, from 1 (the workbook's row is tableRow + 4)
    // A and B as pjomr holds them: the workbook's cells (a numeric text becomes a number there).
    lodvik::Variant productCell;
    lodvik::Variant descriptionCell;
    CellNumber unitsPerPack;  // C
    CellNumber stockFrn;      // D
    CellNumber stockDp;       // E
    CellNumber stockPj;       // F
    CellNumber coverWeeksFrn; // I: FRN stock ÷ FRN weekly sales
    CellNumber backOrderFrn;  // K
    CellNumber orderFrn;      // M
    CellNumber orderTotal;    // N = L + J
    CellNumber salesFrn;      // P
};

} // namespace reports
