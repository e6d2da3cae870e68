#include "Startmeny/Startmeny.h"

#include "overview/CoverageOverviewWindow.h"
#include "reports/CoverageOverview.h"

void Startmeny::openCoverageOverview() {
    if (!requirePeriod())
        return;
    // The rows in produkttabell are the last completed run's only when its period is this one.
    if (perioddatum == m_coveragePeriod) {
        showCoverageOverview(true);
        return;
    }
    runCoverage(QStringLiteral("Täckningsöversikt"),
                [this](const QString &, const QString &) { showCoverageOverview(true); });
}

void Startmeny::showCoverageOverview(bool open) {
    auto *window = qobject_cast<overview::CoverageOverviewWindow *>(m_overview.data());
    if (!window && !open)
        return;
    if (!window) {
        window = new overview::CoverageOverviewWindow(
            localDatabasePath(), m_appPath + QStringLiteral("/rapporter"), this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_overview = window;
    }
    window->setRun(reports::coverageRows(produkttabell), m_coveragePeriod);
    if (open) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}
