#pragma once

#include "MDlib/Variant.h"

#include <QList>
#include <QString>

namespace figures {
class Period;
}

namespace reports {

// How many rows of one extract table hold the product.
struct TableRows {
    QString table;
    qint64 rows = 0;
};

// One figure as the coverage run calls it for the product, with its value and the rows it read.
struct FigureSource {
    QString figure;
    lodvik::Variant value;
    QList<TableRows> tables;
};

// How one cell of a product's coverage row comes about.
struct CellSource {
    char workbookColumn = 0; // 'C' to 'P'
    QString heading;         // what the cell holds, in the list's words
    QString cell;            // the cell's value in C-locale digits ("" for an empty cell)
    QList<FigureSource> figures;
    // One line for the operator, e.g. "Lager FRN 120 − tillgängligt FRN 8 = 112 förp., från
    // pjstkfrn 3 rader, avail 1 rad; figurerna StockOnHandFRN och avail".
    QString explanation;
};

// Runs the product's figures in local.mdb again, as the coverage run does for the period, and
// counts the rows of each table they read for the product. The cells are computed the way the
// run computes them (reports/CoverageColumns). Raises lodvik::Error when the store cannot be
// read or the product is not in pjomr with a pack size.
QList<CellSource> coverageCellSources(const QString &localDatabase, const figures::Period &period,
                                      const QString &product);

} // namespace reports
