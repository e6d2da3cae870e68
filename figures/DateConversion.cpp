#include "figures/DateConversion.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "XAPI2000/XAPI2000.h"
#include "figures/FigureQuery.h"
#include "store/StoreWriteLock.h"

#include <QRegularExpression>
#include <QTime>

using lodvik::Error;
using lodvik::Variant;

namespace figures {

namespace {

// The date part of a stored date text: blanks around it and a time of day after it (the import
// writes date/time values as "YYYY-MM-DD HH:MM:SS") are no part of the date.
QString datePart(const QString &text) {
    static const QRegularExpression withTime(
        QStringLiteral(R"(^(\S+)\s+([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$)"));
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = withTime.match(t);
    if (m.hasMatch() &&
        QTime(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt()).isValid())
        return m.captured(1);
    return t;
}

QDate dateOf(const QString &dat) {
    const QDate date = dateFromText(dat);
    if (!date.isValid())
        throw Error(QStringLiteral("Datumet \"%1\" kan inte tolkas som ett datum.").arg(dat));
    return date;
}

qint16 WeekNrOf(const QDate &d) {
    return WeekNr(qint16(d.year()), qint16(d.month()), qint16(d.day()));
}

qint16 DayOfWeekOf(const QDate &d) {
    return DayOfWeek(qint16(d.year()), qint16(d.month()), qint16(d.day()));
}

// Names the row by its first column (the product of fpprognos and fporder), or by its rowid
// when that is empty, so that the operator can find and correct it.
QString unreadableDate(const dao::Recordset &rs, const QString &table, const QString &column,
                       const QString &text) {
    const QString key = NullToValue(rs.Fields(0), QStringLiteral("S")).toText();
    const QString row = key.trimmed().isEmpty()
                            ? QStringLiteral("rowid %1").arg(rs.rowid())
                            : QStringLiteral("%1 = \"%2\"").arg(rs.fieldName(0), key);
    return QStringLiteral("Datumet \"%1\" i %2.%3 (raden med %4) kan inte läsas som ett datum. "
                          "Omvandlingen har stoppats: raderna före den har fått sina koder, den "
                          "och raderna efter den är oförändrade.")
        .arg(text, table, column, row);
}

qint64 convertRows(FigureQuery &q, const QString &table, const QString &column,
                   lodvik::Progress &progress) {
    const qint64 rows =
        qint64(q.open(QStringLiteral("SELECT count(*) FROM ") + table).Fields(0).toDouble());
    dao::Recordset rs = q.open(QStringLiteral("SELECT * ") + QStringLiteral(" FROM ") + table +
                               QStringLiteral(" "));
    qint64 read = 0;
    qint64 converted = 0;
    for (; !rs.isEOF(); rs.MoveNext()) {
        // The rows converted so far keep their codes (the savepoint is released): say so.
        if (progress.cancelled())
            throw lodvik::Cancelled(
                QStringLiteral(
                    "Avbrutet. %1 %2 i %3 fick veckodagskoder; resten har kvar sin text.")
                    .arg(converted)
                    .arg(converted == 1 ? QStringLiteral("rad") : QStringLiteral("rader"), table));
        progress.count(read++, rows);
        const Variant value = rs.Fields(column);
        // A value without "-" is a code already (or empty): converting twice changes nothing.
        if (value.isNull() || !value.toText().contains(QLatin1Char('-')))
            continue;
        QString dat = value.toText();
        Variant code;
        try {
            code = konvertdatum(dat);
        } catch (const Error &) {
            throw Error(unreadableDate(rs, table, column, value.toText()));
        }
        rs.Edit();
        rs.SetField(column, code);
        rs.Update();
        ++converted;
    }
    progress.count(read, rows);
    return converted;
}

} // namespace

Variant konvertdatum(QString &dat) {
    dat = datePart(dat);
    // A two-digit year belongs to this century; the caller's text is widened too.
    if (dat.indexOf(QLatin1Char('-')) == 2)
        dat.prepend(QStringLiteral("20"));
    QString week = QString::number(WeekNrOf(dateOf(dat)));
    const QString day = QString::number(DayOfWeekOf(dateOf(dat)));
    if (week.size() < 2)
        week.prepend(QLatin1Char('0'));
    // The year digits come from the text, even when the week belongs to the year before.
    return Variant::String(dat.mid(2, 2) + week + day);
}

DateConversion::DateConversion(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

qint64 DateConversion::konvereraprognosdatum() {
    BusyCursorScope busy;
    return convertColumn(QStringLiteral("fpprognos"), QStringLiteral("MFDRQJ"));
}

qint64 DateConversion::konverteraorderdatum() {
    return convertColumn(QStringLiteral("fporder"), QStringLiteral("SDpddj"));
}

// The rows are written in one savepoint, released also on failure, so that the disk is not
// synced once per row and the rows before a failing one keep their codes; on the server store the
// operation's transaction is committed the same way. The store's write lock is taken before the
// store is opened: an import that replaced the file meanwhile would otherwise take these rows'
// codes with the old file. On the server, opening for writing waits for another workstation's
// conversion, so that each row is converted once.
qint64 DateConversion::convertColumn(const QString &table, const QString &column) {
    const dao::StoreWriteLock writeLock(m_localDatabase, &m_progress);
    FigureQuery q(m_localDatabase, dao::Access::Write);
    const QString savepoint = QStringLiteral("datumkonvertering");
    q.execute(QStringLiteral("SAVEPOINT ") + savepoint);
    qint64 converted = 0;
    try {
        converted = convertRows(q, table, column, m_progress);
    } catch (...) {
        try {
            q.execute(QStringLiteral("RELEASE ") + savepoint);
            q.commit();
        } catch (...) {
            // The first error is the one the operator needs to see.
        }
        throw;
    }
    q.execute(QStringLiteral("RELEASE ") + savepoint);
    q.commit();
    return converted;
}

} // namespace figures
