#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"

using lodvik::Variant;

Variant StartmenyOperations::avail(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::StockOnHandFRN(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::ProdOrderFRN(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::SalesPerWeekFRN(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::ProdBackOrderFRN(const Variant &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::backordersFRN() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::GSCFRN() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::orderscurrmonthFRN() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::outsideFRN() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::salescurrmonthFRN() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::salespriormonthFRN() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
