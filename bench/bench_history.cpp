// The kept coverage runs at size: 104 weekly snapshots of 32,000 products written into a new
// sokdata.db, and with the test server's settings (LODVIK_TEST_PG_*, LODVIK_TEST_ODBC_DSN; see
// .ci/services.d/server.sh) into a schema of its own on the server through QPSQL and QODBC.
// For each store: how much the store grows per snapshot, how long writing one takes, and how
// long "what changed" between the last two and one product's history take to answer (the least
// of seven, in wall time and in this process's processor time; the server's own is not in it).
// LODVIK_BENCH_QUICK=1: 2,000 products, 10 snapshots. Run by hand; figures go into
// bench/RESULTS.md.
#include "MDlib/Error.h"
#include "planning/HistoryChanges.h"
#include "planning/RunHistory.h"
#include "search/SearchSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include <time.h>

using namespace planning;

namespace {

const bool quick = qEnvironmentVariableIntValue("LODVIK_BENCH_QUICK") != 0;
const int products = quick ? 2'000 : 32'000;
const int periods = quick ? 10 : 104;
constexpr int repeats = 7;

QString env(const char *name) {
    return qEnvironmentVariable(name);
}

// A product range that moves a little from week to week, as a business's does: stock and
// orders drift, sales move by a few per cent, a product now and then comes or goes, and one in
// five has a rule of a supplier.
class Weeks {
public:
    Weeks() : m_random(1) {
        for (int i = 0; i < products; ++i) {
            SnapshotRow r;
            r.product = QStringLiteral("%1").arg(1'000'000 + i * 7, 9, 10, QLatin1Char('0'));
            r.description = QStringLiteral("Produkt %1 förpackning %2 st").arg(i).arg(i % 48 + 1);
            r.unitsPerPack = 1000.0 * (i % 24 + 1);
            r.salesPj = double(pick(0, 120));
            if (i % 5 == 0) {
                r.rule.leadTimeWeeks = double(pick(1, 6));
                r.rule.multiple = pick(1, 12);
                r.rule.supplier = QStringLiteral("Leverantör %1").arg(i % 53);
            }
            m_rows.push_back(r);
        }
    }

    Snapshot next(const QDate &period) {
        Snapshot s{{period.toString(Qt::ISODate), QDateTime::currentDateTimeUtc(), 4, 0,
                    RunOrigin::Scheduled},
                   {}};
        for (SnapshotRow &r : m_rows) {
            if (pick(0, 999) == 0) // one in a thousand is missing this week
                continue;
            const double sales = std::max(0.0, *r.salesPj + pick(-3, 3));
            r.salesPj = sales;
            r.stockFrn = double(pick(0, 400));
            r.stockDp = double(pick(0, 50));
            r.stockPj = double(pick(0, 3000));
            r.stockTotal = *r.stockFrn + *r.stockDp + *r.stockPj;
            r.coverWeeks = sales > 0 ? std::optional(std::round(*r.stockTotal / sales)) : 0;
            r.coverWeeksFrn = double(pick(0, 60));
            r.backOrderPj = double(pick(0, 20));
            r.backOrderFrn = double(pick(0, 5));
            r.orderPj = pick(0, 3) ? 0 : double(pick(0, 500));
            r.orderFrn = double(pick(0, 30));
            r.orderTotal = *r.orderPj + *r.backOrderPj;
            r.salesFrn = double(pick(0, 30));
            const double need = sales * 4 - *r.stockTotal - *r.orderPj + *r.backOrderPj;
            r.suggestion = need > 0 ? std::optional(qint64(std::ceil(need))) : std::nullopt;
            r.urgency = sales > 0 ? (*r.coverWeeks < 2 ? 2 : *r.coverWeeks < 4) : 3;
            s.rows.push_back(r);
        }
        s.info.products = int(s.rows.size());
        return s;
    }

private:
    int pick(int from, int to) { return std::uniform_int_distribution(from, to)(m_random); }

    std::mt19937 m_random;
    std::vector<SnapshotRow> m_rows;
};

struct Store {
    const char *name;
    std::function<std::unique_ptr<SearchSource>()> open;
    std::function<qint64(QSqlDatabase)> size; // bytes
};

// Wall time, and this process's processor time (the server's own is not in it).
struct Clock {
    QElapsedTimer wall;
    double cpuStart = cpu();
    Clock() { wall.start(); }
    static double cpu() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    }
    double wallMs() const { return double(wall.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return cpu() - cpuStart; }
};
struct Time {
    double wall = 0, cpu = 0;
};

// The least of several, as the load of other processes only ever adds; and the median.
Time least(const std::vector<Time> &v) {
    Time t = v.front();
    for (const Time &x : v)
        t = {std::min(t.wall, x.wall), std::min(t.cpu, x.cpu)};
    return t;
}
Time median(std::vector<Time> v) {
    std::sort(v.begin(), v.end(), [](const Time &a, const Time &b) { return a.wall < b.wall; });
    return v[v.size() / 2];
}

template <typename Work> Time timed(Work work) {
    std::vector<Time> times;
    for (int i = 0; i < repeats; ++i) {
        const Clock clock;
        work();
        times.push_back({clock.wallMs(), clock.cpuMs()});
    }
    return least(times);
}

void measure(const Store &store) {
    auto source = store.open();
    const QString connection = source->database().connectionName();
    const auto size = [&] { return store.size(QSqlDatabase::database(connection, false)); };
    RunHistory history(std::move(source));
    const qint64 empty = size();
    Weeks weeks;
    std::vector<Time> writes;
    qint64 afterFirst = 0;
    const QDate first(2025, 1, 6);
    for (int week = 0; week < periods; ++week) {
        const Snapshot snapshot = weeks.next(first.addDays(7 * week));
        const Clock clock;
        history.write(snapshot, periods);
        writes.push_back({clock.wallMs(), clock.cpuMs()});
        if (week == 0)
            afterFirst = size();
    }
    const qint64 full = size();
    const QString last = first.addDays(7 * (periods - 1)).toString(Qt::ISODate);
    const QString before = first.addDays(7 * (periods - 2)).toString(Qt::ISODate);
    size_t changes = 0;
    const Time changed = timed([&] {
        changes =
            changesBetween(*history.read(before), *history.read(last), DefaultSalesChangeShare)
                .size();
    });
    size_t points = 0;
    const Time series = timed([&] {
        QStringList unreadable;
        points = history
                     .series(QStringLiteral("%1").arg(1'000'000 + products / 2 * 7, 9, 10,
                                                      QLatin1Char('0')),
                             unreadable)
                     .size();
    });
    const Time write = median(writes), fastest = least(writes);
    std::printf("%-6s %6d products × %3d: first snapshot %5.2f MiB, then %5.3f MiB a snapshot; "
                "write %6.1f ms wall / %5.1f ms processor (median; least %6.1f / %5.1f); "
                "changes %6.1f / %5.1f ms (%zu rows); one product's history %5.1f / %5.1f ms "
                "(%zu points)\n",
                store.name, products, periods, double(afterFirst - empty) / 1048576,
                double(full - afterFirst) / (periods - 1) / 1048576, write.wall, write.cpu,
                fastest.wall, fastest.cpu, changed.wall, changed.cpu, changes, series.wall,
                series.cpu, points);
    std::fflush(stdout);
}

qint64 serverSize(QSqlDatabase db) {
    QSqlQuery q(db);
    // Tables with their TOAST data and indexes; CHECKPOINT is not needed for the sizes.
    if (!q.exec(QStringLiteral("SELECT sum(pg_total_relation_size(c.oid)) FROM pg_class c JOIN "
                               "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
                               "'bench_history' AND c.relkind = 'r'")) ||
        !q.next())
        std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
    return q.value(0).toLongLong();
}

std::unique_ptr<SearchSource> serverSource(const QString &driver) {
    SearchSourceSettings s;
    s.driver = driver;
    s.user = env("LODVIK_TEST_PG_USER");
    s.password = env("LODVIK_TEST_PG_PASSWORD");
    s.host = env("LODVIK_TEST_PG_HOST");
    s.port = env("LODVIK_TEST_PG_PORT").toInt();
    s.database = env("LODVIK_TEST_PG_DB");
    s.dsn = env("LODVIK_TEST_ODBC_DSN");
    auto source = openServerSearchSource(s);
    QSqlQuery q(source->database());
    for (const char *sql :
         {"SET client_min_messages TO warning", "DROP SCHEMA IF EXISTS bench_history CASCADE",
          "CREATE SCHEMA bench_history", "SET search_path TO bench_history"})
        if (!q.exec(QString::fromLatin1(sql)))
            throw lodvik::Error(q.lastError().text());
    return source;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sokdata.db"));
    std::vector<Store> stores = {{"SQLite", [&] { return openSqliteSearchSource(file); },
                                  [&](QSqlDatabase db) {
                                      QSqlQuery(db).exec(
                                          QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
                                      return QFileInfo(file).size();
                                  }}};
    if (env("LODVIK_TEST_PG_HOST").isEmpty())
        std::printf("(no server: LODVIK_TEST_PG_* are not set; . .ci/services.d/server.sh)\n");
    else
        for (const char *driver : {"QPSQL", "QODBC"})
            stores.push_back({driver,
                              [driver] { return serverSource(QString::fromLatin1(driver)); },
                              serverSize});
    try {
        for (const Store &store : stores)
            measure(store);
    } catch (const lodvik::Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
