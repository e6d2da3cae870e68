#include "../common/RunProgram.h"
#include "../common/TestData.h"
#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "TestExtractServer.h"
#include "demo/DemoLocalStore.h"
#include "import/AccessImport.h"
#include "store/ExtractLoad.h"
#include "store/ExtractStore.h"
#include "store/Libpq.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"
#include "store/TableCatalogue.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <limits>
#include <memory>
#include <thread>

// QSKIP returns only from the function it stands in: in a helper the test would go on without
// its server.
#define REQUIRE_SERVER()                                                                           \
    do {                                                                                           \
        if (!m_server)                                                                             \
            QSKIP(qPrintable(TestExtractServer::missing()));                                       \
    } while (false)
#define REQUIRE_DRIVER(driver)                                                                     \
    do {                                                                                           \
        if (driverMissing(driver))                                                                 \
            QSKIP("no ODBC data source for the extract store (LODVIK_TEST_ODBC_EXTRAKT_DSN)");     \
    } while (false)

namespace {

// A value as "kind:value", numbers in full; integer and real compare as the same number, as
// the figures read them.
QString cell(const QVariant &v) {
    if (v.isNull())
        return QStringLiteral("NULL");
    switch (v.typeId()) {
    case QMetaType::QString:
        return QStringLiteral("T:") + v.toString();
    case QMetaType::QByteArray:
        return QStringLiteral("B:") + QString::fromLatin1(v.toByteArray().toHex());
    default:
        return QStringLiteral("N:") + QString::number(v.toDouble(), 'g', 17);
    }
}

QStringList rowsOf(QSqlQuery &q) {
    QStringList rows;
    while (q.next()) {
        QStringList cells;
        for (int c = 0; c < q.record().count(); ++c)
            cells.append(cell(q.value(c)));
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

// A store read through Qt's own SQLite driver, one connection for each file.
QSqlDatabase storeConnection(const QString &path) {
    const QString name = QStringLiteral("store:") + path;
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.open();
    return db;
}

// The tables of a store with their columns.
QList<QPair<QString, QStringList>> storeTables(const QString &path) {
    QList<QPair<QString, QStringList>> tables;
    QSqlDatabase db = storeConnection(path);
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name"));
    while (q.next()) {
        const QSqlRecord record = db.record(q.value(0).toString());
        QStringList columns;
        for (int c = 0; c < record.count(); ++c)
            columns.append(record.fieldName(c));
        tables.append({q.value(0).toString(), columns});
    }
    return tables;
}

QStringList storeRows(const QString &path, const QString &table) {
    QSqlQuery q(storeConnection(path));
    q.exec(QStringLiteral("SELECT rowid, * FROM \"%1\" ORDER BY rowid").arg(table));
    return rowsOf(q);
}

// A store with the values a COPY could garble: escapes, Latin-1, empty texts, the extremes of
// double, and rowids with gaps.
void createEdgeStore(const QString &path) {
    catalogue::createEmptyLocalStore(path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("edge"));
    {
        db.setDatabaseName(path);
        QVERIFY(db.open());
        const QList<QVariant> texts{QStringLiteral("ÅÄÖ-1 åäö"),
                                    QStringLiteral("tab\there"),
                                    QStringLiteral("new\nline\r"),
                                    QStringLiteral("back\\slash\\"),
                                    QString(""),
                                    QStringLiteral("\\N"),
                                    QStringLiteral("'\"';"),
                                    QVariant(QMetaType(QMetaType::QString))};
        const QList<QVariant> numbers{0,
                                      -3,
                                      0.1,
                                      1e-300,
                                      std::numeric_limits<double>::max(),
                                      qlonglong(1) << 53,
                                      -2.5e-7,
                                      QVariant(QMetaType(QMetaType::Double)),
                                      -std::numeric_limits<double>::max(),
                                      1.0 / 3};
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN"));
        for (const catalogue::Table &t : catalogue::localTables()) {
            QStringList marks;
            for (qsizetype c = 0; c < t.columns.size(); ++c)
                marks.append(QStringLiteral("?"));
            QVERIFY(q.prepare(QStringLiteral("INSERT INTO \"%1\" VALUES (%2)")
                                  .arg(t.name, marks.join(QLatin1Char(',')))));
            for (int r = 0; r < 12; ++r) {
                for (qsizetype c = 0; c < t.columns.size(); ++c) {
                    const bool runningNumber =
                        t.columns.at(c).name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
                    q.addBindValue(runningNumber ? QVariant(r * 1000)
                                   : t.columns.at(c).kind == catalogue::ColumnKind::Text
                                       ? texts.at((r + c) % texts.size())
                                       : numbers.at((r + c) % numbers.size()));
                }
                QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            }
            QVERIFY(q.exec(QStringLiteral("DELETE FROM \"%1\" WHERE rowid IN (2, 7)").arg(t.name)));
        }
        q.exec(QStringLiteral("COMMIT"));
    }
    db.close();
    db = {};
    QSqlDatabase::removeDatabase(QStringLiteral("edge"));
}

// Stops the work once it has reported so many rows.
class CancelAfter : public lodvik::Progress {
public:
    explicit CancelAfter(qint64 rows) : m_rows(rows) { setCancelFlag(&m_flag); }

protected:
    void show() override {
        if (done() >= m_rows)
            m_flag = true;
    }

private:
    qint64 m_rows;
    std::atomic<bool> m_flag = false;
};

} // namespace

// The [extrakt] settings and the server's extract schema as server/extrakt-postgresql.sql makes
// it.
class TstExtractStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestExtractServer> m_server;

    static void writeIni(const QTemporaryDir &home, const QString &text) {
        QFile file(home.filePath(QStringLiteral("lodvikprodsok.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    // Every table of the store, row by row, equals the server's in lodvik_radnr order.
    void compareWithServer(const QString &store) {
        for (const auto &[table, columns] : storeTables(store)) {
            QStringList selected{QStringLiteral("lodvik_radnr")};
            for (const QString &c : columns)
                selected.append(QLatin1Char('"') + c.toLower() + QLatin1Char('"'));
            QSqlQuery q = query(QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY lodvik_radnr")
                                    .arg(selected.join(QStringLiteral(", ")), table.toLower()));
            const QStringList server = rowsOf(q);
            const QStringList local = storeRows(store, table);
            QVERIFY2(!local.isEmpty(), qPrintable(table));
            QCOMPARE(server, local);
        }
    }

    static bool driverMissing(const QString &driver) {
        return driver == QLatin1String("QODBC") &&
               (qEnvironmentVariable("LODVIK_TEST_ODBC_EXTRAKT_DSN").isEmpty() ||
                !QSqlDatabase::isDriverAvailable(driver));
    }

    // The demo store, and a changed copy of it whose last table holds a value no number column
    // takes when broken is set.
    // broken: an UPDATE that puts a value no load takes into the changed store.
    QString demoStore(const QTemporaryDir &dir, const QString &name, bool changed = false,
                      const QString &broken = {}) {
        const QString path = dir.filePath(name);
        DemoExtractSize size;
        if (changed)
            size.seed = 7;
        createDemoLocalStore(path, size);
        if (!broken.isEmpty()) {
            dao::Database db = dao::Database::OpenDatabase(path);
            db.Execute(broken);
        }
        return path;
    }

    // The demo store loaded on the server, and a changed copy (broken: see demoStore) beside it.
    std::pair<QString, QString> demoOnServer(const QTemporaryDir &dir,
                                             const QString &driver = QStringLiteral("QPSQL"),
                                             const QString &broken = {}) {
        const QString old = demoStore(dir, QStringLiteral("old.mdb"));
        lodvik::NoProgress progress;
        extractload::loadServerStore(old, m_server->settings(driver), progress);
        return {old, demoStore(dir, QStringLiteral("new.mdb"), true, broken)};
    }

    QSqlQuery query(const QString &sql) const {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("schema"), false));
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q;
    }

private slots:
    // libpq is opened when the server store first needs it; a library that is missing, or
    // lacks a function, is a message, not a crash.
    void libpqOpened_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("missing"); // what the message names; empty: it loads
        QTest::newRow("libpq") << "libpq.so.5" << QString();
        QTest::newRow("no such library") << "liblodvik-ingen.so.1"
                                         << "liblodvik-ingen.so.1";
        QTest::newRow("another library") << "libsqlite3.so.0"
                                         << "PQclear";
    }

    void libpqOpened() {
        QFETCH(QString, library);
        QFETCH(QString, missing);
        try {
            const dao::Libpq pq = dao::loadLibpq(library.toLocal8Bit().constData());
            QVERIFY(missing.isEmpty());
            // libpq's own answers for no result and no connection.
            QCOMPARE(pq.PQresultStatus(nullptr), PGRES_FATAL_ERROR);
            QCOMPARE(pq.PQstatus(nullptr), CONNECTION_BAD);
            QCOMPARE(pq.PQntuples(nullptr), 0);
        } catch (const lodvik::Error &e) {
            QVERIFY2(!missing.isEmpty() && e.message().contains(missing), qPrintable(e.message()));
        }
    }

    void initTestCase() {
        if (!TestExtractServer::missing().isEmpty())
            return;
        m_server = std::make_unique<TestExtractServer>(QStringLiteral("schema"));
        m_server->connection(QStringLiteral("schema"));
    }
    void cleanupTestCase() {
        QSqlDatabase::database(QStringLiteral("schema"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("schema"));
        m_server.reset();
    }

    void settings_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("database");
        QTest::addColumn<int>("port");
        QTest::newRow("no file") << QString() << false << ""
                                 << "" << 0;
        QTest::newRow("search source only") << "[sokdata]\ndriver=QPSQL\ndatabase=sokdata\n"
                                            << false << ""
                                            << "" << 0;
        QTest::newRow("postgres") << "[sokdata]\ndriver=QPSQL\ndatabase=sokdata\n[extrakt]\n"
                                     "driver=qpsql\nhost=db1\nport=5433\ndatabase=extrakt\n"
                                  << true << "QPSQL"
                                  << "extrakt" << 5433;
        QTest::newRow("odbc") << "[extrakt]\ndriver=QODBC\ndsn=lager\ncatalog=extrakt\n"
                              << true << "QODBC"
                              << "" << 0;
        QFile example(QStringLiteral(LODVIK_SOURCE_DIR "/server/lodvikprodsok.ini.example"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        QTest::newRow("shipped example") << QString::fromUtf8(example.readAll()) << true << "QPSQL"
                                         << "extrakt" << 5432;
    }
    void settings() {
        QFETCH(QString, ini);
        QFETCH(bool, present);
        QTemporaryDir home;
        if (!ini.isNull())
            writeIni(home, ini);
        const std::optional<SearchSourceSettings> s = readExtractStoreSettings(home.path());
        QCOMPARE(s.has_value(), present);
        if (!s)
            return;
        QTEST(s->driver, "driver");
        QTEST(s->database, "database");
        QTEST(s->port, "port");
    }

    void badSettingsRaise_data() {
        QTest::addColumn<QString>("ini");
        QTest::newRow("no driver") << "[extrakt]\nhost=db1\n";
        QTest::newRow("sqlite") << "[extrakt]\ndriver=QSQLITE\ndatabase=x.db\n";
        QTest::newRow("bad port") << "[extrakt]\ndriver=QPSQL\nport=70000\n";
    }
    void badSettingsRaise() {
        QFETCH(QString, ini);
        QTemporaryDir home;
        writeIni(home, ini);
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, readExtractStoreSettings(home.path()));
    }

    void scriptRunsTwice() {
        if (!m_server)
            QSKIP(qPrintable(TestExtractServer::missing()));
        QCOMPARE(m_server->scriptErrors(), QString());
    }

    // Every catalogue column under its lower-case name, numbers as the SQLite import stores them
    // (running numbers whole), the row number last, and an index for each filter column.
    void everyCatalogueColumn() {
        if (!m_server)
            QSKIP(qPrintable(TestExtractServer::missing()));
        for (const catalogue::Table &table : catalogue::localTables()) {
            QStringList expected;
            for (const catalogue::Column &c : table.columns) {
                const bool runningNumber =
                    c.name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
                expected.append(c.name.toLower() + QLatin1Char(' ') +
                                (c.kind == catalogue::ColumnKind::Text ? QStringLiteral("text")
                                 : runningNumber                       ? QStringLiteral("integer")
                                                 : QStringLiteral("double precision")));
            }
            expected.append(QStringLiteral("lodvik_radnr bigint NO"));
            QSqlQuery q = query(QStringLiteral("SELECT column_name, data_type, is_nullable FROM "
                                               "information_schema.columns WHERE table_name = "
                                               "'%1' ORDER BY ordinal_position")
                                    .arg(table.name.toLower()));
            QStringList actual;
            while (q.next())
                actual.append(q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString() +
                              (q.value(2).toString() == QLatin1String("NO") ? QStringLiteral(" NO")
                                                                            : QString()));
            QCOMPARE(actual, expected);

            QSqlQuery primary =
                query(QStringLiteral("SELECT count(*) FROM pg_index i JOIN pg_attribute a ON "
                                     "a.attrelid = i.indrelid AND a.attnum = i.indkey[0] WHERE "
                                     "i.indrelid = '%1'::regclass AND i.indisprimary AND "
                                     "a.attname = 'lodvik_radnr' AND i.indnatts = 1")
                          .arg(table.name.toLower()));
            QVERIFY(primary.next());
            QCOMPARE(primary.value(0).toInt(), 1);
            for (const QString &column : table.indexed) {
                QSqlQuery index = query(QStringLiteral("SELECT count(*) FROM pg_indexes WHERE "
                                                       "tablename = '%1' AND indexdef LIKE "
                                                       "'%%(lodvik_nyckel(' || quote_ident('%2') "
                                                       "|| '), lodvik_radnr)'")
                                            .arg(table.name.toLower(), column.toLower()));
                QVERIFY(index.next());
                QVERIFY2(index.value(0).toInt() == 1, qPrintable(table.name + '.' + column));
            }
        }
    }

    void importStoreCopiesEveryRow_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("demo");
        for (const char *driver : {"QPSQL", "QODBC"}) {
            QTest::addRow("%s edge values", driver) << QString::fromLatin1(driver) << false;
            QTest::addRow("%s demo", driver) << QString::fromLatin1(driver) << true;
        }
    }
    void importStoreCopiesEveryRow() {
        REQUIRE_SERVER();
        QFETCH(QString, driver);
        QFETCH(bool, demo);
        REQUIRE_DRIVER(driver);
        QTemporaryDir dir;
        QString store = dir.filePath(QStringLiteral("local.mdb"));
        if (demo)
            store = demoStore(dir, QStringLiteral("local.mdb"));
        else
            createEdgeStore(store);
        lodvik::NoProgress progress;
        const extractload::LoadResult result =
            extractload::loadServerStore(store, m_server->settings(driver), progress);
        QCOMPARE(result.tables.size(), catalogue::localTables().size());
        QVERIFY(result.warnings.isEmpty());
        compareWithServer(store);
    }

    // An Access file's tables reach the server exactly as they reach local.mdb.
    void importMdbEqualsLocal_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("file");
        for (const char *driver : {"QPSQL", "QODBC"}) {
            QTest::addRow("%s jet3", driver) << driver << "nwind-jet3.mdb";
            QTest::addRow("%s jet4", driver) << driver << "datetest-jet4.mdb";
        }
    }
    void importMdbEqualsLocal() {
        REQUIRE_SERVER();
        QFETCH(QString, driver);
        QFETCH(QString, file);
        REQUIRE_DRIVER(driver);
        const QString mdb = testDataFolder() + QStringLiteral("/access/") + file;
        if (!QFileInfo::exists(mdb))
            QSKIP(qPrintable(testDataMissing()));
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("local.mdb"));
        lodvik::NoProgress progress;
        const accessimport::ImportResult intoLocal =
            accessimport::importAccessDatabase(mdb, local, progress);
        const accessimport::ImportResult intoServer =
            accessimport::importAccessDatabaseToServer(mdb, m_server->settings(driver), progress);
        QCOMPARE(intoServer.tables.size(), intoLocal.tables.size());
        QCOMPARE(intoServer.warnings, intoLocal.warnings);
        compareWithServer(local);
    }

    // A value no figure counts (refused before the server is asked) or one the server refuses:
    // nothing of the load stays, and the operator learns where the value is.
    void refusedValueLeavesOldRows_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("broken");
        QTest::addColumn<QStringList>("named");
        for (const char *driver : {"QPSQL", "QODBC"}) {
            QTest::addRow("%s text", driver)
                << driver << "UPDATE pjomr SET umconv = 'abc' WHERE rowid = 5"
                << QStringList{"\"abc\"", "pjomr", "umconv, rad 5"};
            QTest::addRow("%s blob", driver)
                << driver << "UPDATE pjsfakt SET sdpqor = x'3132' WHERE rowid = 3"
                << QStringList{"x'3132'", "pjsfakt", "sdpqor, rad 3"};
            QTest::addRow("%s infinity", driver)
                << driver << "UPDATE avail SET quantity = 9e999 WHERE rowid = 2"
                << QStringList{"Inf", "avail", "quantity, rad 2"};
            QTest::addRow("%s past the server's integer", driver)
                << driver << "UPDATE DTSPL SET ID = 5000000000 WHERE rowid = 4"
                << QStringList{"DTSPL", "Detaljer:"};
        }
    }
    void refusedValueLeavesOldRows() {
        REQUIRE_SERVER();
        QFETCH(QString, driver);
        QFETCH(QString, broken);
        QFETCH(QStringList, named);
        REQUIRE_DRIVER(driver);
        QTemporaryDir dir;
        const auto [old, changed] = demoOnServer(dir, driver, broken);
        lodvik::NoProgress progress;
        try {
            extractload::loadServerStore(changed, m_server->settings(driver), progress);
            QFAIL("the load went through");
        } catch (const lodvik::Error &e) {
            for (const QString &part : named)
                QVERIFY2(e.message().contains(part), qPrintable(e.message()));
        }
        compareWithServer(old);
    }

    // sokdata.db (or any file without the extract tables) is no store to copy: refused, the
    // server's extracts left as they were.
    void importStoreRefusesTheSearchData() {
        REQUIRE_SERVER();
        QTemporaryDir dir;
        const auto [old, fresh] = demoOnServer(dir);
        const QString sokdata = dir.filePath(QStringLiteral("sokdata.db"));
        {
            dao::Database db = dao::Database::CreateDatabase(sokdata);
            db.Execute(
                QStringLiteral("CREATE TABLE ProduktSok (Soknamn TEXT, Produktnummer TEXT)"));
            db.Execute(QStringLiteral("INSERT INTO ProduktSok VALUES ('PALL', '10-1')"));
        }
        lodvik::NoProgress progress;
        try {
            extractload::loadServerStore(sokdata, m_server->settings(QStringLiteral("QPSQL")),
                                         progress);
            QFAIL("the search data went to the server");
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(QStringLiteral("ingen av extrakttabellerna (pjomr")),
                     qPrintable(e.message()));
        }
        QVERIFY(!query(QStringLiteral("SELECT 1 FROM pg_tables WHERE lower(tablename) = "
                                      "'produktsok' AND schemaname = current_schema()"))
                     .next());
        compareWithServer(old);
    }

    // A store damaged in the middle of a table: nothing of the load stays, and the message
    // says so before SQLite's own words.
    void damagedStoreLeavesOldRows() {
        REQUIRE_SERVER();
        QTemporaryDir dir;
        const auto [old, fresh] = demoOnServer(dir);
        int page = 0, pageSize = 0;
        {
            dao::Database db = dao::Database::OpenDatabase(fresh);
            dao::Recordset leaf = db.OpenRecordset(QStringLiteral(
                "SELECT pageno FROM dbstat WHERE name = 'pjsfakt' AND pagetype = 'leaf' "
                "ORDER BY pageno LIMIT 1 OFFSET 2"));
            QVERIFY(!leaf.isEOF());
            page = int(leaf.Fields(0).toDouble());
            pageSize =
                int(db.OpenRecordset(QStringLiteral("PRAGMA page_size")).Fields(0).toDouble());
        }
        QFile file(fresh);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(qint64(page - 1) * pageSize));
        file.write(QByteArray(pageSize, '\xff'));
        file.close();
        lodvik::NoProgress progress;
        try {
            extractload::loadServerStore(fresh, m_server->settings(QStringLiteral("QPSQL")),
                                         progress);
            QFAIL("the load went through");
        } catch (const lodvik::Error &e) {
            const QString message = e.message();
            QVERIFY2(message.startsWith(QStringLiteral("Tabellen pjsfakt i ")),
                     qPrintable(message));
            const qsizetype unchanged = message.indexOf(QStringLiteral("oförändrade"));
            QVERIFY2(unchanged > 0 && unchanged < message.indexOf(QStringLiteral("Detaljer:")),
                     qPrintable(message));
        }
        compareWithServer(old);
    }

    void cancelledLoadLeavesOldRows() {
        REQUIRE_SERVER();
        QTemporaryDir dir;
        const auto [old, changed] = demoOnServer(dir);
        lodvik::NoProgress progress;
        const SearchSourceSettings settings = m_server->settings(QStringLiteral("QPSQL"));
        CancelAfter cancel(5000);
        QVERIFY_THROWS_EXCEPTION(lodvik::Cancelled,
                                 extractload::loadServerStore(changed, settings, cancel));
        QCOMPARE_GE(cancel.done(), 5000);
        compareWithServer(old);
    }

    // A reader whose snapshot began before the load keeps its rows after the commit.
    void snapshotKeepsOldRows() {
        REQUIRE_SERVER();
        QTemporaryDir dir;
        const auto [old, changed] = demoOnServer(dir);
        lodvik::NoProgress progress;
        const SearchSourceSettings settings = m_server->settings(QStringLiteral("QPSQL"));
        const QString sum =
            QStringLiteral("SELECT count(*), sum(lipqoh ORDER BY lodvik_radnr)::text "
                           "FROM fpsaldo");
        QStringList before, during;
        {
            QSqlDatabase reader = m_server->connection(QStringLiteral("reader"));
            QSqlQuery q(reader);
            QVERIFY(q.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")));
            QVERIFY(q.exec(sum) && q.next());
            before = {q.value(0).toString(), q.value(1).toString()};
            extractload::loadServerStore(changed, settings, progress);
            QVERIFY(q.exec(sum) && q.next());
            during = {q.value(0).toString(), q.value(1).toString()};
            QVERIFY(q.exec(QStringLiteral("COMMIT")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        QCOMPARE(during, before);
        QSqlQuery after = query(sum);
        QVERIFY(after.next());
        QVERIFY(after.value(1).toString() != before.at(1));
        compareWithServer(changed);
    }

    // Two loads at once both go through, and the tables all come from one of them. (Waiting
    // and refusing: commandWaitsOrRefuses.)
    void twoLoadsNeverMix() {
        REQUIRE_SERVER();
        QTemporaryDir dir;
        const auto [old, changed] = demoOnServer(dir);
        const SearchSourceSettings settings = m_server->settings(QStringLiteral("QPSQL"));
        QString failures[2];
        const auto load = [&](const QString &store, QString &failure) {
            try {
                lodvik::NoProgress quiet;
                extractload::loadServerStore(store, settings, quiet);
            } catch (const lodvik::Error &e) {
                failure = e.message();
            }
        };
        std::thread a(load, old, std::ref(failures[0]));
        std::thread b(load, changed, std::ref(failures[1]));
        a.join();
        b.join();
        QCOMPARE(failures[0] + failures[1], QString());
        const QStringList oldRows = storeRows(old, QStringLiteral("pjomr"));
        QSqlQuery pjomr = query(QStringLiteral("SELECT lodvik_radnr, iblitm, imdsc1, umconv FROM "
                                               "pjomr ORDER BY lodvik_radnr"));
        compareWithServer(rowsOf(pjomr) == oldRows ? old : changed);
    }

    // The command: --no-wait refuses while another load holds the lock, without it the command
    // says that it waits and loads afterwards, and Ctrl+C while it waits leaves the tables.
    void commandWaitsOrRefuses() {
        REQUIRE_SERVER();
        QTemporaryDir home;
        const QString old = demoStore(home, QStringLiteral("old.mdb"));
        const QString changed = demoStore(home, QStringLiteral("new.mdb"), true);
        QFile ini(home.filePath(QStringLiteral("lodvikprodsok.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(m_server->iniText(QStringLiteral("QPSQL")).toUtf8());
        ini.close();
        ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        const ProgramRun first = runProgram(home.path(), {QStringLiteral("import-store"), old});
        QCOMPARE(first.exitCode, 0);
        QVERIFY2(first.out.startsWith(QLatin1String("DTSPL\t900\n")), qPrintable(first.out));

        QSqlQuery lock(m_server->connection(QStringLiteral("holder")));
        QVERIFY(lock.exec(QStringLiteral("BEGIN")));
        QVERIFY(
            lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(extractLoadLockKey)));
        const ProgramRun refused =
            runProgram(home.path(), {QStringLiteral("import-store"), changed, "--no-wait"});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("annan arbetsstation")),
                 qPrintable(refused.err));

        for (const bool interrupt : {true, false}) {
            QProcess waiting;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home.path());
            waiting.setProcessEnvironment(env);
            waiting.start(QStringLiteral(LODVIK_EXECUTABLE), {"import-store", changed});
            QString err;
            QTRY_VERIFY_WITH_TIMEOUT(
                (err += QString::fromUtf8(waiting.readAllStandardError())).contains("Väntar"),
                20000);
            if (interrupt) {
                ::kill(pid_t(waiting.processId()), SIGINT);
                QVERIFY(waiting.waitForFinished(20000));
                QCOMPARE(waiting.exitCode(), 128 + SIGINT);
                compareWithServer(old);
            } else {
                QVERIFY(lock.exec(QStringLiteral("COMMIT")));
                QVERIFY(waiting.waitForFinished(60000));
                QCOMPARE(waiting.exitCode(), 0);
                compareWithServer(changed);
            }
        }
        lock = QSqlQuery();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    }

    // The server's product key is the figures' one for every Latin-1 letter and a few beyond.
    void productKeyMatches() {
        if (!m_server)
            QSKIP(qPrintable(TestExtractServer::missing()));
        QString all;
        for (char16_t c = 0x20; c <= 0xFF; ++c)
            if (c < 0x7F || c >= 0xA0)
                all.append(QChar(c));
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("schema"), false));
        for (const QString &text :
             {all, QStringLiteral("ÅÄÖ-123×÷ß"), QStringLiteral("ŒœĀā Σσ"), QString()}) {
            q.prepare(QStringLiteral("SELECT lodvik_nyckel(?)"));
            q.addBindValue(text);
            QVERIFY2(q.exec() && q.next(), qPrintable(q.lastError().text()));
            QCOMPARE(q.value(0).toString(), QString::fromUtf8(dao::productKey(text)));
        }
        QVERIFY(query(QStringLiteral("SELECT lodvik_nyckel(NULL) IS NULL")).next());
    }

    // The workstation's login may load every table, and read ones may change only the dates.
    void grants() {
        if (!m_server)
            QSKIP(qPrintable(TestExtractServer::missing()));
        for (const catalogue::Table &table : catalogue::localTables()) {
            const QString name = table.name.toLower();
            const bool dates =
                name == QLatin1String("fpprognos") || name == QLatin1String("fporder");
            QSqlQuery q = query(
                QStringLiteral("SELECT has_table_privilege('lodvik_extrakt_laddare', '%1', "
                               "'SELECT, INSERT, DELETE, TRUNCATE'), "
                               "has_table_privilege('lodvik_extrakt_lasare', '%1', 'SELECT'), "
                               "has_table_privilege('lodvik_extrakt_lasare', '%1', 'UPDATE'), "
                               "has_table_privilege('lodvik_extrakt_lasare', '%1', 'DELETE'), "
                               "pg_has_role(current_user, 'lodvik_extrakt_laddare', 'MEMBER')")
                    .arg(name));
            QVERIFY(q.next());
            QVERIFY2(q.value(0).toBool() && q.value(1).toBool() && q.value(4).toBool(),
                     qPrintable(name));
            QCOMPARE(q.value(2).toBool(), dates);
            QVERIFY(!q.value(3).toBool());
        }
    }
};

QTEST_GUILESS_MAIN(TstExtractStore)
#include "tst_extractstore.moc"
