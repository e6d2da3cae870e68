#pragma once

#include "MDlib/Variant.h"

#include <QString>

namespace lodvik {
class Progress;
}

namespace figures {

// The week-day code of a date text: two digits of the year as written, the ISO week with a
// leading zero, the day of the week (1 = Monday). Blanks around the date and a time of day after
// it ("2024-03-15 10:30:00") are dropped and a two-digit year ("10-11-18") is widened to this
// century, in the caller's text as well. Raises lodvik::Error for a text that is no date.
lodvik::Variant konvertdatum(QString &dat);

// Rewrites the date columns of fpprognos (MFDRQJ) and fporder (SDpddj) into week-day codes.
// Values without "-" are codes already and stay, so a second run changes nothing. A date that
// cannot be read stops the run with a message naming the table, the row (its first column, or
// its rowid when that is empty) and the text; the rows before it keep their codes, it and the
// rows after it their texts. A cancelled run stops after the row it is on, the same way.
class DateConversion {
public:
    DateConversion(const QString &localDatabase, lodvik::Progress &progress);

    // Each returns how many dates it turned into codes.
    qint64 konvereraprognosdatum();
    qint64 konverteraorderdatum();

private:
    qint64 convertColumn(const QString &table, const QString &column);

    QString m_localDatabase;
    lodvik::Progress &m_progress;
};

} // namespace figures
