#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/HandWorkedStore.h"
#include "../common/ProgramFolder.h"
#include "../common/RunProgram.h"
#include "../common/TestData.h"
#include "ReadBack.h"
#include "reports/Reports.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// The coverage job as the command line runs it: the workbook and its format, the lists and the
// proposal on stdout, the planning rules and marks they follow, and what the operator is told.
class TestCoverageJob : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        m_home = m_folder->path();
        handWorkedStore(*m_folder);
    }
    void cleanup() { m_folder.reset(); }

    // The workbook's path; with --xlsx the .xlsx, the older .xls of the period left beside it
    // with a word, or removed when asked; the summary's path the same way (its failed save:
    // tst_reports).
    void workbooks() {
        const QString xls = m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls");
        ProgramRun run = coverage({});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.trimmed(), xls);
        QVERIFY(run.err.contains(QStringLiteral("Klart")));
        const QDateTime written = QFileInfo(xls).lastModified();
        run = coverage({"--xlsx"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.trimmed(), xls + QLatin1Char('x'));
        QVERIFY(QFileInfo::exists(xls + QLatin1Char('x')));
        QCOMPARE(QFileInfo(xls).lastModified(), written);
        QVERIFY2(run.err.contains(QStringLiteral("Den äldre arbetsboken %1 för samma period finns "
                                                 "kvar")
                                      .arg(xls)),
                 qPrintable(run.err));
        run = coverage({"--xlsx", "--replace-older", "-q"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(!QFileInfo::exists(xls));
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        run = coverage({});
        QVERIFY2(run.err.contains(QStringLiteral(".xlsx för samma period finns kvar")),
                 qPrintable(run.err));
        run = runProgram(m_home, {"summary", "--period", "2010-11-18"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.trimmed(), m_home + QStringLiteral("/rapporter/Pallvik2010-11-18.xls"));
    }

    // The list on stdout: CSV and JSON of every row, the suggestion for the target, and no
    // workbook unless --workbook asks for one; a usage error is said before the run. (The
    // writers' texts and numbers are tst_lists' cases; here what the command passes them.)
    void listOnCommandLine() {
        const QString xls = m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls");
        ProgramRun r = coverage({"--format", "csv"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(QStringLiteral("\r\n")), 5); // a header and four rows
        QVERIFY(!QFileInfo::exists(xls));
        // A target of 10 weeks: P1 40 − 15 = 25, P3 20 − 5 = 15.
        r = coverage({"--format", "json", "--target", "10", "--workbook"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFileInfo::exists(xls));
        const QJsonDocument json = QJsonDocument::fromJson(r.out.toUtf8());
        QCOMPARE(json["period"].toString(), QStringLiteral("2010-11-18"));
        QCOMPARE(json["target_weeks"].toDouble(), 10.0);
        const QJsonArray rows = json["rows"].toArray();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0]["suggestion"].toDouble(), 25.0);
        QVERIFY(rows[1]["suggestion"].isNull()); // P2 sells nothing
        QCOMPARE(rows[2]["suggestion"].toDouble(), 15.0);
        for (const QStringList &bad :
             {QStringList{"--target", "4"}, QStringList{"--format", "xml"},
              QStringList{"--format", "csv", "--target", "0"}, QStringList{"--format"},
              QStringList{"--workbook"}, QStringList{"--format", "csv", "--xlsx"}}) {
            r = coverage(bad);
            QCOMPARE(r.exitCode, 2);
            QVERIFY(r.out.isEmpty());
        }
        // A product without a product number sorts first and ends the list there: the operator
        // is told how many products that leaves out, in the workbook's run and the list's.
        m_folder->execute(QStringLiteral("UPDATE pjomr SET iblitm = NULL WHERE iblitm = 'P3'"));
        for (const QStringList &format : {QStringList{}, QStringList{"--format", "csv"}}) {
            r = coverage(format);
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(
                r.err.contains(QStringLiteral("\n4 produkter är inte med i listan: produkt 1 ")),
                qPrintable(r.err));
        }
    }

    // The rules and marks on the command line, the proposal per supplier, and the marks through
    // a re-run and an import. (What a rules file holds and its messages: tst_planning's rulesCsv
    // and rulesFileKeepsEveryText.)
    void planningOnCommandLine() {
        const QString rulesFile = m_home + QStringLiteral("/regler.csv");
        const auto load = [&](const QByteArray &bytes) {
            return writeFile(rulesFile, bytes) ? runProgram(m_home, {"rules", "--load", rulesFile})
                                               : ProgramRun{};
        };
        ProgramRun run = load("P1;2;;;5;;Bolaget;Pall\nP3;;;;;10;Acme;Pall\nP9;1;;;;;Acme;\n");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("P9 finns inte i pjomr")), qPrintable(run.err));
        // A file with a bad line loads nothing: the rules above still make the proposal below.
        run = load("P1;1\nP2;1;;;0\n");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Rad 2, kolumn multiple")), qPrintable(run.err));

        // P1: 4 × (2 + 4) − 15 = 9 → 10 in fives; P3: 2 × 4 − 5 = 3 → minimum 10.
        QByteArray csv = output({"--format", "proposal-csv"});
        QVERIFY2(csv.startsWith("\xEF\xBB\xBFLeverantör;Produkt;"), csv.constData());
        QList<QByteArray> lines = csv.split('\n');
        QCOMPARE(lines.size(), 4); // the header, Acme's P3, Bolaget's P1, the end
        QVERIFY2(lines[1].startsWith("Acme;P3;;Pall;10;1;2;"), lines[1].constData());
        QVERIFY2(lines[2].startsWith("Bolaget;P1;Pall röd;Pall;10;5;4;2010-12-16;2010-12-02"),
                 lines[2].constData());
        const QJsonDocument json =
            QJsonDocument::fromJson(output({"--format", "proposal-json", "--supplier", "Bolaget"}));
        QCOMPARE(json["suppliers"].toArray().size(), 1);
        QCOMPARE(json["suppliers"][0]["total_packs"].toDouble(), 10.0);
        // A supplier no rule names is said to be one, not given as an empty proposal only.
        run = coverage({"--format", "proposal-csv", "--supplier", "bolaget"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("\"bolaget\"")), qPrintable(run.err));
        run = coverage({"--format", "proposal-csv", "--supplier", "Bolaget"});
        QVERIFY2(!run.err.contains(QStringLiteral("\"Bolaget\"")), qPrintable(run.err));

        // Marked rows leave the proposal: discontinued until unmarked, ordered until its order
        // is among those on their way.
        QCOMPARE(mark({"P3", "--discontinued"}).exitCode, 0);
        QCOMPARE(mark({"P1", "--ordered", "10", "--date", "2010-11-19"}).exitCode, 0);
        QCOMPARE(output({"--format", "proposal-csv"}).count('\n'), 1);
        // A mark the list cannot show (the list's product is P1) is not taken in silence.
        run = mark({"p1", "--discontinued"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("p1 finns inte i pjomr")), qPrintable(run.err));
        const QString access = testDataFolder() + QStringLiteral("/access/datetest-jet4.mdb");
        if (QFileInfo::exists(access))
            QCOMPARE(runProgram(m_home, {"import-mdb", access}).exitCode, 0);
        const QJsonArray rows =
            QJsonDocument::fromJson(output({"--format", "json"}))["rows"].toArray();
        QCOMPARE(rows[0]["product"].toString(), QStringLiteral("P1"));
        QCOMPARE(rows[0]["mark"].toString(), QStringLiteral("ordered"));
        QCOMPARE(rows[0]["ordered_on"].toString(), QStringLiteral("2010-11-19"));
        QCOMPARE(rows[2]["mark"].toString(), QStringLiteral("discontinued"));
        QCOMPARE(mark({"P3", "--clear"}).exitCode, 0);
        QCOMPARE(output({"--format", "proposal-csv"}).count('\n'), 2);
        if (!QFileInfo::exists(access))
            QSKIP(qPrintable(QStringLiteral("the marks through an import: ") + testDataMissing()));
    }

    // None kept before the first run; then each finished run is kept, a period's again replacing
    // it (a failed one: tst_history); what changed and a product's series read back as worked out
    // by hand.
    void runsKeptAndCompared() {
        const ProgramRun none = runProgram(m_home, {"history", "--list"});
        QCOMPARE(none.out, QString());
        QVERIFY2(none.exitCode == 0 && none.err.contains(QStringLiteral("inga sparade körningar")),
                 qPrintable(none.err));
        QCOMPARE(runProgram(m_home, {"coverage", "--period", "2010-11-11", "-q"}).exitCode, 0);
        // P5 sells 156/26 = 6 a week: cover 20/6 -> 3, suggestion 6 x 4 - 20 = 4, out on
        // 11-18 + 21 days instead of 11-11 + 49; P3 leaves pjomr; P1 gets a lead time.
        m_folder->execute(QStringLiteral("UPDATE pjsfakt SET sdpqor = 156 WHERE sdlitm = 'P5'"));
        m_folder->execute(QStringLiteral("DELETE FROM pjomr WHERE iblitm = 'P3'"));
        const QString rules = m_home + QStringLiteral("/regler.csv");
        QVERIFY(writeFile(rules, "P1;2\n"));
        QCOMPARE(runProgram(m_home, {"rules", "--load", rules}).exitCode, 0);
        QCOMPARE(coverage({"--format", "csv"}).exitCode, 0);
        QCOMPARE(coverage({}).exitCode, 0);
        QCOMPARE(runProgram(m_home, {"changes", "--period", "2010-11-18"}).out,
                 QStringLiteral(
                     "product,description,change,before,after\r\n"
                     "P1,Pall röd,rule,\"ledtid 0 v, säkerhet 0 v + 0 förp., multipel 1, minst "
                     "0\",\"ledtid 2 v, säkerhet 0 v + 0 förp., multipel 1, minst 0\"\r\n"
                     "P5,Pall grön,needs_order,,4\r\n"
                     "P5,Pall grön,stockout_earlier,2010-12-30,2010-12-09\r\n"
                     "P5,Pall grön,sales_up,3,6\r\n"
                     "P3,,vanished,5,\r\n"));
        QCOMPARE(runProgram(m_home, {"history", "--product", "P5"}).out,
                 QStringLiteral("period,stock_frn,stock_dp,stock_pj,stock_total,backorder_pj,"
                                "order_pj,order_total,sales_per_week_pj,sales_per_week_frn,"
                                "cover_weeks,suggestion,urgency\r\n"
                                "2010-11-11,10,4,6,20,,,0,3,1,7,,ok\r\n"
                                "2010-11-18,10,4,6,20,,,0,6,1,3,4,below_target\r\n"));
        const QStringList kept =
            runProgram(m_home, {"history", "--list"}).out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(kept.size(), 2);
        QVERIFY2(kept[0].startsWith(QStringLiteral("2010-11-11\t4\t")) &&
                     kept[1].startsWith(QStringLiteral("2010-11-18\t3\t")) &&
                     kept[1].endsWith(QStringLiteral("\tcommand_line")),
                 qPrintable(kept.join('|')));

        // A kept run that cannot be read is left out of the trend and of a product's series,
        // with a warning, and the next run is kept all the same.
        QVERIFY(writeFile(rules, "P5;;;;;;;;ja\n"));
        QCOMPARE(runProgram(m_home, {"rules", "--load", rules}).exitCode, 0);
        dao::Database::OpenDatabase(m_home + QStringLiteral("/sokdata.db"))
            .Execute(QStringLiteral(
                "UPDATE history_chunk SET data = substr(data, 1, 10) WHERE snapshot IN "
                "(SELECT id FROM history_snapshot WHERE period = '2010-11-11')"));
        const ProgramRun third =
            runProgram(m_home, {"coverage", "--period", "2010-11-25", "-q", "--format", "csv"});
        QCOMPARE(third.exitCode, 0);
        QVERIFY2(third.err.contains(QStringLiteral("trend räknas utan")) &&
                     third.err.contains(QStringLiteral("2010-11-11")),
                 qPrintable(third.err));
        const ProgramRun p5 = runProgram(m_home, {"history", "--product", "P5"});
        QCOMPARE(p5.exitCode, 0);
        QCOMPARE(p5.out.count(QStringLiteral("\r\n2010-11-")), 2); // 18 and 25
        QVERIFY2(p5.err.contains(QStringLiteral("2010-11-11")), qPrintable(p5.err));
        QCOMPARE(runProgram(m_home, {"history", "--list"}).out.count('\n'), 3);
    }

    // More products than an .xls sheet holds, one row each in DTSPL and pjsfakt: the .xlsx is
    // chosen from pjomr's count before the first row and holds every row, and the CSV streams
    // every row once, in order, in many writes. One run shows both: under the sanitizers it
    // takes half a minute or more.
    void moreProductsThanAnXlsSheet() {
        m_folder.reset(new ProgramFolder);
        m_home = m_folder->path();
        const int products = int(reports::XlsProductRows) + 5;
        const auto product = [](int i) { return QStringLiteral("N%1").arg(i, 6, 10, QChar('0')); };
        // Product i: DP stock i % 100 + 1, PJ sales i % 997 + 1 a week (26 weeks).
        const auto dp = [](int i) { return i % 100 + 1; };
        const auto sales = [](int i) { return i % 997 + 1; };
        const QString numbers = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                               "SELECT i + 1 FROM n WHERE i < %1) ")
                                    .arg(products);
        m_folder->execute(numbers + "INSERT INTO pjomr (iblitm, imdsc1, umconv) SELECT "
                                    "printf('N%06d', i), 'Vara ' || i, 1 FROM n");
        m_folder->execute(numbers + "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") SELECT "
                                    "printf('N%06d', i), i % 100 + 1 FROM n");
        m_folder->execute(numbers +
                          "INSERT INTO pjsfakt (sdlitm, sdpqor) SELECT "
                          "printf('N%06d', i), 26 * (i % 997 + 1) FROM n ORDER BY i DESC");
        const ProgramRun r = runProgram(
            m_home, {"coverage", "-q", "--period", "2010-11-18", "--format", "csv", "--workbook"},
            {}, 10 * 60 * 1000);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err)); // --quiet: not even the .xlsx notice
        const QStringList lines = r.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), products + 1); // the header first
        for (int i = 1; i <= products; ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(','));
            QVERIFY2(fields[1] == product(i) && fields[4] == QString::number(dp(i)) &&
                         fields[7] == QString::number(sales(i)),
                     qPrintable(lines[i]));
        }
        const auto period = figures::Period::fromText(QStringLiteral("2010-11-18"));
        QVERIFY(!QFile::exists(reports::productWorkbookFileName(m_home, period)));
        QString error;
        const QJsonObject dump =
            readback::openpyxlDump(reports::productWorkbookFileName(m_home, period, true), &error,
                                   QStringLiteral("1,5,7,15"));
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        QCOMPARE(dump.value("nrows").toInt(), products + 4);
        // Every row's cells: tst_reports' everyColumn and xlsxHoldsWhatTheXlsHolds; here the
        // last product's reaches its row.
        const QJsonObject cells = readback::cellsByPosition(dump);
        const QString last = QStringLiteral("%1,").arg(products + 4);
        QCOMPARE(cells[last + "1"]["value"].toString(), product(products));
        QCOMPARE(cells[last + "7"]["value"].toDouble(), double(dp(products)));
        QCOMPARE(cells[last + "15"]["value"].toDouble(), double(sales(products)));
    }

private:
    ProgramRun coverage(const QStringList &options, const QString &stdoutFile = {}) {
        return runProgram(m_home, QStringList{"coverage", "--period", "2010-11-18"} + options,
                          stdoutFile);
    }
    ProgramRun mark(const QStringList &options) {
        return runProgram(m_home, QStringList{"mark", "--period", "2010-11-18"} + options);
    }
    // What the coverage command writes on stdout, as bytes (a decoder would drop the BOM).
    QByteArray output(const QStringList &options) {
        const QString out = m_home + QStringLiteral("/out");
        const ProgramRun r = coverage(options, out);
        return r.exitCode == 0 ? readFile(out) : "exit " + r.err.toUtf8();
    }

    QString m_home;
    std::unique_ptr<ProgramFolder> m_folder;
};

QTEST_MAIN(TestCoverageJob)
#include "tst_coveragejob.moc"
