#include "search/SearchSource.h"

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
