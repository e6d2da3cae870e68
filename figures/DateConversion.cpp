#include "Startmeny/StartmenyOperations.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "XAPI2000/XAPI2000.h"
#include "figures/FigureQuery.h"

using lodvik::Error;
using lodvik::Variant;

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

void convertRows(StartmenyOperations &ops, figures::FigureQuery &q, const QString &table,
                 const QString &column) {
    dao::Recordset rs = q.open(QStringLiteral("SELECT * ") + QStringLiteral(" FROM ") + table +
                               QStringLiteral(" "));
    for (; !rs.isEOF(); rs.MoveNext()) {
        const Variant value = rs.Fields(column);
        // A value without "-" is a code already (or empty): converting twice changes nothing.
        if (value.isNull() || !value.toText().contains(QLatin1Char('-')))
            continue;
        QString dat = value.toText();
        rs.Edit();
        rs.SetField(column, ops.konvertdatum(dat));
        rs.Update();
    }
}

// Rewrites every date text of one column into its week-day code. A row that fails stops the
// run and keeps its date; the rows before it keep their codes. The rows are written in one
// savepoint, released also on failure, so that the disk is not synced once per row.
void convertColumn(StartmenyOperations &ops, const QString &table, const QString &column) {
    figures::FigureQuery q;
    const QString savepoint = QStringLiteral("datumkonvertering");
    q.execute(QStringLiteral("SAVEPOINT ") + savepoint);
    try {
        convertRows(ops, q, table, column);
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

} // namespace

Variant StartmenyOperations::konvertdatum(QString &dat) {
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

void StartmenyOperations::konvereraprognosdatum() {
    BusyCursorScope busy;
    convertColumn(*this, QStringLiteral("fpprognos"), QStringLiteral("MFDRQJ"));
}

void StartmenyOperations::konverteraorderdatum() {
    convertColumn(*this, QStringLiteral("fporder"), QStringLiteral("SDpddj"));
}
