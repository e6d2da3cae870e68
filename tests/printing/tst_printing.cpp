#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/Refusal.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Desktop.h"
#include "Startmeny/Startmeny.h"
#include "cli/Commands.h"
#include "printengine/PrintEngine.h"
#include "printengine/PrintLayout.h"
#include "search/SearchSource.h"
#include "skriv/ProductListPrintout.h"
#include "skriv/skriv.h"

#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

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

// The list rows of a page in one column: the texts at x below the heading block.
QList<PrintItem> rowItems(const PrintPage &page, int x) {
    QList<PrintItem> out;
    for (const PrintItem &item : page.items)
        if (item.x == x && item.y >= 2000)
            out.append(item);
    return out;
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

// Whether the word stands on the page (from 1) at the position in twips; anywhere for x < 0.
bool wordAt(const QList<PdfWord> &words, int page, const QString &text, int x, int y) {
    return std::any_of(words.begin(), words.end(), [&](const PdfWord &w) {
        return w.page == page && w.text == text &&
               (x < 0 || (qAbs(w.xMin - x / 20.0) < 0.5 && qAbs(w.yMin - y / 20.0) < 1.5));
    });
}

// A program folder whose search data source holds products 1001..1046 and 1099 without a
// search name, one product outside the prefix 10, and more rows 51..5<more> named Vara.
void makeProgramFolder(const QString &folder, int more = 0) {
    std::unique_ptr<SearchSource> source =
        openSqliteSearchSource(QDir(folder).filePath(QStringLiteral("sokdata.db")));
    QSqlQuery q(source->database());
    const QString numbered = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT %1 UNION ALL SELECT i - 1 FROM n WHERE i > 1) "
        "INSERT INTO ProduktSok (Soknamn, Produktnummer) SELECT %2 FROM n");
    QVERIFY(q.exec(numbered.arg(46).arg("'Artikel ' || i, CAST(1000 + i AS TEXT)")));
    QVERIFY(
        q.exec(QStringLiteral("INSERT INTO ProduktSok VALUES (NULL, '1099'), ('Annat', '2001')")));
    if (more > 0)
        QVERIFY(q.exec(numbered.arg(more).arg("'Vara', '5' || i")));
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

    // The product list's pages, and their PDF read back: every text where the engine put it.
    void productList_data() {
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<QString>("period");
        QTest::addColumn<QList<int>>("rowsPerPage");
        addRow("empty list, no period", 0, QString(), QList<int>{0});
        addRow("44 rows", 44, "2026-03-15", QList<int>{44});
        addRow("45 rows end on an empty page", 45, "2026-03-15", QList<int>{45, 0});
        addRow("46 rows", 46, "2026-03-15", QList<int>{45, 1});
        addRow("100 rows", 100, "2026-03-15", QList<int>{45, 45, 10});
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
            // The first page's headings, "Lagerregister" on the others; five rows 228 twips
            // apart, 456 after each fifth.
            QList<PrintItem> expected{{7980, 570, QStringLiteral("Lagerregister"), TNR, 18, true}};
            if (p == 0)
                expected = {{1140, 570, QStringLiteral("Lodvik group"), TNR, 18, true},
                            {7980, 570, QStringLiteral("Produkt "), TNR, 18, true},
                            {7980, 1596, QStringLiteral("Utsk.datum ") + period, TNR, 10, false}};
            const int firstLine = p == 0 ? 39 : 40;
            for (int k = 0; k < rowsPerPage.at(p); ++k, ++next) {
                const int y = (firstLine + 24 * (k / 5) + 4 * (k % 5)) * 57;
                expected.append({1140, y, QStringLiteral("Namn %1").arg(next), TNR, 10, false});
                expected.append({2280, y, QStringLiteral("P%1").arg(next), TNR, 10, false});
            }
            QCOMPARE(engine.pages().at(p).items, expected);
            const QList<PrintItem> numbers = rowItems(engine.pages().at(p), 2280);
            if (!numbers.isEmpty())
                QCOMPARE(numbers.first().y, p == 0 ? 2223 : 2280);
            if (numbers.size() == 45)
                QCOMPARE(numbers.last().y, p == 0 ? 14079 : 14136);
        }
        QCOMPARE(next, rowCount + 1);

        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("lista.pdf"));
        engine.writePdf(pdf);
        int pages = 0;
        const QList<PdfWord> words = readPdfWords(pdf, &pages);
        QCOMPARE(pages, engine.pageCount());
        for (int p = 0; p < engine.pageCount(); ++p)
            for (const PrintItem &item : engine.pages().at(p).items) {
                const QStringList parts = item.text.split(' ', Qt::SkipEmptyParts);
                for (int i = 0; i < parts.size(); ++i)
                    QVERIFY2(wordAt(words, p + 1, parts.at(i), i ? -1 : item.x, item.y),
                             qPrintable(item.text));
            }
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
        PrintAt(engine, text, qint16(x), qint16(y));
        QCOMPARE(engine.TextLeft(), expectedLeft);
        QCOMPARE(engine.TextTop(), expectedTop);
        const QList<PrintItem> &items = engine.pages().first().items;
        QCOMPARE(items.size(), text.isEmpty() ? 0 : 1);
        if (!text.isEmpty())
            QCOMPARE((QList<QVariant>{items.first().x, items.first().y, items.first().text}),
                     (QList<QVariant>{expectedLeft, expectedTop, text}));
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
        QVERIFY(wordAt(words, 1, QStringLiteral("Ett"), (36 + 72) * 20, (18 + 144) * 20));
        QVERIFY(wordAt(words, 2, QStringLiteral("Två"), 36 * 20, 18 * 20));
    }

    // A PDF of no pages, into a missing folder or onto a folder (named with its closing slash
    // too) is refused for what it is, and the old file is kept.
    void pdfRefused_data() {
        QTest::addColumn<int>("rows"); // -1: no document at all
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("refused"); // words of the message
        addRow("no pages", -1, "Produktlista.pdf", "ingen utskrift");
        addRow("a folder with its slash", 3, "", "är en mapp");
    }
    void pdfRefused() {
        QFETCH(int, rows);
        QFETCH(QString, file);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const QString old = dir.filePath(QStringLiteral("Produktlista.pdf"));
        QVERIFY(writeFile(old, "gammal utskrift"));
        PrintEngine engine;
        if (rows >= 0)
            printProductList(engine, numberedRows(rows), QString());
        const QString said =
            refusal([&] { engine.writePdf(dir.path() + QLatin1Char('/') + file); });
        QVERIFY2(!said.isEmpty() && said.contains(refused), qPrintable(said));
        QCOMPARE(readFile(old), QByteArray("gammal utskrift"));
    }

    // Utskrift in the window reads the rows on a thread of its own and shows them in the
    // preview. There Utskrift with no printer asks for a PDF file, which gets every page, not
    // only the one shown; a PDF it cannot write is reported and the preview stays. Avbryt while
    // the rows are read shows no preview and frees the window for the next search.
    void windowUtskrift_data() {
        QTest::addColumn<QString>("pdf"); // the file the operator names; empty: Avbryt
        addRow("printed, saved as PDF", "Produktlista.pdf");
        addRow("printed, PDF into no folder", "finns-inte/lista.pdf");
        addRow("Avbryt while the rows are read", "");
    }
    void windowUtskrift() {
        QFETCH(QString, pdf);
        const bool cancel = pdf.isEmpty();
        QTemporaryDir folder;
        makeProgramFolder(folder.path(), cancel ? 50000 : 0);
        skriv &preview = skriv::instance();
        preview.hide();
        Startmeny window(folder.path());
        window.Sokprodukt->setChecked(true);
        window.periodtxt->setText(cancel ? QStringLiteral("5") : QStringLiteral("10"));
        window.Sok_Click();
        window.perioddatum = QStringLiteral("2026-06-30");
        window.Utskrift_Click();
        if (cancel) {
            QVERIFY(window.isWorking());
            QTest::mouseClick(window.Avbryt, Qt::LeftButton);
        }
        QVERIFY(window.waitForWork(60000));
        QCOMPARE(preview.isVisible(), !cancel);
        if (cancel) {
            QVERIFY(window.Sok->isEnabled());
            return;
        }
        QCOMPARE(preview.vsPrinter->PrintSetup(), 1);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        const PrintEngine &engine = *preview.vsPrinter;
        const auto texts = [&](int page, int x) {
            QStringList out;
            for (const PrintItem &item : rowItems(engine.pages().at(page), x))
                out << item.text;
            return out;
        };
        QCOMPARE(engine.pageCount(), 2);
        QCOMPARE(engine.pages().at(0).items.at(2).text, QStringLiteral("Utsk.datum 2026-06-30"));
        QCOMPARE(texts(0, 2280).size(), 45);
        QCOMPARE(texts(0, 2280).first() + ' ' + texts(0, 1140).first(), "1001 Artikel 1");
        // Page 2: 1046 with its name, 1099 without one (its place in the PDF below).
        QCOMPARE(texts(1, 2280) + texts(1, 1140), (QStringList{"1046", "1099", "Artikel 46"}));

        QTemporaryDir dir;
        QString reason;
        preview.choosePdfFile = [&](const QString &why) {
            reason = why;
            return dir.filePath(pdf);
        };
        QStringList errors;
        preview.reportError = [&](const QString &m) { errors << m; };
        preview.vsPrinter->setPrinterName(QStringLiteral("ingen-sådan-skrivare"));
        preview.scrpage->setValue(1);
        QTest::mouseClick(preview.Utskrift, Qt::LeftButton);
        QVERIFY(reason.contains(QStringLiteral("ingen-sådan-skrivare")));
        const bool saved = !pdf.contains(QLatin1Char('/'));
        QCOMPARE(errors.size(), saved ? 0 : 1);
        QCOMPARE(preview.isVisible(), !saved);
        QCOMPARE(engine.pageCount(), 2);
        preview.hide();
        if (saved) {
            int pages = 0;
            const QList<PdfWord> words = readPdfWords(dir.filePath(pdf), &pages);
            QCOMPARE(pages, 2);
            QVERIFY(wordAt(words, 2, QStringLiteral("1099"), 2280, 2280 + 228));
        }
    }

    void printCommand_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("pages"); // 0: a usage error
        QTest::addColumn<QString>("firstNumber");
        addRow("product prefix", QStringList{"--produkt", "10", "--period", "2026-06-30"}, 2,
               "1001");
        addRow("name prefix", QStringList{"--namn", "Ann"}, 1, "2001");
        addRow("nothing found", QStringList{"--namn", "Zzz"}, 1, "");
        addRow("both kinds", QStringList{"--namn", "A", "--produkt", "1"}, 0, "");
        addRow("bad period", QStringList{"--namn", "A", "--period", "2026-02-30"}, 0, "");
    }
    void printCommand() {
        QFETCH(QStringList, args);
        QFETCH(int, pages);
        QFETCH(QString, firstNumber);
        QTemporaryDir folder;
        makeProgramFolder(folder.path());
        gAppPath = folder.path();
        const QString pdf = folder.filePath(QStringLiteral("lista.pdf"));
        QVERIFY(writeFile(pdf, "tidigare"));
        args << QStringLiteral("--pdf") << pdf;
        if (pages == 0) {
            QVERIFY_THROWS_EXCEPTION(lodvik::UsageError, cli::print(args));
            QCOMPARE(readFile(pdf), QByteArray("tidigare"));
            return;
        }
        QCOMPARE(cli::print(args), 0);
        int pageCount = 0;
        const QList<PdfWord> words = readPdfWords(pdf, &pageCount);
        QCOMPARE(pageCount, pages);
        QVERIFY(wordAt(words, 1, QStringLiteral("Utsk.datum"), 7980, 1596));
        // The first list row: the word nearest under the heading in the number column.
        const PdfWord *first = nullptr;
        for (const PdfWord &w : words)
            if (w.page == 1 && qAbs(w.xMin - 114.0) < 0.5 && (!first || w.yMin < first->yMin))
                first = &w;
        QCOMPARE(first ? first->text : QString(), firstNumber);
        if (first)
            QVERIFY(qAbs(first->yMin - 2223 / 20.0) < 1.5);
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
