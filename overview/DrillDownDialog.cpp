#include "overview/DrillDownDialog.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/NumberText.h"
#include "figures/Period.h"
#include "overview/ProductHistory.h"
#include "planning/Planning.h"
#include "reports/CoverageColumns.h"
#include "reports/CoverageRow.h"
#include "reports/CoverageSources.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace overview {

namespace {

// The run's stored cell of a workbook column, as the list shows it.
QString runCell(const reports::CoverageRow &row, char column) {
    const reports::CoverageColumn *c = reports::coverageColumn(column);
    if (!c || !c->number)
        return {};
    const reports::CellNumber &n = row.*c->number;
    return n ? lodvik::swedishNumber(*n) : QString();
}

QString cellNumberText(const QString &cell) {
    double d = 0;
    if (cell.isEmpty() || !lodvik::parseNumber(cell, &d))
        return cell;
    return lodvik::swedishNumber(d);
}

} // namespace

DrillDownDialog::DrillDownDialog(const QString &localDatabase, const figures::Period &period,
                                 const reports::CoverageRow &row, int targetWeeks,
                                 const std::vector<planning::SeriesPoint> &history,
                                 const QString &historyProblem, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Så räknades %1").arg(row.product));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("<b>%1</b> %2<br>Period %3")
                                 .arg(row.product.toHtmlEscaped(), row.description.toHtmlEscaped(),
                                      period.text().toHtmlEscaped()),
                             this);
    layout->addWidget(title);

    auto *tabs = new QTabWidget(this);
    auto *table = new QTableWidget(tabs);
    table->setColumnCount(4);
    table->setHorizontalHeaderLabels({QStringLiteral("Kolumn"), QStringLiteral("Vad"),
                                      QStringLiteral("I körningen"),
                                      QStringLiteral("Så räknas den")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(true);
    table->horizontalHeader()->setStretchLastSection(true);
    tabs->addTab(table, QStringLiteral("Så räknades den"));
    tabs->addTab(new ProductHistory(history, row, targetWeeks, historyProblem, tabs),
                 QStringLiteral("&Historik"));
    layout->addWidget(tabs, 1);

    QString problem;
    QList<reports::CellSource> cells;
    try {
        BusyCursorScope busy;
        cells = reports::coverageCellSources(localDatabase, period, row.product);
    } catch (const lodvik::Error &e) {
        problem = e.message();
    }
    table->setRowCount(int(cells.size()));
    int changed = 0;
    for (int i = 0; i < cells.size(); ++i) {
        const reports::CellSource &cell = cells.at(i);
        const QString inRun = runCell(row, cell.workbookColumn);
        QString how = cell.explanation;
        if (inRun != cellNumberText(cell.cell)) {
            how +=
                QStringLiteral("  (nu %1; extrakten har ändrats sedan körningen)")
                    .arg(cell.cell.isEmpty() ? QStringLiteral("tom") : cellNumberText(cell.cell));
            ++changed;
        }
        table->setItem(i, 0, new QTableWidgetItem(QString(QLatin1Char(cell.workbookColumn))));
        table->setItem(i, 1, new QTableWidgetItem(cell.heading));
        auto *value = new QTableWidgetItem(inRun);
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(i, 2, value);
        table->setItem(i, 3, new QTableWidgetItem(how));
    }
    table->resizeColumnsToContents();
    table->resizeRowsToContents();

    QString foot = planning::suggestionExplanation(row, targetWeeks);
    if (!problem.isEmpty())
        foot = QStringLiteral("Källorna kunde inte läsas: %1\n\n").arg(problem) + foot;
    else if (changed)
        foot +=
            QStringLiteral("\n\n%1 celler räknas i dag till annat än i körningen.").arg(changed);
    auto *suggestion = new QLabel(foot, this);
    suggestion->setWordWrap(true);
    suggestion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(suggestion);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Stäng"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(980, 520);
}

} // namespace overview
