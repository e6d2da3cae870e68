#include "skriv/skriv.h"

#include "MDlib/Error.h"
#include "MDlib/Twips.h"
#include "printengine/PrintEngine.h"
#include "printengine/PrintPreviewWidget.h"
#include "ui/WindowLayout.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

namespace {

skriv *s_instance = nullptr;

void placeTwips(QWidget *w, int left, int top, int width, int height) {
    w->setGeometry(twipsRect(left, top, width, height));
}

} // namespace

skriv &skriv::instance() {
    if (!s_instance) {
        s_instance = new skriv;
        // Windows must go before the application does; the instance lives until then.
        qAddPostRoutine(&skriv::destroyInstance);
        s_instance->Form_Load();
    }
    return *s_instance;
}

bool skriv::loaded() {
    return s_instance != nullptr;
}

void skriv::destroyInstance() {
    delete s_instance;
    s_instance = nullptr;
}

skriv::skriv(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Utskrift"));
    setModal(false);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(twipsToPixels(11355), twipsToPixels(8235));

    vsPrinter = new PrintEngine(this);

    vsViewPort1 = new PrintPreviewArea(this);
    vsViewPort1->setObjectName(QStringLiteral("vsViewPort1"));
    placeTwips(vsViewPort1, 480, 240, 9975, 7455);
    vsViewPort1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    vsViewPort1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    vsViewPort1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    vsPrinterDisplay = new PrintPreviewWidget(vsPrinter);
    vsPrinterDisplay->setObjectName(QStringLiteral("vsPrinter"));
    placeTwips(vsPrinterDisplay, 180, 0, 9615, 7335);
    vsViewPort1->setWidget(vsPrinterDisplay);

    Label1 = new QLabel(QStringLiteral("Sidbläddring"), this);
    placeTwips(Label1, 10455, 360, 1125, 240);
    // The label runs past the window's edge: the caption must fit into what is left of it.
    Label1->setFont(fittedFont(Label1, Label1->text(), twipsToPixels(11355 - 10455)));

    scrpage = new QScrollBar(Qt::Vertical, this);
    scrpage->setObjectName(QStringLiteral("scrpage"));
    placeTwips(scrpage, 10875, 780, 285, 495);
    // A fixed range: the value is the page number, whatever the length of the document.
    scrpage->setRange(1, 999);
    scrpage->setSingleStep(1);
    scrpage->setPageStep(1);
    scrpage->setValue(1);

    Label2 = new QLabel(this);
    placeTwips(Label2, 10680, 1560, 585, 285);
    // Which page of how many, under the page number.
    Sidor = new QLabel(this);
    Sidor->setObjectName(QStringLiteral("Sidor"));
    placeTwips(Sidor, 10455, 1920, 900, 480);
    Sidor->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Avbryta = new QPushButton(QStringLiteral("Avsluta"), this);
    placeTwips(Avbryta, 6900, 7860, 1575, 315);
    Avbryta->setAutoDefault(false);

    Utskrift = new QPushButton(QStringLiteral("Utskrift"), this);
    placeTwips(Utskrift, 8580, 7860, 1335, 315);
    Utskrift->setAutoDefault(false);

    Operation = new QLabel(this);
    placeTwips(Operation, 2100, 7740, 3615, 255);
    Zoomfaktor = new QLabel(this);
    placeTwips(Zoomfaktor, 10455, 3600, 1005, 285);

    choosePdfFile = [this](const QString &reason) { return askForPdfFile(reason); };
    reportError = [this](const QString &message) {
        QMessageBox::warning(this, QStringLiteral("Utskrift"), message);
    };

    connect(scrpage, &QScrollBar::valueChanged, this, [this] { scrpage_Change(); });
    connect(vsPrinter, &PrintEngine::changed, this, [this] { showPageOf(); });
    // Keys that turn the pages, wherever the focus is in the window.
    const auto pageKeys = [this](QList<QKeySequence> keys, std::function<int()> page) {
        auto *action = new QAction(this);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, [this, page] { scrpage->setValue(page()); });
        addAction(action);
    };
    pageKeys({Qt::Key_PageDown, Qt::Key_Down, Qt::Key_Right},
             [this] { return scrpage->value() + 1; });
    pageKeys({Qt::Key_PageUp, Qt::Key_Up, Qt::Key_Left}, [this] { return scrpage->value() - 1; });
    pageKeys({Qt::Key_Home}, [] { return 1; });
    pageKeys({Qt::Key_End}, [this] { return qMax(1, vsPrinter->pageCount()); });
    connect(Utskrift, &QPushButton::clicked, this, [this] { Utskrift_Click(); });
    connect(Avbryta, &QPushButton::clicked, this, [this] { Avbryta_Click(); });
}

skriv::~skriv() = default;

void skriv::Form_Load() {
    centreOnScreen(this);
    vsPrinter->PreviewPage(1);
    Label2->setText(QString::number(scrpage->value()));
    vsPrinter->Refresh();
}

void skriv::scrpage_Change() {
    vsPrinter->PreviewPage(scrpage->value());
    Label2->setText(QString::number(scrpage->value()));
    vsPrinter->Refresh();
}

void skriv::showPageOf() {
    const int pages = vsPrinter->pageCount();
    Sidor->setText(pages > 0 ? QStringLiteral("Sida %1\nav %2").arg(scrpage->value()).arg(pages)
                             : QString());
}

void skriv::Utskrift_Click() {
    try {
        try {
            vsPrinter->DocAction(PrintEngine::PrintDoc);
        } catch (const PrinterUnavailable &e) {
            // Nothing is lost: the pages stay in the engine and may go into a PDF instead.
            const QString file = choosePdfFile(e.message());
            if (file.isEmpty())
                return;
            vsPrinter->writePdf(file);
        }
        hide();
    } catch (const lodvik::Error &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(
            QStringLiteral("Utskriften misslyckades: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void skriv::Avbryta_Click() {
    hide();
}

QString skriv::askForPdfFile(const QString &reason) {
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Utskrift"),
        reason + QStringLiteral("\n\nVill du spara utskriften som en PDF-fil i stället?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return {};
    QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Spara utskriften som PDF"),
                                     QDir::home().filePath(QStringLiteral("Produktlista.pdf")),
                                     QStringLiteral("PDF-filer (*.pdf)"));
    if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".pdf");
    return file;
}
