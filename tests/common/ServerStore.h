#pragma once

#include "TestServer.h"

// The extract store on the test PostgreSQL server (.ci/services.d/server.sh): a database of the
// test program's own, prepared with the shipped server/extrakt-postgresql.sql through psql as an
// administrator would, twice, and dropped again at the end. A test loads it from its SQLite
// store as import-store does, so that one test body runs on both stores and compares what each
// gives.
class ServerStore {
public:
    // The drivers to run on: QPSQL, and QODBC when its driver and data source are there.
    static QStringList drivers();

    ServerStore();
    ~ServerStore();
    ServerStore(const ServerStore &) = delete;
    ServerStore &operator=(const ServerStore &) = delete;
    // The store for a test program's server cases, or nothing (said once) without a server.
    static std::unique_ptr<ServerStore> whenThere();

    // [extrakt] settings naming this database, through QPSQL or the ODBC data source.
    SearchSourceSettings settings(const QString &driver) const;
    // An open QPSQL connection to it under the given connection name.
    QSqlDatabase connection(const QString &name) const;
    // Replaces the server's rows with those of the SQLite store (import-store's load). Empty, or
    // why the server cannot hold them as SQLite does (a value the load refuses, an integer a
    // double does not hold exactly).
    QString load(const QString &localDatabase);
    // Writes the [extrakt] section naming this database, through driver, into the program
    // folder's lodvikprodsok.ini; extra lines (key=value) replace the keys they name.
    void configure(const QString &programFolder, const QString &driver,
                   const QString &extra = {}) const;
    // Runs a statement on a connection of its own to the database; raises lodvik::Error.
    void execute(const QString &sql) const;

private:
    QString m_database;
};
