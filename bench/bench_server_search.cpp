// Prefix search on a ProduktSok of a million rows on the PostgreSQL server, through Qt's
// PostgreSQL driver and through ODBC: time until the grid's first screen of rows is there.
// Needs the server of the tests (LODVIK_TEST_PG_*, LODVIK_TEST_ODBC_DSN; see
// .ci/services.d/server.sh). Run by hand; the figures go into bench/RESULTS.md. The QPSQL first
// screens are set beside the same queries through a server-side cursor, the limit.
#include "bench/SearchTiming.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int tableRows = 1'000'000;
constexpr int screenRows = 30;
constexpr int repeats = 9;

QString env(const char *name) {
    return qEnvironmentVariable(name);
}

SearchSourceSettings settings(const QString &driver) {
    SearchSourceSettings s;
    s.driver = driver;
    s.user = env("LODVIK_TEST_PG_USER");
    s.password = env("LODVIK_TEST_PG_PASSWORD");
    s.host = env("LODVIK_TEST_PG_HOST");
    s.port = env("LODVIK_TEST_PG_PORT").toInt();
    s.database = env("LODVIK_TEST_PG_DB");
    s.dsn = env("LODVIK_TEST_ODBC_DSN");
    return s;
}

bool run(QSqlDatabase db, const QString &sql) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
    return false;
}

// The table is made in a schema of its own by the server itself, which is much quicker than
// sending a million INSERTs.
bool fill(QSqlDatabase db, const QString &schema) {
    // From the source tree: __FILE__ is relative when the compiler cache rewrites paths.
    QFile sql(QStringLiteral(LODVIK_SOURCE_DIR "/server/sokdata-postgresql.sql"));
    if (!sql.open(QIODevice::ReadOnly))
        return false;
    // The search source's 30 s statement limit is for the window; generating may take longer.
    return run(db, QStringLiteral("SET statement_timeout = 0")) &&
           run(db, QStringLiteral("SET client_min_messages TO warning")) &&
           run(db, QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema)) &&
           run(db, QStringLiteral("CREATE SCHEMA %1").arg(schema)) &&
           run(db, QStringLiteral("SET search_path TO %1").arg(schema)) &&
           run(db, QString::fromUtf8(sql.readAll())) &&
           run(db, QStringLiteral("SELECT setseed(0.25)")) &&
           run(db, QStringLiteral(
                       "INSERT INTO ProduktSok SELECT (ARRAY['Pall', 'Pallkrage', 'Sträckfilm', "
                       "'Kartong', 'Wellpapp', 'Hörnskydd', 'Tejp', 'Etikett', 'Band', 'Ölback', "
                       "'Åkerimatta', 'Ändskydd', 'Lådpall', 'Säck', 'Förslutare'])[1 + "
                       "floor(random() * 15)::int] || ' ' || (100 + floor(random() * 1900)::int) "
                       "|| ' ' || (1 + floor(random() * 99)::int), (1000000 + floor(random() * "
                       "9000000)::int)::text FROM generate_series(1, %1)")
                       .arg(tableRows)) &&
           run(db, QStringLiteral("ANALYZE ProduktSok"));
}

bench::SearchTiming measure(SearchSource &source, const QString &query) {
    return bench::measureSearch(source, query, screenRows, repeats, 2);
}

// The limit for the first screen: the same query through a server-side cursor, from DECLARE to
// the first screen's rows read out of one FETCH of 64. Median of the repeats.
double cursorFirstScreenMs(QSqlDatabase db, const QString &query) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!run(db, QStringLiteral("BEGIN")))
            return -1;
        QElapsedTimer timer;
        timer.start();
        if (!q.exec(QStringLiteral("DECLARE bench_cursor NO SCROLL CURSOR FOR ") + query) ||
            !q.exec(QStringLiteral("FETCH 64 FROM bench_cursor"))) {
            std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
            run(db, QStringLiteral("ROLLBACK"));
            return -1;
        }
        for (int row = 0; row < screenRows && q.next(); ++row)
            q.value(0);
        times.push_back(timer.nsecsElapsed() / 1e6);
        q.finish();
        run(db, QStringLiteral("CLOSE bench_cursor"));
        run(db, QStringLiteral("COMMIT"));
    }
    return bench::median(times);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (env("LODVIK_TEST_PG_HOST").isEmpty()) {
        std::fprintf(stderr, "LODVIK_TEST_PG_* not set: no server to measure\n");
        return 1;
    }
    const QString schema = QStringLiteral("bench_%1").arg(QCoreApplication::applicationPid());
    QElapsedTimer timer;
    timer.start();
    {
        auto admin = openServerSearchSource(settings(QStringLiteral("QPSQL")));
        if (!fill(admin->database(), schema))
            return 1;
    }
    std::printf("Generated %d rows in %.1f s\n\n", tableRows, timer.elapsed() / 1000.0);

    const std::vector<bench::SearchCase> cases = bench::commonSearches();
    std::printf("| Driver | Query | Rows | First %d rows (median of %d) | All rows |\n", screenRows,
                repeats);
    std::printf("|---|---|---:|---:|---:|\n");
    std::vector<double> qpsqlFirstScreen;
    for (const QString &driver : {QStringLiteral("QPSQL"), QStringLiteral("QODBC")}) {
        auto source = openServerSearchSource(settings(driver));
        run(source->database(), QStringLiteral("SET search_path TO %1").arg(schema));
        for (const bench::SearchCase &c : cases) {
            const bench::SearchTiming t = measure(*source, c.query);
            std::printf("| %s | %s | %d | %.1f ms | %.0f ms |\n", qPrintable(driver), c.label,
                        t.rows, t.firstScreenMs, t.allRowsMs);
            std::fflush(stdout);
            if (driver == QLatin1String("QPSQL"))
                qpsqlFirstScreen.push_back(t.firstScreenMs);
        }
    }

    std::printf("\n| Query | QPSQL first screen | Cursor: DECLARE + FETCH 64 | Ratio |\n");
    std::printf("|---|---:|---:|---:|\n");
    {
        auto source = openServerSearchSource(settings(QStringLiteral("QPSQL")));
        run(source->database(), QStringLiteral("SET search_path TO %1").arg(schema));
        for (size_t i = 0; i < cases.size(); ++i) {
            const double cursor = cursorFirstScreenMs(source->database(), cases[i].query);
            std::printf("| %s | %.1f ms | %.1f ms | %.1f× |\n", cases[i].label, qpsqlFirstScreen[i],
                        cursor, qpsqlFirstScreen[i] / std::max(cursor, 0.001));
            std::fflush(stdout);
        }
    }
    auto admin = openServerSearchSource(settings(QStringLiteral("QPSQL")));
    run(admin->database(), QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
    return 0;
}
