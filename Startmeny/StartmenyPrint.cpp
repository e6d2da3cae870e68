#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"

using lodvik::Variant;

void Startmeny::Utskrift_Click() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
