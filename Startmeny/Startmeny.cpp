#include "Startmeny/Startmeny.h"

#include "Startmeny/BackgroundWork.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Twips.h"
#include "Startmeny/Desktop.h"
#include "planning/HistorySettings.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"
#include "ui/WindowLayout.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include <utility>

// Resources of a static library must be pulled in by name, outside any namespace.
static void initStartmenyResources() {
    Q_INIT_RESOURCE(Startmeny);
}

namespace {

QFont designFont(bool bold) {
    // The design font is often missing on Linux; Qt then picks the nearest sans serif.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

// The two options share one font size: where the stand-in font is wider than the design's, the
// longer caption would otherwise be set smaller than the other.
void fitOptionCaptions(QRadioButton *first, QRadioButton *second) {
    QFont font = first->font();
    for (QRadioButton *option : {first, second}) {
        const QStyle *style = option->style();
        const int indicator =
            style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option) +
            style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option);
        const QFont fitted = fittedFont(option, option->text(), option->width() - indicator - 4);
        if (fitted.pointSizeF() < font.pointSizeF())
            font = fitted;
    }
    first->setFont(font);
    second->setFont(font);
}

// The key code of a key press as the handlers take it: 13 for Enter, the character otherwise.
int keyAscii(const QKeyEvent *event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return 13;
    const QString text = event->text();
    return text.isEmpty() ? 0 : text.at(0).unicode();
}

// The grid's cell editor holds at most 50 characters. Enter in it reaches the grid's own key
// handler, as the editor leaves that key to its parent.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setMaxLength(DataControl::maxCellLength);
        return editor;
    }
};

} // namespace

Startmeny::Startmeny(const QString &appPath, QWidget *parent)
    : QMainWindow(parent), m_appPath(appPath) {
    initStartmenyResources();
    setWindowTitle(QStringLiteral("Sökningsbild"));
    setFont(designFont(true));
    setWindowIcon(programIcon());
    createControls();
    createMenus();
    // The client area keeps its design size below the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
}

Startmeny::~Startmeny() {
    // The data control's open query must go before the connection it runs on.
    delete Data1;
    Data1 = nullptr;
    m_source.reset();
}

void Startmeny::createControls() {
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsRect(0, 0, 9840, 8280).size());
    setCentralWidget(client);

    Picture1 = new QLabel(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(240, 4560, 3075, 3435));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/Startmeny/logo.png")));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setFrameShape(QFrame::Panel);
    Picture1->setFrameShadow(QFrame::Sunken);
    Picture1->setFocusPolicy(Qt::StrongFocus); // the picture box takes the focus in its turn

    // The frame only draws the box; the option buttons lie beside it on the window, above it.
    Sökningstyp = new QGroupBox(QStringLiteral("Sökningstyp"), client);
    Sökningstyp->setObjectName(QStringLiteral("Sökningstyp"));
    Sökningstyp->setGeometry(twipsRect(300, 420, 2655, 1215));
    // The caption on the frame's top line, as the design draws it, not above a line of its own
    // that would run close to the first option.
    Sökningstyp->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; "
        "margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));

    Soklagerplats = new QRadioButton(QStringLiteral("Namn sökning"), client);
    Soklagerplats->setObjectName(QStringLiteral("Soklagerplats"));
    Soklagerplats->setGeometry(twipsRect(420, 960, 2295, 495));
    Soklagerplats->setFont(designFont(false));
    Sokprodukt = new QRadioButton(QStringLiteral("Produktnummer sökning"), client);
    Sokprodukt->setObjectName(QStringLiteral("Sokprodukt"));
    Sokprodukt->setGeometry(twipsRect(420, 600, 2175, 495));
    Sokprodukt->setFont(designFont(false));
    auto *searchKind = new QButtonGroup(this);
    searchKind->addButton(Sokprodukt);
    searchKind->addButton(Soklagerplats);
    Soklagerplats->setChecked(true);
    Sokprodukt->raise();
    Soklagerplats->raise();
    fitOptionCaptions(Sokprodukt, Soklagerplats);

    periodtxt = new QLineEdit(client);
    periodtxt->setObjectName(QStringLiteral("periodtxt"));
    periodtxt->setGeometry(twipsRect(120, 3120, 3435, 285));
    periodtxt->setFont(designFont(false));

    // Sized for the title; the long operations' captions are set smaller or cut to fit.
    Label2 = new FittedLabel(QStringLiteral("Produktsökning"), client);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(3480, 240, 4455, 615));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSizeF(21.75);
    titleFont.setBold(true);
    Label2->setFont(titleFont);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette black = Label2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label2->setPalette(black);

    periodtx = new QLabel(QStringLiteral("Söktext"), client);
    periodtx->setObjectName(QStringLiteral("periodtx"));
    periodtx->setGeometry(twipsRect(480, 2760, 2415, 255));
    periodtx->setFont(designFont(false));
    periodtx->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // The period date of the reports, in the free room between the frame and the search text.
    periodLabel = new QLabel(QStringLiteral("&Period (ÅÅÅÅ-MM-DD)"), client);
    periodLabel->setObjectName(QStringLiteral("periodLabel"));
    periodLabel->setGeometry(twipsRect(120, 1860, 3435, 255));
    periodLabel->setFont(designFont(false));
    periodLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    datumtxt = new QLineEdit(client);
    datumtxt->setObjectName(QStringLiteral("datumtxt"));
    datumtxt->setGeometry(twipsRect(720, 2145, 2235, 285));
    datumtxt->setFont(designFont(false));
    // Outside the design's tab order, which the operators know; a click or Alt+P reaches it.
    datumtxt->setFocusPolicy(Qt::ClickFocus);
    periodLabel->setBuddy(datumtxt);

    Data1 = new DataControl(this);
    Data1->setObjectName(QStringLiteral("Data1"));

    TDBGrid1 = new QTableView(client);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setGeometry(twipsRect(4080, 2040, 4275, 4695));
    TDBGrid1->setModel(Data1);
    TDBGrid1->setTabKeyNavigation(false); // Tab leaves the grid for the next control
    TDBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed |
                              QAbstractItemView::SelectedClicked);
    TDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    TDBGrid1->horizontalHeader()->setSectionsMovable(false);
    TDBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    TDBGrid1->verticalHeader()->setVisible(true); // the record selectors
    TDBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    TDBGrid1->verticalHeader()->setMinimumWidth(16);
    TDBGrid1->verticalHeader()->setDefaultSectionSize(TDBGrid1->fontMetrics().height() + 6);
    TDBGrid1->setItemDelegate(new CellDelegate(TDBGrid1));
    TDBGrid1->setColumnWidth(0, 150);
    TDBGrid1->horizontalHeader()->setStretchLastSection(true);

    Avsluta = new QPushButton(QStringLiteral("Avsluta"), client);
    Avsluta->setObjectName(QStringLiteral("Avsluta"));
    Avsluta->setGeometry(twipsRect(7920, 6840, 1215, 315));
    Sok = new QPushButton(QStringLiteral("Sök"), client);
    Sok->setObjectName(QStringLiteral("Sok"));
    Sok->setGeometry(twipsRect(120, 3720, 1215, 315));
    Nollställa = new QPushButton(QStringLiteral("Nollställa"), client);
    Nollställa->setObjectName(QStringLiteral("Nollställa"));
    Nollställa->setGeometry(twipsRect(120, 4140, 1215, 315));
    Utskrift = new QPushButton(QStringLiteral("Utskrift"), client);
    Utskrift->setObjectName(QStringLiteral("Utskrift"));
    Utskrift->setGeometry(twipsRect(5640, 7200, 1215, 315));
    radera = new QPushButton(QStringLiteral("Radera"), client);
    radera->setObjectName(QStringLiteral("radera"));
    radera->setGeometry(twipsRect(3600, 6840, 1215, 315));
    // A long operation's progress and its Avbryt, under the title while it runs.
    workProgress = new QProgressBar(client);
    workProgress->setObjectName(QStringLiteral("workProgress"));
    workProgress->setGeometry(twipsRect(3480, 900, 3195, 255));
    workProgress->setFont(designFont(false));
    workProgress->hide();
    Avbryt = new QPushButton(QStringLiteral("Avbryt"), client);
    Avbryt->setObjectName(QStringLiteral("Avbryt"));
    Avbryt->setGeometry(twipsRect(6780, 870, 1155, 315));
    Avbryt->setFocusPolicy(Qt::ClickFocus); // outside the design's tab order
    Avbryt->hide();
    m_work = new BackgroundWork(this);
    connect(Avbryt, &QPushButton::clicked, m_work, &BackgroundWork::cancel);
    connect(m_work, &BackgroundWork::runningChanged, this, &Startmeny::setWorking);
    connect(m_work, &BackgroundWork::progressed, this,
            [this](const QString &caption, qint64 done, qint64 total) {
                Label2->setText(caption);
                workProgress->setRange(0, total > 0 ? 1000 : 0);
                if (total > 0)
                    workProgress->setValue(int(qMin<qint64>(done, total) * 1000 / total));
                workProgress->setFormat(total > 0 ? QStringLiteral("%1 av %2").arg(done).arg(total)
                                                  : QString());
            });

    for (QPushButton *button : {Avsluta, Sok, Nollställa, Utskrift, radera, Avbryt}) {
        button->setFont(designFont(true));
        button->setAutoDefault(false); // Enter belongs to the search box and the grid
    }

    // Tab positions 0 to 12 of the design; labels, the frame and the data control take none.
    QWidget *const tabOrder[] = {Avsluta,       periodtxt, Sok,    Nollställa, Sokprodukt,
                                 Soklagerplats, Utskrift,  radera, TDBGrid1,   Picture1};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    // Tab stops at the selected option button of the pair only.
    const auto tabToChecked = [this] {
        Sokprodukt->setFocusPolicy(Sokprodukt->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        Soklagerplats->setFocusPolicy(Soklagerplats->isChecked() ? Qt::StrongFocus
                                                                 : Qt::ClickFocus);
    };
    tabToChecked();
    connect(Sokprodukt, &QRadioButton::toggled, this, tabToChecked);

    connect(Sok, &QPushButton::clicked, this,
            [this] { guarded(QStringLiteral("Sök"), [this] { Sok_Click(); }); });
    connect(Nollställa, &QPushButton::clicked, this,
            [this] { guarded(QStringLiteral("Nollställa"), [this] { Nollställa_Click(); }); });
    connect(radera, &QPushButton::clicked, this,
            [this] { guarded(QStringLiteral("Radera"), [this] { radera_Click(); }); });
    connect(Utskrift, &QPushButton::clicked, this,
            [this] { guarded(QStringLiteral("Utskrift"), [this] { Utskrift_Click(); }); });
    connect(Avsluta, &QPushButton::clicked, this, [this] { Avsluta_Click(); });

    connect(datumtxt, &QLineEdit::textChanged, this,
            [this] { guarded(QStringLiteral("Datum"), [this] { CompleteDateEntry(); }); });

    // A changed row is stored when the operator moves to another row.
    connect(TDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current, const QModelIndex &) {
                if (Data1 && Data1->hasPendingEdit() && Data1->pendingRow() != current.row())
                    guarded(QStringLiteral("Spara produkt"), [this] { Data1->submitRow(); });
            });
    connect(Data1, &DataControl::errorOccurred, this, [this](const QString &message) {
        reportError(QStringLiteral("Sökningsbild"), message);
    });

    periodtxt->installEventFilter(this);
    TDBGrid1->installEventFilter(this);
    datumtxt->installEventFilter(this);
}

void Startmeny::createMenus() {
    const auto command = [this](QMenu *menu, const QString &text, void (Startmeny::*handler)()) {
        QAction *action = menu->addAction(text);
        action->setProperty("startsOperation", true); // disabled while another one runs
        QString title = text;
        title.remove(QStringLiteral("...")).remove(QChar(0x2026)).remove(QLatin1Char('&'));
        connect(action, &QAction::triggered, this, [this, title, handler] {
            guarded(title, [this, handler] { (this->*handler)(); });
        });
        return action;
    };
    QMenu *arkiv = menuBar()->addMenu(QStringLiteral("&Arkiv"));
    command(arkiv, QStringLiteral("&Importera Access-databas..."),
            &Startmeny::importAccessDatabase);
    command(arkiv, QStringLiteral("&Utskrift"), &Startmeny::Utskrift_Click)
        ->setShortcut(QKeySequence::Print);
    arkiv->addSeparator();
    QAction *quit = arkiv->addAction(QStringLiteral("&Avsluta"));
    quit->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::ALT | Qt::Key_F4)});
    connect(quit, &QAction::triggered, this, [this] { Avsluta_Click(); });

    QMenu *rapporter = menuBar()->addMenu(QStringLiteral("&Rapporter"));
    command(rapporter, QStringLiteral("&Täckningskörning (produkter)..."),
            &Startmeny::writeCoverageWorkbook);
    command(rapporter, QStringLiteral("Täcknings&översikt…"), &Startmeny::openCoverageOverview);
    m_alwaysXlsx = rapporter->addAction(QStringLiteral("Täckningslistan alltid som .&xlsx"));
    m_alwaysXlsx->setCheckable(true);
    command(rapporter, QStringLiteral("Lagersammanställning (&spara)"),
            &Startmeny::saveSummaryWorkbook);
    command(rapporter, QStringLiteral("Lagersammanställning (&visa)"),
            &Startmeny::showSummaryWorkbook);
    rapporter->addSeparator();
    command(rapporter, QStringLiteral("Konvertera &prognosdatum"), &Startmeny::convertPrognosDates);
    command(rapporter, QStringLiteral("Konvertera or&derdatum"), &Startmeny::convertOrderDates);

    QMenu *hjalp = menuBar()->addMenu(QStringLiteral("&Hjälp"));
    QAction *help = hjalp->addAction(QStringLiteral("&Handbok"));
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, [this] { showHelp(); });
    QAction *about = hjalp->addAction(QStringLiteral("&Om LodvikProdSok"));
    connect(about, &QAction::triggered, this, [this] { showAbout(); });

    // Keys without a menu entry: F5 searches again, F10 opens the menus as Alt does.
    auto *searchAgain = new QAction(this);
    searchAgain->setShortcut(QKeySequence(Qt::Key_F5));
    connect(searchAgain, &QAction::triggered, Sok, &QPushButton::click);
    addAction(searchAgain);
    auto *openMenus = new QAction(this);
    openMenus->setShortcut(QKeySequence(Qt::Key_F10));
    connect(openMenus, &QAction::triggered, this,
            [this] { menuBar()->setActiveAction(menuBar()->actions().constFirst()); });
    addAction(openMenus);
}

void Startmeny::Form_Load() {
    // Where the operator left the window when that is on a screen, else centred on the screen.
    if (!restoreSettings())
        centreOnScreen(this);
    Data1->setRecordSource(QStringLiteral("select * from ProduktSok"));
    // A source that cannot be reached is told; the window opens all the same.
    guarded(QStringLiteral("Sökningsbild"), [this] { Nollställa_Click(); });
    Avsluta->setFocus();
}

void Startmeny::tellScheduledRun() {
    QString notice;
    try {
        notice =
            planning::scheduledRunNotice(planning::lastScheduledRun(*openSearchSource(m_appPath)),
                                         QDateTime::currentDateTimeUtc());
    } catch (const lodvik::Error &) {
        return; // a store that cannot be read is told where it is used
    }
    if (!notice.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Veckans täckningskörning"), notice);
}

QString Startmeny::localDatabasePath() const {
    return m_appPath + QStringLiteral("/local.mdb");
}

void Startmeny::withSource(const QString &title, std::function<void()> action) {
    if (m_source) {
        action();
        return;
    }
    const auto unreachable = [](const lodvik::Error &e) {
        return lodvik::Error(
            QStringLiteral("Sökdatakällan kunde inte nås.\n%1\n\nSökfönstret fungerar, men "
                           "sökningarna ger inga rader förrän källan kan nås.")
                .arg(e.message()));
    };
    const auto open = [this, unreachable] {
        try {
            m_source = openSearchSource(m_appPath);
        } catch (const lodvik::Error &e) {
            throw unreachable(e);
        }
        Data1->setSource(m_source.get());
        // Told once the store has answered, so that a server that does not keeps the window
        // waiting for nothing; after the first rows are shown.
        if (!std::exchange(m_toldScheduledRun, true))
            QTimer::singleShot(0, this, [this] { tellScheduledRun(); });
    };
    if (readSearchSourceSettings(m_appPath).driver == QLatin1String("QSQLITE")) {
        open(); // a file beside the program: at once
        action();
        return;
    }
    // A server is tried on a connection of the worker's own first; once it has answered, the
    // window's own connection is quick.
    const QString appPath = m_appPath;
    Background connect;
    connect.work = [appPath, unreachable](lodvik::Progress &progress) {
        progress.caption(QStringLiteral("Ansluter till sökdatakällan..."),
                         lodvik::Progress::Show::Now);
        try {
            openSearchSource(appPath);
        } catch (const lodvik::Error &e) {
            throw unreachable(e);
        }
    };
    connect.done = [open, action] {
        open();
        action();
    };
    connect.canOnlyLetGo = true;
    runInBackground(title, connect);
}

void Startmeny::Sok_Click() {
    // F5 and Enter leave the focus where it is; an open editor's text would go with the old rows.
    commitOpenEditor();
    const bool sokprodukt = Sokprodukt->isChecked();
    const QString text = periodtxt->text();
    withSource(QStringLiteral("Sök"), [this, sokprodukt, text] {
        Data1->setRecordSource(produktSokQuery(sokprodukt, text));
        Data1->refresh();
        TDBGrid1->viewport()->update();
    });
}

void Startmeny::periodtxt_KeyPress(int &KeyAscii) {
    if (KeyAscii == 13 && !isWorking())
        guarded(QStringLiteral("Sök"), [this] { Sok_Click(); });
}

void Startmeny::Nollställa_Click() {
    commitOpenEditor();
    const QString text = periodtxt->text();
    const QString query = resetQuery(text);
    periodtxt->setText(QString());
    withSource(QStringLiteral("Nollställa"), [this, query] {
        Data1->setRecordSource(query);
        Data1->refresh();
        TDBGrid1->viewport()->update();
    });
}

void Startmeny::radera_Click() {
    QMessageBox question(QMessageBox::Question, QStringLiteral("Varning!"),
                         QStringLiteral("Vill du verkligen ta bort produkten ?"),
                         QMessageBox::Ok | QMessageBox::Cancel, this);
    question.setDefaultButton(QMessageBox::Cancel);
    question.setEscapeButton(QMessageBox::Cancel);
    if (question.exec() != QMessageBox::Ok)
        return;
    // An empty grid has nothing to delete. Anything the store refuses (someone else changed the
    // row, a lost connection) goes to the boundary and is told.
    const int row = TDBGrid1->currentIndex().row();
    if (row < 0 || row == Data1->newRow())
        return;
    Data1->deleteRow(row);
}

void Startmeny::TDBGrid1_KeyPress(int &KeyAscii) {
    if (KeyAscii != 13)
        return;
    // Enter stores the row and moves to the one below; the new row comes after the last.
    KeyAscii = 0;
    const auto storeAndMoveDown = [this] {
        guarded(QStringLiteral("Spara produkt"), [this] { Data1->submitRow(); });
        const QModelIndex current = TDBGrid1->currentIndex();
        if (!current.isValid())
            return;
        QAbstractItemModel *model = Data1;
        if (current.row() + 1 >= model->rowCount() && model->canFetchMore(QModelIndex()))
            model->fetchMore(QModelIndex());
        if (current.row() + 1 < model->rowCount())
            TDBGrid1->setCurrentIndex(model->index(current.row() + 1, current.column()));
    };
    // Enter from an open cell editor: the delegate has queued handing the editor's text to the
    // row and closing the editor; the row is stored after that, not before.
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus != TDBGrid1 && TDBGrid1->isAncestorOf(focus)) {
        QMetaObject::invokeMethod(this, storeAndMoveDown, Qt::QueuedConnection);
        return;
    }
    storeAndMoveDown();
}

void Startmeny::Avsluta_Click() {
    // At once: no question and no further handler; the event loop returns to Main. A long
    // operation is stopped on the way out (its promises for a cancelled run hold).
    m_work->cancel();
    rememberSettings();
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(0);
}

void Startmeny::keyPressEvent(QKeyEvent *event) {
    // Escape that no control took stops a long operation, as Avbryt does.
    if (event->key() == Qt::Key_Escape && isWorking()) {
        Avbryt->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Startmeny::closeEvent(QCloseEvent *event) {
    m_closed = true;
    m_work->cancel();
    commitOpenEditor();
    if (Data1 && Data1->hasPendingEdit())
        guarded(QStringLiteral("Spara produkt"), [this] { Data1->submitRow(); });
    rememberSettings();
    // The program ends with this window: the preview and any other window of ours go with it, so
    // that no hidden window keeps the program running.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->hide();
    QMainWindow::closeEvent(event);
}

void Startmeny::commitOpenEditor() {
    const QModelIndex index = TDBGrid1->currentIndex();
    QWidget *editor = index.isValid() ? TDBGrid1->indexWidget(index) : nullptr;
    if (!editor)
        return;
    // As the view itself does when the editor loses the focus.
    QAbstractItemDelegate *delegate = TDBGrid1->itemDelegateForIndex(index);
    emit delegate->commitData(editor);
    emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool Startmeny::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        int key = keyAscii(static_cast<QKeyEvent *>(event));
        if (watched == periodtxt && key != 0) {
            periodtxt_KeyPress(key);
            return key == 0;
        }
        if (watched == TDBGrid1 && key == 13) {
            TDBGrid1_KeyPress(key);
            return key == 0;
        }
        // Escape drops the row's change also once the cell editor has closed (an open editor
        // drops it itself); without a change it does nothing here.
        if (watched == TDBGrid1 && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
            Data1->hasPendingEdit()) {
            Data1->revert();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && watched == datumtxt) {
        // Only a real move away counts, not a message box or menu taking the focus for a while.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            reason != Qt::MenuBarFocusReason)
            guarded(QStringLiteral("Datum"), [this] { AcceptPeriodDate(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void Startmeny::guarded(const QString &title, const std::function<void()> &handler) {
    try {
        handler();
    } catch (const lodvik::Cancelled &) {
        if (QGuiApplication::overrideCursor() &&
            QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor)
            BusyCursorOff();
        Label2->setText(QStringLiteral("Avbrutet"));
    } catch (const lodvik::Error &e) {
        if (QGuiApplication::overrideCursor() &&
            QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor)
            BusyCursorOff();
        reportError(title, e.message());
    } catch (const std::exception &e) {
        if (QGuiApplication::overrideCursor() &&
            QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor)
            BusyCursorOff();
        reportError(title, QStringLiteral("Oväntat fel: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void Startmeny::reportError(const QString &title, const QString &message) {
    QMessageBox::critical(this, title, message);
}
