#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "demo/DemoData.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"
#include "search/SqliteSearchSource.h"
#include "store/LocalDatabase.h"
#include "store/StoreWriteLock.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace cli {

namespace {

// A value as one field of a line: a tab or line break inside it (a slip in the product table)
// would split the row, so each control character is printed as a blank.
QString field(const lodvik::Variant &value) {
    QString text = NullToValue(value, QStringLiteral("S")).toText();
    for (QChar &c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

int search(const QStringList &arguments) {
    QStringList args = arguments;
    const SearchOption option = takeSearchOption(args);
    requireNoMore(args);

    // Rows are printed as they are read; a result of any size takes no more memory.
    const SearchResult result = runSearch(option);
    const int rows =
        result.rows->forEachRow({QStringLiteral("Soknamn"), QStringLiteral("Produktnummer")},
                                [](const QList<lodvik::Variant> &values) {
                                    const QString line = field(values.at(0)) + QLatin1Char('\t') +
                                                         field(values.at(1)) + QLatin1Char('\n');
                                    writeOut(line.toUtf8());
                                });
    flushOut();
    StderrProgress::note(rows == 1 ? QStringLiteral("1 rad.")
                                   : QStringLiteral("%1 rader.").arg(rows));
    return 0;
}

// The products of the extract store as (search name, product number), so that the demo search
// finds the products the figures and reports know. None when the store cannot be read.
static QList<std::pair<QString, QString>> extractProducts(const QString &localPath) {
    QList<std::pair<QString, QString>> products;
    try {
        dao::Database db = dao::Database::OpenDatabase(localPath);
        for (dao::Recordset rs =
                 db.OpenRecordset(QStringLiteral("SELECT imdsc1, iblitm FROM pjomr"));
             !rs.isEOF(); rs.MoveNext())
            products.append({rs.Fields(0).toText(), rs.Fields(1).toText()});
    } catch (const lodvik::Error &) {
    }
    return products;
}

namespace {

// Why mkpath failed, when the cause is plain to see: a file, a FIFO or a broken link in the
// folder's place.
QString folderNotMade(const QString &path) {
    const QFileInfo there(path);
    return there.exists() || there.isSymLink()
               ? QStringLiteral(": det finns redan något med det namnet som inte är en mapp.")
               : QStringLiteral(".");
}

} // namespace

int demo(const QStringList &arguments) {
    requireNoMore(arguments);
    const QDir home(gAppPath);
    if (!home.exists()) {
        if (!QDir().mkpath(gAppPath))
            throw lodvik::Error(QStringLiteral("Programmappen %1 kan inte skapas%2")
                                    .arg(gAppPath, folderNotMade(gAppPath)));
        StderrProgress::note(QStringLiteral("Skapade programmappen %1").arg(gAppPath));
    }

    // Existing files are the operator's data: never touched.
    const QString reports = home.filePath(QStringLiteral("rapporter"));
    if (!QFileInfo(reports).isDir()) {
        if (!home.mkpath(QStringLiteral("rapporter")))
            throw lodvik::Error(
                QStringLiteral("Mappen %1 kan inte skapas%2").arg(reports, folderNotMade(reports)));
        StderrProgress::note(QStringLiteral("Skapade mappen %1").arg(reports));
    }

    const QString local = gAppPath + QStringLiteral("/local.mdb");
    // Something in a store's place that no store can be is the operator's to move, and no demo.
    if (const QString problem = dao::StoreWriteLock::pathProblem(local); !problem.isEmpty())
        throw lodvik::Error(problem);
    if (QFileInfo::exists(local)) {
        StderrProgress::note(QStringLiteral("%1 finns redan; lämnas orörd.").arg(local));
    } else {
        createDemoLocalStore(local);
        StderrProgress::note(QStringLiteral("Skapade %1 med demodata.").arg(local));
    }

    const QString sokdata = home.filePath(QLatin1String(defaultSearchSourceFile));
    if (const QString problem = SqliteSearchSource::pathProblem(sokdata); !problem.isEmpty())
        throw lodvik::Error(problem);
    if (QFileInfo::exists(sokdata)) {
        StderrProgress::note(QStringLiteral("%1 finns redan; lämnas orörd.").arg(sokdata));
    } else {
        fillDemoSearchData(sokdata, extractProducts(local));
        StderrProgress::note(QStringLiteral("Skapade %1 med demoprodukter.").arg(sokdata));
    }
    return 0;
}

} // namespace cli
