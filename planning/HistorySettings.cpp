#include "planning/HistorySettings.h"

#include "MDlib/Error.h"
#include "search/SearchSource.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

using lodvik::Error;

namespace planning {

namespace {

const QString weekdays[] = {QStringLiteral("måndag"), QStringLiteral("tisdag"),
                            QStringLiteral("onsdag"), QStringLiteral("torsdag"),
                            QStringLiteral("fredag"), QStringLiteral("lördag"),
                            QStringLiteral("söndag")};

Error badValue(const QString &text, const char *key, const QString &file, const QString &what) {
    return Error(QStringLiteral("Ogiltigt värde \"%1\" för %2 under [historik] i %3: det ska vara "
                                "%4.")
                     .arg(text, QLatin1String(key), file, what));
}

// A whole number from..to, or raises naming the key and what it may be.
int whole(const QString &text, const QString &file, const char *key, int from, int to) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < from || n > to)
        throw badValue(text, key, file,
                       QStringLiteral("ett heltal från %1 till %2").arg(from).arg(to));
    return n;
}

} // namespace

HistorySettings readHistorySettings(const QString &appPath) {
    HistorySettings settings;
    const QString file = QDir(appPath).filePath(QLatin1String(searchSourceSettingsFile));
    // The search source reads the file first and says what is wrong with it as a file.
    if (!QFileInfo(file).isFile())
        return settings;
    QSettings ini(file, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("historik"));
    // QSettings reads "a,b" as a list; none of these values has a comma.
    const auto value = [&](const char *key) {
        return ini.value(QLatin1String(key)).toStringList().join(QLatin1Char(','));
    };
    if (const QString periods = value("perioder"); !periods.isEmpty())
        settings.retainedPeriods = whole(periods, file, "perioder", 1, 10000);
    if (const QString share = value("forsaljningsandring"); !share.isEmpty())
        settings.salesChangeShare = whole(share, file, "forsaljningsandring", 1, 1000) / 100.0;
    if (const QString day = value("veckodag").trimmed().toLower(); !day.isEmpty()) {
        bool number = false;
        const int n = day.toInt(&number);
        const auto named = std::find(std::begin(weekdays), std::end(weekdays), day);
        if (named != std::end(weekdays))
            settings.scheduledWeekday = int(named - std::begin(weekdays)) + 1;
        else if (number && n >= 1 && n <= 7)
            settings.scheduledWeekday = n;
        else
            throw badValue(day, "veckodag", file,
                           QStringLiteral("en veckodag, måndag till söndag, eller dess nummer 1 "
                                          "till 7"));
    }
    return settings;
}

QDate scheduledPeriod(const QDate &today, int weekday) {
    return today.addDays(-((today.dayOfWeek() - weekday + 7) % 7));
}

QString scheduledRunNotice(const std::optional<ScheduledRunState> &last, const QDateTime &now) {
    if (!last)
        return {};
    const QString when = last->startedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QString text;
    if (!last->ok)
        text = QStringLiteral("Den schemalagda täckningskörningen %1 misslyckades: %2")
                   .arg(when, last->message);
    else if (last->startedAt.daysTo(now) > 7)
        text = QStringLiteral("Den schemalagda täckningskörningen har inte gjorts sedan %1, mer "
                              "än en vecka sedan. Se efter att timern är påslagen (systemctl "
                              "--user enable --now lodvikprodsok-veckokorning.timer) och vad "
                              "journalen säger (journalctl --user -u "
                              "lodvikprodsok-veckokorning.service).")
                   .arg(when);
    else
        return {};
    if (!last->files.trimmed().isEmpty())
        text += QStringLiteral("\n\nDess filer:\n") + last->files.trimmed();
    return text;
}

} // namespace planning
