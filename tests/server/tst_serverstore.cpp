#include "../common/RunProgram.h"
#include "../common/ServerStore.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "demo/DemoLocalStore.h"
#include "figures/StockFigures.h"
#include "store/LocalDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <memory>

using lodvik::Variant;

// The figures, the summary and the connection faults on the server store, compared with the
// same data in SQLite: one program folder holds local.mdb, the other only the settings that name
// the server the first one's rows were loaded into.
class ServerStoreTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ServerStore> server;
    QTemporaryDir sqlite;
    QTemporaryDir onServer;
    QStringList products;

    static QString localOf(const QTemporaryDir &folder) {
        return folder.filePath(QStringLiteral("local.mdb"));
    }

    // A figure's value with its type, or the message it failed with.
    static QString outcome(const QString &folder, const figures::NamedFigure &figure,
                           const QString &product) {
        lodvik::NoProgress progress;
        figures::StockFigures stock(folder + QStringLiteral("/local.mdb"), progress);
        try {
            const Variant v = figure.run(
                stock, {product, figures::Period::fromText(QStringLiteral("2010-11-18")), 250});
            return QStringLiteral("%1 %2").arg(int(v.type())).arg(v.toText());
        } catch (const lodvik::Error &e) {
            return e.message();
        }
    }

    // The operator's message of a figure on a folder whose settings say extra.
    QString failure(const QString &extra) {
        QTemporaryDir folder;
        server->configure(folder.path(), QStringLiteral("QPSQL"), extra);
        return outcome(folder.path(), *figures::findNamedFigure(QStringLiteral("GSCPJ")), {});
    }

    // Runs a figure on the server while a second connection holds its table locked, and lets
    // the server end the figure's statement with act (a function of the figure's backend).
    QString interrupted(const QString &act) {
        const QString name = QStringLiteral("holder");
        QString message;
        {
            QSqlDatabase holder = server->server().connection(name);
            QSqlQuery q(holder);
            if (!q.exec(QStringLiteral("BEGIN")) ||
                !q.exec(QStringLiteral("LOCK TABLE pjstk IN ACCESS EXCLUSIVE MODE")))
                return QStringLiteral("no lock: ") + q.lastError().text();
            auto figure = std::async(std::launch::async, [&] {
                return outcome(onServer.path(), *figures::findNamedFigure("GSLPJ"), {});
            });
            // The figure's connection waits for the lock; then the server ends its statement.
            QString acted;
            for (int i = 0; i < 200 && acted.isEmpty(); ++i) {
                // The activity this transaction saw first stays until it is let go.
                q.exec(QStringLiteral("SELECT pg_stat_clear_snapshot()"));
                if (q.exec(QStringLiteral("SELECT %1(pid) FROM pg_stat_activity WHERE "
                                          "wait_event_type = 'Lock' AND datname = "
                                          "current_database()")
                               .arg(act)) &&
                    q.next())
                    acted = q.value(0).toString();
                QTest::qWait(50);
            }
            message = figure.get();
            if (acted.isEmpty())
                message += QStringLiteral("\nnot ended: ") + q.lastError().text();
            q.exec(QStringLiteral("ROLLBACK"));
            holder.close();
        }
        QSqlDatabase::removeDatabase(name);
        return message;
    }

private slots:
    void initTestCase() {
        if (!ServerStore::missing().isEmpty())
            QSKIP(qPrintable(ServerStore::missing()));
        server = std::make_unique<ServerStore>();
        createDemoLocalStore(localOf(sqlite), {60, 200, 2, 20101118});
        for (const QTemporaryDir *folder : {&sqlite, &onServer})
            QVERIFY(QDir(folder->path()).mkpath(QStringLiteral("rapporter")));
        QCOMPARE(server->load(localOf(sqlite)), QString());
        dao::Database db = dao::Database::OpenDatabase(localOf(sqlite));
        for (dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT iblitm FROM pjomr"));
             !rs.isEOF() && products.size() < 12; rs.MoveNext())
            products.append(rs.Fields(0).toText());
        products.append(products.first().toLower()); // the product comparison
        products.append(QStringLiteral("finns-inte"));
    }
    void cleanupTestCase() { server.reset(); }

    // Every figure and lookup, for several products, gives the same value or message.
    void figures_data() {
        QTest::addColumn<QString>("driver");
        for (const QString &driver : ServerStore::drivers())
            QTest::newRow(qPrintable(driver)) << driver;
    }
    void figures() {
        QFETCH(QString, driver);
        server->configure(onServer.path(), driver);
        for (const figures::NamedFigure &figure : figures::namedFigures())
            for (const QString &product : figure.takesProduct ? products : QStringList{QString()})
                QCOMPARE(outcome(onServer.path(), figure, product),
                         outcome(sqlite.path(), figure, product));
    }

    // The summary command writes the same workbook, byte for byte.
    void summary_data() { figures_data(); }
    void summary() {
        QFETCH(QString, driver);
        server->configure(onServer.path(), driver);
        const QStringList args{QStringLiteral("summary"), QStringLiteral("--period"),
                               QStringLiteral("2010-11-18")};
        QByteArray books[2];
        int i = 0;
        for (const QTemporaryDir *folder : {&sqlite, &onServer}) {
            const ProgramRun run = runProgram(folder->path(), args);
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            QFile book(folder->filePath(QStringLiteral("rapporter/Pallvik2010-11-18.xls")));
            QVERIFY(book.open(QIODevice::ReadOnly));
            books[i++] = book.readAll();
        }
        QVERIFY(!books[0].isEmpty());
        QVERIFY(books[0] == books[1]);
        // The figure command prints the same, a failing figure the same message.
        for (const QStringList &figure :
             {QStringList{QStringLiteral("figure"), QStringLiteral("backordersDP")},
              QStringList{QStringLiteral("figure"), QStringLiteral("ProdOrderPJ"), products.at(1),
                          QStringLiteral("--umfaktor"), QStringLiteral("0")}}) {
            const ProgramRun local = runProgram(sqlite.path(), figure);
            const ProgramRun remote = runProgram(onServer.path(), figure);
            QCOMPARE(remote.exitCode, local.exitCode);
            QCOMPARE(remote.out, local.out);
            QCOMPARE(remote.err, local.err);
        }
    }

    // A second thread of an operation reads the operation's snapshot, whatever commits since.
    void sharedSnapshot() {
        server->configure(onServer.path(), QStringLiteral("QPSQL"));
        const QString local = localOf(onServer);
        const auto count = [](dao::Database &&db) {
            return db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjstk"))
                .Fields(0)
                .toText();
        };
        dao::Database operation = dao::Database::OpenExtractStore(local);
        const QString before = operation.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjstk"))
                                   .Fields(0)
                                   .toText();
        const QString snapshot = operation.exportSnapshot();
        QVERIFY(!snapshot.isEmpty());
        server->execute(QStringLiteral("DELETE FROM pjstk"));
        auto joined = std::async(std::launch::async, [&] {
            return count(dao::Database::JoinSnapshot(local, snapshot));
        });
        auto fresh = std::async(std::launch::async,
                                [&] { return count(dao::Database::OpenExtractStore(local)); });
        QCOMPARE(joined.get(), before);
        QCOMPARE(fresh.get(), QStringLiteral("0"));
        QCOMPARE(count(std::move(operation)), before);
        QCOMPARE(server->load(localOf(sqlite)), QString());
    }

    // A server that cannot be reached: the Swedish message with the server's own words, exit 1,
    // and the old workbook left as it was.
    void unreachable_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("words"); // the server's or the library's own
        QTest::newRow("wrong password") << "password=fel"
                                        << "password authentication failed";
        QTest::newRow("nobody listens on the port") << "port=1"
                                                    << "refused";
    }
    void unreachable() {
        QFETCH(QString, settings);
        QFETCH(QString, words);
        const QString message = failure(settings);
        QVERIFY2(message.contains(QStringLiteral("Kan inte ansluta")) &&
                     message.contains(QStringLiteral("\nDetaljer: ")) && message.contains(words),
                 qPrintable(message));

        QTemporaryDir folder;
        server->configure(folder.path(), QStringLiteral("QPSQL"), settings);
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("rapporter")));
        QFile old(folder.filePath(QStringLiteral("rapporter/Pallvik2010-11-18.xls")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("förra") == 6);
        old.close();
        const ProgramRun run =
            runProgram(folder.path(), {QStringLiteral("summary"), QStringLiteral("--period"),
                                       QStringLiteral("2010-11-18")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(words), qPrintable(run.err));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("förra"));
    }

    // A warning or notice of the server (its own functions, a shutdown) never reaches stderr,
    // where a scheduled run would mail it; the figure is the same.
    void serverNoticesOffStderr_data() { figures_data(); }
    void serverNoticesOffStderr() {
        QFETCH(QString, driver);
        server->configure(onServer.path(), driver);
        server->execute(QStringLiteral(
            "CREATE FUNCTION lodvik_test_noisy() RETURNS boolean LANGUAGE plpgsql AS $$BEGIN "
            "RAISE WARNING 'lodvik-varning'; RAISE NOTICE 'lodvik-notis'; RETURN true; END$$; "
            "ALTER TABLE pjomr RENAME TO lodvik_test_pjomr; CREATE VIEW pjomr AS SELECT * FROM "
            "lodvik_test_pjomr WHERE lodvik_test_noisy()"));
        const QStringList figure{QStringLiteral("figure"), QStringLiteral("getantaliforpack"),
                                 products.first()};
        const ProgramRun remote = runProgram(onServer.path(), figure);
        server->execute(QStringLiteral("DROP VIEW pjomr; ALTER TABLE lodvik_test_pjomr RENAME TO "
                                       "pjomr; DROP FUNCTION lodvik_test_noisy()"));
        QVERIFY2(!remote.err.contains(QStringLiteral("lodvik-")), qPrintable(remote.err));
        QCOMPARE(remote.out, runProgram(sqlite.path(), figure).out);
    }

    // The server ends the operation's statement or its whole connection mid-run: the message
    // says so with the server's words; the next operation opens a connection of its own.
    void endedByServer_data() {
        QTest::addColumn<QString>("act");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("words");
        QTest::newRow("statement cancelled") << "pg_cancel_backend"
                                             << "servern avbröt frågan"
                                             << "canceling statement";
        QTest::newRow("connection terminated (a restart)") << "pg_terminate_backend"
                                                           << "förbindelsen med servern bröts"
                                                           << "terminating connection";
    }
    void endedByServer() {
        QFETCH(QString, act);
        QFETCH(QString, reason);
        QFETCH(QString, words);
        server->configure(onServer.path(), QStringLiteral("QPSQL"));
        const QString message = interrupted(act);
        QVERIFY2(message.contains(reason) && message.contains(QStringLiteral("\nDetaljer: ")) &&
                     message.contains(words),
                 qPrintable(message));
        const figures::NamedFigure &gsl = *figures::findNamedFigure(QStringLiteral("GSLPJ"));
        QCOMPARE(outcome(onServer.path(), gsl, {}), outcome(sqlite.path(), gsl, {}));
    }
};

QTEST_GUILESS_MAIN(ServerStoreTest)
#include "tst_serverstore.moc"
