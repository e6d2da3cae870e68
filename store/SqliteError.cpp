#include "store/SqliteError.h"

#include "MDlib/SystemError.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <sqlite3.h>

#include <cerrno>

namespace dao {

namespace {

// A write that found no room: a full disk, the file size limit, the quota.
bool noRoom(int systemError) {
    return systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT;
}

} // namespace

QString sqliteReason(int code, const QString &engineMessage, int systemError) {
    switch (code) {
    case SQLITE_READONLY_DIRECTORY:
        return QStringLiteral("programmet får inte skriva i mappen där den ligger");
    case SQLITE_CANTOPEN_ISDIR:
        return QStringLiteral("det är en mapp");
    default:
        break;
    }
    switch (code & 0xff) {
    case SQLITE_BUSY:
        return QStringLiteral("den är låst av ett annat program som skriver i den");
    case SQLITE_LOCKED:
        return QStringLiteral("den är låst av en annan anslutning i programmet");
    case SQLITE_FULL:
        return QStringLiteral("disken är full");
    case SQLITE_READONLY:
        // The -wal and -shm files take the database's permissions when they are made: made
        // while it was write-protected, they stay so after it is writable again.
        return QStringLiteral("den är skrivskyddad (programmet får inte skriva i filen, i dess "
                              "filer -wal och -shm bredvid den eller i mappen där den ligger)");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("programmet saknar behörighet");
    case SQLITE_CANTOPEN:
        return QStringLiteral("filen kan inte öppnas (den finns inte, eller programmet saknar "
                              "behörighet till den eller mappen)");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("den är skadad");
    case SQLITE_IOERR:
        if (noRoom(systemError))
            return sqliteReason(SQLITE_FULL);
        return QStringLiteral("disken gav ett läs- eller skrivfel");
    case SQLITE_NOMEM:
        return QStringLiteral("minnet räckte inte");
    case SQLITE_TOOBIG:
        return QStringLiteral("ett värde är för stort");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("ett villkor i tabellen bröts");
    case SQLITE_MISMATCH:
        return QStringLiteral("ett värde har fel typ");
    case SQLITE_INTERRUPT:
        return QStringLiteral("frågan avbröts");
    default:
        break;
    }
    if (engineMessage.contains(QLatin1String("integer overflow")))
        return QStringLiteral("en summa blev för stor för att räknas som heltal");
    return QStringLiteral("ett databasfel");
}

QString sqliteFailure(int code, const QString &engineMessage) {
    const QString words =
        engineMessage.isEmpty() ? QString::fromUtf8(sqlite3_errstr(code)) : engineMessage;
    return sqliteReason(code, words) + QLatin1Char('.') +
           lodvik::details(QStringLiteral("SQLite-fel %1: %2").arg(code).arg(words));
}

QString sqliteFailure(sqlite3 *db) {
    if (!db)
        return sqliteFailure(SQLITE_CANTOPEN);
    const int code = sqlite3_extended_errcode(db);
    const QString words = QString::fromUtf8(sqlite3_errmsg(db));
    return sqliteReason(code, words, sqliteSystemError(db)) + QLatin1Char('.') +
           lodvik::details(QStringLiteral("SQLite-fel %1: %2").arg(code).arg(words));
}

int sqliteSystemError(sqlite3 *db) {
    int error = sqlite3_system_errno(db);
    if (error == 0 &&
        sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &error) != SQLITE_OK)
        error = 0;
    return error;
}

QString databaseFailure(const QSqlError &error, bool sqlite) {
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric);
    QString why;
    if (sqlite && numeric)
        why = sqliteReason(code, error.databaseText());
    else if (error.type() == QSqlError::ConnectionError)
        why = QStringLiteral("förbindelsen med databasen kunde inte upprättas eller bröts");
    else if (error.type() == QSqlError::TransactionError)
        why = QStringLiteral("transaktionen kunde inte genomföras");
    else
        why = QStringLiteral("databasen vägrade frågan");
    const QString words = sqlite && numeric
                              ? QStringLiteral("SQLite-fel %1: %2").arg(code).arg(error.text())
                              : error.text();
    return why + QLatin1Char('.') + lodvik::details(words);
}

QString databaseFailure(const QSqlDatabase &db, const QSqlError &error) {
    const bool sqlite = db.driver() && db.driver()->dbmsType() == QSqlDriver::SQLite;
    if (sqlite) {
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            if (sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.data());
                connection && noRoom(sqliteSystemError(connection)))
                return sqliteReason(SQLITE_FULL) + QLatin1Char('.') + lodvik::details(error.text());
    }
    return databaseFailure(error, sqlite);
}

} // namespace dao
