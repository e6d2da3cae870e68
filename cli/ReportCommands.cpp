#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/StockFigures.h"
#include "reports/CoverageOverview.h"
#include "reports/Reports.h"

#include <QDir>

#include <cstdio>
#include <optional>

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
    // The list of the run's rows instead of the workbook's path; checked before the long run.
    const bool hasTarget = args.contains(QStringLiteral("--target"));
    const QString format = takeOption(args, QStringLiteral("--format"));
    const QString targetText = takeOption(args, QStringLiteral("--target"));
    const QString period = requirePeriodOption(args);
    if (!format.isEmpty() && format != QStringLiteral("csv") && format != QStringLiteral("json"))
        throw lodvik::UsageError(
            QStringLiteral("--format tar csv eller json, inte %1.").arg(format));
    if (hasTarget && format.isEmpty())
        throw lodvik::UsageError(
            QStringLiteral("--target gäller bara med --format csv eller json."));
    int target = reports::DefaultTargetWeeks;
    if (hasTarget) {
        bool ok = false;
        target = targetText.toInt(&ok);
        if (!ok || target < 1 || target > 104)
            throw lodvik::UsageError(
                QStringLiteral("--target tar ett helt antal veckor från 1 till 104, inte %1.")
                    .arg(targetText));
    }
    StderrProgress progress;
    // Each row goes into the workbook, and into the list, as the run produces it: nothing is
    // kept of the rows already written.
    reports::ProductWorkbook book(progress);
    const auto write = [](const QByteArray &part) {
        if (std::fwrite(part.constData(), 1, size_t(part.size()), stdout) != size_t(part.size()))
            throw lodvik::Error(QStringLiteral("Listan kunde inte skrivas till standard ut."));
    };
    std::optional<reports::CoverageListWriter> list;
    if (!format.isEmpty())
        list.emplace(format == QStringLiteral("csv") ? reports::CoverageListWriter::Format::Csv
                                                     : reports::CoverageListWriter::Format::Json,
                     period, target, write);
    reports::CoverageRowMaker listRow;
    reports::LeftOutProducts leftOut;
    reports::CoverageRun(localDatabasePath(), progress)
        .run(period, [&](int row, const ProduktTabell::Row &cells) {
            book.addRow(cells);
            if (!leftOut.leaves(row, cells) && list)
                list->add(listRow(cells, row));
        });
    if (list) {
        list->finish();
        if (std::fflush(stdout) != 0)
            throw lodvik::Error(QStringLiteral("Listan kunde inte skrivas till standard ut."));
    }
    const QString fileName = reports::productWorkbookFileName(gAppPath, period);
    book.saveAs(fileName);
    progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
    progress.finish();
    if (leftOut.count() > 0)
        std::fprintf(stderr, "%s\n", leftOut.message().toLocal8Bit().constData());
    if (format.isEmpty())
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
