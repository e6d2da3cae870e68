#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "reports/Reports.h"

#include <QDate>
#include <QDir>

#include <cstdio>

namespace cli {

namespace {

// The period goes into file names and month-based figures: insist on YYYY-MM-DD.
QString requirePeriodOption(QStringList &args) {
    const QString period = takeOption(args, QStringLiteral("--period"));
    requireNoMore(args);
    if (period.isEmpty())
        throw lodvik::UsageError(QStringLiteral("--period saknas."));
    if (!QDate::fromString(period, Qt::ISODate).isValid() || period.size() != 10)
        throw lodvik::UsageError(
            QStringLiteral("Ogiltigt perioddatum %1: skriv ÅÅÅÅ-MM-DD.").arg(period));
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
