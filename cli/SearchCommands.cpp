#include "cli/Commands.h"

#include "MDlib/Error.h"

namespace cli {

int search(const QStringList &) {
    throw lodvik::Error(
        QStringLiteral("Kommandot är inte färdigt.")); // TODO: replaced by its owner
}

int demo(const QStringList &) {
    throw lodvik::Error(
        QStringLiteral("Kommandot är inte färdigt.")); // TODO: replaced by its owner
}

} // namespace cli
