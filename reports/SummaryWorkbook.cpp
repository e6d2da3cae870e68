#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"

using lodvik::Variant;

void StartmenyOperations::tillexell() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void StartmenyOperations::visaexell() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void StartmenyOperations::fillSummatabell() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
