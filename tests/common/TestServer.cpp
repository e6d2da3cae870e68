#include "TestServer.h"

#include "MDlib/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>

QString TestServer::missing() {
    if (env("LODVIK_TEST_PG_HOST").isEmpty() || env("LODVIK_TEST_PG_EXTRAKT_DB").isEmpty() ||
        env("LODVIK_TEST_ODBC_DSN").isEmpty())
        return QStringLiteral(
            "no test PostgreSQL server: LODVIK_TEST_PG_HOST, LODVIK_TEST_PG_EXTRAKT_DB or "
            "LODVIK_TEST_ODBC_DSN is not set (.ci/services.d/server.sh)");
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

QSqlDatabase TestServer::connection(const QString &name, const QString &database) {
    const SearchSourceSettings s = settings(QStringLiteral("QPSQL"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(s.host);
    db.setPort(s.port);
    db.setDatabaseName(database.isEmpty() ? s.database : database);
    db.setUserName(s.user);
    db.setPassword(s.password);
    if (!db.open())
        qFatal("test server: %s", qPrintable(db.lastError().text()));
    return db;
}

QString TestServer::iniText(const QString &section, const SearchSourceSettings &s) {
    QString ini = QStringLiteral("[%1]\ndriver=%2\nuser=%3\npassword=%4\n")
                      .arg(section, s.driver, s.user, s.password);
    if (s.driver == QLatin1String("QPSQL"))
        return ini + QStringLiteral("host=%1\nport=%2\ndatabase=%3\n")
                         .arg(s.host)
                         .arg(s.port)
                         .arg(s.database);
    return ini + QStringLiteral("dsn=%1\n").arg(s.dsn) +
           (s.catalog.isEmpty() ? QString() : QStringLiteral("catalog=%1\n").arg(s.catalog));
}

namespace {
const QString admin = QStringLiteral("testserver-admin");
}

TestStore::TestStore(const QString &kind) : m_kind(kind) {
    if (!onServer() || !TestServer::missing().isEmpty())
        return;
    m_schema = QStringLiteral("t_%1_%2")
                   .arg(QCoreApplication::applicationName().toLower())
                   .arg(QCoreApplication::applicationPid());
    TestServer::connection(admin);
    QFile sql(QStringLiteral(LODVIK_SOURCE_DIR "/server/sokdata-postgresql.sql"));
    if (!sql.open(QIODevice::ReadOnly))
        qFatal("test server: cannot read %s", qPrintable(sql.fileName()));
    execute(QStringLiteral("SET client_min_messages TO warning"));
    execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
    execute(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
    execute(QStringLiteral("SET search_path TO %1").arg(m_schema));
    execute(QString::fromUtf8(sql.readAll())); // one round trip: the file as psql would run it
}

TestStore::~TestStore() {
    if (m_schema.isEmpty())
        return;
    QSqlQuery(QSqlDatabase::database(admin, false))
        .exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
    QSqlDatabase::removeDatabase(admin);
}

std::unique_ptr<SearchSource> TestStore::open() const {
    if (!onServer())
        return openSqliteSearchSource(m_dir.filePath(QStringLiteral("sokdata.db")));
    std::unique_ptr<SearchSource> source = openServerSearchSource(TestServer::settings(m_kind));
    QSqlQuery query(source->database());
    if (!query.exec(QStringLiteral("SET search_path TO %1").arg(m_schema)))
        throw lodvik::Error(query.lastError().text());
    return source;
}

void TestStore::execute(const QString &sql) const {
    const std::unique_ptr<SearchSource> source = onServer() ? nullptr : open();
    QSqlQuery query(source ? source->database() : QSqlDatabase::database(admin, false));
    if (!query.exec(sql))
        throw lodvik::Error(query.lastError().text() + QStringLiteral("\n") + sql);
}

void TestStore::addKinds() {
    QTest::addColumn<QString>("store");
    for (const QString &kind : kinds)
        QTest::newRow(qPrintable(kind)) << kind;
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
