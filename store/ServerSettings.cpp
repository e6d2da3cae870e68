#include "store/ServerSettings.h"

#include "MDlib/Error.h"
#include "store/Libpq.h"
#include "store/SqliteError.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <cstdio>

using lodvik::Error;

namespace {

// QSettings reads "a,b" as a list; a password may well hold a comma.
QString rawText(const QSettings &settings, const char *key) {
    const QVariant value = settings.value(QLatin1String(key));
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QString text(const QSettings &settings, const char *key) {
    return rawText(settings, key).trimmed();
}

// A password in a file other users can read is theirs too. Said once a run: the window opens the
// source again on each search.
void warnWhenOthersCanRead(const QString &file) {
    static std::atomic_bool warned = false;
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (!(QFileInfo(file).permissions() & others) || warned.exchange(true))
        return;
    const QByteArray path = QDir::toNativeSeparators(file).toLocal8Bit();
    std::fprintf(stderr,
                 "Varning: %s innehåller ett lösenord och kan läsas av andra användare. "
                 "Skydda filen med: chmod 600 %s\n",
                 path.constData(), path.constData());
}

} // namespace

namespace {

QString newConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("sokdata-server-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString packageOf(const QString &driver) {
    return driver == QLatin1String("QPSQL") ? QStringLiteral("libqt6sql6-psql")
                                            : QStringLiteral("libqt6sql6-odbc");
}

// The connection settings of the data control: 15 seconds to connect, 30 for a query.
void configure(QSqlDatabase &db, const SearchSourceSettings &settings) {
    if (settings.driver == QLatin1String("QPSQL")) {
        db.setHostName(settings.host);
        if (settings.port > 0)
            db.setPort(settings.port);
        db.setDatabaseName(settings.database.isEmpty() ? settings.catalog : settings.database);
        db.setConnectOptions(QStringLiteral("connect_timeout=15"));
    } else {
        // A catalogue in the settings picks the database behind the data source name; Qt puts
        // "DSN=" in front and the login after.
        QString name = settings.dsn.isEmpty() ? settings.database : settings.dsn;
        if (!settings.catalog.isEmpty())
            name += QStringLiteral(";DATABASE=") + settings.catalog;
        db.setDatabaseName(name);
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
    }
    db.setUserName(settings.user);
    db.setPassword(settings.password);
}

QString describe(const SearchSourceSettings &settings) {
    if (settings.driver == QLatin1String("QPSQL"))
        return QStringLiteral("PostgreSQL-databasen %1 på %2")
            .arg(settings.database.isEmpty() ? settings.catalog : settings.database,
                 settings.host.isEmpty() ? QStringLiteral("den lokala servern") : settings.host);
    return QStringLiteral("ODBC-datakällan %1").arg(settings.dsn);
}

} // namespace

std::optional<SearchSourceSettings> readServerSettings(const QString &appPath,
                                                       const QString &section) {
    const QString file = QDir(appPath).filePath(QLatin1String(searchSourceSettingsFile));
    const QFileInfo info(file);
    if (!info.exists())
        return std::nullopt;
    // Reading a named pipe would wait for a writer for ever.
    if (!info.isFile())
        throw Error(QStringLiteral("Inställningsfilen %1 är ingen vanlig fil (den är en mapp, en "
                                   "namngiven pipe eller liknande).")
                        .arg(file));
    QSettings ini(file, QSettings::IniFormat);
    if (ini.status() == QSettings::FormatError)
        throw Error(QStringLiteral("Inställningsfilen %1 kan inte läsas: den är inte skriven som "
                                   "en inställningsfil ([sektion] och nyckel=värde på var sin "
                                   "rad).")
                        .arg(file));
    if (ini.status() != QSettings::NoError)
        throw Error(QStringLiteral("Inställningsfilen %1 kan inte läsas: programmet saknar "
                                   "behörighet till den.")
                        .arg(file));
    if (!ini.childGroups().contains(section))
        return std::nullopt;
    SearchSourceSettings result;
    ini.beginGroup(section);
    result.driver = text(ini, "driver").toUpper();
    result.database = text(ini, "database");
    result.dsn = text(ini, "dsn");
    result.host = text(ini, "host");
    const QString port = text(ini, "port");
    if (!port.isEmpty()) {
        bool ok = false;
        result.port = port.toInt(&ok);
        if (!ok || result.port <= 0 || result.port > 65535)
            throw Error(QStringLiteral("Ogiltig port \"%1\" i %2.").arg(port, file));
    }
    result.user = text(ini, "user");
    result.password = rawText(ini, "password");
    if (!result.password.isEmpty())
        warnWhenOthersCanRead(file);
    result.catalog = text(ini, "catalog");
    ini.endGroup();
    return result;
}

ServerLogin::ServerLogin(const SearchSourceSettings &settings, const QString &contents,
                         const QString &script) {
    const QString driver = settings.driver.toUpper();
    if (driver != QLatin1String("QPSQL") && driver != QLatin1String("QODBC"))
        throw Error(QStringLiteral("Okänd databasdrivrutin för sökdata: %1 (QSQLITE, QODBC eller "
                                   "QPSQL).")
                        .arg(settings.driver));
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw Error(QStringLiteral("Databasdrivrutinen %1 saknas; installera paketet %2.")
                        .arg(driver, packageOf(driver)));
    SearchSourceSettings normalised = settings;
    normalised.driver = driver;
    if (driver == QLatin1String("QODBC") && settings.dsn.isEmpty() && settings.database.isEmpty())
        throw Error(QStringLiteral("lodvikprodsok.ini anger ingen ODBC-datakälla (dsn)."));

    m_connectionName = newConnectionName();
    m_description = describe(normalised);
    try {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connectionName);
        configure(db, normalised);
        if (!db.open())
            throw Error(QStringLiteral("Kan inte ansluta till %1: %2")
                            .arg(m_description, dao::databaseFailure(db.lastError(), false)));
        dao::silenceNotices(db);
        if (db.driver()->dbmsType() != QSqlDriver::PostgreSQL)
            throw Error(QStringLiteral("%1 är ingen PostgreSQL-server; %2 på server kräver "
                                       "PostgreSQL förberedd med %3.")
                            .arg(m_description, contents, script));
        QSqlQuery timeout(db);
        if (!timeout.exec(QStringLiteral("SET statement_timeout = 30000")))
            throw Error(QStringLiteral("Fel från %1: %2")
                            .arg(m_description, dao::databaseFailure(timeout.lastError(), false)));
    } catch (...) {
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

ServerLogin::~ServerLogin() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase ServerLogin::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}
