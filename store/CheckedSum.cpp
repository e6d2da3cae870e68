#include "store/CheckedSum.h"

#include "store/LocalDatabase.h"
#include "store/StoredValue.h"

#include <cmath>
#include <limits>

using lodvik::Variant;

namespace dao {

Variant ExactSum::result() const {
    if (!m_counted)
        return Variant::Null();
    if (m_approximate)
        return Variant::Double(m_real);
    if (m_integer >= std::numeric_limits<qint32>::min() &&
        m_integer <= std::numeric_limits<qint32>::max())
        return Variant::Long(qint32(m_integer));
    return Variant::Double(double(m_integer));
}

QString CheckedSum::addInteger(qint64 value) {
    // SUM gives an error for this at the end whatever follows; say it now, with the names.
    if (!m_sum.addInteger(value))
        return sumOverflowMessage(m_table, m_column);
    return {};
}

QString CheckedSum::addReal(double value, const QString &shown) {
    if (!std::isfinite(value))
        return notANumberMessage(m_table, m_column,
                                 !shown.isEmpty() ? shown
                                 : value < 0      ? QStringLiteral("-Inf")
                                                  : QStringLiteral("Inf"),
                                 NotANumber::Infinite);
    // Finite values never bring an infinite sum back, so the sum as SUM would give it is lost.
    if (!m_sum.addReal(value))
        return sumOverflowMessage(m_table, m_column);
    return {};
}

QString CheckedSum::addNumber(double value) {
    qint64 integer = 0;
    return storedAsInteger(value, &integer) ? addInteger(integer) : addReal(value);
}

QString CheckedSum::addText(const QString &text) {
    const StoredNumber number = storedText(text.toUtf8(), ValueRule::Sum);
    switch (number.kind) {
    case StoredNumber::Kind::Integer:
        return addInteger(number.integer);
    case StoredNumber::Kind::Real:
        return addReal(number.real, QStringLiteral("\"%1\"").arg(text));
    case StoredNumber::Kind::Null:
    case StoredNumber::Kind::Refused:
        break;
    }
    return notANumberMessage(m_table, m_column, text, NotANumber::Text);
}

QString CheckedSum::addBlob(const QString &literal) {
    return notANumberMessage(m_table, m_column, literal, NotANumber::Blob);
}

bool storedAsInteger(double value, qint64 *integer) {
    // SQLite's own test: the double converts to a 64-bit integer and back without loss.
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(value > -limit && value < limit) || value != std::trunc(value))
        return false;
    *integer = qint64(value);
    return true;
}

Variant numericValue(double value) {
    qint64 integer = 0;
    if (storedAsInteger(value, &integer) && integer >= std::numeric_limits<qint32>::min() &&
        integer <= std::numeric_limits<qint32>::max())
        return Variant::Long(qint32(integer));
    return Variant::Double(value);
}

} // namespace dao
