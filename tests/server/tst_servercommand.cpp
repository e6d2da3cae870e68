#include "../common/DataRows.h"
#include "../common/RunProgram.h"
#include "TestServer.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// The program itself with lodvikprodsok.ini naming the server: the settings file is read, the
// server is reached, and the search lists its rows. The program sees the database's own tables
// (the public schema that .ci/services.d/server.sh prepared), so the rows of this test carry
// product numbers of their own, beginning with Q9.
class TestServerCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!TestServer::missing().isEmpty())
            QSKIP(qPrintable(TestServer::missing()));
        QSqlDatabase db = TestServer::connection(m_connection);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery exists(db);
        QVERIFY(exists.exec(QStringLiteral("SELECT to_regclass('public.produktsok') IS NOT NULL")));
        QVERIFY(exists.next());
        if (!exists.value(0).toBool())
            QSKIP("the server's public schema holds no ProduktSok (server/sokdata-postgresql.sql)");
        cleanupTestCase();
        QVERIFY(
            run(QStringLiteral("INSERT INTO public.ProduktSok VALUES ('Ärter', 'Q91'), "
                               "('apelsin', 'q91'), ('Öl', 'Q92'), ('zz', 'Q9a'), ('x', 'Q8')")));
    }

    void cleanupTestCase() {
        if (QSqlDatabase::contains(m_connection))
            run(QStringLiteral("DELETE FROM public.ProduktSok WHERE Produktnummer >= 'Q8' AND "
                               "Produktnummer < 'Q9ÖÖÖ'"));
    }

    void search_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // stdout when it succeeds, part of stderr otherwise
        const SearchSourceSettings pg = TestServer::settings(QStringLiteral("QPSQL"));
        const QString qpsql =
            QStringLiteral("[sokdata]\ndriver=QPSQL\nhost=%1\nport=%2\ndatabase=%3\n"
                           "user=%4\npassword=%5\n")
                .arg(pg.host)
                .arg(pg.port)
                .arg(pg.database, pg.user, pg.password);
        const SearchSourceSettings odbc = TestServer::settings(QStringLiteral("QODBC"));
        const QString qodbc =
            QStringLiteral("[sokdata]\ndriver=QODBC\ndsn=%1\nuser=%2\npassword=%3\n")
                .arg(odbc.dsn, odbc.user, odbc.password);
        const QStringList byProduct{QStringLiteral("--produkt"), QStringLiteral("q9")};
        const QString rows = QStringLiteral("apelsin\tq91\nÄrter\tQ91\nÖl\tQ92\nzz\tQ9a\n");
        addRow("QPSQL", qpsql, byProduct, 0, rows);
        addRow("QODBC", qodbc, byProduct, 0, rows);
        addRow("QODBC by name", qodbc, QStringList{QStringLiteral("--namn"), QStringLiteral("ÖL")},
               0, QStringLiteral("Öl\tQ92\n"));
        addRow("QPSQL wrong password", QString(qpsql).replace(pg.password, QStringLiteral("fel")),
               byProduct, 1, QStringLiteral("Kan inte ansluta"));
    }

    void search() {
        QFETCH(QString, ini);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir home;
        QFile file(home.filePath(QStringLiteral("lodvikprodsok.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini.toUtf8());
        file.close();

        const ProgramRun run =
            runProgram(home.path(), QStringList{QStringLiteral("search")} + args);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
        if (exitCode == 0)
            QCOMPARE(run.out, output);
        else
            QVERIFY2(run.err.contains(output), qPrintable(run.err));
        // the embedded store is not made beside a server source
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("sokdata.db"))));
    }

    // The planning rules and marks live on the server beside ProduktSok when it is the source,
    // and its writers take turns: loads, and marks of one product, started at once all succeed.
    void planningOnTheServer() {
        const SearchSourceSettings pg = TestServer::settings(QStringLiteral("QPSQL"));
        QTemporaryDir home;
        QFile ini(home.filePath(QStringLiteral("lodvikprodsok.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[sokdata]\ndriver=QPSQL\nhost=%1\nport=%2\ndatabase=%3\n"
                                 "user=%4\npassword=%5\n")
                      .arg(pg.host)
                      .arg(pg.port)
                      .arg(pg.database, pg.user, pg.password)
                      .toUtf8());
        ini.close();
        QFile rules(home.filePath(QStringLiteral("regler.csv")));
        QVERIFY(rules.open(QIODevice::WriteOnly));
        rules.write("Q9R1;1,5;;2;6;;Öst AB;\n");
        for (int i = 0; i < 2000; ++i) // long enough for the loads to meet
            rules.write(QStringLiteral("Q9X%1;1;;;;;;\n").arg(i).toUtf8());
        rules.close();
        QString failed = atOnce(home.path(), {"rules", "--load", rules.fileName()});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM public.planning_rule")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 2001);
        QVERIFY(query.exec(QStringLiteral("SELECT product, lead_time_weeks, safety_packs, "
                                          "multiple, supplier FROM public.planning_rule WHERE "
                                          "product = 'Q9R1'")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("Q9R1"));
        QCOMPARE(query.value(1).toDouble(), 1.5);
        QCOMPARE(query.value(2).toDouble(), 2.0);
        QCOMPARE(query.value(3).toLongLong(), 6);
        QCOMPARE(query.value(4).toString(), QStringLiteral("Öst AB"));
        QVERIFY(!query.next());
        failed = atOnce(home.path(), {"mark", "--period", "2010-11-18", "Q9R1", "--discontinued"});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(query.exec(QStringLiteral("SELECT mark FROM public.planning_mark WHERE product = "
                                          "'Q9R1' AND period = '2010-11-18'")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("discontinued"));
        ProgramRun program =
            runProgram(home.path(), {"mark", "--period", "2010-11-18", "Q9R1", "--clear"});
        QVERIFY2(program.exitCode == 0, qPrintable(program.err));
        program = runProgram(home.path(), {"rules", "--save", home.filePath("ut.csv")});
        QVERIFY2(program.exitCode == 0, qPrintable(program.err));
        QFile saved(home.filePath(QStringLiteral("ut.csv")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("\r\nQ9R1;1,5;0;2;6;0;Öst AB;\r\n"));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("sokdata.db"))));
        QVERIFY(run(QStringLiteral("DELETE FROM public.planning_rule")));
    }

private:
    bool run(const QString &sql);
    // Runs the program with these arguments in eight processes at once; what those that failed
    // said.
    static QString atOnce(const QString &home, const QStringList &args);
    const QString m_connection = QStringLiteral("servercommand");
};

bool TestServerCommand::run(const QString &sql) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(sql))
        qWarning("%s", qPrintable(query.lastError().text()));
    return query.isActive();
}

QString TestServerCommand::atOnce(const QString &home, const QStringList &args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home);
    std::vector<std::unique_ptr<QProcess>> programs;
    for (int i = 0; i < 8; ++i) {
        programs.push_back(std::make_unique<QProcess>());
        programs.back()->setProcessEnvironment(env);
        programs.back()->start(QStringLiteral(LODVIK_EXECUTABLE), args);
    }
    QString failed;
    for (const auto &program : programs)
        if (!program->waitForFinished(120000) || program->exitCode() != 0)
            failed += QStringLiteral("exit %1: %2\n")
                          .arg(program->exitCode())
                          .arg(QString::fromUtf8(program->readAllStandardError()));
    return failed;
}

QTEST_GUILESS_MAIN(TestServerCommand)
#include "tst_servercommand.moc"
