#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Desktop.h"
#include "figures/DateConversion.h"
#include "figures/StockFigures.h"
#include "reports/Reports.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

// The window's public operations: the domain layer's, with the window-level values.

using lodvik::Variant;

Startmeny::LabelProgress::LabelProgress(Startmeny &window) : Progress(40), m_window(window) {}

void Startmeny::LabelProgress::show() {
    // A total may walk tens of thousands of rows: the caption is painted at once, but at most
    // every 40 ms, so that painting does not cost more than the walk.
    m_window.Label2->setText(currentCaption());
    m_window.Label2->repaint();
}

QString Startmeny::localDatabasePath() const {
    return m_appPath + QStringLiteral("/local.mdb");
}

Variant Startmeny::konvertdatum(QString &dat) {
    return figures::konvertdatum(dat);
}
void Startmeny::konvereraprognosdatum() {
    figures::DateConversion(localDatabasePath(), m_progress).konvereraprognosdatum();
}
void Startmeny::konverteraorderdatum() {
    figures::DateConversion(localDatabasePath(), m_progress).konverteraorderdatum();
}

void Startmeny::CoverageRun() {
    m_coverageRows.clear();
    produkttabell = ProduktTabell();
    reports::CoverageRun(localDatabasePath(), m_progress)
        .run(figures::Period::fromText(perioddatum), [&](const reports::CoverageRow &row) {
            produkttabell.ensureRow(row.tableRow);
            produkttabell.row(row.tableRow) = reports::tableCells(row);
            m_coverageRows.push_back(row);
        });
    excellprodukter();
    m_progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
}

void Startmeny::excellprodukter() {
    reports::excellprodukter(
        m_coverageRows,
        reports::productWorkbookFileName(m_appPath, figures::Period::fromTextIfGiven(perioddatum)),
        m_progress);
}

void Startmeny::tillexell() {
    reports::tillexell(
        summatabell,
        reports::summaryWorkbookFileName(m_appPath, figures::Period::fromTextIfGiven(perioddatum)),
        m_progress);
}

void Startmeny::fillSummatabell() {
    figures::StockFigures figures(localDatabasePath(), m_progress);
    reports::fillSummatabell(summatabell, figures, figures::Period::fromText(perioddatum),
                             m_progress);
}

void Startmeny::visaexell() {
    const QString fileName = reports::visaexell(
        summatabell, figures::Period::fromTextIfGiven(perioddatum), cacheFolder());
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)))
        throw lodvik::Error(
            QStringLiteral("Arbetsboken %1 är skriven, men inget kalkylprogram kunde öppna den.")
                .arg(fileName));
}
