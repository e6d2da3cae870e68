#pragma once

#include "search/SearchSource.h"

#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

// The embedded search data source: an SQLite file, sokdata.db in the program folder by default.
// The Swedish order is registered on the connection and declared on the columns and indexes, so
// the prefix range of a search is read straight off an index.
class SqliteSearchSource final : public SearchSource {
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

// One query of readSearchFile: its text, the text bound to its "?" (when it has one), and what
// takes each row, a column by position as Qt's SQLite driver gives it (Null as a null text).
struct SearchFileQuery {
    const char *sql;
    std::optional<QString> parameter;
    std::function<void(const std::function<QVariant(int column)> &)> row;
};

// Reads sokdata.db straight through SQLite, without Qt's driver, for a command that reads it
// once and is done: false, having read nothing or part, when the file lacks any of the source's
// own tables and indexes or of tables (opening the source would make them first), or SQLite
// cannot read it. Opened as the source opens it, so that a WAL file's companions come and go
// alike.
bool readSearchFile(const QString &file, const QStringList &tables,
                    const std::vector<SearchFileQuery> &queries);
