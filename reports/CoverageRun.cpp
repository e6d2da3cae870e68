#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"

using lodvik::Variant;

void StartmenyOperations::CoverageRun() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void StartmenyOperations::excellprodukter() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
