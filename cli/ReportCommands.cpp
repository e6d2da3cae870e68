#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "reports/Reports.h"

#include <QDate>
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
    HeadlessOperations ops;
    ops.perioddatum = requirePeriodOption(args);
    ops.CoverageRun();
    printPath(reports::productWorkbookFileName(ops.perioddatum));
    return 0;
}

int summary(const QStringList &arguments) {
    QStringList args = arguments;
    HeadlessOperations ops;
    ops.perioddatum = requirePeriodOption(args);
    ops.fillSummatabell();
    ops.tillexell();
    printPath(reports::summaryWorkbookFileName(ops.perioddatum));
    return 0;
}

} // namespace cli
