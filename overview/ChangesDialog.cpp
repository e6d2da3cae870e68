#include "overview/ChangesDialog.h"

#include "MDlib/Error.h"
#include "MDlib/NumberText.h"
#include "planning/HistoryChanges.h"
#include "planning/RunHistory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <QSet>

namespace overview {

namespace {

QString shown(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Double:
        return lodvik::swedishNumber(value.toDouble());
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    default:
        return value.toString();
    }
}

} // namespace

ChangesDialog::ChangesDialog(OpenHistory openHistory, const QString &period, double salesShare,
                             QWidget *parent)
    : QDialog(parent), m_openHistory(std::move(openHistory)), m_period(period),
      m_salesShare(salesShare) {
    setWindowTitle(QStringLiteral("Sedan förra körningen – %1").arg(period));
    auto *layout = new QVBoxLayout(this);
    auto *controls = new QHBoxLayout;
    auto *sinceLabel = new QLabel(QStringLiteral("&Jämför med körningen:"), this);
    m_since = new QComboBox(this);
    sinceLabel->setBuddy(m_since);
    m_onlyChanged = new QCheckBox(QStringLiteral("visa bara ä&ndrade"), this);
    m_onlyChanged->setChecked(true);
    controls->addWidget(sinceLabel);
    controls->addWidget(m_since);
    controls->addWidget(m_onlyChanged);
    controls->addStretch(1);
    layout->addLayout(controls);
    m_table = new QTableWidget(0, 5, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Produkt"), QStringLiteral("Benämning"),
                                        QStringLiteral("Ändring"), QStringLiteral("Före"),
                                        QStringLiteral("Efter")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);
    auto *close = new QPushButton(QStringLiteral("St&äng"), this);
    layout->addWidget(close, 0, Qt::AlignRight);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(900, 560);

    try {
        const auto history = m_openHistory();
        const auto kept = history->snapshots();
        for (auto info = kept.rbegin(); info != kept.rend(); ++info)
            if (info->period < period)
                m_since->addItem(info->period);
    } catch (const lodvik::Error &e) {
        m_table->setDisabled(true);
        QMessageBox::warning(parent, windowTitle(), e.message());
    }
    connect(m_since, &QComboBox::currentIndexChanged, this, &ChangesDialog::compare);
    connect(m_onlyChanged, &QCheckBox::toggled, this, &ChangesDialog::compare);
    compare();
}

ChangesDialog::~ChangesDialog() = default;

void ChangesDialog::compare() {
    m_table->setRowCount(0);
    if (m_since->currentIndex() < 0) {
        m_table->setRowCount(1);
        m_table->setSpan(0, 0, 1, 5);
        m_table->setItem(0, 0,
                         new QTableWidgetItem(QStringLiteral("Ingen tidigare körning är sparad "
                                                             "att jämföra med.")));
        return;
    }
    m_table->clearSpans();
    std::vector<planning::Change> changes;
    std::optional<planning::Snapshot> later;
    try {
        const auto history = m_openHistory();
        later = history->read(m_period);
        const auto earlier = history->read(m_since->currentText());
        if (!later || !earlier)
            throw lodvik::Error(QStringLiteral("Körningen %1 finns inte längre i historiken.")
                                    .arg(later ? m_since->currentText() : m_period));
        changes = planning::changesBetween(*earlier, *later, m_salesShare);
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, windowTitle(), e.message());
        return;
    }
    const auto add = [&](const QString &product, const QString &description,
                         const QStringList &rest) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        QStringList cells{product, description};
        cells += rest;
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    };
    // Unchanged products in the run's order among the changed, when they are shown.
    QSet<QString> changed;
    for (const planning::Change &c : changes)
        changed.insert(c.product);
    size_t next = 0;
    for (const planning::SnapshotRow &row : later->rows) {
        if (!changed.contains(row.product)) {
            if (!m_onlyChanged->isChecked())
                add(row.product, row.description, {});
            continue;
        }
        for (; next < changes.size() && changes[next].product == row.product; ++next)
            add(row.product, row.description,
                {planning::changeText(changes[next].kind), shown(changes[next].before),
                 shown(changes[next].after)});
    }
    for (; next < changes.size(); ++next) // the vanished
        add(changes[next].product, changes[next].description,
            {planning::changeText(changes[next].kind), shown(changes[next].before),
             shown(changes[next].after)});
    m_table->resizeColumnsToContents();
}

} // namespace overview
