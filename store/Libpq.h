#pragma once

#include <libpq-fe.h>

class QSqlDatabase;

namespace dao {

// The libpq functions the server store calls itself, on the connection Qt's PostgreSQL driver
// opened. They are looked up at run time, the first time they are needed, so that a command
// that never reaches a server does not load libpq and its Kerberos, LDAP and TLS libraries.
struct Libpq {
    decltype(&::PQclear) PQclear;
    decltype(&::PQerrorMessage) PQerrorMessage;
    decltype(&::PQexec) PQexec;
    decltype(&::PQfreemem) PQfreemem;
    decltype(&::PQftype) PQftype;
    decltype(&::PQgetCopyData) PQgetCopyData;
    decltype(&::PQgetResult) PQgetResult;
    decltype(&::PQgetvalue) PQgetvalue;
    decltype(&::PQnfields) PQnfields;
    decltype(&::PQntuples) PQntuples;
    decltype(&::PQputCopyData) PQputCopyData;
    decltype(&::PQputCopyEnd) PQputCopyEnd;
    decltype(&::PQresultErrorField) PQresultErrorField;
    decltype(&::PQresultStatus) PQresultStatus;
    decltype(&::PQsetNoticeProcessor) PQsetNoticeProcessor;
    decltype(&::PQstatus) PQstatus;
};

// The functions of libpq.so.5, loaded once; raises lodvik::Error when the library or one of its
// functions is missing.
const Libpq &libpq();

// The same from the named library, each time (the tests' missing library or function).
Libpq loadLibpq(const char *library);

// The libpq connection under a connection of Qt's PostgreSQL driver; null for another driver.
PGconn *pgConnection(const QSqlDatabase &db);

// Server notices and warnings (a restart's "terminating connection", a RAISE in the server's own
// functions) are for the server's log, not for the operator: libpq would print them, in English,
// on stderr. Errors still come back with the statement that failed.
void silenceNotices(const QSqlDatabase &db);

} // namespace dao
