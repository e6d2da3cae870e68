#pragma once

#include "MDlib/Variant.h"
#include "reports/CoverageRow.h"

#include <QString>

#include <array>

// The columns of the coverage run, each described once: the run computes its rows from this
// table, the workbook writes its headings and cells from it, the list's columns
// (reports/ListColumns) show its values, and the drill-down of one product explains them.
namespace reports {

class ProductFigures;

// An extract table and the column that holds its product number: the drill-down counts a
// product's rows in it.
struct ExtractTable {
    const char *table = nullptr;
    const char *itemColumn = nullptr;
};

// A figure as the run calls it for one product.
struct ColumnFigure {
    const char *name = nullptr; // as messages name it, and the drill-down in a note
    lodvik::Variant (*read)(ProductFigures &figures, const QString &product,
                            double umfaktor) = nullptr;
    std::array<ExtractTable, 2> tables{}; // the tables it reads (table nullptr past the last)
    // What it is in the operator's words, where that is not the column's meaning.
    const char *meaning = nullptr;
};

struct CoverageColumn {
    enum class Kind {
        Stored,  // a value of the product's pjomr row, times scale when that is not 0
        Figure,  // figures[0] (less figures[1] when there is one), rounded as pattern rounds it:
                 // to a whole number, an empty cell when that is 0 or the figure is Null
        Sum,     // the workbook's formula adding the cells of terms (an empty cell counts 0)
        Cover,   // the sum of terms' cells ÷ divisor's cell, rounded by pattern; 0 when the
                 // divisor's cell is empty
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
    // after the figure's meaning, and for a cover the line shown when there is nothing to
    // divide by.
    const char *meaning = nullptr;
    const char *unit = nullptr;
    const char *note = "";
    const char *noDivisor = nullptr;
    // The CoverageRow member holding the cell: a number, or for the product and description the
    // text lists show (the workbook writes the value as read, CoverageRow::productCell).
    CellNumber CoverageRow::*number = nullptr;
    QString CoverageRow::*text = nullptr;
    lodvik::Variant CoverageRow::*asRead = nullptr;

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
