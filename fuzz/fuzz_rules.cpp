// Rules files: parseRulesCsv and rulesCsv (planning/RulesFile.h).
//
// Input: the bytes of a rules file as a buyer's spreadsheet might save it.

#include "planning/RulesFile.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// What rules --load and the rule dialog may store: the window and the planning take these as
// given.
bool inRange(double value, double most) {
    return std::isfinite(value) && value >= 0 && value <= most;
}

void checkRule(const QString &product, const PlanningRule &rule) {
    check(!product.isEmpty() && !product.contains(QChar()));
    check(!rule.supplier.contains(QChar()) && !rule.group.contains(QChar()));
    check(inRange(rule.leadTimeWeeks, planning::MostRuleWeeks));
    check(inRange(rule.safetyWeeks, planning::MostRuleWeeks));
    check(inRange(rule.safetyPacks, planning::MostSafetyPacks));
    check(rule.multiple >= 1 && rule.multiple <= qint64(planning::MostOrderPacks));
    check(rule.minimum >= 0 && rule.minimum <= qint64(planning::MostOrderPacks));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList errors;
    const PlanningRules read = planning::parseRulesCsv(file, &errors);
    // Even a file with bad lines gives only rules that could be stored.
    for (const auto &[product, rule] : read)
        checkRule(product, rule);
    if (!errors.isEmpty())
        return 0;
    // A file read without a fault, saved and read again, gives the same rules and no fault: what
    // rules --save writes, rules --load takes back.
    QStringList again;
    check(planning::parseRulesCsv(planning::rulesCsv(read), &again) == read);
    check(again.isEmpty());
    return 0;
}
