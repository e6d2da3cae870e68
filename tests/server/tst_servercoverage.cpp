#include "MDlib/Error.h"
#include "RunProgram.h"
#include "TestExtractServer.h"
#include "figures/Period.h"
#include "reports/CoverageSources.h"
#include "store/LocalDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

// QSKIP returns only from the function it stands in: in a helper the test would go on without
// its server.
#define REQUIRE_SERVER()                                                                           \
    do {                                                                                           \
        if (!m_server)                                                                             \
            QSKIP(qPrintable(TestExtractServer::missing()));                                       \
    } while (false)

// The coverage run, its overview and drill-down on an extract store on the server: one body,
// run on local.mdb and on the same store copied to the server (import-store), the outputs
// compared byte for byte; several workstations at once. The store's quantities are also numeric
// and blank texts (and Nulls and empty texts), as a transfer that writes texts leaves them.
class TstServerCoverage : public QObject {
    Q_OBJECT

private:
    static constexpr char Period[] = "2026-03-15";
    QTemporaryDir m_work;
    std::unique_ptr<TestExtractServer> m_server;

    QString path(const QString &name) const { return m_work.filePath(name); }

    // A program folder from bench/storegen.py, with product numbers in other cases beside the
    // generated ones, so that the server's product comparison is put to the test.
    // texts: quantities also as numeric and blank texts, in columns without a type.
    static bool generate(const QString &home, int products, int seed, bool texts = false) {
        QProcess gen;
        QStringList args{QStringLiteral(LODVIK_SOURCE_DIR "/bench/storegen.py"),
                         home,
                         QStringLiteral("--products"),
                         QString::number(products),
                         QStringLiteral("--seed"),
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
        QFile ini(home + QStringLiteral("/lodvikprodsok.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        const QString user = qEnvironmentVariable("LODVIK_TEST_PG_USER");
        const QString password = qEnvironmentVariable("LODVIK_TEST_PG_PASSWORD");
        ini.write(driver == QLatin1String("QODBC")
                      ? QStringLiteral("[extrakt]\ndriver=QODBC\ndsn=%1\nuser=%2\npassword=%3\n")
                            .arg(QLatin1String(OdbcSource), user, password)
                            .toUtf8()
                      : m_server->iniText(driver).toUtf8());
        return ini.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    static QByteArray fileBytes(const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    // An .xlsx's members as read back by Python's zipfile, all but the one that holds the time
    // of writing.
    static QByteArray xlsxMembers(const QString &file) {
        QProcess unzip;
        unzip.start(QStringLiteral("python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import sys, zipfile\n"
                                    "z = zipfile.ZipFile(sys.argv[1])\n"
                                    "for n in sorted(z.namelist()):\n"
                                    "    if n != 'docProps/core.xml':\n"
                                    "        sys.stdout.buffer.write(n.encode() + z.read(n))\n"),
                     file});
        unzip.waitForFinished(60000);
        return unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray("(unreadable)");
    }

    static QString workbook(const QString &home, const QString &suffix = QStringLiteral(".xls")) {
        return home + QStringLiteral("/rapporter/Pallvikprodukter") + QLatin1String(Period) +
               suffix;
    }

    // What a coverage run with args gives: stdout, or the workbook it wrote.
    static QByteArray output(const QString &home, const QStringList &args, QString *failure) {
        QFile::remove(workbook(home));
        QFile::remove(workbook(home, QStringLiteral(".xlsx")));
        const ProgramRun run =
            runProgram(home, QStringList{QStringLiteral("coverage"), QStringLiteral("--period"),
                                         QLatin1String(Period)} +
                                 args);
        if (run.exitCode != 0) {
            *failure = QStringLiteral("exit %1: %2").arg(run.exitCode).arg(run.err);
            return {};
        }
        if (args.contains(QStringLiteral("--format")))
            return run.out.toUtf8();
        if (args.contains(QStringLiteral("--xlsx")))
            return xlsxMembers(workbook(home, QStringLiteral(".xlsx")));
        return fileBytes(workbook(home));
    }

    // An ODBC data source for the test's database beside the test server's: psqlODBC reads the
    // database its data source names, whatever the connection string adds.
    static constexpr char OdbcSource[] = "lodvik_servercoverage";
    bool addOdbcSource() const {
        QFile in(qEnvironmentVariable("ODBCINI"));
        QFile out(path(QStringLiteral("odbc.ini")));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return false;
        out.write(in.readAll());
        out.write(QStringLiteral("\n[%1]\nDriver=PostgreSQL Unicode\nServername=%2\nPort=%3\n"
                                 "Database=%4\nUseDeclareFetch=1\nFetch=100\n")
                      .arg(QLatin1String(OdbcSource), qEnvironmentVariable("LODVIK_TEST_PG_HOST"),
                           qEnvironmentVariable("LODVIK_TEST_PG_PORT"), m_server->database())
                      .toUtf8());
        out.close();
        return qputenv("ODBCINI", out.fileName().toLocal8Bit());
    }

    static bool hasOdbc() {
        return QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")) &&
               !qEnvironmentVariable("LODVIK_TEST_ODBC_EXTRAKT_DSN").isEmpty();
    }

    QSqlQuery sql(const QString &text) const {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("watch"), false));
        if (!q.exec(text))
            qFatal("%s: %s", qPrintable(text), qPrintable(q.lastError().text()));
        return q;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_work.isValid());
        if (!TestExtractServer::missing().isEmpty())
            return;
        m_server = std::make_unique<TestExtractServer>(QStringLiteral("coverage"));
        QVERIFY2(m_server->scriptErrors().isEmpty(), qPrintable(m_server->scriptErrors()));
        m_server->connection(QStringLiteral("watch"));
        QVERIFY(generate(path(QStringLiteral("before")), 400, 7, true));
        QVERIFY(generate(path(QStringLiteral("after")), 380, 8));
        QVERIFY(serverHome(path(QStringLiteral("server")), QStringLiteral("QPSQL")));
        if (hasOdbc()) {
            QVERIFY(addOdbcSource());
            QVERIFY(serverHome(path(QStringLiteral("odbc")), QStringLiteral("QODBC")));
        }
        const ProgramRun load =
            runProgram(path(QStringLiteral("server")),
                       {QStringLiteral("import-store"), path(QStringLiteral("before/local.mdb"))});
        QVERIFY2(load.exitCode == 0, qPrintable(load.err));
    }
    void cleanupTestCase() {
        QSqlDatabase::database(QStringLiteral("watch"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("watch"));
        m_server.reset();
    }

    // A column of numbers that also holds texts holds text on the server.
    void textsStayTexts() {
        REQUIRE_SERVER();
        QSqlQuery type = sql(QStringLiteral("SELECT data_type FROM information_schema.columns "
                                            "WHERE table_name = 'pjsfakt' AND column_name = "
                                            "'sdpqor'"));
        QVERIFY(type.next());
        QCOMPARE(type.value(0).toString(), QStringLiteral("text"));
    }

    void sameAsLocalStore_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QStringList>("args");
        const QString csv = QStringLiteral("csv");
        for (const QString &driver : {QStringLiteral("QPSQL"), QStringLiteral("QODBC")}) {
            const QByteArray d = driver.toLatin1();
            QTest::newRow(d + " workbook") << driver << QStringList();
            QTest::newRow(d + " csv") << driver << QStringList{QStringLiteral("--format"), csv};
            QTest::newRow(d + " overview json")
                << driver << QStringList{QStringLiteral("--format"), QStringLiteral("json")};
            QTest::newRow(d + " proposal csv")
                << driver
                << QStringList{QStringLiteral("--format"), QStringLiteral("proposal-csv"),
                               QStringLiteral("--target"), QStringLiteral("6")};
            QTest::newRow(d + " xlsx") << driver << QStringList{QStringLiteral("--xlsx")};
        }
    }

    void sameAsLocalStore() {
        REQUIRE_SERVER();
        QFETCH(QString, driver);
        QFETCH(QStringList, args);
        if (driver == QLatin1String("QODBC") && !hasOdbc())
            QSKIP("no ODBC driver or no LODVIK_TEST_ODBC_EXTRAKT_DSN");
        QString failure;
        const QByteArray local = output(path(QStringLiteral("before")), args, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QByteArray server =
            output(path(driver == QLatin1String("QPSQL") ? QStringLiteral("server")
                                                         : QStringLiteral("odbc")),
                   args, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(!local.isEmpty());
        QCOMPARE(server, local);
    }

    // The drill-down of a cell: the same figures, values and row counts from either store.
    void drillDown_data() {
        QTest::addColumn<QString>("product");
        if (!m_server) { // the stores are made on the server; the test says why it skips
            QTest::newRow("no server") << QString();
            return;
        }
        dao::Database db = dao::Database::OpenDatabase(path(QStringLiteral("before/local.mdb")));
        dao::Recordset rs = db.OpenRecordset(
            QStringLiteral("SELECT iblitm FROM pjomr WHERE rowid % 97 = 1 ORDER BY rowid"));
        for (; !rs.isEOF(); rs.MoveNext())
            QTest::newRow(qPrintable(rs.Fields(0).text())) << rs.Fields(0).text();
    }

    void drillDown() {
        REQUIRE_SERVER();
        QFETCH(QString, product);
        const auto explained = [&](const QString &home) {
            QStringList lines;
            try {
                for (const reports::CellSource &cell : reports::coverageCellSources(
                         home + QStringLiteral("/local.mdb"),
                         figures::Period::fromText(QLatin1String(Period)), product))
                    lines << QStringLiteral("%1 %2 %3")
                                 .arg(cell.workbookColumn)
                                 .arg(cell.cell, cell.explanation);
            } catch (const lodvik::Error &e) {
                lines << e.message();
            }
            return lines;
        };
        const QStringList local = explained(path(QStringLiteral("before")));
        QVERIFY(!local.isEmpty());
        QCOMPARE(explained(path(QStringLiteral("server"))), local);
    }

    // Eight workstations at once, one of them loading another store in the middle: every run
    // completes or says why, and each output is wholly the one before or the one after the load.
    void severalWorkstations() {
        REQUIRE_SERVER();
        const QStringList csv{QStringLiteral("--format"), QStringLiteral("csv")};
        const QStringList json{QStringLiteral("--format"), QStringLiteral("json")};
        QString failure;
        QHash<QString, QList<QByteArray>> expected;
        for (const QString &store : {QStringLiteral("before"), QStringLiteral("after")}) {
            expected[QStringLiteral("csv")] << output(path(store), csv, &failure);
            expected[QStringLiteral("json")] << output(path(store), json, &failure);
            expected[QStringLiteral("xls")] << output(path(store), {}, &failure);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        QVERIFY(expected[QStringLiteral("csv")][0] != expected[QStringLiteral("csv")][1]);

        struct Station {
            QString kind;
            QStringList args;
            QString home;
            std::unique_ptr<QProcess> process;
        };
        const QStringList coverage{QStringLiteral("coverage"), QStringLiteral("--period"),
                                   QLatin1String(Period)};
        std::vector<Station> stations;
        const auto add = [&](const QString &kind, const QStringList &args) {
            Station s{kind, args, path(QStringLiteral("station%1").arg(stations.size())), {}};
            QVERIFY(serverHome(s.home, QStringLiteral("QPSQL")));
            stations.push_back(std::move(s));
        };
        add(QStringLiteral("csv"), coverage + csv);
        add(QStringLiteral("xls"), coverage);
        add(QStringLiteral("json"), coverage + json);
        add(QStringLiteral("csv"), coverage + csv);
        add(QStringLiteral("figure"), {QStringLiteral("figure"), QStringLiteral("GSCPJ")});
        add(QStringLiteral("dates"), {QStringLiteral("convert-dates"), QStringLiteral("order")});
        add(QStringLiteral("dates"), {QStringLiteral("convert-dates"), QStringLiteral("order")});
        add(QStringLiteral("load"),
            {QStringLiteral("import-store"), path(QStringLiteral("after/local.mdb"))});
        for (int round = 0; round < 2; ++round) {
            for (Station &s : stations) {
                s.process = std::make_unique<QProcess>();
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), s.home);
                s.process->setProcessEnvironment(env);
                if (s.kind == QLatin1String("load"))
                    QThread::msleep(300); // the readers are under way
                if (round == 1 && s.kind == QLatin1String("load"))
                    continue; // the second round reads the loaded store only
                s.process->start(QStringLiteral(LODVIK_EXECUTABLE), s.args);
            }
            for (Station &s : stations) {
                if (round == 1 && s.kind == QLatin1String("load"))
                    continue;
                QVERIFY(s.process->waitForFinished(300000));
                QCOMPARE(s.process->exitStatus(), QProcess::NormalExit);
                const QString err = QString::fromUtf8(s.process->readAllStandardError());
                const int code = s.process->exitCode();
                // A run may be refused (the server busy), never end half-way or crash.
                QVERIFY2(code == 0 || (code == 1 && !err.trimmed().isEmpty()),
                         qPrintable(s.kind + QStringLiteral(": ") + err));
                if (code != 0 || !expected.contains(s.kind))
                    continue;
                const QByteArray got = s.kind == QLatin1String("xls")
                                           ? fileBytes(workbook(s.home))
                                           : s.process->readAllStandardOutput();
                const QList<QByteArray> &either = expected[s.kind];
                // Before the load or after it, never a mix; once it is in, after it.
                QVERIFY2(got == either[1] || (round == 0 && got == either[0]),
                         qPrintable(s.kind + QStringLiteral(" is neither store's output")));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstServerCoverage)
#include "tst_servercoverage.moc"
