#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "import/AccessImport.h"

#include <cstdio>

namespace cli {

// Prints each imported table with its row count, a tab between.
int importMdb(const QStringList &arguments) {
    QStringList args = arguments;
    if (args.isEmpty())
        throw lodvik::UsageError(QStringLiteral("Ange Access-filen som ska importeras."));
    const QString file = args.takeFirst();
    requireNoMore(args);

    const auto tables = accessimport::importAccessDatabase(
        file, gAppPath + QStringLiteral("/local.mdb"), [](const QString &caption) {
            std::fprintf(stderr, "%s\n", caption.toLocal8Bit().constData());
            std::fflush(stderr);
        });
    for (const accessimport::ImportedTable &table : tables)
        std::printf("%s\t%lld\n", table.name.toUtf8().constData(), table.rows);
    return 0;
}

} // namespace cli
