#include "MDlib/Variant.h"

#include "MDlib/Error.h"

#include <QLocale>

#include <charconv>
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

namespace {

// The code unit at i of a QString or of UTF-8 bytes; the fast paths below read ASCII only.
inline char16_t unitAt(const QString &text, qsizetype i) {
    return text.at(i).unicode();
}
inline char16_t unitAt(QByteArrayView text, qsizetype i) {
    return char16_t(static_cast<unsigned char>(text.at(i)));
}

// A whole number of at most 15 digits, as Format writes them ("-12", "0", "450"): exactly the
// number the locale would read, got without the locale's general parser.
template <typename Text> bool plainWholeNumber(const Text &text, double *out) {
    const qsizetype size = text.size();
    const bool negative = size > 0 && unitAt(text, 0) == u'-';
    const qsizetype first = negative ? 1 : 0;
    const qsizetype digits = size - first;
    if (digits < 1 || digits > 15 || (digits > 1 && unitAt(text, first) == u'0'))
        return false;
    qint64 value = 0;
    for (qsizetype i = first; i < size; ++i) {
        const char16_t c = unitAt(text, i);
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    if (out)
        *out = negative ? -double(value) : double(value);
    return true;
}

// A decimal without exponent as a number's text gives it ("-12.5", "0.125"), no blanks, no
// separators, no leading zero: read as the C locale reads it (correctly rounded), without the
// locale's general parser.
template <typename Text> bool plainDecimal(const Text &text, double *out) {
    char ascii[48];
    const qsizetype size = text.size();
    if (size < 3 || size > qsizetype(sizeof ascii))
        return false;
    const qsizetype first = unitAt(text, 0) == u'-' ? 1 : 0;
    qsizetype point = -1;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = unitAt(text, i);
        if (c == u'.' && point < 0 && i > first)
            point = i;
        else if ((c < u'0' || c > u'9') && i >= first)
            return false;
        ascii[i] = char(c);
    }
    if (point < 0 || point == size - 1 || (point > first + 1 && ascii[first] == '0'))
        return false;
    double d = 0;
    const auto [end, error] = std::from_chars(ascii, ascii + size, d);
    if (error != std::errc() || end != ascii + size)
        return false;
    if (out)
        *out = d;
    return true;
}

// A text that no locale reads as a number: it holds an ASCII letter outside the exponent and
// "inf"/"nan", or a minus sign inside it that does not follow an exponent ("10-1234"). Saves the
// locale's parser (slow) the product numbers and descriptions a workbook is full of.
bool surelyNoNumber(const QString &text) {
    qsizetype first = 0;
    while (first < text.size() && text.at(first).isSpace())
        ++first;
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= 0x80)
            continue;
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            switch (c | 0x20) {
            case u'a':
            case u'e':
            case u'f':
            case u'i':
            case u'n':
                break;
            default:
                return true;
            }
        } else if (c == u'-' && i > first && (text.at(i - 1).unicode() | 0x20) != u'e') {
            return true;
        }
    }
    return false;
}

} // namespace

bool parseNumber(const QString &text, double *out) {
    if (plainWholeNumber(text, out) || plainDecimal(text, out))
        return true;
    if (surelyNoNumber(text))
        return false;
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

bool parseNumber(QByteArrayView utf8, double *out) {
    if (plainWholeNumber(utf8, out) || plainDecimal(utf8, out))
        return true;
    return parseNumber(QString::fromUtf8(utf8), out);
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
    default: {
        // A whole number below 10^15 is its digits in 15 significant ones (negative zero "0"):
        // the integer conversion spares it the decimal one.
        const double d = number();
        if (std::fabs(d) < 1e15 && d == std::trunc(d))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
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
