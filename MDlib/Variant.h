#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <variant>

namespace lodvik {

// A database field, figure result or table cell: the value carries its own type, so that null
// stays apart from 0 and the 16-bit integer 0 from the double 0.
class Variant {
public:
    enum class Type { Empty, Null, Integer, Long, Double, Date, String, Boolean };

    Variant() = default; // Empty: never assigned

    static Variant Null();
    static Variant Integer(qint16 value);
    static Variant Long(qint32 value);
    static Variant Double(double value);
    static Variant Date(const QDate &value);
    static Variant String(const QString &value);
    static Variant Boolean(bool value);

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }
    bool isNull() const { return m_type == Type::Null; }
    bool isString() const { return m_type == Type::String; }
    bool isNumber() const;

    // The stored value; only valid for the matching type.
    double number() const; // any numeric type, or Boolean (true = -1)
    const QString &text() const;
    QDate date() const;

    // Conversion to a double as the original's CDbl: Empty is 0, Null and non-numeric text raise.
    double toDouble() const;
    // Text as a concatenation would give it; Null and Empty give "".
    QString toText() const;
    // Null, a C-locale number with up to 15 significant digits, or the text as it is.
    QString toDisplayText() const;

    bool operator==(const Variant &other) const = default;

private:
    Type m_type = Type::Empty;
    std::variant<std::monostate, double, QString, QDate> m_value;
};

// A text read as a number: C locale, or the operator's own locale; blanks around it are allowed.
// Returns false for a text that spells no finite number ("inf", "nan", "1e999").
bool parseNumber(const QString &text, double *out);
// The same for a text as UTF-8 bytes (a value as a store holds it), without making a QString for
// the plain numbers most such texts are.
bool parseNumber(QByteArrayView utf8, double *out);

// Variant arithmetic: Null makes the result Null, Empty counts as 0, numeric text as its number.
Variant operator+(const Variant &a, const Variant &b);
Variant operator-(const Variant &a, const Variant &b);
Variant operator*(const Variant &a, const Variant &b);
Variant operator/(const Variant &a, const Variant &b); // division by 0 raises
bool greaterThanZero(const Variant &v);                // Null is not above 0

} // namespace lodvik
