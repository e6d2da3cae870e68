#pragma once

#include "figures/Period.h"
#include "planning/Planning.h"
#include "planning/PlanningStore.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QTableWidget;

namespace overview {

class CoverageOverviewWindow;

// The overview's planning row: filters by the rules' supplier and product group, the total to
// order per supplier over the shown rows, the marks of the selected rows, and the purchase
// proposal.
class PlanningPanel : public QWidget {
    Q_OBJECT

public:
    explicit PlanningPanel(CoverageOverviewWindow *window);

    // Where the marks are kept (set by the search window); without it the mark buttons say so.
    std::function<std::unique_ptr<PlanningStore>()> openStore;

    // The run's rows changed: the choices of supplier and group follow them.
    void runChanged();
    // The shown rows changed: the totals per supplier follow them.
    void updateTotals();
    // The totals per supplier of the shown rows, counted by the window.
    void showTotals(const planning::OrderTotal &total);

    // Marks the selected rows: ordered (each with its suggestion, or packs when given),
    // discontinued, or no mark. Raises lodvik::Error when the mark cannot be kept.
    void markSelected(std::optional<PlanningMark::Kind> kind, std::optional<double> packs = {});
    // Gives the selected rows this rule, kept in the store. Raises lodvik::Error when it cannot
    // be kept.
    void setRuleOfSelected(const PlanningRule &rule);
    // The rows of a proposal: the selected ones, or with none selected every shown row; only
    // those with a suggestion, so that without a selection it holds what "Att beställa" counts.
    std::vector<planning::ProposalLine> proposalRows() const;

    QComboBox *supplierBox() const { return m_supplier; }
    QComboBox *groupBox() const { return m_group; }
    QLabel *totals() const { return m_totals; }

private:
    void askAndMark(std::optional<PlanningMark::Kind> kind);
    void editRule();
    // The source rows selected in the list.
    std::vector<int> selectedRows() const;
    void openProposal();

    CoverageOverviewWindow *m_window;
    QComboBox *m_supplier;
    QComboBox *m_group;
    QLabel *m_totals;
};

// The purchase proposal to check before it leaves: one row per product with its packs, which
// the operator may change, saved per supplier as a workbook and as CSV.
class ProposalDialog : public QDialog {
    Q_OBJECT

public:
    ProposalDialog(std::vector<planning::ProposalLine> lines, const figures::Period &period,
                   QWidget *parent = nullptr);

    // The lines with the packs as edited (a row set to 0 is left out).
    std::vector<planning::ProposalLine> lines() const;
    // Writes Inkopsforslag<period>-<supplier>.xls and .csv per supplier into folder; returns the
    // files written. Raises lodvik::Error when one cannot be written.
    QStringList saveTo(const QString &folder) const;

    QTableWidget *table() const { return m_table; }
    // The folder "Spara per leverantör..." writes to, or "" to leave it (replaceable in tests).
    std::function<QString()> chooseFolder;

private:
    void askAndSave();

    std::vector<planning::ProposalLine> m_lines;
    figures::Period m_period;
    QTableWidget *m_table;
};

} // namespace overview
