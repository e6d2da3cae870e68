#include "store/LocalLoad.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"
#include "store/SqliteStore.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include <memory>

using lodvik::Error;

namespace dao {

namespace {

QString tryAgainLater(int rc) {
    return (rc & 0xff) == SQLITE_BUSY
               ? QStringLiteral(" Försök igen när det andra programmet är klart.")
               : QString();
}

// "<reason>.[ Försök igen…][more]\nDetaljer: <SQLite's words>"
QString storeFailure(sqlite3 *db, int code, const QString &more = {}) {
    const QString engine = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    QString failure = sqliteFailure(code, engine);
    const qsizetype postscript = failure.indexOf(QLatin1Char('\n'));
    return failure.insert(postscript < 0 ? failure.size() : postscript, tryAgainLater(code) + more);
}

QString columnText(sqlite3_stmt *statement, int column) {
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

} // namespace

LiveStoreLock::LiveStoreLock(const QString &path) : m_path(path) {
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        try {
            m_kind = fileKind(m_db, QStringLiteral("Den lokala databasen"));
        } catch (...) {
            close();
            throw;
        }
        // SQLite opens a file it may not write read-only and even takes its write lock; the
        // import could only fail at the end. Such a store is replaced as a whole instead.
        if (m_kind != FileKind::Sqlite || sqlite3_db_readonly(m_db, "main") == 1) {
            close();
            return;
        }
        sqlite3_busy_timeout(m_db, 5000);
        rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
        const QString why = storeFailure(m_db, code);
        close();
        // A write-protected store is replaced as a whole, as before; nobody writes into it.
        if ((code & 0xff) == SQLITE_READONLY)
            return;
        throw Error(QStringLiteral("Den lokala databasen %1 kan inte låsas för importen: %2")
                        .arg(path, why));
    }
}

LiveStoreLock::~LiveStoreLock() {
    close();
}

void LiveStoreLock::replaceTables(const QString &workPath, lodvik::Progress &progress) {
    sqlite3 *work = nullptr;
    struct Closer {
        sqlite3 *&db;
        ~Closer() { sqlite3_close_v2(db); }
    } closer{work};
    if (sqlite3_open_v2(QFile::encodeName(workPath).constData(), &work, SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK)
        failOn(work);
    sqlite3_extended_result_codes(work, 1);
    const Statement objects =
        prepare(work, "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                      "ORDER BY type <> 'table', rowid");
    progress.caption(QStringLiteral("Skriver in tabellerna i den lokala databasen"),
                     lodvik::Progress::Show::WhenDue);
    for (int rc; (rc = sqlite3_step(objects.get())) != SQLITE_DONE;) {
        if (rc != SQLITE_ROW)
            failOn(work);
        progress.checkCancelled();
        const QString type = columnText(objects.get(), 0);
        const QString name = columnText(objects.get(), 1);
        if (type == QLatin1String("table"))
            exec(QStringLiteral("DROP TABLE IF EXISTS main.%1").arg(sqltext::identifier(name)));
        exec(columnText(objects.get(), 2));
        if (type == QLatin1String("table"))
            copyRows(work, name);
    }
    // Readers of the old tables finish first; the commit waits for them a while.
    sqlite3_busy_timeout(m_db, 30000);
    exec(QStringLiteral("COMMIT"));
}

void LiveStoreLock::failOn(sqlite3 *db) const {
    throw Error(
        QStringLiteral("De importerade tabellerna kan inte skrivas in i den lokala "
                       "databasen %1: %2")
            .arg(m_path, storeFailure(db, db ? sqlite3_extended_errcode(db) : SQLITE_CANTOPEN,
                                      QStringLiteral(" Den lokala databasen är oförändrad."))));
}

void LiveStoreLock::Finalizer::operator()(sqlite3_stmt *statement) const {
    sqlite3_finalize(statement);
}

LiveStoreLock::Statement LiveStoreLock::prepare(sqlite3 *db, const QByteArray &sql) const {
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        failOn(db);
    }
    return Statement(statement);
}

void LiveStoreLock::exec(const QString &sql) {
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        failOn(m_db);
}

void LiveStoreLock::copyRows(sqlite3 *work, const QString &table) {
    const QString quoted = sqltext::identifier(table);
    const Statement rows = prepare(work, QStringLiteral("SELECT * FROM %1").arg(quoted).toUtf8());
    const int columns = sqlite3_column_count(rows.get());
    QStringList marks;
    for (int i = 0; i < columns; ++i)
        marks.append(QStringLiteral("?"));
    const Statement into = prepare(m_db, QStringLiteral("INSERT INTO main.%1 VALUES (%2)")
                                             .arg(quoted, marks.join(QLatin1Char(',')))
                                             .toUtf8());
    for (int rc; (rc = sqlite3_step(rows.get())) != SQLITE_DONE;) {
        if (rc != SQLITE_ROW)
            failOn(work);
        for (int i = 0; i < columns; ++i)
            sqlite3_bind_value(into.get(), i + 1, sqlite3_column_value(rows.get(), i));
        if (sqlite3_step(into.get()) != SQLITE_DONE)
            failOn(m_db);
        sqlite3_reset(into.get());
    }
}

void LiveStoreLock::close() {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void copyLocalStore(const QString &from, const QString &to) {
    const std::shared_ptr<SqliteStore> source = SqliteStore::openFile(from);
    const std::shared_ptr<SqliteStore> target = SqliteStore::openFile(to);
    sqlite3_backup *backup =
        sqlite3_backup_init(target->handle(), "main", source->handle(), "main");
    int rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_extended_errcode(target->handle());
    if (backup) {
        sqlite3_backup_finish(backup);
        if (rc == SQLITE_DONE)
            return;
    }
    throw Error(QStringLiteral("Den lokala databasen %1 kan inte kopieras: %2")
                    .arg(from, storeFailure(nullptr, rc)));
}

} // namespace dao
