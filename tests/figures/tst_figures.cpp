#include "../common/DataRows.h"
#include "../common/LocalStoreFixture.h"
#include "../common/Refusal.h"
#include "../common/ServerStore.h"

#include "MDlib/Error.h"
#include "figures/Period.h"
#include "figures/StockFigures.h"
#include "reports/Reports.h"

#include <QtTest>

#include <functional>
#include <memory>

using lodvik::Variant;
using namespace testvalues;

namespace {

// Rows to put into the store before a case: table name, then the values of one row.
struct Row {
    QString table;
    std::vector<Variant> values;
};
using Rows = QList<Row>;

// A value with its type, so that a comparison tells Null from 0 and Integer from Double.
QString typed(const Variant &v) {
    static const char *const names[] = {"Empty",  "Null", "Integer", "Long",
                                        "Double", "Date", "String",  "Boolean"};
    const QString name = QLatin1String(names[int(v.type())]);
    if (v.type() == Variant::Type::String)
        return QStringLiteral("%1 \"%2\"").arg(name, v.text());
    return v.type() == Variant::Type::Empty || v.isNull() ? name : name + ' ' + v.toText();
}

Row pjomr(const QString &product, const Variant &umconv) {
    return {QStringLiteral("pjomr"), {S(product), S(QStringLiteral("PALL ") + product), umconv}};
}

// A statement to run on the store instead of a row.
Row sql(const QString &statement) {
    return {QString(), {S(statement)}};
}

// Rows of (product, quantity) as SQL values: "('10-1', 5), ('10-2', NULL)".
Row values(const char *table, const char *rows) {
    return sql(QStringLiteral("INSERT INTO %1 VALUES %2")
                   .arg(QLatin1String(table), QString::fromUtf8(rows)));
}

// A frnhist row with the values 10, 20, … 120 in IHSQ01 … IHSQ12 (positions 2 to 13).
Row history(const QString &product) {
    std::vector<Variant> values{S(QStringLiteral("2010")), S(product)};
    for (int m = 1; m <= 12; ++m)
        values.push_back(L(10 * m));
    return {QStringLiteral("frnhist"), values};
}

} // namespace

Q_DECLARE_METATYPE(Rows)

class FiguresTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalStoreFixture> store;
    std::unique_ptr<ServerStore> server;

    // Runs the case again on the server store holding the same rows, through each driver, and
    // compares what it gives with what SQLite gave.
    void onServer(const QString &sqlite, const std::function<QString()> &run) {
        if (!server)
            return;
        const QString unfit = server->load(store->localDatabase());
        if (!unfit.isEmpty()) {
            qInfo("not on the server store: %s", qPrintable(unfit));
            return;
        }
        for (const QString &driver : ServerStore::drivers()) {
            server->configure(store->path(), driver);
            const QString got = run();
            QFile::remove(store->file(QStringLiteral("lodvikprodsok.ini")));
            QVERIFY2(got == sqlite,
                     qPrintable(QStringLiteral("%1: %2\nSQLite: %3").arg(driver, got, sqlite)));
        }
    }

    // The figure's value, or the message it failed with.
    QString outcome(const QString &call) {
        QString gave;
        const QString refused =
            refusal([&] { gave = QStringLiteral("gave ") + typed(figure(call)); });
        return refused.isEmpty() ? gave : refused;
    }

    // A figure called as "name|product|period|umfaktor", the parts left out empty or 0.
    Variant figure(const QString &call) {
        const QStringList part = call.split(QLatin1Char('|'));
        const figures::NamedFigure *named = figures::findNamedFigure(part[0]);
        if (!named)
            throw std::invalid_argument(call.toStdString());
        lodvik::NoProgress quiet;
        figures::StockFigures stock(store->localDatabase(), quiet);
        return named->run(stock, {part.value(1), figures::Period::fromTextIfGiven(part.value(2)),
                                  std::strtod(part.value(3).toLatin1().constData(), nullptr)});
    }

    void fill(const Rows &rows) {
        for (const Row &r : rows)
            r.table.isEmpty() ? store->execute(r.values.at(0).text())
                              : store->insert(r.table, r.values);
    }

    void figureColumns() {
        QTest::addColumn<QString>("call"); // figure|product|period|umfaktor
        QTest::addColumn<Rows>("rows");
    }

private slots:
    void initTestCase() { server = ServerStore::whenThere(); }
    void cleanupTestCase() { server.reset(); }

    void init() { store = std::make_unique<LocalStoreFixture>(); }
    void cleanup() { store.reset(); }

    void figures_data() {
        figureColumns();
        QTest::addColumn<QString>("expected");

        // Pack size lookup.
        addRow("pack size of a product", "getantaliforpack|10-1000", Rows{pjomr("10-1000", L(12))},
               "Double 12");
        addRow("pack size of an unknown product is the double 0", "getantaliforpack|10-9999",
               Rows{pjomr("10-1000", L(12))}, "Double 0");
        addRow("an empty pack size counts as none", "getantaliforpack|10-1000",
               Rows{pjomr("10-1000", N())}, "Double 0");
        addRow("product number with an apostrophe", "getantaliforpack|12'A",
               Rows{pjomr("12'A", D(2.5)), pjomr("12", L(7))}, "Double 2.5");
        addRow("stock balance summed", "getlagersaldo|10-1000",
               Rows{values("fpsaldo", "('10-1000', 300), ('10-1000', 45), ('10-2000', 9)")},
               "Double 345");
        addRow("stock balance: blank texts count 0, numeric texts as their number",
               "getlagersaldo|10-1",
               Rows{values("fpsaldo", "('10-1', 5), ('10-1', ''), ('10-1', ' '), ('10-1', '2.5')")},
               "Double 7.5");

        // PJ whole-source totals.
        addRow("backordersPJ sums both tables", "backordersPJ",
               Rows{values("pjoback", "('a', 1.5), ('b', 2)"), values("pjo1back", "('a', 0.25)")},
               "Double 3.75");
        addRow("outsidePJ", "outsidePJ",
               Rows{values("pjofram", "('a', 4)"), values("pjo1fram", "('a', 6)")}, "Double 10");
        addRow("orderscurrmonthPJ adds the forecast rows, null counting 0", "orderscurrmonthPJ",
               Rows{values("pjocurr", "('a', 1)"), values("pjo1curr", "('a', 2)"),
                    values("pjpvmens", "('a', 3), ('b', NULL), ('c', ' '), ('d', '')")},
               "Double 6");
        addRow("salescurrmonthPJ sums three tables", "salescurrmonthPJ",
               Rows{values("pjscurr", "('a', 1)"), values("pjs1curr", "('a', 10)"),
                    values("pjs2curr", "('a', 100)"), values("pjsprior", "('a', 1000)")},
               "Double 111");
        addRow("salespriormonthPJ", "salespriormonthPJ",
               Rows{values("pjsprior", "('a', 5)"), values("pjs1prior", "('a', 7)"),
                    values("pjscurr", "('a', 1000)")},
               "Double 12");
        addRow("GSLPJ leaves out PROV and KNR items, in thousands", "GSLPJ",
               Rows{values("pjstk", "('PROV12', 9000), ('KNR7', 9000), ('KNX1', 1000), ('prov12', "
                                    "500), ('KN', 500), (NULL, 9000), ('', 500), ('10-1', NULL)")},
               "Double 2.5");
        addRow("GSCPJ", "GSCPJ", Rows{values("pjstkens", "('a', 7), ('b', ' ')")}, "Double 7");
        addRow("GITPJ runs on across both tables", "GITPJ",
               Rows{values("pjgit", "('a', 1.5)"), values("pj1git", "('a', 2.5)")}, "Double 4");

        // PJ per-product figures.
        addRow("SalesPerWeek: 26 thousand over 26 weeks is one pack a week",
               "SalesPerWeek|10-1||1000",
               Rows{values("pjsfakt", "('10-1', 20), ('10-1', 6), ('10-2', 99)")}, "Double 1");
        addRow("ProdOrderPJ", "ProdOrderPJ|10-1||1000",
               Rows{values("PJOTALLA", "('10-1', 1), ('10-1', 2)")}, "Double 3");
        addRow("StockOnHandPJ in packs", "StockOnHandPJ|10-1||2000",
               Rows{values("pjstk", "('10-1', 5000)")}, "Double 2.5");
        addRow("StockOnHandPJ below zero is not divided", "StockOnHandPJ|10-1",
               Rows{values("pjstk", "('10-1', -5)")}, "Double -5");
        // A product's rows found without regard to case, Latin-1 letters too, by each way a
        // figure reads them: a sum, a walk over the rows, the first row. (Which keys fold is
        // tst_store's.)
        addRow("Å and å are one product", "StockOnHandPJ|åb-1||1",
               Rows{values("pjstk", "('ÅB-1', 5), ('åb-1', 7), ('AB-1', 100)")}, "Double 12");
        addRow("Ö and ö in the rows of a product", "SalesPerWeekFRN|ÖL-1|2010-11-18",
               Rows{history(QStringLiteral("öl-1")), history(QStringLiteral("ÖL-1")),
                    history(QStringLiteral("OL-1"))},
               "Double 30");
        addRow("É and é in the pack size lookup, the first row of the two", "getantaliforpack|Éé-1",
               Rows{pjomr(QStringLiteral("Ee-1"), L(2)), pjomr(QStringLiteral("éÉ-1"), L(6)),
                    pjomr(QStringLiteral("ÉÉ-1"), L(4))},
               "Double 6");
        addRow("ProdBackOrderPJ includes the forecast", "ProdBackOrderPJ|10-1||500",
               Rows{values("PJOTBALLA", "('10-1', 2)"), values("pjpvmens", "('10-1', 1.5)")},
               "Double 7");

        // FRN per-product figures.
        addRow("avail", "avail|10-1", Rows{values("avail", "('10-1', 4), ('10-1', 5)")},
               "Double 9");
        addRow("StockOnHandFRN", "StockOnHandFRN|10-1", Rows{values("pjstkfrn", "('10-1', 40)")},
               "Double 40");
        addRow("ProdOrderFRN", "ProdOrderFRN|10-1||4000", Rows{values("PJOFFRAM", "('10-1', 6)")},
               "Double 1.5");
        addRow("ProdBackOrderFRN as text", "ProdBackOrderFRN|10-1||1000",
               Rows{values("PJOFBACK", "('10-1', 2.5)")}, "String \"2.5\"");
        addRow("SalesPerWeekFRN March wraps from IHSQ12 to IHSQ01",
               "SalesPerWeekFRN|10-1|2010-03-01", Rows{history("10-1")},
               QStringLiteral("Double ") + QString::number(510.0 / 26, 'g', 15));
        addRow("SalesPerWeekFRN January counts as month 13", "SalesPerWeekFRN|10-1|2010-01-15",
               Rows{history("10-1")},
               QStringLiteral("Double ") + QString::number(510.0 / 26, 'g', 15));

        // Over tables without the product's rows: Null, or the 0 (a text for ProdBackOrderFRN)
        // each figure gives instead; ProdOrderPJ is Null before its umfaktor is looked at.
        // (figure|umfaktor|what it gives)
        for (const char *c :
             {"SalesPerWeek|1000|Null", "ProdOrderPJ|0|Null", "avail|0|Null",
              "ProdBackOrderPJ|500|Double 0", "StockOnHandFRN|0|Null", "ProdOrderFRN|4000|Null",
              "ProdBackOrderFRN|1000|String \"0\"", "SalesPerWeekFRN|0|Double 0",
              "backordersPJ|0|Double 0", "GSCFRN|0|Double 0", "getlagersaldo|0|Null",
              "StockOnHandPJ|2000|Null"}) {
            const QStringList f = QString::fromLatin1(c).split(QLatin1Char('|'));
            QTest::addRow("%s without rows", qPrintable(f[0]))
                << f[0] + QStringLiteral("|10-1|2010-11-18|") + f[1] << Rows{} << f[2];
        }

        // FRN all-items totals.
        addRow("salescurrmonthFRN January reads IHSQ01", "salescurrmonthFRN||2010-01-15",
               Rows{history("10-1"), pjomr("10-1", L(2))}, "Double 20");
        addRow("salespriormonthFRN January reads IHSQ12", "salespriormonthFRN||2010-01-15",
               Rows{history("10-1"), pjomr("10-1", L(2))}, "Double 240");
        addRow("salespriormonthFRN March reads IHSQ02", "salespriormonthFRN||2010-03-01",
               Rows{history("10-1"), pjomr("10-1", L(2))}, "Double 40");
        addRow("an item without pack size adds nothing", "salescurrmonthFRN||2010-12-01",
               Rows{history("10-1"), history("10-2"), pjomr("10-1", L(1))}, "Double 120");
        addRow("backordersFRN skips null and empty items, counts a blank", "backordersFRN",
               Rows{values("avail", "('10-1', 5), (NULL, 100), ('', 100), (' ', 7)"),
                    pjomr("10-1", L(3)), pjomr(" ", L(1))},
               "Double 22");
        addRow("GSCFRN", "GSCFRN", Rows{values("pjstkfrn", "('10-1', 5)"), pjomr("10-1", D(0.5))},
               "Double 2.5");
        addRow("orderscurrmonthFRN", "orderscurrmonthFRN",
               Rows{values("frnrequest", "('10-1', 5), ('10-2', 5)"), pjomr("10-1", L(2)),
                    pjomr("10-2", L(3))},
               "Double 25");
        addRow("outsideFRN skips empty items", "outsideFRN",
               Rows{values("frnrequesu", "('10-1', 5), (NULL, 5)"), pjomr("10-1", L(2))},
               "Double 10");
    }

    void figures() {
        QFETCH(QString, call);
        QFETCH(Rows, rows);
        QFETCH(QString, expected);
        fill(rows);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        const QString sqlite = typed(figure(call));
        QCOMPARE(sqlite, expected);
        onServer(sqlite, [&] { return typed(figure(call)); });
    }

    void dp_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<double>("expected");

        // 7 + "" + " " + Null + 1 + 1 + 1 = 10, in packs of 2.
        addRow("salespriormonthDP reads 4-10", "salespriormonthDP", 20.0);
        addRow("salescurrmonthDP reads 11-17", "salescurrmonthDP", 2.0 * 7 * 2);
        addRow("orderscurrmonthDP reads 25-31", "orderscurrmonthDP", 2.0 * 7 * 4);
        addRow("outsideDP reads 32-38", "outsideDP", 2.0 * 7 * 5);
        // 38-45 is eight columns: 5 at 38, 6 at 39-45 (packs of 2), and 1 at 39 of 10-2; the
        // unknown item adds nothing.
        addRow("GSCDP reads 38-45", "GSCDP", 2.0 * (5 + 7 * 6) + 1);
        // Row 1: (7×6 − 7×3) × 2 = +42; row 2: (1 − 9) × 1 = −8; row 3 unknown item: 0.
        addRow("backordersDP counts shortfalls only", "backordersDP", 8.0);
        // Rows of 10-1: (42 − 21) + (0 − 0); not multiplied by the pack size.
        addRow("StockOnHandDP nets all rows of the product", "StockOnHandDP|10-1", 21.0);
        addRow("StockOnHandDP of another product", "StockOnHandDP|10-2", -8.0);
        addRow("StockOnHandDP without rows", "StockOnHandDP|10-3", 0.0);
    }

    void dp() {
        QFETCH(QString, call);
        QFETCH(double, expected);
        // The empty texts count 0 as Null does; a server's number column holds no text, so the
        // server store gets the rows with Null there.
        for (const bool blankTexts : {true, false}) {
            store = std::make_unique<LocalStoreFixture>();
            store->insert(QStringLiteral("tillfall"), {L(1)});
            fill({pjomr("10-1", L(2)), pjomr("10-2", L(1))});
            // Group g (0-5) of seven columns holds g + 1 in row 1; position 4 (first of the
            // first group) holds 7 instead, and the empty texts count 0.
            QList<QPair<int, Variant>> first;
            for (int position = 4; position <= 45; ++position)
                first.append({position, L((position - 4) / 7 + 1)});
            first[0].second = L(7);
            first[1].second = blankTexts ? S("") : N();
            first[2].second = blankTexts ? S(" ") : N();
            first[3].second = N();
            store->dtspl(S("10-1"), first);
            store->dtspl(S("10-2"), {{39, L(1)}, {18, L(4)}, {19, L(5)}});
            store->dtspl(S("99-9"), {{4, L(50)}, {18, L(50)}, {39, L(50)}});
            store->dtspl(S("10-1"), {});
            const QString sqlite = typed(figure(call));
            QCOMPARE(sqlite, QStringLiteral("Double ") + QString::number(expected, 'g', 15));
            if (!blankTexts)
                onServer(sqlite, [&] { return typed(figure(call)); });
        }
    }

    void failures_data() {
        figureColumns();
        QTest::addColumn<QString>("message"); // parts of the operator's message, "|" between

        const Rows stock{values("pjstk", "('10-1', 5)"), values("PJOTALLA", "('10-1', 5)"),
                         values("pjsfakt", "('10-1', 5)"), values("PJOFFRAM", "('10-1', 5)")};
        for (const char *op : {"StockOnHandPJ", "ProdOrderPJ", "SalesPerWeek", "ProdBackOrderPJ",
                               "ProdOrderFRN", "ProdBackOrderFRN"})
            QTest::addRow("%s with umfaktor 0", op)
                << QString::fromLatin1(op) + QStringLiteral("|10-1") << stock << "umfaktor";
        addRow("null in a summed FRN column", "GSCFRN", Rows{values("pjstkfrn", "('10-1', NULL)")},
               "Null");
        addRow("null item in GSCFRN", "GSCFRN", Rows{values("pjstkfrn", "(NULL, 1)")}, "ivcitm");
        addRow("null month in SalesPerWeekFRN", "SalesPerWeekFRN|10-1|2010-11-18",
               Rows{sql("INSERT INTO frnhist (ivcitm, IHSQ04, IHSQ05, IHSQ06, IHSQ07, IHSQ08, "
                        "IHSQ09) VALUES ('10-1', 1, NULL, 1, 1, 1, 1)")},
               "IHSQ05");
        // A month figure without a period (a wrong one is refused before: period()).
        addRow("empty period", "salescurrmonthFRN", Rows{}, "ÅÅÅÅ-MM-DD");
        // A text that is no number stops a sum, row by row or in SQL, naming where it is.
        addRow("a word as a DP quantity", "outsideDP",
               Rows{sql("INSERT INTO DTSPL (\"Fält2\", \"Fält35\") VALUES ('10-1', 'tolv')")},
               "tolv|Fält35|DTSPL");
        addRow("a word in a product's SQL sum", "getlagersaldo|10-1",
               Rows{values("fpsaldo", "('10-1', 5), ('10-1', 'tolv')")}, "tolv|LIPQOH|fpsaldo");
        addRow("a word in a whole table's SQL sum", "salespriormonthPJ",
               Rows{values("pjs1prior", "('a', '12 st')")}, "12 st|sdpqor|pjs1prior");
        // What SUM would take as a number or turn into Null stops every summed figure too; a
        // blob or an infinity stops a row-walking sum.
        addRow("stored infinities", "StockOnHandPJ|10-1||1000",
               Rows{values("pjstk", "('10-1', 9e999), ('10-1', -9e999)")}, "Inf|lipqoh|pjstk");
        addRow("a blob in a DTSPL row", "outsideDP",
               Rows{sql("INSERT INTO DTSPL (\"Fält2\", \"Fält35\") VALUES ('10-1', x'3132')")},
               "x'3132'|Fält35|DTSPL");
        // A row's balance of +inf - +inf would be NaN, which "below zero" passes over.
        addRow("infinities in a DTSPL row", "backordersDP",
               Rows{sql("INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                        "('10-1', 9e999, 9e999)")},
               "Inf|DTSPL");
        // A result that is no finite number is refused, naming the figure or the product.
        addRow("integers past the 64-bit range", "backordersPJ",
               Rows{values("pjoback", "('a', 9223372036854775807), ('b', 1)")},
               "Summan|antaltusen|pjoback");
        addRow("reals past the largest number", "ProdBackOrderFRN|10-1||1000",
               Rows{values("PJOFBACK", "('10-1', 1e308), ('10-1', 1e308)")},
               "Summan|antaltusen|PJOFBACK");
        addRow("stock times pack size overflows", "GSCFRN",
               Rows{pjomr("10-1", L(12)), values("pjstkfrn", "('10-1', 1e308)")}, "GSCFRN");
        for (const char *word : {"nan", "inf"})
            QTest::addRow("%s as units per pack", word)
                << "GSCFRN"
                << Rows{pjomr("10-1", S(QString::fromLatin1(word))),
                        values("pjstkfrn", "('10-1', 5)")}
                << QStringLiteral("Produkten 10-1 i pjomr");
        // Bytes would read as the text they spell ("12").
        addRow("a blob as units per pack", "getantaliforpack|A1",
               Rows{sql("INSERT INTO pjomr VALUES ('A1', 'Pall', x'3132')")}, "A1|x'3132'");
        addRow("a denormal umfaktor", "ProdBackOrderFRN|10-1||1e-320",
               Rows{values("PJOFBACK", "('10-1', 5)")},
               QStringLiteral("ProdBackOrderFRN för produkt \"10-1\""));
        // A table the figure reads is missing.
        for (const char *c : {"backordersDP|tillfall", "StockOnHandDP|tillfall", "outsideDP|DTSPL",
                              "salespriormonthFRN|tillfall", "backordersPJ|pjo1back",
                              "getantaliforpack|pjomr", "SalesPerWeekFRN|frnhist"}) {
            const QStringList f = QString::fromLatin1(c).split(QLatin1Char('|'));
            QTest::addRow("%s without %s", qPrintable(f[0]), qPrintable(f[1]))
                << f[0] + QStringLiteral("|10-1|2010-11-18|1000")
                << Rows{sql(QStringLiteral("DROP TABLE \"%1\"").arg(f[1]))} << f[1] + "|saknas";
        }
    }

    void failures() {
        QFETCH(QString, call);
        QFETCH(Rows, rows);
        QFETCH(QString, message);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill(rows);
        const QString got = outcome(call);
        QVERIFY2(!got.startsWith(QLatin1String("gave ")), qPrintable(got));
        for (const QString &part : message.split(QLatin1Char('|')))
            QVERIFY2(got.contains(part, Qt::CaseInsensitive), qPrintable(got));
        // The same on the server store, with the same message; a table dropped from local.mdb
        // is still there on the server.
        if (!message.endsWith(QLatin1String("|saknas")))
            onServer(got, [&] { return outcome(call); });
    }

    // The period is checked once, where it is made from the operator's text: a real date written
    // YYYY-MM-DD, kept as typed, its month from characters 6-7. (The layouts the window's date
    // box takes are tst_dates' periodDate.)
    void period_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");      // invalid for a text that is refused
        QTest::addColumn<QString>("message"); // what the refusal says
        const QString layout = QStringLiteral("ÅÅÅÅ-MM-DD");
        addRow("January", "2010-01-31", QDate(2010, 1, 31), QString());
        addRow("leap day", "2024-02-29", QDate(2024, 2, 29), QString());
        addRow("last day there is", "9999-12-31", QDate(9999, 12, 31), QString());
        addRow("no leap year", "2023-02-29", QDate(), layout);
        addRow("month 13", "2010-13-01", QDate(), layout);
        addRow("month 0", "2010-00-10", QDate(), layout);
        addRow("year 0", "0000-01-01", QDate(), layout);
        addRow("empty", "", QDate(), QStringLiteral("saknas"));
        addRow("blank before", " 2024-03-15", QDate(), layout);
        addRow("only blanks", "          ", QDate(), layout);
        addRow("blanks as separators", "2024 03 15", QDate(), layout);
        addRow("day first", "15-03-2024", QDate(), layout);
        addRow("one-digit month", "2024-3-15", QDate(), layout);
        addRow("other digits", "２０２４-03-15", QDate(), layout);
    }

    void period() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QFETCH(QString, message);
        QCOMPARE(figures::Period::parse(text).has_value(), date.isValid());
        if (date.isValid()) {
            const figures::Period period = figures::Period::fromText(text);
            QCOMPARE(period.text(), text);
            QCOMPARE(period.date(), date);
            QCOMPARE(period.month(), text.mid(5, 2).toInt());
            QCOMPARE(figures::Period::fromTextIfGiven(text), std::optional(period));
            // The workbooks are named with the text as typed.
            QCOMPARE(reports::productWorkbookFileName(QStringLiteral("/p"), period, true),
                     QStringLiteral("/p/rapporter/Pallvikprodukter") + text +
                         QStringLiteral(".xlsx"));
            return;
        }
        const QString refused = refusal([&] { figures::Period::fromText(text); });
        QVERIFY2(
            refused.contains(message) &&
                (text.isEmpty() || refused.contains(QLatin1Char('"') + text + QLatin1Char('"'))),
            qPrintable(refused));
        // Left out is no period, and no error either; given but wrong is refused the same way.
        if (text.isEmpty())
            QCOMPARE(reports::summaryWorkbookFileName(QStringLiteral("/p"),
                                                      figures::Period::fromTextIfGiven(text)),
                     QStringLiteral("/p/rapporter/Pallvik.xls"));
        else
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, figures::Period::fromTextIfGiven(text));
    }
};

QTEST_GUILESS_MAIN(FiguresTest)
#include "tst_figures.moc"
