#include "MDlib/Error.h"
#include "data/DataControl.h"
#include "data/DemoData.h"
#include "data/SearchQueries.h"
#include "data/SearchSource.h"
#include "data/SwedishCollation.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using lodvik::Variant;

namespace {

struct Product {
    const char *name;
    const char *number;
};

// Names and numbers chosen so that every rule of the order matters: case, Å/Ä/Ö inside and
// after the prefix, trailing blanks, digits, the exact value, an apostrophe.
const Product products[] = {
    {"Ab", "12"},          {"Ab ", "120"},     {"abc", "1234"},   {"ABD", "12A"},
    {"Abö", "12Ö"},        {"Aböx", "12ö1"},   {"Ac", "13"},      {"Aa", "1"},
    {"Åkerimatta", "011"}, {"Ädelträ", "12 "}, {"Ölback", "ÖV1"}, {"Öl", "ÖV2"},
    {"Zink", "9"},         {"O'Hara", "O'1"},  {"Ohm", "O1"},     {"Ab-1", "12-1"},
};

QStringList numbersOf(DataControl &control) {
    QStringList result;
    for (int row = 0; row < control.recordCount(); ++row)
        result.append(control.field(row, QStringLiteral("Produktnummer")).toText());
    return result;
}

QStringList namesOf(DataControl &control) {
    QStringList result;
    for (int row = 0; row < control.recordCount(); ++row)
        result.append(control.field(row, QStringLiteral("soknamn")).toText());
    return result;
}

void insertProduct(SearchSource &source, const QString &name, const QString &number) {
    QSqlQuery q(source.database());
    QVERIFY(
        q.prepare(QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)")));
    q.addBindValue(name);
    q.addBindValue(number);
    QVERIFY(q.exec());
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<SearchSource> m_source;

    std::unique_ptr<SearchSource> freshSource(const QString &name) {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        return openSqliteSearchSource(path);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("sokdata.db"));
        m_source = openSqliteSearchSource(m_path);
        for (const Product &p : products)
            insertProduct(*m_source, QString::fromUtf8(p.name), QString::fromUtf8(p.number));
        QSqlQuery q(m_source->database());
        for (const char *place : {"A-01", "B-02", "Ö-01", "ÖÖÖÖÖÖÖÖÖÖ", "Zz"})
            QVERIFY(q.exec(
                QStringLiteral("INSERT INTO LagerA VALUES ('%1')").arg(QString::fromUtf8(place))));
    }

    void queryTexts_data() {
        QTest::addColumn<int>("kind"); // 0 name search, 1 product search, 2 reset
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("product 12") << 1 << "12"
                                    << "SELECT * from ProduktSok where produktnummer >='12 ' And "
                                       "produktnummer < '12ÖÖÖÖÖÖÖÖÖÖÖÖÖÖ' Order by produktnummer, "
                                       "soknamn";
        QTest::newRow("name Ab") << 0 << "Ab"
                                 << "SELECT * from ProduktSok where Soknamn >='Ab ' And soknamn < "
                                    "'AbÖÖÖÖÖÖÖÖÖÖÖÖÖÖ' Order by soknamn, produktnummer";
        QTest::newRow("name empty") << 0 << ""
                                    << "SELECT * from ProduktSok where Soknamn >=' ' And soknamn "
                                       "< 'ÖÖÖÖÖÖÖÖÖÖÖÖÖÖ' Order by soknamn, produktnummer";
        QTest::newRow("blanks kept") << 1 << " x "
                                     << "SELECT * from ProduktSok where produktnummer >=' x  ' And "
                                        "produktnummer < ' x ÖÖÖÖÖÖÖÖÖÖÖÖÖÖ' Order by "
                                        "produktnummer, soknamn";
        QTest::newRow("apostrophe doubled")
            << 0 << "O'H"
            << "SELECT * from ProduktSok where Soknamn >='O''H ' And soknamn < "
               "'O''HÖÖÖÖÖÖÖÖÖÖÖÖÖÖ' Order by soknamn, produktnummer";
        QTest::newRow("reset empty")
            << 2 << ""
            << "SELECT * from LagerA where lagerplats >='ÖÖÖÖÖÖÖÖÖÖÖ ' And "
               "lagerplats < 'ÖÖÖÖÖÖÖÖÖÖÖÖÖÖ'";
        QTest::newRow("reset Ab") << 2 << "Ab"
                                  << "SELECT * from LagerA where lagerplats >='ÖÖÖÖÖÖÖÖÖÖÖ ' And "
                                     "lagerplats < 'AbÖÖÖÖÖÖÖÖÖÖÖÖÖÖ'";
        QTest::newRow("reset apostrophe") << 2 << "'"
                                          << "SELECT * from LagerA where lagerplats >='ÖÖÖÖÖÖÖÖÖÖÖ "
                                             "' And lagerplats < '''ÖÖÖÖÖÖÖÖÖÖÖÖÖÖ'";
    }
    void queryTexts() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QString actual = kind == 2 ? resetQuery(text) : produktSokQuery(kind == 1, text);
        QCOMPARE(actual, expected);
    }

    void order_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("case alike") << "abc"
                                    << "ABC" << 0;
        QTest::newRow("trailing blanks") << "Ab  "
                                         << "Ab" << 0;
        QTest::newRow("leading blank counts") << " Ab"
                                              << "Ab" << -1;
        QTest::newRow("Ö after Z") << "Ö"
                                   << "Z" << 1;
        QTest::newRow("Ö after Ä") << "Ö"
                                   << "Ä" << 1;
        QTest::newRow("Ä after Å") << "Ä"
                                   << "Å" << 1;
        QTest::newRow("Å after Z") << "Å"
                                   << "Zzz" << 1;
        QTest::newRow("digits first") << "9"
                                      << "A" << -1;
        QTest::newRow("Ö after digit") << "Ö"
                                       << "9" << 1;
        QTest::newRow("upper bound") << "AbÖÖÖÖÖÖÖÖÖÖÖÖÖÖ"
                                     << "Abözzz" << 1;
    }
    void order() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        QCOMPARE(swedish::compare(a, b), sign);
        QCOMPARE(swedish::compare(b, a), -sign);
    }

    void prefixSearch_data() {
        QTest::addColumn<bool>("sokprodukt");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected"); // in the query's order
        QTest::newRow("name Ab") << false << "Ab"
                                 << QStringList{"Ab", "Ab ", "Ab-1", "abc", "ABD", "Abö", "Aböx"};
        QTest::newRow("name ab lower")
            << false << "ab" << QStringList{"Ab", "Ab ", "Ab-1", "abc", "ABD", "Abö", "Aböx"};
        QTest::newRow("name exact only") << false << "Aböx" << QStringList{"Aböx"};
        QTest::newRow("name Ö inside") << false << "Abö" << QStringList{"Abö", "Aböx"};
        QTest::newRow("name Å") << false << "Å" << QStringList{"Åkerimatta"};
        QTest::newRow("name Ä") << false << "ä" << QStringList{"Ädelträ"};
        QTest::newRow("name Ö") << false << "Ö" << QStringList{"Öl", "Ölback"};
        // A blank typed at the end is part of the prefix; a stored trailing blank is not counted.
        QTest::newRow("name trailing blank") << false << "Ab " << QStringList{"Ab", "Ab "};
        QTest::newRow("name apostrophe") << false << "O'" << QStringList{"O'Hara"};
        QTest::newRow("name none") << false << "Q" << QStringList{};
        QTest::newRow("name all") << false << ""
                                  << QStringList{"Aa",         "Ab",      "Ab ", "Ab-1",
                                                 "abc",        "ABD",     "Abö", "Aböx",
                                                 "Ac",         "O'Hara",  "Ohm", "Zink",
                                                 "Åkerimatta", "Ädelträ", "Öl",  "Ölback"};
    }
    void prefixSearch() {
        QFETCH(bool, sokprodukt);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        DataControl control;
        control.setSource(m_source.get());
        control.setRecordSource(produktSokQuery(sokprodukt, text));
        control.refresh();
        QStringList names = namesOf(control);
        // Rows that compare equal may come in either order; the order of the rest is fixed.
        if (names.size() == expected.size()) {
            for (int i = 0; i + 1 < names.size(); ++i)
                if (swedish::compare(names[i], names[i + 1]) == 0 && names[i] == expected[i + 1])
                    names.swapItemsAt(i, i + 1);
        }
        QCOMPARE(names, expected);
    }

    void productSearch_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("12") << "12" << QStringList{"12",   "12 ", "12-1", "120",
                                                   "1234", "12A", "12Ö",  "12ö1"};
        QTest::newRow("12 exact with blank") << "12 " << QStringList{"12", "12 "};
        QTest::newRow("123") << "123" << QStringList{"1234"};
        QTest::newRow("1 all digits") << "1" << QStringList{"1",    "12",  "12 ", "12-1", "120",
                                                            "1234", "12A", "12Ö", "12ö1", "13"};
        QTest::newRow("0") << "0" << QStringList{"011"};
        QTest::newRow("ö lower") << "öv" << QStringList{"ÖV1", "ÖV2"};
        QTest::newRow("O apostrophe") << "O'" << QStringList{"O'1"};
    }
    void productSearch() {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        DataControl control;
        control.setSource(m_source.get());
        control.setRecordSource(produktSokQuery(true, text));
        control.refresh();
        QStringList numbers = numbersOf(control);
        // "12" and "12 " are equal in the store's order; either may come first.
        const qsizetype a = numbers.indexOf(QStringLiteral("12")),
                        b = numbers.indexOf(QStringLiteral("12 "));
        if (a >= 0 && b >= 0 && b + 1 == a)
            numbers.swapItemsAt(a, b);
        QCOMPARE(numbers, expected);
    }

    void resetGivesNoRows_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("A") << "A";
        QTest::newRow("Ö") << "Ö";
    }
    void resetGivesNoRows() {
        QFETCH(QString, text);
        DataControl control;
        control.setSource(m_source.get());
        control.setRecordSource(resetQuery(text));
        control.refresh();
        QCOMPARE(control.recordCount(), 0);
        // The grid keeps its two columns and offers the new row.
        QCOMPARE(control.columnCount(), 2);
        QCOMPARE(control.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Soknamn"));
        QCOMPARE(control.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Produktnummer"));
        QCOMPARE(control.rowCount(QModelIndex()), 1);
        QCOMPARE(control.newRow(), 0);
    }

    void refusedQueryRaisesNamingTheTable() {
        DataControl control;
        control.setSource(m_source.get());
        control.setRecordSource(QStringLiteral("SELECT * from NoSuchTable"));
        try {
            control.refresh();
            QFAIL("a refused query must raise");
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(QStringLiteral("Tabellen NoSuchTable saknas")),
                     qPrintable(e.message()));
        }
        QCOMPARE(control.rowCount(QModelIndex()), 0);
        // The control stays usable.
        control.setRecordSource(produktSokQuery(true, QStringLiteral("13")));
        control.refresh();
        QCOMPARE(numbersOf(control), QStringList{QStringLiteral("13")});
    }

    void noSourceRaises() {
        DataControl control;
        control.setRecordSource(produktSokQuery(true, QString()));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, control.refresh());
    }

    void fieldsByNameAnyCase() {
        DataControl control;
        control.setSource(m_source.get());
        control.setRecordSource(produktSokQuery(true, QStringLiteral("13")));
        control.refresh();
        QCOMPARE(control.field(0, QStringLiteral("PRODUKTNUMMER")), Variant::String("13"));
        QCOMPARE(control.field(0, QStringLiteral("soknamn")), Variant::String("Ac"));
        QCOMPARE(control.fieldNames(), (QStringList{"Soknamn", "Produktnummer"}));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, control.field(0, QStringLiteral("rowid")));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, control.field(1, QStringLiteral("Soknamn")));
    }

    void deleteRemovesExactlyOneOfTwoIdentical() {
        auto source = freshSource(QStringLiteral("twins.db"));
        insertProduct(*source, QStringLiteral("Tvilling"), QStringLiteral("55"));
        insertProduct(*source, QStringLiteral("Tvilling"), QStringLiteral("55"));
        insertProduct(*source, QStringLiteral("Annan"), QStringLiteral("56"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QStringLiteral("55")));
        control.refresh();
        QCOMPARE(control.recordCount(), 2);
        control.deleteRow(1);
        QCOMPARE(control.recordCount(), 1);
        control.refresh();
        QCOMPARE(numbersOf(control), QStringList{QStringLiteral("55")});
        control.setRecordSource(produktSokQuery(true, QString()));
        control.refresh();
        QCOMPARE(numbersOf(control), (QStringList{"55", "56"}));
    }

    void deleteWithoutRowRaises() {
        auto source = freshSource(QStringLiteral("empty.db"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QString()));
        control.refresh();
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, control.deleteRow(0));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, control.deleteRow(-1));
    }

    void editStoredWhenRowIsLeft() {
        auto source = freshSource(QStringLiteral("edit.db"));
        insertProduct(*source, QStringLiteral("Tvilling"), QStringLiteral("55"));
        insertProduct(*source, QStringLiteral("Tvilling"), QStringLiteral("55"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QString()));
        control.refresh();
        QVERIFY(control.setData(control.index(0, 0), QStringLiteral("Ändrad")));
        QVERIFY(control.hasPendingEdit());
        QCOMPARE(control.data(control.index(0, 0)).toString(), QStringLiteral("Ändrad"));
        // Editing the next row leaves the first one, which is stored then.
        QVERIFY(control.setData(control.index(1, 1), QStringLiteral("57")));
        QCOMPARE(control.pendingRow(), 1);
        control.submitRow();
        QVERIFY(!control.hasPendingEdit());

        DataControl other;
        other.setSource(source.get());
        other.setRecordSource(produktSokQuery(false, QString()));
        other.refresh();
        QCOMPARE(namesOf(other), (QStringList{"Tvilling", "Ändrad"}));
        QCOMPARE(numbersOf(other), (QStringList{"57", "55"}));
    }

    void cellsHoldAtMostFiftyCharacters() {
        auto source = freshSource(QStringLiteral("long.db"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QString()));
        control.refresh();
        QVERIFY(control.setData(control.index(0, 0), QString(60, QLatin1Char('x'))));
        QVERIFY(control.setData(control.index(0, 1), QStringLiteral("77")));
        control.submitRow();
        control.refresh();
        QCOMPARE(control.field(0, QStringLiteral("Soknamn")).toText().size(), 50);
    }

    void newRowAddsProduct() {
        auto source = freshSource(QStringLiteral("new.db"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(QStringLiteral("select * from ProduktSok"));
        control.refresh();
        QCOMPARE(control.newRow(), 0);
        QVERIFY(control.setData(control.index(0, 0), QStringLiteral("Ny produkt")));
        QVERIFY(control.setData(control.index(0, 1), QStringLiteral("900")));
        control.submitRow();
        QCOMPARE(control.recordCount(), 1);
        QCOMPARE(control.newRow(), 1);
        // The stored row can be edited again at once: it knows its identity.
        QVERIFY(control.setData(control.index(0, 1), QStringLiteral("901")));
        control.submitRow();
        control.refresh();
        QCOMPARE(numbersOf(control), QStringList{QStringLiteral("901")});
        // An untouched new row stores nothing.
        control.submitRow();
        QCOMPARE(control.recordCount(), 1);
    }

    void newRowAfterResetGoesToProduktSok() {
        auto source = freshSource(QStringLiteral("newreset.db"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(resetQuery(QString()));
        control.refresh();
        QVERIFY(control.flags(control.index(0, 0)) & Qt::ItemIsEditable);
        QVERIFY(control.setData(control.index(0, 0), QStringLiteral("Efter nollställning")));
        control.submitRow();
        control.setRecordSource(produktSokQuery(false, QStringLiteral("Efter")));
        control.refresh();
        QCOMPARE(namesOf(control), QStringList{QStringLiteral("Efter nollställning")});
    }

    void escapeDropsPendingEdit() {
        auto source = freshSource(QStringLiteral("escape.db"));
        insertProduct(*source, QStringLiteral("Kvar"), QStringLiteral("1"));
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QString()));
        control.refresh();
        QVERIFY(control.setData(control.index(0, 0), QStringLiteral("Bort")));
        control.revert();
        control.refresh();
        QCOMPARE(namesOf(control), QStringList{QStringLiteral("Kvar")});
    }

    void conflictingEditRefused() {
        auto source = freshSource(QStringLiteral("conflict.db"));
        insertProduct(*source, QStringLiteral("Original"), QStringLiteral("10"));
        auto second = openSqliteSearchSource(m_dir.filePath(QStringLiteral("conflict.db")));
        DataControl mine, theirs;
        mine.setSource(source.get());
        theirs.setSource(second.get());
        for (DataControl *c : {&mine, &theirs}) {
            c->setRecordSource(produktSokQuery(true, QString()));
            c->refresh();
        }
        QVERIFY(theirs.setData(theirs.index(0, 0), QStringLiteral("Deras")));
        theirs.submitRow();

        QVERIFY(mine.setData(mine.index(0, 0), QStringLiteral("Min")));
        QVERIFY_THROWS_EXCEPTION(ConflictError, mine.submitRow());
        // The row now shows what the store holds, and the other edit is not overwritten.
        QCOMPARE(mine.data(mine.index(0, 0)).toString(), QStringLiteral("Deras"));
        theirs.refresh();
        QCOMPARE(namesOf(theirs), QStringList{QStringLiteral("Deras")});

        // A change of case alone is a change too.
        QVERIFY(theirs.setData(theirs.index(0, 0), QStringLiteral("DERAS")));
        theirs.submitRow();
        QVERIFY_THROWS_EXCEPTION(ConflictError, mine.deleteRow(0));
        QCOMPARE(mine.recordCount(), 1);

        // Removed meanwhile: the row goes from the grid, nothing is written.
        theirs.deleteRow(0);
        QVERIFY(mine.setData(mine.index(0, 1), QStringLiteral("11")));
        QVERIFY_THROWS_EXCEPTION(ConflictError, mine.submitRow());
        QCOMPARE(mine.recordCount(), 0);
        theirs.refresh();
        QCOMPARE(theirs.recordCount(), 0);
    }

    void gridSubmitSignalsFailure() {
        auto source = freshSource(QStringLiteral("signal.db"));
        insertProduct(*source, QStringLiteral("A"), QStringLiteral("1"));
        DataControl mine, theirs;
        mine.setSource(source.get());
        theirs.setSource(source.get());
        for (DataControl *c : {&mine, &theirs}) {
            c->setRecordSource(produktSokQuery(true, QString()));
            c->refresh();
        }
        theirs.deleteRow(0);
        QSignalSpy spy(&mine, &DataControl::errorOccurred);
        QVERIFY(mine.setData(mine.index(0, 0), QStringLiteral("B")));
        QVERIFY(!mine.submit());
        QCOMPARE(spy.count(), 1);
    }

    void lazyFetching() {
        auto source = freshSource(QStringLiteral("many.db"));
        source->database().transaction();
        QSqlQuery q(source->database());
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO ProduktSok VALUES (?, ?)")));
        for (int i = 0; i < 1000; ++i) {
            q.addBindValue(QStringLiteral("Namn %1").arg(i, 4, 10, QLatin1Char('0')));
            q.addBindValue(QString::number(10000 + i));
            QVERIFY(q.exec());
        }
        source->database().commit();
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(true, QString()));
        control.refresh();
        const int firstScreen = control.rowCount(QModelIndex());
        QVERIFY(firstScreen > 0 && firstScreen < 1000);
        QVERIFY(control.canFetchMore(QModelIndex()));
        QCOMPARE(control.newRow(), -1);
        control.fetchMore(QModelIndex());
        QVERIFY(control.rowCount(QModelIndex()) > firstScreen);
        // The rows of the query: all of them, and then the grid offers the new row.
        QCOMPARE(control.recordCount(), 1000);
        QVERIFY(!control.canFetchMore(QModelIndex()));
        QCOMPARE(control.rowCount(QModelIndex()), 1001);
        QCOMPARE(control.field(999, QStringLiteral("Produktnummer")), Variant::String("10999"));
    }

    void settingsFile_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("port");
        QTest::newRow("none") << QString() << "QSQLITE"
                              << "HOME/sokdata.db"
                              << "" << 0;
        QTest::newRow("relative sqlite") << "[sokdata]\ndriver=qsqlite\ndatabase=annan.db\n"
                                         << "QSQLITE"
                                         << "HOME/annan.db"
                                         << "" << 0;
        QTest::newRow("postgres")
            << "[sokdata]\ndriver=QPSQL\ndatabase=lager\nhost=db1\nport=5433\nuser=u\n"
               "password=a,b\n"
            << "QPSQL"
            << "lager"
            << "a,b" << 5433;
    }
    void settingsFile() {
        QFETCH(QString, ini);
        QFETCH(QString, driver);
        QFETCH(QString, database);
        QFETCH(QString, password);
        QFETCH(int, port);
        QTemporaryDir home;
        if (!ini.isNull()) {
            QFile file(home.filePath(QStringLiteral("lodvikprodsok.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini.toUtf8());
        }
        const SearchSourceSettings s = readSearchSourceSettings(home.path());
        QCOMPARE(s.driver, driver);
        QCOMPARE(s.database, QString(database).replace(QStringLiteral("HOME"), home.path()));
        QCOMPARE(s.password, password);
        QCOMPARE(s.port, port);
    }

    void unreachableSourcesRaise_data() {
        QTest::addColumn<QString>("ini");
        QTest::newRow("unknown driver") << "[sokdata]\ndriver=QMYSQL\n";
        QTest::newRow("missing folder") << "[sokdata]\ndatabase=/nonexistent/dir/x.db\n";
        QTest::newRow("bad port") << "[sokdata]\ndriver=QPSQL\nport=abc\n";
    }
    void unreachableSourcesRaise() {
        QFETCH(QString, ini);
        QTemporaryDir home;
        QFile file(home.filePath(QStringLiteral("lodvikprodsok.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini.toUtf8());
        file.close();
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, openSearchSource(home.path()));
    }

    void notADatabaseRaises() {
        const QString path = m_dir.filePath(QStringLiteral("text.db"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, openSqliteSearchSource(path));
    }

    void demoData() {
        const QString path = m_dir.filePath(QStringLiteral("demo.db"));
        fillDemoSearchData(path);
        auto source = openSqliteSearchSource(path);
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(produktSokQuery(false, QString()));
        control.refresh();
        QVERIFY(control.recordCount() >= 200);
        const int products = control.recordCount();
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, fillDemoSearchData(path));
        control.refresh();
        QCOMPARE(control.recordCount(), products);
        control.setRecordSource(produktSokQuery(false, QStringLiteral("pallk")));
        control.refresh();
        QVERIFY(control.recordCount() > 1);
        for (int row = 0; row < control.recordCount(); ++row)
            QVERIFY(control.field(row, QStringLiteral("Soknamn"))
                        .toText()
                        .startsWith(QStringLiteral("Pallkrage")));
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
