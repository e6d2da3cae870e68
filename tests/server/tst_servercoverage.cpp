#include "MDlib/Error.h"
#include "RunProgram.h"
#include "TestExtractServer.h"
#include "figures/Period.h"
#include "reports/CoverageSources.h"
#include "store/LocalDatabase.h"
#include "store/StoredValue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sqlite3.h>

#include <cstring>
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
// compared byte for byte; several workstations at once; a connection lost in the middle.
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
        QVERIFY(generate(path(QStringLiteral("before")), 400, 7));
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

    // A number from the server is added as local.mdb's NUMERIC column holds it: SQLite itself
    // says what it keeps for each (integer or real, and which).
    void numericAsLocalStore_data() {
        QTest::addColumn<QVariant>("value"); // a double, or the server's text of a numeric
        for (const double d : {3.0, -0.0, 0.5, 0.1, -7.25, 1e15, 9007199254740994.0,
                               9223372036854775807.0, -9223372036854775808.0, 1e300})
            QTest::newRow(qPrintable(QString::number(d, 'g', 17))) << QVariant(d);
        for (const char *text : {"12", "-7", "12.50", "1e3", "0.1", "9223372036854775807",
                                 "9223372036854775808", "-9223372036854775808", "4.0000"})
            QTest::newRow(text) << QVariant(QByteArray(text));
    }

    void numericAsLocalStore() {
        QFETCH(QVariant, value);
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        sqlite3_stmt *insert = nullptr, *select = nullptr;
        QCOMPARE(sqlite3_exec(db, "CREATE TABLE t (x NUMERIC)", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?)", -1, &insert, nullptr),
                 SQLITE_OK);
        const QByteArray text = value.toByteArray();
        const dao::StoredNumber got = value.typeId() == QMetaType::Double
                                          ? dao::storedNumber(value.toDouble())
                                          : dao::numericText(QByteArrayView(text));
        if (value.typeId() == QMetaType::Double)
            sqlite3_bind_double(insert, 1, value.toDouble());
        else
            sqlite3_bind_text(insert, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT x FROM t", -1, &select, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(select), SQLITE_ROW);
        const int type = sqlite3_column_type(select, 0);
        const qint64 integer = sqlite3_column_int64(select, 0);
        const double real = sqlite3_column_double(select, 0);
        sqlite3_finalize(insert);
        sqlite3_finalize(select);
        sqlite3_close(db);
        if (type == SQLITE_INTEGER) {
            QCOMPARE(got.kind, dao::StoredNumber::Kind::Integer);
            QCOMPARE(got.integer, integer);
        } else {
            QCOMPARE(type, SQLITE_FLOAT);
            QCOMPARE(got.kind, dao::StoredNumber::Kind::Real);
            QCOMPARE(std::memcmp(&got.real, &real, sizeof real), 0);
        }
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

    // Two workstations converting the order dates at once convert each row once.
    void datesConvertedOnce() {
        REQUIRE_SERVER();
        const QString local = path(QStringLiteral("dates"));
        QVERIFY(generate(local, 60, 9));
        QVERIFY(serverHome(path(QStringLiteral("dates-server")), QStringLiteral("QPSQL")));
        const ProgramRun load =
            runProgram(path(QStringLiteral("dates-server")),
                       {QStringLiteral("import-store"), local + QStringLiteral("/local.mdb")});
        QVERIFY2(load.exitCode == 0, qPrintable(load.err));
        const ProgramRun once =
            runProgram(local, {QStringLiteral("convert-dates"), QStringLiteral("order")});
        QVERIFY2(once.exitCode == 0, qPrintable(once.err));
        QProcess first, second;
        for (QProcess *p : {&first, &second}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), path(QStringLiteral("dates-server")));
            p->setProcessEnvironment(env);
            p->start(QStringLiteral(LODVIK_EXECUTABLE),
                     {QStringLiteral("convert-dates"), QStringLiteral("order")});
        }
        for (QProcess *p : {&first, &second}) {
            QVERIFY(p->waitForFinished(120000));
            QVERIFY2(p->exitCode() == 0 || p->exitCode() == 1,
                     qPrintable(QString::fromUtf8(p->readAllStandardError())));
        }
        QStringList want;
        dao::Database db = dao::Database::OpenDatabase(local + QStringLiteral("/local.mdb"));
        for (dao::Recordset rs = db.OpenRecordset(
                 QStringLiteral("SELECT coalesce(SDpddj, 'NULL') FROM fporder ORDER BY rowid"));
             !rs.isEOF(); rs.MoveNext())
            want << rs.Fields(0).text();
        QVERIFY(!want.isEmpty());
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("dates"));
        const SearchSourceSettings s = m_server->settings(QStringLiteral("QPSQL"));
        other.setHostName(s.host);
        other.setPort(s.port);
        other.setDatabaseName(s.database);
        other.setUserName(s.user);
        other.setPassword(s.password);
        QVERIFY(other.open());
        QStringList got;
        {
            QSqlQuery q(other);
            QVERIFY(q.exec(QStringLiteral(
                "SELECT coalesce(SDpddj, 'NULL') FROM fporder ORDER BY lodvik_radnr")));
            while (q.next())
                got << q.value(0).toString();
        }
        other.close();
        QCOMPARE(got, want);
    }

    // The connection to the server lost while the run reads the extracts: exit 1, the server's
    // words after "Detaljer:", and the earlier workbook as it was.
    void connectionLost() {
        REQUIRE_SERVER();
        const QString home = path(QStringLiteral("lost"));
        QVERIFY(serverHome(home, QStringLiteral("QPSQL")));
        QFile old(workbook(home));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the earlier workbook");
        old.close();
        // A lock the run's reading of pjstk waits behind, so that it is caught in the middle.
        QSqlDatabase blocker = m_server->connection(QStringLiteral("blocker"));
        QSqlQuery lock(blocker);
        QVERIFY(blocker.transaction());
        QVERIFY(lock.exec(QStringLiteral("LOCK TABLE pjstk IN ACCESS EXCLUSIVE MODE")));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home);
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(LODVIK_EXECUTABLE),
                  {QStringLiteral("coverage"), QStringLiteral("--period"), QLatin1String(Period)});
        QElapsedTimer waited;
        waited.start();
        int terminated = 0;
        while (terminated == 0 && waited.elapsed() < 60000 && run.state() != QProcess::NotRunning) {
            QThread::msleep(50);
            QSqlQuery q = sql(QStringLiteral(
                "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = "
                "current_database() AND wait_event_type = 'Lock' AND pid <> pg_backend_pid()"));
            q.next();
            terminated = q.value(0).toInt();
        }
        lock.finish();
        blocker.rollback();
        blocker.close();
        blocker = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("blocker"));
        QVERIFY(terminated > 0);
        QVERIFY(run.waitForFinished(60000));
        const QString err = QString::fromUtf8(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("Detaljer:")), qPrintable(err));
        QCOMPARE(fileBytes(workbook(home)), QByteArray("the earlier workbook"));
    }

    // A store whose quantities are also numeric and blank texts (and Nulls and empty texts), as
    // a transfer that writes texts leaves them: import-store loads every value, and every output
    // from the server equals the file's. Last: it replaces the server's store.
    void textsSameAsLocalStore() {
        REQUIRE_SERVER();
        const QString texts = path(QStringLiteral("texts"));
        QVERIFY(generate(texts, 300, 9, true));
        const ProgramRun load =
            runProgram(path(QStringLiteral("server")),
                       {QStringLiteral("import-store"), texts + QStringLiteral("/local.mdb")});
        QVERIFY2(load.exitCode == 0, qPrintable(load.err));
        // A column with texts holds text on the server.
        QSqlQuery type = sql(QStringLiteral("SELECT data_type FROM information_schema.columns "
                                            "WHERE table_name = 'pjsfakt' AND column_name = "
                                            "'sdpqor'"));
        QVERIFY(type.next());
        QCOMPARE(type.value(0).toString(), QStringLiteral("text"));
        for (const QStringList &args :
             {QStringList(), QStringList{QStringLiteral("--format"), QStringLiteral("json")},
              QStringList{QStringLiteral("--xlsx")}}) {
            QString failure;
            const QByteArray local = output(texts, args, &failure);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QCOMPARE(output(path(QStringLiteral("server")), args, &failure), local);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            // Through ODBC the values come as Qt's variants, not COPY's binary rows.
            if (hasOdbc()) {
                QCOMPARE(output(path(QStringLiteral("odbc")), args, &failure), local);
                QVERIFY2(failure.isEmpty(), qPrintable(failure));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstServerCoverage)
#include "tst_servercoverage.moc"
