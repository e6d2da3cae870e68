#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/Refusal.h"
#include "../common/ShowQuery.h"
#include "MDlib/Error.h"
#include "demo/DemoData.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"
#include "search/SwedishCollation.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

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

QStringList columnOf(DataControl &control, const QString &name) {
    QStringList result;
    for (int row = 0; row < control.recordCount(); ++row)
        result.append(control.field(row, name).toText());
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

    void order_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        addRow("case alike", "abc", "ABC", 0);
        addRow("trailing blanks", "Ab  ", "Ab", 0);
        addRow("leading blank counts", " Ab", "Ab", -1);
        addRow("Ö after Ä", "Ö", "Ä", 1);
        addRow("Ä after Å", "Ä", "Å", 1);
        addRow("Å after Z", "Å", "Zzz", 1);
        addRow("digits first", "9", "A", -1);
        addRow("Ö after digit", "Ö", "9", 1);
        addRow("upper bound", "AbÖÖÖÖÖÖÖÖÖÖÖÖÖÖ", "Abözzz", 1);
    }
    void order() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        QCOMPARE(swedish::compare(a, b), sign);
        QCOMPARE(swedish::compare(b, a), -sign);
    }

    // By name or by product number (sokprodukt), in the query's order.
    void prefixSearch_data() {
        QTest::addColumn<bool>("sokprodukt");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected"); // names, or numbers for sokprodukt
        addRow("name Ab", false, "Ab",
               QStringList{"Ab", "Ab ", "Ab-1", "abc", "ABD", "Abö", "Aböx"});
        addRow("name ab lower", false, "ab",
               QStringList{"Ab", "Ab ", "Ab-1", "abc", "ABD", "Abö", "Aböx"});
        addRow("name exact only", false, "Aböx", QStringList{"Aböx"});
        addRow("name Ö inside", false, "Abö", QStringList{"Abö", "Aböx"});
        addRow("name Ä", false, "ä", QStringList{"Ädelträ"});
        addRow("name Ö", false, "Ö", QStringList{"Öl", "Ölback"});
        // A blank typed at the end is part of the prefix; a stored trailing blank is not counted.
        addRow("name trailing blank", false, "Ab ", QStringList{"Ab", "Ab "});
        addRow("name apostrophe", false, "O'", QStringList{"O'Hara"});
        addRow("name none", false, "Q", QStringList{});
        addRow("name all", false, "",
               QStringList{"Aa", "Ab", "Ab ", "Ab-1", "abc", "ABD", "Abö", "Aböx", "Ac", "O'Hara",
                           "Ohm", "Zink", "Åkerimatta", "Ädelträ", "Öl", "Ölback"});
        addRow("product 12", true, "12",
               QStringList{"12", "12 ", "12-1", "120", "1234", "12A", "12Ö", "12ö1"});
        addRow("product 12 exact with blank", true, "12 ", QStringList{"12", "12 "});
        addRow("product 123", true, "123", QStringList{"1234"});
        addRow("product 1 all digits", true, "1",
               QStringList{"1", "12", "12 ", "12-1", "120", "1234", "12A", "12Ö", "12ö1", "13"});
        addRow("product 0", true, "0", QStringList{"011"});
        addRow("product ö lower", true, "öv", QStringList{"ÖV1", "ÖV2"});
    }
    void prefixSearch() {
        QFETCH(bool, sokprodukt);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        DataControl control;
        show(control, m_source.get(), produktSokQuery(sokprodukt, text));
        QStringList got = columnOf(control, sokprodukt ? QStringLiteral("Produktnummer")
                                                       : QStringLiteral("Soknamn"));
        // Rows that compare equal ("12" and "12 ") may come in either order; the rest may not.
        for (int i = 0; i + 1 < got.size() && got.size() == expected.size(); ++i)
            if (swedish::compare(got[i], got[i + 1]) == 0 && got[i] == expected[i + 1])
                got.swapItemsAt(i, i + 1);
        QCOMPARE(got, expected);
    }

    void resetGivesNoRows_data() {
        QTest::addColumn<QString>("text");
        addRow("empty", "");
        addRow("Ö", "Ö");
    }
    void resetGivesNoRows() {
        QFETCH(QString, text);
        DataControl control;
        show(control, m_source.get(), resetQuery(text));
        QCOMPARE(control.recordCount(), 0);
        // The grid offers the new row.
        QCOMPARE(control.rowCount(QModelIndex()), 1);
        QCOMPARE(control.newRow(), 0);
    }

    void refusedQueryRaisesNamingTheTable() {
        DataControl control;
        const QString said = refusal(
            [&] { show(control, m_source.get(), QStringLiteral("SELECT * from NoSuchTable")); });
        QVERIFY2(said.contains(QStringLiteral("Tabellen NoSuchTable saknas")), qPrintable(said));
        QCOMPARE(control.rowCount(QModelIndex()), 0);
        // The control stays usable.
        show(control, m_source.get(), produktSokQuery(true, QStringLiteral("13")));
        QCOMPARE(columnOf(control, QStringLiteral("Produktnummer")), QStringList{"13"});
    }

    // The new row offered on an empty search, and after a reset, goes to ProduktSok; a name is
    // kept to 50 characters.
    void newRowGoesToProduktSok() {
        auto source = freshSource(QStringLiteral("newrow.db"));
        DataControl control;
        for (const QString &query : {produktSokQuery(true, QString()), resetQuery(QString())}) {
            show(control, source.get(), query);
            const int row = control.newRow();
            QVERIFY(control.flags(control.index(row, 0)) & Qt::ItemIsEditable);
            QVERIFY(control.setData(control.index(row, 0), QString(60, QLatin1Char('x'))));
            QVERIFY(control.setData(control.index(row, 1), QStringLiteral("77")));
            control.submitRow();
        }
        show(control, source.get(), produktSokQuery(false, QStringLiteral("x")));
        QCOMPARE(columnOf(control, QStringLiteral("Soknamn")),
                 QStringList(2, QString(50, QLatin1Char('x'))));
    }

    void gridSubmitSignalsFailure() {
        auto source = freshSource(QStringLiteral("signal.db"));
        insertProduct(*source, QStringLiteral("A"), QStringLiteral("1"));
        DataControl mine, theirs;
        for (DataControl *c : {&mine, &theirs})
            show(*c, source.get(), produktSokQuery(true, QString()));
        theirs.deleteRow(0);
        QSignalSpy spy(&mine, &DataControl::errorOccurred);
        QVERIFY(mine.setData(mine.index(0, 0), QStringLiteral("B")));
        QVERIFY(!mine.submit());
        QCOMPARE(spy.count(), 1);
    }

    void lazyFetching() {
        auto source = freshSource(QStringLiteral("many.db"));
        QVERIFY(QSqlQuery(source->database())
                    .exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 "
                                         "FROM n WHERE i < 999) INSERT INTO ProduktSok SELECT "
                                         "'Namn ' || i, CAST(10000 + i AS TEXT) FROM n")));
        DataControl control;
        show(control, source.get(), produktSokQuery(true, QString()));
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

    // The settings file read: the search data's driver, database, password and port. One the
    // program cannot use, or search data it cannot use, says why; a pipe is never opened (it
    // would wait for a writer for ever) nor taken for a disk error.
    void settingsFile_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // "pipe", "folder" or what the file holds
        QTest::addColumn<QString>("says");       // "driver|database|password|port", or refused
        const QString ini = QStringLiteral("lodvikprodsok.ini"), db = QStringLiteral("sokdata.db");
        addRow("none", ini, QByteArray(), "QSQLITE|HOME/sokdata.db||0");
        addRow("relative sqlite", ini, QByteArray("[sokdata]\ndriver=qsqlite\ndatabase=annan.db\n"),
               "QSQLITE|HOME/annan.db||0");
        addRow("postgres", ini,
               QByteArray("[sokdata]\ndriver=QPSQL\ndatabase=lager\nhost=db1\nport=5433\nuser=u\n"
                          "password=a,b\n"),
               "QPSQL|lager|a,b|5433");
        addRow("unknown driver", ini, QByteArray("[sokdata]\ndriver=QMYSQL\n"),
               "Okänd drivrutin \"QMYSQL\"");
        addRow("missing folder", ini, QByteArray("[sokdata]\ndatabase=/nonexistent/dir/x.db\n"),
               "/nonexistent/dir/x.db kan inte öppnas");
        addRow("bad port", ini, QByteArray("[sokdata]\ndriver=QPSQL\nport=abc\n"),
               "Ogiltig port \"abc\"");
        addRow("port out of range", ini, QByteArray("[sokdata]\ndriver=QPSQL\nport=70000\n"),
               "Ogiltig port \"70000\"");
        addRow("settings: pipe", ini, QByteArray("pipe"), "ingen vanlig fil");
        addRow("no ini", ini, QByteArray("[sokdata]\ndriver=QSQLITE\n\xff\xfe\n[extrakt"),
               "nyckel=värde");
        addRow("search data: pipe", db, QByteArray("pipe"), "ingen vanlig fil");
        addRow("search data: folder", db, QByteArray("folder"), "ingen vanlig fil");
    }
    void settingsFile() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, says);
        QTemporaryDir home;
        const QString path = home.filePath(file);
        if (content == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (content == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (!content.isNull())
            QVERIFY(writeFile(path, content));
        const QStringList read = says.split(QLatin1Char('|'));
        if (read.size() == 4) {
            const SearchSourceSettings s = readSearchSourceSettings(home.path());
            QCOMPARE(QStringList({s.driver, s.database, s.password, QString::number(s.port)}),
                     QStringList(read).replaceInStrings(QStringLiteral("HOME"), home.path()));
            return;
        }
        const QString said = refusal([&] { openSearchSource(home.path()); });
        QVERIFY2(said.contains(says), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
