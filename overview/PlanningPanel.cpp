#include "overview/PlanningPanel.h"

#include "MDlib/Error.h"
#include "overview/CoverageOverviewWindow.h"
#include "overview/CoverageTableModel.h"
#include "reports/ProposalFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <set>

namespace overview {

namespace {

// The combo box's entry for every product, and for those without a supplier or group.
const QString allEntry = QStringLiteral("alla");
const QString noneEntry = QStringLiteral("(ingen)");

void fillChoices(QComboBox *box, const std::set<QString> &values) {
    const QString current = box->currentText();
    box->blockSignals(true);
    box->clear();
    box->addItem(allEntry);
    box->addItem(noneEntry, QString(QLatin1String("")));
    for (const QString &v : values)
        if (!v.isEmpty())
            box->addItem(v, v);
    box->setCurrentIndex(std::max(0, box->findText(current)));
    box->blockSignals(false);
}

// A null text for "alla", else the value the rows must hold.
QString choice(const QComboBox *box) {
    return box->currentIndex() <= 0 ? QString() : box->currentData().toString();
}

} // namespace

PlanningPanel::PlanningPanel(CoverageOverviewWindow *window)
    : QWidget(window), m_window(window), m_supplier(new QComboBox(this)),
      m_group(new QComboBox(this)), m_totals(new QLabel(this)) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *supplierLabel = new QLabel(QStringLiteral("Le&verantör:"), this);
    supplierLabel->setBuddy(m_supplier);
    auto *groupLabel = new QLabel(QStringLiteral("Varu&grupp:"), this);
    groupLabel->setBuddy(m_group);
    auto *rule = new QPushButton(QStringLiteral("&Regel..."), this);
    rule->setToolTip(QStringLiteral("Planeringsregeln för de valda produkterna"));
    auto *ordered = new QPushButton(QStringLiteral("Beställd..."), this);
    ordered->setToolTip(QStringLiteral("Markera de valda produkterna som beställda för perioden"));
    auto *discontinued = new QPushButton(QStringLiteral("Utgått"), this);
    discontinued->setToolTip(
        QStringLiteral("Markera de valda produkterna som utgångna: inget förslag"));
    auto *unmark = new QPushButton(QStringLiteral("Ta bort markering"), this);
    auto *proposal = new QPushButton(QStringLiteral("&Inköpsförslag..."), this);
    proposal->setToolTip(QStringLiteral("De valda produkterna, eller alla visade under målet, "
                                        "per leverantör"));
    for (QWidget *w :
         std::initializer_list<QWidget *>{supplierLabel, m_supplier, groupLabel, m_group, rule,
                                          ordered, discontinued, unmark, proposal})
        layout->addWidget(w);
    layout->addWidget(m_totals, 1);
    m_totals->setWordWrap(true);
    // The boxes widen as a rule brings a longer name, up to a width that leaves the buttons room.
    for (QComboBox *box : {m_supplier, m_group}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMaximumWidth(box->fontMetrics().averageCharWidth() * 32);
    }
    fillChoices(m_supplier, {});
    fillChoices(m_group, {});

    connect(m_supplier, &QComboBox::currentIndexChanged, this,
            [this] { m_window->shownRows()->setSupplier(choice(m_supplier)); });
    connect(m_group, &QComboBox::currentIndexChanged, this,
            [this] { m_window->shownRows()->setGroup(choice(m_group)); });
    connect(rule, &QPushButton::clicked, this, &PlanningPanel::editRule);
    connect(ordered, &QPushButton::clicked, this,
            [this] { askAndMark(PlanningMark::Kind::Ordered); });
    connect(discontinued, &QPushButton::clicked, this,
            [this] { askAndMark(PlanningMark::Kind::Discontinued); });
    connect(unmark, &QPushButton::clicked, this, [this] { askAndMark(std::nullopt); });
    connect(proposal, &QPushButton::clicked, this, &PlanningPanel::openProposal);
}

void PlanningPanel::runChanged() {
    std::set<QString> suppliers;
    std::set<QString> groups;
    for (const reports::CoverageRow &row : m_window->shownRows()->coverageModel()->rows()) {
        suppliers.insert(row.rule.supplier);
        groups.insert(row.rule.group);
    }
    fillChoices(m_supplier, suppliers);
    fillChoices(m_group, groups);
    m_window->shownRows()->setSupplier(choice(m_supplier));
    m_window->shownRows()->setGroup(choice(m_group));
    updateTotals();
}

void PlanningPanel::updateTotals() {
    showTotals(planning::orderTotal(m_window->visibleRows(), m_window->targetWeeks()));
}

void PlanningPanel::showTotals(const planning::OrderTotal &total) {
    QStringList parts;
    for (const auto &[supplier, packs] : total.bySupplier)
        parts << QStringLiteral("%1 %2").arg(supplier.isEmpty() ? noneEntry : supplier).arg(packs);
    m_totals->setText(parts.isEmpty()
                          ? QString()
                          : QStringLiteral("Per leverantör: ") + parts.join(QStringLiteral(", ")));
}

void PlanningPanel::markSelected(std::optional<PlanningMark::Kind> kind,
                                 std::optional<double> packs) {
    if (!openStore)
        throw lodvik::Error(QStringLiteral("Markeringarna kan inte sparas här."));
    CoverageTableModel *model = m_window->shownRows()->coverageModel();
    const std::unique_ptr<PlanningStore> store = openStore();
    for (const int row : selectedRows()) {
        std::optional<PlanningMark> mark;
        if (kind == PlanningMark::Kind::Discontinued)
            mark = PlanningMark{*kind, {}, 0};
        else if (kind)
            mark = PlanningMark{*kind, QDate::currentDate(),
                                packs.value_or(double(planning::reorderSuggestion(
                                                          model->row(row), m_window->targetWeeks())
                                                          .value_or(0)))};
        store->setMark(m_window->period().text(), model->row(row).product, mark);
        model->setMark(row, mark);
    }
    updateTotals();
}

void PlanningPanel::askAndMark(std::optional<PlanningMark::Kind> kind) {
    const QModelIndexList selected = m_window->view()->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Markera"),
                                 QStringLiteral("Välj först de produkter som ska markeras."));
        return;
    }
    std::optional<double> packs;
    if (kind == PlanningMark::Kind::Ordered && selected.size() == 1) {
        const reports::CoverageRow &row = m_window->shownRows()->coverageModel()->row(
            m_window->shownRows()->mapToSource(selected.first()).row());
        bool ok = false;
        packs = QInputDialog::getDouble(
            this, QStringLiteral("Beställd"),
            QStringLiteral("Beställda förpackningar av %1:").arg(row.product),
            std::max(1.0,
                     double(planning::reorderSuggestion(row, m_window->targetWeeks()).value_or(0))),
            1, MostMarkedPacks, 0, &ok);
        if (!ok)
            return;
    }
    try {
        markSelected(kind, packs);
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, QStringLiteral("Markera"), e.message());
    }
}

std::vector<int> PlanningPanel::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex &index : m_window->view()->selectionModel()->selectedRows())
        rows.push_back(m_window->shownRows()->mapToSource(index).row());
    return rows;
}

void PlanningPanel::setRuleOfSelected(const PlanningRule &rule) {
    if (!openStore)
        throw lodvik::Error(QStringLiteral("Planeringsreglerna kan inte sparas här."));
    CoverageTableModel *model = m_window->shownRows()->coverageModel();
    const std::vector<int> rows = selectedRows();
    PlanningRules rules;
    for (const int row : rows)
        rules[model->row(row).product] = rule;
    openStore()->setRules(rules);
    for (const int row : rows)
        model->setRule(row, rule);
    runChanged(); // a new supplier or group among the choices
}

void PlanningPanel::editRule() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        QMessageBox::information(this, QStringLiteral("Regel"),
                                 QStringLiteral("Välj först de produkter som regeln gäller."));
        return;
    }
    const PlanningRule current = m_window->shownRows()->coverageModel()->row(rows.front()).rule;
    QDialog dialog(this);
    dialog.setWindowTitle(
        rows.size() == 1
            ? QStringLiteral("Planeringsregel för %1")
                  .arg(m_window->shownRows()->coverageModel()->row(rows.front()).product)
            : QStringLiteral("Planeringsregel för %1 produkter").arg(rows.size()));
    auto *form = new QFormLayout(&dialog);
    const auto weeks = [&](double value) {
        auto *box = new QDoubleSpinBox(&dialog);
        box->setRange(0, 520);
        box->setDecimals(1);
        box->setValue(value);
        return box;
    };
    const auto packs = [&](qint64 value, int least) {
        auto *box = new QSpinBox(&dialog);
        box->setRange(least, 1000000);
        box->setValue(int(value));
        return box;
    };
    QDoubleSpinBox *lead = weeks(current.leadTimeWeeks);
    QDoubleSpinBox *safetyWeeks = weeks(current.safetyWeeks);
    QDoubleSpinBox *safetyPacks = weeks(current.safetyPacks);
    safetyPacks->setRange(0, 1e9);
    QSpinBox *multiple = packs(current.multiple, 1);
    QSpinBox *minimum = packs(current.minimum, 0);
    auto *supplier = new QLineEdit(current.supplier, &dialog);
    auto *group = new QLineEdit(current.group, &dialog);
    form->addRow(QStringLiteral("&Ledtid (veckor):"), lead);
    form->addRow(QStringLiteral("&Säkerhetslager (veckor):"), safetyWeeks);
    form->addRow(QStringLiteral("Säkerhetslager (&förp.):"), safetyPacks);
    form->addRow(QStringLiteral("&Multipel (förp.):"), multiple);
    form->addRow(QStringLiteral("M&insta order (förp.):"), minimum);
    form->addRow(QStringLiteral("Le&verantör:"), supplier);
    form->addRow(QStringLiteral("Varu&grupp:"), group);
    // The trend comes from the kept runs when the run is made, so it counts from the next one.
    auto *followTrend =
        new QCheckBox(QStringLiteral("Följ &trenden (från nästa täckningskörning)"), &dialog);
    followTrend->setChecked(current.followTrend);
    form->addRow(followTrend);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    try {
        setRuleOfSelected({lead->value(), safetyWeeks->value(), safetyPacks->value(),
                           multiple->value(), minimum->value(), supplier->text().trimmed(),
                           group->text().trimmed(), followTrend->isChecked()});
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, QStringLiteral("Regel"), e.message());
    }
}

std::vector<planning::ProposalLine> PlanningPanel::proposalRows() const {
    CoverageFilterModel *shown = m_window->shownRows();
    const QModelIndexList selected = m_window->view()->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return planning::proposalLines(m_window->visibleRows(), m_window->targetWeeks());
    std::vector<const reports::CoverageRow *> rows;
    for (const int r : selectedRows())
        rows.push_back(&shown->coverageModel()->row(r));
    return planning::proposalLines(rows, m_window->targetWeeks());
}

void PlanningPanel::openProposal() {
    std::vector<planning::ProposalLine> lines = proposalRows();
    if (lines.empty()) {
        QMessageBox::information(this, QStringLiteral("Inköpsförslag"),
                                 QStringLiteral("Inga produkter med förslag bland de valda "
                                                "(eller, utan val, bland de visade)."));
        return;
    }
    ProposalDialog dialog(std::move(lines), m_window->period(), this);
    dialog.exec();
}

// ---- ProposalDialog -----------------------------------------------------------------------

ProposalDialog::ProposalDialog(std::vector<planning::ProposalLine> lines,
                               const figures::Period &period, QWidget *parent)
    : QDialog(parent), m_lines(std::move(lines)), m_period(period),
      m_table(new QTableWidget(int(m_lines.size()), 4, this)) {
    setWindowTitle(QStringLiteral("Inköpsförslag %1").arg(period.text()));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Ändra antalet förpackningar där det behövs "
                                                "(0 tar bort raden) och spara per leverantör."),
                                 this));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Leverantör"), QStringLiteral("Produkt"),
                                        QStringLiteral("Benämning"),
                                        QStringLiteral("Antal förp.")});
    m_table->verticalHeader()->hide();
    for (int r = 0; r < int(m_lines.size()); ++r) {
        const planning::Item &row = *m_lines[size_t(r)].row;
        const QStringList texts{row.rule.supplier, row.product, row.description};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(texts[c]);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            m_table->setItem(r, c, item);
        }
        auto *packs = new QTableWidgetItem;
        packs->setData(Qt::EditRole, qlonglong(m_lines[size_t(r)].packs));
        m_table->setItem(r, 3, packs);
    }
    m_table->resizeColumnsToContents();
    layout->addWidget(m_table, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto *save = buttons->addButton(QStringLiteral("&Spara per leverantör..."),
                                    QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, &ProposalDialog::askAndSave);
    resize(760, 480);

    chooseFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Spara inköpsförslaget i"));
    };
}

std::vector<planning::ProposalLine> ProposalDialog::lines() const {
    std::vector<planning::ProposalLine> edited;
    for (int r = 0; r < int(m_lines.size()); ++r) {
        const qint64 packs = m_table->item(r, 3)->data(Qt::EditRole).toLongLong();
        if (packs > 0)
            edited.push_back({m_lines[size_t(r)].row, packs});
    }
    return edited;
}

QStringList ProposalDialog::saveTo(const QString &folder) const {
    return reports::saveProposalPerSupplier(lines(), m_period, folder);
}

void ProposalDialog::askAndSave() {
    const QString folder = chooseFolder();
    if (folder.isEmpty())
        return;
    try {
        const QStringList files = saveTo(folder);
        QMessageBox::information(this, QStringLiteral("Inköpsförslag"),
                                 QStringLiteral("Sparat:\n") +
                                     QDir::toNativeSeparators(files.join(QLatin1Char('\n'))));
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, QStringLiteral("Inköpsförslag"), e.message());
    }
}

} // namespace overview
