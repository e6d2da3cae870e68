#include "store/ExtractStore.h"

#include "MDlib/Error.h"

using lodvik::Error;

std::optional<SearchSourceSettings> readExtractStoreSettings(const QString &appPath) {
    std::optional<SearchSourceSettings> settings =
        readServerSettings(appPath, QStringLiteral("extrakt"));
    if (settings && settings->driver != QLatin1String("QPSQL") &&
        settings->driver != QLatin1String("QODBC"))
        throw Error(QStringLiteral("Okänd drivrutin \"%1\" under [extrakt] i %2; välj QPSQL eller "
                                   "QODBC.")
                        .arg(settings->driver, QLatin1String(searchSourceSettingsFile)));
    return settings;
}

std::unique_ptr<ServerLogin> openExtractServer(const SearchSourceSettings &settings) {
    return std::make_unique<ServerLogin>(settings, QStringLiteral("extrakttabellerna"),
                                         QStringLiteral("extrakt-postgresql.sql"));
}
