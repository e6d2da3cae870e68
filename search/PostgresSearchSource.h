#pragma once

#include "search/SearchSource.h"

// The search data source on a database server, reached through Qt's PostgreSQL driver (QPSQL)
// or through an ODBC data source (QODBC). The server must be PostgreSQL prepared with
// server/sokdata-postgresql.sql: char(n) columns under a Swedish, case-blind ICU collation, so
// that the window's prefix queries select exactly the rows that begin with the search text.
class PostgresSearchSource : public SearchSource {
public:
    // Takes over an open connection.
    explicit PostgresSearchSource(std::unique_ptr<ServerLogin> login);
    ~PostgresSearchSource() override;
    PostgresSearchSource(const PostgresSearchSource &) = delete;
    PostgresSearchSource &operator=(const PostgresSearchSource &) = delete;

    QSqlDatabase database() const override;
    // The row's physical place. An UPDATE moves the row, so it names the row as the operator saw
    // it: a row changed or deleted by another workstation since is no longer found by it.
    QString rowIdentity() const override { return QStringLiteral("ctid"); }
    QString returningIdentity() const override { return QStringLiteral(" RETURNING ctid"); }
    // char(n) values come back padded with blanks; the operator sees them as typed.
    QVariant fromStore(const QVariant &value) const override;
    // The columns compare without regard to case; the check of an edit or delete must not.
    QString exactMatch(const QString &column) const override {
        return column + QStringLiteral(" COLLATE \"C\" = ?");
    }
    QString description() const override { return m_login->description(); }
    // Through Qt's PostgreSQL driver a query is read through a cursor, as the ODBC data source
    // does with UseDeclareFetch: the server then plans for the first rows, and a broad search
    // shows its first screen without waiting for the whole result to be sorted.
    std::unique_ptr<RowReader> read(const QString &sql, QSqlError *error) const override;

private:
    std::unique_ptr<ServerLogin> m_login;
};
