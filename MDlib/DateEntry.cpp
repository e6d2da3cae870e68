#include "MDlib/DateEntry.h"

#include "MDlib/MDlib.h"

#include <QRegularExpression>

QString FormatDateEntry(QString &t, int *rulesApplied) {
    return FormatDateEntry(t, gRefDate, rulesApplied);
}

QString FormatDateEntry(QString &t, const QString &refDate, int *rulesApplied) {
    int fired = 0;
    if (rulesApplied)
        *rulesApplied = 0;
    try {
        if (t.isEmpty())
            return t;
        const QChar blank(u' ');
        // A blank where a date part starts takes the part from the reference date; everything
        // typed before the year is replaced.
        if (t.at(0) == blank) {
            t = refDate.left(5);
            ++fired;
        }
        if (t.size() >= 6 && t.at(5) == blank) {
            t = t.left(5) + refDate.mid(5, 2) + QLatin1Char('-');
            ++fired;
        }
        if (t.size() >= 9 && t.at(8) == blank) {
            t = t.left(8) + refDate.mid(8, 2);
            ++fired;
        }
        // A blank after a complete year or month is the separator.
        if (!t.isEmpty() && t.back() == blank && t.size() == 5) {
            t = t.left(4) + QLatin1Char('-');
            ++fired;
        }
        if (!t.isEmpty() && t.back() == blank && t.size() == 8) {
            t = t.left(7) + QLatin1Char('-');
            ++fired;
        }
    } catch (...) {
        // Completion is a convenience; a failure leaves the text as far as it got.
    }
    if (rulesApplied)
        *rulesApplied = fired;
    return t;
}

QDate dateFromText(const QString &text) {
    static const QRegularExpression yearFirst(
        QStringLiteral(R"(^([0-9]{4})([-/])([0-9]{1,2})\2([0-9]{1,2})$)"));
    static const QRegularExpression dayFirst(
        QStringLiteral(R"(^([0-9]{1,2})([/.])([0-9]{1,2})\2([0-9]{4})$)"));
    const QString t = text.trimmed();
    QRegularExpressionMatch m = yearFirst.match(t);
    if (m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    m = dayFirst.match(t);
    if (m.hasMatch())
        return QDate(m.captured(4).toInt(), m.captured(3).toInt(), m.captured(1).toInt());
    return {};
}
