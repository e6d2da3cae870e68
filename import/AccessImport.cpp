#include "import/AccessImport.h"

#include "MDlib/Error.h"
#include "data/LocalDatabase.h"
#include "data/SqlText.h"
#include "data/TableCatalogue.h"

#include <glib.h>
#include <mdbtools.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using lodvik::Error;

namespace accessimport {

using sqltext::identifier;

namespace {

// Memo fields of up to 64 K characters, three bytes each in UTF-8, fit.
constexpr size_t kBindSize = 200 * 1024;

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
        throw Error(QStringLiteral("Importen misslyckades (%1): %2")
                        .arg(what, QString::fromUtf8(sqlite3_errmsg(db))));
}

struct BoundColumn {
    MdbColumn *column = nullptr;
    Storage storage = Storage::Text;
    std::vector<char> buffer;
    int length = 0;
};

// One Access table into the open SQLite connection, inside the caller's transaction.
qint64 copyTable(MdbHandle *mdb, MdbCatalogEntry *entry, dao::Database &target) {
    const QString tableName = QString::fromUtf8(entry->object_name);
    TablePtr table(mdb_read_table(entry));
    if (!table)
        throw Error(QStringLiteral("Tabellen %1 i Access-filen kan inte läsas.").arg(tableName));
    if (!mdb_read_columns(table.get()))
        throw Error(QStringLiteral("Kolumnerna i tabellen %1 i Access-filen kan inte läsas.")
                        .arg(tableName));
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
            target.Execute(QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                               .arg(identifier(tableName + '_' + indexed), identifier(tableName),
                                    identifier(indexed)));
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
                const QByteArray date = accessDateText(mdb_get_double(mdb->pg_buf, start)).toUtf8();
                sqlite3_bind_text(statement.get(), index, date.constData(), int(date.size()),
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
        ++rows;
    }
    return rows;
}

// The old store into the fresh copy, through SQLite's backup so that a half-written journal of
// the old file is resolved first.
void copyStore(const QString &from, dao::Database &to) {
    dao::Database source = dao::Database::OpenDatabase(from);
    sqlite3_backup *backup = sqlite3_backup_init(to.handle(), "main", source.handle(), "main");
    if (!backup)
        checkSqlite(to.handle(), sqlite3_errcode(to.handle()), from);
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw Error(QStringLiteral("Den lokala databasen %1 kan inte kopieras (fel %2).")
                        .arg(from)
                        .arg(rc));
}

QString freeName(const QString &path) {
    QString candidate = path;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = path + QStringLiteral("-%1").arg(n);
    return candidate;
}

} // namespace

QString accessDateText(double value) {
    // The whole days count from 30 December 1899 (backwards when negative); the fraction's size
    // is the time of day, also for days before that date.
    const double whole = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - whole) * 86400.0);
    QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    if (seconds >= 86400) {
        date = date.addDays(1);
        seconds -= 86400;
    }
    QString text = QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
    if (seconds != 0)
        text += QString::asprintf(" %02d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60),
                                  int(seconds % 60));
    return text;
}

QList<ImportedTable> importAccessDatabase(const QString &mdbPath, const QString &localPath,
                                          const std::function<void(const QString &)> &progress) {
    if (!QFileInfo(mdbPath).isFile())
        throw Error(QStringLiteral("Access-filen %1 finns inte.").arg(mdbPath));
    if (dao::fileKind(mdbPath) != dao::FileKind::Access)
        throw Error(QStringLiteral("%1 är ingen Access-databas (Jet 3 eller Jet 4).").arg(mdbPath));
    MdbPtr mdb(mdb_open(QFile::encodeName(mdbPath).constData(), MDB_NOFLAGS));
    if (!mdb)
        throw Error(QStringLiteral("Access-filen %1 kan inte öppnas.").arg(mdbPath));
    mdb_set_bind_size(mdb.get(), kBindSize);
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw Error(QStringLiteral("Tabellistan i Access-filen %1 kan inte läsas.").arg(mdbPath));

    const bool hadStore = QFileInfo::exists(localPath);
    const QFile::Permissions permissions = hadStore ? QFile::permissions(localPath)
                                                    : QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadGroup | QFile::WriteGroup |
                                                          QFile::ReadOther;
    const bool replacesAccess = hadStore && dao::fileKind(localPath) != dao::FileKind::Sqlite;
    if (replacesAccess && dao::fileKind(localPath) != dao::FileKind::Access)
        throw Error(QStringLiteral("%1 är ingen databas som programmet kan läsa; den lämnas orörd.")
                        .arg(localPath));

    const QFileInfo target(localPath);
    QTemporaryFile work(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".import-XXXXXX"));
    if (!work.open())
        throw Error(QStringLiteral("Kan inte skapa en arbetsfil i %1: %2")
                        .arg(target.absolutePath(), work.errorString()));
    work.close();
    // The journal SQLite may leave beside the work file goes with it.
    struct JournalRemover {
        QString path;
        ~JournalRemover() { QFile::remove(path + QStringLiteral("-journal")); }
    } journal{work.fileName()};

    QList<ImportedTable> imported;
    {
        dao::Database db = dao::Database::OpenDatabase(work.fileName());
        if (hadStore && !replacesAccess)
            copyStore(localPath, db);
        db.Execute(QStringLiteral("BEGIN"));
        for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
            auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
            if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
                continue;
            const QString name = QString::fromUtf8(entry->object_name);
            if (progress)
                progress(QStringLiteral("Importerar %1").arg(name));
            imported.append({name, copyTable(mdb.get(), entry, db)});
        }
        if (imported.isEmpty())
            throw Error(QStringLiteral("Access-filen %1 innehåller inga tabeller.").arg(mdbPath));
        db.Execute(QStringLiteral("COMMIT"));
        db.Close();
    }

    QFile::setPermissions(work.fileName(), permissions);
    QString kept;
    if (replacesAccess) {
        kept = freeName(localPath + QStringLiteral(".access"));
        if (!QFile::rename(localPath, kept))
            throw Error(QStringLiteral("Access-filen %1 kan inte flyttas undan till %2.")
                            .arg(localPath, kept));
    }
    // rename() replaces the old store in one step: a reader sees the old file or the new one.
    if (std::rename(QFile::encodeName(work.fileName()).constData(),
                    QFile::encodeName(localPath).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        if (!kept.isEmpty())
            QFile::rename(kept, localPath);
        throw Error(QStringLiteral("Den nya lokala databasen kan inte flyttas till %1: %2")
                        .arg(localPath, why));
    }
    work.setAutoRemove(false);
    return imported;
}

} // namespace accessimport
