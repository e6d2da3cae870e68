// The coverage workbook alone, without the run: 64,000 products as .xls (the most an .xls sheet
// holds, rounded down) against 64,000 and 128,000 as .xlsx. Rows as a run leaves them: numeric
// texts, some empty. Prints the best of three times and the file size of each.
// Run: build/bench/bench_workbook_formats

#include "MDlib/Progress.h"
#include "reports/Reports.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using lodvik::Variant;

namespace {

ProduktTabell table(int products) {
    ProduktTabell t;
    t.ensureRow(products + 1);
    for (int r = 1; r <= products; ++r) {
        ProduktTabell::Row &row = t.row(r);
        row[1] = Variant::String(QStringLiteral("B%1").arg(r, 6, 10, QLatin1Char('0')));
        row[2] = Variant::String(QStringLiteral("Produkt %1").arg(r));
        row[3] = Variant::Double(1000 * (1 + r % 12));
        for (int k : {4, 5, 6, 10, 11, 12, 13, 15, 16})
            row[size_t(k)] =
                Variant::String((r + k) % 5 ? QString::number((r * k) % 4000) : QString());
        row[8] = Variant::String(QString::number(r % 30));
        row[9] = Variant::Integer(0);
    }
    return t;
}

void measure(const char *what, int products, const QString &file) {
    const ProduktTabell rows = table(products);
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
