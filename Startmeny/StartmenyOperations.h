#pragma once

#include "MDlib/Variant.h"
#include "reports/ProduktTabell.h"

#include <QString>

// The public operations of the search window and the window-level values they read. The window
// Startmeny inherits them, so they are its own; tests and the command line use them headless.
// The operations are defined next to the algorithms they implement: figures/ for the figures
// and date conversion, reports/ for the coverage run and the workbooks.
class StartmenyOperations {
public:
    StartmenyOperations();
    virtual ~StartmenyOperations();

    // Window-level values.
    QString perioddatum; // the period date, YYYY-MM-DD as entered
    double umfaktor = 0; // units per pack of the current product of a coverage run
    ProduktTabell produkttabell;
    SummaTabell summatabell{}; // every cell 0 when the window is created

    // PJ figures and pack size.
    lodvik::Variant getantaliforpack(const QString &artnr);
    lodvik::Variant getlagersaldo(const QString &artnr);
    lodvik::Variant backordersPJ();
    lodvik::Variant outsidePJ();
    lodvik::Variant orderscurrmonthPJ();
    lodvik::Variant salescurrmonthPJ();
    lodvik::Variant salespriormonthPJ();
    lodvik::Variant GSLPJ();
    lodvik::Variant GSCPJ();
    lodvik::Variant GITPJ();
    lodvik::Variant StockOnHandPJ(const QString &prnr);
    lodvik::Variant ProdBackOrderPJ(const QString &prnr);
    lodvik::Variant ProdOrderPJ(const QString &prnr);
    lodvik::Variant SalesPerWeek(const QString &prnr);

    // FRN figures.
    lodvik::Variant avail(const QString &prnr);
    lodvik::Variant StockOnHandFRN(const QString &prnr);
    lodvik::Variant ProdOrderFRN(const QString &prnr);
    lodvik::Variant ProdBackOrderFRN(const lodvik::Variant &prnr);
    lodvik::Variant SalesPerWeekFRN(const QString &prnr);
    lodvik::Variant backordersFRN();
    lodvik::Variant GSCFRN();
    lodvik::Variant orderscurrmonthFRN();
    lodvik::Variant outsideFRN();
    lodvik::Variant salescurrmonthFRN();
    lodvik::Variant salespriormonthFRN();

    // DP figures.
    lodvik::Variant salespriormonthDP();
    lodvik::Variant salescurrmonthDP();
    lodvik::Variant orderscurrmonthDP();
    lodvik::Variant outsideDP();
    lodvik::Variant GSCDP();
    lodvik::Variant backordersDP();
    lodvik::Variant StockOnHandDP(const QString &prnr);

    // Date conversion.
    lodvik::Variant konvertdatum(QString &dat);
    void konvereraprognosdatum();
    void konverteraorderdatum();

    // Coverage run and workbooks.
    void CoverageRun();
    void excellprodukter();
    void tillexell();
    // Fills summatabell from the whole-source totals of the three sources.
    void fillSummatabell();

    // gAppPath + "/local.mdb"
    static QString localDatabasePath();

protected:
    // The visible variant of the summary workbook: written to a temporary file and opened in the
    // desktop's spreadsheet program.
    void visaexell();

    // Sets Label2's caption to the item being worked on and repaints it at once. The window
    // shows it; the command line writes it to stderr.
    virtual void showProgress(const QString &caption);
};
