#pragma once

#include <QString>

class QSqlError;
struct sqlite3;

namespace dao {

// What SQLite's (extended) result code means for the operator, in Swedish, without a full stop:
// "den är låst av ett annat program som skriver i den".
QString sqliteReason(int code, const QString &engineMessage = {});

// The reason and a full stop, then the engine's own words after "Detaljer:" ("SQLite-fel 5:
// database is locked"). engineMessage defaults to the code's standard text.
QString sqliteFailure(int code, const QString &engineMessage = {});

// The same for the last failure on a connection.
QString sqliteFailure(sqlite3 *db);

// A Qt SQL driver's failure: in Swedish (from SQLite's result code when the driver is SQLite's,
// else from the kind of error), the driver's and the server's own words after "Detaljer:".
QString databaseFailure(const QSqlError &error, bool sqlite);

} // namespace dao
