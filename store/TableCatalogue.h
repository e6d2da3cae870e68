#pragma once

#include <QList>
#include <QString>

namespace dao {
class Database;
}
namespace lodvik {
class Progress;
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

// CREATE INDEX text for a filter column, named table_column, a plain index under the column's own
// collation (NOCASE in every table the program creates), or under NOCASE when nocase is set;
// prefix goes before the name ("IF NOT EXISTS ", "temp.").
QString createIndexSql(const QString &table, const QString &column, const QString &prefix = {},
                       bool nocase = false);

// Creates every catalogue table and its indexes that does not exist yet.
void createLocalSchema(dao::Database &db);

// Makes sure that the one-product queries of a run find their rows through an index: every
// filter column of the catalogue gets one where the store has none that serves it (an extract
// written by another tool comes without). Where the store cannot be written, the run's connection
// gets indexed temporary copies of those tables instead, which its queries then read in their
// place; they go with the connection. Tables and columns the store lacks are left to the
// figures to report. Says on the progress what it does; does nothing when every index is there.
// An index under the program's own collation (dao::productCollation; earlier versions built
// them) goes too where the store can be written: no other SQLite client can read or change its
// table while it is there.
// TemporaryCopies goes straight to the copies, as for a store that cannot be written. Nothing
// on the server store, whose indexes come with its schema.
enum class MissingIndexes { InStore, TemporaryCopies };
void prepareIndexes(dao::Database &db, lodvik::Progress &progress,
                    MissingIndexes where = MissingIndexes::InStore);

// Creates a new local store at path holding every catalogue table, empty.
void createEmptyLocalStore(const QString &path);

} // namespace catalogue
