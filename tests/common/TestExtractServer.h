#pragma once

#include "search/SearchSource.h"

#include <QSqlDatabase>
#include <QString>

// A database of its own on the test server (.ci/services.d/server.sh) prepared as an extract
// store with the shipped server/extrakt-postgresql.sql, run through psql as an administrator
// would, twice; dropped again at the end. Its name begins with the test program's, so programs
// running side by side never share one.
class TestExtractServer {
public:
    // The reason the tests cannot run, or empty when they can.
    static QString missing();

    explicit TestExtractServer(const QString &name);
    ~TestExtractServer();
    TestExtractServer(const TestExtractServer &) = delete;
    TestExtractServer &operator=(const TestExtractServer &) = delete;

    // The psql runs' faults, empty when both went through.
    const QString &scriptErrors() const { return m_scriptErrors; }
    const QString &database() const { return m_database; }
    // [extrakt] settings naming this database, through QPSQL or the ODBC data source.
    SearchSourceSettings settings(const QString &driver) const;
    // An open QPSQL connection to it under the given connection name.
    QSqlDatabase connection(const QString &name) const;
    // lodvikprodsok.ini text with an [extrakt] section for driver.
    QString iniText(const QString &driver) const;

private:
    QString m_database;
    QString m_scriptErrors;
};
