#include "MDlib/Error.h"
#include "TestServer.h"
#include "data/PostgresSearchSource.h"
#include "data/SearchQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

namespace {

const QList<QStringList> kProducts = {
    {"Ärter", "12"},   {"apelsin", "12"},    {"Banan", "12-3"}, {"Öl", "123"},
    {"Zebra", "1299"}, {"äpple röd", "12A"}, {"vin", "12ö"},    {"mjöl", "13"},
    {"Ost", "1"},      {"ÖÖÖ-prod", "ÖÖÖ"},  {"zz", "ab12"},
};

} // namespace

class TestServerSource : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void prefixSearch_data();
    void prefixSearch();
    void resetQueryGivesNoRows_data();
    void resetQueryGivesNoRows();
    void fromStoreTrimsPadding_data();
    void fromStoreTrimsPadding();
    void rowIdentityMissesChangedRow_data();
    void rowIdentityMissesChangedRow();
    void unreachableSourceRaises_data();
    void unreachableSourceRaises();
    void odbcCatalogueChoosesDatabase();

private:
    std::unique_ptr<TestServer> m_server;
};

void TestServerSource::initTestCase() {
    if (!TestServer::missing().isEmpty())
        QSKIP(qPrintable(TestServer::missing()));
    m_server = std::make_unique<TestServer>();
}

void TestServerSource::prefixSearch_data() {
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("byProduct");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows"); // "Soknamn|Produktnummer", in the order shown
    for (const QString &driver : {QStringLiteral("QPSQL"), QStringLiteral("QODBC")}) {
        auto row = [&](const char *name) {
            return std::ref(QTest::addRow("%s %s", qPrintable(driver), name) << driver);
        };
        row("product 12") << true << "12"
                          << QStringList{"apelsin|12", "Ärter|12",      "Banan|12-3", "Öl|123",
                                         "Zebra|1299", "äpple röd|12A", "vin|12ö"};
        row("product 1, exact value first")
            << true << "1"
            << QStringList{"Ost|1",      "apelsin|12",    "Ärter|12", "Banan|12-3", "Öl|123",
                           "Zebra|1299", "äpple röd|12A", "vin|12ö",  "mjöl|13"};
        row("product lower case") << true << "12a" << QStringList{"äpple röd|12A"};
        row("product ending in Ö") << true << "12Ö" << QStringList{"vin|12ö"};
        row("product trailing blank typed")
            << true << "12 " << QStringList{"apelsin|12", "Ärter|12"};
        row("product none") << true << "14" << QStringList{};
        row("name ä, Swedish order") << false << "ä" << QStringList{"äpple röd|12A", "Ärter|12"};
        row("name Ö after Ä") << false << "ö" << QStringList{"Öl|123", "ÖÖÖ-prod|ÖÖÖ"};
        row("name Z not Ä") << false << "z" << QStringList{"Zebra|1299", "zz|ab12"};
        row("name empty: all rows")
            << false << ""
            << QStringList{"apelsin|12", "Banan|12-3", "mjöl|13",     "Ost|1",
                           "vin|12ö",    "Zebra|1299", "zz|ab12",     "äpple röd|12A",
                           "Ärter|12",   "Öl|123",     "ÖÖÖ-prod|ÖÖÖ"};
    }
}

void TestServerSource::prefixSearch() {
    QFETCH(QString, driver);
    QFETCH(bool, byProduct);
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    m_server->fill(kProducts);
    auto source = m_server->open(driver);
    QSqlQuery query(source->database());
    QVERIFY2(query.exec(produktSokQuery(byProduct, text)), qPrintable(query.lastError().text()));
    QStringList got;
    while (query.next())
        got.append(
            source->fromStore(query.record().value(QStringLiteral("Soknamn"))).toString() + '|' +
            source->fromStore(query.record().value(QStringLiteral("Produktnummer"))).toString());
    QCOMPARE(got, rows);
}

void TestServerSource::resetQueryGivesNoRows_data() {
    QTest::addColumn<QString>("driver");
    QTest::newRow("QPSQL") << "QPSQL";
    QTest::newRow("QODBC") << "QODBC";
}

void TestServerSource::resetQueryGivesNoRows() {
    QFETCH(QString, driver);
    m_server->fill(kProducts);
    m_server->execute(QStringLiteral("INSERT INTO LagerA (lagerplats) VALUES ('A1'), ('ÖÖ')"));
    auto source = m_server->open(driver);
    QSqlQuery query(source->database());
    QVERIFY2(query.exec(resetQuery(QString())), qPrintable(query.lastError().text()));
    QVERIFY(!query.next());
    QVERIFY(query.record().indexOf(QStringLiteral("Lagerplats")) >= 0);
}

void TestServerSource::fromStoreTrimsPadding_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("shown");
    QTest::newRow("padded") << QVariant(QStringLiteral("abc   "))
                            << QVariant(QStringLiteral("abc"));
    QTest::newRow("leading and inner blanks kept")
        << QVariant(QStringLiteral("  a b  ")) << QVariant(QStringLiteral("  a b"));
    QTest::newRow("only blanks") << QVariant(QStringLiteral("   ")) << QVariant(QString());
    QTest::newRow("number untouched") << QVariant(12) << QVariant(12);
    QTest::newRow("null untouched") << QVariant() << QVariant();
}

void TestServerSource::fromStoreTrimsPadding() {
    QFETCH(QVariant, stored);
    QFETCH(QVariant, shown);
    auto source = m_server->open(QStringLiteral("QPSQL"));
    QCOMPARE(source->fromStore(stored), shown);
}

void TestServerSource::rowIdentityMissesChangedRow_data() {
    resetQueryGivesNoRows_data();
}

// Another workstation's UPDATE moves the row: the identity read before no longer finds it, so an
// edit or delete made from the old rows touches nothing.
void TestServerSource::rowIdentityMissesChangedRow() {
    QFETCH(QString, driver);
    m_server->fill({{"Kaffe", "K1"}, {"Te", "T1"}});
    auto mine = m_server->open(driver);
    auto theirs = m_server->open(driver);
    const QString id = mine->rowIdentity();

    QSqlQuery read(mine->database());
    QVERIFY(read.exec(
        QStringLiteral("SELECT %1, * FROM ProduktSok WHERE produktnummer = 'K1'").arg(id)));
    QVERIFY(read.next());
    const QString seen = read.value(0).toString();
    QVERIFY(!seen.isEmpty());

    QSqlQuery change(theirs->database());
    QVERIFY(change.exec(
        QStringLiteral("UPDATE ProduktSok SET Soknamn = 'Kaffe mörk' WHERE produktnummer = 'K1'")));

    QSqlQuery stale(mine->database());
    QVERIFY(stale.exec(QStringLiteral("DELETE FROM ProduktSok WHERE %1 = '%2'").arg(id, seen)));
    QCOMPARE(stale.numRowsAffected(), 0);

    QSqlQuery fresh(mine->database());
    QVERIFY(
        fresh.exec(QStringLiteral("SELECT %1 FROM ProduktSok WHERE produktnummer = 'T1'").arg(id)));
    QVERIFY(fresh.next());
    QSqlQuery remove(mine->database());
    QVERIFY(remove.exec(QStringLiteral("DELETE FROM ProduktSok WHERE %1 = '%2'")
                            .arg(id, fresh.value(0).toString())));
    QCOMPARE(remove.numRowsAffected(), 1);
}

void TestServerSource::unreachableSourceRaises_data() {
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("QPSQL wrong password") << "QPSQL"
                                          << "password"
                                          << "fel";
    QTest::newRow("QPSQL no such database") << "QPSQL"
                                            << "database"
                                            << "finnsinte";
    QTest::newRow("QPSQL closed port") << "QPSQL"
                                       << "port"
                                       << "1";
    QTest::newRow("QODBC wrong password") << "QODBC"
                                          << "password"
                                          << "fel";
    QTest::newRow("QODBC unknown data source") << "QODBC"
                                               << "dsn"
                                               << "finnsinte";
    QTest::newRow("QODBC no data source named") << "QODBC"
                                                << "dsn"
                                                << "";
    QTest::newRow("QODBC unknown catalogue") << "QODBC"
                                             << "catalog"
                                             << "finnsinte";
    QTest::newRow("unknown driver") << "QMYSQL"
                                    << "driver"
                                    << "QMYSQL";
}

void TestServerSource::unreachableSourceRaises() {
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

void TestServerSource::odbcCatalogueChoosesDatabase() {
    SearchSourceSettings s = TestServer::settings(QStringLiteral("QODBC"));
    s.catalog = QStringLiteral("postgres");
    auto source = openServerSearchSource(s);
    QSqlQuery query(source->database());
    QVERIFY(query.exec(QStringLiteral("SELECT current_database()")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("postgres"));
}

QTEST_GUILESS_MAIN(TestServerSource)
#include "tst_serversource.moc"
