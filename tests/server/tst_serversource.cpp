#include "../common/DataRows.h"
#include "MDlib/Error.h"
#include "TestServer.h"
#include "search/DataControl.h"
#include "search/PostgresSearchSource.h"
#include "search/SearchQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QList<QStringList> kProducts = {
    {"Ärter", "12"},         {"apelsin", "12"},      {"Banan", "12-3"},
    {"Öl", "123"},           {"Zebra", "1299"},      {"äpple röd", "12A"},
    {"vin", "12ö"},          {"mjöl", "13"},         {"Ost", "1"},
    {"ÖÖÖ-prod", "ÖÖÖ"},     {"zz", "ab12"},         {"O'Hara kaffe", "OH1"},
    {" blank först", "B 1"}, {"back\\slash", "1\\"},
};

} // namespace

class TestServerSource : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!TestServer::missing().isEmpty())
            QSKIP(qPrintable(TestServer::missing()));
        m_server = std::make_unique<TestServer>();
    }

    void sameRowsAsEmbedded_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("byProduct");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("conforming"); // the server's standard_conforming_strings
        const QList<std::tuple<bool, QString, bool>> searches = {
            {true, "12", true},    {true, "1", true},
            {true, "12a", true},   {true, "12 ", true},
            {true, "12Ö", true},   {true, "", true},
            {false, "ä", true},    {false, "Ö", true},
            {false, "O'H", true},  {false, "", true},
            {false, "z", true},    {false, " ", true},
            {true, "1\\", true},   {true, "1\\", false},
            {false, "O'H", false}, {true, "\\'; DROP TABLE canary; --", false},
        };
        for (const char *driver : {"QPSQL", "QODBC"})
            for (const auto &[byProduct, text, conforming] : searches)
                QTest::addRow("%s %s '%s'%s", driver, byProduct ? "product" : "name",
                              qPrintable(text), conforming ? "" : " non-conforming")
                    << driver << byProduct << text << conforming;
    }

    // The server gives the rows the embedded store gives, in the same (Swedish) order, whatever
    // its standard_conforming_strings, and runs no part of a search text as SQL; the reset lists
    // nothing on either.
    void sameRowsAsEmbedded() {
        QFETCH(QString, driver);
        QFETCH(bool, byProduct);
        QFETCH(QString, text);
        QFETCH(bool, conforming);
        m_server->fill(kProducts);
        m_server->execute(QStringLiteral("INSERT INTO LagerA (lagerplats) VALUES ('A1'), ('ÖÖ')"));
        m_server->execute(QStringLiteral("CREATE TABLE IF NOT EXISTS canary (x int)"));
        auto source = m_server->open(driver);
        QVERIFY(QSqlQuery(source->database())
                    .exec(QStringLiteral("SET standard_conforming_strings = ") +
                          (conforming ? "on" : "off")));
        QTemporaryDir dir;
        auto embeddedSource = openSqliteSearchSource(dir.filePath(QStringLiteral("sokdata.db")));
        QSqlQuery insert(embeddedSource->database());
        insert.prepare(
            QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)"));
        for (const QStringList &p : kProducts) {
            insert.addBindValue(p.at(0));
            insert.addBindValue(p.at(1));
            QVERIFY(insert.exec());
        }
        const auto rows = [&](SearchSource *from, const QString &sql) {
            DataControl control;
            control.setSource(from);
            control.setRecordSource(sql);
            control.refresh();
            QStringList shown;
            for (int row = 0; row < control.recordCount(); ++row)
                shown.append(control.field(row, QStringLiteral("Soknamn")).toText() + '|' +
                             control.field(row, QStringLiteral("Produktnummer")).toText());
            return shown;
        };
        const QString query = produktSokQuery(byProduct, text);
        QCOMPARE(rows(source.get(), query), rows(embeddedSource.get(), query));
        QCOMPARE(rows(source.get(), resetQuery(text)), QStringList());
        QVERIFY_THROWS_NO_EXCEPTION(m_server->execute(QStringLiteral("SELECT * FROM canary")));
    }

    void fromStoreTrimsPadding_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("shown");
        addRow("padded", QVariant(QStringLiteral("abc   ")), QVariant(QStringLiteral("abc")));
        addRow("leading and inner blanks kept", QVariant(QStringLiteral("  a b  ")),
               QVariant(QStringLiteral("  a b")));
        addRow("only blanks", QVariant(QStringLiteral("   ")), QVariant(QString()));
        addRow("number untouched", QVariant(12), QVariant(12));
        addRow("null untouched", QVariant(), QVariant());
    }

    void fromStoreTrimsPadding() {
        QFETCH(QVariant, stored);
        QFETCH(QVariant, shown);
        auto source = m_server->open(QStringLiteral("QPSQL"));
        QCOMPARE(source->fromStore(stored), shown);
    }

    void unreachableSourceRaises_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        addRow("QPSQL wrong password", "QPSQL", "password", "fel");
        addRow("QPSQL no such database", "QPSQL", "database", "finnsinte");
        addRow("QPSQL closed port", "QPSQL", "port", "1");
        addRow("QODBC wrong password", "QODBC", "password", "fel");
        addRow("QODBC unknown data source", "QODBC", "dsn", "finnsinte");
        addRow("QODBC no data source named", "QODBC", "dsn", "");
        addRow("QODBC unknown catalogue", "QODBC", "catalog", "finnsinte");
        addRow("unknown driver", "QMYSQL", "driver", "QMYSQL");
    }

    void unreachableSourceRaises() {
        QFETCH(QString, driver);
        QFETCH(QString, field);
        QFETCH(QString, value);
        SearchSourceSettings s = TestServer::settings(driver);
        if (field == QLatin1String("password"))
            s.password = value;
        else if (field == QLatin1String("database"))
            s.database = value;
        else if (field == QLatin1String("port"))
            s.port = value.toInt();
        else if (field == QLatin1String("dsn"))
            s.dsn = value;
        else if (field == QLatin1String("catalog"))
            s.catalog = value;
        const qsizetype connections = QSqlDatabase::connectionNames().size();
        QString message;
        try {
            openServerSearchSource(s);
        } catch (const lodvik::Error &e) {
            message = e.message();
        }
        QVERIFY2(!message.isEmpty(), "no error raised");
        // the failed connection is not left behind
        QCOMPARE(QSqlDatabase::connectionNames().size(), connections);
    }

    void odbcCatalogueChoosesDatabase() {
        SearchSourceSettings s = TestServer::settings(QStringLiteral("QODBC"));
        s.catalog = QStringLiteral("postgres");
        auto source = openServerSearchSource(s);
        QSqlQuery query(source->database());
        QVERIFY(query.exec(QStringLiteral("SELECT current_database()")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("postgres"));
    }

private:
    std::unique_ptr<TestServer> m_server;
};

QTEST_GUILESS_MAIN(TestServerSource)
#include "tst_serversource.moc"
