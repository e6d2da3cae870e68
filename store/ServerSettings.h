#pragma once

#include <QSqlDatabase>
#include <QString>

#include <optional>

// The database servers of lodvikprodsok.ini: [sokdata] names the search data source, [extrakt]
// the extract store. Both are read, and a server of either is logged in to, here.

struct SearchSourceSettings {
    QString driver = QStringLiteral("QSQLITE"); // QSQLITE, QODBC or QPSQL
    QString database;                           // SQLite file or server database name
    QString dsn;                                // ODBC data source name
    QString host;
    int port = 0;
    QString user;
    QString password;
    QString catalog;
};

// The settings file and the embedded default file, both in the program folder.
inline constexpr char searchSourceSettingsFile[] = "lodvikprodsok.ini";
inline constexpr char defaultSearchSourceFile[] = "sokdata.db";

// The keys of one section of lodvikprodsok.ini as they stand (driver upper case, empty when not
// given); nothing when the file or the section is absent. Raises lodvik::Error for a bad port.
std::optional<SearchSourceSettings> readServerSettings(const QString &appPath,
                                                       const QString &section);

// A connection of Qt's QPSQL or QODBC driver to a PostgreSQL server, with the data control's
// limits (15 seconds to connect, 30 for a query), known by a connection name of its own and
// removed again when this goes.
class ServerLogin {
public:
    // Raises lodvik::Error with a message for the operator when the server cannot be reached or
    // is no PostgreSQL; contents ("sökdata") and script name what the server must hold.
    ServerLogin(const SearchSourceSettings &settings, const QString &contents,
                const QString &script);
    ~ServerLogin();
    ServerLogin(const ServerLogin &) = delete;
    ServerLogin &operator=(const ServerLogin &) = delete;

    QSqlDatabase database() const;
    const QString &connectionName() const { return m_connectionName; }
    // For messages: "PostgreSQL-databasen X på Y" or "ODBC-datakällan X".
    const QString &description() const { return m_description; }

private:
    QString m_connectionName;
    QString m_description;
};
