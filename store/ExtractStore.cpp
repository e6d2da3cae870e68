#include "store/ExtractStore.h"

#include "MDlib/Error.h"

using lodvik::Error;
using lodvik::Variant;

namespace dao {

StoreRows::~StoreRows() = default;
ExtractStore::~ExtractStore() = default;
TableWriter::~TableWriter() = default;

void TableWriter::set(int position, const Variant &value) {
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        setNull(position);
        break;
    case Variant::Type::Integer:
    case Variant::Type::Long:
    case Variant::Type::Boolean:
        setInteger(position, qint64(value.number()));
        break;
    case Variant::Type::Double:
        setReal(position, value.number());
        break;
    default:
        setText(position, value.toText().toUtf8());
    }
}

} // namespace dao

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
