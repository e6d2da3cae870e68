#include "MDlib/Variant.h"

#include "MDlib/Error.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace lodvik {

Variant Variant::Null() {
    Variant v;
    v.m_type = Type::Null;
    return v;
}

Variant Variant::Integer(qint16 value) {
    Variant v;
    v.m_type = Type::Integer;
    v.m_value = double(value);
    return v;
}

Variant Variant::Long(qint32 value) {
    Variant v;
    v.m_type = Type::Long;
    v.m_value = double(value);
    return v;
}

Variant Variant::Double(double value) {
    Variant v;
    v.m_type = Type::Double;
    v.m_value = value;
    return v;
}

Variant Variant::Date(const QDate &value) {
    Variant v;
    v.m_type = Type::Date;
    v.m_value = value;
    return v;
}

Variant Variant::String(const QString &value) {
    Variant v;
    v.m_type = Type::String;
    v.m_value = value;
    return v;
}

Variant Variant::Boolean(bool value) {
    Variant v;
    v.m_type = Type::Boolean;
    v.m_value = value ? -1.0 : 0.0;
    return v;
}

bool Variant::isNumber() const {
    return m_type == Type::Integer || m_type == Type::Long || m_type == Type::Double;
}

double Variant::number() const {
    if (const double *d = std::get_if<double>(&m_value))
        return *d;
    return 0.0;
}

const QString &Variant::text() const {
    static const QString empty;
    if (const QString *s = std::get_if<QString>(&m_value))
        return *s;
    return empty;
}

QDate Variant::date() const {
    if (const QDate *d = std::get_if<QDate>(&m_value))
        return *d;
    return {};
}

bool parseNumber(const QString &text, double *out) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    double d = QLocale::c().toDouble(t, &ok);
    if (!ok)
        d = QLocale().toDouble(t, &ok);
    // "inf" and "nan" spell no amount: a figure or a cell must never carry one.
    ok = ok && std::isfinite(d);
    if (ok && out)
        *out = d;
    return ok;
}

double Variant::toDouble() const {
    switch (m_type) {
    case Type::Empty:
        return 0.0;
    case Type::Null:
        throw Error(QStringLiteral("Ogiltig användning av Null: ett tomt värde kan inte "
                                   "räknas som ett tal."));
    case Type::String: {
        double d = 0;
        if (!parseNumber(text(), &d))
            throw Error(QStringLiteral("Typfel: texten \"%1\" är inget tal.").arg(text()));
        return d;
    }
    case Type::Date:
        // Days since 1899-12-30, as the original's date serial numbers.
        return double(QDate(1899, 12, 30).daysTo(date()));
    default:
        return number();
    }
}

QString Variant::toText() const {
    switch (m_type) {
    case Type::Empty:
    case Type::Null:
        return {};
    case Type::String:
        return text();
    case Type::Date:
        return date().toString(Qt::ISODate);
    case Type::Boolean:
        return number() != 0 ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return QString::number(number(), 'g', 15);
    }
}

QString Variant::toDisplayText() const {
    if (m_type == Type::Null)
        return QStringLiteral("Null");
    return toText();
}

namespace {

// Operand of arithmetic; Null is handled by the callers.
double operand(const Variant &v) {
    return v.toDouble();
}

bool integral(const Variant &v) {
    return v.type() == Variant::Type::Integer || v.type() == Variant::Type::Long ||
           v.type() == Variant::Type::Empty;
}

Variant numberResult(double value, bool keepInteger) {
    if (keepInteger && value >= std::numeric_limits<qint32>::min() &&
        value <= std::numeric_limits<qint32>::max())
        return Variant::Long(qint32(value));
    return Variant::Double(value);
}

} // namespace

Variant operator+(const Variant &a, const Variant &b) {
    if (a.isNull() || b.isNull())
        return Variant::Null();
    return numberResult(operand(a) + operand(b), integral(a) && integral(b));
}

Variant operator-(const Variant &a, const Variant &b) {
    if (a.isNull() || b.isNull())
        return Variant::Null();
    return numberResult(operand(a) - operand(b), integral(a) && integral(b));
}

Variant operator*(const Variant &a, const Variant &b) {
    if (a.isNull() || b.isNull())
        return Variant::Null();
    return numberResult(operand(a) * operand(b), integral(a) && integral(b));
}

Variant operator/(const Variant &a, const Variant &b) {
    if (a.isNull() || b.isNull())
        return Variant::Null();
    const double divisor = operand(b);
    if (divisor == 0.0)
        throw Error(QStringLiteral("Division med noll."));
    return Variant::Double(operand(a) / divisor);
}

bool greaterThanZero(const Variant &v) {
    if (v.isNull())
        return false;
    return v.toDouble() > 0.0;
}

} // namespace lodvik
