#pragma once

#include <QString>

#include <optional>

// The one place that turns names and texts into SQL and reads a query's table back. Values that
// come from data or the operator are bound (?) wherever the statement allows it; these are for
// what cannot be bound: identifiers, and the query texts whose fragments the program keeps.
namespace sqltext {

// A table or column name between double quotes, an inner double quote doubled.
QString identifier(const QString &name);

// A text between apostrophes, an inner apostrophe doubled.
QString literal(const QString &text);
// The same without the surrounding apostrophes, for a text that goes into a literal the query
// text opens and closes itself.
QString literalBody(const QString &text);

// "SELECT * FROM table rest": a query of all columns of one table, which the data layers can
// make updatable. table is the name as written (quoted or not), rest everything after it.
struct TableQuery {
    QString tableText; // as written in the query
    QString table;     // without quotes
    QString rest;
};
std::optional<TableQuery> tableQuery(const QString &sql);

// SQLite's terse "no such table: X" or "no such column: X" (its "main." dropped) in the
// operator's words: "Tabellen X saknas", "Kolumnen X saknas". Empty for any other message.
QString missingObject(const QString &engineMessage);

} // namespace sqltext
