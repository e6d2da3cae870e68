// Prefix search on a ProduktSok of a million rows: time until the grid's first screen of rows is
// there, against reading the whole table. Run by hand; the figures go into bench/RESULTS.md.
#include "bench/SearchTiming.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int tableRows = 1'000'000;
constexpr int screenRows = 30;
constexpr int repeats = 15;

const char *const words[] = {"Pall",       "Pallkrage", "Sträckfilm", "Kartong", "Wellpapp",
                             "Hörnskydd",  "Tejp",      "Etikett",    "Band",    "Ölback",
                             "Åkerimatta", "Ändskydd",  "Lådpall",    "Säck",    "Förslutare"};

void fill(SearchSource &source) {
    QSqlDatabase db = source.database();
    QSqlQuery q(db);
    // The indexes are built once at the end: quicker than keeping them up to date per row.
    q.exec(QStringLiteral("DROP INDEX ProduktSok_Produktnummer"));
    q.exec(QStringLiteral("DROP INDEX ProduktSok_Soknamn"));
    db.transaction();
    q.prepare(QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)"));
    QRandomGenerator random(20240601);
    for (int i = 0; i < tableRows; ++i) {
        const QString name =
            QStringLiteral("%1 %2 %3")
                .arg(QString::fromUtf8(words[random.bounded(int(std::size(words)))]))
                .arg(random.bounded(100, 2000))
                .arg(random.bounded(1, 100));
        q.bindValue(0, name);
        q.bindValue(1, QString::number(random.bounded(1'000'000, 10'000'000)));
        q.exec();
    }
    db.commit();
    q.exec(QStringLiteral("CREATE INDEX ProduktSok_Produktnummer ON ProduktSok "
                          "(Produktnummer COLLATE SVENSKA, Soknamn COLLATE SVENSKA)"));
    q.exec(QStringLiteral("CREATE INDEX ProduktSok_Soknamn ON ProduktSok "
                          "(Soknamn COLLATE SVENSKA, Produktnummer COLLATE SVENSKA)"));
    q.exec(QStringLiteral("ANALYZE"));
}

bench::SearchTiming measure(SearchSource &source, const QString &query) {
    return bench::measureSearch(source, query, screenRows, repeats, 3);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    auto source = openSqliteSearchSource(dir.filePath(QStringLiteral("sokdata.db")));
    QElapsedTimer timer;
    timer.start();
    fill(*source);
    std::printf("Generated %d rows in %.1f s\n\n", tableRows, timer.elapsed() / 1000.0);

    std::vector<bench::SearchCase> cases = bench::commonSearches();
    cases.insert(cases.end(), {
                                  {"produktnummer \"123\" without the index",
                                   produktSokQuery(true, QStringLiteral("123"))
                                       .replace(QStringLiteral("from ProduktSok"),
                                                QStringLiteral("from ProduktSok NOT INDEXED"))},
                                  {"full scan: select * from ProduktSok",
                                   QStringLiteral("select * from ProduktSok")},
                              });
    std::printf("| Query | Rows | First %d rows (median of %d) | All rows |\n", screenRows,
                repeats);
    std::printf("|---|---:|---:|---:|\n");
    for (const bench::SearchCase &c : cases) {
        const bench::SearchTiming t = measure(*source, c.query);
        std::printf("| %s | %d | %.2f ms | %.0f ms |\n", c.label, t.rows, t.firstScreenMs,
                    t.allRowsMs);
        std::fflush(stdout);
    }
    return 0;
}
