#pragma once

#include <QString>

class QSqlDatabase;
class QSqlError;
struct sqlite3;

namespace dao {

// What SQLite's (extended) result code means for the operator, in Swedish, without a full stop:
// "den är låst av ett annat program som skriver i den". systemError is the connection's
// sqlite3_system_errno: SQLite reports a write that found no room as SQLITE_FULL only for
// ENOSPC, and one past the file size limit or the quota as an I/O error.
QString sqliteReason(int code, const QString &engineMessage = {}, int systemError = 0);

// The reason and a full stop, then the engine's own words after "Detaljer:" ("SQLite-fel 5:
// database is locked"). engineMessage defaults to the code's standard text.
QString sqliteFailure(int code, const QString &engineMessage = {});

// The same for the last failure on a connection.
QString sqliteFailure(sqlite3 *db);

// The system's error number behind the connection's last I/O failure, 0 when unknown: SQLite's
// own record, else the main file's (a failed COMMIT leaves it only there).
int sqliteSystemError(sqlite3 *db);

// A Qt SQL driver's failure: in Swedish (from SQLite's result code when the driver is SQLite's,
// else from the kind of error), the driver's and the server's own words after "Detaljer:".
QString databaseFailure(const QSqlError &error, bool sqlite);
// The same for a failure on that connection, which on SQLite also tells a disk without room
// (Qt's driver reports only SQLite's words).
QString databaseFailure(const QSqlDatabase &db, const QSqlError &error);

} // namespace dao
