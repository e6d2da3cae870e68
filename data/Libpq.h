#pragma once

#include <libpq-fe.h>

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
    decltype(&::PQstatus) PQstatus;
};

// The functions of libpq.so.5, loaded once; raises lodvik::Error when the library or one of its
// functions is missing.
const Libpq &libpq();

// The same from the named library, each time (the tests' missing library or function).
Libpq loadLibpq(const char *library);

} // namespace dao
