#pragma once

#include <QtGlobal>

// The date library: ISO 8601 weeks (Monday starts the week, week 1 holds 4 January) and day
// numbers 1 = Monday … 7 = Sunday. An impossible date raises lodvik::Error.

// The week number of the date, 1 to 53; early January may belong to the last week of the year
// before, and late December to week 1 of the next.
qint16 WeekNr(qint16 year, qint16 month, qint16 day);

// The day of the week of the date, 1 (Monday) to 7 (Sunday).
qint16 DayOfWeek(qint16 year, qint16 month, qint16 day);
