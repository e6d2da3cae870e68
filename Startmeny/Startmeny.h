#pragma once

#include "MDlib/Progress.h"
#include "figures/Period.h"
#include "reports/CoverageRow.h"
#include "reports/ProduktTabell.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BackgroundWork;
class QGroupBox;
class QProgressBar;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class DataControl;
class SearchSource;
namespace reports {
class CoverageJob;
}

// The search window "Sökningsbild": search, reset, edit, add, delete and print products of
// ProduktSok. It owns the window-level values of the reports (period, the coverage and summary
// tables) and starts the figure and report operations from its menus; each runs in figures/ or
// reports/ under its own name (reports::CoverageRun, reports::excellprodukter,
// figures::DateConversion::konvereraprognosdatum…) with those values. The handlers and controls
// keep their names of the original design; positions are its twips, at 15 twips per pixel.
class Startmeny : public QMainWindow {
    Q_OBJECT

public:
    // appPath: the program folder the window works on (gAppPath in the program).
    explicit Startmeny(const QString &appPath, QWidget *parent = nullptr);
    ~Startmeny() override;

    // Event handlers, named after their control and event.
    void Form_Load();
    void Sok_Click();
    void periodtxt_KeyPress(int &KeyAscii);
    void Nollställa_Click();
    void radera_Click();
    void TDBGrid1_KeyPress(int &KeyAscii);
    void Avsluta_Click();
    void Utskrift_Click();

    // Period date entry: completes the text of datumtxt as it is typed, and takes it into
    // perioddatum when the operator leaves the box.
    void CompleteDateEntry();
    void AcceptPeriodDate();

    // Window-level values.
    QString perioddatum;         // the period date as entered
    ProduktTabell produkttabell; // the rows of the last coverage run
    SummaTabell summatabell{};   // the stock summary's figures; every cell 0 at first

    // Menu commands (the "Rapporter" and "Arkiv" menus). The long ones run off the interface
    // thread: the window shows their progress in Label2 and offers Avbryt meanwhile.
    // "Täckningskörning": the coverage run for the period and its workbook, whose place is told.
    void writeCoverageWorkbook();
    // "Täckningsöversikt": the rows of the last coverage run for the period in a window of their
    // own; a run for the period comes first when none has completed since the window opened.
    void openCoverageOverview();
    // "Lagersammanställning (spara)" writes the summary workbook into rapporter/; "(visa)" opens
    // it in the desktop's spreadsheet program.
    void saveSummaryWorkbook();
    void showSummaryWorkbook();
    // "Konvertera prognosdatum" / "orderdatum": the dates of fpprognos / fporder to week-day
    // codes, after a question.
    void convertPrognosDates();
    void convertOrderDates();
    void importAccessDatabase();

    // The "Hjälp" menu: a short guide to the window and its keys (F1), and what is running where.
    void showHelp();
    void showAbout();

    // Controls, by their design names.
    QLabel *Picture1 = nullptr;            // the logo box, the last stop of the tab order
    QRadioButton *Soklagerplats = nullptr; // "Namn sökning": search by search name
    QRadioButton *Sokprodukt = nullptr;    // "Produktnummer sökning": search by product number
    QLineEdit *periodtxt = nullptr;        // the search text box (Enter searches)
    QGroupBox *Sökningstyp = nullptr;      // the frame drawn around the two search types
    QLabel *Label2 = nullptr;   // the title "Produktsökning", also the long operations' progress
    QLabel *periodtx = nullptr; // the caption "Söktext" above the search text box
    QTableView *TDBGrid1 = nullptr;    // the grid of products found, edited in place
    DataControl *Data1 = nullptr;      // the grid's rows: the search query and its store
    QPushButton *Avsluta = nullptr;    // ends the program
    QPushButton *Sok = nullptr;        // searches
    QPushButton *Nollställa = nullptr; // empties the search text and the grid
    QPushButton *Utskrift = nullptr;   // prints the products in the grid
    QPushButton *radera = nullptr;     // deletes the current product, after a question
    QLineEdit *datumtxt = nullptr;     // the period box (YYYY-MM-DD), completed as it is typed
    // Our own additions to the design.
    QLabel *periodLabel = nullptr;        // "Period (ÅÅÅÅ-MM-DD)" above datumtxt; Alt+P
    QProgressBar *workProgress = nullptr; // how far a long operation has come
    QPushButton *Avbryt = nullptr;        // stops it

    // Whether a long operation runs; the controls that would start another are disabled.
    bool isWorking() const;
    // Waits for a long operation to end (tests, shutdown); false on timeout.
    bool waitForWork(int milliseconds);

protected:
    // Asks the operator for the Access file to import; empty when cancelled.
    virtual QString chooseAccessFile();
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString localDatabasePath() const;
    // Runs work off the interface thread with its progress in Label2. Afterwards, on the
    // interface thread, takeOver runs whatever the outcome (to keep what the work left) and done
    // only when it succeeded; a failure is told under title, a cancelled run says so in Label2.
    // Work that waits where it cannot check for Avbryt (canOnlyLetGo) is let go instead.
    struct Background {
        std::function<void(lodvik::Progress &)> work;
        std::function<void()> done;
        std::function<void()> takeOver = {};
        bool canOnlyLetGo = false;
    };
    void runInBackground(const QString &title, Background background);
    void setWorking(bool working);
    // The coverage run for the period and its workbook, in the background; then runs done with
    // the workbook's name and, when the number of products made it an .xlsx, the notice saying so.
    void
    runCoverageInBackground(const figures::Period &period, const QString &title,
                            std::function<void(const QString &file, const QString &notice)> done);
    // The other format's workbook of the run's period, left by an earlier run: the operator is
    // told it stays, and may remove it.
    void offerToRemoveOlderWorkbook(const reports::CoverageJob &job, const QString &title);
    // Puts the rows of the last run, of period, into the coverage overview: opened (and raised)
    // when open is set, else only when it is already open.
    void updateCoverageOverview(const figures::Period &period, bool open);
    void convertDatesInBackground(bool prognos);
    // Runs action once the search data source is open. A server is reached from a worker thread
    // first, so that one that does not answer (up to 15 s) leaves the window usable.
    void withSource(const QString &title, std::function<void()> action);
    // Runs a handler at the boundary: an exception becomes a message box, the window stays.
    void guarded(const QString &title, const std::function<void()> &handler);
    // The period, the search type and the window's position of the last run; true when the
    // window was put at its remembered position.
    bool restoreSettings();
    void rememberSettings();
    // The period of the reports and the printout, made from perioddatum: asks for it again
    // while it is no Period, unless it is empty and emptyAllowed is set (period then holds
    // none); false when the operator gives none.
    bool requirePeriod(std::optional<figures::Period> &period, bool emptyAllowed = false);
    void reportError(const QString &title, const QString &message);
    // Tells when the last scheduled run failed or is overdue (once, after the source opened).
    void tellScheduledRun();
    // Builds the controls at their design positions.
    void createControls();
    void createMenus();
    // Closing through the window frame leaves the row being edited: it is stored first.
    void closeEvent(QCloseEvent *event) override;
    // Hands an open cell editor's text to its row and closes the editor.
    void commitOpenEditor();
    void keyPressEvent(QKeyEvent *event) override;

    const QString m_appPath;
    std::unique_ptr<SearchSource> m_source;
    bool m_toldScheduledRun = false;
    BackgroundWork *m_work = nullptr;
    bool m_closed = false;        // work that ends after the window closed says nothing
    bool m_acceptingDate = false; // the message box of a refused date takes the focus again
    std::optional<figures::Period> m_coveragePeriod;  // that of the last completed coverage run
    std::vector<reports::CoverageRow> m_coverageRows; // the rows of the last run's list
    QAction *m_alwaysXlsx = nullptr; // Rapporter: the coverage workbook as .xlsx even when small
    QPointer<QWidget> m_overview;    // the coverage overview, while it is open
};
