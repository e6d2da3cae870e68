#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"
#include "MDlib/RunMemory.h"
#include "overview/CoverageOverviewWindow.h"
#include "overview/PlanningPanel.h"
#include "planning/HistorySettings.h"
#include "planning/Planning.h"
#include "reports/CoverageRow.h"

#include <QTimer>

void Startmeny::openCoverageOverview() {
    std::optional<figures::Period> period;
    if (!requirePeriod(period))
        return;
    // The rows kept are the last completed run's only when its period is this one.
    if (period == m_coveragePeriod) {
        updateCoverageOverview(*period, true);
        return;
    }
    runCoverageInBackground(*period, QStringLiteral("Täckningsöversikt"),
                            [this, run = *period](const QString &, const QString &) {
                                updateCoverageOverview(run, true);
                            });
}

void Startmeny::updateCoverageOverview(const figures::Period &period, bool open) {
    auto *window = qobject_cast<overview::CoverageOverviewWindow *>(m_overview.data());
    if (!window && !open)
        return;
    if (!window) {
        window = new overview::CoverageOverviewWindow(
            localDatabasePath(), m_appPath + QStringLiteral("/rapporter"), this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Its rows lie freed among the heap's other blocks once it is closed, where the heap
        // would keep them while the program runs.
        connect(window, &QObject::destroyed, this,
                [] { QTimer::singleShot(0, [] { lodvik::returnFreedMemory(); }); });
        window->planning()->openStore = [path = m_appPath] { return openPlanningStore(path); };
        window->openHistory = [path = m_appPath] { return planning::openRunHistory(path); };
        try {
            window->salesChangeShare = planning::readHistorySettings(m_appPath).salesChangeShare;
        } catch (const lodvik::Error &e) {
            reportError(QStringLiteral("Täckningsöversikt"), e.message());
        }
        m_overview = window;
    }
    std::vector<reports::CoverageRow> rows = m_coverageRows;
    try {
        const std::unique_ptr<PlanningStore> store = openPlanningStore(m_appPath);
        planning::applyPlanning(rows, store->rules(), store->marks(period.text()));
    } catch (const lodvik::Error &e) {
        // The list is still worth reading; its suggestions then follow the target alone.
        reportError(QStringLiteral("Täckningsöversikt"),
                    e.message() + QStringLiteral("\n\nFörslagen räknas utan planeringsregler."));
    }
    window->setRun(std::move(rows), period);
    if (open) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}
