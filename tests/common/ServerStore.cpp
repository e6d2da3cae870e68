#include "ServerStore.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "store/ExtractLoad.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

const auto env = &TestServer::env;
const QString admin = QStringLiteral("extract-admin");

// CREATE and DROP DATABASE run outside a transaction, on the shared extrakt database; a drop WITH
// (FORCE) is refused for the moments an autovacuum worker is in the database: tried for 10 s.
void onServer(const QString &sql) {
    QSqlQuery query(QSqlDatabase::database(admin, false));
    for (int attempt = 1; !query.exec(sql); ++attempt) {
        if (attempt == 100)
            qFatal("test server: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        QThread::msleep(100);
    }
}

} // namespace

QStringList ServerStore::drivers() {
    QStringList drivers{QStringLiteral("QPSQL")};
    if (!env("LODVIK_TEST_ODBC_EXTRAKT_DSN").isEmpty() &&
        QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        drivers.append(QStringLiteral("QODBC"));
    return drivers;
}

// The name begins with the test program's, so programs running side by side never share one.
ServerStore::ServerStore()
    : m_database(QStringLiteral("pgload_%1_%2")
                     .arg(QCoreApplication::applicationName().toLower())
                     .arg(QCoreApplication::applicationPid())) {
    TestServer::connection(admin, env("LODVIK_TEST_PG_EXTRAKT_DB"));
    onServer(QStringLiteral("SET client_min_messages TO warning"));
    onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
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
            qFatal("server store: run %d of the schema: exit %d: %s", run + 1, psql.exitCode(),
                   psql.readAllStandardError().constData());
    }
}

ServerStore::~ServerStore() {
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name != admin && QSqlDatabase::database(name, false).databaseName() == m_database)
            QSqlDatabase::database(name, false).close();
    onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
    QSqlDatabase::database(admin, false).close();
    QSqlDatabase::removeDatabase(admin);
}

std::unique_ptr<ServerStore> ServerStore::whenThere() {
    if (TestServer::missing().isEmpty())
        return std::make_unique<ServerStore>();
    qInfo("only SQLite: %s", qPrintable(TestServer::missing()));
    return nullptr;
}

SearchSourceSettings ServerStore::settings(const QString &driver) const {
    SearchSourceSettings s = TestServer::settings(driver);
    if (driver == QLatin1String("QPSQL")) {
        s.database = m_database;
    } else {
        s.dsn = env("LODVIK_TEST_ODBC_EXTRAKT_DSN");
        s.catalog = m_database;
    }
    return s;
}

QSqlDatabase ServerStore::connection(const QString &name) const {
    return TestServer::connection(name, m_database);
}

QString ServerStore::load(const QString &localDatabase) {
    {
        // A double holds integers exactly only up to 2^53, SQLite to 2^63; a blob has no place.
        dao::Database db = dao::Database::OpenDatabase(localDatabase);
        for (const catalogue::Table &t : catalogue::localTables())
            for (const catalogue::Column &c : t.columns)
                if (c.kind == catalogue::ColumnKind::Number && db.TableExists(t.name) &&
                    !db.OpenRecordset(QStringLiteral("SELECT 1 FROM \"%1\" WHERE typeof(\"%2\") = "
                                                     "'blob' OR (typeof(\"%2\") = 'integer' AND "
                                                     "abs(\"%2\") > 9007199254740992)")
                                          .arg(t.name, c.name))
                         .isEOF())
                    return QStringLiteral("a blob or an integer past 2^53 in %1.%2")
                        .arg(t.name, c.name);
    }
    try {
        lodvik::NoProgress progress;
        extractload::loadServerStore(localDatabase, settings(QStringLiteral("QPSQL")), progress);
    } catch (const lodvik::Error &e) {
        return e.message();
    }
    return {};
}

void ServerStore::configure(const QString &programFolder, const QString &driver,
                            const QString &extra) const {
    QFile ini(QDir(programFolder).filePath(QStringLiteral("lodvikprodsok.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("server store: cannot write %s", qPrintable(ini.fileName()));
    ini.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QStringList lines =
        TestServer::iniText(QStringLiteral("extrakt"), settings(driver)).split('\n');
    // A later line of a key does not replace an earlier one: extra takes its place.
    for (const QString &line : extra.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        lines.removeIf(
            [&](const QString &l) { return l.section('=', 0, 0) == line.section('=', 0, 0); });
        lines.insert(lines.size() - 1, line);
    }
    ini.write(lines.join(QLatin1Char('\n')).toUtf8());
}

void ServerStore::execute(const QString &sql) const {
    const QString name = QStringLiteral("serverstore-statement");
    QString error;
    {
        QSqlQuery query(connection(name));
        if (!query.exec(sql))
            error = query.lastError().text() + QStringLiteral("\n") + sql;
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty())
        throw lodvik::Error(error);
}
