#pragma once

#include "planning/HistoryChanges.h"
#include "planning/RunHistory.h"

#include <QDate>
#include <QDateTime>
#include <QString>

// The settings of the kept runs and the scheduled run, in [historik] of lodvikprodsok.ini:
//   perioder=104              how many periods are kept
//   forsaljningsandring=25    by how many per cent PJ weekly sales must move to be a change
//   veckodag=måndag           whose date the scheduled run takes as its period
namespace planning {

struct HistorySettings {
    int retainedPeriods = DefaultRetainedPeriods;
    double salesChangeShare = DefaultSalesChangeShare;
    int scheduledWeekday = 1; // 1 = Monday … 7 = Sunday
};

// The settings of the program folder, the defaults for what it leaves out. Raises lodvik::Error
// for a value that is not one.
HistorySettings readHistorySettings(const QString &appPath);

// The period of a scheduled run on today: the date of the latest weekday on or before it.
QDate scheduledPeriod(const QDate &today, int weekday);

// What the window tells at its start of the last scheduled run: that it failed and why, or that
// none has run for more than a week since it; empty when all is well or none ever ran. The
// files it wrote are named either way.
QString scheduledRunNotice(const std::optional<ScheduledRunState> &last, const QDateTime &now);

} // namespace planning
