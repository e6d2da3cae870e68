#pragma once

#include "reports/ProduktTabell.h"

#include <QString>

namespace xls {
class Worksheet;
}

// The pieces of the coverage and summary workbooks that the window's operations share.
namespace reports {

// gAppPath + "/rapporter/Pallvikprodukter" + period + ".xls"
QString productWorkbookFileName(const QString &perioddatum);
// gAppPath + "/rapporter/Pallvik" + period + ".xls"
QString summaryWorkbookFileName(const QString &perioddatum);

// Writes the stock summary sheet. The visible variant puts the headings one row higher (all
// but column O, which keeps rows 1 to 4); labels, data cells and totals are the same.
void writeSummarySheet(xls::Worksheet &sheet, const SummaTabell &summatabell, bool visible);

} // namespace reports
