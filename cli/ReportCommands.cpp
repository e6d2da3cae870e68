#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/StockFigures.h"
#include "planning/Planning.h"
#include "reports/CoverageJob.h"
#include "reports/ListWriters.h"
#include "reports/ProposalFiles.h"
#include "reports/Reports.h"

#include <QDate>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace cli {

namespace {

figures::Period requirePeriodOption(QStringList &args) {
    const figures::Period period = takeRequiredPeriodOption(args);
    requireNoMore(args);
    return period;
}

void printPath(const QString &path) {
    printOut(QDir::toNativeSeparators(path));
    flushOut();
}

} // namespace

int coverage(const QStringList &arguments) {
    QStringList args = arguments;
    // The list of the run's rows instead of the workbook's path; checked before the long run.
    const bool hasTarget = args.contains(QStringLiteral("--target"));
    const bool hasSupplier = args.contains(QStringLiteral("--supplier"));
    const QString format = takeOption(args, QStringLiteral("--format"));
    const QString targetText = takeOption(args, QStringLiteral("--target"));
    const bool alwaysXlsx = takeFlag(args, QStringLiteral("--xlsx"));
    const bool replaceOlder = takeFlag(args, QStringLiteral("--replace-older"));
    const bool withWorkbook = takeFlag(args, QStringLiteral("--workbook"));
    const QString supplier = takeOption(args, QStringLiteral("--supplier"));
    const figures::Period period = requirePeriodOption(args);
    const bool proposal = format.startsWith(QStringLiteral("proposal-"));
    if (!format.isEmpty() &&
        !QStringList{"csv", "json", "proposal-csv", "proposal-json"}.contains(format))
        throw lodvik::UsageError(
            QStringLiteral("--format tar csv, json, proposal-csv eller proposal-json, inte %1.")
                .arg(format));
    if (hasTarget && format.isEmpty())
        throw lodvik::UsageError(QStringLiteral("--target gäller bara med --format."));
    if (hasSupplier && !proposal)
        throw lodvik::UsageError(QStringLiteral(
            "--supplier gäller bara med --format proposal-csv eller proposal-json."));
    if (withWorkbook && format.isEmpty())
        throw lodvik::UsageError(QStringLiteral("--workbook gäller bara med --format; utan "
                                                "--format skrivs arbetsboken alltid."));
    const bool workbook = format.isEmpty() || withWorkbook;
    if ((alwaysXlsx || replaceOlder) && !workbook)
        throw lodvik::UsageError(
            QStringLiteral("%1 gäller arbetsboken, som --format bara skriver med --workbook.")
                .arg(alwaysXlsx ? QStringLiteral("--xlsx") : QStringLiteral("--replace-older")));
    int target = planning::DefaultTargetWeeks;
    if (hasTarget) {
        bool ok = false;
        target = targetText.toInt(&ok);
        if (!ok || target < 1 || target > 104)
            throw lodvik::UsageError(
                QStringLiteral("--target tar ett helt antal veckor från 1 till 104, inte %1.")
                    .arg(targetText));
    }
    reports::CoverageJob job(
        programFolder(), period,
        {workbook, alwaysXlsx, planning::RunOrigin::CommandLine, double(target)});
    // The format is chosen before the first row, from the number of products.
    job.count();
    const QString notice = job.xlsxNotice();
    if (!notice.isEmpty())
        StderrProgress::note(notice); // a message, not a warning: --quiet leaves it out
    StderrProgress progress;
    // The list leaves in parts of 64 KiB, not in stdio's 4 KiB: a large json list to a pipe
    // would otherwise make eight thousand writes, each waking the reader.
    QByteArray pending;
    const auto flushList = [&pending] {
        writeOut(pending);
        flushOut();
        pending.resize(0); // keeps its room
    };
    const auto write = [&](const QByteArray &part) {
        pending.append(part);
        if (pending.size() >= 1 << 16)
            flushList();
    };
    std::optional<reports::CoverageListWriter> list;
    if (format == QStringLiteral("csv") || format == QStringLiteral("json"))
        list.emplace(format == QStringLiteral("csv") ? reports::CoverageListWriter::Format::Csv
                                                     : reports::CoverageListWriter::Format::Json,
                     period, target, write);
    const StoredPlanning planning =
        format.isEmpty() ? StoredPlanning{} : loadStoredPlanning(period);
    // Each row goes into the workbook, and into the list, as the run produces it: nothing is
    // kept of the rows already written but the proposal's, which is sorted by supplier.
    std::vector<reports::CoverageRow> proposalRows;
    job.run(progress, [&](const reports::CoverageRow &row, bool listed) {
        if (!listed || format.isEmpty())
            return;
        reports::CoverageRow planned = row;
        planning::applyPlanning(planned, planning.rules, planning.marks);
        if (list)
            list->add(planned);
        else if (planning::reorderSuggestion(planned, target))
            proposalRows.push_back(std::move(planned));
    });
    if (list) {
        list->finish();
        flushList();
    }
    job.save(progress);
    progress.finish();
    const QString leftOut = job.leftOutMessage();
    if (!leftOut.isEmpty())
        std::fprintf(stderr, "%s\n", leftOut.toLocal8Bit().constData());
    if (const QString warning = job.historyWarning(); !warning.isEmpty())
        std::fprintf(stderr, "Varning: %s\n", warning.toLocal8Bit().constData());
    if (const QString older = job.olderWorkbook(); !older.isEmpty()) {
        if (replaceOlder)
            job.removeOlderWorkbook(older);
        StderrProgress::note(job.olderWorkbookNotice(older, replaceOlder));
    }
    if (format.isEmpty())
        printPath(job.workbookFile());
    if (proposal) {
        // A mistyped supplier would give an empty proposal, as if nothing were to be ordered.
        if (!supplier.isEmpty() &&
            std::none_of(planning.rules.begin(), planning.rules.end(),
                         [&](const auto &rule) { return rule.second.supplier == supplier; }))
            std::fprintf(stderr, "%s\n",
                         QStringLiteral("Varning: ingen planeringsregel har leverantören \"%1\" "
                                        "(stora och små bokstäver räknas), så förslaget är tomt.")
                             .arg(supplier)
                             .toLocal8Bit()
                             .constData());
        const auto lines =
            planning::proposalLines(reports::allRows(proposalRows), target, supplier);
        write(format == QStringLiteral("proposal-csv")
                  ? reports::proposalCsv(lines, period.date())
                  : reports::proposalJson(lines, period, target));
        flushList();
    }
    // The files stand; the status tells a script that the history lacks the run.
    if (const QString notKept = job.historyNotKept(); !notKept.isEmpty()) {
        std::fprintf(stderr, "%s\n", notKept.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

int summary(const QStringList &arguments) {
    QStringList args = arguments;
    const figures::Period period = requirePeriodOption(args);
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
