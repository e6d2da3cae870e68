#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "data/DataControl.h"
#include "data/SearchQueries.h"
#include "data/SearchSource.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDate>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

struct Command {
    const char *name;
    bool needsGui; // fonts and painting need a graphical application, even off screen
    std::function<int(const QStringList &)> run;
    const char *usage;
};

const Command commands[] = {
    {"search", false, cli::search, "search --produkt TEXT | --namn TEXT"},
    {"demo", false, cli::demo, "demo"},
    {"figure", false, cli::figure,
     "figure OPERATION [PRODUCT] [--period YYYY-MM-DD] [--umfaktor N]"},
    {"convert-dates", false, cli::convertDates, "convert-dates prognos|order"},
    {"coverage", false, cli::coverage,
     "coverage --period YYYY-MM-DD [--format csv|json [--target WEEKS]]"},
    {"summary", false, cli::summary, "summary --period YYYY-MM-DD"},
    {"print", true, cli::print, "print --produkt TEXT | --namn TEXT --pdf FILE [--period D]"},
    {"import-mdb", false, cli::importMdb, "import-mdb FILE"},
};

void printUsage() {
    std::fputs("Användning:\n  lodvikprodsok            öppnar sökfönstret\n", stderr);
    for (const Command &c : commands)
        std::fprintf(stderr, "  lodvikprodsok %s\n", c.usage);
}

} // namespace

namespace cli {

QString localDatabasePath() {
    return gAppPath + QStringLiteral("/local.mdb");
}

QString takeOption(QStringList &args, const QString &name) {
    const int i = int(args.indexOf(name));
    if (i < 0)
        return {};
    if (i + 1 >= args.size())
        throw lodvik::UsageError(QStringLiteral("%1 saknar värde.").arg(name));
    const QString value = args.at(i + 1);
    args.remove(i, 2);
    return value;
}

void requireNoMore(const QStringList &args) {
    if (!args.isEmpty())
        throw lodvik::UsageError(
            QStringLiteral("Okänt argument: %1").arg(args.join(QLatin1Char(' '))));
}

SearchOption takeSearchOption(QStringList &args) {
    const bool byProduct = args.contains(QStringLiteral("--produkt"));
    const bool byName = args.contains(QStringLiteral("--namn"));
    if (byProduct == byName)
        throw lodvik::UsageError(QStringLiteral("Ange antingen --produkt TEXT eller --namn TEXT."));
    return {byProduct,
            takeOption(args, byProduct ? QStringLiteral("--produkt") : QStringLiteral("--namn"))};
}

QString takePeriodOption(QStringList &args, bool required) {
    const QString period = takeOption(args, QStringLiteral("--period"));
    if (period.isEmpty()) {
        if (required)
            throw lodvik::UsageError(QStringLiteral("--period saknas."));
        return period;
    }
    if (period.size() != 10 || !QDate::fromString(period, Qt::ISODate).isValid())
        throw lodvik::UsageError(
            QStringLiteral("Ogiltigt perioddatum %1: skriv ÅÅÅÅ-MM-DD.").arg(period));
    return period;
}

SearchResult::SearchResult() = default;
SearchResult::SearchResult(SearchResult &&) noexcept = default;
SearchResult::~SearchResult() = default;

SearchResult runSearch(const SearchOption &search) {
    SearchResult result;
    result.source = openSearchSource(gAppPath);
    result.rows = std::make_unique<DataControl>();
    result.rows->setSource(result.source.get());
    result.rows->setRecordSource(produktSokQuery(search.byProduct, search.text));
    result.rows->refresh();
    return result;
}

} // namespace cli

int runCommandLine(int argc, char **argv) {
    const QString name = QString::fromLocal8Bit(argv[1]);
    const Command *command = nullptr;
    for (const Command &c : commands)
        if (name == QLatin1String(c.name))
            command = &c;
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printUsage();
        return 0;
    }
    if (!command) {
        std::fprintf(stderr, "Okänt kommando: %s\n", argv[1]);
        printUsage();
        return 2;
    }

    std::unique_ptr<QCoreApplication> app;
    if (command->needsGui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
            qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    gAppPath = GetAppPath();
    gRefDate = QDate::currentDate().toString(Qt::ISODate);

    QStringList args = QCoreApplication::arguments().mid(2);
    try {
        return command->run(args);
    } catch (const lodvik::UsageError &e) {
        std::fprintf(stderr, "%s\nAnvändning: lodvikprodsok %s\n",
                     e.message().toLocal8Bit().constData(), command->usage);
        return 2;
    } catch (const lodvik::Error &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Oväntat fel: %s\n", e.what());
        return 1;
    }
}
