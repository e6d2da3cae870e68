#pragma once

#include "Startmeny/StartmenyOperations.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class DataControl;
class SearchSource;

// The search window "Sökningsbild": search, reset, edit, add, delete and print products of
// ProduktSok; the figure and report operations are its own through StartmenyOperations.
// Positions are those of the original design in twips, at 15 twips per pixel.
class Startmeny : public QMainWindow, public StartmenyOperations {
    Q_OBJECT

public:
    explicit Startmeny(QWidget *parent = nullptr);
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

    // Period date entry.
    void CompleteDateEntry();
    void AcceptPeriodDate();

    // Menu commands (the "Rapporter" and "Arkiv" menus).
    void startCoverageRun();
    void startSummaryWorkbook();
    void showSummaryWorkbook();
    void startPrognosDateConversion();
    void startOrderDateConversion();
    void importAccessDatabase();

    // Controls, by their design names.
    QLabel *Picture1 = nullptr;
    QRadioButton *Soklagerplats = nullptr;
    QRadioButton *Sokprodukt = nullptr;
    QLineEdit *periodtxt = nullptr;
    QGroupBox *Sökningstyp = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *periodtx = nullptr;
    QTableView *TDBGrid1 = nullptr;
    DataControl *Data1 = nullptr;
    QPushButton *Avsluta = nullptr;
    QPushButton *Sok = nullptr;
    QPushButton *Nollställa = nullptr;
    QPushButton *Utskrift = nullptr;
    QPushButton *radera = nullptr;
    QLineEdit *datumtxt = nullptr;
    QLabel *datumlbl = nullptr;

protected:
    void showProgress(const QString &caption) override;
    // Asks the operator for the Access file to import; empty when cancelled.
    virtual QString chooseAccessFile();
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Runs a handler at the boundary: an exception becomes a message box, the window stays.
    void guarded(const QString &title, const std::function<void()> &handler);
    // Asks for the period when datumtxt is empty; false when the operator gives none.
    bool requirePeriod();
    void reportError(const QString &title, const QString &message);
    // Opens the search data source when it is not open yet (it may have been down at load).
    void ensureSource();
    // Builds the controls at their design positions.
    void createControls();
    void createMenus();
    // Closing through the window frame leaves the row being edited: it is stored first.
    void closeEvent(QCloseEvent *event) override;

    std::unique_ptr<SearchSource> m_source;
    QElapsedTimer m_progressPainted;
    bool m_completingDate = false; // the completion rewrites datumtxt, which calls it again
};
