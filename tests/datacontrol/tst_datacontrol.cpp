#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/RunProgram.h"
#include "../common/ShowQuery.h"
#include "MDlib/Error.h"
#include "TestServer.h"
#include "search/SearchQueries.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

// The search store, one test body for every store: the embedded SQLite file and the server
// through both drivers (skipped when no test server is running). The window's data control
// reads, edits, adds and deletes, and never overwrites what another workstation wrote; the
// server gives the rows the embedded store gives; the program itself finds the server through
// lodvikprodsok.ini.

namespace {

const QList<QStringList> kProducts = {
    {"Ärter", "12"},         {"apelsin", "12"},      {"Banan", "12-3"},
    {"Öl", "123"},           {"Zebra", "1299"},      {"äpple röd", "12A"},
    {"vin", "12ö"},          {"mjöl", "13"},         {"Ost", "1"},
    {"ÖÖÖ-prod", "ÖÖÖ"},     {"zz", "ab12"},         {"O'Hara kaffe", "OH1"},
    {" blank först", "B 1"}, {"back\\slash", "1\\"}, {"Kaffe", "K1"},
    {"Kakor", "K2"},         {"kanel", "K3"},
};

// kProducts without the rows of the products named, and with the rows given, sorted.
QStringList productsWith(const QStringList &without, QStringList with) {
    for (const QStringList &p : kProducts)
        if (!without.contains(p.at(1)))
            with.append(p.join('|'));
    std::sort(with.begin(), with.end());
    return with;
}

QString rowText(DataControl &control, int row) {
    return control.field(row, QStringLiteral("Soknamn")).toText() + '|' +
           control.field(row, QStringLiteral("Produktnummer")).toText();
}

// Every row of the control, read to the end.
QStringList shown(DataControl &control) {
    QStringList rows;
    for (int row = 0; row < control.recordCount(); ++row)
        rows.append(rowText(control, row));
    return rows;
}

QStringList listed(SearchSource *source, const QString &query) {
    DataControl control;
    show(control, source, query);
    return shown(control);
}

int rowOf(DataControl &control, const QString &product) {
    for (int row = 0; row < control.recordCount(); ++row)
        if (control.field(row, QStringLiteral("Produktnummer")).toText() == product)
            return row;
    return -1;
}

} // namespace

class TestDataControl : public QObject {
    Q_OBJECT

    std::unique_ptr<TestStore> m_store;
    // The program reads the database's own tables (the public schema .ci/services.d/server.sh
    // prepared): its rows carry product numbers of their own, beginning with Q9.
    const QString m_public = QStringLiteral("public-schema");

    // The store of the case filled with products, or false when it is a server not there.
    bool openStore(const QString &kind, const QList<QStringList> &products = kProducts) {
        if (!TestStore::available(kind))
            return false;
        m_store = std::make_unique<TestStore>(kind);
        m_store->fill(products);
        return true;
    }

    bool onPublic(const QString &sql) {
        QSqlQuery query(QSqlDatabase::database(m_public, false));
        if (!query.exec(sql))
            qWarning("%s", qPrintable(query.lastError().text()));
        return query.isActive();
    }

    // Runs the program with these arguments in eight processes at once; what those that failed
    // said.
    static QString atOnce(const QString &home, const QStringList &args) {
        std::vector<std::unique_ptr<QProcess>> programs;
        for (int i = 0; i < 8; ++i)
            programs.push_back(startProgram(home, args));
        QString failed;
        for (const auto &program : programs)
            if (!program->waitForFinished(120000) || program->exitCode() != 0)
                failed += QStringLiteral("exit %1: %2\n")
                              .arg(program->exitCode())
                              .arg(QString::fromUtf8(program->readAllStandardError()));
        return failed;
    }

private slots:
    void initTestCase() {
        if (!TestServer::missing().isEmpty())
            return;
        TestServer::connection(m_public);
        cleanupTestCase();
        QVERIFY(onPublic(
            QStringLiteral("INSERT INTO public.ProduktSok VALUES ('Ärter', 'Q91'), "
                           "('apelsin', 'q91'), ('Öl', 'Q92'), ('zz', 'Q9a'), ('x', 'Q8')")));
    }
    void cleanupTestCase() {
        if (QSqlDatabase::contains(m_public))
            onPublic(QStringLiteral("DELETE FROM public.ProduktSok WHERE Produktnummer >= 'Q8' "
                                    "AND Produktnummer < 'Q9ÖÖÖ'"));
    }
    void cleanup() { m_store.reset(); }

    void editAddDelete_data() { TestStore::addKinds(); }
    void editAddDelete() {
        QFETCH(QString, store);
        if (!openStore(store))
            QSKIP(qPrintable(TestServer::missing()));
        auto source = m_store->open();
        DataControl control;
        show(control, source.get(), produktSokQuery(true, QStringLiteral("K")));
        QCOMPARE(shown(control), (QStringList{"Kaffe|K1", "Kakor|K2", "kanel|K3"}));

        // An edit, stored when the row is left, and a second edit of the same row: where the
        // first write moved the row's identity, the control must still know it.
        QVERIFY(control.setData(control.index(1, 0), QStringLiteral("Kakor stora")));
        QVERIFY(control.hasPendingEdit());
        QVERIFY(control.setData(control.index(2, 1), QStringLiteral("K3")));
        QVERIFY(!control.hasPendingEdit());
        QVERIFY(control.setData(control.index(1, 0), QStringLiteral("Kakor små")));
        control.submitRow();
        // A new product, then a change to it before any refresh; an untouched new row stores
        // nothing.
        const int fresh = control.newRow();
        QVERIFY(control.setData(control.index(fresh, 0), QStringLiteral("Kardemumma")));
        QVERIFY(control.setData(control.index(fresh, 1), QStringLiteral("K4")));
        control.submitRow();
        QVERIFY(control.setData(control.index(fresh, 0), QStringLiteral("Kardemumma hel")));
        control.submitRow();
        control.submitRow();
        control.deleteRow(rowOf(control, QStringLiteral("K1")));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, control.deleteRow(-1));

        control.refresh();
        QCOMPARE(shown(control), (QStringList{"Kakor små|K2", "kanel|K3", "Kardemumma hel|K4"}));
        QCOMPARE(m_store->contents(), productsWith({"K1", "K2", "K3"}, {"Kakor små|K2", "kanel|K3",
                                                                        "Kardemumma hel|K4"}));
    }

    // Rows alike in every column: the row identity tells them apart. More rows than the first
    // screen reads: an edit and a delete before the rest is read are stored for good, not taken
    // along by a server cursor's own transaction.
    void writeTakesOnlyTheRowSeen_data() { TestStore::addKinds(); }
    void writeTakesOnlyTheRowSeen() {
        QFETCH(QString, store);
        QList<QStringList> rows{{"Dubblett", "D0"}, {"Dubblett", "D0"}, {"dubblett", "D0"}};
        for (int i = 0; i < 400; ++i)
            rows.append({QStringLiteral("Vara %1").arg(i, 3, 10, QLatin1Char('0')),
                         QStringLiteral("D%1").arg(i, 3, 10, QLatin1Char('0'))});
        if (!openStore(store, rows))
            QSKIP(qPrintable(TestServer::missing()));
        QStringList expected;
        for (const QStringList &row : rows)
            expected.append(row.join('|'));
        {
            auto source = m_store->open();
            DataControl control;
            show(control, source.get(), produktSokQuery(true, QStringLiteral("D")));
            QVERIFY(control.canFetchMore(QModelIndex()));
            QVERIFY(expected.removeOne(rowText(control, 0)));
            QVERIFY(expected.removeOne(rowText(control, 1)));
            QVERIFY(control.setData(control.index(0, 0), QStringLiteral("Ändrad")));
            control.submitRow();
            control.deleteRow(1);
            QCOMPARE(control.recordCount(), 402);
        }
        expected.append(QStringLiteral("Ändrad|D0"));
        std::sort(expected.begin(), expected.end());
        QCOMPARE(m_store->contents(), expected);
    }

    // Two workstations read the same rows; the second one's write of a row the first changed
    // (a change of case alone counts) or removed is refused and nothing is overwritten.
    void secondWriterIsRefused_data() {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("first");  // what the first workstation does to K2
        QTest::addColumn<QString>("second"); // then the second, from the rows it read before
        for (const char *store : {"SQLite", "QPSQL", "QODBC"})
            for (const char *first : {"edit", "case", "delete"})
                for (const char *second : {"edit", "delete"})
                    QTest::addRow("%s %s then %s", store, first, second)
                        << store << first << second;
    }
    void secondWriterIsRefused() {
        QFETCH(QString, store);
        QFETCH(QString, first);
        QFETCH(QString, second);
        if (!openStore(store))
            QSKIP(qPrintable(TestServer::missing()));
        auto sourceA = m_store->open();
        auto sourceB = m_store->open();
        DataControl a, b;
        show(a, sourceA.get(), produktSokQuery(true, QStringLiteral("K")));
        show(b, sourceB.get(), produktSokQuery(true, QStringLiteral("K")));
        const auto act = [](DataControl &control, const QString &what, const QString &name) {
            const int row = rowOf(control, QStringLiteral("K2"));
            if (what == QLatin1String("delete")) {
                control.deleteRow(row);
            } else {
                QVERIFY(control.setData(control.index(row, 0), name));
                control.submitRow();
            }
        };
        const QString firstName = first == QLatin1String("case") ? QStringLiteral("KAKOR")
                                                                 : QStringLiteral("Kakor från A");
        act(a, first, firstName);
        QVERIFY_THROWS_EXCEPTION(ConflictError, act(b, second, QStringLiteral("Kakor från B")));

        const bool kept = first != QLatin1String("delete");
        QCOMPARE(m_store->contents(),
                 productsWith({"K2"}, kept ? QStringList{firstName + "|K2"} : QStringList()));
        // The second workstation's grid no longer shows the row as it read it; where the row
        // keeps its identity (the embedded store) it shows what the store holds now.
        const QStringList rows = shown(b);
        QVERIFY(!rows.contains(QStringLiteral("Kakor|K2")));
        if (store == QLatin1String("SQLite") && kept && second == QLatin1String("edit"))
            QVERIFY(rows.contains(firstName + QStringLiteral("|K2")));
    }

    void sameRowsAsEmbedded_data() {
        QTest::addColumn<QString>("store");
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
        for (const char *store : {"QPSQL", "QODBC"})
            for (const auto &[byProduct, text, conforming] : searches)
                QTest::addRow("%s %s '%s'%s", store, byProduct ? "product" : "name",
                              qPrintable(text), conforming ? "" : " non-conforming")
                    << store << byProduct << text << conforming;
    }
    // The server gives the rows the embedded store gives, in the same (Swedish) order, whatever
    // its standard_conforming_strings, and runs no part of a search text as SQL; the reset lists
    // nothing on either.
    void sameRowsAsEmbedded() {
        QFETCH(QString, store);
        QFETCH(bool, byProduct);
        QFETCH(QString, text);
        QFETCH(bool, conforming);
        if (!openStore(store))
            QSKIP(qPrintable(TestServer::missing()));
        m_store->execute(QStringLiteral("INSERT INTO LagerA (lagerplats) VALUES ('A1'), ('ÖÖ')"));
        m_store->execute(QStringLiteral("CREATE TABLE canary (x int)"));
        const TestStore embedded(QStringLiteral("SQLite"));
        embedded.fill(kProducts);
        auto source = m_store->open();
        auto local = embedded.open();
        QVERIFY(QSqlQuery(source->database())
                    .exec(QStringLiteral("SET standard_conforming_strings = ") +
                          (conforming ? "on" : "off")));
        const QString query = produktSokQuery(byProduct, text);
        QCOMPARE(listed(source.get(), query), listed(local.get(), query));
        QCOMPARE(listed(source.get(), resetQuery(text)), QStringList());
        QVERIFY_THROWS_NO_EXCEPTION(m_store->execute(QStringLiteral("SELECT * FROM canary")));
    }

    // A server that cannot be reached raises, and leaves no connection behind. (A wrong password
    // and a closed port, with their messages: tst_store's connectionFaults.)
    void unreachableSourceRaises_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        addRow("QPSQL no such database", "QPSQL", "database", "finnsinte");
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
        const std::pair<const char *, QString *> fields[] = {{"password", &s.password},
                                                             {"database", &s.database},
                                                             {"dsn", &s.dsn},
                                                             {"catalog", &s.catalog}};
        for (const auto &[name, setting] : fields)
            if (field == QLatin1String(name))
                *setting = value;
        const qsizetype connections = QSqlDatabase::connectionNames().size();
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, openServerSearchSource(s));
        QCOMPARE(QSqlDatabase::connectionNames().size(), connections);
    }

    // The program with lodvikprodsok.ini naming the server: the search command lists its rows;
    // the planning rules and marks live there beside ProduktSok, and their writers take turns:
    // loads, and marks of one product, started at once all succeed; the embedded store is never
    // made beside it. (A login the server refuses: tst_store's connectionFaults; the search
    // through ODBC: sameRowsAsEmbedded; --clear: tst_coveragejob.)
    void commandsOnTheServer() {
        if (!QSqlDatabase::contains(m_public))
            QSKIP(qPrintable(TestServer::missing()));
        QTemporaryDir home;
        QVERIFY(writeFile(home.filePath("lodvikprodsok.ini"),
                          TestServer::iniText("sokdata", TestServer::settings("QPSQL")).toUtf8()));
        ProgramRun program = runProgram(home.path(), {"search", "--produkt", "q9"});
        QVERIFY2(program.exitCode == 0, qPrintable(program.err));
        QCOMPARE(program.out, QStringLiteral("apelsin\tq91\nÄrter\tQ91\nÖl\tQ92\nzz\tQ9a\n"));
        QByteArray rules("Q9R1;1,5;;2;6;;Öst AB;\n");
        for (int i = 0; i < 2000; ++i) // long enough for the loads to meet
            rules += QStringLiteral("Q9X%1;1;;;;;;\n").arg(i).toUtf8();
        QVERIFY(writeFile(home.filePath("regler.csv"), rules));
        QString failed = atOnce(home.path(), {"rules", "--load", home.filePath("regler.csv")});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // Every row went in once; the saved file below shows the first one's values.
        QSqlQuery query(QSqlDatabase::database(m_public, false));
        QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM public.planning_rule")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 2001);
        failed = atOnce(home.path(), {"mark", "--period", "2010-11-18", "Q9R1", "--discontinued"});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(query.exec(QStringLiteral("SELECT mark FROM public.planning_mark WHERE product = "
                                          "'Q9R1' AND period = '2010-11-18'")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("discontinued"));
        program = runProgram(home.path(), {"rules", "--save", home.filePath("ut.csv")});
        QVERIFY2(program.exitCode == 0, qPrintable(program.err));
        QVERIFY(readFile(home.filePath(QStringLiteral("ut.csv")))
                    .contains("\r\nQ9R1;1,5;0;2;6;0;Öst AB;\r\n"));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("sokdata.db"))));
        QVERIFY(onPublic(QStringLiteral("DELETE FROM public.planning_rule")));
    }
};

QTEST_GUILESS_MAIN(TestDataControl)
#include "tst_datacontrol.moc"
