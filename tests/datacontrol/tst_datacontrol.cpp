#include "../common/DataRows.h"
#include "MDlib/Error.h"
#include "TestServer.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

// The window's data control, one test body for every store: the embedded SQLite file and the
// server through both drivers (skipped when no test server is running). Edits, new rows and
// deletes reach the store, and never overwrite what another workstation wrote.

namespace {

const QList<QStringList> kProducts = {
    {"Ärter", "12"}, {"apelsin", "12"}, {"Öl", "123"},   {"O'Hara kaffe", "OH1"},
    {"Kaffe", "K1"}, {"Kakor", "K2"},   {"kanel", "K3"}, {" blank först", "B 1"},
};

// kProducts without the rows of the products named, and with the rows given, sorted.
QStringList productsWith(const QStringList &without, QStringList with) {
    for (const QStringList &p : kProducts)
        if (!without.contains(p.at(1)))
            with.append(p.join('|'));
    std::sort(with.begin(), with.end());
    return with;
}

// One kind of store, filled afresh for each case.
class Store : public TestStore {
public:
    using TestStore::TestStore;

    void fill(const QList<QStringList> &products) {
        auto source = open();
        QSqlQuery insert(source->database());
        QVERIFY(insert.exec(QStringLiteral("DELETE FROM ProduktSok")));
        insert.prepare(
            QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)"));
        for (const QStringList &p : products) {
            insert.addBindValue(p.at(0));
            insert.addBindValue(p.at(1));
            QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
        }
    }

    // Every row as "Soknamn|Produktnummer", the server's padding removed, sorted.
    QStringList contents() const {
        auto source = open();
        QSqlQuery q(QStringLiteral("SELECT rtrim(Soknamn) || '|' || rtrim(Produktnummer) FROM "
                                   "ProduktSok"),
                    source->database());
        QStringList rows;
        while (q.next())
            rows.append(q.value(0).toString());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

// A control over the source showing the products whose number begins with prefix.
void show(DataControl &control, SearchSource *source, const QString &prefix) {
    control.setSource(source);
    control.setRecordSource(produktSokQuery(true, prefix));
    control.refresh();
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

int rowOf(DataControl &control, const QString &product) {
    for (int row = 0; row < control.recordCount(); ++row)
        if (control.field(row, QStringLiteral("Produktnummer")).toText() == product)
            return row;
    return -1;
}

} // namespace

class TestDataControl : public QObject {
    Q_OBJECT

    std::unique_ptr<Store> m_store;

    void stores() {
        QTest::addColumn<QString>("store");
        for (const char *store : {"SQLite", "QPSQL", "QODBC"})
            addRow(store, store);
    }

    // The store of the case, or false when it is a server that is not there.
    bool openStore(const QString &kind, const QList<QStringList> &products) {
        if (kind != QLatin1String("SQLite") && !TestServer::missing().isEmpty())
            return false;
        m_store = std::make_unique<Store>(kind);
        m_store->fill(products);
        return true;
    }

private slots:
    void cleanup() { m_store.reset(); }

    void editAddDelete_data() { stores(); }
    void editAddDelete() {
        QFETCH(QString, store);
        if (!openStore(store, kProducts))
            QSKIP(qPrintable(TestServer::missing()));
        auto source = m_store->open();
        DataControl control;
        show(control, source.get(), QStringLiteral("K"));
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
    void writeTakesOnlyTheRowSeen_data() { stores(); }
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
            show(control, source.get(), QStringLiteral("D"));
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
        if (!openStore(store, kProducts))
            QSKIP(qPrintable(TestServer::missing()));
        auto sourceA = m_store->open();
        auto sourceB = m_store->open();
        DataControl a, b;
        show(a, sourceA.get(), QStringLiteral("K"));
        show(b, sourceB.get(), QStringLiteral("K"));
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
};

QTEST_GUILESS_MAIN(TestDataControl)
#include "tst_datacontrol.moc"
