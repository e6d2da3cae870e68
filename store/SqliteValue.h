#pragma once

#include "store/StoredValue.h"

#include <sqlite3.h>

// A value as SQLite hands it to a statement's reader or to a function, as a figure's rule reads
// it (store/StoredValue): for the rows of a query and for the coverage run's pass alike. Only the
// SQLite store's files include this.
namespace dao {

// A text's bytes, as the rule reads them: out of line, the rows mostly hold numbers.
[[gnu::noinline]] inline StoredNumber storedSqliteText(sqlite3_value *value, ValueRule rule) {
    return storedText(QByteArrayView(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                                     sqlite3_value_bytes(value)),
                      rule);
}

inline StoredNumber storedSqliteValue(sqlite3_value *value, ValueRule rule) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return {StoredNumber::Kind::Integer, sqlite3_value_int64(value), 0};
    case SQLITE_FLOAT:
        return storedReal(sqlite3_value_double(value));
    case SQLITE_NULL:
        return storedNull(rule);
    case SQLITE_TEXT:
        return storedSqliteText(value, rule);
    default:
        return {StoredNumber::Kind::Refused, 0, 0, StoredNumber::Refusal::Blob};
    }
}

} // namespace dao
