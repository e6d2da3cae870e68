#pragma once

#include "store/ServerSettings.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

// The search data source: where ProduktSok and LagerA live. The embedded default is the SQLite
// file sokdata.db in the program folder; lodvikprodsok.ini may name a server reached through
// Qt's ODBC or PostgreSQL driver instead. What differs between the stores lives in the
// subclasses, so the window and the data control never ask which store they talk to.

// Reads [sokdata] of lodvikprodsok.ini in the program folder; the defaults when it is absent.
SearchSourceSettings readSearchSourceSettings(const QString &appPath);
// The rows of a query, read forward once, as a forward-only QSqlQuery reads them.
class RowReader {
public:
    virtual ~RowReader() = default;
    // The next row; false at the end of the rows or when reading failed (lastError tells).
    virtual bool next() = 0;
    virtual QVariant value(int column) const = 0;
    virtual QSqlRecord record() const = 0;
    virtual QSqlError lastError() const = 0;
};

class SearchSource {
public:
    virtual ~SearchSource() = default;

    // Runs a query whose rows are read once from the first on, the first rows as soon as the
    // store has them. Nothing, with the store's message in error, when the query is refused.
    virtual std::unique_ptr<RowReader> read(const QString &sql, QSqlError *error) const;

    // The open connection; it lives as long as the source.
    virtual QSqlDatabase database() const = 0;
    // An expression that names one row for the life of a query (rowid, ctid...), selected beside
    // the query's own columns so that an edit or delete touches exactly the row shown.
    virtual QString rowIdentity() const = 0;
    // A clause that makes an INSERT or UPDATE return the row's identity, for stores where a
    // write gives the row a new one (a PostgreSQL ctid moves on every update); empty where the
    // identity stays put.
    virtual QString returningIdentity() const { return {}; }
    // A value as the operator typed it: servers pad char(n) values with blanks.
    virtual QVariant fromStore(const QVariant &value) const { return value; }
    // A condition that holds when column equals one bound value exactly, case and all; the
    // optimistic check of an edit or delete uses it.
    virtual QString exactMatch(const QString &column) const {
        return column + QStringLiteral(" = ?");
    }
    // For messages: which store this is.
    virtual QString description() const = 0;
};

// Opens the source the settings name; raises lodvik::Error with a message for the operator when
// it cannot be reached.
std::unique_ptr<SearchSource> openSearchSource(const QString &appPath);
std::unique_ptr<SearchSource> openSqliteSearchSource(const QString &path);
// What names the server's contents in messages ("sökdata") and the script that prepares it go
// into the message for a server that is no PostgreSQL.
std::unique_ptr<SearchSource>
openServerSearchSource(const SearchSourceSettings &settings,
                       const QString &contents = QStringLiteral("sökdata"),
                       const QString &script = QStringLiteral("sokdata-postgresql.sql"));
