#include "data/DemoData.h"

#include "MDlib/Error.h"

void createDemoLocalStore(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
