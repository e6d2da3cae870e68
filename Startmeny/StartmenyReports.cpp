#include "Startmeny/Startmeny.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "Startmeny/BackgroundWork.h"
#include "Startmeny/Desktop.h"
#include "figures/DateConversion.h"
#include "figures/StockFigures.h"
#include "reports/CoverageJob.h"
#include "reports/Reports.h"
#include "ui/WindowLayout.h"

#include <QAction>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <climits>

bool Startmeny::requirePeriod(std::optional<figures::Period> &period, bool emptyAllowed) {
    if (!datumtxt) {
        period = figures::Period::parse(perioddatum);
        return period || (emptyAllowed && perioddatum.isEmpty());
    }
    AcceptPeriodDate();
    const QString typed = datumtxt->text();
    if (!typed.isEmpty() && typed != perioddatum)
        return false; // not a date: the date entry has told the operator and kept the focus

    // The box keeps other date layouts as typed, but the reports read characters 6-7 as the
    // month and put the text into file names: ask again until the period is YYYY-MM-DD.
    while (!(period = figures::Period::parse(perioddatum))) {
        if (perioddatum.isEmpty() && emptyAllowed)
            return true;
        const QDate readable = dateFromText(perioddatum);
        const QString question =
            perioddatum.isEmpty()
                ? QStringLiteral("Rapporterna behöver ett perioddatum.\n"
                                 "Ange datumet (ÅÅÅÅ-MM-DD):")
                : QStringLiteral("Perioddatumet \"%1\" är inte skrivet ÅÅÅÅ-MM-DD.\n"
                                 "Ange datumet (ÅÅÅÅ-MM-DD):")
                      .arg(perioddatum);
        QInputDialog dialog(this);
        dialog.setWindowTitle(QStringLiteral("Period"));
        dialog.setLabelText(question);
        dialog.setTextValue(readable.isValid() ? readable.toString(Qt::ISODate) : gRefDate);
        dialog.setCancelButtonText(QStringLiteral("Avbryt"));
        const bool ok = dialog.exec() == QDialog::Accepted;
        const QString entered = dialog.textValue().trimmed();
        if (!ok || entered.isEmpty()) {
            datumtxt->setFocus();
            return false;
        }
        datumtxt->setText(entered);
        AcceptPeriodDate();
        if (perioddatum != datumtxt->text())
            return false; // not a date: told as above
    }
    return true;
}

bool Startmeny::isWorking() const {
    return m_work->busy();
}

bool Startmeny::waitForWork(int milliseconds) {
    return m_work->wait(milliseconds);
}

void Startmeny::runInBackground(const QString &title, Background background) {
    const auto finished = [this, title, background](BackgroundWork::Outcome outcome,
                                                    const QString &message) {
        if (background.takeOver)
            guarded(title, background.takeOver);
        // A message box or the overview would keep the program running without its window.
        if (m_closed)
            return;
        switch (outcome) {
        case BackgroundWork::Outcome::Done:
            guarded(title, background.done);
            break;
        case BackgroundWork::Outcome::Failed:
            reportError(title, message);
            break;
        case BackgroundWork::Outcome::Cancelled:
            Label2->setText(QStringLiteral("Avbrutet"));
            // Work that kept part of what it did says how much.
            if (!message.isEmpty() && message != lodvik::Cancelled().message())
                QMessageBox::information(this, title, message);
            break;
        }
    };
    if (!m_work->start(background.work, finished,
                       background.canOnlyLetGo ? BackgroundWork::OnCancel::LetGo
                                               : BackgroundWork::OnCancel::Stop))
        throw lodvik::Error(QStringLiteral("Ett annat arbete pågår redan; vänta tills det är "
                                           "klart eller avbryt det."));
}

void Startmeny::setWorking(bool working) {
    workProgress->setRange(0, 0);
    workProgress->setFormat(QString());
    workProgress->setVisible(working);
    Avbryt->setVisible(working);
    // One long operation at a time: what would start another waits for it.
    for (QWidget *control : {static_cast<QWidget *>(Sok), static_cast<QWidget *>(Nollställa),
                             static_cast<QWidget *>(radera), static_cast<QWidget *>(Utskrift),
                             static_cast<QWidget *>(datumtxt)})
        control->setEnabled(!working);
    for (QAction *menu : menuBar()->actions())
        if (menu->menu())
            for (QAction *action : menu->menu()->actions())
                if (action->property("startsOperation").toBool())
                    action->setEnabled(!working);
}

void Startmeny::runCoverageInBackground(
    const figures::Period &period, const QString &title,
    std::function<void(const QString &, const QString &)> done) {
    const QString appPath = m_appPath;
    const bool alwaysXlsx = m_alwaysXlsx->isChecked();
    // The run writes into the window's table, lent to it while it runs (rows past the run's keep
    // what earlier runs left), and fills the list's rows; the window takes both back whatever
    // the outcome, also the rows a failed run got to.
    struct Result {
        explicit Result(reports::CoverageJob::Options options, const QString &appPath,
                        const figures::Period &period)
            : job(appPath, period, options) {}
        reports::CoverageJob job;
        ProduktTabell table;
        std::vector<reports::CoverageRow> rows;
        QString notice;  // the workbook's format, chosen from the number of products
        QString leftOut; // what the operator is told of products the list leaves out
    };
    auto result = std::make_shared<Result>(
        reports::CoverageJob::Options{true, alwaysXlsx, planning::RunOrigin::Window}, appPath,
        period);
    result->table = std::move(produkttabell); // nothing reads it until the run ends
    Background run;
    run.work = [=](lodvik::Progress &progress) {
        result->job.count();
        result->notice = result->job.xlsxNotice();
        // Room for every row at once: grown row by row, the table and the list would each move
        // to new memory six times at 128,000 products.
        if (const qint64 products = result->job.products(); products > 0) {
            result->table.ensureRow(int(std::min<qint64>(products, INT_MAX - 1)));
            result->rows.reserve(size_t(products));
        }
        result->job.run(progress, [&](const reports::CoverageRow &row, bool listed) {
            result->table.ensureRow(row.tableRow); // an extract of more products than rows grows it
            result->table.row(row.tableRow) = reports::tableCells(row);
            if (listed)
                result->rows.push_back(row);
        });
        result->job.save(progress);
        result->leftOut = result->job.leftOutMessage();
    };
    run.takeOver = [this, result] {
        produkttabell = std::move(result->table);
        m_coverageRows = std::move(result->rows);
        m_coveragePeriod.reset(); // the table holds a completed run again only when done
    };
    run.done = [this, period, done, result, title] {
        m_coveragePeriod = period;
        Label2->setText(result->notice.isEmpty() ? QStringLiteral("Klart") : result->notice);
        if (!result->leftOut.isEmpty())
            QMessageBox::warning(this, title, result->leftOut);
        if (const QString notKept = result->job.historyNotKept(); !notKept.isEmpty())
            QMessageBox::warning(this, title, notKept);
        if (const QString warning = result->job.historyWarning(); !warning.isEmpty())
            QMessageBox::warning(this, title, warning);
        offerToRemoveOlderWorkbook(result->job, title);
        updateCoverageOverview(period, false);
        done(result->job.workbookFile(), result->notice);
    };
    try {
        runInBackground(title, run);
    } catch (...) {
        produkttabell = std::move(result->table); // not started
        throw;
    }
}

void Startmeny::offerToRemoveOlderWorkbook(const reports::CoverageJob &job, const QString &title) {
    const QString older = job.olderWorkbook();
    if (older.isEmpty())
        return;
    if (QMessageBox::question(this, title,
                              job.olderWorkbookNotice(older, false) +
                                  QStringLiteral("\n\nVill du ta bort den äldre arbetsboken?"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    try {
        job.removeOlderWorkbook(older);
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, title, e.message());
    }
}

void Startmeny::writeCoverageWorkbook() {
    const QString title = QStringLiteral("Produkttäckning");
    std::optional<figures::Period> period;
    if (!requirePeriod(period))
        return;
    runCoverageInBackground(*period, title,
                            [this, title](const QString &file, const QString &notice) {
                                QString text = QStringLiteral("Täckningslistan är skriven till");
                                if (!notice.isEmpty())
                                    text = notice + QStringLiteral("\n\n") + text;
                                announceWrittenFile(this, title, text, file);
                            });
}

namespace {

// The summary's figures into a copy of summatabell, so that a failure leaves the window's as
// it was.
std::shared_ptr<SummaTabell> fillCopy(const SummaTabell &summatabell, const QString &local,
                                      const figures::Period &period, lodvik::Progress &progress) {
    auto table = std::make_shared<SummaTabell>(summatabell);
    figures::StockFigures figures(local, progress);
    reports::fillSummatabell(*table, figures, period, progress);
    return table;
}

} // namespace

void Startmeny::saveSummaryWorkbook() {
    const QString title = QStringLiteral("Lagersammanställning");
    std::optional<figures::Period> given;
    if (!requirePeriod(given))
        return;
    const figures::Period period = *given;
    const QString local = localDatabasePath();
    const QString file = reports::summaryWorkbookFileName(m_appPath, period);
    const SummaTabell before = summatabell;
    auto filled = std::make_shared<std::shared_ptr<SummaTabell>>();
    Background run;
    run.work = [=](lodvik::Progress &progress) {
        *filled = fillCopy(before, local, period, progress);
        reports::tillexell(**filled, file, progress);
    };
    run.done = [this, title, file, filled] {
        summatabell = **filled;
        Label2->setText(QStringLiteral("Klart"));
        announceWrittenFile(this, title, QStringLiteral("Lagersammanställningen är skriven till"),
                            file);
    };
    runInBackground(title, run);
}

void Startmeny::showSummaryWorkbook() {
    const QString title = QStringLiteral("Visa lagersammanställning");
    std::optional<figures::Period> given;
    if (!requirePeriod(given))
        return;
    const figures::Period period = *given;
    const QString local = localDatabasePath();
    const QString folder = cacheFolder();
    const SummaTabell before = summatabell;
    auto filled = std::make_shared<std::shared_ptr<SummaTabell>>();
    auto file = std::make_shared<QString>();
    Background run;
    run.work = [=](lodvik::Progress &progress) {
        *filled = fillCopy(before, local, period, progress);
        *file = reports::visaexell(**filled, period, folder);
    };
    run.done = [this, filled, file] {
        summatabell = **filled;
        Label2->setText(QStringLiteral("Klart"));
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(*file)))
            throw lodvik::Error(QStringLiteral("Arbetsboken %1 är skriven, men inget "
                                               "kalkylprogram kunde öppna den.")
                                    .arg(*file));
    };
    runInBackground(title, run);
}

void Startmeny::convertDatesInBackground(bool prognos) {
    const QString title = QStringLiteral("Datumomvandling");
    const QString local = localDatabasePath();
    // The texts are rewritten in local.mdb for good: asked first, Nej the safe default.
    QMessageBox question(
        QMessageBox::Question, title,
        QStringLiteral("Datumen i %1 skrivs om till veckodagskoder i local.mdb. Det går inte att "
                       "ångra. Vill du fortsätta?")
            .arg(prognos ? QStringLiteral("fpprognos") : QStringLiteral("fporder")),
        QMessageBox::Yes | QMessageBox::No, this);
    question.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    question.button(QMessageBox::No)->setText(QStringLiteral("&Nej"));
    question.setDefaultButton(QMessageBox::No);
    question.setEscapeButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return;
    Background conversion;
    conversion.work = [local, prognos](lodvik::Progress &progress) {
        figures::DateConversion dates(local, progress);
        if (prognos)
            dates.konvereraprognosdatum();
        else
            dates.konverteraorderdatum();
    };
    conversion.done = [this, title, prognos] {
        Label2->setText(QStringLiteral("Klart"));
        QMessageBox::information(
            this, title,
            QStringLiteral("Datumen i %1 är omvandlade till veckodagskoder.")
                .arg(prognos ? QStringLiteral("fpprognos") : QStringLiteral("fporder")));
    };
    runInBackground(title, conversion);
}

void Startmeny::convertPrognosDates() {
    convertDatesInBackground(true);
}

void Startmeny::convertOrderDates() {
    convertDatesInBackground(false);
}
