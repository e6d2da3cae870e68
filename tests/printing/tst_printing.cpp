#include "../common/DataRows.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Desktop.h"
#include "Startmeny/Startmeny.h"
#include "cli/Commands.h"
#include "printengine/PrintEngine.h"
#include "printengine/PrintLayout.h"
#include "printengine/PrintPreviewWidget.h"
#include "search/SearchSource.h"
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
    void initTestCase() {
        // As the program starts the window: in Swedish and with the fonts it uses for the design's;
        // the printout's positions hold whichever fonts stand in.
        QStandardPaths::setTestModeEnabled(true);
        prepareDesktop();
    }

    void productList_data() {
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<QString>("period");
        QTest::addColumn<QList<int>>("rowsPerPage");

        addRow("empty list, no period", 0, QString(), QList<int>{0});
        addRow("one row", 1, QStringLiteral("2026-03-15"), QList<int>{1});
        addRow("one group", 5, QStringLiteral("2026-03-15"), QList<int>{5});
        addRow("44 rows", 44, QStringLiteral("2026-03-15"), QList<int>{44});
        addRow("45 rows end on an empty page", 45, QStringLiteral("2026-03-15"), QList<int>{45, 0});
        addRow("46 rows", 46, QStringLiteral("2026-03-15"), QList<int>{45, 1});
        addRow("90 rows", 90, QStringLiteral("2026-03-15"), QList<int>{45, 45, 0});
        addRow("100 rows", 100, QStringLiteral("2026-03-15"), QList<int>{45, 45, 10});
    }

    void productList() {
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
                QCOMPARE(names.at(k),
                         (PrintItem{1140, expectedRowTop(firstLine, k),
                                    QStringLiteral("Namn %1").arg(next), TNR, 10, false}));
                QCOMPARE(numbers.at(k),
                         (PrintItem{2280, expectedRowTop(firstLine, k),
                                    QStringLiteral("P%1").arg(next), TNR, 10, false}));
            }
            if (rowsPerPage.at(p) > 0)
                QCOMPARE(names.first().y, p == 0 ? 2223 : 2280);
            if (rowsPerPage.at(p) == 45)
                QCOMPARE(names.last().y, p == 0 ? 14079 : 14136);
        }
        QCOMPARE(next, rowCount + 1);
    }

    void printAtKeepsCoordinate_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expectedLeft");
        QTest::addColumn<int>("expectedTop");

        // The engine stands at (500, 700) before each call.
        addRow("both given", 100, 200, "a", 100, 200);
        addRow("x kept", -1, 900, "b", 500, 900);
        addRow("y kept", 300, -1, "c", 300, 700);
        addRow("both kept", -1, -1, "d", 500, 700);
        addRow("zero is a position", 0, 0, "e", 0, 0);
        addRow("empty text moves only", 1200, 1300, "", 1200, 1300);
    }

    void printAtKeepsCoordinate() {
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

    void pdfOfProductList() {
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

    void printerPositionsFromPrintableOrigin() {
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

    void pdfReplacesOnlyWhenComplete() {
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
        // A folder written with its closing slash is a folder that is there, not a missing one.
        try {
            engine.writePdf(dir.path() + QLatin1Char('/'));
            QFAIL("a folder was taken for a file");
        } catch (const lodvik::Error &e) {
            QVERIFY2(!e.message().contains(QStringLiteral("finns inte")), qPrintable(e.message()));
        }
        engine.writePdf(pdf);
        QVERIFY(content().startsWith("%PDF"));
        // Nothing is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Produktlista.pdf")});
    }

    void previewUtskriftWithoutPrinterSavesPdf() {
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

    void previewPdfFailureIsReported() {
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

    // Avbryt while the rows are read: no preview, and the window is free for the next search.
    void windowUtskriftCancelled() {
        QTemporaryDir folder;
        makeProgramFolder(folder.path());
        {
            std::unique_ptr<SearchSource> source =
                openSqliteSearchSource(QDir(folder.path()).filePath(QStringLiteral("sokdata.db")));
            QSqlQuery q(source->database());
            QVERIFY(q.exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50000) "
                "INSERT INTO ProduktSok (Soknamn, Produktnummer) SELECT 'Vara', '5' || i FROM n")));
        }
        skriv::instance().hide();
        Startmeny window(folder.path());
        window.Sokprodukt->setChecked(true);
        window.periodtxt->setText(QStringLiteral("5"));
        window.Sok_Click();
        window.Utskrift_Click();
        QVERIFY(window.isWorking());
        QTest::mouseClick(window.Avbryt, Qt::LeftButton);
        QVERIFY(window.waitForWork(60000));
        QVERIFY(!skriv::instance().isVisible());
        QVERIFY(window.Sok->isEnabled());
    }

    void windowUtskriftPrintsTheListedRows() {
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

    void printCommand_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode"); // -1: usage error, -2: failure
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("firstNumber");

        addRow("product prefix", QStringList{"--produkt", "10", "--period", "2026-06-30"}, 0, 2,
               "1001");
        addRow("name prefix", QStringList{"--namn", "Ann"}, 0, 1, "2001");
        addRow("nothing found", QStringList{"--namn", "Zzz"}, 0, 1, "");
        addRow("both kinds", QStringList{"--namn", "A", "--produkt", "1"}, -1, 0, "");
        addRow("bad period", QStringList{"--namn", "A", "--period", "2026-02-30"}, -1, 0, "");
        addRow("unknown argument", QStringList{"--namn", "A", "--färg", "röd"}, -1, 0, "");
    }

    void printCommand() {
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
        QVERIFY(std::any_of(words.begin(), words.end(), [](const PdfWord &w) {
            return w.text == QLatin1String("Utsk.datum");
        }));
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
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
