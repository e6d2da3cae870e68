#pragma once

#include "search/SearchSource.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The PostgreSQL server of the tests, named by LODVIK_TEST_PG_* and LODVIK_TEST_ODBC_DSN (CI
// starts one with .ci/services.d/server.sh).
class TestServer {
public:
    // The reason the server tests cannot run, or empty when they can.
    static QString missing();
    // The variable of that name (LODVIK_TEST_*), empty when it is not set.
    static QString env(const char *name) { return qEnvironmentVariable(name); }
    static SearchSourceSettings settings(const QString &driver);
    // An open QPSQL connection under the given connection name to the test database, or to the
    // database named; a server that refuses it ends the test program.
    static QSqlDatabase connection(const QString &name, const QString &database = {});
    // lodvikprodsok.ini text: the section with the settings' driver and login.
    static QString iniText(const QString &section, const SearchSourceSettings &s);
};

// One kind of search store for a case: "SQLite" in a folder of its own, or the test server
// through the driver of that name (QPSQL, QODBC), so that one test body runs on each. On the
// server the store is a schema of the test program's own, prepared with the shipped
// server/sokdata-postgresql.sql, so programs running side by side do not see each other's rows.
class TestStore {
public:
    // The kinds, and the "store" column of a case run on each.
    inline static const QStringList kinds{"SQLite", "QPSQL", "QODBC"};
    static void addKinds();
    // Whether the case can run on kind; a server kind needs the test server (missing() says why).
    static bool available(const QString &kind);

    explicit TestStore(const QString &kind);
    ~TestStore();
    TestStore(const TestStore &) = delete;
    TestStore &operator=(const TestStore &) = delete;
    std::unique_ptr<SearchSource> open() const;
    // A statement on a connection of the test's own; raises lodvik::Error on failure.
    void execute(const QString &sql) const;
    // Empties ProduktSok and fills it with (Soknamn, Produktnummer) pairs.
    void fill(const QList<QStringList> &products) const;
    // Every row of ProduktSok as "Soknamn|Produktnummer", padding removed, sorted as QString sorts.
    QStringList contents() const;

private:
    bool onServer() const { return m_kind != QLatin1String("SQLite"); }

    QString m_kind;
    QTemporaryDir m_dir;
    QString m_schema;
};
