#pragma once

#include <QString>

// The shared Access files of the tests: LODVIK_TESTDATA, else ../shared/testdata beside the
// project. A fresh clone has no such folder; the tests that need it then skip.
inline QString testDataFolder() {
    const QString folder = qEnvironmentVariable("LODVIK_TESTDATA");
    return folder.isEmpty() ? QStringLiteral(LODVIK_SHARED_TESTDATA) : folder;
}

inline QString testDataMissing() {
    return QStringLiteral("the shared test data (%1) is not here; set LODVIK_TESTDATA")
        .arg(testDataFolder());
}
