#include "overview/CoverageOverviewWindow.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/SafeFile.h"
#include "overview/CoverageChart.h"
#include "overview/CoverageListPrintout.h"
#include "overview/CoverageTableModel.h"
#include "overview/DrillDownDialog.h"
#include "overview/PlanningPanel.h"
#include "overview/UrgencyStyle.h"
#include "reports/ListColumns.h"
#include "reports/ListWriters.h"
#include "ui/WindowLayout.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIODevice>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using planning::Urgency;
using reports::ListColumn;

namespace overview {

namespace {

const char *const TargetKey = "tackningsoversikt/malveckor";

const char *const GeometryKey = "tackningsoversikt/fonster";
const char *const SplitterKey = "tackningsoversikt/delning";
const char *const ColumnsKey = "tackningsoversikt/kolumner";

// The search window's file, ~/.config/lodvikprodsok/lodvikprodsok.conf.
QSettings userSettings() {
    return QSettings(QStringLiteral("lodvikprodsok"), QStringLiteral("lodvikprodsok"));
}

QString thousands(qint64 n) {
    static const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    return swedish.toString(n);
}

// A legend entry: the class's icon and text on its row colour.
QLabel *legendEntry(Urgency urgency, const QString &text, QWidget *parent) {
    auto *label = new QLabel(parent);
    const QColor background = urgencyBackground(urgency);
    label->setText(QStringLiteral("  %1  ").arg(text));
    QPalette palette = label->palette();
    if (background.isValid()) {
        label->setAutoFillBackground(true);
        palette.setColor(QPalette::Window, background);
    }
    if (urgencyForeground(urgency).isValid())
        palette.setColor(QPalette::WindowText, urgencyForeground(urgency));
    label->setPalette(palette);
    label->setFrameShape(QFrame::Box);
    return label;
}

QWidget *legendItem(Urgency urgency, const QString &text, QWidget *parent) {
    auto *item = new QWidget(parent);
    auto *row = new QHBoxLayout(item);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    auto *icon = new QLabel(item);
    const QIcon i = urgencyIcon(urgency);
    if (!i.isNull())
        icon->setPixmap(i.pixmap(16, 16));
    else
        icon->setFixedWidth(16);
    row->addWidget(icon);
    row->addWidget(legendEntry(urgency, text, item));
    return item;
}

} // namespace

int storedTargetWeeks() {
    bool ok = false;
    QVariant stored = userSettings().value(QLatin1String(TargetKey));
    if (!stored.isValid()) // kept in a file of its own by earlier versions
        stored = QSettings(QStringLiteral("LodvikProdSok"), QStringLiteral("lodvikprodsok"))
                     .value(QLatin1String(TargetKey));
    const int weeks = stored.toInt(&ok);
    return ok && weeks >= 1 && weeks <= 104 ? weeks : planning::DefaultTargetWeeks;
}

void storeTargetWeeks(int weeks) {
    QSettings settings = userSettings();
    settings.setValue(QLatin1String(TargetKey), weeks);
}

QString CoverageOverviewWindow::helpText() {
    return QStringLiteral(
        "Beställningsförslag, i hela förpackningar:\n\n"
        "    försäljning per vecka PJ × (ledtid + mål + säkerhetslager i veckor)\n"
        "    + säkerhetslager i förpackningar\n"
        "    − lager totalt (FRN + DP + PJ)\n"
        "    − order PJ (det som är på väg in)\n"
        "    + restorder PJ (det som kunderna väntar på)\n\n"
        "Summan avrundas uppåt till hela förpackningar, sedan uppåt till produktens multipel "
        "och upp till dess minsta order. Blir den 0 eller mindre föreslås inget. Ledtid, "
        "säkerhetslager, multipel och minsta order är produktens planeringsregel (lodvikprodsok "
        "rules --load FIL); utan regel är de 0, 0, 1 och 0. En produkt utan försäljning "
        "(försäljning per vecka PJ tom eller 0) eller markerad som utgått får inget förslag, och "
        "en markerad som beställd inget förrän ordern syns bland order PJ (minst de beställda "
        "förpackningarna). Alla värden är körningens egna, desamma som i täckningsarbetsboken "
        "(kolumnerna O, G, L och J). Att beställa, summorna per leverantör och inköpsförslaget "
        "utan valda rader räknar samma produkter.\n\n"
        "Färgerna följer täckningen i veckor (lager totalt ÷ försäljning per vecka PJ, "
        "arbetsbokens kolumn H) mot målet:\n"
        "    röd, !!: under halva målet\n"
        "    gul, !: under målet\n"
        "    grå, streck: ingen försäljning\n"
        "    vit: når målet\n\n"
        "Dubbelklicka på en produkt för att se hur varje värde räknades fram. Målet sparas "
        "till nästa gång.");
}

CoverageOverviewWindow::CoverageOverviewWindow(const QString &localDatabase,
                                               const QString &saveFolder, QWidget *parent)
    : QWidget(parent, Qt::Window), m_localDatabase(localDatabase), m_saveFolder(saveFolder),
      m_model(new CoverageTableModel(this)), m_proxy(new CoverageFilterModel(this)) {
    setWindowTitle(QStringLiteral("Täckningsöversikt"));
    m_model->setTargetWeeks(storedTargetWeeks());
    m_proxy->setCoverageModel(m_model);

    auto *layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    layout->addWidget(m_heading);

    auto *controls = new QHBoxLayout;
    auto *searchLabel = new QLabel(QStringLiteral("S&ök:"), this);
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("produktnummer eller benämning"));
    m_search->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_search);
    controls->addWidget(searchLabel);
    controls->addWidget(m_search, 1);
    m_onlyBelow = new QCheckBox(QStringLiteral("visa bara under &mål"), this);
    controls->addWidget(m_onlyBelow);
    auto *targetLabel = new QLabel(QStringLiteral("Må&l (veckor):"), this);
    m_target = new QSpinBox(this);
    m_target->setRange(1, 104);
    m_target->setValue(m_model->targetWeeks());
    targetLabel->setBuddy(m_target);
    controls->addWidget(targetLabel);
    controls->addWidget(m_target);
    auto *save = new QPushButton(QStringLiteral("&Spara lista..."), this);
    auto *print = new QPushButton(QStringLiteral("Skriv &ut..."), this);
    auto *help = new QPushButton(QStringLiteral("&Hjälp"), this);
    auto *changes = new QPushButton(QStringLiteral("Sedan förra &körningen..."), this);
    controls->addWidget(changes);
    controls->addWidget(save);
    controls->addWidget(print);
    controls->addWidget(help);
    layout->addLayout(controls);

    m_planning = new PlanningPanel(this);
    layout->addWidget(m_planning);

    auto *legend = new QHBoxLayout;
    legend->addWidget(new QLabel(QStringLiteral("Täckning mot målet:"), this));
    legend->addWidget(legendItem(Urgency::Urgent, QStringLiteral("under halva målet"), this));
    legend->addWidget(legendItem(Urgency::BelowTarget, QStringLiteral("under målet"), this));
    legend->addWidget(legendItem(Urgency::NoSales, QStringLiteral("ingen försäljning"), this));
    legend->addWidget(legendItem(Urgency::Plain, QStringLiteral("når målet"), this));
    legend->addStretch(1);
    layout->addLayout(legend);

    auto *splitter = m_splitter = new QSplitter(Qt::Horizontal, this);
    m_view = new QTableView(splitter);
    m_view->setModel(m_proxy);
    m_view->setSortingEnabled(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setHighlightSections(false);
    // Each column as wide as its heading or its widest text, whichever is wider.
    const QFontMetrics metrics = m_view->fontMetrics();
    for (int c = 0; c < reports::ShownColumnCount; ++c) {
        const reports::ListColumnInfo &info = reports::listColumn(ListColumn(c));
        int width = metrics.horizontalAdvance(QString::fromUtf8(info.heading));
        if (info.widest)
            width = std::max(width, metrics.horizontalAdvance(QString::fromUtf8(info.widest)));
        if (ListColumn(c) == ListColumn::Status)
            width += 16; // the class's icon
        m_view->setColumnWidth(c, width + 28);
    }
    // The columns a decision is made on first; the rest follow in the list's order.
    const ListColumn decisions[] = {ListColumn::Status,      ListColumn::Product,
                                    ListColumn::Description, ListColumn::Cover,
                                    ListColumn::Suggestion,  ListColumn::OrderUrgency,
                                    ListColumn::OrderBy,     ListColumn::Mark};
    QHeaderView *header = m_view->horizontalHeader();
    for (int place = 0; place < int(std::size(decisions)); ++place)
        header->moveSection(header->visualIndex(int(decisions[place])), place);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            &CoverageOverviewWindow::showColumnMenu);
    m_view->sortByColumn(int(ListColumn::Cover), Qt::AscendingOrder);
    m_chart = new CoverageChart(m_proxy, splitter);
    splitter->addWidget(m_view);
    splitter->addWidget(m_chart);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({800, 540});
    layout->addWidget(splitter, 1);

    m_total = new QLabel(this);
    QFont bold = m_total->font();
    bold.setBold(true);
    m_total->setFont(bold);
    layout->addWidget(m_total);

    // The filter follows each letter at once; letters typed while it works are taken together.
    m_filterDelay.setSingleShot(true);
    m_filterDelay.setInterval(0);
    connect(&m_filterDelay, &QTimer::timeout, this,
            [this] { m_proxy->setSearchText(m_search->text()); });
    connect(m_search, &QLineEdit::textChanged, this, [this] { m_filterDelay.start(); });
    connect(m_onlyBelow, &QCheckBox::toggled, m_proxy, &CoverageFilterModel::setOnlyBelowTarget);
    connect(m_target, qOverload<int>(&QSpinBox::valueChanged), this,
            &CoverageOverviewWindow::setTargetWeeks);
    connect(m_view, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { showSources(m_proxy->mapToSource(index).row()); });
    connect(m_chart, &CoverageChart::productClicked, this,
            &CoverageOverviewWindow::selectSourceRow);
    connect(save, &QPushButton::clicked, this, &CoverageOverviewWindow::askAndSaveList);
    connect(changes, &QPushButton::clicked, this, &CoverageOverviewWindow::showChanges);
    connect(print, &QPushButton::clicked, this, &CoverageOverviewWindow::printList);
    connect(help, &QPushButton::clicked, this, [this] {
        QMessageBox::information(this, QStringLiteral("Täckningsöversikt – hjälp"), helpText());
    });
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &CoverageOverviewWindow::updateTotal);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this,
            &CoverageOverviewWindow::updateTotal);
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &CoverageOverviewWindow::updateTotal);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &CoverageOverviewWindow::updateTotal);
    connect(m_proxy, &QAbstractItemModel::dataChanged, this, &CoverageOverviewWindow::updateTotal);

    chooseListFile = [this](const QString &suggested) {
        QString filter;
        QString file = QFileDialog::getSaveFileName(
            this, QStringLiteral("Spara lista"), suggested,
            QStringLiteral("Arbetsbok (*.xls);;CSV-fil (*.csv)"), &filter);
        if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty())
            file += filter.contains(QStringLiteral("csv")) ? QStringLiteral(".csv")
                                                           : QStringLiteral(".xls");
        return file;
    };
    // Enter and Space show how the selected product's cells came about; Escape closes.
    m_view->installEventFilter(this);
    showRun({}, std::nullopt);
    // Fit the screen: on 1280×1024 and 1366×768 every button and the suggestion stay in view.
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1400, 900);
    resize(std::min(1400, screen.width() * 19 / 20), std::min(900, screen.height() * 9 / 10));
    move(screen.center() - rect().center());
    const QSettings settings = userSettings();
    restoreGeometry(settings.value(QLatin1String(GeometryKey)).toByteArray());
    m_splitter->restoreState(settings.value(QLatin1String(SplitterKey)).toByteArray());
    header->restoreState(settings.value(QLatin1String(ColumnsKey)).toByteArray());
}

void CoverageOverviewWindow::showChanges() {
    if (!m_period || !openHistory)
        return;
    auto *dialog = new ChangesDialog(openHistory, m_period->text(), salesChangeShare, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void CoverageOverviewWindow::keyPressEvent(QKeyEvent *event) {
    // What the list and the boxes leave unused, Escape among it, reaches the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool CoverageOverviewWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = m_view->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            current.isValid()) {
            showSources(m_proxy->mapToSource(current).row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CoverageOverviewWindow::closeEvent(QCloseEvent *event) {
    QSettings settings = userSettings();
    settings.setValue(QLatin1String(GeometryKey), saveGeometry());
    settings.setValue(QLatin1String(SplitterKey), m_splitter->saveState());
    settings.setValue(QLatin1String(ColumnsKey), m_view->horizontalHeader()->saveState());
    QWidget::closeEvent(event);
}

CoverageOverviewWindow::~CoverageOverviewWindow() = default;

void CoverageOverviewWindow::setRun(std::vector<reports::CoverageRow> rows,
                                    const figures::Period &period) {
    m_model->setPeriod(period);
    showRun(std::move(rows), period);
}

void CoverageOverviewWindow::showRun(std::vector<reports::CoverageRow> rows,
                                     const std::optional<figures::Period> &period) {
    m_period = period;
    const size_t count = rows.size();
    m_model->setRows(std::move(rows));
    m_planning->runChanged();
    const QString text = figures::periodText(period);
    m_heading->setText(QStringLiteral("<b>Täckningsöversikt</b> &nbsp; period %1 &nbsp; "
                                      "%2 produkter i körningen")
                           .arg(text.toHtmlEscaped(), thousands(qint64(count))));
    setWindowTitle(QStringLiteral("Täckningsöversikt %1").arg(text));
    updateTotal();
}

const figures::Period &CoverageOverviewWindow::period() const {
    if (!m_period)
        throw lodvik::Error(QStringLiteral("Täckningsöversikten visar ingen körning ännu."));
    return *m_period;
}

void CoverageOverviewWindow::setTargetWeeks(int weeks) {
    if (m_target->value() != weeks)
        m_target->setValue(weeks); // comes back here through the box's signal
    if (weeks == m_model->targetWeeks())
        return;
    m_model->setTargetWeeks(weeks);
    m_proxy->targetChanged();
    storeTargetWeeks(weeks);
    updateTotal();
}

int CoverageOverviewWindow::targetWeeks() const {
    return m_model->targetWeeks();
}

std::vector<const reports::CoverageRow *> CoverageOverviewWindow::visibleRows() const {
    std::vector<const reports::CoverageRow *> rows;
    for (int sourceRow : m_proxy->visibleSourceRows())
        rows.push_back(&m_model->row(sourceRow));
    return rows;
}

std::pair<qint64, int> CoverageOverviewWindow::totalToOrder() const {
    const planning::OrderTotal total = m_model->orderTotal(m_proxy->visibleSourceRows());
    return {total.packs, total.products};
}

std::vector<int> CoverageOverviewWindow::shownColumns() const {
    const QHeaderView *header = m_view->horizontalHeader();
    std::vector<int> columns;
    for (int place = 0; place < header->count(); ++place)
        if (const int c = header->logicalIndex(place); !header->isSectionHidden(c))
            columns.push_back(c);
    return columns;
}

void CoverageOverviewWindow::setColumnShown(int column, bool shown) {
    if (column == int(ListColumn::Product) || column < 0 || column >= m_model->columnCount())
        return; // a row without its product number would be nobody's
    m_view->horizontalHeader()->setSectionHidden(column, !shown);
}

void CoverageOverviewWindow::showColumnMenu(const QPoint &at) {
    // Every column by its heading, in the order shown; the printout follows the choice.
    const QHeaderView *header = m_view->horizontalHeader();
    QMenu menu(this);
    for (int place = 0; place < header->count(); ++place) {
        const int c = header->logicalIndex(place);
        QAction *action =
            menu.addAction(m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                           [this, c](bool checked) { setColumnShown(c, checked); });
        action->setCheckable(true);
        action->setChecked(!header->isSectionHidden(c));
        action->setEnabled(c != int(ListColumn::Product));
    }
    menu.addSeparator();
    menu.addAction(QStringLiteral("Visa alla kolumner"), [this] {
        for (int c = 0; c < m_model->columnCount(); ++c)
            setColumnShown(c, true);
    });
    menu.exec(header->viewport()->mapToGlobal(at));
}

void CoverageOverviewWindow::updateTotal() {
    const planning::OrderTotal total = m_model->orderTotal(m_proxy->visibleSourceRows());
    m_total->setText(QStringLiteral("Att beställa: %1 förp. för %2 produkter  (%3 visade av %4)")
                         .arg(thousands(total.packs), thousands(total.products),
                              thousands(m_proxy->rowCount()), thousands(m_model->rowCount())));
    m_planning->showTotals(total);
}

void CoverageOverviewWindow::saveList(const QString &fileName) const {
    const std::vector<const reports::CoverageRow *> rows = visibleRows();
    if (QFileInfo(fileName).suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0) {
        const QByteArray csv =
            reports::swedishListCsv(rows, period(), targetWeeks(), m_model->today());
        lodvik::saveFile(fileName,
                         QStringLiteral("Listan %1").arg(QDir::toNativeSeparators(fileName)),
                         [&](QIODevice &device) { device.write(csv); });
        return;
    }
    reports::saveCoverageListWorkbook(rows, period(), targetWeeks(), fileName, m_model->today());
}

void CoverageOverviewWindow::askAndSaveList() {
    const QString file = chooseListFile(
        QDir(m_saveFolder)
            .filePath(
                QStringLiteral("Tackningsoversikt%1.xls").arg(figures::periodText(m_period))));
    if (file.isEmpty())
        return;
    try {
        {
            BusyCursorScope busy;
            saveList(file);
        }
        announceWrittenFile(this, QStringLiteral("Spara lista"),
                            QStringLiteral("Listan är sparad i"), file);
    } catch (const lodvik::Error &e) {
        QMessageBox::warning(this, QStringLiteral("Spara lista"), e.message());
    }
}

void CoverageOverviewWindow::selectSourceRow(int sourceRow) {
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(sourceRow, 0));
    if (!index.isValid())
        return;
    m_view->selectRow(index.row());
    m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
    m_view->setFocus();
}

void CoverageOverviewWindow::showSources(int sourceRow) {
    if (sourceRow < 0 || sourceRow >= m_model->rowCount())
        return;
    const reports::CoverageRow &row = m_model->row(sourceRow);
    // The history's failure is told in its tab: how the cells came about is still worth reading.
    std::vector<planning::SeriesPoint> history;
    QString problem;
    try {
        if (openHistory) {
            const auto kept = openHistory();
            QStringList unreadable;
            history = kept->series(row.product, unreadable);
            problem = kept->unreadableNotice(unreadable);
        }
    } catch (const lodvik::Error &e) {
        problem = QStringLiteral("Historiken kunde inte läsas: %1").arg(e.message());
    }
    DrillDownDialog dialog(m_localDatabase, period(), row, targetWeeks(), history, problem, this);
    dialog.exec();
}

void CoverageOverviewWindow::printList() {
    auto *preview = new CoverageListPreview(this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    try {
        BusyCursorScope busy;
        printCoverageList(preview->engine(), visibleRows(), period(), targetWeeks(), shownColumns(),
                          m_model->today());
    } catch (const lodvik::Error &e) {
        delete preview;
        QMessageBox::warning(this, QStringLiteral("Skriv ut"), e.message());
        return;
    }
    preview->showDocument();
    preview->show();
}

} // namespace overview
