#pragma once

#include <QList>
#include <QString>

namespace dao {
class Database;
}

// The tables of the local store that the program relies on, with their columns in the order the
// figures read them by position.
namespace catalogue {

enum class ColumnKind { Text, Number };

struct Column {
    QString name;
    ColumnKind kind;
};

struct Table {
    QString name;
    QList<Column> columns;
    QList<QString> indexed; // columns that one-product queries filter on
};

const QList<Table> &localTables();
const Table *findLocalTable(const QString &name); // without regard to case; nullptr if unknown

// CREATE TABLE text for one table; text columns compare without regard to case, as Jet did.
QString createTableSql(const Table &table);

// Creates every catalogue table and its indexes that does not exist yet.
void createLocalSchema(dao::Database &db);

// Creates a new local store at path holding every catalogue table, empty.
void createEmptyLocalStore(const QString &path);

} // namespace catalogue
