#include "figures/DateConversion.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "XAPI2000/XAPI2000.h"
#include "data/StoreWriteLock.h"
#include "figures/FigureQuery.h"

using lodvik::Error;
using lodvik::Variant;

namespace figures {

namespace {

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

void convertRows(FigureQuery &q, const QString &table, const QString &column,
                 lodvik::Progress &progress) {
    dao::Recordset rs = q.open(QStringLiteral("SELECT * ") + QStringLiteral(" FROM ") + table +
                               QStringLiteral(" "));
    for (; !rs.isEOF(); rs.MoveNext()) {
        progress.checkCancelled();
        const Variant value = rs.Fields(column);
        // A value without "-" is a code already (or empty): converting twice changes nothing.
        if (value.isNull() || !value.toText().contains(QLatin1Char('-')))
            continue;
        QString dat = value.toText();
        rs.Edit();
        rs.SetField(column, konvertdatum(dat));
        rs.Update();
    }
}

} // namespace

Variant konvertdatum(QString &dat) {
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

void DateConversion::konvereraprognosdatum() {
    BusyCursorScope busy;
    convertColumn(QStringLiteral("fpprognos"), QStringLiteral("MFDRQJ"));
}

void DateConversion::konverteraorderdatum() {
    convertColumn(QStringLiteral("fporder"), QStringLiteral("SDpddj"));
}

// The rows are written in one savepoint, released also on failure, so that the disk is not
// synced once per row and the rows before a failing one keep their codes. The store's write lock
// is taken before the store is opened: an import that replaced the file meanwhile would
// otherwise take these rows' codes with the old file.
void DateConversion::convertColumn(const QString &table, const QString &column) {
    const dao::StoreWriteLock writeLock(m_localDatabase, &m_progress);
    FigureQuery q(m_localDatabase);
    const QString savepoint = QStringLiteral("datumkonvertering");
    q.execute(QStringLiteral("SAVEPOINT ") + savepoint);
    try {
        convertRows(q, table, column, m_progress);
    } catch (...) {
        try {
            q.execute(QStringLiteral("RELEASE ") + savepoint);
        } catch (...) {
            // The first error is the one the operator needs to see.
        }
        throw;
    }
    q.execute(QStringLiteral("RELEASE ") + savepoint);
}

} // namespace figures
