#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"

using lodvik::Variant;

void Startmeny::startCoverageRun() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void Startmeny::startSummaryWorkbook() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void Startmeny::showSummaryWorkbook() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void Startmeny::startPrognosDateConversion() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

void Startmeny::startOrderDateConversion() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}

bool Startmeny::requirePeriod() {
    throw lodvik::Error(QStringLiteral("Inte färdigt.")); // TODO: replaced by its owner
}
