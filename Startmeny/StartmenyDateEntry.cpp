#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"

using lodvik::Variant;

void Startmeny::CompleteDateEntry() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void Startmeny::AcceptPeriodDate() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
