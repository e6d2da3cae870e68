#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <cmath>

namespace lodvik {
class Variant;
}

// What a stored value adds to a figure, said once for both stores: a number; Null; a text as the
// figure reads it (empty and blank texts, numeric texts); or refused (a blob, an infinity or NaN,
// a text that is no number), which stops the figure with its table, column and value named.
namespace dao {

// How a figure reads the values it adds up.
enum class ValueRule {
    // As the checked sum of a column (checkedSum, SQLite's SUM): Null adds nothing, "" and " "
    // count 0, a numeric text as SQLite converts it (an integer stays an integer).
    Sum,
    // As NullToValue(value, "T"): Null, "" and " " count 0, a numeric text as
    // lodvik::parseNumber reads it.
    Quantity,
    // As a value a figure adds to its total as it stands: Null has no number, a numeric text as
    // lodvik::parseNumber reads it.
    Summable,
};

struct StoredNumber {
    enum class Kind : quint8 { Null, Integer, Real, Refused };
    // Why a value is refused: a text that is no number, a blob, an infinity or NaN, or a Null
    // where the figure must have a number.
    enum class Refusal : quint8 { Text, Blob, Infinite, Null };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0; // also an infinity's, with its sign
    Refusal refusal = Refusal::Text;
};

// A stored double as a NUMERIC column of local.mdb keeps it: a whole number within 64 bits as
// that integer; an infinity or NaN refused.
StoredNumber storedNumber(double value);

// A double stored as one (SQLite's REAL): as it is, an infinity or NaN refused.
inline StoredNumber storedReal(double value) {
    return {std::isfinite(value) ? StoredNumber::Kind::Real : StoredNumber::Kind::Refused, 0, value,
            StoredNumber::Refusal::Infinite};
}

// A number the server sends as text (a numeric column), as a NUMERIC column of local.mdb keeps
// it: an integer text, or a real one that is whole within 64 bits, as that integer.
StoredNumber numericText(QByteArrayView utf8);

// A Null as rule reads it: nothing for Sum, 0 for Quantity, refused for Summable.
inline StoredNumber storedNull(ValueRule rule) {
    switch (rule) {
    case ValueRule::Quantity:
        return {StoredNumber::Kind::Real, 0, 0};
    case ValueRule::Summable:
        return {StoredNumber::Kind::Refused, 0, 0, StoredNumber::Refusal::Null};
    case ValueRule::Sum:
        break;
    }
    return {};
}

// A text, as its UTF-8 bytes, as rule reads it. Sum converts a numeric text with SQLite's own
// conversion (sqlite3_value_numeric_type), as the checked sum on local.mdb does, an infinity
// ("1e999") included, which the sum then refuses with its own words.
StoredNumber storedText(QByteArrayView utf8, ValueRule rule);

// A value as a store's rows hand it over (lodvik::Variant), as rule reads it.
StoredNumber storedValue(const lodvik::Variant &value, ValueRule rule);

} // namespace dao
