#pragma once

#include "figures/Period.h"
#include "overview/ChangesDialog.h"
#include "reports/CoverageRow.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QSplitter;
class QTableView;

namespace overview {

class CoverageChart;
class CoverageFilterModel;
class CoverageTableModel;
class PlanningPanel;

// "Täckningsöversikt": the products of a coverage run as a list to sort, filter and read by
// urgency against a target in weeks of cover, with the reorder suggestion, a chart of the least
// covered products, how each cell came about, and the list saved or printed as shown.
class CoverageOverviewWindow : public QWidget {
    Q_OBJECT

public:
    // localDatabase: the store the run read (for the drill-down); saveFolder: where "Spara
    // lista..." starts.
    CoverageOverviewWindow(const QString &localDatabase, const QString &saveFolder,
                           QWidget *parent = nullptr);
    ~CoverageOverviewWindow() override;

    // Shows the rows of a run for the period.
    void setRun(std::vector<reports::CoverageRow> rows, const figures::Period &period);
    // The shown run's period; raises lodvik::Error before the first run.
    const figures::Period &period() const;

    // The target in weeks (also stored for the next time, per user).
    void setTargetWeeks(int weeks);
    int targetWeeks() const;

    // The shown rows, in the order shown.
    std::vector<const reports::CoverageRow *> visibleRows() const;
    // The model's columns that are not hidden, in the order shown: the printout's columns.
    std::vector<int> shownColumns() const;
    // Hides or shows a column (the heading's context menu); the product number stays.
    void setColumnShown(int column, bool shown);
    // Writes the shown rows as a workbook (.xls) or, for a name ending in .csv, as CSV for a
    // Swedish spreadsheet. Raises lodvik::Error when the file cannot be written; an earlier file
    // stays as it was.
    void saveList(const QString &fileName) const;
    // Packs to order over the shown rows, and for how many products.
    std::pair<qint64, int> totalToOrder() const;

    // Parts, for the keyboard, the tests and the screenshots.
    QTableView *view() const { return m_view; }
    QLineEdit *searchBox() const { return m_search; }
    QCheckBox *onlyBelowTarget() const { return m_onlyBelow; }
    QSpinBox *targetBox() const { return m_target; }
    CoverageChart *chart() const { return m_chart; }
    CoverageFilterModel *shownRows() const { return m_proxy; }
    PlanningPanel *planning() const { return m_planning; }

    // The file "Spara lista..." writes to, or "" to leave it (replaceable in tests).
    std::function<QString(const QString &suggested)> chooseListFile;

    // The kept runs, for "Sedan förra körningen" (set by the window that opens this one), and
    // the share by which weekly sales must move to count as a change.
    ChangesDialog::OpenHistory openHistory;
    double salesChangeShare = 0.25;
    // Opens "Sedan förra körningen" for the shown run.
    void showChanges();
    // The help text: how the suggestion and the colours are worked out.
    static QString helpText();

    // Selects the product of a source row in the list and scrolls to it.
    void selectSourceRow(int sourceRow);
    // Opens the drill-down of a source row.
    void showSources(int sourceRow);
    // Lays the shown rows out for printing and opens the preview.
    void printList();

protected:
    // Remembers the size, the split and the columns for the next time.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The rows under the period's heading; none before the first run.
    void showRun(std::vector<reports::CoverageRow> rows,
                 const std::optional<figures::Period> &period);
    void updateTotal();
    void askAndSaveList();
    void showColumnMenu(const QPoint &at);

    QString m_localDatabase;
    QString m_saveFolder;
    std::optional<figures::Period> m_period;
    CoverageTableModel *m_model;
    CoverageFilterModel *m_proxy;
    QLabel *m_heading;
    QLineEdit *m_search;
    QCheckBox *m_onlyBelow;
    QSpinBox *m_target;
    QTableView *m_view;
    CoverageChart *m_chart;
    QSplitter *m_splitter;
    QLabel *m_total;
    PlanningPanel *m_planning;
    QTimer m_filterDelay;
};

// Where the target in weeks is kept for the operator between sessions.
int storedTargetWeeks();
void storeTargetWeeks(int weeks);

} // namespace overview
