#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class SearchSource;

// The program's own planning data: a replenishment rule per product and the operator's marks on
// a period's products. It lives beside the search table (sokdata.db, or the shared server when
// lodvikprodsok.ini names one), never in local.mdb, which an import replaces.

// How a product is reordered. The default rule asks for exactly what the target alone asks for.
struct PlanningRule {
    double leadTimeWeeks = 0; // weeks from order to delivery
    double safetyWeeks = 0;   // safety stock in weeks of sales
    double safetyPacks = 0;   // and/or a fixed safety stock in packs
    qint64 multiple = 1;      // packs are ordered in multiples of this
    qint64 minimum = 0;       // and never fewer than this
    QString supplier;
    QString group;            // product group
    bool followTrend = false; // "följ trenden": the suggestion uses the sales trend of kept runs

    bool operator==(const PlanningRule &) const = default;
};

// The rules by product number.
using PlanningRules = std::map<QString, PlanningRule>;

// What the operator has done about a product in a period's list.
struct PlanningMark {
    enum class Kind { Ordered, Discontinued };
    Kind kind = Kind::Ordered;
    QDate orderedOn;         // Ordered: when
    double orderedPacks = 0; // Ordered: how many packs
};

// The most packs a mark says were ordered (whole packs; the window's dialog and the command line).
constexpr double MostMarkedPacks = 1e9;

// The marks of one period by product number.
using PlanningMarks = std::map<QString, PlanningMark>;

class PlanningStore {
public:
    virtual ~PlanningStore() = default;

    PlanningRules rules() const;
    // Replaces every rule in one transaction; on failure the old rules stay.
    void replaceRules(const PlanningRules &rules);
    // Sets the rules of these products only, in one transaction.
    void setRules(const PlanningRules &rules);

    PlanningMarks marks(const QString &period) const;
    // Sets (or with nullopt removes) the mark of one product in a period.
    void setMark(const QString &period, const QString &product,
                 const std::optional<PlanningMark> &mark);

    // For messages: which store this is.
    virtual QString description() const = 0;

protected:
    virtual QSqlDatabase database() const = 0;

private:
    void writeRules(const PlanningRules &rules, bool replaceAll);
};

// The planning data of the program folder's search data source; raises lodvik::Error with a
// message for the operator when it cannot be opened or prepared.
std::unique_ptr<PlanningStore> openPlanningStore(const QString &appPath);
// The same on a source already open.
std::unique_ptr<PlanningStore> openPlanningStore(std::unique_ptr<SearchSource> source);

// The rules and one period's marks of a SQLite search file (sokdata.db), read as the store reads
// them but through SQLite itself: a run that only reads them once loads no SQL driver (Qt's
// costs the run a megabyte of memory). nullopt when the file cannot be read so, or lacks the
// tables: the store then says why, or makes them.
std::optional<std::pair<PlanningRules, PlanningMarks>> readPlanningFile(const QString &file,
                                                                        const QString &period);
