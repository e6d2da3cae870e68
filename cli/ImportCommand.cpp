#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "cli/StderrProgress.h"
#include "import/AccessImport.h"

#include <QFileInfo>

#include <cstdio>

namespace cli {

// Prints each imported table with its row count, a tab between; warnings go to stderr.
int importMdb(const QStringList &arguments) {
    QStringList args = arguments;
    if (args.isEmpty())
        throw lodvik::UsageError(QStringLiteral("Ange Access-filen som ska importeras."));
    const QString file = args.takeFirst();
    requireNoMore(args);
    // Opening a folder as a file would only say that no such file exists.
    if (QFileInfo(file).isDir())
        throw lodvik::Error(
            QStringLiteral("%1 är en mapp. Ange Access-filen (.mdb) som ska importeras.")
                .arg(file));

    StderrProgress progress;
    const accessimport::ImportResult result =
        accessimport::importAccessDatabase(file, localDatabasePath(), progress);
    progress.finish();
    for (const QString &warning : result.warnings)
        std::fprintf(stderr, "Varning: %s\n", warning.toLocal8Bit().constData());
    for (const accessimport::ImportedTable &table : result.tables)
        std::printf("%s\t%lld\n", table.name.toUtf8().constData(), table.rows);
    return 0;
}

} // namespace cli
