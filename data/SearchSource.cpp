#include "data/SearchSource.h"

#include "MDlib/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlQuery>

#include <atomic>
#include <cstdio>
#include <optional>

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

class QueryReader : public RowReader {
public:
    explicit QueryReader(std::unique_ptr<QSqlQuery> query) : m_query(std::move(query)) {}
    bool next() override { return m_query->next(); }
    QVariant value(int column) const override { return m_query->value(column); }
    QSqlRecord record() const override { return m_query->record(); }
    QSqlError lastError() const override { return m_query->lastError(); }

private:
    std::unique_ptr<QSqlQuery> m_query;
};

} // namespace

std::unique_ptr<RowReader> SearchSource::read(const QString &sql, QSqlError *error) const {
    auto query = std::make_unique<QSqlQuery>(database());
    query->setForwardOnly(true);
    if (!query->exec(sql)) {
        *error = query->lastError();
        return nullptr;
    }
    return std::make_unique<QueryReader>(std::move(query));
}

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

SearchSourceSettings readSearchSourceSettings(const QString &appPath) {
    SearchSourceSettings result =
        readServerSettings(appPath, QStringLiteral("sokdata")).value_or(SearchSourceSettings{});
    if (result.driver.isEmpty())
        result.driver = QStringLiteral("QSQLITE");
    if (result.driver == QLatin1String("QSQLITE")) {
        if (result.database.isEmpty())
            result.database = QLatin1String(defaultSearchSourceFile);
        // A relative file name lies in the program folder, wherever the program was started.
        result.database = QDir(appPath).absoluteFilePath(result.database);
    }
    return result;
}

std::unique_ptr<SearchSource> openSearchSource(const QString &appPath) {
    const SearchSourceSettings settings = readSearchSourceSettings(appPath);
    if (settings.driver == QLatin1String("QSQLITE"))
        return openSqliteSearchSource(settings.database);
    if (settings.driver == QLatin1String("QODBC") || settings.driver == QLatin1String("QPSQL"))
        return openServerSearchSource(settings);
    throw Error(QStringLiteral("Okänd drivrutin \"%1\" i %2; välj QSQLITE, QODBC eller QPSQL.")
                    .arg(settings.driver, QLatin1String(searchSourceSettingsFile)));
}
