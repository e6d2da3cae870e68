#include "../common/DataRows.h"
#include "../common/LocalStoreFixture.h"
#include "../common/MessageBoxes.h"
#include "../common/Refusal.h"
#include "../common/RunProgram.h"
#include "../common/ServerStore.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Startmeny.h"
#include "figures/DateConversion.h"
#include "figures/FigureQuery.h"
#include "skriv/skriv.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QtTest>

#include <future>
#include <memory>

using lodvik::Variant;
using namespace testvalues;

class DatesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ServerStore> server;

    // The text of a column of a table, row by row ("Null" for no value), from the store the
    // program folder uses.
    static QStringList columnValues(ProgramFolder &store, const QString &table,
                                    const QString &name) {
        dao::Database db = dao::Database::OpenExtractStore(store.localDatabase());
        QStringList values;
        dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT * FROM %1").arg(table));
        for (; !rs.isEOF(); rs.MoveNext())
            values.append(rs.Fields(name).toDisplayText());
        return values;
    }

    // Moves the folder's store onto the server through driver.
    void useStore(LocalStoreFixture &store, const QString &driver) {
        const QString unfit = server->load(store.localDatabase());
        if (!unfit.isEmpty())
            qFatal("the rows do not fit the server store: %s", qPrintable(unfit));
        server->configure(store.path(), driver);
    }

    // Every file and folder under a folder, relative to it, sorted.
    static QStringList tree(const QString &folder) {
        QStringList entries;
        for (QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            entries.append(QDir(folder).relativeFilePath(it.next()));
        entries.sort();
        return entries;
    }

private slots:
    void initTestCase() { server = ServerStore::whenThere(); }
    void cleanupTestCase() { server.reset(); }

    void formatDateEntry_data() {
        QTest::addColumn<QString>("refDate");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("completed");
        QTest::addColumn<int>("rules"); // End keystrokes: one per rule that fired

        const QString ref = QStringLiteral("2010-11-18");
        addRow("blank takes the year", ref, " ", "2010-", 1);
        addRow("blank takes the month", ref, "2010- ", "2010-11-", 1);
        addRow("blank takes the day", ref, "2010-11- ", "2010-11-18", 1);
        addRow("blank after the year", ref, "2009 ", "2009-", 1);
        addRow("blank after the month", ref, "2009-04 ", "2009-04-", 1);
        addRow("one-digit month stays", ref, "2010-1 ", "2010-1 ", 0);
        addRow("blank first replaces a whole date", ref, " 2009-04-01", "2010-", 1);
        addRow("empty", ref, "", "", 0);
        addRow("digits only", ref, "2010-11-1", "2010-11-1", 0);
        addRow("no reference date: blank first empties", QString(), " ", "", 1);
        addRow("no reference date: two separators", QString(), "2010- ", "2010--", 1);
    }

    void formatDateEntry() {
        QFETCH(QString, refDate);
        QFETCH(QString, typed);
        QFETCH(QString, completed);
        QFETCH(int, rules);
        QString t = typed;
        int fired = -1;
        QCOMPARE(FormatDateEntry(t, refDate, &fired), completed);
        QCOMPARE(t, completed);
        QCOMPARE(fired, rules);
    }

    void isDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        addRow("YYYY/MM/DD", "2010/11/18", QDate(2010, 11, 18));
        addRow("DD/MM/YYYY", "18/11/2010", QDate(2010, 11, 18));
        addRow("D.M.YYYY", "8.3.2010", QDate(2010, 3, 8));
        addRow("one-digit month", "2010-3-8", QDate(2010, 3, 8));
        addRow("blanks around", " 2010-11-18 ", QDate(2010, 11, 18));
        addRow("leap day", "2012-02-29", QDate(2012, 2, 29));
        addRow("no leap day", "2010-02-29", QDate());
        addRow("month 13", "2010-13-01", QDate());
        addRow("mixed separators", "2010-11/18", QDate());
        addRow("half typed", "2010-11-", QDate());
        addRow("word", "igår", QDate());
        addRow("empty", "", QDate());
    }

    void isDate() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(dateFromText(text), date);
        QCOMPARE(IsDate(text), date.isValid());
    }

    // One check of the period for the command line and the window: only a date written
    // YYYY-MM-DD reaches a workbook name, and nothing else makes a file or folder.
    void periodDate_data() {
        QTest::addColumn<QString>("period");
        QTest::addColumn<bool>("boxAccepts"); // the date box's own test keeps it as typed
        QTest::addColumn<bool>("reportsAccept");
        addRow("YYYY-MM-DD", "2024-03-15", true, true);
        addRow("D.M.YYYY reads as another month", "1.3.2024", true, false);
        addRow("slashes would make folders", "2024/03/15", true, false);
        addRow("trailing letter", "2024-03-15x", false, false);
        addRow("no such day", "2024-02-30", false, false);
        addRow("empty", "", false, false);
    }

    void periodDate() {
        QFETCH(QString, period);
        QFETCH(bool, boxAccepts);
        QFETCH(bool, reportsAccept);
        LocalStoreFixture store;
        const QString reports = store.file(QStringLiteral("rapporter"));
        QVERIFY(QDir(reports).mkpath(QStringLiteral("Pallvikprodukter2024/03")));
        QStringList written = tree(reports);
        if (reportsAccept) {
            written.append(QStringLiteral("Pallvikprodukter%1.xls").arg(period));
            written.sort();
        }
        QCOMPARE(runProgram(store.path(), {"coverage", "--period", period}).exitCode,
                 reportsAccept ? 0 : 2);
        QCOMPARE(tree(reports), written);
        QFile::remove(reports + QStringLiteral("/Pallvikprodukter%1.xls").arg(period));

        // The window: the coverage run and the printout ask for the period again.
        Startmeny window(store.path());
        window.datumtxt->setText(period);
        BoxAnswerer answerer;
        window.writeCoverageWorkbook();
        QVERIFY(window.waitForWork(60000)); // the run works on a thread of its own
        // No search source in this folder: only whether it asked matters.
        refusal([&] { window.Utskrift_Click(); });
        skriv::instance().hide();
        BusyCursorOff();
        const bool asksAgain = !reportsAccept && (boxAccepts || period.isEmpty());
        QCOMPARE(answerer.inputs, asksAgain ? (period.isEmpty() ? 1 : 2) : 0); // empty prints
        QCOMPARE(answerer.texts.contains(QStringLiteral("Ogiltigt datum!")),
                 !boxAccepts && !period.isEmpty());
        QCOMPARE(tree(reports), written);
        QCOMPARE(window.datumtxt->text(), period);
    }

    // The code is the text's year digits, the ISO week with two digits, the day from Monday 1.
    void konvertdatum_data() {
        QTest::addColumn<QString>("dat");
        QTest::addColumn<QString>("code"); // empty: refused
        QTest::addColumn<QString>("datAfter");
        addRow("week below 10 gets a zero", "2010-02-17", "10073", "2010-02-17");
        addRow("two-digit year widened", "10-02-17", "10073", "2010-02-17");
        addRow("week 10 as it is", "2010-03-08", "10101", "2010-03-08");
        addRow("Sunday 3 January, week 53", "2010-01-03", "10537", "2010-01-03");
        addRow("Monday 4 January, week 1", "2010-01-04", "10011", "2010-01-04");
        addRow("29 December in next year's week 1", "2008-12-29", "08011", "2008-12-29");
        addRow("31 December, week 53", "2009-12-31", "09534", "2009-12-31");
        addRow("leap day", "2024-02-29", "24094", "2024-02-29");
        addRow("blanks around are no part of the date", " 2024-03-15 ", "24115", "2024-03-15");
        addRow("time of day as the import writes it", "2024-03-15 10:30:00", "24115", "2024-03-15");
        addRow("no such day", "2010-02-30", "", "");
    }

    void konvertdatum() {
        QFETCH(QString, dat);
        QFETCH(QString, code);
        QFETCH(QString, datAfter);
        if (code.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, figures::konvertdatum(dat));
            return;
        }
        QCOMPARE(figures::konvertdatum(dat), Variant::String(code));
        QCOMPARE(dat, datAfter);
    }

    // Two workstations converting one server store at once convert each row once.
    void concurrentConversions() {
        if (!server)
            QSKIP("no test PostgreSQL server");
        LocalStoreFixture store;
        for (int i = 0; i < 300; ++i)
            store.insert(QStringLiteral("fpprognos"),
                         {S(QString::number(i)), S(QStringLiteral("2010-02-17")), L(1)});
        useStore(store, QStringLiteral("QPSQL"));
        // The other workstation's program folder: its own local files, the same server.
        LocalStoreFixture other;
        server->configure(other.path(), QStringLiteral("QPSQL"));
        const auto convert = [](const QString &localDatabase) {
            lodvik::NoProgress progress;
            return figures::DateConversion(localDatabase, progress).konvereraprognosdatum();
        };
        auto first = std::async(std::launch::async, convert, store.localDatabase());
        auto second = std::async(std::launch::async, convert, other.localDatabase());
        QCOMPARE(first.get() + second.get(), 300);
        QCOMPARE(columnValues(store, QStringLiteral("fpprognos"), QStringLiteral("MFDRQJ")),
                 QStringList(300, QStringLiteral("10073")));
    }

    void storedTexts_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("keys");  // first column of each row
        QTest::addColumn<QStringList>("texts"); // a null string for Null
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("converted");
        QTest::addColumn<QStringList>("message"); // parts of it; none when the run succeeds
        const QStringList keys{"A", "B", "C", "D", "E"};
        const QStringList dates{"2010-02-17", "10073", QString(), "10-03-08", "2011-01-09"};
        const QStringList codes{"10073", "10073", "Null", "10101", "11017"};
        addRow("forecasts: codes and Null stay", "fpprognos", keys, dates, codes, 3, QStringList{});
        addRow("orders: codes and Null stay", "fporder", keys, dates, codes, 3, QStringList{});
        addRow("blanks around", "fpprognos", QStringList{"A", "B", "C"},
               QStringList{" 2024-03-15", "2024-03-15 ", "\t10-02-17 "},
               QStringList{"24115", "24115", "10073"}, 3, QStringList{});
        addRow("time of day", "fporder", QStringList{"A", "B"},
               QStringList{"2024-03-15 10:30:00", "2010-01-03 23:59:59"},
               QStringList{"24115", "10537"}, 2, QStringList{});
        addRow("unreadable: named by its key, earlier rows keep their codes", "fporder",
               QStringList{"A", "B", "C"}, QStringList{"2010-02-17", "2010-13-45", "2010-03-08"},
               QStringList{"10073", "2010-13-45", "2010-03-08"}, 0,
               QStringList{"fporder", "sdlitm = \"B\"", "\"2010-13-45\""});
        addRow("unreadable without a key: named by its rowid", "fpprognos",
               QStringList{"A", " ", "C"}, QStringList{"2010-02-17", " 2010-02-30 ", "2010-03-08"},
               QStringList{"10073", " 2010-02-30 ", "2010-03-08"}, 0,
               QStringList{"fpprognos", "rowid 2", "\" 2010-02-30 \""});
        addRow("a time that is no time of day", "fpprognos", QStringList{"A"},
               QStringList{"2024-03-15 25:00:00"}, QStringList{"2024-03-15 25:00:00"}, 0,
               QStringList{"mflitm = \"A\"", "\"2024-03-15 25:00:00\""});
    }

    void storedTexts() {
        QFETCH(QString, table);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, after);
        QFETCH(int, converted);
        QFETCH(QStringList, message);
        QString first; // the message on SQLite, which the server stores must give too
        // SQLite (no driver), then each server driver
        for (const QString &driver :
             QStringList{QString()} + (server ? ServerStore::drivers() : QStringList())) {
            LocalStoreFixture store;
            for (int i = 0; i < texts.size(); ++i)
                store.insert(table,
                             {S(keys.at(i)), texts.at(i).isNull() ? N() : S(texts.at(i)), L(1)});
            if (!driver.isEmpty())
                useStore(store, driver);
            lodvik::NoProgress progress;
            figures::DateConversion ops(store.localDatabase(), progress);
            const auto run = [&] {
                return table == QLatin1String("fpprognos") ? ops.konvereraprognosdatum()
                                                           : ops.konverteraorderdatum();
            };
            const QString got = refusal([&] {
                QCOMPARE(run(), converted);
                QCOMPARE(run(), 0); // nothing converted twice
            });
            QVERIFY2(got.isEmpty() == message.isEmpty(), qPrintable(got));
            for (const QString &part : message)
                QVERIFY2(got.contains(part), qPrintable(got));
            if (driver.isEmpty())
                first = got;
            QCOMPARE(got, first);
            const QString column = table == QLatin1String("fpprognos") ? QStringLiteral("MFDRQJ")
                                                                       : QStringLiteral("SDpddj");
            QCOMPARE(columnValues(store, table, column), after);
        }
    }

    // The box completes what is typed (the cursor at its end), then gives the period.
    void acceptPeriodDate_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("completed");
        QTest::addColumn<QString>("period");
        QTest::addColumn<bool>("complains");
        addRow("date as typed", "2010-11-18", "2010-11-18", "2010-11-18", false);
        addRow("other layout kept as typed", "18/11/2010", "18/11/2010", "18/11/2010", false);
        addRow("empty box leaves the period", "", "", "2009-01-01", false);
        addRow("invalid date", "2010-11-31", "2010-11-31", "2009-01-01", true);
        addRow("a blank takes the year", " ", "2010-", "2009-01-01", true);
    }

    void acceptPeriodDate() {
        QFETCH(QString, typed);
        QFETCH(QString, completed);
        QFETCH(QString, period);
        QFETCH(bool, complains);
        LocalStoreFixture store;
        gRefDate = QStringLiteral("2010-11-18");
        Startmeny window(store.path());
        window.perioddatum = QStringLiteral("2009-01-01");
        window.datumtxt->setText(typed);
        // Whether or not the window completes on each change itself, the box ends completed.
        window.CompleteDateEntry();
        QCOMPARE(window.datumtxt->text(), completed);
        QCOMPARE(window.datumtxt->cursorPosition(), completed.size());
        BoxAnswerer answerer;
        window.AcceptPeriodDate();
        QCOMPARE(window.perioddatum, period);
        QCOMPARE(answerer.texts, complains ? QStringList{"Ogiltigt datum!"} : QStringList());
    }
};

QTEST_MAIN(DatesTest)
#include "tst_dates.moc"
