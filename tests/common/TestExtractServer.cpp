#include "TestExtractServer.h"

#include "TestServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QString env(const char *name) {
    return qEnvironmentVariable(name);
}

const QString admin = QStringLiteral("extract-admin");

// CREATE and DROP DATABASE run outside a transaction, on the shared extrakt database.
void onServer(const QString &sql) {
    QSqlQuery query(QSqlDatabase::database(admin, false));
    if (!query.exec(sql))
        qFatal("test server: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

} // namespace

QString TestExtractServer::missing() {
    if (env("LODVIK_TEST_PG_HOST").isEmpty() || env("LODVIK_TEST_PG_EXTRAKT_DB").isEmpty())
        return QStringLiteral("no test PostgreSQL server: LODVIK_TEST_PG_HOST and "
                              "LODVIK_TEST_PG_EXTRAKT_DB are not set (.ci/services.d/server.sh)");
    return {};
}

TestExtractServer::TestExtractServer(const QString &name)
    : m_database(QStringLiteral("pgload_%1_%2_%3")
                     .arg(QCoreApplication::applicationName().toLower(), name)
                     .arg(QCoreApplication::applicationPid())) {
    QSqlDatabase db = TestServer::connection(admin);
    db.setDatabaseName(env("LODVIK_TEST_PG_EXTRAKT_DB"));
    if (!db.open())
        qFatal("test server: %s", qPrintable(db.lastError().text()));
    onServer(QStringLiteral("SET client_min_messages TO warning"));
    onServer(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_database));
    onServer(
        QStringLiteral("CREATE DATABASE %1 ENCODING 'UTF8' TEMPLATE template0").arg(m_database));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), env("LODVIK_TEST_PG_PASSWORD"));
    for (int run = 0; run < 2; ++run) {
        QProcess psql;
        psql.setProcessEnvironment(environment);
        psql.start(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-v"),
                    QStringLiteral("workstation=") + env("LODVIK_TEST_PG_USER"),
                    QStringLiteral("-h"), env("LODVIK_TEST_PG_HOST"), QStringLiteral("-p"),
                    env("LODVIK_TEST_PG_PORT"), QStringLiteral("-U"), env("LODVIK_TEST_PG_USER"),
                    QStringLiteral("-d"), m_database, QStringLiteral("-f"),
                    QStringLiteral(LODVIK_SOURCE_DIR "/server/extrakt-postgresql.sql")});
        if (!psql.waitForFinished(120000) || psql.exitStatus() != QProcess::NormalExit ||
            psql.exitCode() != 0)
            m_scriptErrors += QStringLiteral("run %1: exit %2: %3\n")
                                  .arg(run + 1)
                                  .arg(psql.exitCode())
                                  .arg(QString::fromUtf8(psql.readAllStandardError()));
    }
}

TestExtractServer::~TestExtractServer() {
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name != admin && QSqlDatabase::database(name, false).databaseName() == m_database)
            QSqlDatabase::database(name, false).close();
    onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
    QSqlDatabase::database(admin, false).close();
    QSqlDatabase::removeDatabase(admin);
}

SearchSourceSettings TestExtractServer::settings(const QString &driver) const {
    SearchSourceSettings s = TestServer::settings(QStringLiteral("QPSQL"));
    s.driver = driver;
    if (driver == QLatin1String("QPSQL")) {
        s.database = m_database;
    } else {
        s = TestServer::settings(driver);
        s.dsn = env("LODVIK_TEST_ODBC_EXTRAKT_DSN");
        s.catalog = m_database;
    }
    return s;
}

QSqlDatabase TestExtractServer::connection(const QString &name) const {
    QSqlDatabase db = TestServer::connection(name);
    db.setDatabaseName(m_database);
    if (!db.open())
        qFatal("test server: %s", qPrintable(db.lastError().text()));
    return db;
}

QString TestExtractServer::iniText(const QString &driver) const {
    const SearchSourceSettings s = settings(driver);
    QString ini = QStringLiteral("[extrakt]\ndriver=%1\nuser=%2\npassword=%3\n")
                      .arg(driver, s.user, s.password);
    if (driver == QLatin1String("QPSQL"))
        ini += QStringLiteral("host=%1\nport=%2\ndatabase=%3\n")
                   .arg(s.host)
                   .arg(s.port)
                   .arg(s.database);
    else
        ini += QStringLiteral("dsn=%1\ncatalog=%2\n").arg(s.dsn, s.catalog);
    return ini;
}
