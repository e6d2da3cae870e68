#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"

using lodvik::Variant;

Variant StartmenyOperations::getantaliforpack(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::getlagersaldo(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::StockOnHandPJ(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::ProdBackOrderPJ(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::ProdOrderPJ(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::SalesPerWeek(const QString &) {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::backordersPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::outsidePJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::orderscurrmonthPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::salescurrmonthPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::salespriormonthPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::GSLPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::GSCPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

Variant StartmenyOperations::GITPJ() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
