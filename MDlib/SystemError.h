#pragma once

#include <QString>

class QFileDevice;

namespace lodvik {

// The words of a library or the system (SQLite's "database is locked", strerror's "No space left
// on device") as a postscript to the operator's Swedish message: "\nDetaljer: <words>", or
// nothing when there are none. The operator reads Swedish; whoever helps him reads the rest.
QString details(const QString &engineWords);

// What a failed system call's errno means, in Swedish ("disken är full").
QString systemReason(int error);

// Why a file could not be opened or written: the Swedish reason (from errno as the failing call
// left it, or else from the file's error category) and the file's own words after "Detaljer:".
QString fileFailure(const QFileDevice &file, int error);

} // namespace lodvik
