#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/StderrProgress.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "data/DataControl.h"
#include "data/SearchQueries.h"
#include "data/SearchSource.h"
#include "figures/StockFigures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDate>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

using cli::help::Argument;
using cli::help::NameList;
using cli::help::Option;

struct Command {
    bool needsGui; // fonts and painting need a graphical application, even off screen
    std::function<int(const QStringList &)> run;
    cli::help::Command help;
};

QStringList figureNames(bool (*pick)(const figures::NamedFigure &)) {
    QStringList names;
    for (const figures::NamedFigure &figure : figures::namedFigures())
        if (pick(figure))
            names.append(QLatin1String(figure.name));
    return names;
}

const Option searchOptions[] = {
    {"--produkt", "TEXT", "söker på produktnummer"},
    {"--namn", "TEXT", "söker på söknamn"},
};

const Command commands[] = {
    {false,
     cli::search,
     {"search",
      "search (--produkt TEXT | --namn TEXT)",
      "söker i produkttabellen som sökfönstret gör",
      "Listar produkterna vars produktnummer eller söknamn börjar med TEXT, som Sök i "
      "sökfönstret: stora och små bokstäver lika, i svensk ordning. En rad per produkt: "
      "söknamn, tabb, produktnummer. Antalet rader skrivs på standard fel.",
      {},
      {searchOptions[0], searchOptions[1]},
      {},
      {}}},
    {false,
     cli::demo,
     {"demo",
      "demo",
      "skapar det som saknas av en programmapp, med demodata",
      "Skapar det som saknas av programmappen: mappen, rapporter/, local.mdb med demoextrakt "
      "och sokdata.db med demoprodukter. Filer som redan finns lämnas orörda.",
      {},
      {},
      {},
      {}}},
    {false,
     cli::figure,
     {"figure",
      "figure OPERATION [PRODUKT] [--period ÅÅÅÅ-MM-DD] [--umfaktor N]",
      "räknar ut en av sökfönstrets siffror eller uppslag efter namn",
      "Räknar ut en av sökfönstrets siffror eller uppslag efter dess namn och skriver "
      "resultatet: Null när värde saknas, ett tal med punkt som decimaltecken och högst 15 "
      "värdesiffror, eller en text.",
      {{"OPERATION", "operationens namn; se listorna nedan"},
       {"PRODUKT", "produktnumret, för operationerna per produkt", 2}},
      {{"--period", "ÅÅÅÅ-MM-DD", "perioden som månadssiffrorna gäller (annars tom)"},
       {"--umfaktor", "N",
        "antal per förpackning × 1000; krävs av operationerna i förpackningar, och 0 ger "
        "division med noll"}},
      {{"Per produkt",
        [] {
            return figureNames(
                [](const figures::NamedFigure &f) { return f.takesProduct && !f.inPacks; });
        }},
       {"Per produkt i förpackningar (kräver --umfaktor N)",
        [] { return figureNames([](const figures::NamedFigure &f) { return f.inPacks; }); }},
       {"Summor över hela tabellen (utan PRODUKT)",
        [] { return figureNames([](const figures::NamedFigure &f) { return !f.takesProduct; }); }}},
      [] { return figureNames([](const figures::NamedFigure &) { return true; }); }}},
    {false,
     cli::convertDates,
     {"convert-dates",
      "convert-dates (prognos | order)",
      "gör om datumen i prognos- eller ordertabellen till veckodagskoder",
      "Skriver om datumen i en tabell till koder av år, vecka och veckodag. Värden som redan "
      "är koder lämnas orörda, så en andra körning ändrar ingenting.",
      {{"prognos", "datumen i fpprognos.MFDRQJ"}, {"order", "datumen i fporder.SDpddj"}},
      {},
      {},
      {}}},
    {false,
     cli::coverage,
     {"coverage",
      "coverage --period ÅÅÅÅ-MM-DD [--format csv|json|proposal-csv|proposal-json [--target "
      "VECKOR] [--supplier LEVERANTÖR]]",
      "gör täckningskörningen och dess arbetsbok",
      "Räknar ut hur många veckor lagret räcker för varje produkt i extraktet och skriver "
      "arbetsboken rapporter/Pallvikprodukter<period>.xls. Skriver filens sökväg på "
      "standard ut, eller med --format täckningsöversiktens rader med beställningsförslaget "
      "efter varje produkts planeringsregel, eller inköpsförslaget per leverantör.",
      {},
      {{"--period", "ÅÅÅÅ-MM-DD", "perioden; den ingår i filnamnet"},
       {"--format", "csv|json|proposal-csv|proposal-json",
        "skriv produkternas rader med status och beställningsförslag (csv, json), eller "
        "inköpsförslaget: en rad per produkt att beställa, per leverantör (proposal-csv med "
        "BOM, semikolon och decimalkomma som ett svenskt kalkylprogram läser, proposal-json), "
        "i stället för sökvägen"},
       {"--target", "VECKOR",
        "målet i veckors täckning för förslaget, 1–104 (annars 4); bara med --format"},
       {"--supplier", "LEVERANTÖR",
        "inköpsförslaget för bara den leverantören; bara med proposal-csv och proposal-json"}},
      {},
      {}}},
    {false,
     cli::summary,
     {"summary",
      "summary --period ÅÅÅÅ-MM-DD",
      "gör lagersammanställningen och dess arbetsbok",
      "Fyller lagersammanställningen med summorna för PJ, FRN och DP och skriver arbetsboken "
      "rapporter/Pallvik<period>.xls. Skriver filens sökväg på standard ut.",
      {},
      {{"--period", "ÅÅÅÅ-MM-DD", "perioden; den ingår i filnamnet"}},
      {},
      {}}},
    {true,
     cli::print,
     {"print",
      "print (--produkt TEXT | --namn TEXT) --pdf FIL [--period ÅÅÅÅ-MM-DD]",
      "skriver ut produktlistan för en sökning till en PDF-fil",
      "Gör sökfönstrets utskrift av produkterna som sökningen hittar, på A4, till PDF-filen "
      "FIL. Skriver filens sökväg på standard ut och antalet rader och sidor på standard fel.",
      {},
      {searchOptions[0],
       searchOptions[1],
       {"--pdf", "FIL", "PDF-filen som skrivs", "pdf"},
       {"--period", "ÅÅÅÅ-MM-DD", "perioden som står på första sidan"}},
      {},
      {}}},
    {false,
     cli::importMdb,
     {"import-mdb",
      "import-mdb FIL",
      "importerar en Access-databas till local.mdb",
      "Kopierar varje tabell i Access-filen FIL (Jet 3 eller Jet 4) till local.mdb; en tabell "
      "med samma namn ersätts. local.mdb ändras bara när allt har kopierats. Skriver en rad "
      "per tabell: namn, tabb, antal rader.",
      {{"FIL", "Access-filen (.mdb)", 1, "mdb"}},
      {},
      {},
      {}}},
    {false,
     cli::rules,
     {"rules",
      "rules (--load FIL | --save FIL)",
      "läser in eller sparar planeringsreglerna som CSV",
      "Planeringsreglerna styr beställningsförslaget per produkt: ledtid och säkerhetslager i "
      "veckor, säkerhetslager i förpackningar, multipel, minsta order, leverantör och "
      "varugrupp. De sparas i programmets egna data (sokdata.db eller servern), aldrig i "
      "local.mdb. Kolumnerna är product;lead_time_weeks;safety_weeks;safety_packs;multiple;"
      "minimum;supplier;group. --load ersätter alla regler, och läser ingenting om någon rad "
      "är felaktig (varje sådan rad och kolumn nämns); ; eller , mellan fälten, decimalkomma "
      "eller -punkt. --save skriver dem med BOM, semikolon och decimalkomma.",
      {},
      {{"--load", "FIL", "ersätt alla regler med filens", "csv"},
       {"--save", "FIL", "skriv alla regler till filen", "csv"}},
      {},
      {}}},
    {false,
     cli::mark,
     {"mark",
      "mark --period ÅÅÅÅ-MM-DD PRODUKT (--ordered ANTAL [--date ÅÅÅÅ-MM-DD] | "
      "--discontinued | --clear)",
      "markerar en produkt i periodens lista som beställd eller utgången",
      "Markerar produkten i täckningsöversikten för perioden: beställd (antal förpackningar "
      "och datum, i dag om --date saknas) eller utgått (inget beställningsförslag förrän "
      "markeringen tas bort med --clear). Markerade produkter kommer inte med i "
      "inköpsförslaget. Markeringarna sparas i programmets egna data och överlever nya "
      "körningar och importer.",
      {{"PRODUKT", "produktnumret"}},
      {{"--period", "ÅÅÅÅ-MM-DD", "perioden som markeringen gäller"},
       {"--ordered", "ANTAL", "beställd, antal förpackningar"},
       {"--date", "ÅÅÅÅ-MM-DD", "beställningens datum (annars i dag)"},
       {"--discontinued", nullptr, "utgått: inget förslag"},
       {"--clear", nullptr, "tar bort markeringen"}},
      {},
      {}}},
};

const cli::help::Topic topics[] = {
    {"Programmappen",
     "Kommandona och fönstret arbetar på programmappen: mappen i miljövariabeln "
     "LODVIKPRODSOK_HOME, annars mappen där programmet ligger. Den innehåller sokdata.db "
     "(produkttabellen), local.mdb (extrakttabellerna), rapporter/ (arbetsböckerna) och ibland "
     "lodvikprodsok.ini (en databasserver som källa för produkttabellen). Paketets startskript "
     "använder ~/.local/share/lodvikprodsok och fyller en ny mapp med filerna i "
     "/etc/lodvikprodsok och demodata för det som saknas."},
    {"Slutstatus",
     "0 när kommandot lyckades, 1 när det misslyckades (orsaken står på standard fel), 2 vid "
     "felaktig användning."},
};

const std::vector<cli::help::Command> &helpTexts() {
    static const std::vector<cli::help::Command> texts = [] {
        std::vector<cli::help::Command> all;
        for (const Command &c : commands)
            all.push_back(c.help);
        return all;
    }();
    return texts;
}

const cli::help::Program &program() {
    static const cli::help::Program p{
        "lodvikprodsok",
        "LodvikProdSok",
        LODVIK_VERSION,
        "produktsökning och lagerrapporter",
        "LodvikProdSok söker, ändrar och skriver ut produkter i produkttabellen och räknar ut "
        "lager-, order- och försäljningssiffror per lagerkälla (DP, FRN, PJ) ur "
        "extrakttabellerna i local.mdb. Utan kommando öppnas sökfönstret. Kommandona gör samma "
        "sak utan fönster, för skript och schemalagda körningar; de skriver resultat på "
        "standard ut och meddelanden på standard fel.",
        helpTexts(),
        topics};
    return p;
}

void print(std::FILE *stream, const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Results that never reached stdout (a full disk, a closed pipe) are a failure, not exit 0.
void requireStdoutWritten() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = flushed ? 0 : errno; // unknown when an earlier write failed
    if (flushed && !std::ferror(stdout))
        return;
    QString message = QStringLiteral("Resultatet kunde inte skrivas till standard ut");
    switch (error) {
    case ENOSPC:
        message += QStringLiteral(": enheten är full.");
        break;
    case EPIPE:
        message += QStringLiteral(": mottagaren har stängt.");
        break;
    case 0:
        message += QLatin1Char('.');
        break;
    default:
        message += QStringLiteral(" (fel %1).").arg(error);
    }
    throw lodvik::Error(message);
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
    // The reports' own check, so that the command line refuses exactly what they refuse.
    try {
        requirePeriodDate(period);
    } catch (const lodvik::Error &e) {
        throw lodvik::UsageError(e.message());
    }
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
    QStringList rawArgs;
    for (int i = 2; i < argc; ++i)
        rawArgs.append(QString::fromLocal8Bit(argv[i]));

    // Help and the generated files need neither the program folder nor an application.
    if (argc == 2) {
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            print(stdout, cli::help::overview(program()));
            return 0;
        }
        if (name == QLatin1String("--version")) {
            std::printf("%s %s\n", program().displayName, program().version);
            return 0;
        }
        // Not shown in the help: the build makes the manual page and the bash completion with
        // them.
        if (name == QLatin1String("--generate-manual-page")) {
            print(stdout, cli::help::manualPage(program()));
            return 0;
        }
        if (name == QLatin1String("--generate-completion-data")) {
            print(stdout, cli::help::completionData(program()));
            return 0;
        }
    }
    const Command *command = nullptr;
    for (const Command &c : commands)
        if (name == QLatin1String(c.help.name))
            command = &c;
    if (!command) {
        std::fprintf(stderr, "%s: %s\n",
                     name.startsWith(QLatin1Char('-')) ? "Okänd flagga" : "Okänt kommando",
                     argv[1]);
        print(stderr, cli::help::usage(program()));
        return 2;
    }
    if (cli::help::asksForHelp(command->help, rawArgs)) {
        print(stdout, cli::help::commandHelp(program(), command->help));
        return 0;
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
    // Anywhere after the command, for every command: cron jobs want only the result and errors.
    cli::StderrProgress::setQuiet(
        args.removeAll(QStringLiteral("--quiet")) + args.removeAll(QStringLiteral("-q")) > 0);
    try {
        const int code = command->run(args);
        requireStdoutWritten();
        return code;
    } catch (const lodvik::UsageError &e) {
        std::fprintf(stderr, "%s\nAnvändning: lodvikprodsok %s\n",
                     e.message().toLocal8Bit().constData(), command->help.synopsis);
        std::fprintf(stderr, "Mer hjälp: lodvikprodsok %s --help\n", command->help.name);
        return 2;
    } catch (const lodvik::Error &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Oväntat fel: %s\n", e.what());
        return 1;
    }
}
