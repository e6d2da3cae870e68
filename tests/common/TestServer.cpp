#include "TestServer.h"

#include "MDlib/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>

namespace {

QString env(const char *name) {
    return qEnvironmentVariable(name);
}

} // namespace

QString TestServer::missing() {
    if (env("LODVIK_TEST_PG_HOST").isEmpty() || env("LODVIK_TEST_ODBC_DSN").isEmpty())
        return QStringLiteral("no test PostgreSQL server: LODVIK_TEST_PG_HOST and "
                              "LODVIK_TEST_ODBC_DSN are not set (.ci/services.d/server.sh)");
    return {};
}

SearchSourceSettings TestServer::settings(const QString &driver) {
    SearchSourceSettings s;
    s.driver = driver;
    s.user = env("LODVIK_TEST_PG_USER");
    s.password = env("LODVIK_TEST_PG_PASSWORD");
    if (driver == QLatin1String("QPSQL")) {
        s.host = env("LODVIK_TEST_PG_HOST");
        s.port = env("LODVIK_TEST_PG_PORT").toInt();
        s.database = env("LODVIK_TEST_PG_DB");
    } else {
        s.dsn = env("LODVIK_TEST_ODBC_DSN");
    }
    return s;
}

QSqlDatabase TestServer::connection(const QString &name) {
    const SearchSourceSettings s = settings(QStringLiteral("QPSQL"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(s.host);
    db.setPort(s.port);
    db.setDatabaseName(s.database);
    db.setUserName(s.user);
    db.setPassword(s.password);
    return db;
}

TestServer::TestServer()
    : m_schema(QStringLiteral("t_%1_%2")
                   .arg(QCoreApplication::applicationName().toLower())
                   .arg(QCoreApplication::applicationPid())),
      m_admin(QStringLiteral("testserver-admin")) {
    if (!missing().isEmpty())
        return;
    QSqlDatabase db = connection(m_admin);
    if (!db.open())
        qFatal("test server: %s", qPrintable(db.lastError().text()));
    QFile sql(QStringLiteral(LODVIK_SOURCE_DIR "/server/sokdata-postgresql.sql"));
    if (!sql.open(QIODevice::ReadOnly))
        qFatal("test server: cannot read %s", qPrintable(sql.fileName()));
    execute(QStringLiteral("SET client_min_messages TO warning"));
    execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
    execute(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
    execute(QStringLiteral("SET search_path TO %1").arg(m_schema));
    execute(QString::fromUtf8(sql.readAll())); // one round trip: the file as psql would run it
}

TestServer::~TestServer() {
    if (!QSqlDatabase::contains(m_admin))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_admin, false);
        QSqlQuery(db).exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
        db.close();
    }
    QSqlDatabase::removeDatabase(m_admin);
}

void TestServer::execute(const QString &sql) const {
    QSqlQuery query(QSqlDatabase::database(m_admin, false));
    if (!query.exec(sql))
        throw lodvik::Error(query.lastError().text() + QStringLiteral("\n") + sql);
}

std::unique_ptr<SearchSource> TestServer::open(const QString &driver) const {
    std::unique_ptr<SearchSource> source = openServerSearchSource(settings(driver));
    QSqlQuery query(source->database());
    if (!query.exec(QStringLiteral("SET search_path TO %1").arg(m_schema)))
        throw lodvik::Error(query.lastError().text());
    return source;
}

TestStore::TestStore(const QString &kind) : m_kind(kind) {
    if (kind != QLatin1String("SQLite"))
        m_server = std::make_unique<TestServer>();
}

std::unique_ptr<SearchSource> TestStore::open() const {
    return m_server ? m_server->open(m_kind)
                    : openSqliteSearchSource(m_dir.filePath(QStringLiteral("sokdata.db")));
}

void TestStore::execute(const QString &sql) const {
    if (m_server)
        return m_server->execute(sql);
    const std::unique_ptr<SearchSource> source = open();
    QSqlQuery query(source->database());
    if (!query.exec(sql))
        throw lodvik::Error(query.lastError().text());
}

void TestStore::addKinds() {
    QTest::addColumn<QString>("store");
    for (const char *kind : {"SQLite", "QPSQL", "QODBC"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

bool TestStore::available(const QString &kind) {
    return kind == QLatin1String("SQLite") || TestServer::missing().isEmpty();
}

void TestStore::fill(const QList<QStringList> &products) const {
    const std::unique_ptr<SearchSource> source = open();
    QSqlQuery insert(source->database());
    if (!insert.exec(QStringLiteral("DELETE FROM ProduktSok")))
        throw lodvik::Error(insert.lastError().text());
    insert.prepare(QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)"));
    for (const QStringList &p : products) {
        insert.addBindValue(p.value(0));
        insert.addBindValue(p.value(1));
        if (!insert.exec())
            throw lodvik::Error(insert.lastError().text());
    }
}

QStringList TestStore::contents() const {
    const std::unique_ptr<SearchSource> source = open();
    QSqlQuery query(source->database());
    if (!query.exec(QStringLiteral("SELECT rtrim(Soknamn) || '|' || rtrim(Produktnummer) FROM "
                                   "ProduktSok")))
        throw lodvik::Error(query.lastError().text());
    QStringList rows;
    while (query.next())
        rows.append(query.value(0).toString());
    std::sort(rows.begin(), rows.end());
    return rows;
}
