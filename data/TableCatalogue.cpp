#include "data/TableCatalogue.h"

#include "data/LocalDatabase.h"
#include "data/SqlText.h"

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

void createLocalSchema(dao::Database &db) {
    db.Execute(QStringLiteral("BEGIN"));
    for (const Table &t : localTables()) {
        db.Execute(createTableSql(t));
        for (const QString &column : t.indexed)
            db.Execute(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                           .arg(identifier(t.name + '_' + column), identifier(t.name),
                                identifier(column)));
    }
    db.Execute(QStringLiteral("COMMIT"));
}

void createEmptyLocalStore(const QString &path) {
    dao::Database db = dao::Database::CreateDatabase(path);
    createLocalSchema(db);
}

} // namespace catalogue
