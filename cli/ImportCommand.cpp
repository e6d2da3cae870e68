#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "cli/StderrProgress.h"
#include "import/AccessImport.h"
#include "store/ExtractLoad.h"
#include "store/ExtractStore.h"
#include "store/LocalDatabase.h"

#include <QFileInfo>

#include <cstdio>

namespace cli {

namespace {

QString takeFile(QStringList &args, const QString &missing, const QString &kind) {
    if (args.isEmpty())
        throw lodvik::UsageError(missing);
    const QString file = args.takeFirst();
    // Opening a folder as a file would only say that no such file exists.
    if (QFileInfo(file).isDir())
        throw lodvik::Error(QStringLiteral("%1 är en mapp. Ange %2.").arg(file, kind));
    return file;
}

// A load of the server store waits for another one unless told not to, and says so.
extractload::LoadOptions loadOptions(QStringList &args) {
    extractload::LoadOptions options;
    if (takeFlag(args, QStringLiteral("--no-wait")))
        options.whenBusy = extractload::WhenBusy::Refuse;
    options.waiting = [] {
        std::fputs("Väntar: extrakttabellerna på servern läses redan in från en annan "
                   "arbetsstation.\n",
                   stderr);
    };
    return options;
}

// Prints each table with its row count, a tab between; warnings go to stderr.
int printTables(const QList<accessimport::ImportedTable> &tables, const QStringList &warnings) {
    for (const QString &warning : warnings)
        std::fprintf(stderr, "Varning: %s\n", warning.toLocal8Bit().constData());
    for (const accessimport::ImportedTable &table : tables)
        writeOut(table.name.toUtf8() + '\t' + QByteArray::number(table.rows) + '\n');
    return 0;
}

} // namespace

int importMdb(const QStringList &arguments) {
    QStringList args = arguments;
    const extractload::LoadOptions options = loadOptions(args);
    const QString file = takeFile(args, QStringLiteral("Ange Access-filen som ska importeras."),
                                  QStringLiteral("Access-filen (.mdb) som ska importeras"));
    requireNoMore(args);

    const std::optional<SearchSourceSettings> server = readExtractStoreSettings(gAppPath);
    StderrProgress progress;
    const accessimport::ImportResult result =
        server ? accessimport::importAccessDatabaseToServer(file, *server, progress, options)
               : accessimport::importAccessDatabase(file, gAppPath + QStringLiteral("/local.mdb"),
                                                    progress);
    progress.finish();
    return printTables(result.tables, result.warnings);
}

int importStore(const QStringList &arguments) {
    QStringList args = arguments;
    const extractload::LoadOptions options = loadOptions(args);
    const QString file =
        takeFile(args, QStringLiteral("Ange extraktdatabasen (local.mdb) som ska kopieras."),
                 QStringLiteral("extraktdatabasen (local.mdb) som ska kopieras"));
    requireNoMore(args);

    const std::optional<SearchSourceSettings> server = readExtractStoreSettings(programFolder());
    if (!server)
        throw lodvik::Error(QStringLiteral("%1 i programmappen har ingen sektion [extrakt], så "
                                           "det finns ingen server att kopiera till.")
                                .arg(QLatin1String(searchSourceSettingsFile)));
    if (const QFileInfo info(file); info.exists() && !info.isFile())
        throw lodvik::Error(
            QStringLiteral("%1 är ingen vanlig fil och kan inte vara en local.mdb.").arg(file));
    if (!QFileInfo(file).isFile())
        throw lodvik::Error(QStringLiteral("Filen %1 finns inte.").arg(file));
    if (dao::fileKind(file) == dao::FileKind::Access)
        throw lodvik::Error(
            QStringLiteral("%1 är en Access-databas; den läses in med import-mdb.").arg(file));

    StderrProgress progress;
    const extractload::LoadResult result =
        extractload::loadServerStore(file, *server, progress, options);
    progress.finish();
    QList<accessimport::ImportedTable> tables;
    for (const extractload::LoadedTable &table : result.tables)
        tables.append({table.name, table.rows});
    return printTables(tables, result.warnings);
}

} // namespace cli
