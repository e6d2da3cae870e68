#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/Refusal.h"
#include "MDlib/Error.h"
#include "TestServer.h"
#include "planning/HistoryChanges.h"
#include "planning/HistorySettings.h"
#include "planning/RunHistory.h"
#include "planning/SalesTrend.h"
#include "planning/SnapshotChunk.h"

#include <QSqlError>
#include <QTemporaryDir>
#include <QtTest>

#include <mutex>
#include <thread>

using namespace planning;
using Numbers = std::optional<double>;

// The kept runs, one test body for every store: sokdata.db and the server through both drivers
// (skipped when no test server is running).

namespace {

SnapshotRow row(const QString &product, Numbers stockTotal, Numbers cover, Numbers sales,
                std::optional<qint64> suggestion = {}, PlanningRule rule = {}) {
    SnapshotRow r;
    r.product = product;
    r.description = r.product + QStringLiteral(" beskrivning");
    r.stockTotal = stockTotal;
    r.coverWeeks = cover;
    r.salesPj = sales;
    r.suggestion = suggestion;
    r.rule = rule;
    return r;
}

Snapshot snapshot(const char *period, std::vector<SnapshotRow> rows) {
    return {{QString::fromLatin1(period), QDateTime(QDate(2026, 11, 20), QTime(6, 0), Qt::UTC), 4,
             int(rows.size()), RunOrigin::CommandLine},
            std::move(rows)};
}

PlanningRule leadTime(double weeks, qint64 multiple = 1, const QString &supplier = {}) {
    return {weeks, 0, 0, multiple, 0, supplier, {}, false};
}
const PlanningRule supplierRule = leadTime(2, 6, QStringLiteral("Åkessons"));

// Three weekly runs worked out by hand. A sells more and runs out two weeks earlier in the
// second; B's rule changes, then its sales fall by a third; C starts selling, then goes; D goes;
// E comes, then needs ordering while its stock-out date moves exactly a week earlier (no change).
std::vector<Snapshot> threeRuns() {
    return {snapshot("2026-11-02", {row("A", 60, 6, 10), row("B", 80, 10, 8, {}, leadTime(2)),
                                    row("C", 5, {}, {}), row("D", 1, 1, 1, 3)}),
            snapshot("2026-11-09", {row("A", 39, 3, 13, 12), row("B", 54, 9, 6, {}, supplierRule),
                                    row("C", 5, 3, 2), row("E", 40, 4, 5)}),
            snapshot("2026-11-16", {row("A", 36, 3, 12, 10), row("B", 48, 12, 4, {}, supplierRule),
                                    row("E", 10, 2, 5, 8)})};
}

// Every number kind a chunk holds, over more products than one chunk: fractions, negatives,
// numbers past 32 bits, nothing and 0 apart, and rules with texts.
std::vector<SnapshotRow> manyRows(int n) {
    std::vector<SnapshotRow> rows;
    for (int i = 0; i < n; ++i) {
        SnapshotRow r = row(QStringLiteral("P%1ö").arg(i), i % 7 ? Numbers(i * 3) : 0,
                            i % 5 ? Numbers(i % 40 - 5) : std::nullopt, i * 0.25);
        r.unitsPerPack = i % 3 ? Numbers(1000.0 / (i + 1)) : std::nullopt;
        r.stockFrn = 5e9 + i;
        r.orderTotal = -i;
        r.suggestion = i % 4 ? std::optional<qint64>(qint64(i) << 33) : std::nullopt;
        r.urgency = i % 4;
        const QString supplier = QStringLiteral("Lev %1").arg(i % 11);
        const QString group = i % 2 ? QStringLiteral("Grupp") : QString();
        r.rule = {i * 0.5, 1, 2.5, i % 9 + 1, i % 3, supplier, group, i % 5 == 0};
        rows.push_back(r);
    }
    return rows;
}

// One kind of store, empty for each case, and the history kept in it.
struct Store : TestStore {
    using TestStore::TestStore;
    std::unique_ptr<RunHistory> history() const { return std::make_unique<RunHistory>(open()); }
};

// A product's kept runs, and the periods left out as unreadable.
std::pair<std::vector<SeriesPoint>, QStringList> series(const RunHistory &history,
                                                        const QString &product) {
    QStringList unreadable;
    auto points = history.series(product, unreadable);
    return {std::move(points), unreadable};
}

// The trend's weekly sales as (product, day of the period, sales) in the map's order.
using Sales = QList<std::tuple<QString, int, double>>;
std::pair<Sales, QStringList> sales(const RunHistory &history, const QSet<QString> &products,
                                    const char *before, int runs) {
    QStringList unreadable;
    Sales flat;
    for (const auto &[product, points] :
         history.salesSeries(products, QString::fromLatin1(before), runs, unreadable))
        for (const SalesPoint &point : points)
            flat.append({product, point.period.day(), point.salesPerWeek});
    return {flat, unreadable};
}

QStringList periods(const RunHistory &history) {
    QStringList list;
    for (const SnapshotInfo &info : history.snapshots())
        list << info.period;
    return list;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<Store> m_store;

private slots:
    // A store case, its row named by the store, gets that store empty; a server case skips when
    // no test server is running.
    void init() {
        const QString kind = QString::fromLatin1(QTest::currentDataTag());
        if (!TestStore::kinds.contains(kind))
            return;
        if (!TestStore::available(kind))
            QSKIP(qPrintable(TestServer::missing()));
        m_store = std::make_unique<Store>(kind);
    }
    void cleanup() { m_store.reset(); }

    void threeRunsChangesAndSeries_data() { TestStore::addKinds(); }
    void threeRunsChangesAndSeries() {
        const auto runs = threeRuns();
        auto history = m_store->history();
        for (const Snapshot &run : runs)
            history->write(run, DefaultRetainedPeriods);
        QCOMPARE(periods(*history), (QStringList{"2026-11-02", "2026-11-09", "2026-11-16"}));
        QCOMPARE(history->periodBefore(QStringLiteral("2026-11-16")), QStringLiteral("2026-11-09"));
        QCOMPARE(history->periodBefore(QStringLiteral("2026-11-02")), std::nullopt);
        for (const Snapshot &run : runs) {
            const auto kept = history->read(run.info.period);
            QVERIFY(kept);
            QCOMPARE(kept->info, run.info);
            QVERIFY(kept->rows == run.rows);
        }

        const auto first = *history->read(QStringLiteral("2026-11-02"));
        const auto second = *history->read(QStringLiteral("2026-11-09"));
        const auto third = *history->read(QStringLiteral("2026-11-16"));
        const QString a = QStringLiteral("A beskrivning"), b = QStringLiteral("B beskrivning");
        const QVariant none;
        const std::vector<Change> firstWeek = {
            {"A", a, ChangeKind::NeedsOrder, none, 12.0},
            {"A", a, ChangeKind::StockoutEarlier, QDate(2026, 12, 14), QDate(2026, 11, 30)},
            {"A", a, ChangeKind::SalesUp, 10.0, 13.0},
            {"B", b, ChangeKind::Rule, "ledtid 2 v, säkerhet 0 v + 0 förp., multipel 1, minst 0",
             "ledtid 2 v, säkerhet 0 v + 0 förp., multipel 6, minst 0, leverantör Åkessons"},
            {"C", "C beskrivning", ChangeKind::SalesUp, none, 2.0},
            {"E", "E beskrivning", ChangeKind::New, none, 40.0},
            {"D", "D beskrivning", ChangeKind::Vanished, 1.0, none},
        };
        QCOMPARE(changesBetween(first, second, DefaultSalesChangeShare), firstWeek);
        const std::vector<Change> secondWeek = {
            {"B", b, ChangeKind::SalesDown, 6.0, 4.0},
            {"E", "E beskrivning", ChangeKind::NeedsOrder, none, 8.0},
            {"C", "C beskrivning", ChangeKind::Vanished, 5.0, none},
        };
        QCOMPARE(changesBetween(second, third, DefaultSalesChangeShare), secondWeek);
        // B's 8 → 6 is exactly a quarter: only a larger share counts.
        QCOMPARE(changesBetween(first, second, 0.2).at(3).kind, ChangeKind::SalesDown);

        const auto [a3, none3] = series(*history, QStringLiteral("A"));
        QCOMPARE(a3.size(), size_t(3));
        QCOMPARE(none3, QStringList());
        for (size_t i = 0; i < 3; ++i) {
            QCOMPARE(a3[i].info, runs[i].info);
            QVERIFY(a3[i].row == runs[i].rows[0]);
        }
        const auto gone = series(*history, QStringLiteral("C")).first;
        QCOMPARE(gone.size(), size_t(2));
        QCOMPARE(gone[1].row.salesPj, 2.0);
        QVERIFY(series(*history, QStringLiteral("a")).first.empty());
        // The trend's sales: the runs kept before the period, the latest so many, oldest first,
        // of the products asked; C's empty cell as 0.
        QCOMPARE(sales(*history, {"A", "C"}, "2026-11-16", 5).first,
                 (Sales{{"A", 2, 10}, {"A", 9, 13}, {"C", 2, 0}, {"C", 9, 2}}));
        QCOMPARE(sales(*history, {"B", "Z"}, "2026-11-17", 2).first,
                 (Sales{{"B", 9, 6}, {"B", 16, 4}}));

        // Two runs at once take turns: one saves its files and keeps its snapshot, then the
        // other; a run that cannot get its turn in time is refused before it saves anything.
        std::mutex mutex;
        QStringList log;
        const auto note = [&](const QString &who) {
            const std::lock_guard lock(mutex);
            log << who;
        };
        // A failure in the other thread is told here, where the test can report it.
        const auto keep = [&](const Snapshot &run, int waitMs, bool *saved) -> QString {
            return refusal([&] {
                m_store->history()->keep(
                    run, 104,
                    [&] {
                        *saved = true;
                        note(QString::number(run.rows.size()));
                        QThread::msleep(300);
                        note(QString::number(run.rows.size()));
                    },
                    waitMs);
            });
        };
        Snapshot three = runs[2];
        three.info.period = runs[0].info.period;
        bool saved[3] = {};
        QString otherFailed;
        std::jthread other([&] { otherFailed = keep(runs[0], 60000, &saved[0]); });
        QCOMPARE(keep(three, 60000, &saved[1]), QString());
        other.join();
        QCOMPARE(otherFailed, QString());
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0], log[1]);
        QCOMPARE(log[2], log[3]);
        QCOMPARE(QString::number(history->read(runs[0].info.period)->rows.size()), log[3]);

        const auto turn = history->takeTurn(0);
        std::jthread refused([&] { otherFailed = keep(runs[1], 200, &saved[2]); });
        refused.join();
        QVERIFY(otherFailed.startsWith(QStringLiteral("En annan täckningskörning")));
        QVERIFY(!saved[2]);
    }

    // A run whose files are not saved keeps nothing; then many products, replaced and pruned;
    // last, a run whose snapshot cannot be written after its files were saved says so.
    void manyProductsReplacedAndPruned_data() { TestStore::addKinds(); }
    void manyProductsReplacedAndPruned() {
        auto history = m_store->history();
        const Snapshot run = threeRuns()[0];
        QVERIFY_THROWS_EXCEPTION(lodvik::Cancelled,
                                 history->keep(run, 104, [] { throw lodvik::Cancelled(); }));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, history->keep(run, 104, [] {
            throw lodvik::Error(QStringLiteral("disken är full"));
        }));
        QVERIFY(history->snapshots().empty());

        const auto rows = manyRows(2100);
        history->write(snapshot("2026-01-05", rows), 3);
        auto kept = history->read(QStringLiteral("2026-01-05"));
        QVERIFY(kept);
        QCOMPARE(kept->rows.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            QVERIFY2(kept->rows[i] == rows[i], qPrintable(rows[i].product));
        QCOMPARE(series(*history, QStringLiteral("P2099ö")).first.at(0).row, rows[2099]);

        // The same period again replaces its snapshot; later periods push the oldest out.
        history->write(snapshot("2026-01-05", {rows[5], rows[1500]}), 3);
        QCOMPARE(history->read(QStringLiteral("2026-01-05"))->rows.size(), size_t(2));
        for (const char *period : {"2026-01-12", "2026-01-19", "2026-01-26"})
            history->write(snapshot(period, {rows[7]}), 3);
        QCOMPARE(periods(*history), (QStringList{"2026-01-12", "2026-01-19", "2026-01-26"}));
        QCOMPARE(history->read(QStringLiteral("2026-01-05")), std::nullopt);
        history->write(snapshot("2025-12-29", {rows[7]}), 3); // older than every kept one
        QCOMPARE(history->snapshots().size(), size_t(3));
        QCOMPARE(series(*history, QStringLiteral("P7ö")).first.size(), size_t(3));
        QCOMPARE(history->prune(1), 2);
        QCOMPARE(periods(*history), QStringList{"2026-01-26"});

        bool saved = false;
        history->keep(run, 104, [&] { saved = true; });
        QVERIFY(saved && history->read(run.info.period));
        // A record cut short is refused with a message, never read as numbers; a product's
        // series and the trend leave that run out and name it.
        history->write(snapshot("2026-11-09", {rows[7]}), 104);
        m_store->execute(
            QStringLiteral("UPDATE history_chunk SET data = substr(data, 1, 10) WHERE snapshot IN "
                           "(SELECT id FROM history_snapshot WHERE period = '2026-11-02')"));
        const QString damaged = refusal([&] { history->read(run.info.period); });
        QVERIFY2(damaged.contains(QStringLiteral("skadad")), qPrintable(damaged));
        const auto [a, aLeftOut] = series(*history, QStringLiteral("A"));
        QVERIFY(a.empty());
        QCOMPARE(aLeftOut, QStringList{"2026-11-02"});
        const auto [p7, p7LeftOut] = series(*history, QStringLiteral("P7ö"));
        QCOMPARE(p7.size(), size_t(2));
        QCOMPARE(p7LeftOut, QStringList{"2026-11-02"}); // whether it held P7ö cannot be read
        QCOMPARE(sales(*history, {"A", "P7ö"}, "2026-12-01", 5),
                 std::pair(Sales{{"P7ö", 26, 1.75}, {"P7ö", 9, 1.75}}, QStringList{"2026-11-02"}));
        const QString notice = history->unreadableNotice({"2026-11-02"});
        QVERIFY2(notice.contains(QStringLiteral("2026-11-02")) &&
                     notice.contains(QStringLiteral("skadad")),
                 qPrintable(notice));
        m_store->execute(QStringLiteral("DROP TABLE history_chunk"));
        saved = false;
        QVERIFY_THROWS_EXCEPTION(HistoryNotKept,
                                 history->keep(threeRuns()[1], 104, [&] { saved = true; }));
        QVERIFY(saved);
    }

    // The window's look-up reads what the scheduled run left and makes no table where none is
    // (a server's are made with its schema). A store made before rules could follow the trend
    // gets the column, off for every rule.
    void scheduledRunAndUpgrade_data() { TestStore::addKinds(); }
    void scheduledRunAndUpgrade() {
        QVERIFY(!planning::lastScheduledRun(*m_store->open()));
        if (QTest::currentDataTag() == TestStore::kinds.first())
            QVERIFY_THROWS_EXCEPTION(
                lodvik::Error, m_store->execute(QStringLiteral("SELECT * FROM history_chunk")));
        const ScheduledRunState failed{
            QDateTime(QDate(2026, 12, 6), QTime(5, 0), Qt::UTC), QStringLiteral("2026-12-06"),
            false, QStringLiteral("Extrakttabellen DTSPL saknas."), QStringLiteral("a.xls\n")};
        m_store->history()->setScheduledRun(failed);
        QVERIFY(planning::lastScheduledRun(*m_store->open()) == failed);

        m_store->execute(QStringLiteral("DROP TABLE IF EXISTS planning_rule"));
        m_store->execute(QStringLiteral(
            "CREATE TABLE planning_rule (product text PRIMARY KEY, lead_time_weeks double "
            "precision NOT NULL, safety_weeks double precision NOT NULL, safety_packs double "
            "precision NOT NULL, multiple bigint NOT NULL, minimum bigint NOT NULL, supplier text "
            "NOT NULL, product_group text NOT NULL)"));
        m_store->execute(QStringLiteral("INSERT INTO planning_rule VALUES ('P1', 2, 0, 0, 6, 0, "
                                        "'Åkessons', '')"));
        PlanningRules rules = openPlanningStore(m_store->open())->rules();
        QCOMPARE(rules.at(QStringLiteral("P1")), supplierRule);
        rules[QStringLiteral("P1")].followTrend = true;
        openPlanningStore(m_store->open())->replaceRules(rules);
        QVERIFY(openPlanningStore(m_store->open())->rules().at(QStringLiteral("P1")).followTrend);
    }

    // The kept periods, the sales change share and the scheduled weekday read, or a part of the
    // message refusing the settings.
    void settings_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("read");
        addRow("none", QString(), "104 0.25 1");
        addRow("other section only", "[sokdata]\ndriver=QSQLITE\n", "104 0.25 1");
        addRow("all set", "[historik]\nperioder=52\nforsaljningsandring=10\nveckodag=Fredag\n",
               "52 0.1 5");
        addRow("weekday as a number", "[historik]\nveckodag=7\n", "104 0.25 7");
        addRow("no periods", "[historik]\nperioder=0\n", "perioder");
        addRow("share not a number", "[historik]\nforsaljningsandring=10 %\n",
               "forsaljningsandring");
        addRow("no such day", "[historik]\nveckodag=8\n", "veckodag");
    }
    void settings() {
        QFETCH(QString, ini);
        QFETCH(QString, read);
        QTemporaryDir dir;
        if (!ini.isNull())
            QVERIFY(writeFile(dir.filePath(QStringLiteral("lodvikprodsok.ini")), ini.toUtf8()));
        QString got;
        const QString refused = refusal([&] {
            const HistorySettings s = readHistorySettings(dir.path());
            got = QStringLiteral("%1 %2 %3")
                      .arg(s.retainedPeriods)
                      .arg(s.salesChangeShare)
                      .arg(s.scheduledWeekday);
        });
        QVERIFY2(refused.isEmpty() ? got == read : refused.contains(read),
                 qPrintable(refused + got));
    }

    void scheduledPeriod_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("weekday");
        QTest::addColumn<QDate>("period");
        addRow("Monday on a Monday", QDate(2026, 12, 7), 1, QDate(2026, 12, 7));
        addRow("Monday on a Sunday", QDate(2026, 12, 13), 1, QDate(2026, 12, 7));
        addRow("Friday on a Wednesday", QDate(2026, 12, 9), 5, QDate(2026, 12, 4));
        addRow("Sunday across the year", QDate(2027, 1, 2), 7, QDate(2026, 12, 27));
    }
    void scheduledPeriod() {
        QFETCH(QDate, today);
        QFETCH(int, weekday);
        QFETCH(QDate, period);
        QCOMPARE(planning::scheduledPeriod(today, weekday), period);
    }

    // The window's word at its start: a failure always, a success only once a week has passed.
    void scheduledRunNotice_data() {
        QTest::addColumn<bool>("ran");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<QString>("says");
        addRow("never ran", false, false, 0, QString());
        addRow("ok a week ago", true, true, 7, QString());
        addRow("ok eight days ago", true, true, 8, QStringLiteral("inte gjorts sedan"));
        addRow("failed today", true, false, 0, QStringLiteral("misslyckades: disken är full"));
    }
    void scheduledRunNotice() {
        QFETCH(bool, ran);
        QFETCH(bool, ok);
        QFETCH(int, daysAgo);
        QFETCH(QString, says);
        const QDateTime now(QDate(2026, 12, 14), QTime(9, 0), Qt::UTC);
        std::optional<ScheduledRunState> last;
        if (ran)
            last = ScheduledRunState{now.addDays(-daysAgo), QStringLiteral("2026-12-07"), ok,
                                     ok ? QString() : QStringLiteral("disken är full"),
                                     QStringLiteral("/m/rapporter/a.xls\n")};
        const QString notice = planning::scheduledRunNotice(last, now);
        QCOMPARE(notice.isEmpty(), says.isEmpty());
        QVERIFY2(notice.contains(says) && (says.isEmpty() || notice.endsWith("/m/rapporter/a.xls")),
                 qPrintable(notice));
    }

    // A chunk's bytes before compression are the stored format: the same in every version
    // (a column of only empty texts is the stream's null array, texts are UTF-8).
    // The stored layout, worked out by hand: integers of the stream big-endian, blocks
    // little-endian; a whole-number list is its count, its width and the values; a number
    // column its kinds (0 none, 1 whole, 2 other), the whole ones, the others; a text column
    // its UTF-8 lengths and bytes (a null array, ffffffff, when all are empty); a repeated
    // text column its own texts and an index per row.
    void chunkFormat_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<QByteArray>>("parts"); // the whole chunk for one row
        const QByteArray none = "00 00000000 01 00000000 ", zero = "01 00000001 01 00 00000000 ";
        const QByteArray one =
            "01 00000001"
            "00000001 01 00"
            "00000001 01 07 00000007 31302d30303031"
            "00000001 01 00 ffffffff" +
            none + "01 00000001 01 0c 00000000" + none + none + none +
            "02 00000000 01 00000001 0000000000000440" + none.repeated(8) + none +
            "00000001 01 00" + zero + zero + zero + "01 00000001 01 01 00000000" + zero +
            QByteArray("00000001 01 00 ffffffff 00000001 01 00").repeated(2) + "00000001 01 00";
        QTest::newRow("one row, no rule texts") << 1 << QList<QByteArray>{one};
        // Ö and Å take two bytes each; the supplier is stored once for two rows.
        QTest::newRow("non-ASCII texts, a repeated supplier")
            << 3
            << QList<QByteArray>{"00000003 01 07 04 01 0000000c 31302d30303031 c3962d32 33",
                                 "00000002 01 00 08 00000008 c3856b6573736f6e 00000003 01 000101"};
    }
    void chunkFormat() {
        QFETCH(int, rows);
        QFETCH(QList<QByteArray>, parts);
        std::vector<planning::SnapshotRow> made(3);
        made[0].product = QStringLiteral("10-0001");
        made[0].stockFrn = 12;
        made[0].coverWeeks = 2.5;
        made[1].product = QStringLiteral("Ö-2");
        made[1].description = QStringLiteral("Pall ä");
        made[1].rule.supplier = QStringLiteral("Åkesson");
        made[1].rule.group = QStringLiteral("G1");
        made[1].suggestion = 4;
        made[2].product = QStringLiteral("3");
        made[2].description = QStringLiteral("x");
        made[2].rule.supplier = QStringLiteral("Åkesson");
        planning::SnapshotPacker packer{size_t(rows)};
        for (int i = 0; i < rows; ++i)
            packer.add(made[size_t(i)]);
        const std::vector<QByteArray> chunks = packer.chunks();
        QCOMPARE(chunks.size(), size_t(1));
        const QByteArray raw = qUncompress(chunks.front());
        if (rows == 1)
            QCOMPARE(raw.toHex(), QByteArray::fromHex(parts.first()).toHex());
        else
            for (const QByteArray &part : parts)
                QVERIFY2(raw.contains(QByteArray::fromHex(part)), part.constData());
    }

    // A run's chunks follow the count of products it ends with, whatever was counted before its
    // rows: a product listed twice keeps its first row, and a run with fewer or more products
    // than counted is placed again, each product in its hash's chunk, in the run's order.
    void packedAsTheyCome_data() {
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("twice"); // the first products listed again, with other numbers
        QTest::newRow("as counted") << 1300 << 0;
        QTest::newRow("none counted") << 0 << 0;
        QTest::newRow("products left out") << 3000 << 0;
        QTest::newRow("products listed twice") << 1600 << 300;
    }
    void packedAsTheyCome() {
        QFETCH(int, expected);
        QFETCH(int, twice);
        const std::vector<SnapshotRow> rows = manyRows(1300);
        SnapshotPacker packer{size_t(expected)};
        for (size_t i = 0; i < rows.size(); ++i) {
            packer.add(rows[i]);
            if (int(i) < twice) {
                SnapshotRow again = rows[i];
                again.stockTotal = -1;
                packer.add(again);
            }
        }
        QCOMPARE(packer.products(), qint64(rows.size()));
        const std::vector<QByteArray> chunks = packer.chunks();
        QCOMPARE(chunks.size(), size_t(3));
        std::vector<bool> found(rows.size());
        for (quint32 c = 0; c < 3; ++c) {
            std::vector<SnapshotRow> unpacked;
            std::vector<quint32> places;
            QVERIFY(unpackChunk(chunks[c], unpacked, places));
            QVERIFY(std::adjacent_find(places.begin(), places.end(), std::greater_equal<>()) ==
                    places.end());
            for (size_t i = 0; i < unpacked.size(); ++i) {
                QCOMPARE(productHash(unpacked[i].product) % 3, c);
                QVERIFY(places[i] < rows.size() && !found[places[i]]);
                QCOMPARE(unpacked[i], rows[places[i]]);
                found[places[i]] = true;
            }
        }
        QVERIFY(std::find(found.begin(), found.end(), false) == found.end());
    }

    void trend_data() {
        QTest::addColumn<QList<int>>("days");
        QTest::addColumn<QList<double>>("sales");
        QTest::addColumn<double>("slope"); // nan: no trend
        addRow("three runs are too few", QList<int>{0, 7, 14}, QList<double>{1, 2, 3}, qQNaN());
        addRow("steady rise", QList<int>{0, 7, 14, 21}, QList<double>{10, 12, 14, 16}, 2.0);
        addRow("one odd week", QList<int>{0, 7, 14, 21, 28}, QList<double>{10, 12, 50, 16, 18},
               2.0);
        addRow("uneven gaps", QList<int>{0, 14, 21, 49}, QList<double>{20, 17, 15.5, 9.5}, -1.5);
        // pairwise slopes 1, 1.5, 2, 7/3, 3, 4: the two middle ones averaged
        addRow("even count", QList<int>{0, 7, 14, 21}, QList<double>{0, 1, 3, 7}, 13.0 / 6);
    }
    void trend() {
        QFETCH(QList<int>, days);
        QFETCH(QList<double>, sales);
        QFETCH(double, slope);
        std::vector<SalesPoint> points;
        for (int i = 0; i < days.size(); ++i)
            points.push_back({QDate(2026, 1, 5).addDays(days[i]), sales[i]});
        const auto trend = salesTrend(points);
        QCOMPARE(bool(trend), !qIsNaN(slope));
        if (trend) {
            QCOMPARE(trend->slopePerWeek, slope);
            QCOMPARE(trend->runs, int(days.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
