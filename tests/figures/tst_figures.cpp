#include "LocalStoreFixture.h"

#include "MDlib/Error.h"
#include "data/DemoData.h"
#include "data/LocalDatabase.h"
#include "data/TableCatalogue.h"
#include "figures/DateConversion.h"
#include "figures/StockFigures.h"

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
    switch (v.type()) {
    case Variant::Type::Empty:
        return QStringLiteral("Empty");
    case Variant::Type::Null:
        return QStringLiteral("Null");
    case Variant::Type::Integer:
        return QStringLiteral("Integer ") + v.toText();
    case Variant::Type::Long:
        return QStringLiteral("Long ") + v.toText();
    case Variant::Type::Double:
        return QStringLiteral("Double ") + v.toText();
    case Variant::Type::String:
        return QStringLiteral("String \"%1\"").arg(v.text());
    default:
        return QStringLiteral("Other ") + v.toText();
    }
}

Row pjomr(const QString &product, const Variant &umconv) {
    return {QStringLiteral("pjomr"), {S(product), S(QStringLiteral("PALL ") + product), umconv}};
}

Row item(const char *table, const Variant &product, const Variant &quantity) {
    return {QString::fromUtf8(table), {product, quantity}};
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
    RecordingProgress progress;

    // A figure by its name, with the window-level values given.
    Variant figure(const QString &operation, const QString &product, const QString &period = {},
                   double umfaktor = 0, const QString &localDatabase = {}) {
        const figures::NamedFigure *named = figures::findNamedFigure(operation);
        if (!named)
            throw std::invalid_argument(operation.toStdString());
        figures::StockFigures stock(
            localDatabase.isEmpty() ? store->localDatabase() : localDatabase, progress);
        return named->run(stock, {product, period, umfaktor});
    }

    void fill(const Rows &rows) {
        for (const Row &r : rows)
            store->insert(r.table, r.values);
    }

    void figureColumns() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("period");
        QTest::addColumn<double>("umfaktor");
        QTest::addColumn<Rows>("rows");
    }

private slots:
    void init() {
        store = std::make_unique<LocalStoreFixture>();
        progress.captions.clear();
    }
    void cleanup() { store.reset(); }

    void figures_data() {
        figureColumns();
        QTest::addColumn<QString>("expected");

        // Pack size lookup.
        QTest::newRow("pack size of a product")
            << "getantaliforpack"
            << "10-1000"
            << "" << 0.0 << Rows{pjomr("10-1000", L(12))} << "Double 12";
        QTest::newRow("pack size of an unknown product is the double 0")
            << "getantaliforpack"
            << "10-9999"
            << "" << 0.0 << Rows{pjomr("10-1000", L(12))} << "Double 0";
        QTest::newRow("an empty pack size counts as none")
            << "getantaliforpack"
            << "10-1000"
            << "" << 0.0 << Rows{pjomr("10-1000", N())} << "Double 0";
        QTest::newRow("product number with an apostrophe")
            << "getantaliforpack"
            << "12'A"
            << "" << 0.0 << Rows{pjomr("12'A", D(2.5)), pjomr("12", L(7))} << "Double 2.5";
        QTest::newRow("stock balance summed")
            << "getlagersaldo"
            << "10-1000"
            << "" << 0.0
            << Rows{item("fpsaldo", S("10-1000"), L(300)), item("fpsaldo", S("10-1000"), L(45)),
                    item("fpsaldo", S("10-2000"), L(9))}
            << "Double 345";
        QTest::newRow("stock balance: blank texts count 0, numeric texts as their number")
            << "getlagersaldo"
            << "10-1"
            << "" << 0.0
            << Rows{item("fpsaldo", S("10-1"), L(5)), item("fpsaldo", S("10-1"), S("")),
                    item("fpsaldo", S("10-1"), S(" ")), item("fpsaldo", S("10-1"), S("2.5"))}
            << "Double 7.5";
        QTest::newRow("stock balance of a product without rows is null")
            << "getlagersaldo"
            << "10-1000"
            << "" << 0.0 << Rows{item("fpsaldo", S("10-2000"), L(9))} << "Null";

        // PJ whole-source totals.
        QTest::newRow("backordersPJ sums both tables")
            << "backordersPJ"
            << ""
            << "" << 0.0
            << Rows{item("pjoback", S("a"), D(1.5)), item("pjoback", S("b"), L(2)),
                    item("pjo1back", S("a"), D(0.25))}
            << "Double 3.75";
        QTest::newRow("backordersPJ over empty tables is 0") << "backordersPJ"
                                                             << ""
                                                             << "" << 0.0 << Rows{} << "Double 0";
        QTest::newRow("outsidePJ")
            << "outsidePJ"
            << ""
            << "" << 0.0 << Rows{item("pjofram", S("a"), L(4)), item("pjo1fram", S("a"), L(6))}
            << "Double 10";
        QTest::newRow("orderscurrmonthPJ adds the forecast rows, null counting 0")
            << "orderscurrmonthPJ"
            << ""
            << "" << 0.0 << Rows{item("pjocurr", S("a"), L(1)),    item("pjo1curr", S("a"), L(2)),
                                 item("pjpvmens", S("a"), L(3)),   item("pjpvmens", S("b"), N()),
                                 item("pjpvmens", S("c"), S(" ")), item("pjpvmens", S("d"), S(""))}
            << "Double 6";
        QTest::newRow("salescurrmonthPJ sums three tables")
            << "salescurrmonthPJ"
            << ""
            << "" << 0.0
            << Rows{item("pjscurr", S("a"), L(1)), item("pjs1curr", S("a"), L(10)),
                    item("pjs2curr", S("a"), L(100)), item("pjsprior", S("a"), L(1000))}
            << "Double 111";
        QTest::newRow("salespriormonthPJ")
            << "salespriormonthPJ"
            << ""
            << "" << 0.0
            << Rows{item("pjsprior", S("a"), L(5)), item("pjs1prior", S("a"), L(7)),
                    item("pjscurr", S("a"), L(1000))}
            << "Double 12";
        QTest::newRow("GSLPJ leaves out PROV and KNR items, in thousands")
            << "GSLPJ"
            << ""
            << "" << 0.0
            << Rows{item("pjstk", S("PROV12"), L(9000)), item("pjstk", S("KNR7"), L(9000)),
                    item("pjstk", S("KNX1"), L(1000)),   item("pjstk", S("prov12"), L(500)),
                    item("pjstk", S("KN"), L(500)),      item("pjstk", N(), L(9000)),
                    item("pjstk", S(""), L(500)),        item("pjstk", S("10-1"), N())}
            << "Double 2.5";
        QTest::newRow("GSCPJ") << "GSCPJ"
                               << ""
                               << "" << 0.0
                               << Rows{item("pjstkens", S("a"), L(7)),
                                       item("pjstkens", S("b"), S(" "))}
                               << "Double 7";
        QTest::newRow("GITPJ runs on across both tables")
            << "GITPJ"
            << ""
            << "" << 0.0 << Rows{item("pjgit", S("a"), D(1.5)), item("pj1git", S("a"), D(2.5))}
            << "Double 4";

        // PJ per-product figures.
        QTest::newRow("SalesPerWeek: 26 thousand over 26 weeks is one pack a week")
            << "SalesPerWeek"
            << "10-1"
            << "" << 1000.0
            << Rows{item("pjsfakt", S("10-1"), L(20)), item("pjsfakt", S("10-1"), L(6)),
                    item("pjsfakt", S("10-2"), L(99))}
            << "Double 1";
        QTest::newRow("SalesPerWeek without rows is null") << "SalesPerWeek"
                                                           << "10-1"
                                                           << "" << 1000.0 << Rows{} << "Null";
        QTest::newRow("ProdOrderPJ")
            << "ProdOrderPJ"
            << "10-1"
            << "" << 1000.0
            << Rows{item("PJOTALLA", S("10-1"), L(1)), item("PJOTALLA", S("10-1"), L(2))}
            << "Double 3";
        QTest::newRow("ProdOrderPJ without rows stays null even without umfaktor")
            << "ProdOrderPJ"
            << "10-1"
            << "" << 0.0 << Rows{} << "Null";
        QTest::newRow("StockOnHandPJ in packs")
            << "StockOnHandPJ"
            << "10-1"
            << "" << 2000.0 << Rows{item("pjstk", S("10-1"), L(5000))} << "Double 2.5";
        QTest::newRow("StockOnHandPJ below zero is not divided")
            << "StockOnHandPJ"
            << "10-1"
            << "" << 0.0 << Rows{item("pjstk", S("10-1"), L(-5))} << "Double -5";
        QTest::newRow("StockOnHandPJ without rows is null")
            << "StockOnHandPJ"
            << "10-1"
            << "" << 2000.0 << Rows{item("pjstk", S("10-2"), L(5))} << "Null";
        QTest::newRow("ProdBackOrderPJ includes the forecast")
            << "ProdBackOrderPJ"
            << "10-1"
            << "" << 500.0
            << Rows{item("PJOTBALLA", S("10-1"), L(2)), item("pjpvmens", S("10-1"), D(1.5))}
            << "Double 7";
        QTest::newRow("ProdBackOrderPJ without rows is the double 0")
            << "ProdBackOrderPJ"
            << "10-1"
            << "" << 500.0 << Rows{} << "Double 0";

        // FRN per-product figures.
        QTest::newRow("avail") << "avail"
                               << "10-1"
                               << "" << 0.0
                               << Rows{item("avail", S("10-1"), L(4)),
                                       item("avail", S("10-1"), L(5))}
                               << "Double 9";
        QTest::newRow("avail without rows is null") << "avail"
                                                    << "10-1"
                                                    << "" << 0.0 << Rows{} << "Null";
        QTest::newRow("StockOnHandFRN")
            << "StockOnHandFRN"
            << "10-1"
            << "" << 0.0 << Rows{item("pjstkfrn", S("10-1"), L(40))} << "Double 40";
        QTest::newRow("StockOnHandFRN without rows is null") << "StockOnHandFRN"
                                                             << "10-1"
                                                             << "" << 0.0 << Rows{} << "Null";
        QTest::newRow("ProdOrderFRN")
            << "ProdOrderFRN"
            << "10-1"
            << "" << 4000.0 << Rows{item("PJOFFRAM", S("10-1"), L(6))} << "Double 1.5";
        QTest::newRow("ProdOrderFRN without rows is null") << "ProdOrderFRN"
                                                           << "10-1"
                                                           << "" << 4000.0 << Rows{} << "Null";
        QTest::newRow("ProdBackOrderFRN as text")
            << "ProdBackOrderFRN"
            << "10-1"
            << "" << 1000.0 << Rows{item("PJOFBACK", S("10-1"), D(2.5))} << "String \"2.5\"";
        QTest::newRow("ProdBackOrderFRN with 15 significant digits")
            << "ProdBackOrderFRN"
            << "10-1"
            << "" << 3000.0 << Rows{item("PJOFBACK", S("10-1"), L(1))}
            << "String \"0.333333333333333\"";
        QTest::newRow("ProdBackOrderFRN without rows is the text 0")
            << "ProdBackOrderFRN"
            << "10-1"
            << "" << 1000.0 << Rows{} << "String \"0\"";
        QTest::newRow("SalesPerWeekFRN without rows is 0")
            << "SalesPerWeekFRN"
            << "10-1"
            << "2010-11-18" << 0.0 << Rows{} << "Double 0";
        QTest::newRow("SalesPerWeekFRN November reads IHSQ04-09")
            << "SalesPerWeekFRN"
            << "10-1"
            << "2010-11-18" << 0.0 << Rows{history("10-1"), history("10-2")} << "Double 15";
        QTest::newRow("SalesPerWeekFRN March wraps from IHSQ12 to IHSQ01")
            << "SalesPerWeekFRN"
            << "10-1"
            << "2010-03-01" << 0.0 << Rows{history("10-1")}
            << QStringLiteral("Double ") + QString::number(510.0 / 26, 'g', 15);
        QTest::newRow("SalesPerWeekFRN January counts as month 13")
            << "SalesPerWeekFRN"
            << "10-1"
            << "2010-01-15" << 0.0 << Rows{history("10-1")}
            << QStringLiteral("Double ") + QString::number(510.0 / 26, 'g', 15);
        QTest::newRow("SalesPerWeekFRN: every row of the item adds six months")
            << "SalesPerWeekFRN"
            << "10-1"
            << "2010-11-18" << 0.0 << Rows{history("10-1"), history("10-1")} << "Double 30";

        // FRN all-items totals.
        QTest::newRow("salescurrmonthFRN January reads IHSQ01")
            << "salescurrmonthFRN"
            << ""
            << "2010-01-15" << 0.0 << Rows{history("10-1"), pjomr("10-1", L(2))} << "Double 20";
        QTest::newRow("salespriormonthFRN January reads IHSQ12")
            << "salespriormonthFRN"
            << ""
            << "2010-01-15" << 0.0 << Rows{history("10-1"), pjomr("10-1", L(2))} << "Double 240";
        QTest::newRow("salespriormonthFRN March reads IHSQ02")
            << "salespriormonthFRN"
            << ""
            << "2010-03-01" << 0.0 << Rows{history("10-1"), pjomr("10-1", L(2))} << "Double 40";
        QTest::newRow("an item without pack size adds nothing")
            << "salescurrmonthFRN"
            << ""
            << "2010-12-01" << 0.0 << Rows{history("10-1"), history("10-2"), pjomr("10-1", L(1))}
            << "Double 120";
        QTest::newRow("backordersFRN skips null and empty items, counts a blank")
            << "backordersFRN"
            << ""
            << "" << 0.0 << Rows{item("avail", S("10-1"), L(5)),
                                 item("avail", N(), L(100)),
                                 item("avail", S(""), L(100)),
                                 item("avail", S(" "), L(7)),
                                 pjomr("10-1", L(3)),
                                 pjomr(" ", L(1))}
            << "Double 22";
        QTest::newRow("GSCFRN") << "GSCFRN"
                                << ""
                                << "" << 0.0
                                << Rows{item("pjstkfrn", S("10-1"), L(5)), pjomr("10-1", D(0.5))}
                                << "Double 2.5";
        QTest::newRow("orderscurrmonthFRN")
            << "orderscurrmonthFRN"
            << ""
            << "" << 0.0
            << Rows{item("frnrequest", S("10-1"), L(5)), item("frnrequest", S("10-2"), L(5)),
                    pjomr("10-1", L(2)), pjomr("10-2", L(3))}
            << "Double 25";
        QTest::newRow("outsideFRN skips empty items")
            << "outsideFRN"
            << ""
            << "" << 0.0
            << Rows{item("frnrequesu", S("10-1"), L(5)), item("frnrequesu", N(), L(5)),
                    pjomr("10-1", L(2))}
            << "Double 10";
        QTest::newRow("FRN total of an empty table") << "GSCFRN"
                                                     << ""
                                                     << "" << 0.0 << Rows{} << "Double 0";
    }

    void figures() {
        QFETCH(QString, operation);
        QFETCH(QString, product);
        QFETCH(QString, period);
        QFETCH(double, umfaktor);
        QFETCH(Rows, rows);
        QFETCH(QString, expected);
        fill(rows);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        QCOMPARE(typed(figure(operation, product, period, umfaktor)), expected);
    }

    void dp_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("product");
        QTest::addColumn<double>("expected");

        // 7 + "" + " " + Null + 1 + 1 + 1 = 10, in packs of 2.
        QTest::newRow("salespriormonthDP reads 4-10") << "salespriormonthDP"
                                                      << "" << 20.0;
        QTest::newRow("salescurrmonthDP reads 11-17") << "salescurrmonthDP"
                                                      << "" << 2.0 * 7 * 2;
        QTest::newRow("orderscurrmonthDP reads 25-31") << "orderscurrmonthDP"
                                                       << "" << 2.0 * 7 * 4;
        QTest::newRow("outsideDP reads 32-38") << "outsideDP"
                                               << "" << 2.0 * 7 * 5;
        // 38-45 is eight columns: 5 at 38, 6 at 39-45 (packs of 2), and 1 at 39 of 10-2; the
        // unknown item adds nothing.
        QTest::newRow("GSCDP reads 38-45") << "GSCDP"
                                           << "" << 2.0 * (5 + 7 * 6) + 1;
        // Row 1: (7×6 − 7×3) × 2 = +42; row 2: (1 − 9) × 1 = −8; row 3 unknown item: 0.
        QTest::newRow("backordersDP counts shortfalls only") << "backordersDP"
                                                             << "" << 8.0;
        // Rows of 10-1: (42 − 21) + (0 − 0); not multiplied by the pack size.
        QTest::newRow("StockOnHandDP nets all rows of the product") << "StockOnHandDP"
                                                                    << "10-1" << 21.0;
        QTest::newRow("StockOnHandDP of another product") << "StockOnHandDP"
                                                          << "10-2" << -8.0;
        QTest::newRow("StockOnHandDP without rows") << "StockOnHandDP"
                                                    << "10-3" << 0.0;
    }

    void dp() {
        QFETCH(QString, operation);
        QFETCH(QString, product);
        QFETCH(double, expected);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill({pjomr("10-1", L(2)), pjomr("10-2", L(1))});
        // Group g (0-5) of seven columns holds g + 1 in row 1; position 4 (first of the first
        // group) holds 7 instead, and the empty texts count 0.
        QList<QPair<int, Variant>> first;
        for (int position = 4; position <= 45; ++position)
            first.append({position, L((position - 4) / 7 + 1)});
        first[0].second = L(7);
        first[1].second = S("");
        first[2].second = S(" ");
        first[3].second = N();
        store->dtspl(S("10-1"), first);
        store->dtspl(S("10-2"), {{39, L(1)}, {18, L(4)}, {19, L(5)}});
        store->dtspl(S("99-9"), {{4, L(50)}, {18, L(50)}, {39, L(50)}});
        store->dtspl(S("10-1"), {});
        QCOMPARE(typed(figure(operation, product)),
                 QStringLiteral("Double ") + QString::number(expected, 'g', 15));
    }

    void dpEmptyTable_data() {
        QTest::addColumn<QString>("operation");
        for (const char *op : {"salespriormonthDP", "salescurrmonthDP", "orderscurrmonthDP",
                               "outsideDP", "GSCDP", "backordersDP", "StockOnHandDP"})
            QTest::newRow(op) << op;
    }

    void dpEmptyTable() {
        QFETCH(QString, operation);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        QCOMPARE(typed(figure(operation, QStringLiteral("10-1"))), QStringLiteral("Double 0"));
        QVERIFY(progress.captions.isEmpty());
    }

    void backordersDPShortfallFirst() {
        // A shortfall of 5 then a surplus of 8: the surplus does not offset it.
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill({pjomr("10-1", L(1))});
        store->dtspl(S("10-1"), {{18, L(5)}});
        store->dtspl(S("10-1"), {{39, L(8)}});
        QCOMPARE(typed(figure("backordersDP", QString())), QStringLiteral("Double 5"));
    }

    void progressShowsEachItem() {
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill({pjomr("10-1", L(1)), item("avail", S("10-1"), L(1)), item("avail", N(), L(1)),
              item("avail", S("10-2"), L(1))});
        store->dtspl(S("10-1"), {});
        store->dtspl(N(), {});
        figure("backordersFRN", QString());
        QCOMPARE(progress.captions, (QStringList{"10-1", "10-2"}));
        progress.captions.clear();
        figure("outsideDP", QString());
        QCOMPARE(progress.captions, (QStringList{"10-1", ""}));
    }

    void failures_data() {
        figureColumns();
        QTest::addColumn<QString>("message"); // parts of the operator's message, "|" between

        const Rows stock{item("pjstk", S("10-1"), L(5)), item("PJOTALLA", S("10-1"), L(5)),
                         item("pjsfakt", S("10-1"), L(5)), item("PJOFFRAM", S("10-1"), L(5))};
        for (const char *op : {"StockOnHandPJ", "ProdOrderPJ", "SalesPerWeek", "ProdBackOrderPJ",
                               "ProdOrderFRN", "ProdBackOrderFRN"})
            QTest::addRow("%s with umfaktor 0", op) << op << "10-1"
                                                    << "" << 0.0 << stock << "umfaktor";
        QTest::newRow("null in a summed FRN column")
            << "GSCFRN"
            << ""
            << "" << 0.0 << Rows{item("pjstkfrn", S("10-1"), N())} << "Null";
        QTest::newRow("null item in GSCFRN")
            << "GSCFRN"
            << ""
            << "" << 0.0 << Rows{item("pjstkfrn", N(), L(1))} << "ivcitm";
        QTest::newRow("null month in SalesPerWeekFRN")
            << "SalesPerWeekFRN"
            << "10-1"
            << "2010-11-18" << 0.0
            << Rows{{QStringLiteral("frnhist"),
                     {S("2010"), S("10-1"), L(1), L(1), L(1), L(1), N(), L(1), L(1), L(1), L(1),
                      L(1), L(1), L(1)}}}
            << "IHSQ05";
        // A text that is no number stops a sum, row by row or in SQL, naming where it is.
        QTest::newRow("a word as a DP quantity") << "outsideDP"
                                                 << ""
                                                 << "" << 0.0 << Rows{} << "tolv|Fält35|DTSPL";
        QTest::newRow("a word in a product's SQL sum")
            << "getlagersaldo"
            << "10-1"
            << "" << 0.0
            << Rows{item("fpsaldo", S("10-1"), L(5)), item("fpsaldo", S("10-1"), S("tolv"))}
            << "tolv|LIPQOH|fpsaldo";
        QTest::newRow("a word in a whole table's SQL sum")
            << "salespriormonthPJ"
            << ""
            << "" << 0.0 << Rows{item("pjs1prior", S("a"), S("12 st"))} << "12 st|sdpqor|pjs1prior";
        QTest::newRow("empty period") << "salescurrmonthFRN"
                                      << ""
                                      << "" << 0.0 << Rows{} << "ÅÅÅÅ-MM-DD";
        QTest::newRow("period in another layout") << "salespriormonthFRN"
                                                  << ""
                                                  << "18/11/2010" << 0.0 << Rows{} << "ÅÅÅÅ-MM-DD";
        QTest::newRow("month 13") << "SalesPerWeekFRN"
                                  << "10-1"
                                  << "2010-13-01" << 0.0 << Rows{} << "ÅÅÅÅ-MM-DD";
        // A result that is no finite number is refused, naming the figure or the product.
        const double huge = 1e308;
        QTest::newRow("stock times pack size overflows")
            << "GSCFRN"
            << ""
            << "" << 0.0 << Rows{pjomr("10-1", L(12)), item("pjstkfrn", S("10-1"), D(huge))}
            << "GSCFRN";
        QTest::newRow("SQL sum overflows")
            << "getlagersaldo"
            << "10-1"
            << "" << 0.0
            << Rows{item("fpsaldo", S("10-1"), D(huge)), item("fpsaldo", S("10-1"), D(huge))}
            << "getlagersaldo för produkt \"10-1\"";
        QTest::newRow("nan as units per pack")
            << "GSCFRN"
            << ""
            << "" << 0.0 << Rows{pjomr("10-1", S("nan")), item("pjstkfrn", S("10-1"), L(5))}
            << "Produkten 10-1 i pjomr";
        for (const char *op : {"ProdOrderPJ", "ProdBackOrderFRN"})
            QTest::addRow("%s with a denormal umfaktor", op)
                << op << "10-1"
                << "" << 1e-320
                << Rows{item("PJOTALLA", S("10-1"), L(5)), item("PJOFBACK", S("10-1"), L(5))}
                << QStringLiteral("%1 för produkt \"10-1\"").arg(QLatin1String(op));
    }

    void failures() {
        QFETCH(QString, operation);
        QFETCH(QString, product);
        QFETCH(QString, period);
        QFETCH(double, umfaktor);
        QFETCH(Rows, rows);
        QFETCH(QString, message);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill(rows);
        if (QByteArray(QTest::currentDataTag()) == "a word as a DP quantity")
            store->dtspl(S("10-1"), {{35, S("tolv")}});
        try {
            const Variant v = figure(operation, product, period, umfaktor);
            QFAIL(qPrintable(QStringLiteral("gave %1 instead of an error").arg(typed(v))));
        } catch (const lodvik::Error &e) {
            for (const QString &part : message.split(QLatin1Char('|')))
                QVERIFY2(e.message().contains(part, Qt::CaseInsensitive), qPrintable(e.message()));
        }
    }

    // A store without the catalogue's indexes gives every per-product figure to the last bit,
    // whether the run makes the indexes or reads indexed copies (a store it cannot change):
    // keys differing in case, and sums whose value depends on the order of the rows.
    void sameFiguresWithoutIndexes_data() {
        QTest::addColumn<bool>("copies");
        QTest::newRow("indexes made in the store") << false;
        QTest::newRow("indexed copies") << true;
    }

    void sameFiguresWithoutIndexes() {
        QFETCH(bool, copies);
        fill({pjomr(QStringLiteral("Pa"), L(1)), pjomr(QStringLiteral("pB"), L(2))});
        const double values[] = {0.1, 1e17, 0.2, -1e17, 0.3, 0.7};
        int i = 0;
        for (const char *table : {"fpsaldo", "pjstk", "PJOTALLA", "PJOTBALLA", "pjpvmens",
                                  "pjsfakt", "avail", "pjstkfrn", "PJOFBACK", "PJOFFRAM"})
            for (const char *key : {"pa", "PA", "pb", "Pa", "PB", "pa"})
                store->insert(QString::fromUtf8(table),
                              {S(QString::fromUtf8(key)), D(values[i++ % 6])});
        for (const char *key : {"PA", "pa", "Pb"}) {
            store->dtspl(S(QString::fromUtf8(key)), {{39, D(values[i++ % 6])}, {18, D(0.3)}});
            Row h = history(QString::fromUtf8(key));
            h.values[3] = D(values[i++ % 6]);
            fill({h});
        }
        store->insert(QStringLiteral("tillfall"), {L(1)});
        const auto all = [&] {
            QStringList results;
            for (const figures::NamedFigure &f : figures::namedFigures())
                if (f.takesProduct)
                    for (const char *product : {"Pa", "pB"})
                        results << QStringLiteral("%1 %2: %3")
                                       .arg(QLatin1String(f.name), QLatin1String(product),
                                            typed(figure(QLatin1String(f.name),
                                                         QLatin1String(product),
                                                         QStringLiteral("2010-03-15"), 1000)));
            return results;
        };
        const QStringList indexed = all();
        dao::Database db = dao::Database::OpenDatabase(store->localDatabase());
        QStringList indexes;
        for (dao::Recordset rs = db.OpenRecordset(QStringLiteral(
                 "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"));
             !rs.isEOF(); rs.MoveNext())
            indexes << rs.Fields(0).toText();
        QVERIFY(!indexes.isEmpty());
        for (const QString &index : indexes)
            db.Execute(QStringLiteral("DROP INDEX \"%1\"").arg(index));
        catalogue::prepareIndexes(db, progress,
                                  copies ? catalogue::MissingIndexes::TemporaryCopies
                                         : catalogue::MissingIndexes::InStore);
        QCOMPARE(all(), indexed);
        const int made =
            int(db.OpenRecordset(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = "
                                                "'index' AND sql IS NOT NULL"))
                    .Fields(0)
                    .toDouble());
        QCOMPARE(made, copies ? 0 : int(indexes.size()));
    }

    // The one-product queries answered from one pass over each table give what the queries
    // give: keys that differ in case, a product asked again or out of order, a product without
    // rows, a null key, and a text that is no number in rows no product asked for.
    void productWalkAnswersAsTheQueries() {
        fill({pjomr(QStringLiteral("Pa"), L(1)), pjomr(QStringLiteral("pD"), L(2))});
        const double values[] = {0.1, 1e17, 0.2, -1e17, 0.3, 0.7, 5};
        int i = 0;
        for (const char *table : {"pjstk", "PJOTALLA", "PJOTBALLA", "pjpvmens", "pjsfakt", "avail",
                                  "pjstkfrn", "PJOFBACK", "PJOFFRAM"}) {
            for (const char *key : {"pa", "PA", "pb", "Pa", "pB", "pd", "PD"})
                store->insert(QString::fromUtf8(table),
                              {S(QString::fromUtf8(key)), D(values[i++ % 7])});
            store->insert(QString::fromUtf8(table), {N(), D(4)});
        }
        store->insert(QStringLiteral("pjsfakt"),
                      {S(QStringLiteral("pc5")), S(QStringLiteral("tolv"))});
        for (const char *key : {"PA", "pa", "pB", "pd", "Pd"}) {
            store->dtspl(S(QString::fromUtf8(key)), {{39, D(values[i++ % 7])}, {18, D(0.3)}});
            Row h = history(QString::fromUtf8(key));
            h.values[3] = D(values[i++ % 7]);
            fill({h});
        }
        store->insert(QStringLiteral("tillfall"), {L(1)});
        const QStringList asked{"Pa", "pa", "pB", "Pa", "pc", "pD", "pD", "PD"};
        const auto run = [&] {
            QStringList results;
            for (const QString &product : asked)
                for (const figures::NamedFigure &f : figures::namedFigures())
                    if (f.takesProduct)
                        results << QStringLiteral("%1 %2: %3")
                                       .arg(QLatin1String(f.name), product,
                                            typed(figure(QLatin1String(f.name), product,
                                                         QStringLiteral("2010-03-15"), 1000)));
            return results;
        };
        const QStringList byQuery = run();
        dao::Database db = dao::Database::OpenDatabase(store->localDatabase());
        const dao::ProductWalk walk(db, figures::StockFigures::productQueries());
        QCOMPARE(run(), byQuery);
    }

    void missingTables_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("table");
        QTest::newRow("tillfall for a DP total") << "backordersDP"
                                                 << "tillfall";
        QTest::newRow("tillfall for StockOnHandDP") << "StockOnHandDP"
                                                    << "tillfall";
        QTest::newRow("tillfall for salespriormonthFRN") << "salespriormonthFRN"
                                                         << "tillfall";
        QTest::newRow("DTSPL") << "outsideDP"
                               << "DTSPL";
        QTest::newRow("second table of a PJ sum") << "backordersPJ"
                                                  << "pjo1back";
        QTest::newRow("pjomr for the pack size") << "getantaliforpack"
                                                 << "pjomr";
        QTest::newRow("frnhist") << "SalesPerWeekFRN"
                                 << "frnhist";
    }

    void missingTables() {
        QFETCH(QString, operation);
        QFETCH(QString, table);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        store->execute(QStringLiteral("DROP TABLE \"%1\"").arg(table));
        const QString period = QStringLiteral("2010-11-18");
        QVERIFY_THROWS_EXCEPTION(lodvik::Error,
                                 figure(operation, QStringLiteral("10-1"), period, 1000));
        try {
            figure(operation, QStringLiteral("10-1"), period, 1000);
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(table) && e.message().contains(QStringLiteral("saknas")),
                     qPrintable(e.message()));
        }
    }

    void figureCommand_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // stdout, or a part of stderr when the code is not 0

        QTest::newRow("pack size") << QStringList{"getantaliforpack", "10-1"} << 0 << "2\n";
        QTest::newRow("null") << QStringList{"StockOnHandPJ", "10-9", "--umfaktor", "1000"} << 0
                              << "Null\n";
        QTest::newRow("integer 0 of an unknown product")
            << QStringList{"getantaliforpack", "10-9"} << 0 << "0\n";
        QTest::newRow("text result with umfaktor")
            << QStringList{"ProdBackOrderFRN", "10-1", "--umfaktor", "3000"} << 0
            << "0.333333333333333\n";
        QTest::newRow("period given")
            << QStringList{"SalesPerWeekFRN", "10-1", "--period", "2010-11-18"} << 0 << "15\n";
        QTest::newRow("whole-table total") << QStringList{"GSLPJ"} << 0 << "0.0125\n";
        QTest::newRow("umfaktor 0 fails")
            << QStringList{"ProdOrderPJ", "10-1", "--umfaktor", "0"} << 1 << "umfaktor";
        for (const char *inPacks : {"ProdOrderFRN", "ProdBackOrderFRN", "StockOnHandPJ",
                                    "ProdBackOrderPJ", "ProdOrderPJ", "SalesPerWeek"})
            QTest::addRow("%s without umfaktor", inPacks)
                << QStringList{inPacks, "10-1"} << 2 << "--umfaktor";
        QTest::newRow("missing product") << QStringList{"avail"} << 2 << "produktnummer";
        QTest::newRow("extra product") << QStringList{"backordersPJ", "10-1"} << 2 << "10-1";
        QTest::newRow("unknown operation") << QStringList{"konvertdatum", "x"} << 2 << "Okänd";
        QTest::newRow("no operation") << QStringList{} << 2 << "operation";
        QTest::newRow("bad umfaktor")
            << QStringList{"ProdOrderPJ", "10-1", "--umfaktor", "tio"} << 2 << "tio";
        QTest::newRow("nan umfaktor")
            << QStringList{"ProdOrderPJ", "10-1", "--umfaktor", "nan"} << 2 << "--umfaktor nan";
        QTest::newRow("infinite umfaktor")
            << QStringList{"ProdOrderPJ", "10-1", "--umfaktor", "inf"} << 2 << "--umfaktor inf";
        QTest::newRow("denormal umfaktor")
            << QStringList{"ProdOrderPJ", "10-1", "--umfaktor", "1e-320"} << 1 << "ProdOrderPJ";
    }

    void figureCommand() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill({pjomr("10-1", L(2)), history("10-1"), item("PJOFBACK", S("10-1"), L(1)),
              item("PJOTALLA", S("10-1"), L(1)), item("pjstk", S("10-1"), D(12.5))});
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), store->path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LODVIK_EXECUTABLE), QStringList{"figure"} + arguments);
        QVERIFY(process.waitForFinished(60000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), exitCode);
        if (exitCode == 0)
            QCOMPARE(out, output);
        else
            QVERIFY2(err.contains(output), qPrintable(err));
    }

    // Results that never reach stdout (here a full disk) make the command fail, not exit 0.
    void fullStdout_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("search") << QStringList{"search", "--produkt", ""};
        QTest::newRow("figure") << QStringList{"figure", "getantaliforpack", "10-1"};
        QTest::newRow("convert-dates") << QStringList{"convert-dates", "order"};
        QTest::newRow("coverage") << QStringList{"coverage", "--period", "2010-11-18"};
        QTest::newRow("summary") << QStringList{"summary", "--period", "2010-11-18"};
    }

    void fullStdout() {
        QFETCH(QStringList, arguments);
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("this system has no /dev/full");
        store->insert(QStringLiteral("tillfall"), {L(1)});
        fill({pjomr("10-1", L(2)), history("10-1")});
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), store->path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LODVIK_EXECUTABLE), {"demo"}); // search data of 10-1
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(LODVIK_EXECUTABLE), arguments);
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("standard ut")), qPrintable(err));
    }

    void demoStoreGivesEveryFigure() {
        QTemporaryDir folder;
        const QString local = folder.filePath(QStringLiteral("local.mdb"));
        createDemoLocalStore(local);
        const QString period = QStringLiteral("2026-11-18");
        const QStringList totals{"backordersPJ",
                                 "outsidePJ",
                                 "orderscurrmonthPJ",
                                 "salescurrmonthPJ",
                                 "salespriormonthPJ",
                                 "GSLPJ",
                                 "GSCPJ",
                                 "GITPJ",
                                 "backordersFRN",
                                 "GSCFRN",
                                 "orderscurrmonthFRN",
                                 "outsideFRN",
                                 "salescurrmonthFRN",
                                 "salespriormonthFRN",
                                 "salespriormonthDP",
                                 "salescurrmonthDP",
                                 "orderscurrmonthDP",
                                 "outsideDP",
                                 "GSCDP",
                                 "backordersDP"};
        for (const QString &name : totals) {
            const Variant v = figure(name, QString(), period, 0, local);
            QVERIFY2(v.type() == Variant::Type::Double && v.number() > 0, qPrintable(name));
        }
        // The per-product figures of one product, as a coverage run calls them.
        dao::Database db = dao::Database::OpenDatabase(local);
        dao::Recordset products = db.OpenRecordset(QStringLiteral("SELECT * FROM pjomr"));
        const QString product = products.Fields(QStringLiteral("iblitm")).toText();
        const double umfaktor = products.Fields(QStringLiteral("umconv")).toDouble() * 1000;
        QVERIFY(umfaktor > 0);
        for (const char *name :
             {"StockOnHandPJ", "ProdBackOrderPJ", "ProdOrderPJ", "SalesPerWeek", "avail",
              "StockOnHandFRN", "ProdOrderFRN", "SalesPerWeekFRN", "getlagersaldo"}) {
            const Variant v = figure(QString::fromUtf8(name), product, period, umfaktor, local);
            QVERIFY2(v.type() == Variant::Type::Double && v.number() != 0, name);
        }
        QVERIFY(figure("ProdBackOrderFRN", product, period, umfaktor, local).text() !=
                QLatin1String("0"));
        QVERIFY(!progress.captions.isEmpty());
        // The forecast dates convert, two-digit years included.
        figures::DateConversion(local, progress).konvereraprognosdatum();
        dao::Recordset left = db.OpenRecordset(
            QStringLiteral("SELECT count(*) FROM fpprognos WHERE MFDRQJ LIKE '%-%'"));
        QCOMPARE(left.Fields(0).number(), 0.0);
    }

    void missingStore() {
        QTemporaryDir empty;
        QVERIFY_THROWS_EXCEPTION(
            lodvik::Error,
            figure("GSLPJ", QString(), QString(), 0, empty.filePath(QStringLiteral("local.mdb"))));
    }
};

QTEST_GUILESS_MAIN(FiguresTest)
#include "tst_figures.moc"
