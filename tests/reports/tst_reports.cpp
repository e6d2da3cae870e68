#include "../common/CoverageColumnRows.h"
#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/HandWorkedStore.h"
#include "../common/LocalStoreFixture.h"
#include "../common/ProgramFolder.h"
#include "../common/Refusal.h"
#include "../common/ScanAgainstQueries.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/NumberText.h"
#include "ReadBack.h"
#include "figures/StockFigures.h"
#include "reports/CoverageColumns.h"
#include "reports/CoverageJob.h"
#include "reports/CoverageScan.h"
#include "reports/CoverageSources.h"
#include "reports/Reports.h"

#include <QCursor>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTest>

#include <atomic>

using lodvik::Variant;
using reports::CoverageRow;
using namespace testvalues;

namespace {

// A cell as the lists read it: its number in C form, "" for an empty one.
QString shown(const reports::CellNumber &n) {
    return n ? lodvik::plainNumber(*n) : QString();
}

// Figures given by the test; those it does not set are 0.
struct GivenFigures : reports::ProductFigures {
    Variant frn = Variant::Integer(0), avail_ = Variant::Integer(0), dp = Variant::Integer(0),
            pj = Variant::Integer(0), sales = Variant::Integer(0), salesFrn = Variant::Integer(0);
    Variant stockOnHandFRN(const QString &) override { return frn; }
    Variant avail(const QString &) override { return avail_; }
    Variant stockOnHandDP(const QString &) override { return dp; }
    Variant stockOnHandPJ(const QString &, double) override { return pj; }
    Variant prodBackOrderPJ(const QString &, double) override { return Variant::Integer(0); }
    Variant prodBackOrderFRN(const QString &, double) override { return Variant::Integer(0); }
    Variant prodOrderPJ(const QString &, double) override { return Variant::Integer(0); }
    Variant prodOrderFRN(const QString &, double) override { return Variant::Integer(0); }
    Variant salesPerWeek(const QString &, double) override { return sales; }
    Variant salesPerWeekFRN(const QString &) override { return salesFrn; }
};

} // namespace

// The coverage workbook's columns on the hand-worked store's products P1, P2, P3 and P5 (rows
// 5 to 8): each column's headings (rows 2 to 4), its cells as the workbook shows them ("" for
// an empty cell), and the drill-down's tables with the rows each holds for P2 and for P5
// (nullptr: no drill-down).
struct HandWorked {
    char letter;
    const char *heading[3];
    const char *cells[4];
    const char *drillDown[2];
};
const HandWorked handWorked[] = {
    {'A', {"", "Produkt", "Number"}, {"P1", "P2", "P3", "P5"}, {nullptr, nullptr}},
    {'B', {"", "Produkt", "Description"}, {"Pall röd", "Pall blå", "", "Pall grön"}, {}},
    {'C', {"", "", "Bags/pack"}, {"1000", "2000", "1000", "1000"}, {"pjomr 1", "pjomr 1"}},
    {'D',
     {"Stock", "On Hand", "FRN (packs)"},
     {"10", "-12", "", "10"},
     {"pjstkfrn 1, avail 1", "pjstkfrn 1, avail 1"}},
    {'E', {"Stock", "On Hand", "DP (Packs)"}, {"5", "", "5", "4"}, {"DTSPL 0", "DTSPL 1"}},
    {'F', {"Stock", "On Hand", "PJ (Packs)"}, {"", "3", "", "6"}, {"pjstk 1", "pjstk 1"}},
    {'G', {"Total", "Stock", "(packs)"}, {"15", "-9", "5", "20"}, {"", ""}},
    {'H', {"Coverage", "Time", "Weeks"}, {"4", "0", "3", "7"}, {"", ""}},
    {'I', {"Coverage", "Time FRN", "Weeks"}, {"3", "0", "0", "10"}, {"", ""}},
    {'J',
     {"", "Backorder", "PJ"},
     {"", "2", "", ""},
     {"PJOTBALLA 1, pjpvmens 1", "PJOTBALLA 0, pjpvmens 0"}},
    {'K', {"", "Backorder", "PJ FRN"}, {"", "3", "", ""}, {"PJOFBACK 1", "PJOFBACK 0"}},
    {'L', {"", "Order", "PJ"}, {"", "4", "", ""}, {"PJOTALLA 1", "PJOTALLA 0"}},
    {'M', {"", "Order", "PJ FRN"}, {"", "1", "", ""}, {"PJOFFRAM 1", "PJOFFRAM 0"}},
    {'N', {"Total", "Order PJ", "Packs"}, {"0", "6", "0", "0"}, {"", ""}},
    {'O', {"Sales", "per", "Week"}, {"4", "", "2", "3"}, {"pjsfakt 1", "pjsfakt 1"}},
    {'P', {"Sales", "per", "WeekFRN"}, {"3", "", "", "1"}, {"frnhist 0", "frnhist 1"}},
    {'Q', {"", "", "Actions"}, {"", "", "", ""}, {}},
    {'R', {"", "", "Status"}, {"", "", "", ""}, {}},
};

class TestReports : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        m_home = m_folder->path();
    }
    void cleanup() { m_folder.reset(); }

    // The run's figures rounded as their cells show them, and the covers and totals worked out
    // from those cells: by hand, G (empty: none), H and I, or the message that stops the run.
    void coversFromTheRoundedCells_data() {
        QTest::addColumn<QList<Variant>>("figures"); // FRN, available, DP, PJ, sales, FRN sales
        QTest::addColumn<QString>("cells");          // D E F G H I O P, or a part of the message
        using L = QList<Variant>;
        addRow("half-way figures, away from zero", L{D(2.5), D(0), D(-2.5), D(0.5), D(1.5), D(2.5)},
               "3 -3 1 1 1 1 2 3"); // H = 1/2 → 1, I = 3/3
        addRow("negative", L{D(-7.4), D(0), D(-0.6), D(3), D(-2.5), D(-1.49)},
               "-7 -1 3 -5 2 7 -3 -1");
        addRow("sales below half a pack: covers 0", L{D(10), D(0), D(5), D(1), D(0.4), D(-0.4)},
               "10 5 1 16 0 0  ");
        addRow("a cover that rounds to nothing", L{D(1), D(0), D(0), D(0), D(7), D(9)},
               "1   1   7 9");
        addRow("null figures", L{N(), D(0), D(5), N(), D(2), N()},
               " 5  5 3 0 2 "); // H = 5/2 → 3
        addRow("numeric texts",
               L{S("12.5"), S("0"), S("-3.5"), Variant::Long(4), S("2.5"), S("0.5")},
               "13 -4 4 13 4 13 3 1");
        addRow("whole past 2^53", L{D(9007199254740993.0), D(0), D(1), D(0), D(1e17), D(0)},
               "9007199254740992 1  9007199254740992  0 1e+17 ");
        addRow("stock past the largest number", L{D(1e308), D(0), D(1e308), D(0), D(1), D(0)},
               "Coverage time");
        addRow("a figure that is no number", L{D(1), D(0), S("abc"), D(1), D(2), D(3)},
               "StockOnHandDP");
    }
    void coversFromTheRoundedCells() {
        QFETCH(QList<Variant>, figures);
        QFETCH(QString, cells);
        GivenFigures given;
        for (Variant *f :
             {&given.frn, &given.avail_, &given.dp, &given.pj, &given.sales, &given.salesFrn})
            *f = figures.takeFirst();
        CoverageRow row;
        lodvik::NoProgress progress;
        try {
            reports::fillCoverageRow(given, S("P1"), S("Vara"), Variant::Long(6), row, progress);
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(cells), qPrintable(e.message()));
            return;
        }
        const QStringList got{shown(row.stockFrn),   shown(row.stockDp),
                              shown(row.stockPj),    shown(row.stockTotal),
                              shown(row.coverWeeks), shown(row.coverWeeksFrn),
                              shown(row.salesPj),    shown(row.salesFrn)};
        QCOMPARE(got.join(QLatin1Char(' ')), cells);
        QCOMPARE(row.unitsPerPack, std::optional(6000.0));
        // The window's table holds the figures as "########" texts, a cover without sales 0.
        const ProduktTabell::Row table = reports::tableCells(row);
        QCOMPARE(table[4].text(), shown(row.stockFrn));
        QCOMPARE(table[8].type(), row.salesPj ? Variant::Type::String : Variant::Type::Integer);
        QVERIFY(table[7].isEmpty()); // the workbook's formula fills G
    }

    // Every column of the coverage table on the hand-worked store: its headings at its letter,
    // its value in the workbook and in the run's row, and the drill-down's cell, row counts and
    // Swedish line, against values worked out by hand.
    void everyColumn_data() { addCoverageColumnRows(); }

    void everyColumn() {
        const reports::CoverageColumn &column = fetchCoverageColumn();
        const HandWorked *expected = nullptr;
        for (const HandWorked &h : handWorked)
            if (h.letter == column.letter)
                expected = &h;
        QVERIFY(expected);
        handWorkedStore(*m_folder);
        const std::vector<CoverageRow> rows = coverage();
        QCOMPARE(rows.size(), size_t(4));
        QString error;
        const QJsonObject dump = readback::xlrdDump(
            m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls"), &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        QCOMPARE(dump.value("nrows").toInt(), 8);
        const QJsonObject cells = readback::cellsByPosition(dump);
        const auto cell = [&](int r) {
            return cells.value(QStringLiteral("%1,%2").arg(r).arg(column.column())).toObject();
        };
        const auto value = [](const QJsonObject &cell) {
            return cell.value("type").toString() == QLatin1String("number")
                       ? QString::number(cell.value("value").toDouble())
                       : cell.value("value").toString();
        };
        // The headings, bold within A1:Q4 only.
        for (int r = 2; r <= 4; ++r) {
            QCOMPARE(cell(r).value("value").toString(),
                     QString::fromUtf8(expected->heading[r - 2]));
            QCOMPARE(cell(r).value("bold").toBool(), column.letter <= 'Q');
        }
        for (int p = 0; p < 4; ++p) {
            const QString want = QString::fromUtf8(expected->cells[p]);
            QVERIFY(!cell(p + 5).value("bold").toBool());
            QCOMPARE(value(cell(p + 5)), want);
            if (column.text)
                QCOMPARE(rows[size_t(p)].*column.text, want);
            if (column.number)
                QCOMPARE(shown(rows[size_t(p)].*column.number), want);
        }
        // The drill-down recomputes the run's cell, counts the rows of the tables it read, and
        // says it in Swedish, the figures' own names in a note at the end.
        const char *const products[] = {"P2", "P5"};
        for (int p = 0; p < 2; ++p) {
            const QList<reports::CellSource> sources = reports::coverageCellSources(
                m_folder->localDatabase(), period(), QString::fromLatin1(products[p]));
            QCOMPARE(sources.size(), 14); // C to P
            const auto source =
                std::find_if(sources.cbegin(), sources.cend(), [&](const reports::CellSource &s) {
                    return s.workbookColumn == column.letter;
                });
            QCOMPARE(source != sources.cend(), expected->drillDown[p] != nullptr);
            if (source == sources.cend())
                continue;
            QCOMPARE(source->cell, QString::fromUtf8(expected->cells[p == 0 ? 1 : 3]));
            QStringList counts, names;
            for (const reports::FigureSource &f : source->figures) {
                names << f.figure;
                for (const reports::TableRows &t : f.tables)
                    counts << QStringLiteral("%1 %2").arg(t.table).arg(t.rows);
            }
            QCOMPARE(counts.join(QStringLiteral(", ")), QString::fromUtf8(expected->drillDown[p]));
            const QString line = source->explanation;
            QVERIFY2(names.isEmpty() ? !line.contains(QStringLiteral("; figur"))
                                     : line.endsWith(names.join(QStringLiteral(" och "))),
                     qPrintable(line));
            for (const QString &name : names) // only in the note and the tables read
                QVERIFY2(!line.left(line.indexOf(QStringLiteral(", från"))).contains(name),
                         qPrintable(line));
        }
    }

    // The .xlsx holds the .xls's cells as independent readers see them: each value and type,
    // bold and font, the widths, and each total's formula beside its stored result.
    void xlsxHoldsWhatTheXlsHolds() {
        handWorkedStore(*m_folder);
        const QStringList omr{"iblitm", "imdsc1", "umconv"};
        m_folder->insert("pjomr", {S("P6"), S("=1+2"), D(1)}, omr); // never a formula
        m_folder->insert("pjomr", {S("P7"), S("0012"), D(3)}, omr); // a number as typed
        coverage();
        coverage(true);
        QString error;
        const QJsonObject old =
            readback::xlrdDump(reports::productWorkbookFileName(m_home, period()), &error);
        QVERIFY2(!old.isEmpty(), qPrintable(error));
        const QString xlsx = reports::productWorkbookFileName(m_home, period(), true);
        QVERIFY(xlsx.endsWith(QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xlsx")));
        const QJsonObject now = readback::openpyxlDump(xlsx, &error);
        QVERIFY2(!now.isEmpty(), qPrintable(error));
        for (const char *key : {"sheets", "name", "nrows", "ncols", "widths"})
            QCOMPARE(now.value(QLatin1String(key)), old.value(QLatin1String(key)));
        QCOMPARE(now.value("nrows").toInt(), 10);
        const QJsonObject oldCells = readback::cellsByPosition(old);
        const QJsonObject newCells = readback::cellsByPosition(now);
        QCOMPARE(newCells.keys(), oldCells.keys());
        for (const QString &at : oldCells.keys()) {
            QJsonObject cell = newCells.value(at).toObject();
            const QString formula = cell.take(QStringLiteral("formula")).toString();
            QCOMPARE(cell, oldCells.value(at).toObject());
            const int row = at.section(',', 0, 0).toInt(), column = at.section(',', 1).toInt();
            const QString expected = column == 7    ? QStringLiteral("D%1+E%1+F%1").arg(row)
                                     : column == 14 ? QStringLiteral("L%1+J%1").arg(row)
                                                    : QString();
            QCOMPARE(formula, row >= 5 ? expected : QString());
        }
        QCOMPARE(newCells.value("9,2").toObject().value("value").toString(),
                 QStringLiteral("=1+2"));
        QCOMPARE(newCells.value("10,2").toObject().value("value").toDouble(), 12.0);
        // The drill-down of a product pjomr does not hold says so.
        QVERIFY_THROWS_EXCEPTION(lodvik::Error,
                                 reports::coverageCellSources(m_folder->localDatabase(), period(),
                                                              QStringLiteral("not a product")));
    }

    // A workbook is written whole or not at all: a cancelled or failed save keeps the earlier
    // file and the arrow pointer, and leaves no other file.
    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<QString>("file");   // in the folder
        QTest::addColumn<int>("count");      // products; 0: the summary
        QTest::addColumn<QString>("reason"); // a part of the message; "" a cancel
        addRow("cancelled .xlsx", "rapporter/P.xlsx", 3, "");
        addRow("no rapporter folder", "saknas/P.xlsx", 3, "finns inte");
        addRow("more rows than an .xls sheet", "rapporter/P.xls", 70000, "utanför arbetsbladet");
        addRow("summary into no folder", "saknas/Pallvik.xls", 0, "finns inte");
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(QString, reason);
        const QString target = m_home + QLatin1Char('/') + file;
        const bool earlier = file.startsWith(QLatin1String("rapporter/"));
        if (earlier)
            QVERIFY(writeFile(target, "earlier"));
        std::vector<CoverageRow> products{size_t(count)};
        for (CoverageRow &row : products)
            row.productCell = Variant::String(row.product = QStringLiteral("X"));
        RecordingProgress progress;
        std::atomic<bool> stop{reason.isEmpty()};
        progress.setCancelFlag(&stop);
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        const QString said = refusal([&] {
            if (count == 0)
                reports::tillexell(SummaTabell{}, target, progress);
            else
                reports::excellprodukter(products, target, progress);
        });
        QVERIFY2(reason.isEmpty() ? said == lodvik::Cancelled().message() : said.contains(reason),
                 qPrintable(said));
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        QGuiApplication::restoreOverrideCursor();
        QCOMPARE(QDir(m_home + QStringLiteral("/rapporter")).entryList(QDir::Files),
                 earlier ? QStringList{QFileInfo(target).fileName()} : QStringList());
        if (earlier)
            QCOMPARE(readFile(target), QByteArray("earlier"));
    }

    void unusableProductStopsRun_data() {
        QTest::addColumn<Variant>("umconv");
        QTest::addColumn<QString>("rows");   // more rows of B2, as SQL
        QTest::addColumn<QString>("reason"); // parts of the message, "|" between
        addRow("null", Variant::Null(), "", "B2|umconv är tomt");
        // A product without a number comes first, and is named as one.
        addRow("zero of no product", D(0), "UPDATE pjomr SET iblitm = NULL WHERE iblitm = 'B2'",
               "Produkten utan produktnummer|umconv är 0");
        addRow("empty text", S(""), "", "B2|umconv är tomt");
        addRow("zero", D(0), "", "B2|umconv är 0");
        // No figure may come out as "inf" or "nan", nor as an empty cell for one.
        addRow("nan", S("nan"), "", "B2|umconv \"nan\" är inget tal");
        addRow("thousand times too large", D(1e306), "", "B2|är för stort");
        addRow("stock minus availability overflows", D(1),
               "INSERT INTO pjstkfrn (ivcitm, lipqoh) VALUES ('B2', 1e308);"
               "INSERT INTO avail (ivcitm, quantity) VALUES ('B2', -1e308);",
               "StockOnHandFRN för produkt \"B2\"");
        addRow("stock of plus and minus infinity", D(1),
               "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('B2', 9e999), ('B2', -9e999);",
               "Inf|lipqoh|pjstk");
        addRow("a product number in Latin-1", D(1),
               "UPDATE pjomr SET iblitm = CAST(x'4232C5' AS TEXT) WHERE iblitm = 'B2';"
               "INSERT INTO pjstk (imlitm, lipqoh) VALUES (CAST(x'4232C5' AS TEXT), 5);",
               "B2\uFFFD|UTF-8");
    }

    void unusableProductStopsRun() {
        QFETCH(Variant, umconv);
        QFETCH(QString, rows);
        QFETCH(QString, reason);
        const QStringList omr{"iblitm", "imdsc1", "umconv"};
        m_folder->insert("pjomr", {S("A1"), S("Bra"), D(1)}, omr);
        m_folder->insert("pjomr", {S("B2"), S("Trasig"), umconv}, omr);
        m_folder->insert("pjomr", {S("C3"), S("Bra"), D(1)}, omr);
        execute({rows});
        RecordingProgress progress;
        std::vector<CoverageRow> made;
        const QString said = refusal([&] { coverage(false, &progress, &made); });
        QVERIFY2(!said.isEmpty(), "the run went on without units per pack");
        for (const QString &part : reason.split(QLatin1Char('|')))
            QVERIFY2(said.contains(part), qPrintable(said));
        // The rows before it were made; nothing was saved.
        QCOMPARE(made.size(), size_t(reason.startsWith(QLatin1String("Produkten utan")) ? 0 : 1));
        QVERIFY(QDir(m_home + QStringLiteral("/rapporter")).isEmpty());
        QVERIFY(!progress.captions.contains(QStringLiteral("Klart")));
    }

    // One figure of each kind the summary holds, per source, period November 2010, filled from
    // the totals and written: each cell at row 4 + source, column figure + 1, rounded, 0 an
    // empty cell, row 8 the sum of the three sources.
    void summaryFromTotalsToWorkbook() {
        m_folder->insert("pjomr", {S("P1"), D(2)}, {"iblitm", "umconv"});
        m_folder->insert("pjsprior", {D(100)}, {"sdpqor"});
        m_folder->insert("pjs1prior", {D(20)}, {"sdpqor"});
        m_folder->insert("pjscurr", {D(7)}, {"sdpqor"});
        m_folder->insert("pjocurr", {D(4)}, {"antaltusen"});
        m_folder->insert("pjpvmens", {S("P1"), D(1)}, {"mflitm", "mffqt"});
        m_folder->insert("pjoback", {D(9)}, {"antaltusen"});
        m_folder->insert("pjstkens", {D(11)}, {"lipqoh"});
        m_folder->insert("pjgit", {D(1234.6)}, {"sdpqor"});
        m_folder->insert("pj1git", {D(0.4)}, {"sdpqor"});
        m_folder->insert("pjofram", {D(-3)}, {"antaltusen"});
        m_folder->insert("frnhist", {S("P1"), D(5), D(6)}, {"ivcitm", "IHSQ10", "IHSQ11"});
        m_folder->insert("frnrequest", {S("P1"), D(8)}, {"ivcitm", "sduorg"});
        m_folder->insert("avail", {S("P1"), D(3)}, {"ivcitm", "quantity"});
        m_folder->insert("pjstkfrn", {S("P1"), D(10)}, {"ivcitm", "lipqoh"});
        m_folder->insert("frnrequesu", {S("P1"), D(2)}, {"ivcitm", "sduorg01"});
        m_folder->insert("DTSPL", {S("P1"), D(1), D(2), D(3), D(4)},
                         {"Fält2", "Fält4", "Fält11", "Fält25", "Fält32"});
        SummaTabell t{};
        t[5][1] = 42; // a figure the totals do not fill stays
        RecordingProgress progress;
        figures::StockFigures figures(m_folder->localDatabase(), progress);
        reports::fillSummatabell(t, figures, period(), progress);
        // Each total is shown as its column's heading and its source's row.
        for (const char *caption :
             {"Sales Prior Month, PJ", "Back Orders, FRN", "GIT, PJ", "Outside Current Month, DP"})
            QVERIFY2(progress.captions.contains(QLatin1String(caption)), caption);
        t[6][2] = 1234.6; // rounds up
        t[6][3] = 0.4;    // rounds to nothing
        t[15][1] = 99;    // past figure 14: not written
        const QString file = reports::summaryWorkbookFileName(m_home, period());
        progress.captions.clear();
        reports::tillexell(t, file, progress);
        QCOMPARE(progress.captions, QStringList{QStringLiteral("Skapar excelfilen ") + file});
        QString error;
        const QJsonObject cells = readback::cellsByPosition(readback::xlrdDump(file, &error));
        QVERIFY2(!cells.isEmpty(), qPrintable(error));
        const auto cell = [&](int r, int c) {
            return cells.value(QStringLiteral("%1,%2").arg(r).arg(c)).toObject();
        };
        struct Expect {
            int figure;
            double source[3]; // PJ, FRN, DP
        };
        const Expect expected[] = {
            {1, {120, 5 * 2, 1 * 2}},   // sales prior month: PJ, FRN (IHSQ10), DP
            {2, {7, 6 * 2, 2 * 2}},     // sales current month
            {3, {4 + 1, 8 * 2, 3 * 2}}, // orders current month
            {4, {9, 3 * 2, 0}},         // back orders
            {5, {42, 0, 0}},            //
            {6, {0, 1235, 0}},          //
            {9, {11, 10 * 2, 0}},       // GSC
            {10, {1235, 0, 0}},         // GIT: PJ only
            {14, {-3, 2 * 2, 4 * 2}},   // outside orders
            {15, {0, 0, 0}},            //
        };
        for (const Expect &e : expected) {
            double total = 0;
            for (int s = 0; s < 3; ++s) {
                const QJsonObject c = cell(5 + s, e.figure + 1);
                QVERIFY2(e.source[s] == 0 ? c.isEmpty()
                                          : c.value("value").toDouble() == e.source[s],
                         qPrintable(QStringLiteral("figure %1 source %2: %3")
                                        .arg(e.figure)
                                        .arg(s + 1)
                                        .arg(c.value("value").toDouble())));
                total += e.source[s];
            }
            if (e.figure <= 14)
                QCOMPARE(cell(8, e.figure + 1).value("value").toDouble(), total);
        }
        for (int c = 2; c <= 19; ++c)
            QCOMPARE(cell(8, c).value("type").toString(), QStringLiteral("number"));
        QVERIFY(cell(3, 7).isEmpty()); // "" written: stays empty
    }

    // The one-pass figures against each figure's own per-product query, value for value (type
    // and bits) and message for message, on stores made to trip the pass.
    void scanEqualsFigureQueries_data() {
        QTest::addColumn<QStringList>("sql");
        QTest::addColumn<QStringList>("perProduct"); // tables the pass leaves to the queries
        const QString omr = QStringLiteral("INSERT INTO pjomr (iblitm, umconv) VALUES ");
        addRow("integers exactly, texts and reals as the store adds them",
               QStringList{omr + "('P1', 2), ('P2', 1), ('P9', 3)",
                           "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('P1', 9007199254740993), "
                           "('P1', 1), ('P2', 0.1), ('p2', 0.2), ('P2', 3), ('P2', ''), "
                           "('P2', ' '), ('P2', '4'), ('P2', NULL), ('P2 ', 100)",
                           "INSERT INTO PJOTALLA (sdaitm, antaltusen) VALUES ('P1', 1e308), "
                           "('P1', 1e308), ('P2', -7)",
                           "INSERT INTO pjpvmens (mflitm, mffqt) VALUES ('p1', 5), ('P2', NULL)",
                           "INSERT INTO PJOTBALLA (sdaitm, antaltusen) VALUES ('P1', 2.5)",
                           "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('P1', -3), ('P2', 4000)",
                           "INSERT INTO frnhist (ivcitm, IHSQ04, IHSQ05, IHSQ06, IHSQ07, IHSQ08, "
                           "IHSQ09) VALUES ('P1', 1, 2, 3, 4, 5, 6), ('p1', 1, 1, 1, 1, 1, '7')",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                           "('P1', 9, 4), ('p1', 1.5, NULL)"},
               QStringList{});
        addRow("overflow, refused texts and blobs: the queries say so",
               QStringList{omr + "('P1', 2), ('P2', 1)",
                           "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('P1', 9223372036854775807), "
                           "('P1', 1), ('P2', 5)",
                           "INSERT INTO avail (ivcitm, quantity) VALUES ('P2', 'abc'), ('P1', 3)",
                           "INSERT INTO PJOFBACK (sdaitm, antaltusen) VALUES ('P1', x'3132')",
                           "INSERT INTO pjstkfrn (ivcitm, lipqoh) VALUES ('P2', '1e999')",
                           "INSERT INTO frnhist (ivcitm, IHSQ04) VALUES ('P1', NULL)",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält40\") VALUES ('P2', 'x')"},
               QStringList{});
        // DTSPL and frnhist are walked row by row, the rest summed: keys stored as integers,
        // reals, blobs and texts of every case, side by side in columns of no declared type.
        QStringList dtspl{"ID"}, history{"ihfy", "ivcitm"};
        for (int i = 1; i <= 45; ++i)
            dtspl << QStringLiteral("\"Fält%1\"").arg(i);
        for (int m = 1; m <= 12; ++m)
            history << QStringLiteral("IHSQ%1").arg(m, 2, 10, QLatin1Char('0'));
        addRow("key columns without a declared type in the row walks and the sums",
               QStringList{omr + "('123', 1), ('0123', 2), ('X', 1), ('1.5', 1)",
                           "DROP TABLE DTSPL", "CREATE TABLE DTSPL (" + dtspl.join(", ") + ")",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                           "(123, 100, 1), ('123', 5, 2), ('0123', 7, NULL), ('x', 3, 1), "
                           "(1.5, 9, 0), ('1.5', 4, 0), (x'58', 50, 0), ('X', 2, '1')",
                           "DROP TABLE frnhist",
                           "CREATE TABLE frnhist (" + history.join(", ") + ")",
                           "INSERT INTO frnhist (ivcitm, IHSQ06, IHSQ07) VALUES (123, 52, 52), "
                           "('123', 26, 0), ('x', 13, 13), ('X', '26', NULL), (0123, 1, 1)",
                           "DROP TABLE pjsfakt", "CREATE TABLE pjsfakt (sdlitm, sdpqor)",
                           "INSERT INTO pjsfakt VALUES (123, 1000), ('123', 26), ('0123', 52), "
                           "(1.5, 3), ('1.5', 78), ('x', 13)",
                           "DROP TABLE pjstk", "CREATE TABLE pjstk (imlitm, lipqoh)",
                           "INSERT INTO pjstk VALUES (123, 5), ('123', 7), ('x', 1), (x'58', 2)"},
               QStringList{});
        // A number that is not UTF-8 reaches the figures as text with U+FFFD in it.
        addRow(
            "product numbers that are not UTF-8",
            QStringList{omr + "(CAST(x'50ff' AS TEXT), 1), ('P\uFFFD', 2), ('Q', 1)",
                        "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") VALUES "
                        "(CAST(x'50ff' AS TEXT), 3), ('P\uFFFD', 5), (CAST(x'51ff' AS TEXT), 7)",
                        "INSERT INTO frnhist (ivcitm, IHSQ06) VALUES (CAST(x'50ff' AS TEXT), 26), "
                        "('P\uFFFD', 13), ('q', 52)",
                        "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES (CAST(x'50ff' AS TEXT), 26), "
                        "('P\uFFFD', 52), (CAST(x'51' AS TEXT), 78)"},
            QStringList{});
        addRow("a key column of numeric affinity is asked per product",
               QStringList{omr + "('123', 1), ('0123', 1)", "DROP TABLE avail",
                           "CREATE TABLE avail (ivcitm INTEGER, quantity)",
                           "INSERT INTO avail VALUES ('123', 4), (123, 5), ('0123', 6), ('a', 1)"},
               QStringList{"avail"});
        addRow("without tillfall DTSPL is asked per product",
               QStringList{omr + "('P1', 1)", "DROP TABLE tillfall",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") VALUES ('P1', 2)"},
               QStringList{"DTSPL"});
        // The pass gathers rows only for pjomr's products, one slot for the numbers that fold
        // together; the rows of one product need not follow one another.
        const QString longNumber = QString(200, QLatin1Char('L'));
        addRow("products sharing a slot, listed twice, and rows of products not in pjomr",
               QStringList{omr + "('ÅbC', 1), ('åBc', 2), ('P1', 1), ('P1', 3), ('', 1), ('" +
                               longNumber + "', 1), ('" + longNumber.toLower() + "x', 1)",
                           "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('ÅBC', 26), ('Q', 5), "
                           "('åbc', 52), ('P1', 1), ('p1', 2), ('Q', 7), ('P1', 4), ('', 3), "
                           "('" +
                               longNumber.toLower() + "', 26), ('ÅbC ', 9), ('ÄBC', 1)",
                           "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('Q', 9223372036854775807), "
                           "('P1', 9223372036854775807), ('Q', 1), ('p1', 1), ('åbc', 2.5)",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                           "('åbc', 4, 1), ('Q', 'x', 1), ('ÅBC', NULL, 2), ('P1', 1, NULL)",
                           "INSERT INTO frnhist (ivcitm, IHSQ06) VALUES ('Q', NULL), ('p1', 26), "
                           "('ÅBC', 13), ('P1', NULL), ('åbc', 13)"},
               QStringList{});
        // Numbers about the lengths where comparing with the row before changes its way (a byte
        // at a time, one word, two words overlapping, past two words), beside numbers that differ
        // from them in the last or the first byte only; the rows in pjomr's order (the look-up's
        // guess), in its reverse, in other cases and with numbers pjomr lacks between them.
        QStringList numbers;
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ÅÄÖabcdef"
                                               "ghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
        for (const int n : {0, 1, 3, 4, 7, 8, 9, 12, 15, 16, 17, 24, 31, 33, 90}) {
            const QString number = letters.left(n);
            QString last = number, first = number;
            if (n > 0) {
                last[n - 1] = QLatin1Char('#');
                first[0] = QLatin1Char('#');
            }
            numbers << number << last << first.toLower();
        }
        QStringList products, sums, walked;
        int value = 0;
        const auto addRows = [&](const QString &number) {
            ++value;
            sums << QStringLiteral("('%1', %2)").arg(number).arg(value);
            walked << QStringLiteral("('%1', %2, %3)").arg(number).arg(value).arg(value % 7);
        };
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            if (i % 3 != 2) // the lower-case numbers with a first byte changed are no products
                products << QStringLiteral("('%1', 1)").arg(numbers.at(i));
            addRows(numbers.at(i));
            addRows(numbers.at(i));
        }
        for (qsizetype i = numbers.size() - 1; i >= 0; --i) {
            addRows(numbers.at(i).toLower());
            if (i % 4 == 0)
                addRows(numbers.at(i));
        }
        addRow(
            "numbers of every length beside numbers one byte apart",
            QStringList{omr + products.join(", "),
                        "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES " + sums.join(", "),
                        "INSERT INTO frnhist (ivcitm, IHSQ06, IHSQ07) VALUES " + walked.join(", "),
                        "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES " +
                            walked.join(", ")},
            QStringList{});
        // Rows in another order than pjomr's wait in batches: products in a scattered order,
        // runs of a product's rows (also across a batch's end) whose sum tells any other order
        // of adding, numbers of other case, long and not in pjomr, a refused value and an
        // overflow among them.
        {
            QStringList omrRows, sumRows, stockRows, walkedRows;
            const auto number = [](int p) {
                return p % 6 == 5 ? QStringLiteral("LÅNG-%1-").arg(p).repeated(3)
                                  : QStringLiteral("P%1").arg(p, 2, 10, QLatin1Char('0'));
            };
            for (int p = 0; p < 48; ++p)
                omrRows << QStringLiteral("('%1', 1)").arg(number(p));
            for (int k = 0; k < 240; ++k) {
                const int p = k * 29 % 53; // 48 to 52 are not in pjomr
                const QString n = k % 5 == 0 ? number(p).toLower() : number(p);
                // 0.5 + 1e300 - 1e300 is 0, and 0.5 in any other order
                const QStringList run = k % 7 == 0 ? QStringList{"0.5", "1e300", "-1e300"}
                                                   : QStringList{QStringLiteral("%1.1").arg(k)};
                for (const QString &value : run) {
                    sumRows << QStringLiteral("('%1', %2)").arg(n, value);
                    stockRows << QStringLiteral("('%1', %2)")
                                     .arg(n, p == 8 ? QStringLiteral("9223372036854775807")
                                                    : QString::number(k));
                    walkedRows << QStringLiteral("('%1', %2, %3)")
                                      .arg(n, value,
                                           p == 6 && k > 100 ? QStringLiteral("NULL")
                                                             : QString::number(k % 3));
                }
            }
            sumRows << "('P07', 'abc')"
                    << "('P00', 0.7)";
            walkedRows << "('P05', 'x', 1)"
                       << "('P01', 0.5, 1)";
            addRow("rows in another order than pjomr's, added in batches",
                   QStringList{omr + omrRows.join(", "),
                               "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES " + sumRows.join(", "),
                               "INSERT INTO pjstk (imlitm, lipqoh) VALUES " + stockRows.join(", "),
                               "INSERT INTO frnhist (ivcitm, IHSQ06, IHSQ07) VALUES " +
                                   walkedRows.join(", "),
                               "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES " +
                                   walkedRows.join(", ")},
                   QStringList{});
        }
        addRow("products absent from every extract, in several cases",
               QStringList{omr + "('ab', 1), ('AB', 2), ('Ab', 1), ('zz', 1)",
                           "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('aB', 26)"},
               QStringList{});
    }

    void scanEqualsFigureQueries() {
        QFETCH(QStringList, sql);
        QFETCH(QStringList, perProduct);
        execute(sql);
        const QString local = m_folder->localDatabase();
        lodvik::NoProgress quiet;
        reports::CoverageScan scan(local, period(), quiet);
        figures::StockFigures f(local, quiet);
        QStringList asked;
        for (const char *table : {"pjstkfrn", "avail", "PJOFFRAM", "PJOFBACK", "frnhist", "DTSPL",
                                  "pjstk", "PJOTALLA", "pjsfakt", "PJOTBALLA", "pjpvmens"})
            if (!scan.scannedTables().contains(QLatin1String(table)))
                asked << QLatin1String(table);
        QCOMPARE(asked, perProduct);
        dao::Database db = dao::Database::OpenDatabase(local);
        for (dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT iblitm, umconv FROM pjomr "
                                                                 "ORDER BY iblitm"));
             !rs.isEOF(); rs.MoveNext()) {
            const QString p = rs.Fields(0).toText();
            const double u = rs.Fields(1).toDouble() * 1000;
            QCOMPARE(scancheck::difference(scan, f, p, u, period()), QString());
        }
    }

    // Avbryt pressed as the extracts are being read, with rows enough that each thread given
    // some reads its first few thousand before it looks: the run stops with both threads joined,
    // and the old workbook stays as it was, no half file beside it.
    void cancelDuringScansKeepsOldWorkbook_data() {
        QTest::addColumn<QStringList>("sql");
        const auto rows = [](const char *into) {
            return QStringLiteral(
                       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < 30000) INSERT INTO %1 SELECT 'P' || (i % 50), i FROM n")
                .arg(QString::fromUtf8(into));
        };
        // DTSPL and pjsfakt are read by the run's own thread, frnhist and pjstk by the other.
        const QString mine = rows("DTSPL (\"Fält2\", \"Fält39\")"),
                      mineToo = rows("pjsfakt (sdlitm, sdpqor)"),
                      other = rows("frnhist (ivcitm, IHSQ01)"),
                      otherToo = rows("pjstk (imlitm, lipqoh)");
        addRow("both threads reading", QStringList{mine, mineToo, other, otherToo});
        addRow("only the run's thread reading", QStringList{mine, mineToo});
        addRow("only the other thread reading", QStringList{other, otherToo});
    }

    void cancelDuringScansKeepsOldWorkbook() {
        QFETCH(QStringList, sql);
        execute(QStringList{"INSERT INTO pjomr (iblitm, umconv) VALUES ('P1', 1)"} + sql);
        const QString file = reports::productWorkbookFileName(m_home, period());
        QVERIFY(writeFile(file, "the workbook of an earlier run"));
        struct CancelOnScan : lodvik::Progress {
            std::atomic<bool> flag{false};
            CancelOnScan() { setCancelFlag(&flag); }
            void show() override {
                if (currentCaption() == QStringLiteral("Läser utdragen"))
                    flag = true;
            }
        } progress;
        const auto threads = [] {
            return QDir(QStringLiteral("/proc/self/task"))
                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                .size();
        };
        const qsizetype before = threads();
        std::vector<CoverageRow> rows;
        QVERIFY_THROWS_EXCEPTION(lodvik::Cancelled, coverage(false, &progress, &rows));
        QCOMPARE(threads(), before);
        QVERIFY(rows.empty());
        QCOMPARE(readFile(file), QByteArray("the workbook of an earlier run"));
        QCOMPARE(QDir(m_home + QStringLiteral("/rapporter")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(file).fileName()});
    }

private:
    static figures::Period period() {
        return figures::Period::fromText(QStringLiteral("2010-11-18"));
    }

    // The coverage job on the folder for period(): the rows its list keeps; rows, when given,
    // gets them as they come, also those of a run that stops.
    std::vector<CoverageRow> coverage(bool xlsx = false, lodvik::Progress *progress = nullptr,
                                      std::vector<CoverageRow> *rows = nullptr) {
        lodvik::NoProgress quiet;
        lodvik::Progress &shown = progress ? *progress : quiet;
        std::vector<CoverageRow> kept;
        std::vector<CoverageRow> &into = rows ? *rows : kept;
        reports::CoverageJob job(m_home, period(), {true, xlsx});
        job.run(shown, [&](const CoverageRow &row, bool listed) {
            if (listed)
                into.push_back(row);
        });
        job.save(shown);
        return into;
    }

    // Statements on the folder's local.mdb.
    void execute(const QStringList &sql) {
        dao::Database db = dao::Database::OpenDatabase(m_folder->localDatabase());
        for (const QString &statement : sql)
            if (!statement.isEmpty())
                db.Execute(statement);
    }

    QString m_home;
    std::unique_ptr<ProgramFolder> m_folder;
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
