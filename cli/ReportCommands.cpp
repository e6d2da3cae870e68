#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/StockFigures.h"
#include "reports/Reports.h"

#include <QDir>

#include <cstdio>

namespace cli {

namespace {

QString requirePeriodOption(QStringList &args) {
    const QString period = takePeriodOption(args, true);
    requireNoMore(args);
    return period;
}

void printPath(const QString &path) {
    std::printf("%s\n", QDir::toNativeSeparators(path).toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int coverage(const QStringList &arguments) {
    QStringList args = arguments;
    const QString period = requirePeriodOption(args);
    StderrProgress progress;
    // Each row goes into the workbook as the run produces it; no table of all products is kept.
    reports::ProductWorkbook book(progress);
    reports::CoverageRun(localDatabasePath(), progress)
        .run(period, [&](int, const ProduktTabell::Row &cells) { book.addRow(cells); });
    const QString fileName = reports::productWorkbookFileName(gAppPath, period);
    book.saveAs(fileName);
    progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
    progress.finish();
    printPath(fileName);
    return 0;
}

int summary(const QStringList &arguments) {
    QStringList args = arguments;
    const QString period = requirePeriodOption(args);
    StderrProgress progress;
    SummaTabell summatabell{};
    figures::StockFigures figures(localDatabasePath(), progress);
    reports::fillSummatabell(summatabell, figures, period, progress);
    const QString fileName = reports::summaryWorkbookFileName(gAppPath, period);
    reports::tillexell(summatabell, fileName, progress);
    progress.finish();
    printPath(fileName);
    return 0;
}

} // namespace cli
