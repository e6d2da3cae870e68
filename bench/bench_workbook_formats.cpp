// The coverage workbook alone, without the run: 64,000 products as .xls (the most an .xls sheet
// holds, rounded down) against 64,000 and 128,000 as .xlsx. Rows as a run gives them: whole
// numbers, some empty. Prints the best of three times and the file size of each.
// Run: build/bench/bench_workbook_formats

#include "MDlib/Progress.h"
#include "reports/Reports.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <utility>
#include <vector>

using lodvik::Variant;

namespace {

std::vector<reports::CoverageRow> table(int products) {
    std::vector<reports::CoverageRow> rows(static_cast<size_t>(products));
    for (int r = 1; r <= products; ++r) {
        reports::CoverageRow &row = rows[size_t(r - 1)];
        row.tableRow = r;
        row.product = QStringLiteral("B%1").arg(r, 6, 10, QLatin1Char('0'));
        row.description = QStringLiteral("Produkt %1").arg(r);
        row.productCell = Variant::String(row.product);
        row.descriptionCell = Variant::String(row.description);
        row.unitsPerPack = 1000 * (1 + r % 12);
        // Each figure column by its workbook column's number.
        const std::pair<int, reports::CellNumber *> figures[] = {
            {4, &row.stockFrn},     {5, &row.stockDp},       {6, &row.stockPj},
            {10, &row.backOrderPj}, {11, &row.backOrderFrn}, {12, &row.orderPj},
            {13, &row.orderFrn},    {15, &row.salesPj},      {16, &row.salesFrn}};
        for (const auto &[k, n] : figures)
            if ((r + k) % 5)
                *n = double((r * k) % 4000);
        row.coverWeeks = r % 30 ? std::optional(double(r % 30)) : std::nullopt;
        row.coverWeeksFrn = 0.0;
        row.stockTotal =
            row.stockFrn.value_or(0) + row.stockDp.value_or(0) + row.stockPj.value_or(0);
        row.orderTotal = row.orderPj.value_or(0) + row.backOrderPj.value_or(0);
    }
    return rows;
}

void measure(const char *what, int products, const QString &file) {
    const std::vector<reports::CoverageRow> rows = table(products);
    lodvik::NoProgress progress;
    double best = 1e9;
    for (int run = 1; run <= 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        reports::excellprodukter(rows, file, progress);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    std::printf("%-6s %7d products: best of 3 %.3f s, %lld bytes\n", what, products, best,
                static_cast<long long>(QFileInfo(file).size()));
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("rapporter"));
    const figures::Period period = figures::Period::fromText(QStringLiteral("2010-11-18"));
    const QString xls = reports::productWorkbookFileName(dir.path(), period);
    const QString xlsx = reports::productWorkbookFileName(dir.path(), period, true);
    measure(".xls", 64000, xls);
    measure(".xlsx", 64000, xlsx);
    measure(".xlsx", 128000, xlsx);
    return 0;
}
