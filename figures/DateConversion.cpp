#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"

using lodvik::Variant;

Variant StartmenyOperations::konvertdatum(QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void StartmenyOperations::konvereraprognosdatum() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void StartmenyOperations::konverteraorderdatum() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
