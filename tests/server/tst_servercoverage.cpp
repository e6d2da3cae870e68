#include "DataRows.h"
#include "Files.h"
#include "MDlib/Error.h"
#include "Refusal.h"
#include "RunProgram.h"
#include "ServerStore.h"
#include "figures/Period.h"
#include "reports/CoverageSources.h"
#include "store/LocalDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

// The coverage run, its overview and drill-down on an extract store on the server: one body,
// run on local.mdb and on the same store loaded on the server, the outputs compared byte for
// byte; several workstations at once. (The writers of each format: tst_lists, tst_reports.) The
// store's quantities are also numeric and blank texts (and Nulls and empty texts), as a transfer
// that writes texts leaves them.
class TstServerCoverage : public QObject {
    Q_OBJECT

private:
    static constexpr char Period[] = "2026-03-15";
    QTemporaryDir m_work;
    std::unique_ptr<ServerStore> m_server;

    QString path(const QString &name) const { return m_work.filePath(name); }

    // A program folder from bench/storegen.py, with product numbers in other cases beside the
    // generated ones, so that the server's product comparison is put to the test.
    // texts: quantities also as numeric and blank texts, in columns without a type.
    static bool generate(const QString &home, int products, int seed, bool texts = false) {
        QProcess gen;
        QStringList args{LODVIK_SOURCE_DIR "/bench/storegen.py",
                         home,
                         "--products",
                         QString::number(products),
                         "--seed",
                         QString::number(seed)};
        if (texts)
            args << QStringLiteral("--texts");
        gen.start(QStringLiteral("python3"), args);
        if (!gen.waitForFinished(300000) || gen.exitCode() != 0)
            return false;
        dao::Database db = dao::Database::OpenDatabase(home + QStringLiteral("/local.mdb"));
        db.Execute(QStringLiteral("INSERT INTO pjstk (imlitm, lipqoh) SELECT lower(imlitm), 7.25 "
                                  "FROM pjstk WHERE rowid % 17 = 0"));
        db.Execute(QStringLiteral("INSERT INTO pjsfakt (sdlitm, sdpqor) SELECT lower(sdlitm), "
                                  "sdpqor * 3 FROM pjsfakt WHERE rowid % 13 = 0"));
        db.Execute(QStringLiteral("INSERT INTO frnhist SELECT ihfy, lower(ivcitm), IHSQ01, IHSQ02, "
                                  "IHSQ03, IHSQ04, IHSQ05, IHSQ06, IHSQ07, IHSQ08, IHSQ09, "
                                  "IHSQ10, IHSQ11, IHSQ12 FROM frnhist WHERE rowid % 11 = 0"));
        return true;
    }

    // A program folder whose lodvikprodsok.ini names the server store (no local.mdb).
    bool serverHome(const QString &home, const QString &driver) const {
        if (!QDir().mkpath(home + QStringLiteral("/rapporter")))
            return false;
        m_server->configure(home, driver);
        return true;
    }

    // What a coverage run with args gives: stdout, or the workbook it wrote.
    static QByteArray output(const QString &home, const QStringList &args, QString *failure) {
        const QString workbook = home + "/rapporter/Pallvikprodukter" + Period + ".xls";
        QFile::remove(workbook);
        const ProgramRun run = runProgram(home, QStringList{"coverage", "--period", Period} + args);
        if (run.exitCode != 0) {
            *failure = QStringLiteral("exit %1: %2").arg(run.exitCode).arg(run.err);
            return {};
        }
        return args.isEmpty() ? readFile(workbook) : run.out.toUtf8();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_work.isValid());
        m_server = ServerStore::whenThere();
        if (!m_server)
            return;
        QVERIFY(generate(path(QStringLiteral("before")), 400, 7, true));
        QVERIFY(generate(path(QStringLiteral("after")), 380, 8));
        for (const QString &driver : ServerStore::drivers())
            QVERIFY(serverHome(path(driver), driver));
        // A column of numbers that also holds texts must hold text on the server, or this fails.
        QCOMPARE(m_server->load(path(QStringLiteral("before/local.mdb"))), QString());
    }
    void cleanupTestCase() { m_server.reset(); }
    void init() {
        if (!m_server)
            QSKIP(qPrintable(TestServer::missing()));
    }

    // The run's rows reach each output the same way; one of them per driver.
    void sameAsLocalStore_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QStringList>("args");
        addRow("QPSQL workbook", "QPSQL", QStringList());
        addRow("QPSQL overview json", "QPSQL", QStringList{"--format", "json"});
        addRow("QODBC csv", "QODBC", QStringList{"--format", "csv"});
    }

    void sameAsLocalStore() {
        QFETCH(QString, driver);
        QFETCH(QStringList, args);
        if (!ServerStore::drivers().contains(driver))
            QSKIP("no ODBC driver or no LODVIK_TEST_ODBC_EXTRAKT_DSN");
        QString failure;
        const QByteArray local = output(path(QStringLiteral("before")), args, &failure);
        const QByteArray server = output(path(driver), args, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(!local.isEmpty());
        QCOMPARE(server, local);
    }

    // The drill-down of a cell: the same figures, values and row counts from either store.
    void drillDown_data() {
        QTest::addColumn<QString>("product");
        if (!m_server) // the stores are made with the server
            QSKIP(qPrintable(TestServer::missing()));
        dao::Database db = dao::Database::OpenDatabase(path(QStringLiteral("before/local.mdb")));
        dao::Recordset rs = db.OpenRecordset(
            QStringLiteral("SELECT iblitm FROM pjomr WHERE rowid % 97 = 1 ORDER BY rowid"));
        for (; !rs.isEOF(); rs.MoveNext())
            QTest::newRow(qPrintable(rs.Fields(0).text())) << rs.Fields(0).text();
    }

    void drillDown() {
        QFETCH(QString, product);
        const auto explained = [&](const QString &home) {
            QStringList lines;
            const QString refused = refusal([&] {
                for (const reports::CellSource &cell : reports::coverageCellSources(
                         home + QStringLiteral("/local.mdb"),
                         figures::Period::fromText(QLatin1String(Period)), product))
                    lines << QStringLiteral("%1 %2 %3")
                                 .arg(cell.workbookColumn)
                                 .arg(cell.cell, cell.explanation);
            });
            return refused.isEmpty() ? lines : lines << refused;
        };
        const QStringList local = explained(path(QStringLiteral("before")));
        QVERIFY(!local.isEmpty());
        QCOMPARE(explained(path(QStringLiteral("QPSQL"))), local);
    }

    // Eight workstations at once, one of them loading another store in the middle: every run
    // completes or says why, and each coverage output is wholly the one before or the one after
    // the load. (The load itself against a reader's snapshot: tst_store's concurrentLoads.)
    void severalWorkstations() {
        const QStringList csv{"--format", "csv"};
        QString failure;
        const QByteArray before = output(path(QStringLiteral("before")), csv, &failure);
        const QByteArray after = output(path(QStringLiteral("after")), csv, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(before != after);
        const QStringList coverage = QStringList{"coverage", "--period", Period} + csv;
        const QStringList dates{"convert-dates", "order"};
        QList<QStringList> stations(4, coverage);
        stations << QStringList{"figure", "GSCPJ"} << dates << dates
                 << QStringList{"import-store", path("after/local.mdb")};
        std::vector<std::unique_ptr<QProcess>> running;
        for (const QStringList &args : stations) {
            const QString home = path(QStringLiteral("station%1").arg(running.size()));
            QVERIFY(serverHome(home, QStringLiteral("QPSQL")));
            if (args == stations.last())
                QThread::msleep(300); // the readers are under way
            running.push_back(startProgram(home, args));
        }
        for (qsizetype i = 0; i < stations.size(); ++i) {
            QProcess &station = *running.at(i);
            QVERIFY(station.waitForFinished(300000));
            QCOMPARE(station.exitStatus(), QProcess::NormalExit);
            const QString err = QString::fromUtf8(station.readAllStandardError());
            const int code = station.exitCode();
            // A run may be refused (the server busy), never end half-way or crash.
            QVERIFY2(code == 0 || (code == 1 && !err.trimmed().isEmpty()),
                     qPrintable(stations.at(i).join(' ') + QStringLiteral(": ") + err));
            const QByteArray got = station.readAllStandardOutput();
            QVERIFY2(stations.at(i) != coverage || code != 0 || got == before || got == after,
                     "a coverage output is neither store's");
        }
    }
};

QTEST_GUILESS_MAIN(TstServerCoverage)
#include "tst_servercoverage.moc"
