// The Access import of a damaged file, through the child process that reads it under time and
// memory limits, into a fresh program folder.
//
// Input: the bytes of the Access file. Seeds: the Access files beside the project
// (../shared/testdata/access), which are read from there, never copied in.
// With LODVIK_FUZZ_MUST_IMPORT set, a failed import is a finding: for running it on inputs that
// must import.

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "import/AccessImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_import: %s\n", what);
        std::abort();
    }
}

// The tables a finished import says it brought must be in the store, with their rows.
bool storeHolds(const QString &path, const accessimport::ImportResult &result) {
    sqlite3 *db = nullptr;
    bool ok =
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    for (const accessimport::ImportedTable &table : result.tables) {
        if (!ok)
            break;
        const QByteArray sql =
            "SELECT count(*) FROM \"" + table.name.toUtf8().replace('"', "\"\"") + '"';
        sqlite3_stmt *statement = nullptr;
        ok = sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
             sqlite3_step(statement) == SQLITE_ROW &&
             sqlite3_column_int64(statement, 0) == table.rows;
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    // The import starts its child with QProcess, which wants an application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QTemporaryDir folder;
    check(folder.isValid(), "no temporary folder");
    const QString mdb = folder.filePath(QStringLiteral("in.mdb"));
    const QString local = folder.filePath(QStringLiteral("local.mdb"));
    {
        QFile file(mdb);
        check(file.open(QIODevice::WriteOnly) &&
                  file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size),
              "the input could not be written");
    }

    // Tighter than the program's own limits, so that a looping child costs seconds, not minutes.
    accessimport::ImportLimits limits = accessimport::defaultLimits(qint64(size));
    limits.cpu = std::chrono::seconds(5);
    limits.wall = std::chrono::seconds(8);
    lodvik::NoProgress progress;
    try {
        const accessimport::ImportResult result =
            accessimport::importAccessDatabase(mdb, local, progress, limits);
        check(storeHolds(local, result), "an imported table is not in the store as reported");
    } catch (const lodvik::Error &e) {
        check(!e.message().trimmed().isEmpty(), "a failed import gave no message");
        // The healthy seeds must import: otherwise every run tests only the failure path, as
        // when the reader could not start under the fuzzer's sanitizers.
        if (qEnvironmentVariableIsSet("LODVIK_FUZZ_MUST_IMPORT")) {
            std::fprintf(stderr, "fuzz_import: %s\n", qPrintable(e.message()));
            std::abort();
        }
        check(!QFileInfo::exists(local), "a failed import left a store behind");
    }
    // Neither outcome leaves a work copy of the store.
    const QStringList left =
        QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : left)
        check(name == QLatin1String("in.mdb") || name == QLatin1String("local.mdb"),
              "the import left a work file behind");
    return 0;
}
