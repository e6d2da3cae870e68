#include "store/Libpq.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"

#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <dlfcn.h>

namespace dao {

namespace {

template <typename Function>
void resolve(void *library, const char *libraryName, const char *name, Function &function) {
    dlerror();
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (!function)
        throw lodvik::Error(
            QStringLiteral("PostgreSQL-biblioteket %1 saknar funktionen %2, så databasservern "
                           "kan inte användas. Installera paketet libpq5 på nytt.%3")
                .arg(QString::fromLocal8Bit(libraryName), QLatin1String(name),
                     lodvik::details(QString::fromLocal8Bit(dlerror()))));
}

} // namespace

Libpq loadLibpq(const char *library) {
    // Never closed: the driver that opened the connection holds it loaded anyway.
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw lodvik::Error(
            QStringLiteral("PostgreSQL-biblioteket %1 kunde inte läsas in, så databasservern "
                           "kan inte användas. Installera paketet libpq5.%2")
                .arg(QString::fromLocal8Bit(library),
                     lodvik::details(QString::fromLocal8Bit(dlerror()))));
    Libpq pq;
    // A library without one of the functions is let go again: the next use tries anew.
    auto close = qScopeGuard([handle] { dlclose(handle); });
#define LODVIK_RESOLVE(name) resolve(handle, library, #name, pq.name)
    LODVIK_RESOLVE(PQclear);
    LODVIK_RESOLVE(PQerrorMessage);
    LODVIK_RESOLVE(PQexec);
    LODVIK_RESOLVE(PQfreemem);
    LODVIK_RESOLVE(PQftype);
    LODVIK_RESOLVE(PQgetCopyData);
    LODVIK_RESOLVE(PQgetResult);
    LODVIK_RESOLVE(PQgetvalue);
    LODVIK_RESOLVE(PQnfields);
    LODVIK_RESOLVE(PQntuples);
    LODVIK_RESOLVE(PQputCopyData);
    LODVIK_RESOLVE(PQputCopyEnd);
    LODVIK_RESOLVE(PQresultErrorField);
    LODVIK_RESOLVE(PQresultStatus);
    LODVIK_RESOLVE(PQsetNoticeProcessor);
    LODVIK_RESOLVE(PQstatus);
#undef LODVIK_RESOLVE
    close.dismiss();
    return pq;
}

const Libpq &libpq() {
    // A failed load throws out of the initialisation, so the next use tries again.
    static const Libpq pq = loadLibpq("libpq.so.5");
    return pq;
}

PGconn *pgConnection(const QSqlDatabase &db) {
    if (db.driverName() != QLatin1String("QPSQL") || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // Qt 6 names the type by libpq's struct, older versions by its typedef.
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "pg_conn*") == 0 || qstrcmp(handle.typeName(), "PGconn*") == 0))
        return *static_cast<PGconn *const *>(handle.constData());
    return nullptr;
}

void silenceNotices(const QSqlDatabase &db) {
    if (PGconn *connection = pgConnection(db))
        libpq().PQsetNoticeProcessor(
            connection, [](void *, const char *) {}, nullptr);
}

} // namespace dao
