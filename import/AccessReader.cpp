#include "import/AccessReader.h"

#include "MDlib/Error.h"
#include "store/LocalDatabase.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"
#include "store/TableCatalogue.h"

#include <glib.h>
#include <mdbtools.h>
#include <sqlite3.h>

#include <QDate>
#include <QFile>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

using lodvik::Error;

namespace accessimport {

using sqltext::identifier;

namespace {

// Memo fields of up to 64 K characters, three bytes each in UTF-8, fit.
constexpr size_t kBindSize = 200 * 1024;
// How often a long table reports its row count.
constexpr qint64 kRowsReport = 5000;

struct MdbHandleCloser {
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableDefFreer {
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbHandleCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableDefFreer>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

enum class Storage { Text, Date, Integer, Boolean, Real, Single, Blob, Ole, Skip };

Storage storageOf(int colType) {
    switch (colType) {
    case MDB_BOOL:
        return Storage::Boolean;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return Storage::Integer;
    case MDB_MONEY:
    case MDB_NUMERIC:
    case MDB_DOUBLE:
        return Storage::Real;
    case MDB_FLOAT:
        return Storage::Single;
    case MDB_DATETIME:
        return Storage::Date;
    case MDB_BINARY:
        return Storage::Blob;
    case MDB_OLE:
        return Storage::Ole;
    case MDB_COMPLEX: // attachment lists of later formats: nothing to carry over
        return Storage::Skip;
    default: // text, memo, replication id
        return Storage::Text;
    }
}

QString sqlType(Storage storage) {
    switch (storage) {
    case Storage::Integer:
    case Storage::Boolean:
        return QStringLiteral("INTEGER");
    case Storage::Real:
    case Storage::Single:
        return QStringLiteral("REAL");
    case Storage::Blob:
    case Storage::Ole:
    case Storage::Skip:
        return QStringLiteral("BLOB");
    default:
        return QStringLiteral("TEXT COLLATE NOCASE");
    }
}

void checkSqlite(sqlite3 *db, int rc, const QString &what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw Error(
            QStringLiteral("Importen misslyckades (%1): %2").arg(what, dao::sqliteFailure(db)));
}

class Reporter {
public:
    explicit Reporter(std::FILE *out) : m_out(out) {}
    void operator()(const QByteArrayList &fields) {
        std::fputs(reportLine(fields).constData(), m_out);
        std::fflush(m_out);
    }

private:
    std::FILE *m_out;
};

struct BoundColumn {
    MdbColumn *column = nullptr;
    Storage storage = Storage::Text;
    std::vector<char> buffer;
    int length = 0;
    qint64 emptiedDates = 0; // dates no calendar date could be made of
};

// One Access table into the open SQLite connection, inside the caller's transaction.
qint64 copyTable(MdbHandle *mdb, MdbCatalogEntry *entry, const QString &mdbPath,
                 dao::Database &target, Reporter &report) {
    const QString tableName = QString::fromUtf8(entry->object_name);
    const QByteArray reportedName = tableName.toUtf8();
    TablePtr table(mdb_read_table(entry));
    if (!table)
        throw Error(QStringLiteral("Tabellen %1 i Access-filen %2 kan inte läsas (filen verkar "
                                   "skadad).")
                        .arg(tableName, mdbPath));
    if (!mdb_read_columns(table.get()))
        throw Error(QStringLiteral("Kolumnerna i tabellen %1 i Access-filen %2 kan inte läsas "
                                   "(filen verkar skadad).")
                        .arg(tableName, mdbPath));
    mdb_rewind_table(table.get());

    std::vector<BoundColumn> columns(table->num_cols);
    QStringList definitions;
    QStringList names;
    for (unsigned int i = 0; i < table->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        BoundColumn &bound = columns[i];
        bound.column = col;
        bound.storage = storageOf(col->col_type);
        bound.buffer.assign(kBindSize, 0);
        mdb_bind_column(table.get(), int(i) + 1, bound.buffer.data(), &bound.length);
        const QString name = QString::fromUtf8(col->name);
        names.append(identifier(name));
        definitions.append(identifier(name) + ' ' + sqlType(bound.storage));
    }

    target.Execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(identifier(tableName)));
    target.Execute(QStringLiteral("CREATE TABLE %1 (%2)")
                       .arg(identifier(tableName), definitions.join(QStringLiteral(", "))));
    // A table the figures know gets the indexes its one-product queries need.
    if (const catalogue::Table *known = catalogue::findLocalTable(tableName)) {
        for (const QString &indexed : known->indexed) {
            if (!names.contains(identifier(indexed), Qt::CaseInsensitive))
                continue;
            target.Execute(catalogue::createIndexSql(tableName, indexed));
        }
    }

    QStringList marks;
    for (qsizetype i = 0; i < names.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QByteArray insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(identifier(tableName), names.join(QStringLiteral(", ")),
                                       marks.join(QStringLiteral(", ")))
                                  .toUtf8();
    sqlite3 *db = target.handle();
    sqlite3_stmt *raw = nullptr;
    checkSqlite(db, sqlite3_prepare_v2(db, insert.constData(), -1, &raw, nullptr),
                QStringLiteral("tabell %1").arg(tableName));
    StatementPtr statement(raw);

    qint64 rows = 0;
    while (mdb_fetch_row(table.get())) {
        sqlite3_reset(statement.get());
        sqlite3_clear_bindings(statement.get());
        for (size_t i = 0; i < columns.size(); ++i) {
            BoundColumn &bound = columns[i];
            const int index = int(i) + 1;
            const char *text = bound.buffer.data();
            const int length = std::min<int>(bound.length, int(kBindSize));
            if (bound.storage == Storage::Boolean) {
                // Yes/no lives in the row's null mask; libmdb hands it over as a word.
                const bool yes = length > 0 && (qstrcmp(text, "1") == 0 ||
                                                qstrcmp(text, mdb->boolean_true_value) == 0);
                sqlite3_bind_int(statement.get(), index, yes ? 1 : 0);
                continue;
            }
            if (length <= 0)
                continue; // stays null
            // Fixed-size values are read from the row itself: the text libmdb makes of them
            // rounds doubles and gives no date outside the years 1899 to 4637.
            const int start = bound.column->cur_value_start;
            switch (bound.storage) {
            case Storage::Integer:
                sqlite3_bind_int64(statement.get(), index, std::strtoll(text, nullptr, 10));
                break;
            case Storage::Real:
                if (bound.column->col_type == MDB_DOUBLE)
                    sqlite3_bind_double(statement.get(), index, mdb_get_double(mdb->pg_buf, start));
                else // currency and decimal come as exact decimal text
                    sqlite3_bind_double(statement.get(), index, QByteArray(text).toDouble());
                break;
            case Storage::Single: {
                // The shortest decimal that gives back the single, read as a double: 0.15, not
                // 0.15000000596.
                const float value = mdb_get_single(mdb->pg_buf, start);
                char digits[64];
                const auto result = std::to_chars(digits, digits + sizeof digits - 1, value);
                *result.ptr = '\0';
                sqlite3_bind_double(statement.get(), index, std::strtod(digits, nullptr));
                break;
            }
            case Storage::Date: {
                const std::optional<QString> date =
                    accessDateText(mdb_get_double(mdb->pg_buf, start));
                if (!date) {
                    ++bound.emptiedDates; // stays null: never a made-up date
                    break;
                }
                const QByteArray utf8 = date->toUtf8();
                sqlite3_bind_text(statement.get(), index, utf8.constData(), int(utf8.size()),
                                  SQLITE_TRANSIENT);
                break;
            }
            case Storage::Blob:
                sqlite3_bind_blob(statement.get(), index, text, length, SQLITE_TRANSIENT);
                break;
            case Storage::Ole: {
                size_t size = 0;
                void *data = mdb_ole_read_full(mdb, bound.column, &size);
                if (data)
                    sqlite3_bind_blob64(statement.get(), index, data, size, SQLITE_TRANSIENT);
                g_free(data);
                break;
            }
            case Storage::Skip:
                break;
            default:
                sqlite3_bind_text(statement.get(), index, text, length, SQLITE_TRANSIENT);
                break;
            }
        }
        checkSqlite(db, sqlite3_step(statement.get()), QStringLiteral("tabell %1").arg(tableName));
        if (++rows % kRowsReport == 0)
            report({"rows", reportedName, QByteArray::number(rows)});
    }
    // libmdb passes over a row it cannot read without a word, while the table definition still
    // counts it: the store's table would be replaced by a part of it.
    if (rows < qint64(table->num_rows))
        throw Error(QStringLiteral("Tabellen %1 i Access-filen %2 kan inte läsas helt (filen "
                                   "verkar skadad): %3 av tabellens %4 rader kunde läsas. Ta en "
                                   "ny kopia av filen, eller komprimera och reparera den i "
                                   "Access, och läs in den igen.")
                        .arg(tableName, mdbPath)
                        .arg(rows)
                        .arg(table->num_rows));
    for (const BoundColumn &bound : columns)
        if (bound.emptiedDates > 0)
            report({"dates", reportedName, QByteArray(bound.column->name),
                    QByteArray::number(bound.emptiedDates)});
    return rows;
}

void copyTables(const QString &mdbPath, const QString &workPath, Reporter &report) {
    MdbPtr mdb(mdb_open(QFile::encodeName(mdbPath).constData(), MDB_NOFLAGS));
    if (!mdb)
        throw Error(
            QStringLiteral("Access-filen %1 kan inte öppnas (den verkar skadad).").arg(mdbPath));
    mdb_set_bind_size(mdb.get(), kBindSize);
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw Error(QStringLiteral("Tabellistan i Access-filen %1 kan inte läsas (filen verkar "
                                   "skadad).")
                        .arg(mdbPath));

    dao::Database db = dao::Database::OpenDatabase(workPath);
    db.Execute(QStringLiteral("BEGIN"));
    int tables = 0;
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        const QByteArray name(entry->object_name);
        report({"table", name});
        const qint64 rows = copyTable(mdb.get(), entry, mdbPath, db, report);
        report({"done", name, QByteArray::number(rows)});
        ++tables;
    }
    if (tables == 0)
        throw Error(QStringLiteral("Access-filen %1 innehåller inga tabeller.").arg(mdbPath));
    db.Execute(QStringLiteral("COMMIT"));
}

} // namespace

std::optional<QString> accessDateText(double value) {
    // Checked before any conversion, so that no huge value or NaN reaches an integer.
    constexpr double kFirstDay = -657434.0; // 0100-01-01
    constexpr double kLastDay = 2958465.0;  // 9999-12-31
    if (!std::isfinite(value) || value <= kFirstDay - 1.0 || value >= kLastDay + 1.0)
        return std::nullopt;
    // The whole days count from 30 December 1899 (backwards when negative); the fraction's size
    // is the time of day, also for days before that date.
    const double whole = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - whole) * 86400.0);
    QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    if (seconds >= 86400) {
        date = date.addDays(1);
        seconds -= 86400;
    }
    if (date.year() < 100 || date.year() > 9999) // the last second rounded up to year 10000
        return std::nullopt;
    QString text = QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
    if (seconds != 0)
        text += QString::asprintf(" %02d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60),
                                  int(seconds % 60));
    return text;
}

int readAccessFile(const QString &mdbPath, const QString &workPath, std::FILE *out) {
    Reporter report(out);
    try {
        copyTables(mdbPath, workPath, report);
        return 0;
    } catch (const Error &e) {
        report({"error", e.message().toUtf8()});
    } catch (const std::bad_alloc &) {
        report({"error", QStringLiteral("Minnet räckte inte till för att läsa Access-filen %1.")
                             .arg(mdbPath)
                             .toUtf8()});
    } catch (const std::exception &e) {
        report({"error",
                QStringLiteral("Oväntat fel: %1").arg(QString::fromLocal8Bit(e.what())).toUtf8()});
    }
    return 1;
}

} // namespace accessimport
