#pragma once

#include "TestExtractServer.h"

#include <QString>
#include <QStringList>

#include <memory>

// The extract store on the test PostgreSQL server: a database of this test program's own,
// prepared with the shipped schema (TestExtractServer), which a test loads from its SQLite store
// as import-store does, so that one test body runs on both stores and compares what each gives.
class ServerStore {
public:
    // The reason the server cases cannot run, or empty when they can.
    static QString missing() { return TestExtractServer::missing(); }
    // The drivers to run on: QPSQL, and QODBC when its driver and data source are there.
    static QStringList drivers();

    ServerStore();
    // The store for a test program's server cases, or nothing (said once) without a server.
    static std::unique_ptr<ServerStore> whenThere();

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
    const TestExtractServer &server() const { return m_server; }

private:
    TestExtractServer m_server;
};
