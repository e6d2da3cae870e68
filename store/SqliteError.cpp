#include "store/SqliteError.h"

#include "MDlib/SystemError.h"

#include <QSqlError>

#include <sqlite3.h>

namespace dao {

QString sqliteReason(int code, const QString &engineMessage) {
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
        return QStringLiteral("den är skrivskyddad (programmet får inte skriva i filen eller i "
                              "mappen där den ligger)");
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
    return sqliteFailure(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
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

} // namespace dao
