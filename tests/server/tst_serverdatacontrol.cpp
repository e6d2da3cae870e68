#include "MDlib/Error.h"
#include "TestServer.h"
#include "data/DataControl.h"
#include "data/SearchQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

// The window's data control on the server: the same rows as on the embedded store, and edits,
// new rows and deletes that never overwrite what another workstation wrote.

namespace {

const QList<QStringList> kProducts = {
    {"Ärter", "12"},   {"apelsin", "12"},    {"Banan", "12-3"}, {"Öl", "123"},
    {"Zebra", "1299"}, {"äpple röd", "12A"}, {"vin", "12ö"},    {"mjöl", "13"},
    {"Ost", "1"},      {"ÖÖÖ-prod", "ÖÖÖ"},  {"zz", "ab12"},    {"O'Hara kaffe", "OH1"},
    {"Kaffe", "K1"},   {"Kakor", "K2"},      {"kanel", "K3"},   {" blank först", "B 1"},
};

QStringList shown(DataControl &control) {
    QStringList rows;
    for (int row = 0; row < control.recordCount(); ++row)
        rows.append(control.field(row, QStringLiteral("Soknamn")).toText() + '|' +
                    control.field(row, QStringLiteral("Produktnummer")).toText());
    return rows;
}

int rowOf(DataControl &control, const QString &product) {
    for (int row = 0; row < control.recordCount(); ++row)
        if (control.field(row, QStringLiteral("Produktnummer")).toText() == product)
            return row;
    return -1;
}

QStringList sorted(QStringList rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

class TestServerDataControl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameRowsAsEmbedded_data();
    void sameRowsAsEmbedded();
    void editAddDelete_data();
    void editAddDelete();
    void deleteTakesOnlyTheRowSeen_data();
    void deleteTakesOnlyTheRowSeen();
    void secondWriterIsRefused_data();
    void secondWriterIsRefused();
    void writeWhileRowsRemain_data();
    void writeWhileRowsRemain();

private:
    void drivers();
    std::unique_ptr<TestServer> m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<SearchSource> m_embedded;
};

void TestServerDataControl::initTestCase() {
    if (!TestServer::missing().isEmpty())
        QSKIP(qPrintable(TestServer::missing()));
    m_server = std::make_unique<TestServer>();
    m_embedded = openSqliteSearchSource(m_dir.filePath(QStringLiteral("sokdata.db")));
    QSqlQuery insert(m_embedded->database());
    insert.prepare(QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)"));
    for (const QStringList &p : kProducts) {
        insert.addBindValue(p.at(0));
        insert.addBindValue(p.at(1));
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }
}

void TestServerDataControl::drivers() {
    QTest::addColumn<QString>("driver");
    QTest::newRow("QPSQL") << "QPSQL";
    QTest::newRow("QODBC") << "QODBC";
}

void TestServerDataControl::sameRowsAsEmbedded_data() {
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("byProduct");
    QTest::addColumn<QString>("text");
    const QList<std::pair<bool, QString>> searches = {
        {true, "12"},   {true, "1"}, {true, "12a"}, {true, "12 "}, {true, "12Ö"},
        {true, ""},     {true, "k"}, {true, "B "},  {false, "ä"},  {false, "Ö"},
        {false, "O'H"}, {false, ""}, {false, "K"},  {false, " "},  {false, "x"},
    };
    for (const QString &driver : {QStringLiteral("QPSQL"), QStringLiteral("QODBC")})
        for (const auto &[byProduct, text] : searches)
            QTest::addRow("%s %s '%s'", qPrintable(driver), byProduct ? "product" : "name",
                          qPrintable(text))
                << driver << byProduct << text;
}

void TestServerDataControl::sameRowsAsEmbedded() {
    QFETCH(QString, driver);
    QFETCH(bool, byProduct);
    QFETCH(QString, text);
    m_server->fill(kProducts);
    auto source = m_server->open(driver);

    DataControl server;
    server.setSource(source.get());
    server.setRecordSource(produktSokQuery(byProduct, text));
    server.refresh();
    DataControl embedded;
    embedded.setSource(m_embedded.get());
    embedded.setRecordSource(produktSokQuery(byProduct, text));
    embedded.refresh();

    QCOMPARE(shown(server), shown(embedded));
    // The reset lists nothing on either store.
    server.setRecordSource(resetQuery(text));
    server.refresh();
    QCOMPARE(server.recordCount(), 0);
}

void TestServerDataControl::editAddDelete_data() {
    drivers();
}

void TestServerDataControl::editAddDelete() {
    QFETCH(QString, driver);
    m_server->fill(kProducts);
    auto source = m_server->open(driver);
    DataControl control;
    control.setSource(source.get());
    control.setRecordSource(produktSokQuery(true, QStringLiteral("K")));
    control.refresh();
    QCOMPARE(shown(control), (QStringList{"Kaffe|K1", "Kakor|K2", "kanel|K3"}));

    // an edit, stored when the row is left, and a second edit of the same row: the first write
    // moved the row on the server, and the control must still know it
    QVERIFY(control.setData(control.index(1, 0), QStringLiteral("Kakor stora")));
    control.submitRow();
    QVERIFY(control.setData(control.index(1, 0), QStringLiteral("Kakor små")));
    control.submitRow();
    // a new product, then a change to it before any refresh
    const int fresh = control.newRow();
    QVERIFY(control.setData(control.index(fresh, 0), QStringLiteral("Kardemumma")));
    QVERIFY(control.setData(control.index(fresh, 1), QStringLiteral("K4")));
    control.submitRow();
    QVERIFY(control.setData(control.index(fresh, 0), QStringLiteral("Kardemumma hel")));
    control.submitRow();
    // a delete
    control.deleteRow(rowOf(control, QStringLiteral("K1")));

    control.refresh();
    QCOMPARE(shown(control), (QStringList{"Kakor små|K2", "kanel|K3", "Kardemumma hel|K4"}));
    QStringList expected;
    for (const QStringList &p : kProducts)
        if (!p.at(1).startsWith('K'))
            expected.append(p.join('|'));
    expected << "Kakor små|K2"
             << "kanel|K3"
             << "Kardemumma hel|K4";
    QCOMPARE(m_server->contents(), sorted(expected));
}

void TestServerDataControl::deleteTakesOnlyTheRowSeen_data() {
    drivers();
}

// Two rows alike in every column: the row identity tells them apart.
void TestServerDataControl::deleteTakesOnlyTheRowSeen() {
    QFETCH(QString, driver);
    m_server->fill({{"Dubblett", "D1"}, {"Dubblett", "D1"}, {"dubblett", "D1"}, {"Annan", "D2"}});
    auto source = m_server->open(driver);
    DataControl control;
    control.setSource(source.get());
    control.setRecordSource(produktSokQuery(true, QStringLiteral("D1")));
    control.refresh();
    QCOMPARE(control.recordCount(), 3);
    const QString removed = control.field(0, QStringLiteral("Soknamn")).toText();
    control.deleteRow(0);
    QCOMPARE(control.recordCount(), 2);

    QStringList expected{"Dubblett|D1", "Dubblett|D1", "dubblett|D1", "Annan|D2"};
    expected.removeOne(removed + QStringLiteral("|D1"));
    QCOMPARE(m_server->contents(), sorted(expected));
}

void TestServerDataControl::secondWriterIsRefused_data() {
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("first");  // what the first workstation does to K2
    QTest::addColumn<QString>("second"); // then the second, from the rows it read before
    for (const QString &driver : {QStringLiteral("QPSQL"), QStringLiteral("QODBC")})
        for (const char *first : {"edit", "delete"})
            for (const char *second : {"edit", "delete"})
                QTest::addRow("%s %s then %s", qPrintable(driver), first, second)
                    << driver << first << second;
}

void TestServerDataControl::secondWriterIsRefused() {
    QFETCH(QString, driver);
    QFETCH(QString, first);
    QFETCH(QString, second);
    m_server->fill(kProducts);
    auto sourceA = m_server->open(driver);
    auto sourceB = m_server->open(driver);
    DataControl a;
    DataControl b;
    a.setSource(sourceA.get());
    b.setSource(sourceB.get());
    for (DataControl *control : {&a, &b}) {
        control->setRecordSource(produktSokQuery(true, QStringLiteral("K")));
        control->refresh();
    }

    auto act = [](DataControl &control, const QString &what, const QString &name) {
        const int row = rowOf(control, QStringLiteral("K2"));
        if (what == QLatin1String("delete")) {
            control.deleteRow(row);
        } else {
            QVERIFY(control.setData(control.index(row, 0), name));
            control.submitRow();
        }
    };
    act(a, first, QStringLiteral("Kakor från A"));
    bool refused = false;
    try {
        act(b, second, QStringLiteral("Kakor från B"));
    } catch (const ConflictError &) {
        refused = true;
    }
    QVERIFY2(refused, "the second writer was not told the row had changed");

    QStringList expected;
    for (const QStringList &p : kProducts)
        if (p.at(1) != QLatin1String("K2"))
            expected.append(p.join('|'));
    if (first == QLatin1String("edit"))
        expected.append(QStringLiteral("Kakor från A|K2"));
    QCOMPARE(m_server->contents(), sorted(expected));
    // the second workstation's grid no longer shows the row as it was
    QVERIFY(!shown(b).contains(QStringLiteral("Kakor|K2")));
}

void TestServerDataControl::writeWhileRowsRemain_data() {
    drivers();
}

// More rows than the first screen reads: an edit and a delete before the rest is read must be
// stored for good, not taken along by the unread result's own transaction.
void TestServerDataControl::writeWhileRowsRemain() {
    QFETCH(QString, driver);
    QList<QStringList> many;
    for (int i = 0; i < 400; ++i)
        many.append({QStringLiteral("Vara %1").arg(i, 4, 10, QLatin1Char('0')),
                     QStringLiteral("V%1").arg(i, 4, 10, QLatin1Char('0'))});
    m_server->fill(many);
    {
        auto source = m_server->open(driver);
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QStringLiteral("V")));
        control.refresh();
        QVERIFY(control.setData(control.index(0, 0), QStringLiteral("Ändrad")));
        control.submitRow();
        control.deleteRow(1);
        QCOMPARE(control.recordCount(), 399);
    }
    QStringList expected;
    for (int i = 2; i < 400; ++i)
        expected.append(many.at(i).join('|'));
    expected << QStringLiteral("Ändrad|V0000");
    QCOMPARE(m_server->contents(), sorted(expected));
}

QTEST_GUILESS_MAIN(TestServerDataControl)
#include "tst_serverdatacontrol.moc"
