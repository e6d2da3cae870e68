#pragma once

#include "figures/Period.h"
#include "planning/PlanningStore.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class DataControl;
class SearchSource;

// The commands of the command line. Each takes the arguments after its name, prints results to
// stdout and progress to stderr, returns the exit code, and raises lodvik::UsageError for a
// command line it cannot understand and lodvik::Error when the operation fails.
namespace cli {

int search(const QStringList &args);
int demo(const QStringList &args);
int figure(const QStringList &args);
int convertDates(const QStringList &args);
int coverage(const QStringList &args);
int summary(const QStringList &args);
int print(const QStringList &args);
int importMdb(const QStringList &args);
int importStore(const QStringList &args);
// print's usage errors, found before the graphical application starts.
void checkPrintArguments(const QStringList &args);

int rules(const QStringList &args);
int mark(const QStringList &args);
int changes(const QStringList &args);
int history(const QStringList &args);
int scheduledRun(const QStringList &args);

// The rules and the period's marks of the program folder's planning data; none, with a warning
// on stderr, when they cannot be read.
struct StoredPlanning {
    PlanningRules rules;
    PlanningMarks marks;
};
StoredPlanning loadStoredPlanning(const figures::Period &period);

// The program folder a command works on: gAppPath, refused (lodvik::Error, with how to fill it)
// while the folder is missing or holds none of local.mdb, sokdata.db and lodvikprodsok.ini, so
// that a mistyped LODVIKPRODSOK_HOME fails instead of giving an empty result. demo and
// import-mdb, which fill it, use gAppPath.
QString programFolder();
// programFolder() + "/local.mdb"
QString localDatabasePath();

// Results go to stdout through these: the first failed write's reason is kept, so that every
// failure is told the same way, once, by flushOut.
void writeOut(const QByteArray &bytes);
// A line in the local encoding.
void printOut(const QString &line);
// Sends on what stdout holds; raises lodvik::Error when any result did not reach it.
void flushOut();

// The command line hands a command its plain arguments followed by its options as "--name"
// "VALUE" pairs, already checked against the options the command's help names; this tells how
// many pairs end the list. Without it "--name VALUE" is looked for anywhere.
void setOptionPairs(qsizetype pairs);
// Takes the option "--name VALUE" out of args; empty when absent.
QString takeOption(QStringList &args, const QString &name);
bool hasOption(const QStringList &args, const QString &name);
// Takes a flag (an option without a value); true when it was given.
bool takeFlag(QStringList &args, const QString &name);
// Raises UsageError when args still holds something.
void requireNoMore(const QStringList &args);

// The search of the window: "--produkt TEXT" (a product number search) or "--namn TEXT", one of
// them exactly.
struct SearchOption {
    bool byProduct = false;
    QString text;
};
SearchOption takeSearchOption(QStringList &args);

// "--period YYYY-MM-DD" as a Period (periodArgument); none when absent or empty.
std::optional<figures::Period> takePeriodOption(QStringList &args);
// The same for a command that needs the period: a UsageError when it is absent.
figures::Period takeRequiredPeriodOption(QStringList &args);
// A date argument as a Period, refused with a UsageError that says what the Period says.
figures::Period periodArgument(const QString &text);

// The window's search, run on the program folder's search data source: the same query text on
// the same data control, with every row read.
struct SearchResult {
    std::unique_ptr<SearchSource> source;
    std::unique_ptr<DataControl> rows;
    SearchResult();
    SearchResult(SearchResult &&) noexcept;
    ~SearchResult();
};
SearchResult runSearch(const SearchOption &search);

} // namespace cli
