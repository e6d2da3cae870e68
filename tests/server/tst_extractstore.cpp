#include "MDlib/Error.h"
#include "TestExtractServer.h"
#include "data/ExtractStore.h"
#include "data/ProductKey.h"
#include "data/TableCatalogue.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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

    QSqlQuery query(const QString &sql) const {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("schema"), false));
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q;
    }

private slots:
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
