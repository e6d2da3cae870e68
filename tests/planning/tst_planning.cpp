#include "../common/DataRows.h"
#include "../common/Refusal.h"
#include "MDlib/Error.h"
#include "planning/Planning.h"
#include "planning/PlanningStore.h"
#include "planning/RulesFile.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <bit>

using planning::Item;
using N = std::optional<double>;

Q_DECLARE_METATYPE(Item)
Q_DECLARE_METATYPE(PlanningRule)

namespace {

// A product of a run by the numbers planning reads: total stock G, cover H, back orders J,
// orders on their way L and weekly sales O.
Item item(N g, N h, N j, N l, N o, PlanningRule rule = {},
          std::optional<PlanningMark> mark = std::nullopt) {
    return {QStringLiteral("P1"), {}, g, h, j, l, o, rule, mark, {}};
}

PlanningRule rule(double lead, double safetyWeeks, double safetyPacks, qint64 multiple,
                  qint64 minimum) {
    return {lead, safetyWeeks, safetyPacks, multiple, minimum, {}, {}};
}

// A rule that follows the trend, and an item with a trend of slope a week over five runs.
PlanningRule following(double lead) {
    return {lead, 0, 0, 1, 0, {}, {}, true};
}
Item trending(Item i, double slope) {
    i.trend = planning::SalesTrend{slope, 5};
    return i;
}

PlanningMark ordered(double packs) {
    return {PlanningMark::Kind::Ordered, QDate(2010, 11, 19), packs};
}

const PlanningMark discontinued{PlanningMark::Kind::Discontinued, {}, 0};

// P1 of the hand-worked store: 4 a week, 15 in stock, cover 4; target 4 weeks.
Item p1(const PlanningRule &r = {}, std::optional<PlanningMark> mark = std::nullopt, N l = {}) {
    return item(15, 4, {}, l, 4, r, mark);
}

} // namespace

class TestPlanning : public QObject {
    Q_OBJECT

private slots:
    // The packs to order and the urgency, worked out by hand.
    void suggestion_data() {
        QTest::addColumn<Item>("row");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("suggestion"); // -1: none
        QTest::addColumn<int>("urgency");
        using U = planning::Urgency;
        const PlanningRule lead2 = rule(2, 0, 0, 1, 0);
        // 4 a week × 6 weeks = 24 wanted, 15 in stock: 9 packs; cover 4 < 6.
        addRow("short of the target", p1(), 6, 9, int(U::BelowTarget));
        // The rounded cover meets the target; the stock is still a pack short.
        addRow("rounded cover meets the target", p1(), 4, 1, int(U::Plain));
        addRow("well covered", item(100, 25, {}, {}, 4), 4, -1, int(U::Plain));
        // No sales: stock and back orders alike give no suggestion.
        addRow("zero sales", item(5, 0, 3, {}, {}), 4, -1, int(U::NoSales));
        addRow("negative sales", item(5, -3, {}, {}, -2), 4, -1, int(U::NoSales));
        // 2 × 4 + 9 − 4 on the way + 2 back orders = 15.
        addRow("negative stock", item(-9, -5, 2, 4, 2), 4, 15, int(U::Urgent));
        addRow("back orders only", item(0, {}, 6, {}, 1), 4, 10, int(U::Urgent));
        // 3 × 4 − 2 − 10 on the way = 0: nothing more to order, although the cover is short.
        addRow("orders on the way fill it", item(2, 1, {}, 10, 3), 4, -1, int(U::Urgent));
        addRow("lead time 2: 4 × 6 − 15", p1(lead2), 4, 9, int(U::Plain));
        addRow("half a week's lead time", p1(rule(0.5, 0, 0, 1, 0)), 4, 3, int(U::Plain));
        addRow("safety weeks 1: 4 × 5 − 15", p1(rule(0, 1, 0, 1, 0)), 4, 5, int(U::Plain));
        addRow("safety packs 3: 16 + 3 − 15", p1(rule(0, 0, 3, 1, 0)), 4, 4, int(U::Plain));
        addRow("multiple 6 rounds 1 up", p1(rule(0, 0, 0, 6, 0)), 4, 6, int(U::Plain));
        addRow("multiple already met", p1(rule(2, 0, 0, 3, 0)), 4, 9, int(U::Plain));
        addRow("minimum 10 raises 1", p1(rule(0, 0, 0, 1, 10)), 4, 10, int(U::Plain));
        addRow("minimum below the multiple", p1(rule(0, 0, 0, 6, 5)), 4, 6, int(U::Plain));
        addRow("minimum above the multiple", p1(rule(0, 0, 0, 6, 10)), 4, 10, int(U::Plain));
        // 4 × 7 + 2 − 15 − 20 on the way < 0: no minimum without a need.
        addRow("no need, no minimum", p1(rule(2, 1, 2, 5, 10), {}, 20), 4, -1, int(U::Plain));
        addRow("everything: 4 × 7 + 2 − 15 − 3 = 12 → 15 → 20", p1(rule(2, 1, 2, 5, 20), {}, 3), 4,
               20, int(U::Plain));
        addRow("discontinued", p1(lead2, discontinued), 4, -1, int(U::Plain));
        // Ordered: nothing more until the order is among those on their way (L).
        addRow("ordered, not yet on its way", p1(lead2, ordered(9), 4), 4, -1, int(U::Plain));
        addRow("ordered and on its way: 24 − 15 − 9", p1(lead2, ordered(5), 9), 4, -1,
               int(U::Plain));
        addRow("ordered, on its way, more needed: 24 − 15 − 5", p1(lead2, ordered(5), 5), 4, 4,
               int(U::Plain));
        addRow("ordered without packs holds", p1(lead2, ordered(0), 50), 4, -1, int(U::Plain));
        // The trend's rate over lead time and target: 4 + 1 × 4 ÷ 2 = 6 a week; 6 × 4 − 15.
        addRow("following a rising trend", trending(p1(following(0)), 1), 4, 9, int(U::Plain));
        addRow("a trend the rule does not follow", trending(p1(), 1), 4, 1, int(U::Plain));
        addRow("following without a trend", p1(following(0)), 4, 1, int(U::Plain));
        // 4 − 3 × (2 + 4) ÷ 2 is below nothing: no sales to cover.
        addRow("following a steep fall", trending(p1(following(2)), -3), 4, -1, int(U::Plain));
    }

    void suggestion() {
        QFETCH(Item, row);
        QFETCH(int, target);
        QFETCH(int, suggestion);
        QFETCH(int, urgency);
        const std::optional<qint64> packs = planning::reorderSuggestion(row, target);
        QCOMPARE(packs.has_value() ? int(*packs) : -1, suggestion);
        QCOMPARE(int(planning::urgency(row, target)), urgency);
        // The drill-down ends on the same figure.
        const QString explained = planning::suggestionExplanation(row, target);
        QVERIFY2(packs ? explained.endsWith(QStringLiteral("förslag %1 förp.").arg(*packs))
                       : explained.contains(QStringLiteral("inget förslag")),
                 qPrintable(explained));
    }

    // Period 2010-11-18, target 4 weeks (to 2010-12-16), today 2010-12-02.
    void stockoutAndOrderBy_data() {
        QTest::addColumn<Item>("row");
        QTest::addColumn<QString>("stockout");
        QTest::addColumn<QString>("orderBy");
        QTest::addColumn<int>("urgency");
        using U = planning::OrderUrgency;
        const auto at = [](N cover, N sales, double lead, std::optional<PlanningMark> mark = {}) {
            return item({}, cover, {}, {}, sales, rule(lead, 0, 0, 1, 0), mark);
        };
        addRow("5 weeks, no lead time", at(5, 4, 0), "2010-12-23", "2010-12-23", int(U::Enough));
        addRow("5 weeks, 2 weeks' lead time", at(5, 4, 2), "2010-12-23", "2010-12-09",
               int(U::WithinTarget));
        addRow("a part of a day counts as a day", at(5, 4, 1.5), "2010-12-23", "2010-12-12",
               int(U::WithinTarget));
        addRow("order by today", at(2, 4, 0), "2010-12-02", "2010-12-02", int(U::OrderNow));
        addRow("order by tomorrow", at(3, 4, 6.0 / 7), "2010-12-09", "2010-12-03",
               int(U::WithinTarget));
        addRow("cover 0 runs out on the period's date", at(0, 4, 1), "2010-11-18", "2010-11-11",
               int(U::OrderNow));
        addRow("empty cover with sales", at({}, 4, 0), "2010-11-18", "2010-11-18",
               int(U::OrderNow));
        addRow("negative cover", at(-3, 4, 0), "2010-11-18", "2010-11-18", int(U::OrderNow));
        addRow("no sales", at(0, {}, 1), "", "", int(U::None));
        // Stock against a trace of sales: no date a year holds, and no order due.
        addRow("cover of a million years", at(52e6, 4, 1), "", "", int(U::Enough));
        addRow("cover past any date", at(1e300, 4, 1), "", "", int(U::Enough));
        addRow("lead time past any date", at(5, 4, 1e300), "2010-12-23", "", int(U::OrderNow));
        // A mark leaves the dates; no order is due for it.
        addRow("ordered", at(2, 4, 0, ordered(3)), "2010-12-02", "2010-12-02", int(U::None));
        addRow("discontinued", at(2, 4, 0, discontinued), "2010-12-02", "2010-12-02", int(U::None));
    }

    void stockoutAndOrderBy() {
        QFETCH(Item, row);
        QFETCH(QString, stockout);
        QFETCH(QString, orderBy);
        QFETCH(int, urgency);
        const QDate period(2010, 11, 18);
        const auto iso = [](const std::optional<QDate> &d) {
            return d && d->year() <= 9999 ? d->toString(Qt::ISODate) : QString();
        };
        QCOMPARE(iso(planning::stockoutDate(row, period)), stockout);
        QCOMPARE(iso(planning::orderByDate(row, period)), orderBy);
        QCOMPARE(int(planning::orderUrgency(row, period, 4, QDate(2010, 12, 2))), urgency);
    }

    // pjomr listing a product twice, or in another case, orders it once; the totals count it
    // once too, and as many packs as the proposal holds.
    void proposalTakesAProductOnce() {
        std::vector<Item> rows;
        for (const char *number : {"ÅB-1", "P2", "åb-1", "P3"}) {
            rows.push_back(item(0, 0, {}, {}, 2));
            rows.back().product = QString::fromUtf8(number);
        }
        rows[3].rule.supplier = QStringLiteral("Acme");
        std::vector<const Item *> all;
        for (const Item &i : rows)
            all.push_back(&i);
        const auto lines = planning::proposalLines(all, 4);
        QCOMPARE(lines.size(), size_t(3)); // Acme first, then P2, then Å after Z
        QCOMPARE(lines[0].row, &rows[3]);
        QCOMPARE(lines[1].row, &rows[1]);
        QCOMPARE(lines[2].row, &rows[0]);
        const planning::OrderTotal total = planning::orderTotal(all, 4);
        QCOMPARE(total.packs, qint64(24));
        QCOMPARE(total.products, 3);
        QCOMPARE(planning::proposalLines(all, 4, QStringLiteral("Acme")).size(), size_t(1));
    }

    void rulesCsv_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("errors"); // each a part of one message, in order
        QTest::addColumn<PlanningRule>("first"); // the first product's rule, when no error
        const QByteArray header =
            "product;lead_time_weeks;safety_weeks;safety_packs;multiple;minimum;supplier;group\n";
        const PlanningRule acme{
            1.5, 0.5, 2, 6, 12, QStringLiteral("Acme AB"), QStringLiteral("Pall")};
        const auto supplied = [](const char *supplier, const char *group = "G") {
            return PlanningRule{
                1, 0, 0, 1, 0, QString::fromUtf8(supplier), QString::fromUtf8(group)};
        };
        // A file read without a word, the first product's rule; a file refused, its messages.
        const auto reads = [](const char *name, const QByteArray &file, const PlanningRule &rule) {
            addRow(name, file, QStringList(), rule);
        };
        const auto refused = [](const char *name, const QByteArray &file,
                                const QStringList &errors) {
            addRow(name, file, errors, PlanningRule{});
        };
        reads("semicolons, decimal comma, BOM",
              "\xEF\xBB\xBF" + header + "A1;1,5;0,5;2;6;12;Acme AB;Pall\n", acme);
        reads("commas, decimal point, no header", "A1,1.5,0.5,2,6,12,Acme AB,Pall\n", acme);
        reads("quoted supplier, short line, blank lines",
              "A1;1;;;;;\"Bolaget; \"\"Öst\"\"\";G\r\n\r\nA2;2\r\n", supplied("Bolaget; \"Öst\""));
        // A product number or name with blanks at an end reads back as it was saved.
        reads("blanks and a tab at the ends of quoted fields",
              "\"A1 \";1;;;;;\"  Acme  \";\"\tPall\"\n", supplied("  Acme  ", "\tPall"));
        reads("a supplier over two lines", "A1;1;;;;;\"Acme\nNorr\";G\n", supplied("Acme\nNorr"));
        // What a spreadsheet would run as a formula is saved with an apostrophe before it.
        reads("a formula-like supplier, saved", "A1;1;;;;;'=HYPERLINK(\"x\");G\n",
              supplied("=HYPERLINK(\"x\")"));
        refused("a line break in a quoted field, lines counted past it",
                "A1;1;;;;;\"Acme\r\nNorr\";G\nA2;1;;;;;S;G;x\n",
                {"Rad 3, kolumn follow_trend: \"x\" är varken ja eller nej"});
        refused("each bad line and column",
                header + "A1;x;;;;\nA2;;;;0;\nA3;;-1;;;2,5\n;1\nA4;1;1;1;1;1;S;G;ja;extra\n",
                {"Rad 2, kolumn lead_time_weeks", "Rad 3, kolumn multiple",
                 "Rad 4, kolumn safety_weeks", "Rad 4, kolumn minimum", "Rad 5, kolumn product",
                 "Rad 6: 10 kolumner"});
        // Values no rule can mean: the product's suggestion would be lost without a word.
        refused("values past a rule's range",
                "A1;1e18\nA2;;521\nA3;;;1e308\nA4;;;;2000000\nA5;;;;;1e12\n",
                {"Rad 1, kolumn lead_time_weeks: 1e18 är fler veckor än 520",
                 "Rad 2, kolumn safety_weeks", "Rad 3, kolumn safety_packs",
                 "Rad 4, kolumn multiple", "Rad 5, kolumn minimum"});
        reads("a product called Product after the header",
              header + "Product;1,5;0,5;2;6;12;Acme AB;Pall\nZ0;1\n", acme);
        refused("a product twice", "A1;1\nA2;1\nA1;2\n",
                {"Rad 3, kolumn product: A1 står redan på rad 1"});
        refused("decimal comma in a comma file", "A1,1,5\nA2,1,5,0,1,0,S,G,nej,H\n",
                {"Rad 2: 10 kolumner"});
        PlanningRule following = acme;
        following.followTrend = true;
        reads("following the trend", header + "A1;1,5;0,5;2;6;12;Acme AB;Pall;Ja\n", following);
        refused("a quote left open", "A1;1;;;;;\"Acme\n", {"Rad 1: ett citattecken"});
        refused("a NUL in a product number", QByteArray("A1;1\nA2\0;1\n", 11),
                {"Rad 2, kolumn product: ett nolltecken"});
        // Nothing at all would replace every rule with none.
        refused("an empty file", QByteArray(), {"Filen är tom"});
        refused("a BOM and blank lines", "\xEF\xBB\xBF\r\n \n", {"Filen är tom"});
        // A spreadsheet's Windows-1252 CSV: Å read as UTF-8 would be stored as U+FFFD.
        refused("a line not in UTF-8", "A1;1;;;;;\xC5kes;G\nA2;1;;;;;\xC3\x85kes;G\n", {"Rad 1: "});
    }

    void rulesCsv() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, errors);
        QFETCH(PlanningRule, first);
        QStringList found;
        const PlanningRules read = planning::parseRulesCsv(file, &found);
        QCOMPARE(found.size(), errors.size());
        for (int i = 0; i < errors.size(); ++i)
            QVERIFY2(found[i].startsWith(errors[i]), qPrintable(found[i]));
        if (!errors.isEmpty())
            return;
        QCOMPARE(read.begin()->second, first);
        // What is saved reads back the same.
        QStringList again;
        QCOMPARE(planning::parseRulesCsv(planning::rulesCsv(read), &again), read);
        QVERIFY(again.isEmpty());
    }

    // Texts a spreadsheet would run are saved inert, and every text reads back as it was.
    void rulesFileKeepsEveryText() {
        const QStringList texts =
            QStringLiteral("=HYPERLINK(\"http://x\")|+1+1|-A1+B1|@SUM(A1)|\t=1|"
                           "'=x|''|'s Bolaget|-12|-1,5|'| = ")
                .split(QLatin1Char('|'));
        PlanningRules rules;
        for (const QString &t : texts)
            rules[t] = PlanningRule{0, 0, 0, 1, 0, t, t};
        const QByteArray saved = planning::rulesCsv(rules);
        for (const QByteArray &line : saved.split('\n'))
            for (const QByteArray &field : line.split(';'))
                QVERIFY2(field.isEmpty() || !QByteArray("=+@\t").contains(field.at(0)) ||
                             field.startsWith("\"\t"),
                         field.constData());
        QStringList errors;
        QCOMPARE(planning::parseRulesCsv(saved, &errors), rules);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    }

    // sokdata.db's rules and marks read through SQLite give what the store reads through Qt's
    // driver, on values the typed columns may still hold.
    void planningFileReadAsTheStore_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("mark");
        addRow("plain", "'P1', 1.5, 0.25, 2, 12, 24, 'Lev AB', 'Pall', 1",
               "'2026-03-15', 'P1', 'ordered', '2026-03-01', 2.5");
        addRow("non-ASCII and empty texts", "'Å-1', 0, 0, 0, 1, 0, 'Åhlén', '', 0",
               "'2026-03-15', 'Å-1', 'discontinued', NULL, NULL");
        addRow("texts in number columns", "'P2', 'abc', '2,5', ' 3 ', 'x', '7', 's', 'g', 'ja'",
               "'2026-03-15', 'P2', 'ordered', 'no date', 'many'");
        addRow("fractions in whole-number columns", "'P3', 1, 1, 1, 2.5, -3.7, 's', 'g', 0.5",
               "'2026-03-15', 'P3', 'other', 20260301, 3");
        addRow("large numbers",
               "'P4', 1e308, -0.0, 9007199254740993, 9223372036854775807, 9.3e18, 's', 'g', 1e300",
               "'2026-03-15', 'P4', 'ordered', '9999-12-31', 1e300");
        addRow("blobs", "X'50', 1, 1, 1, 1, 1, X'414243', X'', X'31'",
               "'2026-03-15', X'50', X'6f726465726564', X'32', X'33'");
        addRow("another period's mark", "'P5', 1, 1, 1, 1, 1, 's', 'g', 1",
               "'2026-03-16', 'P5', 'ordered', '2026-03-01', 1");
    }

    void planningFileReadAsTheStore() {
        QFETCH(QString, rule);
        QFETCH(QString, mark);
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("sokdata.db"));
        const std::unique_ptr<PlanningStore> store = openPlanningStore(home.path());
        QVERIFY2(sql(file, {"INSERT INTO planning_rule VALUES (" + rule + ")",
                            "INSERT INTO planning_mark VALUES (" + mark + ")"})
                     .isEmpty(),
                 "insert");
        const QString period = QStringLiteral("2026-03-15");
        const auto read = readPlanningFile(file, period);
        QVERIFY(read);
        QVERIFY(read->first == store->rules());
        for (const auto &[product, r] : store->rules())
            QCOMPARE(std::bit_cast<quint64>(read->first.at(product).leadTimeWeeks),
                     std::bit_cast<quint64>(r.leadTimeWeeks));
        const PlanningMarks marks = store->marks(period);
        QCOMPARE(read->second.size(), marks.size());
        for (const auto &[product, m] : marks) {
            QVERIFY(read->second.count(product));
            const PlanningMark &r = read->second.at(product);
            QCOMPARE(int(r.kind), int(m.kind));
            QCOMPARE(r.orderedOn, m.orderedOn);
            QCOMPARE(std::bit_cast<quint64>(r.orderedPacks),
                     std::bit_cast<quint64>(m.orderedPacks));
        }
    }

    // A store another program is writing is refused in the operator's words, SQLite's own after
    // "Detaljer:", a mark and the rules alike, and keeps what it held.
    void planningStoreLocked() {
        QTemporaryDir home;
        const std::unique_ptr<PlanningStore> store = openPlanningStore(home.path());
        const PlanningMark gone{PlanningMark::Kind::Discontinued, {}, 0};
        store->setMark(QStringLiteral("2010-11-18"), QStringLiteral("P1"), gone);
        QStringList messages;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "locker");
            db.setDatabaseName(home.filePath(QStringLiteral("sokdata.db")));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("DELETE FROM planning_mark")));
            messages << refusal([&] {
                store->setMark(QStringLiteral("2010-11-18"), QStringLiteral("P2"), gone);
            }) << refusal([&] {
                store->replaceRules({{QStringLiteral("P1"), PlanningRule{}}});
            });
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        for (const QString &message : messages)
            QVERIFY2(message.contains(QStringLiteral("låst av ett annat program")) &&
                         message.contains(QStringLiteral("\nDetaljer: SQLite-fel 5")),
                     qPrintable(message));
        QCOMPARE(store->marks(QStringLiteral("2010-11-18")).size(), size_t(1));
        QVERIFY(store->rules().empty());
    }

    // A sokdata.db the search source would still add to is left to the store, which adds it. A
    // planning table that is missing and cannot be made is named in Swedish, with what to do on a
    // server, and SQLite's own words only after "Detaljer:".
    void incompletePlanningFile() {
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("sokdata.db"));
        openPlanningStore(home.path());
        QCOMPARE(sql(file, {"DROP TABLE LagerA"}), QString());
        QVERIFY(!readPlanningFile(file, QStringLiteral("2026-03-15")));
        openPlanningStore(home.path());
        QVERIFY(readPlanningFile(file, QStringLiteral("2026-03-15")));
        const QString other = home.filePath(QStringLiteral("other.db"));
        QCOMPARE(sql(other, {"CREATE TABLE x (a)"}), QString());
        QVERIFY(!readPlanningFile(other, QString()));
        // An index of the table's name: no table to read, and none can be made.
        QCOMPARE(sql(file, {"DROP TABLE planning_mark",
                            "CREATE INDEX planning_mark ON planning_rule (product)"}),
                 QString());
        const QString message = refusal([&] { openPlanningStore(home.path()); });
        const qsizetype details = message.indexOf(QStringLiteral("\nDetaljer: "));
        QVERIFY2(message.startsWith(QStringLiteral("Tabellen planning_mark saknas i ")) &&
                     message.contains(QStringLiteral("server/sokdata-postgresql.sql")) &&
                     details > 0 && message.indexOf(QStringLiteral("already")) > details,
                 qPrintable(message));
    }

private:
    // Runs statements on an SQLite file; the first error, or "".
    static QString sql(const QString &file, const QStringList &statements) {
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "direct");
            db.setDatabaseName(file);
            if (!db.open())
                error = db.lastError().text();
            for (const QString &s : statements) {
                QSqlQuery q(db);
                if (error.isEmpty() && !q.exec(s))
                    error = q.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("direct"));
        return error;
    }
};

QTEST_MAIN(TestPlanning)
#include "tst_planning.moc"
