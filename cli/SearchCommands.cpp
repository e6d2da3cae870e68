#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "data/DataControl.h"
#include "data/DemoData.h"
#include "data/SearchQueries.h"
#include "data/SearchSource.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace cli {

namespace {

void say(const QString &line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

} // namespace

int search(const QStringList &arguments) {
    QStringList args = arguments;
    const bool byProduct = args.contains(QStringLiteral("--produkt"));
    const bool byName = args.contains(QStringLiteral("--namn"));
    if (byProduct == byName)
        throw lodvik::UsageError(QStringLiteral("Ange antingen --produkt TEXT eller --namn TEXT."));
    const QString text =
        takeOption(args, byProduct ? QStringLiteral("--produkt") : QStringLiteral("--namn"));
    requireNoMore(args);

    // The window's own search: the same query text on the same data control.
    std::unique_ptr<SearchSource> source = openSearchSource(gAppPath);
    DataControl control;
    control.setSource(source.get());
    control.setRecordSource(produktSokQuery(byProduct, text));
    control.refresh();
    const int rows = control.rowCount();
    for (int row = 0; row < rows; ++row) {
        const QString line =
            NullToValue(control.field(row, QStringLiteral("Soknamn")), QStringLiteral("S"))
                .toText() +
            QLatin1Char('\t') +
            NullToValue(control.field(row, QStringLiteral("Produktnummer")), QStringLiteral("S"))
                .toText() +
            QLatin1Char('\n');
        std::fputs(line.toUtf8().constData(), stdout);
    }
    std::fflush(stdout);
    say(QStringLiteral("%1 rader.").arg(rows));
    return 0;
}

int demo(const QStringList &arguments) {
    requireNoMore(arguments);
    const QDir home(gAppPath);
    if (!home.exists()) {
        if (!QDir().mkpath(gAppPath))
            throw lodvik::Error(QStringLiteral("Programmappen %1 kan inte skapas.").arg(gAppPath));
        say(QStringLiteral("Skapade programmappen %1").arg(gAppPath));
    }

    // Existing files are the operator's data: never touched.
    const QString sokdata = home.filePath(QLatin1String(defaultSearchSourceFile));
    if (QFileInfo::exists(sokdata)) {
        say(QStringLiteral("%1 finns redan; lämnas orörd.").arg(sokdata));
    } else {
        fillDemoSearchData(sokdata);
        say(QStringLiteral("Skapade %1 med demoprodukter.").arg(sokdata));
    }

    const QString reports = home.filePath(QStringLiteral("rapporter"));
    if (!QFileInfo(reports).isDir()) {
        if (!home.mkpath(QStringLiteral("rapporter")))
            throw lodvik::Error(QStringLiteral("Mappen %1 kan inte skapas.").arg(reports));
        say(QStringLiteral("Skapade mappen %1").arg(reports));
    }

    const QString local = StartmenyOperations::localDatabasePath();
    if (QFileInfo::exists(local)) {
        say(QStringLiteral("%1 finns redan; lämnas orörd.").arg(local));
    } else {
        createDemoLocalStore(local);
        say(QStringLiteral("Skapade %1 med demodata.").arg(local));
    }
    return 0;
}

} // namespace cli
