#include "planning/PlanningStore.h"

#include "MDlib/Error.h"
#include "search/SearchSource.h"
#include "search/SqliteSearchSource.h"
#include "store/SqliteError.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>

using lodvik::Error;

namespace {

// The same statements on SQLite and PostgreSQL: SQLite reads these type names as REAL, INTEGER
// and TEXT.
struct Table {
    const char *name;
    const char *create;
};
const Table tables[] = {
    {"planning_rule",
     "CREATE TABLE IF NOT EXISTS planning_rule (product text PRIMARY KEY, lead_time_weeks double "
     "precision NOT NULL, safety_weeks double precision NOT NULL, safety_packs double precision "
     "NOT NULL, multiple bigint NOT NULL, minimum bigint NOT NULL, supplier text NOT NULL, "
     "product_group text NOT NULL, follow_trend integer NOT NULL DEFAULT 0)"},
    {"planning_mark",
     "CREATE TABLE IF NOT EXISTS planning_mark (period text NOT NULL, product text NOT NULL, "
     "mark text NOT NULL, ordered_on text, ordered_packs double precision, PRIMARY KEY (period, "
     "product))"},
};

const char rulesSelect[] = "SELECT product, lead_time_weeks, safety_weeks, safety_packs, multiple, "
                           "minimum, supplier, product_group, follow_trend FROM planning_rule";
const char marksSelect[] =
    "SELECT product, mark, ordered_on, ordered_packs FROM planning_mark WHERE period = ?";

const QString orderedKey = QStringLiteral("ordered");
const QString discontinuedKey = QStringLiteral("discontinued");

// In the operator's words, the driver's own after "Detaljer:".
QString failure(const QSqlDriver *driver, const QSqlError &error) {
    return dao::databaseFailure(error, driver && driver->dbmsType() == QSqlDriver::SQLite);
}

// The tables on the connection a search source keeps open. The statements are the same on
// sokdata.db and on the server, so one class serves both.
class SourcePlanningStore final : public PlanningStore {
public:
    explicit SourcePlanningStore(std::unique_ptr<SearchSource> source)
        : m_source(std::move(source)) {
        // On the server, server/sokdata-postgresql.sql makes them; a login that may create
        // tables gets them here too, as sokdata.db does.
        for (const Table &table : tables) {
            QSqlQuery query(database());
            if (query.exec(
                    QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(QLatin1String(table.name))))
                continue;
            if (!query.exec(QLatin1String(table.create)))
                throw Error(QStringLiteral("Tabellen %1 saknas i %2 och kunde inte skapas (på en "
                                           "server görs den med server/sokdata-postgresql.sql): %3")
                                .arg(QLatin1String(table.name), description(),
                                     failure(query.driver(), query.lastError())));
        }
        // A store made before rules could follow the trend gets the column, off for every rule.
        if (QSqlQuery probe(database());
            !probe.exec(QStringLiteral("SELECT follow_trend FROM planning_rule WHERE 1 = 0")) &&
            !probe.exec(QStringLiteral("ALTER TABLE planning_rule ADD COLUMN follow_trend integer "
                                       "NOT NULL DEFAULT 0")))
            throw Error(QStringLiteral("Kolumnen follow_trend saknas i tabellen planning_rule i %1 "
                                       "och kunde inte läggas till (på en server görs den med "
                                       "server/sokdata-postgresql.sql): %2")
                            .arg(description(), failure(probe.driver(), probe.lastError())));
    }
    QString description() const override { return m_source->description(); }

protected:
    QSqlDatabase database() const override { return m_source->database(); }

private:
    std::unique_ptr<SearchSource> m_source;
};

// A null QString binds as NULL; an empty supplier or group is a text all the same.
QVariant text(const QString &s) {
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

Error storeError(const PlanningStore &store, const QSqlQuery &query, const QString &what) {
    return Error(QStringLiteral("%1 i %2 misslyckades: %3")
                     .arg(what, store.description(), failure(query.driver(), query.lastError())));
}

// The server's planning writers take turns; the turn ends with the writer's transaction.
// Without it, two writers that each delete a product's row and insert it anew (two rules
// --load, two marks) collide on its key, and the second fails. SQLite writes one at a time
// already.
constexpr qint64 planningWriteLockKey = 0x4c6f6476696b504c; // "LodvikPL"

void waitForTurn(const PlanningStore &store, QSqlDatabase db, const QString &what) {
    if (db.driver()->dbmsType() != QSqlDriver::PostgreSQL)
        return;
    QSqlQuery turn(db);
    if (!turn.exec(
            QStringLiteral("SELECT 1 FROM pg_advisory_xact_lock(%1)").arg(planningWriteLockKey)))
        throw Error(QStringLiteral("%1 i %2 fick inte sin tur: en annan arbetsstation sparar "
                                   "planeringen och blev inte klar i tid. Försök igen om en "
                                   "stund. %3")
                        .arg(what, store.description(), failure(turn.driver(), turn.lastError())));
}

// Runs writes in one transaction: all of them or, on failure, none.
template <typename Writes>
void inTransaction(const PlanningStore &store, QSqlDatabase db, const QString &what,
                   Writes writes) {
    if (!db.transaction())
        throw Error(QStringLiteral("%1 i %2 kunde inte börja: %3")
                        .arg(what, store.description(), failure(db.driver(), db.lastError())));
    try {
        waitForTurn(store, db, what);
        writes();
        if (!db.commit())
            throw Error(QStringLiteral("%1 i %2 kunde inte sparas: %3")
                            .arg(what, store.description(), failure(db.driver(), db.lastError())));
    } catch (...) {
        db.rollback();
        throw;
    }
}

// A row of each table, its columns as the SQL driver gives them, as the store reads it.
using Columns = std::function<QVariant(int column)>;

void addRule(PlanningRules &rules, const Columns &value) {
    PlanningRule rule;
    rule.leadTimeWeeks = value(1).toDouble();
    rule.safetyWeeks = value(2).toDouble();
    rule.safetyPacks = value(3).toDouble();
    rule.multiple = value(4).toLongLong();
    rule.minimum = value(5).toLongLong();
    rule.supplier = value(6).toString();
    rule.group = value(7).toString();
    rule.followTrend = value(8).toInt() != 0;
    rules[value(0).toString()] = rule;
}

void addMark(PlanningMarks &marks, const Columns &value) {
    PlanningMark mark;
    mark.kind = value(1).toString() == discontinuedKey ? PlanningMark::Kind::Discontinued
                                                       : PlanningMark::Kind::Ordered;
    mark.orderedOn = QDate::fromString(value(2).toString(), Qt::ISODate);
    mark.orderedPacks = value(3).toDouble();
    marks[value(0).toString()] = mark;
}

} // namespace

PlanningRules PlanningStore::rules() const {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QLatin1String(rulesSelect)))
        throw storeError(*this, query, QStringLiteral("Läsningen av planeringsreglerna"));
    PlanningRules rules;
    while (query.next())
        addRule(rules, [&](int column) { return query.value(column); });
    return rules;
}

void PlanningStore::replaceRules(const PlanningRules &rules) {
    writeRules(rules, true);
}

void PlanningStore::setRules(const PlanningRules &rules) {
    writeRules(rules, false);
}

void PlanningStore::writeRules(const PlanningRules &rules, bool replaceAll) {
    const QString what = QStringLiteral("Sparandet av planeringsreglerna");
    inTransaction(*this, database(), what, [&] {
        QSqlQuery remove(database());
        if (replaceAll) {
            if (!remove.exec(QStringLiteral("DELETE FROM planning_rule")))
                throw storeError(*this, remove, what);
        } else if (!remove.prepare(QStringLiteral("DELETE FROM planning_rule WHERE product = ?"))) {
            throw storeError(*this, remove, what);
        }
        QSqlQuery query(database());
        if (!query.prepare(QStringLiteral("INSERT INTO planning_rule (product, lead_time_weeks, "
                                          "safety_weeks, safety_packs, multiple, minimum, "
                                          "supplier, product_group, follow_trend) VALUES (?, ?, "
                                          "?, ?, ?, ?, ?, ?, ?)")))
            throw storeError(*this, query, what);
        for (const auto &[product, rule] : rules) {
            if (!replaceAll) {
                remove.addBindValue(product);
                if (!remove.exec())
                    throw storeError(*this, remove, what);
            }
            query.addBindValue(product);
            query.addBindValue(rule.leadTimeWeeks);
            query.addBindValue(rule.safetyWeeks);
            query.addBindValue(rule.safetyPacks);
            query.addBindValue(rule.multiple);
            query.addBindValue(rule.minimum);
            query.addBindValue(text(rule.supplier));
            query.addBindValue(text(rule.group));
            query.addBindValue(int(rule.followTrend));
            if (!query.exec())
                throw storeError(*this, query, what);
        }
    });
}

PlanningMarks PlanningStore::marks(const QString &period) const {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(QLatin1String(marksSelect)))
        throw storeError(*this, query, QStringLiteral("Läsningen av markeringarna"));
    query.addBindValue(period);
    if (!query.exec())
        throw storeError(*this, query, QStringLiteral("Läsningen av markeringarna"));
    PlanningMarks marks;
    while (query.next())
        addMark(marks, [&](int column) { return query.value(column); });
    return marks;
}

void PlanningStore::setMark(const QString &period, const QString &product,
                            const std::optional<PlanningMark> &mark) {
    const QString what = QStringLiteral("Markeringen av %1").arg(product);
    inTransaction(*this, database(), what, [&] {
        QSqlQuery query(database());
        query.prepare(QStringLiteral("DELETE FROM planning_mark WHERE period = ? AND product = ?"));
        query.addBindValue(period);
        query.addBindValue(product);
        if (!query.exec())
            throw storeError(*this, query, what);
        if (!mark)
            return;
        const bool ordered = mark->kind == PlanningMark::Kind::Ordered;
        query.prepare(QStringLiteral("INSERT INTO planning_mark (period, product, mark, "
                                     "ordered_on, ordered_packs) VALUES (?, ?, ?, ?, ?)"));
        query.addBindValue(period);
        query.addBindValue(product);
        query.addBindValue(ordered ? orderedKey : discontinuedKey);
        query.addBindValue(ordered ? QVariant(mark->orderedOn.toString(Qt::ISODate))
                                   : QVariant(QMetaType(QMetaType::QString)));
        query.addBindValue(ordered ? QVariant(mark->orderedPacks)
                                   : QVariant(QMetaType(QMetaType::Double)));
        if (!query.exec())
            throw storeError(*this, query, what);
    });
}

std::unique_ptr<PlanningStore> openPlanningStore(const QString &appPath) {
    return openPlanningStore(openSearchSource(appPath));
}

std::unique_ptr<PlanningStore> openPlanningStore(std::unique_ptr<SearchSource> source) {
    return std::make_unique<SourcePlanningStore>(std::move(source));
}

std::optional<std::pair<PlanningRules, PlanningMarks>> readPlanningFile(const QString &file,
                                                                        const QString &period) {
    std::pair<PlanningRules, PlanningMarks> planning;
    if (!readSearchFile(file, {QLatin1String(tables[0].name), QLatin1String(tables[1].name)},
                        {{rulesSelect, std::nullopt,
                          [&](const Columns &value) { addRule(planning.first, value); }},
                         {marksSelect, period,
                          [&](const Columns &value) { addMark(planning.second, value); }}}))
        return std::nullopt;
    return planning;
}
