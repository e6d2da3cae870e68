#include "Startmeny/Startmeny.h"

#include "MDlib/DateEntry.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>

// What the window remembers for the next run, per user (QSettings under ~/.config), never in
// the shared program folder. A program without a name (tests, tools) keeps nothing.

namespace {

bool remembering() {
    return !QCoreApplication::organizationName().isEmpty();
}

const QString group = QStringLiteral("Sokningsbild");
const QString periodKey = QStringLiteral("period");
const QString sokproduktKey = QStringLiteral("sokprodukt");
const QString positionKey = QStringLiteral("position");
const QString xlsxKey = QStringLiteral("xlsx");

} // namespace

bool Startmeny::restoreSettings() {
    if (!remembering())
        return false;
    QSettings settings;
    settings.beginGroup(group);
    if (settings.value(sokproduktKey).toBool())
        Sokprodukt->setChecked(true);
    m_alwaysXlsx->setChecked(settings.value(xlsxKey).toBool());
    // The period as the date entry would have taken it.
    const QString period = settings.value(periodKey).toString();
    if (!period.isEmpty() && IsDate(period)) {
        datumtxt->setText(period);
        perioddatum = datumtxt->text();
    }
    if (!settings.contains(positionKey))
        return false;
    // Only where the title bar can be reached: a screen may have gone since.
    const QPoint position = settings.value(positionKey).toPoint();
    const QPoint titleBar = position + QPoint(frameGeometry().width() / 2, 10);
    if (!QGuiApplication::screenAt(titleBar))
        return false;
    move(position);
    return true;
}

void Startmeny::rememberSettings() {
    if (!remembering())
        return;
    QSettings settings;
    settings.beginGroup(group);
    settings.setValue(periodKey, perioddatum);
    settings.setValue(sokproduktKey, Sokprodukt->isChecked());
    settings.setValue(xlsxKey, m_alwaysXlsx->isChecked());
    settings.setValue(positionKey, pos());
}
