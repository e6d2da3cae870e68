#include "MDlib/MDlib.h"
#include "Startmeny/Desktop.h"
#include "Startmeny/Startmeny.h"
#include "cli/Commands.h"
#include "data/SearchSource.h"
#include "printengine/PrintEngine.h"
#include "printengine/PrintLayout.h"
#include "printengine/PrintPreviewWidget.h"
#include "skriv/ProductListPrintout.h"
#include "skriv/skriv.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>

using lodvik::Variant;

namespace {

const QString TNR = QStringLiteral("Times New Roman");

QList<ProductListRow> numberedRows(int count) {
    QList<ProductListRow> rows;
    for (int i = 1; i <= count; ++i)
        rows.append({Variant::String(QStringLiteral("Namn %1").arg(i)),
                     Variant::String(QStringLiteral("P%1").arg(i))});
    return rows;
}

const PrintItem *findText(const PrintPage &page, const QString &text) {
    for (const PrintItem &item : page.items)
        if (item.text == text)
            return &item;
    return nullptr;
}

// The list rows of a page: the texts below the heading block, left column then right column.
QList<PrintItem> rowItems(const PrintPage &page, int x) {
    QList<PrintItem> out;
    for (const PrintItem &item : page.items)
        if (item.x == x && item.y >= 2000)
            out.append(item);
    return out;
}

// Where row k (from 0) of a page lands: five rows 228 twips apart, 456 after each fifth row.
int expectedRowTop(int firstLine, int k) {
    return (firstLine + 24 * (k / 5) + 4 * (k % 5)) * 57;
}

struct PdfWord {
    int page;
    double xMin, yMin;
    QString text;
};

// Words of a PDF with their boxes in points, read back through pdftotext -bbox.
QList<PdfWord> readPdfWords(const QString &pdf, int *pages) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        qFatal("pdftotext (poppler-utils) is needed to read the PDFs back");
    QProcess p;
    p.start(tool, {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("pdftotext failed");
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    QList<PdfWord> words;
    int page = 0;
    static const QRegularExpression token(
        QStringLiteral("<page |<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page")))
            ++page;
        else
            words.append({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
    }
    *pages = page;
    return words;
}

// Dark pixels on the sheet the display shows.
int inkOnSheet(PrintPreviewWidget *display) {
    const QImage image = display->grab().toImage();
    const QRect sheet = display->pageRect().toRect().adjusted(1, 1, -1, -1);
    int ink = 0;
    for (int y = sheet.top(); y <= sheet.bottom() && y < image.height(); ++y)
        for (int x = sheet.left(); x <= sheet.right() && x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                ++ink;
    return ink;
}

// A program folder whose search data source holds products 1001..1046 and 1099 without a
// search name, and one product outside the prefix 10.
void makeProgramFolder(const QString &folder) {
    std::unique_ptr<SearchSource> source =
        openSqliteSearchSource(QDir(folder).filePath(QStringLiteral("sokdata.db")));
    QSqlQuery q(source->database());
    QVERIFY(
        q.prepare(QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)")));
    auto insert = [&](const QVariant &name, const QString &number) {
        q.addBindValue(name);
        q.addBindValue(number);
        QVERIFY(q.exec());
    };
    for (int i = 46; i >= 1; --i)
        insert(QStringLiteral("Artikel %1").arg(i), QString::number(1000 + i));
    insert(QVariant(), QStringLiteral("1099"));
    insert(QStringLiteral("Annat"), QStringLiteral("2001"));
}

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    // The document model of the product list.
    void productList_data();
    void productList();
    void nullColumnsPrintEmpty();
    void printingTwiceReplacesTheDocument();

    // Layout routines.
    void printAtKeepsCoordinate_data();
    void printAtKeepsCoordinate();
    void fontRoutines_data();
    void fontRoutines();
    void layoutRoutinesDropEngineErrors();

    // Engine.
    void engineRefusesMisuse_data();
    void engineRefusesMisuse();

    // PDF output read back.
    void pdfTextLandsAtItsPosition_data();
    void pdfTextLandsAtItsPosition();
    void pdfOfProductList();
    void printerPositionsFromPrintableOrigin();
    void pdfReplacesOnlyWhenComplete();

    // Preview window.
    void previewLoadsOnceHidden();
    void previewControls_data();
    void previewControls();
    void previewPageSwitching();
    void previewAvslutaHides();
    void previewUtskriftWithoutPrinterSavesPdf();
    void previewUtskriftWithoutPrinterDeclined();
    void previewPdfFailureIsReported();

    // The search window's Utskrift and the print command, over a search data source.
    void windowUtskriftPrintsTheListedRows();
    void printCommand_data();
    void printCommand();
};

void TestPrinting::initTestCase() {
    // As the program starts the window: in Swedish and with the fonts it uses for the design's;
    // the printout's positions hold whichever fonts stand in.
    QStandardPaths::setTestModeEnabled(true);
    prepareDesktop();
}

void TestPrinting::productList_data() {
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QList<int>>("rowsPerPage");

    QTest::newRow("empty list, no period") << 0 << QString() << QList<int>{0};
    QTest::newRow("one row") << 1 << QStringLiteral("2026-03-15") << QList<int>{1};
    QTest::newRow("one group") << 5 << QStringLiteral("2026-03-15") << QList<int>{5};
    QTest::newRow("44 rows") << 44 << QStringLiteral("2026-03-15") << QList<int>{44};
    QTest::newRow("45 rows end on an empty page")
        << 45 << QStringLiteral("2026-03-15") << QList<int>{45, 0};
    QTest::newRow("46 rows") << 46 << QStringLiteral("2026-03-15") << QList<int>{45, 1};
    QTest::newRow("90 rows") << 90 << QStringLiteral("2026-03-15") << QList<int>{45, 45, 0};
    QTest::newRow("100 rows") << 100 << QStringLiteral("2026-03-15") << QList<int>{45, 45, 10};
}

void TestPrinting::productList() {
    QFETCH(int, rowCount);
    QFETCH(QString, period);
    QFETCH(QList<int>, rowsPerPage);

    PrintEngine engine;
    printProductList(engine, numberedRows(rowCount), period);

    QVERIFY(!engine.documentOpen());
    QCOMPARE(engine.pageCount(), rowsPerPage.size());
    int next = 1; // number of the next listed row
    for (int p = 0; p < engine.pageCount(); ++p) {
        const PrintPage &page = engine.pages().at(p);
        const PrintItem *lodvik = findText(page, QStringLiteral("Lodvik group"));
        const PrintItem *produkt = findText(page, QStringLiteral("Produkt "));
        const PrintItem *date = findText(page, QStringLiteral("Utsk.datum ") + period);
        const PrintItem *lager = findText(page, QStringLiteral("Lagerregister"));
        if (p == 0) {
            QVERIFY(lodvik && produkt && date);
            QVERIFY(!lager);
            QCOMPARE(*lodvik, (PrintItem{1140, 570, lodvik->text, TNR, 18, true}));
            QCOMPARE(*produkt, (PrintItem{7980, 570, produkt->text, TNR, 18, true}));
            QCOMPARE(*date, (PrintItem{7980, 1596, date->text, TNR, 10, false}));
        } else {
            QVERIFY(lager);
            QVERIFY(!lodvik && !produkt && !date);
            QCOMPARE(*lager, (PrintItem{7980, 570, lager->text, TNR, 18, true}));
        }
        const int headings = p == 0 ? 3 : 1;
        QCOMPARE(page.items.size(), headings + 2 * rowsPerPage.at(p));

        const QList<PrintItem> names = rowItems(page, 1140);
        const QList<PrintItem> numbers = rowItems(page, 2280);
        QCOMPARE(names.size(), rowsPerPage.at(p));
        QCOMPARE(numbers.size(), rowsPerPage.at(p));
        const int firstLine = p == 0 ? 39 : 40;
        for (int k = 0; k < names.size(); ++k, ++next) {
            QCOMPARE(names.at(k), (PrintItem{1140, expectedRowTop(firstLine, k),
                                             QStringLiteral("Namn %1").arg(next), TNR, 10, false}));
            QCOMPARE(numbers.at(k), (PrintItem{2280, expectedRowTop(firstLine, k),
                                               QStringLiteral("P%1").arg(next), TNR, 10, false}));
        }
        if (rowsPerPage.at(p) > 0)
            QCOMPARE(names.first().y, p == 0 ? 2223 : 2280);
        if (rowsPerPage.at(p) == 45)
            QCOMPARE(names.last().y, p == 0 ? 14079 : 14136);
    }
    QCOMPARE(next, rowCount + 1);
}

void TestPrinting::nullColumnsPrintEmpty() {
    PrintEngine engine;
    const QList<ProductListRow> rows = {
        {Variant::Null(), Variant::String(QStringLiteral("1001"))},
        {Variant::String(QStringLiteral("Skruv")), Variant::Null()},
        {Variant::Null(), Variant::Null()},
        {Variant::String(QStringLiteral("Mutter")), Variant::Long(4711)},
    };
    printProductList(engine, rows, QStringLiteral("2026-01-02"));

    QCOMPARE(engine.pageCount(), 1);
    const PrintPage &page = engine.pages().first();
    QCOMPARE(rowItems(page, 1140).size(), 2);
    QCOMPARE(rowItems(page, 2280).size(), 2);
    // Rows keep their places though columns are empty.
    QCOMPARE(findText(page, QStringLiteral("1001"))->y, 2223);
    QCOMPARE(findText(page, QStringLiteral("Skruv"))->y, 2223 + 228);
    QCOMPARE(findText(page, QStringLiteral("Mutter"))->y, 2223 + 3 * 228);
    QCOMPARE(findText(page, QStringLiteral("4711"))->y, 2223 + 3 * 228);
}

void TestPrinting::printingTwiceReplacesTheDocument() {
    PrintEngine engine;
    printProductList(engine, numberedRows(46), QStringLiteral("2026-01-02"));
    QCOMPARE(engine.pageCount(), 2);
    printProductList(engine, numberedRows(2), QStringLiteral("2026-02-03"));
    QCOMPARE(engine.pageCount(), 1);
    const PrintPage &page = engine.pages().first();
    QCOMPARE(page.items.size(), 3 + 2 * 2);
    QVERIFY(findText(page, QStringLiteral("Utsk.datum 2026-02-03")));
    QVERIFY(!findText(page, QStringLiteral("Utsk.datum 2026-01-02")));
    QVERIFY(!findText(page, QStringLiteral("Namn 3")));
}

void TestPrinting::printAtKeepsCoordinate_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expectedLeft");
    QTest::addColumn<int>("expectedTop");

    // The engine stands at (500, 700) before each call.
    QTest::newRow("both given") << 100 << 200 << "a" << 100 << 200;
    QTest::newRow("x kept") << -1 << 900 << "b" << 500 << 900;
    QTest::newRow("y kept") << 300 << -1 << "c" << 300 << 700;
    QTest::newRow("both kept") << -1 << -1 << "d" << 500 << 700;
    QTest::newRow("zero is a position") << 0 << 0 << "e" << 0 << 0;
    QTest::newRow("empty text moves only") << 1200 << 1300 << "" << 1200 << 1300;
}

void TestPrinting::printAtKeepsCoordinate() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QString, text);
    QFETCH(int, expectedLeft);
    QFETCH(int, expectedTop);

    PrintEngine engine;
    engine.DocAction(PrintEngine::StartDoc);
    engine.TextLeft(500);
    engine.TextTop(700);
    const qint16 x16 = qint16(x), y16 = qint16(y);
    PrintAt(engine, text, x16, y16);

    QCOMPARE(engine.TextLeft(), expectedLeft);
    QCOMPARE(engine.TextTop(), expectedTop);
    const QList<PrintItem> &items = engine.pages().first().items;
    if (text.isEmpty()) {
        QVERIFY(items.isEmpty());
    } else {
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().x, expectedLeft);
        QCOMPARE(items.first().y, expectedTop);
        QCOMPARE(items.first().text, text);
    }
}

void TestPrinting::fontRoutines_data() {
    QTest::addColumn<int>("routine");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("bold");

    QTest::newRow("SetNormalFont") << 0 << 10 << false;
    QTest::newRow("SetBoldFont") << 1 << 10 << true;
    QTest::newRow("SetHeadingFont") << 2 << 18 << true;
    QTest::newRow("PrintLetterhead leaves the normal font") << 3 << 10 << false;
}

void TestPrinting::fontRoutines() {
    QFETCH(int, routine);
    QFETCH(int, size);
    QFETCH(bool, bold);

    PrintEngine engine;
    engine.DocAction(PrintEngine::StartDoc);
    // Start from a font none of the routines sets, bold or not as the routine must change.
    engine.FontName(QStringLiteral("Courier"));
    engine.FontSize(33);
    engine.FontBold(!bold);
    switch (routine) {
    case 0:
        SetNormalFont(engine);
        break;
    case 1:
        SetBoldFont(engine);
        break;
    case 2:
        SetHeadingFont(engine);
        break;
    default:
        PrintLetterhead(engine);
        QCOMPARE(engine.TextLeft(), 1160);
        QCOMPARE(engine.TextTop(), 928);
        QVERIFY(engine.pages().first().items.isEmpty()); // the lines are empty
    }
    QCOMPARE(engine.FontName(), TNR);
    QCOMPARE(engine.FontSize(), size);
    QCOMPARE(engine.FontBold(), bold);
}

void TestPrinting::layoutRoutinesDropEngineErrors() {
    PrintEngine engine;
    engine.DocAction(PrintEngine::StartDoc);
    engine.DocAction(PrintEngine::EndDoc);
    engine.FontBold(true);
    // With the document ended PrintText fails; the routines go on with their next calls.
    PrintAt(engine, QStringLiteral("för sent"), 10, 20);
    QCOMPARE(engine.TextLeft(), 10);
    QCOMPARE(engine.TextTop(), 20);
    PrintLetterhead(engine);
    QCOMPARE(engine.TextTop(), 928);
    QCOMPARE(engine.FontSize(), 10);
    QCOMPARE(engine.FontBold(), false);
    QVERIFY(engine.pages().first().items.isEmpty());
}

void TestPrinting::engineRefusesMisuse_data() {
    QTest::addColumn<int>("misuse");
    QTest::addColumn<bool>("printerProblem");

    QTest::newRow("new page without a document") << 0 << false;
    QTest::newRow("text without a document") << 1 << false;
    QTest::newRow("unknown DocAction") << 2 << false;
    QTest::newRow("font size 0") << 3 << false;
    QTest::newRow("empty font name") << 4 << false;
    QTest::newRow("print an empty engine") << 5 << false;
    QTest::newRow("printer that does not exist") << 6 << true;
    QTest::newRow("PDF of an empty engine") << 7 << false;
}

void TestPrinting::engineRefusesMisuse() {
    QFETCH(int, misuse);
    QFETCH(bool, printerProblem);

    PrintEngine engine;
    if (misuse == 6) {
        engine.DocAction(PrintEngine::StartDoc);
        engine.PrintText(QStringLiteral("x"));
        engine.DocAction(PrintEngine::EndDoc);
        engine.setPrinterName(QStringLiteral("ingen-sådan-skrivare"));
    }
    const QList<std::function<void()>> calls = {
        [&] { engine.DocAction(PrintEngine::NewPage); },
        [&] { engine.PrintText(QStringLiteral("x")); },
        [&] { engine.DocAction(5); },
        [&] { engine.FontSize(0); },
        [&] { engine.FontName(QStringLiteral(" ")); },
        [&] { engine.DocAction(PrintEngine::PrintDoc); },
        [&] { engine.DocAction(PrintEngine::PrintDoc); },
        [&] { engine.writePdf(QDir::temp().filePath(QStringLiteral("tom.pdf"))); },
    };
    bool raised = false;
    try {
        calls.at(misuse)();
    } catch (const PrinterUnavailable &e) {
        raised = printerProblem;
        QVERIFY(!e.message().isEmpty());
    } catch (const lodvik::Error &e) {
        raised = !printerProblem;
        QVERIFY(!e.message().isEmpty());
    }
    QVERIFY(raised);
    if (misuse == 6)
        QCOMPARE(engine.pageCount(), 1); // nothing lost
}

void TestPrinting::pdfTextLandsAtItsPosition_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("bold");

    QTest::newRow("left edge") << 0 << 20 << 10 << false;
    QTest::newRow("one inch") << 1440 << 1440 << 10 << false;
    QTest::newRow("heading") << 1140 << 570 << 18 << true;
    QTest::newRow("last list row") << 2280 << 14136 << 10 << false;
    QTest::newRow("odd twips") << 7981 << 1597 << 10 << true;
}

void TestPrinting::pdfTextLandsAtItsPosition() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, size);
    QFETCH(bool, bold);

    PrintEngine engine;
    engine.DocAction(PrintEngine::StartDoc);
    engine.FontName(TNR);
    engine.FontSize(size);
    engine.FontBold(bold);
    engine.TextLeft(x);
    engine.TextTop(y);
    engine.PrintText(QStringLiteral("Mätpunkt"));
    engine.DocAction(PrintEngine::EndDoc);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("pos.pdf"));
    engine.writePdf(pdf);
    int pages = 0;
    const QList<PdfWord> words = readPdfWords(pdf, &pages);
    QCOMPARE(pages, 1);
    QCOMPARE(words.size(), 1);
    QCOMPARE(words.first().text, QStringLiteral("Mätpunkt"));
    // Twips from the printable origin; the PDF page is printable to its edges.
    QVERIFY2(qAbs(words.first().xMin - x / 20.0) < 0.5,
             qPrintable(QString::number(words.first().xMin)));
    // The position is the top of the text line; pdftotext puts a word's top at the font's ascent.
    QVERIFY2(qAbs(words.first().yMin - y / 20.0) < 1.5,
             qPrintable(QString::number(words.first().yMin)));
}

void TestPrinting::pdfOfProductList() {
    PrintEngine engine;
    QList<ProductListRow> rows = numberedRows(46);
    printProductList(engine, rows, QStringLiteral("2026-04-30"));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("lista.pdf"));
    engine.writePdf(pdf);

    int pages = 0;
    const QList<PdfWord> words = readPdfWords(pdf, &pages);
    QCOMPARE(pages, 2);
    auto at = [&](int page, const QString &text) -> const PdfWord * {
        for (const PdfWord &w : words)
            if (w.page == page && w.text == text)
                return &w;
        return nullptr;
    };
    struct Expect {
        int page;
        QString text;
        int x, y;
    };
    const QList<Expect> expected = {
        {1, QStringLiteral("Lodvik"), 1140, 570},
        {1, QStringLiteral("Produkt"), 7980, 570},
        {1, QStringLiteral("Utsk.datum"), 7980, 1596},
        {1, QStringLiteral("P1"), 2280, 2223},
        {1, QStringLiteral("P45"), 2280, 14079},
        {2, QStringLiteral("Lagerregister"), 7980, 570},
        {2, QStringLiteral("P46"), 2280, 2280},
    };
    for (const Expect &e : expected) {
        const PdfWord *w = at(e.page, e.text);
        QVERIFY2(w, qPrintable(e.text));
        QVERIFY2(qAbs(w->xMin - e.x / 20.0) < 0.5, qPrintable(e.text));
        QVERIFY2(qAbs(w->yMin - e.y / 20.0) < 1.5, qPrintable(e.text));
    }
    QVERIFY(at(1, QStringLiteral("2026-04-30")));
    QVERIFY(!at(2, QStringLiteral("Lodvik")));
}

void TestPrinting::printerPositionsFromPrintableOrigin() {
    // A printer with margins it cannot print in: positions count from where printing begins.
    PrintEngine engine;
    engine.DocAction(PrintEngine::StartDoc);
    engine.TextLeft(1440);
    engine.TextTop(2880);
    engine.PrintText(QStringLiteral("Ett"));
    engine.DocAction(PrintEngine::NewPage);
    engine.PrintText(QStringLiteral("Två")); // a new page starts at the origin
    engine.DocAction(PrintEngine::EndDoc);

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("skrivare.pdf")));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(36, 18, 36, 18), QPageLayout::Point));
    engine.printOn(printer);

    int pages = 0;
    const QList<PdfWord> words = readPdfWords(printer.outputFileName(), &pages);
    QCOMPARE(pages, 2);
    QCOMPARE(words.size(), 2);
    QCOMPARE(words.at(0).text, QStringLiteral("Ett"));
    QVERIFY(qAbs(words.at(0).xMin - (36 + 72)) < 0.5);
    QVERIFY(qAbs(words.at(0).yMin - (18 + 144)) < 1.5);
    QCOMPARE(words.at(1).page, 2);
    QVERIFY(qAbs(words.at(1).xMin - 36) < 0.5);
    QVERIFY(qAbs(words.at(1).yMin - 18) < 1.5);
}

void TestPrinting::pdfReplacesOnlyWhenComplete() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("Produktlista.pdf"));
    {
        QFile old(pdf);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("gammal utskrift");
    }
    auto content = [&] {
        QFile f(pdf);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    PrintEngine empty;
    QVERIFY_THROWS_EXCEPTION(lodvik::Error, empty.writePdf(pdf));
    QCOMPARE(content(), QByteArray("gammal utskrift"));

    PrintEngine engine;
    printProductList(engine, numberedRows(3), QString());
    QVERIFY_THROWS_EXCEPTION(lodvik::Error,
                             engine.writePdf(dir.filePath(QStringLiteral("saknas/lista.pdf"))));
    engine.writePdf(pdf);
    QVERIFY(content().startsWith("%PDF"));
    // Nothing is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Produktlista.pdf")});
}

void TestPrinting::previewLoadsOnceHidden() {
    QVERIFY(!skriv::loaded());
    skriv &window = skriv::instance();
    QVERIFY(skriv::loaded());
    QVERIFY(!window.isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Utskrift"));
    QCOMPARE(window.size(), QSize(757, 549));
    QCOMPARE(window.Label2->text(), QStringLiteral("1"));
    QCOMPARE(window.vsPrinter->PreviewPage(), 1);

    // A later reference does not load it again: the page chosen carries over.
    window.scrpage->setValue(3);
    QCOMPARE(&skriv::instance(), &window);
    QCOMPARE(window.Label2->text(), QStringLiteral("3"));
    QCOMPARE(window.vsPrinter->PreviewPage(), 3);
    window.scrpage->setValue(1);
}

void TestPrinting::previewControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");

    QTest::newRow("vsViewPort1") << "vsViewPort1" << QRect(32, 16, 665, 497) << "";
    QTest::newRow("Label1") << "Label1" << QRect(697, 24, 75, 16) << "Sidbläddring";
    QTest::newRow("scrpage") << "scrpage" << QRect(725, 52, 19, 33) << "";
    QTest::newRow("Label2") << "Label2" << QRect(712, 104, 39, 19) << "1";
    QTest::newRow("Avbryta") << "Avbryta" << QRect(460, 524, 105, 21) << "Avsluta";
    QTest::newRow("Utskrift") << "Utskrift" << QRect(572, 524, 89, 21) << "Utskrift";
    QTest::newRow("Operation") << "Operation" << QRect(140, 516, 241, 17) << "";
    QTest::newRow("Zoomfaktor") << "Zoomfaktor" << QRect(697, 240, 67, 19) << "";
}

void TestPrinting::previewControls() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);

    skriv &w = skriv::instance();
    const QMap<QString, QWidget *> controls = {
        {"vsViewPort1", w.vsViewPort1}, {"Label1", w.Label1},         {"scrpage", w.scrpage},
        {"Label2", w.Label2},           {"Avbryta", w.Avbryta},       {"Utskrift", w.Utskrift},
        {"Operation", w.Operation},     {"Zoomfaktor", w.Zoomfaktor},
    };
    QWidget *control = controls.value(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), &w);
    QCOMPARE(control->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), caption);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), caption);
}

void TestPrinting::previewPageSwitching() {
    skriv &w = skriv::instance();
    printProductList(*w.vsPrinter, numberedRows(46), QStringLiteral("2026-05-01"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    PrintPreviewWidget *display = w.vsPrinterDisplay;
    // The page fills the port's width and scrolls.
    QCOMPARE(display->width(), w.vsViewPort1->viewport()->width());
    QVERIFY(display->height() > w.vsViewPort1->viewport()->height());

    w.scrpage->setValue(1);
    const QImage page1 = display->grab().toImage();
    const int ink1 = inkOnSheet(display);

    w.scrpage->setValue(2);
    QCOMPARE(w.Label2->text(), QStringLiteral("2"));
    QCOMPARE(w.vsPrinter->PreviewPage(), 2);
    const int ink2 = inkOnSheet(display);
    QVERIFY(ink2 > 0);
    QVERIFY(ink1 > ink2); // 45 rows and the heading against one row and "Lagerregister"
    QVERIFY(display->grab().toImage() != page1);

    // The arrow of the scroll bar steps one page.
    w.scrpage->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(w.Label2->text(), QStringLiteral("3"));
    QCOMPARE(inkOnSheet(display), 0); // beyond the document: a blank page

    w.scrpage->setValue(1);
    QCOMPARE(inkOnSheet(display), ink1);
}

void TestPrinting::previewAvslutaHides() {
    skriv &w = skriv::instance();
    printProductList(*w.vsPrinter, numberedRows(46), QString());
    w.show();
    QTest::mouseClick(w.Avbryta, Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.vsPrinter->pageCount(), 2); // the document stays

    // A second printout shows it again with the new pages.
    printProductList(*w.vsPrinter, numberedRows(1), QString());
    w.show();
    QVERIFY(w.isVisible());
    QCOMPARE(w.vsPrinter->pageCount(), 1);
    w.hide();
}

void TestPrinting::previewUtskriftWithoutPrinterSavesPdf() {
    skriv &w = skriv::instance();
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("Produktlista.pdf"));
    QString reason;
    w.choosePdfFile = [&](const QString &why) {
        reason = why;
        return pdf;
    };
    QStringList errors;
    w.reportError = [&](const QString &m) { errors << m; };
    w.vsPrinter->setPrinterName(QStringLiteral("ingen-sådan-skrivare"));

    printProductList(*w.vsPrinter, numberedRows(91), QString());
    w.show();
    w.scrpage->setValue(1); // only the first page is shown; all three are printed
    QTest::mouseClick(w.Utskrift, Qt::LeftButton);

    QVERIFY(reason.contains(QStringLiteral("ingen-sådan-skrivare")));
    QVERIFY(errors.isEmpty());
    QVERIFY(!w.isVisible());
    int pages = 0;
    const QList<PdfWord> words = readPdfWords(pdf, &pages);
    QCOMPARE(pages, 3);
    QVERIFY(std::any_of(words.begin(), words.end(),
                        [](const PdfWord &x) { return x.page == 3 && x.text == "P91"; }));
    QCOMPARE(w.vsPrinter->pageCount(), 3);
}

void TestPrinting::previewUtskriftWithoutPrinterDeclined() {
    skriv &w = skriv::instance();
    bool asked = false;
    w.choosePdfFile = [&](const QString &) {
        asked = true;
        return QString();
    };
    QStringList errors;
    w.reportError = [&](const QString &m) { errors << m; };
    w.vsPrinter->setPrinterName(QStringLiteral("ingen-sådan-skrivare"));

    printProductList(*w.vsPrinter, numberedRows(10), QString());
    w.show();
    QTest::mouseClick(w.Utskrift, Qt::LeftButton);
    QVERIFY(asked);
    QVERIFY(errors.isEmpty());
    QVERIFY(w.isVisible()); // still there to try again
    QCOMPARE(w.vsPrinter->pageCount(), 1);
    w.hide();
}

void TestPrinting::previewPdfFailureIsReported() {
    skriv &w = skriv::instance();
    QTemporaryDir dir;
    w.choosePdfFile = [&](const QString &) {
        return dir.filePath(QStringLiteral("finns-inte/lista.pdf"));
    };
    QStringList errors;
    w.reportError = [&](const QString &m) { errors << m; };
    w.vsPrinter->setPrinterName(QStringLiteral("ingen-sådan-skrivare"));

    printProductList(*w.vsPrinter, numberedRows(10), QString());
    w.show();
    QTest::mouseClick(w.Utskrift, Qt::LeftButton);
    QCOMPARE(errors.size(), 1);
    QVERIFY(w.isVisible());
    QCOMPARE(w.vsPrinter->pageCount(), 1);
    w.hide();
}

void TestPrinting::windowUtskriftPrintsTheListedRows() {
    QTemporaryDir folder;
    makeProgramFolder(folder.path());
    skriv::instance().hide();

    Startmeny window(folder.path());
    window.Sokprodukt->setChecked(true);
    window.periodtxt->setText(QStringLiteral("10"));
    window.Sok_Click();
    window.perioddatum = QStringLiteral("2026-06-30");
    window.Utskrift_Click();
    QVERIFY(window.waitForWork(60000)); // the rows are read on a thread of their own

    skriv &preview = skriv::instance();
    QVERIFY(preview.isVisible());
    QCOMPARE(preview.vsPrinter->PrintSetup(), 1);
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    const PrintEngine &engine = *preview.vsPrinter;
    QCOMPARE(engine.pageCount(), 2);
    QVERIFY(findText(engine.pages().at(0), QStringLiteral("Utsk.datum 2026-06-30")));
    const QList<PrintItem> numbers1 = rowItems(engine.pages().at(0), 2280);
    QCOMPARE(numbers1.size(), 45);
    QCOMPARE(numbers1.first().text, QStringLiteral("1001"));
    QCOMPARE(findText(engine.pages().at(0), QStringLiteral("Artikel 1"))->y, 2223);
    // Page 2: 1046 with its name, 1099 without one.
    const QList<PrintItem> numbers2 = rowItems(engine.pages().at(1), 2280);
    QCOMPARE(numbers2.size(), 2);
    QCOMPARE(numbers2.at(0).text, QStringLiteral("1046"));
    QCOMPARE(numbers2.at(1).text, QStringLiteral("1099"));
    QCOMPARE(numbers2.at(1).y, 2280 + 228);
    QCOMPARE(rowItems(engine.pages().at(1), 1140).size(), 1);
    preview.hide();
}

void TestPrinting::printCommand_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode"); // -1: usage error, -2: failure
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("firstNumber");

    QTest::newRow("product prefix")
        << QStringList{"--produkt", "10", "--period", "2026-06-30"} << 0 << 2 << "1001";
    QTest::newRow("name prefix") << QStringList{"--namn", "Ann"} << 0 << 1 << "2001";
    QTest::newRow("nothing found") << QStringList{"--namn", "Zzz"} << 0 << 1 << "";
    QTest::newRow("both kinds") << QStringList{"--namn", "A", "--produkt", "1"} << -1 << 0 << "";
    QTest::newRow("bad period") << QStringList{"--namn", "A", "--period", "2026-02-30"} << -1 << 0
                                << "";
    QTest::newRow("unknown argument")
        << QStringList{"--namn", "A", "--färg", "röd"} << -1 << 0 << "";
}

void TestPrinting::printCommand() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(int, pages);
    QFETCH(QString, firstNumber);

    QTemporaryDir folder;
    makeProgramFolder(folder.path());
    gAppPath = folder.path();
    const QString pdf = folder.filePath(QStringLiteral("lista.pdf"));
    {
        QFile old(pdf);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("tidigare");
    }
    args << QStringLiteral("--pdf") << pdf;

    if (exitCode == -1) {
        QVERIFY_THROWS_EXCEPTION(lodvik::UsageError, cli::print(args));
        QFile kept(pdf);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("tidigare"));
        return;
    }
    QCOMPARE(cli::print(args), exitCode);
    int pageCount = 0;
    const QList<PdfWord> words = readPdfWords(pdf, &pageCount);
    QCOMPARE(pageCount, pages);
    QVERIFY(std::any_of(words.begin(), words.end(),
                        [](const PdfWord &w) { return w.text == QLatin1String("Utsk.datum"); }));
    // The first list row: the word nearest under the heading in the number column.
    const PdfWord *first = nullptr;
    for (const PdfWord &w : words)
        if (w.page == 1 && qAbs(w.xMin - 114.0) < 0.5 && (!first || w.yMin < first->yMin))
            first = &w;
    if (firstNumber.isEmpty()) {
        QVERIFY(!first);
    } else {
        QVERIFY(first);
        QCOMPARE(first->text, firstNumber);
        QVERIFY(qAbs(first->yMin - 2223 / 20.0) < 1.5);
    }
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
