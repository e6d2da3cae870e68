#pragma once

#include "MDlib/Error.h"
#include "planning/PlanningStore.h"
#include "planning/SalesTrend.h"

class SearchSource;

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// The kept coverage runs: each finished run's rows as a dated snapshot of its period, beside the
// planning rules (sokdata.db or the shared server), so that the buyer sees what moved since the
// last run and how a product's figures went over the weeks.
namespace planning {

class SnapshotPacker;

// One product of a kept run: the numbers of its coverage row as the workbook's cells hold them
// (nullopt for an empty cell), the suggestion and urgency the run gave it, and its rule.
struct SnapshotRow {
    QString product;
    QString description;
    std::optional<double> unitsPerPack;  // C
    std::optional<double> stockFrn;      // D
    std::optional<double> stockDp;       // E
    std::optional<double> stockPj;       // F
    std::optional<double> stockTotal;    // G
    std::optional<double> coverWeeks;    // H
    std::optional<double> coverWeeksFrn; // I
    std::optional<double> backOrderPj;   // J
    std::optional<double> backOrderFrn;  // K
    std::optional<double> orderPj;       // L
    std::optional<double> orderFrn;      // M
    std::optional<double> orderTotal;    // N
    std::optional<double> salesPj;       // O
    std::optional<double> salesFrn;      // P
    std::optional<qint64> suggestion;
    int urgency = 0; // planning::Urgency
    PlanningRule rule;

    bool operator==(const SnapshotRow &) const = default;
};

// Where a run was started.
enum class RunOrigin { Window, CommandLine, Scheduled };
QString runOriginKey(RunOrigin origin); // "window", "command_line", "scheduled"

struct SnapshotInfo {
    QString period;    // YYYY-MM-DD
    QDateTime takenAt; // when the run was kept (UTC, whole seconds)
    double targetWeeks = 0;
    int products = 0;
    RunOrigin origin = RunOrigin::Window;

    bool operator==(const SnapshotInfo &) const = default;
};

struct Snapshot {
    SnapshotInfo info;
    std::vector<SnapshotRow> rows; // in the run's order; a product once, by its first row
};

// A product in one kept run.
struct SeriesPoint {
    SnapshotInfo info;
    SnapshotRow row;
};

// What the last scheduled run left for the window to tell.
struct ScheduledRunState {
    QDateTime startedAt; // UTC
    QString period;
    bool ok = false;
    QString message; // why it failed; empty after a success
    QString files;   // where its files are, one a line

    bool operator==(const ScheduledRunState &) const = default;
};

// How many periods are kept when lodvikprodsok.ini says nothing.
constexpr int DefaultRetainedPeriods = 104;

class RunHistory {
public:
    // The history on the planning store's connection (the search data source's); its tables
    // are made where they are missing. Raises lodvik::Error with a message for the operator
    // when they cannot be.
    explicit RunHistory(std::unique_ptr<SearchSource> source);
    ~RunHistory();
    RunHistory(const RunHistory &) = delete;
    RunHistory &operator=(const RunHistory &) = delete;

    // A run's turn to save its outputs and keep its snapshot: one run at a time per store, so
    // that the workbook and the snapshot of a period always come from the same run. Waits up to
    // waitMs for a run that has its turn, then raises lodvik::Error. The turn ends with the
    // object (or the process, or the server connection).
    class Turn {
    public:
        virtual ~Turn() = default;
    };
    std::unique_ptr<Turn> takeTurn(int waitMs) const;

    // Keeps a run: in its turn, saveOutputs() (when given) writes the run's files, then the
    // snapshot replaces that of the same period in one transaction and the oldest periods beyond
    // retain go. When saveOutputs raises, nothing is kept. When the snapshot cannot be written
    // after the files were saved, raises HistoryNotKept.
    void keep(const Snapshot &snapshot, int retain, const std::function<void()> &saveOutputs,
              int waitMs = 60000);
    // The same for a run whose rows were packed as they came.
    void keep(const SnapshotInfo &info, const SnapshotPacker &packer, int retain,
              const std::function<void()> &saveOutputs, int waitMs = 60000);
    // The same without outputs and without taking a turn (the caller holds one).
    void write(const Snapshot &snapshot, int retain);

    // The kept runs, oldest period first.
    std::vector<SnapshotInfo> snapshots() const;
    std::optional<Snapshot> read(const QString &period) const;
    // The period kept last before period; nothing when there is none.
    std::optional<QString> periodBefore(const QString &period) const;
    // The look-ups below leave out a kept run that cannot be read (damaged, or written by
    // another version of the program) rather than fail for it, and add its period to
    // unreadable: one bad run must not hide the others, nor stop every later run from being
    // kept. unreadableNotice() says what was left out.

    // One product in every kept run that holds it, oldest period first.
    std::vector<SeriesPoint> series(const QString &product, QStringList &unreadable) const;
    // The PJ weekly sales of these products in the last runs kept before the period, oldest
    // first (nothing for a run without the product; an empty cell as 0).
    std::map<QString, std::vector<SalesPoint>> salesSeries(const QSet<QString> &products,
                                                           const QString &before, int runs,
                                                           QStringList &unreadable) const;
    // What the operator is told of the periods a look-up left out.
    QString unreadableNotice(const QStringList &periods) const;
    // Removes the oldest periods beyond retain; how many went.
    int prune(int retain);

    std::optional<ScheduledRunState> scheduledRun() const;
    void setScheduledRun(const ScheduledRunState &state);

    QString description() const;

private:
    struct Packed;
    static Packed pack(const SnapshotInfo &info, const SnapshotPacker &packer);
    void store(const Packed &packed, int retain);
    void removeSnapshot(const QVariant &id);
    int pruneIn(int retain);

    QSqlDatabase database() const;

    std::unique_ptr<SearchSource> m_source;
};

// The run's files were saved, but its snapshot was not kept.
class HistoryNotKept : public lodvik::Error {
public:
    using Error::Error;
};

// The history of the program folder's planning store (its own connection).
std::unique_ptr<RunHistory> openRunHistory(const QString &appPath);
// What the last scheduled run left in the planning store, read without making the history's
// tables (the window's start).
std::optional<ScheduledRunState> lastScheduledRun(const SearchSource &source);

} // namespace planning
