#include "cli/Commands.h"

#include "MDlib/Error.h"

namespace cli {

int figure(const QStringList &) {
    throw lodvik::Error(
        QStringLiteral("Kommandot är inte färdigt.")); // TODO: replaced by its owner
}

int convertDates(const QStringList &) {
    throw lodvik::Error(
        QStringLiteral("Kommandot är inte färdigt.")); // TODO: replaced by its owner
}

} // namespace cli
