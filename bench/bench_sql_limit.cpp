// The set-based limit as a whole process: SQL run through the plain SQLite library, every row
// printed as it is stepped to (columns as text, a tab between), nothing held. bench/speed-limits
// runs it beside the program and compares wall time and peak RSS.
//
//   bench_sql_limit DB --sql STATEMENT [--sql STATEMENT ...]
//   bench_sql_limit DB --produkt TEXT | --namn TEXT   (the window's search query on sokdata.db)
//
// The Swedish collation is registered, so sokdata.db's indexes serve the search as they do the
// program's. Statements of a file are read with --sql-file FILE, one statement a line; lines
// starting with -- are comments.

#include "search/SearchQueries.h"
#include "search/SwedishCollation.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

namespace {

bool runStatement(sqlite3 *db, const QByteArray &sql, long long &rows) {
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return false;
    }
    const int columns = sqlite3_column_count(statement);
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto *text = sqlite3_column_text(statement, c);
            if (c > 0)
                std::fputc('\t', stdout);
            if (text)
                std::fputs(reinterpret_cast<const char *>(text), stdout);
        }
        std::fputc('\n', stdout);
        ++rows;
    }
    const bool ok = step == SQLITE_DONE;
    if (!ok)
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    QList<QByteArray> statements;
    for (int i = 2; i + 1 < argc; i += 2) {
        const char *option = argv[i];
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (std::strcmp(option, "--sql") == 0) {
            statements.append(value.toUtf8());
        } else if (std::strcmp(option, "--sql-file") == 0) {
            QFile file(value);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s kan inte läsas.\n", argv[i + 1]);
                return 1;
            }
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.trimmed().isEmpty() && !line.trimmed().startsWith("--"))
                    statements.append(line);
        } else if (std::strcmp(option, "--produkt") == 0 || std::strcmp(option, "--namn") == 0) {
            // SELECT * gives the table's columns: Soknamn, Produktnummer.
            statements.append(
                produktSokQuery(std::strcmp(option, "--produkt") == 0, value).toUtf8());
        } else {
            statements.clear();
            break;
        }
    }
    if (argc < 4 || argc % 2 != 0 || statements.isEmpty()) {
        std::fputs("Användning: bench_sql_limit DB --sql STATEMENT [--sql ...] | --sql-file FILE "
                   "| --produkt TEXT | --namn TEXT\n",
                   stderr);
        return 2;
    }

    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    swedish::registerCollation(db);
    long long rows = 0;
    bool ok = true;
    for (const QByteArray &sql : statements)
        ok = ok && runStatement(db, sql, rows);
    sqlite3_close(db);
    std::fflush(stdout);
    std::fprintf(stderr, "%lld rader.\n", rows);
    return ok ? 0 : 1;
}
