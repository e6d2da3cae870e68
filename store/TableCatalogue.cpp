#include "store/TableCatalogue.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"
#include "store/SqlText.h"

#include <sqlite3.h>

#include <optional>

namespace catalogue {

using sqltext::identifier;

namespace {

Column text(const char *name) {
    return {QString::fromUtf8(name), ColumnKind::Text};
}
Column number(const char *name) {
    return {QString::fromUtf8(name), ColumnKind::Number};
}

QList<Table> buildTables() {
    QList<Table> tables;

    // DTSPL is read by position: 0 a running number, 1-45 the columns "Fält1" to "Fält45";
    // position 2 ("Fält2") is the product number, 4-45 are quantities.
    Table dtspl{QStringLiteral("DTSPL"), {number("ID")}, {QStringLiteral("Fält2")}};
    for (int i = 1; i <= 45; ++i) {
        const QString name = QStringLiteral("Fält%1").arg(i);
        dtspl.columns.append({name, i <= 3 ? ColumnKind::Text : ColumnKind::Number});
    }
    tables.append(dtspl);

    // frnhist: the twelve month columns sit at positions 2 to 13.
    Table frnhist{QStringLiteral("frnhist"), {text("ihfy"), text("ivcitm")}, {"ivcitm"}};
    for (int m = 1; m <= 12; ++m)
        frnhist.columns.append(
            {QStringLiteral("IHSQ%1").arg(m, 2, 10, QLatin1Char('0')), ColumnKind::Number});
    tables.append(frnhist);

    tables.append({QStringLiteral("tillfall"), {number("id")}, {}});
    tables.append({QStringLiteral("avail"), {text("ivcitm"), number("quantity")}, {"ivcitm"}});
    for (const char *t : {"pjoback", "pjo1back", "pjocurr", "pjo1curr", "pjofram", "pjo1fram"})
        tables.append({QString::fromUtf8(t), {text("sdaitm"), number("antaltusen")}, {}});
    tables.append({QStringLiteral("fpsaldo"), {text("IBLITM"), number("LIPQOH")}, {"IBLITM"}});
    tables.append({QStringLiteral("pjstkfrn"), {text("ivcitm"), number("lipqoh")}, {"ivcitm"}});
    tables.append({QStringLiteral("pjstk"), {text("imlitm"), number("lipqoh")}, {"imlitm"}});
    tables.append({QStringLiteral("pjstkens"), {text("imlitm"), number("lipqoh")}, {}});
    for (const char *t : {"pjgit", "pj1git"})
        tables.append({QString::fromUtf8(t), {text("sdlitm"), number("sdpqor")}, {}});
    tables.append(
        {QStringLiteral("fpprognos"), {text("mflitm"), text("MFDRQJ"), number("mffqt")}, {}});
    tables.append(
        {QStringLiteral("fporder"), {text("sdlitm"), text("SDpddj"), number("sduorg")}, {}});
    tables.append({QStringLiteral("frnrequest"), {text("ivcitm"), number("sduorg")}, {}});
    tables.append({QStringLiteral("frnrequesu"), {text("ivcitm"), number("sduorg01")}, {}});
    for (const char *t : {"PJOFBACK", "PJOFFRAM", "PJOTBALLA", "PJOTALLA"})
        tables.append({QString::fromUtf8(t), {text("sdaitm"), number("antaltusen")}, {"sdaitm"}});
    tables.append({QStringLiteral("pjpvmens"), {text("mflitm"), number("mffqt")}, {"mflitm"}});
    for (const char *t : {"pjscurr", "pjs1curr", "pjs2curr", "pjsprior", "pjs1prior"})
        tables.append({QString::fromUtf8(t), {text("sdlitm"), number("sdpqor")}, {}});
    tables.append({QStringLiteral("pjsfakt"), {text("sdlitm"), number("sdpqor")}, {"sdlitm"}});
    tables.append(
        {QStringLiteral("pjomr"), {text("iblitm"), text("imdsc1"), number("umconv")}, {"iblitm"}});
    return tables;
}

} // namespace

const QList<Table> &localTables() {
    static const QList<Table> tables = buildTables();
    return tables;
}

const Table *findLocalTable(const QString &name) {
    for (const Table &t : localTables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString createTableSql(const Table &table) {
    QStringList columns;
    for (const Column &c : table.columns)
        columns.append(identifier(c.name) + (c.kind == ColumnKind::Text
                                                 ? QStringLiteral(" TEXT COLLATE NOCASE")
                                                 : QStringLiteral(" NUMERIC")));
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
        .arg(identifier(table.name), columns.join(QStringLiteral(", ")));
}

QString createIndexSql(const QString &table, const QString &column, const QString &prefix,
                       bool nocase) {
    return QStringLiteral("CREATE INDEX %1%2 ON %3 (%4%5)")
        .arg(prefix, identifier(table + QLatin1Char('_') + column), identifier(table),
             identifier(column), nocase ? QStringLiteral(" COLLATE NOCASE") : QString());
}

void createLocalSchema(dao::Database &db) {
    db.Execute(QStringLiteral("BEGIN"));
    for (const Table &t : localTables()) {
        db.Execute(createTableSql(t));
        for (const QString &column : t.indexed)
            db.Execute(createIndexSql(t.name, column, QStringLiteral("IF NOT EXISTS ")));
    }
    db.Execute(QStringLiteral("COMMIT"));
}

namespace {

struct FilterColumn {
    QString table;
    QString column;
};

// The collation the store declares for a column, or nothing when it has no such column.
std::optional<QString> columnCollation(dao::Database &db, const QString &table,
                                       const QString &column) {
    const char *collation = nullptr;
    if (sqlite3_table_column_metadata(db.handle(), "main", table.toUtf8().constData(),
                                      column.toUtf8().constData(), nullptr, &collation, nullptr,
                                      nullptr, nullptr) != SQLITE_OK)
        return std::nullopt;
    return QString::fromUtf8(collation ? collation : "BINARY");
}

QString indexName(const FilterColumn &f) {
    return sqltext::identifier(f.table + QLatin1Char('_') + f.column);
}

// The index that serves the figures' NOCASE comparison of a filter column: plain on a NOCASE
// column, as the program's own tables have them; under NOCASE on a column another tool declared
// otherwise.
QString filterIndexSql(dao::Database &db, const FilterColumn &f, const QString &prefix = {}) {
    const bool nocase = columnCollation(db, f.table, f.column)
                            .value_or(QString())
                            .compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0;
    return createIndexSql(f.table, f.column, prefix, !nocase);
}

// The indexes of the store built under the program's own collation.
QStringList collationIndexes(dao::Database &db) {
    QStringList names;
    for (dao::Recordset rs = db.OpenRecordset(
             QStringLiteral("SELECT DISTINCT i.name FROM main.sqlite_schema AS i, "
                            "pragma_index_xinfo(i.name, 'main') AS x "
                            "WHERE i.type = 'index' AND x.coll = ? COLLATE NOCASE"),
             {lodvik::Variant::String(QLatin1String(dao::productCollation))});
         !rs.isEOF(); rs.MoveNext())
        names.append(rs.Fields(0).toText());
    return names;
}

// A temporary copy of a table under its own name, with the same columns, values and row
// numbers, which unqualified queries on this connection read instead of the original. Only for
// plain tables: rowid, no key columns, no hidden columns. False when the table is not plain.
bool temporaryCopy(dao::Database &db, const QString &table, const QList<QString> &indexed) {
    QStringList definitions, columns;
    for (dao::Recordset rs = db.OpenRecordset(
             QStringLiteral("SELECT name, type, pk, hidden FROM pragma_table_xinfo(?)"),
             {lodvik::Variant::String(table)});
         !rs.isEOF(); rs.MoveNext()) {
        if (rs.Fields(2).toDouble() != 0 || rs.Fields(3).toDouble() != 0)
            return false;
        const QString name = rs.Fields(0).toText();
        const std::optional<QString> collation = columnCollation(db, table, name);
        definitions.append(
            QStringLiteral("%1 %2 COLLATE %3")
                .arg(sqltext::identifier(name), rs.Fields(1).toText(),
                     sqltext::identifier(collation.value_or(QStringLiteral("BINARY")))));
        columns.append(sqltext::identifier(name));
    }
    if (columns.isEmpty())
        return false;
    const QString name = sqltext::identifier(table);
    QString sql = QStringLiteral("CREATE TEMP TABLE %1 (%2);\n")
                      .arg(name, definitions.join(QStringLiteral(", ")));
    sql += QStringLiteral("INSERT INTO temp.%1 (rowid, %2) SELECT rowid, %2 FROM main.%1 ORDER BY "
                          "rowid;\n")
               .arg(name, columns.join(QStringLiteral(", ")));
    for (const QString &column : indexed)
        sql += filterIndexSql(db, {table, column}, QStringLiteral("temp.")) + QStringLiteral(";\n");
    // All or nothing: a half-filled copy would hide rows of the original.
    db.Execute(QStringLiteral("SAVEPOINT lodvik_copy;\n") + sql +
               QStringLiteral("RELEASE lodvik_copy;"));
    return true;
}

} // namespace

void prepareIndexes(dao::Database &db, lodvik::Progress &progress, MissingIndexes where) {
    // The server store's schema script builds every index the product comparison needs.
    if (db.isServer())
        return;
    QList<FilterColumn> missing;
    for (const Table &t : localTables())
        for (const QString &column : t.indexed)
            if (columnCollation(db, t.name, column) && !dao::servingIndex(db, t.name, column))
                missing.append({t.name, column});
    const QStringList foreign = collationIndexes(db);
    if (missing.isEmpty() && foreign.isEmpty())
        return;

    if (where == MissingIndexes::InStore && sqlite3_db_readonly(db.handle(), "main") == 0) {
        // A step of its own, counted index by index: on a large store the first run spends
        // most of its time here. Short enough for the window's title; which tables get them
        // tells the operator nothing.
        const qint64 indexes = missing.size();
        if (indexes > 0) {
            progress.count(0, indexes);
            progress.caption(QStringLiteral("Skapar index i local.mdb (första gången)"),
                             lodvik::Progress::Show::Now);
        }
        // One transaction for all of them: one journal and one set of syncs instead of one per
        // index, which cost more than building the indexes on a disk that syncs slowly.
        try {
            db.Execute(QStringLiteral("SAVEPOINT lodvik_index;"));
            for (const QString &name : foreign)
                db.Execute(QStringLiteral("DROP INDEX main.%1;").arg(sqltext::identifier(name)));
            // An index of the same name that does not serve (one an earlier version built under
            // the program's collation, say) gives way to the new one.
            qint64 made = 0;
            for (const FilterColumn &f : missing) {
                progress.checkCancelled();
                db.Execute(QStringLiteral("DROP INDEX IF EXISTS main.%1;\n").arg(indexName(f)) +
                           filterIndexSql(db, f) + QLatin1Char(';'));
                progress.count(++made, indexes);
            }
            db.Execute(QStringLiteral("RELEASE lodvik_index;"));
            if (indexes > 0)
                progress.count(0);
            return;
        } catch (const lodvik::Error &error) {
            // Locked, or the folder allows no journal: the run reads indexed copies.
            try {
                db.Execute(QStringLiteral("ROLLBACK TO lodvik_index; RELEASE lodvik_index;"));
            } catch (const lodvik::Error &) {
            }
            if (dynamic_cast<const lodvik::Cancelled *>(&error))
                throw;
            if (indexes > 0)
                progress.count(0);
        }
    }

    // The indexes under the program's collation stay for now; this connection reads them.
    if (missing.isEmpty())
        return;
    progress.caption(QStringLiteral("local.mdb kan inte ändras: indexerar kopior"),
                     lodvik::Progress::Show::Now);
    QList<QString> tables;
    for (const FilterColumn &f : missing)
        if (!tables.contains(f.table))
            tables.append(f.table);
    for (const QString &table : tables) {
        QList<QString> indexed;
        for (const FilterColumn &f : missing)
            if (f.table == table)
                indexed.append(f.column);
        try {
            temporaryCopy(db, table, indexed);
        } catch (const lodvik::Error &) {
            // No room for the copy either: the queries read the table itself, only slower.
            try {
                db.Execute(QStringLiteral("ROLLBACK TO lodvik_copy; RELEASE lodvik_copy;"));
            } catch (const lodvik::Error &) {
            }
        }
    }
}

void createEmptyLocalStore(const QString &path) {
    dao::Database db = dao::Database::CreateDatabase(path);
    createLocalSchema(db);
}

} // namespace catalogue
