#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "reports/Reports.h"

#include <QDate>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

bool Startmeny::requirePeriod() {
    if (!datumtxt)
        return !perioddatum.isEmpty();
    AcceptPeriodDate();
    const QString typed = datumtxt->text();
    if (!typed.isEmpty() && typed != perioddatum)
        return false; // not a date: the date entry has told the operator and kept the focus
    if (!perioddatum.isEmpty())
        return true;

    // No period yet: ask for one rather than write a workbook without a date in its name.
    bool ok = false;
    const QString entered =
        QInputDialog::getText(this, QStringLiteral("Period"),
                              QStringLiteral("Rapporterna behöver ett perioddatum.\n"
                                             "Ange datumet (ÅÅÅÅ-MM-DD):"),
                              QLineEdit::Normal, gRefDate, &ok)
            .trimmed();
    if (!ok || entered.isEmpty()) {
        datumtxt->setFocus();
        return false;
    }
    datumtxt->setText(entered);
    AcceptPeriodDate();
    return !perioddatum.isEmpty() && perioddatum == datumtxt->text();
}

void Startmeny::startCoverageRun() {
    const QString title = QStringLiteral("Produkttäckning");
    guarded(title, [&] {
        if (!requirePeriod())
            return;
        CoverageRun();
        QMessageBox::information(this, title,
                                 QStringLiteral("Täckningslistan är skriven till\n%1")
                                     .arg(QDir::toNativeSeparators(reports::productWorkbookFileName(
                                         m_appPath, perioddatum))));
    });
}

void Startmeny::startSummaryWorkbook() {
    const QString title = QStringLiteral("Lagersammanställning");
    guarded(title, [&] {
        if (!requirePeriod())
            return;
        fillSummatabell();
        tillexell();
        m_progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
        QMessageBox::information(this, title,
                                 QStringLiteral("Lagersammanställningen är skriven till\n%1")
                                     .arg(QDir::toNativeSeparators(reports::summaryWorkbookFileName(
                                         m_appPath, perioddatum))));
    });
}

void Startmeny::showSummaryWorkbook() {
    guarded(QStringLiteral("Visa lagersammanställning"), [&] {
        if (!requirePeriod())
            return;
        fillSummatabell();
        visaexell();
        m_progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
    });
}

void Startmeny::startPrognosDateConversion() {
    const QString title = QStringLiteral("Datumomvandling");
    guarded(title, [&] {
        konvereraprognosdatum();
        QMessageBox::information(this, title,
                                 QStringLiteral("Datumen i fpprognos är omvandlade till "
                                                "veckodagskoder."));
    });
}

void Startmeny::startOrderDateConversion() {
    const QString title = QStringLiteral("Datumomvandling");
    guarded(title, [&] {
        konverteraorderdatum();
        QMessageBox::information(this, title,
                                 QStringLiteral("Datumen i fporder är omvandlade till "
                                                "veckodagskoder."));
    });
}
