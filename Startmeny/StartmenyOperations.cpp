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

namespace {

figures::PjFigures pj(const QString &store, lodvik::Progress &progress) {
    return {store, progress};
}
figures::FrnFigures frn(const QString &store, lodvik::Progress &progress) {
    return {store, progress};
}
figures::DpFigures dp(const QString &store, lodvik::Progress &progress) {
    return {store, progress};
}

} // namespace

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

Variant Startmeny::getantaliforpack(const QString &artnr) {
    return pj(localDatabasePath(), m_progress).getantaliforpack(artnr);
}
Variant Startmeny::getlagersaldo(const QString &artnr) {
    return pj(localDatabasePath(), m_progress).getlagersaldo(artnr);
}
Variant Startmeny::backordersPJ() {
    return pj(localDatabasePath(), m_progress).backordersPJ();
}
Variant Startmeny::outsidePJ() {
    return pj(localDatabasePath(), m_progress).outsidePJ();
}
Variant Startmeny::orderscurrmonthPJ() {
    return pj(localDatabasePath(), m_progress).orderscurrmonthPJ();
}
Variant Startmeny::salescurrmonthPJ() {
    return pj(localDatabasePath(), m_progress).salescurrmonthPJ();
}
Variant Startmeny::salespriormonthPJ() {
    return pj(localDatabasePath(), m_progress).salespriormonthPJ();
}
Variant Startmeny::GSLPJ() {
    return pj(localDatabasePath(), m_progress).GSLPJ();
}
Variant Startmeny::GSCPJ() {
    return pj(localDatabasePath(), m_progress).GSCPJ();
}
Variant Startmeny::GITPJ() {
    return pj(localDatabasePath(), m_progress).GITPJ();
}
Variant Startmeny::StockOnHandPJ(const QString &prnr) {
    return pj(localDatabasePath(), m_progress).StockOnHandPJ(prnr, umfaktor);
}
Variant Startmeny::ProdBackOrderPJ(const QString &prnr) {
    return pj(localDatabasePath(), m_progress).ProdBackOrderPJ(prnr, umfaktor);
}
Variant Startmeny::ProdOrderPJ(const QString &prnr) {
    return pj(localDatabasePath(), m_progress).ProdOrderPJ(prnr, umfaktor);
}
Variant Startmeny::SalesPerWeek(const QString &prnr) {
    return pj(localDatabasePath(), m_progress).SalesPerWeek(prnr, umfaktor);
}

Variant Startmeny::avail(const QString &prnr) {
    return frn(localDatabasePath(), m_progress).avail(prnr);
}
Variant Startmeny::StockOnHandFRN(const QString &prnr) {
    return frn(localDatabasePath(), m_progress).StockOnHandFRN(prnr);
}
Variant Startmeny::ProdOrderFRN(const QString &prnr) {
    return frn(localDatabasePath(), m_progress).ProdOrderFRN(prnr, umfaktor);
}
Variant Startmeny::ProdBackOrderFRN(const Variant &prnr) {
    return frn(localDatabasePath(), m_progress).ProdBackOrderFRN(prnr, umfaktor);
}
Variant Startmeny::SalesPerWeekFRN(const QString &prnr) {
    return frn(localDatabasePath(), m_progress).SalesPerWeekFRN(prnr, perioddatum);
}
Variant Startmeny::backordersFRN() {
    return frn(localDatabasePath(), m_progress).backordersFRN();
}
Variant Startmeny::GSCFRN() {
    return frn(localDatabasePath(), m_progress).GSCFRN();
}
Variant Startmeny::orderscurrmonthFRN() {
    return frn(localDatabasePath(), m_progress).orderscurrmonthFRN();
}
Variant Startmeny::outsideFRN() {
    return frn(localDatabasePath(), m_progress).outsideFRN();
}
Variant Startmeny::salescurrmonthFRN() {
    return frn(localDatabasePath(), m_progress).salescurrmonthFRN(perioddatum);
}
Variant Startmeny::salespriormonthFRN() {
    return frn(localDatabasePath(), m_progress).salespriormonthFRN(perioddatum);
}

Variant Startmeny::salespriormonthDP() {
    return dp(localDatabasePath(), m_progress).salespriormonthDP();
}
Variant Startmeny::salescurrmonthDP() {
    return dp(localDatabasePath(), m_progress).salescurrmonthDP();
}
Variant Startmeny::orderscurrmonthDP() {
    return dp(localDatabasePath(), m_progress).orderscurrmonthDP();
}
Variant Startmeny::outsideDP() {
    return dp(localDatabasePath(), m_progress).outsideDP();
}
Variant Startmeny::GSCDP() {
    return dp(localDatabasePath(), m_progress).GSCDP();
}
Variant Startmeny::backordersDP() {
    return dp(localDatabasePath(), m_progress).backordersDP();
}
Variant Startmeny::StockOnHandDP(const QString &prnr) {
    return dp(localDatabasePath(), m_progress).StockOnHandDP(prnr);
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
    reports::CoverageRun(localDatabasePath(), m_progress)
        .fill(produkttabell, perioddatum, umfaktor);
    excellprodukter();
    m_progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
}

void Startmeny::excellprodukter() {
    reports::excellprodukter(produkttabell,
                             reports::productWorkbookFileName(m_appPath, perioddatum), m_progress);
}

void Startmeny::tillexell() {
    reports::tillexell(summatabell, reports::summaryWorkbookFileName(m_appPath, perioddatum),
                       m_progress);
}

void Startmeny::fillSummatabell() {
    figures::StockFigures figures(localDatabasePath(), m_progress);
    reports::fillSummatabell(summatabell, figures, perioddatum, m_progress);
}

void Startmeny::visaexell() {
    const QString fileName = reports::visaexell(summatabell, perioddatum, cacheFolder());
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)))
        throw lodvik::Error(
            QStringLiteral("Arbetsboken %1 är skriven, men inget kalkylprogram kunde öppna den.")
                .arg(fileName));
}
