#pragma once

#include "MDlib/Variant.h"

#include <QString>

#include <array>
#include <optional>

// The columns of the coverage run, each described once: the run fills produkttabell from this
// table, the workbook writes its headings and cells from it, and the overview's list, its CSV and
// JSON, and the drill-down of one product read their columns from it.
namespace reports {

class ProductFigures;
struct CoverageRow;
enum class ListColumn;
using CellNumber = std::optional<double>;

// An extract table and the column that holds its product number: the drill-down counts a
// product's rows in it.
struct ExtractTable {
    const char *table = nullptr;
    const char *itemColumn = nullptr;
};

// A figure as the run calls it for one product.
struct ColumnFigure {
    const char *name = nullptr; // as messages and the drill-down name it
    lodvik::Variant (*read)(ProductFigures &figures, const QString &product,
                            double umfaktor) = nullptr;
    std::array<ExtractTable, 2> tables{}; // the tables it reads (table nullptr past the last)
};

struct CoverageColumn {
    enum class Kind {
        Stored,  // a value of the product's pjomr row, times scale when that is not 0
        Figure,  // figures[0] (less figures[1] when there is one), formatted by pattern
        Sum,     // the workbook's formula adding the cells of terms
        Cover,   // the sum of terms' stored cells ÷ divisor's stored cell, formatted by pattern;
                 // the Integer 0 when the divisor's cell counts as 0
        Heading, // a heading and nothing under it
    };

    char letter = 0; // the workbook's column
    Kind kind = Kind::Heading;
    std::array<const char *, 3> heading{}; // the workbook's rows 2 to 4, exactly
    const char *caption = nullptr;         // the progress caption while it is worked out
    std::array<ColumnFigure, 2> figures{}; // Stored: the pjomr field; Figure: what it reads
    int scale = 0;                         // Stored: the factor the field is multiplied by
    const char *terms = nullptr;           // Sum and Cover: the letters added, in this order
    char divisor = 0;                      // Cover: the letter divided by
    const char *pattern = nullptr;         // the Format pattern of the stored text
    // The drill-down: what the cell holds, in the list's words, the unit of its value, a note
    // after the figure's name, and for a cover the line shown when there is nothing to divide by.
    const char *meaning = nullptr;
    const char *unit = nullptr;
    const char *note = "";
    const char *noDivisor = nullptr;
    // The overview's list: its column, CSV header and JSON member, heading (Swedish), and the
    // CoverageRow member holding the cell (a number, or for the product and description a text).
    std::optional<ListColumn> list{};
    const char *key = nullptr;
    const char *listHeading = nullptr;
    CellNumber CoverageRow::*number = nullptr;
    QString CoverageRow::*text = nullptr;

    // The column's number in produkttabell and in the workbook (1 = A).
    constexpr int column() const { return letter - 'A' + 1; }
};

constexpr int CoverageColumnCount = 18; // A to R

// The columns in the workbook's order, A to R.
const std::array<CoverageColumn, CoverageColumnCount> &coverageColumns();
// The column of a workbook letter, or nullptr.
const CoverageColumn *coverageColumn(char letter);
// A Sum column's formula as written into sheet row `row`: "=D5+E5+F5".
QString sumFormula(const CoverageColumn &column, int row);

} // namespace reports
