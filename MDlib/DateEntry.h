#pragma once

#include <QDate>
#include <QString>

// Quick entry of a period date in the layout YYYY-MM-DD: a blank typed where a date part starts
// takes that part from the reference date, and a blank after a complete year or month becomes
// the "-".

// Completes t in place from gRefDate and returns it. rulesApplied (when given) receives how many
// completion rules fired; each one means the caret belongs behind the last character, as an End
// key would put it. Never raises.
QString FormatDateEntry(QString &t, int *rulesApplied = nullptr);
// The same with the reference date given.
QString FormatDateEntry(QString &t, const QString &refDate, int *rulesApplied = nullptr);

// The date test of the period entry and the date conversion. Accepted, with blanks around the
// text ignored: YYYY-MM-DD, YYYY/MM/DD, DD/MM/YYYY and DD.MM.YYYY, with one-digit months and
// days allowed. Gives the date, or an invalid QDate for any other text or an impossible date.
QDate dateFromText(const QString &text);
inline bool IsDate(const QString &text) {
    return dateFromText(text).isValid();
}
