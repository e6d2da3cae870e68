#pragma once

#include <QString>

#include <optional>

// Numbers as the program's files and windows write them.
namespace lodvik {

// C-locale text: whole numbers without a decimal point, others with 15 significant digits, or as
// many more as it takes to read back the same number.
QString plainNumber(double d);
// The same with a decimal comma, as a Swedish spreadsheet reads a number.
QString commaNumber(double d);
// As the operator reads it: Swedish decimal comma, at most two decimals and no more than it has,
// a real minus sign.
QString swedishNumber(double value);
// A number as a spreadsheet writes it: a decimal comma or point, blanks (digit grouping) and a
// real minus sign allowed; nullopt for anything else, an infinity among it.
std::optional<double> readSpreadsheetNumber(QString text);

} // namespace lodvik
