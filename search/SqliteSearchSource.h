#pragma once

#include "search/SearchSource.h"

// The embedded search data source: an SQLite file, sokdata.db in the program folder by default.
// The Swedish order is registered on the connection and declared on the columns and indexes, so
// the prefix range of a search is read straight off an index.
class SqliteSearchSource : public SearchSource {
public:
    // Opens (and creates when absent) the file with empty ProduktSok and LagerA tables; raises
    // lodvik::Error when the file cannot be opened or is no SQLite database.
    explicit SqliteSearchSource(const QString &path);
    ~SqliteSearchSource() override;

    // Why path can be no search database (something other than a file is there), or "".
    static QString pathProblem(const QString &path);
    // The version of the SQLite library in use (the About box shows it).
    static QString libraryVersion();

    SqliteSearchSource(const SqliteSearchSource &) = delete;
    SqliteSearchSource &operator=(const SqliteSearchSource &) = delete;

    QSqlDatabase database() const override;
    QString rowIdentity() const override { return QStringLiteral("rowid"); }
    QString exactMatch(const QString &column) const override;
    QString description() const override;

private:
    void createSchema();

    QString m_path;
    QString m_connectionName;
};
