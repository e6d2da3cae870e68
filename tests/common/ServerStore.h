#pragma once

#include <QString>
#include <QStringList>

// The extract store on the test PostgreSQL server (LODVIK_TEST_PG_*, .ci/services.d/server.sh):
// a database of this test program's own, holding every catalogue table as the server store has
// it, into which a test copies the rows of its SQLite store, so that one test body runs on both
// stores and compares what each gives.
class ServerStore {
public:
    // The reason the server cases cannot run, or empty when they can.
    static QString missing();
    // The drivers to run on: QPSQL, and QODBC when its driver is there.
    static QStringList drivers();

    ServerStore();
    ~ServerStore();
    ServerStore(const ServerStore &) = delete;
    ServerStore &operator=(const ServerStore &) = delete;

    // Replaces the server's rows with those of every catalogue table of the SQLite store, each
    // with its rowid as lodvik_radnr. Empty, or why the server's typed columns cannot hold them
    // (a text or a blob in a number column, an integer a double does not hold exactly).
    QString load(const QString &localDatabase);
    // Writes the [extrakt] section naming this database, through driver, into the program
    // folder's lodvikprodsok.ini, with extra lines (key=value) added.
    void configure(const QString &programFolder, const QString &driver,
                   const QString &extra = {}) const;
    // Runs statements on the database as its owner; raises lodvik::Error on failure.
    void execute(const QString &sql) const;
    // Runs them as the server's superuser (pg_terminate_backend of another role's connection).
    void executeAsAdmin(const QString &sql) const;
    const QString &database() const { return m_database; }

private:
    QString m_database;
    QString m_owner;
    QString m_admin;
};
