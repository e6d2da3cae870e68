#pragma once

#include "MDlib/Error.h"

#include <QDate>
#include <QString>

#include <optional>

namespace figures {

// The period of the figures and reports, made once from the operator's text and checked only
// there: a real date written YYYY-MM-DD. It keeps the text exactly as entered, which the
// workbooks put into their file names, and the date, whose month (characters 6-7) the month
// figures read. Another layout is refused rather than converted: "1.3.2024" would read as
// another month, "2024/03/15" would name folders below rapporter.
class Period {
public:
    // Raises lodvik::Error with a message for the operator unless text is such a date (missing()
    // for the empty text).
    static Period fromText(const QString &text);
    // The same for an entry that may be left out: nothing for the empty text.
    static std::optional<Period> fromTextIfGiven(const QString &text);
    // Nothing for a text fromText refuses, without a message.
    static std::optional<Period> parse(const QString &text);
    // What the operator is told when a figure needs a period and none was given.
    static lodvik::Error missing();

    const QString &text() const { return m_text; }
    const QDate &date() const { return m_date; }
    int month() const { return m_date.month(); }

    friend bool operator==(const Period &, const Period &) = default;

private:
    Period(const QString &text, const QDate &date) : m_text(text), m_date(date) {}

    QString m_text;
    QDate m_date;
};

// The text of a period that may be left out: empty when there is none.
inline QString periodText(const std::optional<Period> &period) {
    return period ? period->text() : QString();
}

} // namespace figures
