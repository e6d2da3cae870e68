#include "Startmeny/StartmenyOperations.h"

#include "MDlib/MDlib.h"

StartmenyOperations::StartmenyOperations() = default;
StartmenyOperations::~StartmenyOperations() = default;

QString StartmenyOperations::localDatabasePath() {
    return gAppPath + QStringLiteral("/local.mdb");
}

void StartmenyOperations::showProgress(const QString &) {}
