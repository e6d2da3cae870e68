// Values: Variant arithmetic, NullToValue, Format and parseNumber.
//
// Input: two values, each a type byte and its bytes (a 16- or 32-bit integer, a double's eight
// bytes, a day number, a length byte and UTF-8 text), then a byte choosing the NullToValue code;
// whatever is left is a text for parseNumber.

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Variant.h"

#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

using lodvik::Variant;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

class Input {
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    template <typename T> T number() {
        uint8_t bytes[sizeof(T)] = {};
        for (auto &b : bytes)
            b = byte();
        return qFromLittleEndian<T>(bytes);
    }
    QString text(size_t length) {
        length = std::min(length, m_size - m_pos);
        const QString t =
            QString::fromUtf8(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(length));
        m_pos += length;
        return t;
    }
    QString rest() { return text(m_size - m_pos); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

Variant value(Input &in) {
    switch (in.byte() % 8) {
    case 0:
        return Variant();
    case 1:
        return Variant::Null();
    case 2:
        return Variant::Integer(in.number<qint16>());
    case 3:
        return Variant::Long(in.number<qint32>());
    case 4:
        return Variant::Double(in.number<double>());
    case 5:
        return Variant::Date(QDate::fromJulianDay(in.number<qint32>()));
    case 6:
        return Variant::Boolean(in.byte() & 1);
    default:
        return Variant::String(in.text(in.byte()));
    }
}

// Equal, a NaN being the same as itself.
bool same(const Variant &a, const Variant &b) {
    return a == b || (a.type() == b.type() && std::isnan(a.number()) && std::isnan(b.number()));
}

bool integral(const Variant &v) {
    return v.type() == Variant::Type::Integer || v.type() == Variant::Type::Long ||
           v.type() == Variant::Type::Empty;
}

// The number a value stands for in arithmetic, or nothing when it raises.
std::optional<double> operand(const Variant &v) {
    try {
        return v.toDouble();
    } catch (const lodvik::Error &) {
        return std::nullopt;
    }
}

void checkArithmetic(const Variant &a, const Variant &b) {
    const std::optional<double> x = operand(a), y = operand(b);
    using Operation = Variant (*)(const Variant &, const Variant &);
    const Operation operations[] = {
        [](const Variant &p, const Variant &q) { return p + q; },
        [](const Variant &p, const Variant &q) { return p - q; },
        [](const Variant &p, const Variant &q) { return p * q; },
        [](const Variant &p, const Variant &q) { return p / q; },
    };
    for (int op = 0; op < 4; ++op) {
        std::optional<Variant> result;
        try {
            result = operations[op](a, b);
        } catch (const lodvik::Error &) {
        }
        // Null wins over everything, before any operand is read.
        if (a.isNull() || b.isNull()) {
            check(result && result->isNull());
            continue;
        }
        // Otherwise it raises exactly when an operand is no number, or for division by 0.
        const bool raises = !x || !y || (op == 3 && *y == 0.0);
        check(result.has_value() != raises);
        if (raises)
            continue;
        const double expected = op == 0 ? *x + *y : op == 1 ? *x - *y : op == 2 ? *x * *y : *x / *y;
        check(result->isNumber());
        check(result->number() == expected ||
              (std::isnan(expected) && std::isnan(result->number())));
        // Whole numbers stay Long while they fit.
        const bool fitsLong = expected >= std::numeric_limits<qint32>::min() &&
                              expected <= std::numeric_limits<qint32>::max();
        check((result->type() == Variant::Type::Long) ==
              (op != 3 && integral(a) && integral(b) && fitsLong));
    }
    check(greaterThanZero(Variant::Null()) == false);
}

void checkNullToValue(const Variant &v, const QString &code) {
    const bool wantText = code == QLatin1String("S");
    std::optional<Variant> result;
    try {
        result = NullToValue(v, code);
    } catch (const lodvik::Error &) {
        // Only a text that is no number, under a numeric code.
        check(!wantText && v.isString() && !v.text().isEmpty() && v.text() != QLatin1String(" "));
        return;
    }
    if (v.isNull() || v.isEmpty())
        check(*result == (wantText ? Variant::String(QString()) : Variant::Integer(0)));
    else if (!v.isString() || wantText)
        check(same(*result, v));
    else
        check(result->type() == Variant::Type::Double);
}

void checkFormat(const Variant &v) {
    double number = 0;
    bool isNumber = !v.isNull() && !v.isEmpty();
    if (v.isString())
        isNumber = lodvik::parseNumber(v.text(), &number);
    else if (isNumber)
        number = v.toDouble();
    // An infinity or NaN is refused rather than printed as "inf" or "nan"; nothing else is.
    QString text;
    try {
        text = Format(v, QStringLiteral("####"));
        check(!isNumber || std::isfinite(number));
    } catch (const lodvik::Error &) {
        check(isNumber && !std::isfinite(number));
        return;
    }
    if (v.isNull() || v.isEmpty()) {
        check(text.isEmpty());
        return;
    }
    if (!isNumber) {
        check(text == v.text());
        return;
    }
    // A whole number with no separators, "" for anything that rounds to 0.
    static const QRegularExpression whole(QStringLiteral("^-?[1-9][0-9]*$"));
    check(std::round(number) == 0 ? text.isEmpty() : whole.match(text).hasMatch());
    if (std::abs(number) < 1e15)
        check(text.toDouble() == std::round(number));
}

void checkParseNumber(const QString &text) {
    double d = 12345;
    const bool ok = lodvik::parseNumber(text, &d);
    if (!ok)
        check(d == 12345); // untouched
    check(!ok || !text.trimmed().isEmpty());
    check(lodvik::parseNumber(text, nullptr) == ok);
    // A string value reads as the same number.
    const std::optional<double> viaVariant = operand(Variant::String(text));
    check(viaVariant.has_value() == ok);
    if (ok)
        check(*viaVariant == d || (std::isnan(d) && std::isnan(*viaVariant)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The operators' locale: decimal comma and a non-breaking space between thousands.
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    const Variant a = value(in);
    const Variant b = value(in);
    const uint8_t codeByte = in.byte();
    const QString code = codeByte % 3 == 0   ? QStringLiteral("S")
                         : codeByte % 3 == 1 ? QStringLiteral("T")
                                             : QString(QChar(codeByte));
    const QString rest = in.rest();

    checkArithmetic(a, b);
    checkArithmetic(b, a);
    for (const Variant &v : {a, b}) {
        checkNullToValue(v, code);
        checkFormat(v);
        (void)v.toText();
        (void)v.toDisplayText();
    }
    checkParseNumber(rest);
    checkFormat(Variant::String(rest));
    checkNullToValue(Variant::String(rest), code);
    return 0;
}
