#pragma once

#include "MDlib/Variant.h"

#include <QString>
#include <QtGlobal>

#include <cmath>

// The figures' checked sum of one column (dao::checkedSum), kept by the same code on every store:
// SQLite's SUM (the integers exactly while they fit in 64 bits, every value also into one double
// added in row order, Null without values), except that a value that is no number, a blob, an
// infinity or a sum past the range of numbers stops it with a message naming the table and the
// column. The SQLite store runs it as the aggregate lodvik_sum; the server store adds the values
// it fetched in lodvik_radnr order.
namespace dao {

// SQLite's SUM arithmetic over finite numbers, without the checks: the integers exactly in 64
// bits while every value was one, every value also into one double added in row order. The
// coverage scan adds with it alone and leaves a product whose values it refuses to the figure's
// own query, which then says why.
class ExactSum {
public:
    // False when the integer sum would overflow 64 bits (nothing more can be given for it).
    // Inline, as addReal: the coverage scan adds millions of values a run.
    bool addInteger(qint64 value) {
        m_real += double(value);
        if (!m_approximate && __builtin_add_overflow(m_integer, value, &m_integer))
            return false;
        m_counted = true;
        return true;
    }
    // False when value or the double sum is no finite number.
    bool addReal(double value) {
        if (!std::isfinite(value))
            return false;
        m_real += value;
        m_approximate = m_counted = true;
        return std::isfinite(m_real);
    }

    // Null when nothing was added; the integer sum as the store reads an integer back (Long in
    // the 32-bit range, else Double); the double sum once a value was no integer.
    lodvik::Variant result() const;
    bool counted() const { return m_counted; }
    bool approximate() const { return m_approximate; }
    qint64 integer() const { return m_integer; }
    double real() const { return m_real; }

private:
    double m_real = 0;
    qint64 m_integer = 0;
    bool m_counted = false;
    bool m_approximate = false;
};

class CheckedSum {
public:
    CheckedSum(const QString &table, const QString &column) : m_table(table), m_column(column) {}

    // Each returns the operator's message when the value stops the sum, else an empty text.
    QString addInteger(qint64 value);
    // shown names an infinity in the message as the store holds it ("Inf" when empty).
    QString addReal(double value, const QString &shown = {});
    // A value as a NUMERIC column holds it: integral values within 64 bits as integers.
    QString addNumber(double value);
    // A text as the column holds it, read by ValueRule::Sum: "" and " " count as 0, a numeric
    // text as SQLite converts it, any other text stops the sum.
    QString addText(const QString &text);
    QString addBlob(const QString &literal);

    // As ExactSum's; the state behind it for a store that hands the integer sum back in 64 bits.
    lodvik::Variant result() const { return m_sum.result(); }
    const ExactSum &sum() const { return m_sum; }

private:
    QString m_table;
    QString m_column;
    ExactSum m_sum;
};

// A number read from a typed server column as a NUMERIC column of the SQLite store holds it: a
// Long for an integral value in the 32-bit range, else a Double.
lodvik::Variant numericValue(double value);
// Whether a NUMERIC column stores value as an integer, and which.
bool storedAsInteger(double value, qint64 *integer);

} // namespace dao
