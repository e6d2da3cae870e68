#include "XAPI2000/XAPI2000.h"

#include "MDlib/Error.h"

#include <QDate>

namespace {

QDate validDate(qint16 year, qint16 month, qint16 day) {
    const QDate date(year, month, day);
    if (!date.isValid())
        throw lodvik::Error(QStringLiteral("Ogiltigt datum: år %1, månad %2, dag %3.")
                                .arg(year)
                                .arg(month)
                                .arg(day));
    return date;
}

} // namespace

qint16 WeekNr(qint16 year, qint16 month, qint16 day) {
    return qint16(validDate(year, month, day).weekNumber()); // QDate counts ISO 8601 weeks
}

qint16 DayOfWeek(qint16 year, qint16 month, qint16 day) {
    return qint16(validDate(year, month, day).dayOfWeek()); // Qt: 1 = Monday … 7 = Sunday
}
