#include "ServerStore.h"

#include "MDlib/Error.h"
#include "data/LocalDatabase.h"
#include "data/TableCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cmath>

namespace {

QString env(const char *name) {
    return qEnvironmentVariable(name);
}

QSqlDatabase connect(const QString &name, const QString &database, const QString &user) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(env("LODVIK_TEST_PG_HOST"));
    db.setPort(env("LODVIK_TEST_PG_PORT").toInt());
    db.setDatabaseName(database);
    db.setUserName(user);
    db.setPassword(env("LODVIK_TEST_PG_PASSWORD"));
    if (!db.open())
        qFatal("server store: %s", qPrintable(db.lastError().text()));
    return db;
}

void run(const QString &connection, const QString &sql) {
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(sql))
        throw lodvik::Error(query.lastError().text() + QStringLiteral("\n") + sql);
}

// The product comparison's key on the server: A-Z and À-Þ but × folded, as dao::productKey.
QString keyFunction() {
    QString upper, lower;
    for (char16_t c = u'A'; c <= u'Z'; ++c) {
        upper += QChar(c);
        lower += QChar(char16_t(c + 0x20));
    }
    for (char16_t c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) {
            upper += QChar(c);
            lower += QChar(char16_t(c + 0x20));
        }
    return QStringLiteral(
               "CREATE FUNCTION lodvik_nyckel(text) RETURNS text LANGUAGE sql "
               "IMMUTABLE STRICT PARALLEL SAFE AS $$ SELECT translate($1, '%1', '%2') $$")
        .arg(upper, lower);
}

} // namespace

QString ServerStore::missing() {
    if (env("LODVIK_TEST_PG_HOST").isEmpty())
        return QStringLiteral("no test PostgreSQL server: LODVIK_TEST_PG_HOST is not set "
                              "(.ci/services.d/server.sh)");
    return {};
}

QStringList ServerStore::drivers() {
    QStringList drivers{QStringLiteral("QPSQL")};
    if (!env("LODVIK_TEST_ODBC_DSN").isEmpty() &&
        QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        drivers.append(QStringLiteral("QODBC"));
    return drivers;
}

ServerStore::ServerStore()
    : m_database(QStringLiteral("pgread_%1_%2")
                     .arg(QCoreApplication::applicationName().toLower())
                     .arg(QCoreApplication::applicationPid())),
      m_owner(QStringLiteral("serverstore-owner")), m_admin(QStringLiteral("serverstore-admin")) {
    connect(m_admin, QStringLiteral("postgres"), QStringLiteral("postgres"));
    run(m_admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_database));
    run(m_admin, QStringLiteral("CREATE DATABASE %1 OWNER %2 ENCODING 'UTF8' TEMPLATE template0")
                     .arg(m_database, env("LODVIK_TEST_PG_USER")));
    connect(m_owner, m_database, env("LODVIK_TEST_PG_USER"));
    execute(keyFunction());
    for (const catalogue::Table &t : catalogue::localTables()) {
        QStringList columns;
        for (const catalogue::Column &c : t.columns)
            columns.append(c.name + (c.kind == catalogue::ColumnKind::Text
                                         ? QStringLiteral(" text")
                                         : QStringLiteral(" double precision")));
        columns.append(QStringLiteral("lodvik_radnr bigint NOT NULL PRIMARY KEY"));
        execute(QStringLiteral("CREATE TABLE %1 (%2)").arg(t.name, columns.join(u',')));
        for (const QString &column : t.indexed)
            execute(QStringLiteral("CREATE INDEX ON %1 (lodvik_nyckel(%2), lodvik_radnr)")
                        .arg(t.name, column));
    }
}

ServerStore::~ServerStore() {
    {
        QSqlDatabase owner = QSqlDatabase::database(m_owner, false);
        owner.close();
    }
    QSqlDatabase::removeDatabase(m_owner);
    {
        QSqlQuery(QSqlDatabase::database(m_admin, false))
            .exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
        QSqlDatabase::database(m_admin, false).close();
    }
    QSqlDatabase::removeDatabase(m_admin);
}

void ServerStore::execute(const QString &sql) const {
    run(m_owner, sql);
}

void ServerStore::executeAsAdmin(const QString &sql) const {
    run(m_admin, sql);
}

QString ServerStore::load(const QString &localDatabase) {
    QStringList tables;
    for (const catalogue::Table &t : catalogue::localTables())
        tables.append(t.name);
    execute(QStringLiteral("TRUNCATE ") + tables.join(u','));
    dao::Database db = dao::Database::OpenDatabase(localDatabase);
    QSqlDatabase server = QSqlDatabase::database(m_owner, false);
    for (const catalogue::Table &t : catalogue::localTables()) {
        if (!db.TableExists(t.name))
            continue;
        QStringList names{QStringLiteral("lodvik_radnr")};
        QStringList marks{QStringLiteral("?")};
        for (const catalogue::Column &c : t.columns) {
            names.append(c.name);
            marks.append(QStringLiteral("?"));
        }
        QSqlQuery insert(server);
        insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(t.name, names.join(u','), marks.join(u',')));
        QStringList selected{QStringLiteral("rowid")};
        for (const catalogue::Column &c : t.columns)
            selected.append(QStringLiteral("\"%1\"").arg(c.name));
        for (dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY "
                                                                 "rowid")
                                                      .arg(selected.join(u','), t.name));
             !rs.isEOF(); rs.MoveNext()) {
            insert.bindValue(0, rs.Fields(0).number());
            for (int i = 0; i < t.columns.size(); ++i) {
                const lodvik::Variant v = rs.Fields(i + 1);
                const bool number = t.columns.at(i).kind == catalogue::ColumnKind::Number;
                if (rs.storedBlob(i + 1))
                    return QStringLiteral("a blob in %1").arg(t.name);
                if (v.isNull())
                    insert.bindValue(i + 1, QVariant(QMetaType(QMetaType::QString)));
                else if (number && !v.isNumber())
                    return QStringLiteral("a text in the number column %1.%2")
                        .arg(t.name, t.columns.at(i).name);
                else if (number && std::fabs(v.number()) > 9007199254740992.0 &&
                         std::fabs(v.number()) < 9223372036854775808.0 &&
                         v.number() == std::trunc(v.number()))
                    return QStringLiteral("an integer past 2^53 in %1").arg(t.name);
                else if (number)
                    insert.bindValue(i + 1, v.number());
                else
                    insert.bindValue(i + 1, v.toText());
            }
            if (!insert.exec())
                throw lodvik::Error(insert.lastError().text());
        }
    }
    return {};
}

void ServerStore::configure(const QString &programFolder, const QString &driver,
                            const QString &extra) const {
    QFile ini(QDir(programFolder).filePath(QStringLiteral("lodvikprodsok.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("server store: cannot write %s", qPrintable(ini.fileName()));
    QString text = QStringLiteral("[extrakt]\ndriver=%1\nuser=%2\npassword=%3\n")
                       .arg(driver, env("LODVIK_TEST_PG_USER"), env("LODVIK_TEST_PG_PASSWORD"));
    if (driver == QLatin1String("QPSQL"))
        text += QStringLiteral("host=%1\nport=%2\ndatabase=%3\n")
                    .arg(env("LODVIK_TEST_PG_HOST"), env("LODVIK_TEST_PG_PORT"), m_database);
    else
        text += QStringLiteral("dsn=%1\ncatalog=%2\n").arg(env("LODVIK_TEST_ODBC_DSN"), m_database);
    if (!extra.isEmpty())
        text += extra + QLatin1Char('\n');
    ini.write(text.toUtf8());
}
