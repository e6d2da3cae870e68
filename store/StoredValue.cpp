#include "store/StoredValue.h"

#include "MDlib/Variant.h"

#include <sqlite3.h>

#include <cmath>
#include <new>

namespace dao {

StoredNumber storedNumber(double value) {
    StoredNumber n;
    // SQLite's own test: the double converts to a 64-bit integer and back without loss.
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (value > -limit && value < limit && value == std::trunc(value)) {
        n.kind = StoredNumber::Kind::Integer;
        n.integer = qint64(value);
        return n;
    }
    n.kind = std::isfinite(value) ? StoredNumber::Kind::Real : StoredNumber::Kind::Refused;
    n.real = value;
    return n;
}

StoredNumber storedNull(ValueRule rule) {
    StoredNumber n;
    if (rule == ValueRule::Quantity)
        n.kind = StoredNumber::Kind::Real;
    else if (rule == ValueRule::Summable)
        n.kind = StoredNumber::Kind::Refused;
    return n;
}

namespace {

// A plain whole number of at most 18 digits ("12", "-7", "007"): what SQLite converts to exactly
// that integer, read without SQLite.
bool plainInteger(QByteArrayView utf8, qint64 *out) {
    const qsizetype first = !utf8.isEmpty() && utf8.front() == '-' ? 1 : 0;
    const qsizetype digits = utf8.size() - first;
    if (digits < 1 || digits > 18)
        return false;
    qint64 value = 0;
    for (qsizetype i = first; i < utf8.size(); ++i) {
        const char c = utf8.at(i);
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    *out = first ? -value : value;
    return true;
}

// Any other text through SQLite's conversion, on a statement of a connection of this thread's
// own that holds no file.
StoredNumber sqliteNumber(QByteArrayView utf8) {
    struct Converter {
        sqlite3 *db = nullptr;
        sqlite3_stmt *select = nullptr;
        Converter() {
            if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                nullptr) != SQLITE_OK ||
                sqlite3_prepare_v2(db, "SELECT ?", -1, &select, nullptr) != SQLITE_OK)
                throw std::bad_alloc();
        }
        ~Converter() {
            sqlite3_finalize(select);
            sqlite3_close_v2(db);
        }
    };
    thread_local Converter converter;
    sqlite3_stmt *s = converter.select;
    sqlite3_bind_text(s, 1, utf8.data(), int(utf8.size()), SQLITE_STATIC);
    StoredNumber n;
    n.kind = StoredNumber::Kind::Refused;
    if (sqlite3_step(s) == SQLITE_ROW) {
        sqlite3_value *value = sqlite3_column_value(s, 0);
        switch (sqlite3_value_numeric_type(value)) {
        case SQLITE_INTEGER:
            n.kind = StoredNumber::Kind::Integer;
            n.integer = sqlite3_value_int64(value);
            break;
        case SQLITE_FLOAT: // an infinity too ("1e999"): the sum names it so
            n.kind = StoredNumber::Kind::Real;
            n.real = sqlite3_value_double(value);
            break;
        default:
            break;
        }
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return n;
}

} // namespace

StoredNumber numericText(QByteArrayView utf8) {
    StoredNumber n;
    if (plainInteger(utf8, &n.integer)) {
        n.kind = StoredNumber::Kind::Integer;
        return n;
    }
    n = sqliteNumber(utf8);
    return n.kind == StoredNumber::Kind::Real ? storedNumber(n.real) : n;
}

StoredNumber storedText(QByteArrayView utf8, ValueRule rule) {
    StoredNumber n;
    if (rule != ValueRule::Summable && blankText(utf8)) {
        // The sum counts them as the double 0, NullToValue as 0.
        n.kind = StoredNumber::Kind::Real;
        return n;
    }
    if (rule == ValueRule::Sum) {
        if (plainInteger(utf8, &n.integer)) {
            n.kind = StoredNumber::Kind::Integer;
            return n;
        }
        return sqliteNumber(utf8);
    }
    double number = 0;
    if (!lodvik::parseNumber(utf8, &number)) {
        n.kind = StoredNumber::Kind::Refused;
        return n;
    }
    n.kind = StoredNumber::Kind::Real;
    n.real = number;
    return n;
}

} // namespace dao
