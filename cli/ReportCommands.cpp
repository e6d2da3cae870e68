#include "cli/Commands.h"

#include "MDlib/Error.h"

namespace cli {

int coverage(const QStringList &) {
    throw lodvik::Error(
        QStringLiteral("Kommandot är inte färdigt.")); // TODO: replaced by its owner
}

int summary(const QStringList &) {
    throw lodvik::Error(
        QStringLiteral("Kommandot är inte färdigt.")); // TODO: replaced by its owner
}

} // namespace cli
