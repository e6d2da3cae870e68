#include "ServerStore.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "store/ExtractLoad.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

QStringList ServerStore::drivers() {
    QStringList drivers{QStringLiteral("QPSQL")};
    if (!qEnvironmentVariable("LODVIK_TEST_ODBC_EXTRAKT_DSN").isEmpty() &&
        QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        drivers.append(QStringLiteral("QODBC"));
    return drivers;
}

ServerStore::ServerStore() : m_server(QStringLiteral("pgread")) {
    if (!m_server.scriptErrors().isEmpty())
        qFatal("server store: %s", qPrintable(m_server.scriptErrors()));
}

std::unique_ptr<ServerStore> ServerStore::whenThere() {
    if (missing().isEmpty())
        return std::make_unique<ServerStore>();
    qInfo("only SQLite: %s", qPrintable(missing()));
    return nullptr;
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
        extractload::loadServerStore(localDatabase, m_server.settings(QStringLiteral("QPSQL")),
                                     progress);
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
    QString text = m_server.iniText(driver);
    // A later line of a key does not replace an earlier one: extra takes its place.
    for (const QString &line : extra.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString key = line.section(QLatin1Char('='), 0, 0) + QLatin1Char('=');
        QStringList lines = text.split(QLatin1Char('\n'));
        lines.removeIf([&](const QString &l) { return l.startsWith(key); });
        text = lines.join(QLatin1Char('\n')) + line + QLatin1Char('\n');
    }
    ini.write(text.toUtf8());
}

void ServerStore::execute(const QString &sql) const {
    const QString name = QStringLiteral("serverstore-statement");
    {
        QSqlDatabase db = m_server.connection(name);
        QSqlQuery query(db);
        const bool ran = query.exec(sql);
        const QString error = query.lastError().text();
        db.close();
        if (!ran)
            throw lodvik::Error(error + QStringLiteral("\n") + sql);
    }
    QSqlDatabase::removeDatabase(name);
}
