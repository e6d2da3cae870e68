#pragma once

#include <QByteArrayView>
#include <QtGlobal>

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
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
};

// A stored double as a NUMERIC column of local.mdb keeps it: a whole number within 64 bits as
// that integer; an infinity or NaN refused.
StoredNumber storedNumber(double value);

// A number the server sends as text (a numeric column), as a NUMERIC column of local.mdb keeps
// it: an integer text, or a real one that is whole within 64 bits, as that integer.
StoredNumber numericText(QByteArrayView utf8);

// A Null as rule reads it: nothing for Sum, 0 for Quantity, refused for Summable.
StoredNumber storedNull(ValueRule rule);

// A text, as its UTF-8 bytes, as rule reads it. Sum converts a numeric text with SQLite's own
// conversion (sqlite3_value_numeric_type), as the checked sum on local.mdb does, an infinity
// ("1e999") included, which the sum then refuses with its own words.
StoredNumber storedText(QByteArrayView utf8, ValueRule rule);

// Whether the text is one of the two that count 0 wherever a blank counts: "" and " ".
inline bool blankText(QByteArrayView utf8) {
    return utf8.isEmpty() || (utf8.size() == 1 && utf8.front() == ' ');
}

} // namespace dao
