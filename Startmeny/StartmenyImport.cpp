#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"

using lodvik::Variant;

void Startmeny::importAccessDatabase() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
