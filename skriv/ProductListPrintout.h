#pragma once

#include "MDlib/Variant.h"

#include <QList>
#include <QString>

class DataControl;
class PrintEngine;

// One listed product as the printout reads it; either value may be Null.
struct ProductListRow {
    lodvik::Variant Soknamn;
    lodvik::Variant Produktnummer;
};

// Lays the rows out as the product list: a new document in the engine with the first-page
// heading and the print date, rows in groups of five, 45 rows a page, later pages headed
// "Lagerregister". Begins with DocAction 3 and ends with DocAction 6; PrintSetup and showing
// the preview are the caller's.
void printProductList(PrintEngine &engine, const QList<ProductListRow> &rows,
                      const QString &perioddatum);

// The rows of the data control's last query, first to last, as the printout reads them.
QList<ProductListRow> productListRows(DataControl &control);
