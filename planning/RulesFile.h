#pragma once

#include "planning/PlanningStore.h"

#include <QByteArray>
#include <QStringList>

// The planning rules as a file for a buyer's spreadsheet.
namespace planning {

// The largest values a rule takes, as the window's rule dialog allows them: ten years of weeks,
// a billion safety packs, a million packs as multiple or minimum order.
constexpr double MostRuleWeeks = 520;
constexpr double MostSafetyPacks = 1e9;
constexpr double MostOrderPacks = 1e6;

// The rules as CSV for a Swedish spreadsheet: UTF-8 with BOM, ';', decimal comma, a header of
// product;lead_time_weeks;safety_weeks;safety_packs;multiple;minimum;supplier;group, and
// follow_trend (ja or nej) when a rule follows the trend. A text the spreadsheet would run as a
// formula gets a leading apostrophe, which parseRulesCsv takes off.
QByteArray rulesCsv(const PlanningRules &rules);
// Reads such a file: ';' or ',' between fields, decimal comma or point, the header optional, an
// empty number field taking the default rule's value. Each bad line goes into errors with its
// line number and column (a number outside the rule's range among them), and so does a file with
// no line at all; the rules read are then not to be used.
PlanningRules parseRulesCsv(const QByteArray &data, QStringList *errors);

} // namespace planning
