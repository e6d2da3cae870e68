#pragma once

#include "reports/CoverageRow.h"
#include "reports/ProduktTabell.h"

#include "MDlib/Error.h"
#include "figures/Period.h"
#include "xls/SheetWriter.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lodvik {
class Progress;
}
namespace figures {
struct StockFigures;
}
namespace reports {
class ProductFigures;
}

// The coverage run and the two workbooks, apart from any window: they take the program folder,
// the period and a progress sink, and leave their results in the tables they are given.
namespace reports {

// appPath + "/rapporter/Pallvikprodukter" + period + ".xls", or ".xlsx" for an .xlsx workbook;
// without a period no date goes into the name.
QString productWorkbookFileName(const QString &appPath,
                                const std::optional<figures::Period> &period, bool xlsx = false);
// The products an .xls sheet holds below the coverage workbook's headers: rows 5 to 65,536.
constexpr qint64 XlsProductRows = 65532;
// Whether the coverage workbook of `products` products is written as .xlsx: always when the
// operator prefers it, otherwise when they do not fit an .xls sheet.
bool productWorkbookIsXlsx(qint64 products, bool alwaysXlsx);
// What the operator is told when the number of products makes the workbook an .xlsx; empty
// otherwise.
QString xlsxNotice(qint64 products, bool alwaysXlsx);
// The rows of pjomr, the products a coverage run will write: counted before the run, so that the
// workbook's format is known before its first row.
qint64 countProducts(const QString &localDatabase);
// appPath + "/rapporter/Pallvik" + period + ".xls", the same way.
QString summaryWorkbookFileName(const QString &appPath,
                                const std::optional<figures::Period> &period);

// The products a run leaves out of the workbook and the lists: the first without a product
// number and every one after it.
class LeftOutProducts {
public:
    // Called for every row of a run, in order; true when the row is left out.
    bool leaves(const CoverageRow &row);
    qint64 count() const { return m_count; }
    // What the operator is told; empty when no product was left out.
    QString message() const;

private:
    int m_firstBlank = 0;
    qint64 m_count = 0;
};

// The figures behind a product's cells as its row was computed, by column (reports/
// CoverageColumns): read holds each of the column's figures as read, value what the cell was
// made from (a cover's is Null when the row has nothing to divide by).
struct CoverageFigures {
    std::array<std::array<lodvik::Variant, 2>, ProduktTabell::Columns> read;
    std::array<lodvik::Variant, ProduktTabell::Columns> value;
};

// Fills one product's coverage row from its pjomr values and its figures, each column as the
// column table says: the one computation of a row, for the run and for the drill-down of one
// product. Raises lodvik::Error naming the product for a product without units per pack and for
// a figure that is no finite number. trace, when given, gets the figures.
void fillCoverageRow(ProductFigures &figures, const lodvik::Variant &iblitm,
                     const lodvik::Variant &imdsc1, const lodvik::Variant &umconv, CoverageRow &row,
                     lodvik::Progress &progress, CoverageFigures *trace = nullptr);

// The row as the window's produkttabell holds it: A and B as read, C the units per pack, each
// figure and cover as the "########"/"####" text of its number ("" for an empty cell), a cover
// without sales the Integer 0, G and N empty (the workbook's formulas fill them).
ProduktTabell::Row tableCells(const CoverageRow &row);

// The product coverage run: for every product of pjomr, in product order, its stocks, back
// orders, orders and weekly sales in packs and its weeks of cover, one row from row 1.
class CoverageRun {
public:
    CoverageRun(const QString &localDatabase, lodvik::Progress &progress);

    // Hands each row to rowDone as soon as it is complete, so that nothing grows with the
    // number of products but what rowDone keeps. A product without units per pack stops the run
    // with a message naming it; cancelling stops it the same way. counted, when given, learns
    // the number of pjomr's rows before the first row comes.
    void run(const figures::Period &period, const std::function<void(const CoverageRow &)> &rowDone,
             const std::function<void(qint64)> &counted = {});

private:
    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

// The product coverage workbook, written as its rows come, so that the rows already written
// need not stay in memory: the headers, then each row's first 16 columns from sheet row 5 with
// the total stock (G) and total order (N) formulas. The list ends at the first row without a
// product number; it and the rows after it are left out.
class ProductWorkbook {
public:
    // products (countProducts) and alwaysXlsx choose the format (productWorkbookIsXlsx).
    explicit ProductWorkbook(lodvik::Progress &progress, qint64 products = 0,
                             bool alwaysXlsx = false);
    bool isXlsx() const { return m_xlsx; }
    void addRow(const CoverageRow &row);
    // Writes the file; an earlier file of that name is replaced only by a complete new one. A
    // row that did not fit in the sheet is reported here, as if all rows were written now.
    void saveAs(const QString &fileName);

private:
    lodvik::Progress &m_progress;
    bool m_xlsx = false;
    std::unique_ptr<xls::SheetWriter> m_book;
    int m_rows = 0;       // rows written
    bool m_ended = false; // a row without a product number was met
    std::optional<lodvik::Error> m_failure;
};

// Writes the product coverage workbook of rows (up to the first without a product number) to
// fileName, as .xlsx when the name ends so; an earlier file is replaced only by a complete new
// one.
void excellprodukter(const std::vector<CoverageRow> &rows, const QString &fileName,
                     lodvik::Progress &progress);

// Fills summatabell from the whole-source totals of the three sources: figure x (column x + 1)
// by source 1 PJ, 2 FRN, 3 DP. A failing figure leaves the table as it was.
void fillSummatabell(SummaTabell &summatabell, figures::StockFigures &figures,
                     const figures::Period &period, lodvik::Progress &progress);

// Writes the stock summary workbook of summatabell to fileName.
void tillexell(const SummaTabell &summatabell, const QString &fileName, lodvik::Progress &progress);

// The visible variant: the same sheet with its headings one row higher (all but column O), as a
// temporary read-only workbook in folder (created when missing) for the desktop's spreadsheet
// program. Returns its file name.
QString visaexell(const SummaTabell &summatabell, const std::optional<figures::Period> &period,
                  const QString &folder);
// Removes the workbooks visaexell left in folder.
void removeShownWorkbooks(const QString &folder);

} // namespace reports
