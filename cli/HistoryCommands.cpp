#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "planning/HistoryChanges.h"
#include "planning/HistorySettings.h"
#include "planning/RunHistory.h"
#include "reports/CoverageJob.h"
#include "reports/HistoryLists.h"
#include "reports/ListWriters.h"
#include "reports/ProposalFiles.h"

#include <QDir>

#include <cstdio>

namespace cli {

namespace {

// csv (the default) or json, or a UsageError naming what was given.
bool takeJsonFormat(QStringList &args) {
    const QString format = takeOption(args, QStringLiteral("--format"));
    if (!format.isEmpty() && format != QLatin1String("csv") && format != QLatin1String("json"))
        throw lodvik::UsageError(
            QStringLiteral("--format tar csv eller json, inte %1.").arg(format));
    return format == QLatin1String("json");
}

planning::Snapshot requireSnapshot(const planning::RunHistory &history, const QString &period) {
    std::optional<planning::Snapshot> snapshot = history.read(period);
    if (!snapshot)
        throw lodvik::Error(QStringLiteral("Historiken i %1 har ingen körning för perioden %2.")
                                .arg(history.description(), period));
    return std::move(*snapshot);
}

// The scheduled run shows nothing while it works: on success it is quiet.
class SilentProgress : public lodvik::Progress {
public:
    SilentProgress() : Progress(-1) {}

protected:
    void show() override {}
};

} // namespace

int scheduledRun(const QStringList &arguments) {
    QStringList args = arguments;
    requireNoMore(args);
    planning::ScheduledRunState state;
    state.startedAt = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    QStringList files;
    try {
        const QString folder = programFolder();
        const planning::HistorySettings settings = planning::readHistorySettings(folder);
        const figures::Period period = periodArgument(
            planning::scheduledPeriod(QDate::currentDate(), settings.scheduledWeekday)
                .toString(Qt::ISODate));
        state.period = period.text();
        const int target = planning::DefaultTargetWeeks;
        reports::CoverageJob job(folder, period,
                                 {true, false, planning::RunOrigin::Scheduled, double(target)});
        const StoredPlanning planning = loadStoredPlanning(period);
        std::vector<reports::CoverageRow> ordered;
        SilentProgress progress;
        job.run(progress, [&](const reports::CoverageRow &row, bool listed) {
            reports::CoverageRow planned = row;
            planning::applyPlanning(planned, planning.rules, planning.marks);
            if (listed && planning::reorderSuggestion(planned, target))
                ordered.push_back(std::move(planned));
        });
        // The proposal in the run's turn too, so that another run cannot come between the
        // workbook, the proposal and the snapshot of one period.
        job.save(progress, [&] {
            files << job.workbookFile();
            files += reports::saveProposalPerSupplier(
                planning::proposalLines(reports::allRows(ordered), target), period,
                folder + QStringLiteral("/rapporter"));
        });
        if (const QString notKept = job.historyNotKept(); !notKept.isEmpty())
            throw lodvik::Error(notKept);
        if (const QString warning = job.historyWarning(); !warning.isEmpty())
            std::fprintf(stderr, "Varning: %s\n", warning.toLocal8Bit().constData());
        state.ok = true;
    } catch (const lodvik::Error &e) {
        state.message = e.message();
    }
    for (const QString &file : files)
        state.files += QDir::toNativeSeparators(file) + QLatin1Char('\n');
    // Kept for the window's next start; when even that fails, the journal has both reasons.
    try {
        planning::openRunHistory(programFolder())->setScheduledRun(state);
    } catch (const lodvik::Error &e) {
        state.message +=
            (state.message.isEmpty() ? QString() : QStringLiteral(" ")) +
            QStringLiteral("Utfallet kunde inte sparas till fönstret: %1").arg(e.message());
    }
    if (state.message.isEmpty())
        return 0;
    std::fprintf(
        stderr, "%s\n",
        QStringLiteral("Veckans täckningskörning%1 misslyckades: %2")
            .arg(state.period.isEmpty() ? QString() : QStringLiteral(" för ") + state.period,
                 state.message)
            .toLocal8Bit()
            .constData());
    return 1;
}

int changes(const QStringList &arguments) {
    QStringList args = arguments;
    const bool json = takeJsonFormat(args);
    const QString sinceText = takeOption(args, QStringLiteral("--since"));
    const figures::Period period = takeRequiredPeriodOption(args);
    std::optional<figures::Period> since;
    if (!sinceText.isEmpty())
        since = periodArgument(sinceText);
    requireNoMore(args);
    if (since && since->date() >= period.date())
        throw lodvik::UsageError(
            QStringLiteral("--since ska vara en period före --period, inte %1.").arg(sinceText));
    const double share = planning::readHistorySettings(programFolder()).salesChangeShare;
    const auto history = planning::openRunHistory(programFolder());
    const planning::Snapshot later = requireSnapshot(*history, period.text());
    std::optional<QString> earlierPeriod =
        since ? std::optional(since->text()) : history->periodBefore(period.text());
    if (!earlierPeriod)
        throw lodvik::Error(QStringLiteral("Historiken i %1 har ingen körning före perioden %2 "
                                           "att jämföra med.")
                                .arg(history->description(), period.text()));
    const planning::Snapshot earlier = requireSnapshot(*history, *earlierPeriod);
    const auto changes = planning::changesBetween(earlier, later, share);
    writeOut(json ? reports::changesJson(changes, period.text(), *earlierPeriod)
                  : reports::changesCsv(changes));
    return 0;
}

int history(const QStringList &arguments) {
    QStringList args = arguments;
    const bool list = takeFlag(args, QStringLiteral("--list"));
    const bool prune = takeFlag(args, QStringLiteral("--prune"));
    const bool hasFormat = hasOption(args, QStringLiteral("--format"));
    const bool json = takeJsonFormat(args);
    const QString product = takeOption(args, QStringLiteral("--product"));
    requireNoMore(args);
    if (int(list) + int(prune) + int(!product.isEmpty()) != 1)
        throw lodvik::UsageError(
            QStringLiteral("Ange en av --product PRODUKT, --list och --prune."));
    if (hasFormat && product.isEmpty())
        throw lodvik::UsageError(QStringLiteral("--format gäller bara med --product."));
    if (prune) {
        const int retain = planning::readHistorySettings(programFolder()).retainedPeriods;
        const int removed = planning::openRunHistory(programFolder())->prune(retain);
        StderrProgress::note(
            QStringLiteral("%1 körningar togs bort; historiken behåller de %2 senaste perioderna.")
                .arg(removed)
                .arg(retain));
        return 0;
    }
    const auto history = planning::openRunHistory(programFolder());
    if (list) {
        // period, products, when it was kept (UTC) and where it was started, tab between them.
        // An empty history lists nothing; said on stderr so that a script reads no line.
        QByteArray out;
        const auto kept = history->snapshots();
        for (const planning::SnapshotInfo &info : kept)
            out += QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(info.period)
                       .arg(info.products)
                       .arg(info.takenAt.toString(Qt::ISODate), planning::runOriginKey(info.origin))
                       .toUtf8();
        if (kept.empty())
            StderrProgress::note(QStringLiteral("Historiken i %1 har inga sparade körningar.")
                                     .arg(history->description()));
        writeOut(out);
        return 0;
    }
    QStringList unreadable;
    const auto series = history->series(product, unreadable);
    const QString notice = history->unreadableNotice(unreadable);
    if (series.empty())
        throw lodvik::Error(QStringLiteral("Historiken i %1 har ingen körning med produkten %2.")
                                .arg(history->description(), product) +
                            (notice.isEmpty() ? QString() : QLatin1Char(' ') + notice));
    if (!notice.isEmpty())
        std::fprintf(stderr, "Varning: %s\n", notice.toLocal8Bit().constData());
    writeOut(json ? reports::seriesJson(series, product) : reports::seriesCsv(series));
    return 0;
}

} // namespace cli
