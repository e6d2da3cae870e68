#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/SystemError.h"
#include "figures/StockFigures.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A program folder holds at least one of these; one with none is not filled yet.
const char *const programFiles[] = {"local.mdb", "sokdata.db", "lodvikprodsok.ini"};

using cli::help::Argument;
using cli::help::NameList;
using cli::help::Option;

struct Command {
    bool needsGui; // fonts and painting need a graphical application, even off screen
    std::function<int(const QStringList &)> run;
    cli::help::Command help;
    // The command's own usage checks, for a command whose run starts more than it needs to
    // refuse a command line (a graphical application).
    std::function<void(const QStringList &)> check{};
};

QStringList figureNames(bool (*pick)(const figures::NamedFigure &)) {
    QStringList names;
    for (const figures::NamedFigure &figure : figures::namedFigures())
        if (pick(figure))
            names.append(QLatin1String(figure.name));
    return names;
}

// Set by the full program; the command-line program hands those commands to it instead.
GuiCommands guiCommands;

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
      "coverage --period ÅÅÅÅ-MM-DD [--xlsx] [--replace-older] [--format "
      "csv|json|proposal-csv|proposal-json [--target VECKOR] [--supplier LEVERANTÖR]] "
      "[--workbook]",
      "gör täckningskörningen och dess arbetsbok",
      "Räknar ut hur många veckor lagret räcker för varje produkt i extraktet och skriver "
      "arbetsboken rapporter/Pallvikprodukter<period>.xls, eller .xlsx när produkterna är fler "
      "än ett .xls-blad rymmer (65 532). Skriver filens sökväg på standard ut, eller med "
      "--format täckningsöversiktens rader med beställningsförslaget efter varje produkts "
      "planeringsregel, eller inköpsförslaget per leverantör, och då ingen arbetsbok utom med "
      "--workbook. En arbetsbok i det andra formatet för samma period från en tidigare körning "
      "får ligga kvar, och det sägs på standard fel, eller tas bort med --replace-older.",
      {},
      {{"--period", "ÅÅÅÅ-MM-DD", "perioden; den ingår i filnamnet"},
       {"--xlsx", nullptr, "skriv alltid arbetsboken som .xlsx (Pallvikprodukter<period>.xlsx)"},
       {"--replace-older", nullptr,
        "ta bort arbetsboken i det andra formatet (.xls eller .xlsx) för samma period när den "
        "nya är skriven"},
       {"--format", "csv|json|proposal-csv|proposal-json",
        "skriv produkternas rader med status och beställningsförslag (csv, json), eller "
        "inköpsförslaget: en rad per produkt att beställa, per leverantör (proposal-csv med "
        "BOM, semikolon och decimalkomma som ett svenskt kalkylprogram läser, proposal-json), "
        "i stället för sökvägen och arbetsboken"},
       {"--target", "VECKOR",
        "målet i veckors täckning för förslaget, 1–104 (annars 4); bara med --format"},
       {"--supplier", "LEVERANTÖR",
        "inköpsförslaget för bara den leverantören; bara med proposal-csv och proposal-json"},
       {"--workbook", nullptr, "skriv arbetsboken också; bara med --format"}},
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
     [](const QStringList &args) { return guiCommands.print(args); },
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
      {}},
     [](const QStringList &args) { guiCommands.checkPrintArguments(args); }},
    {false,
     cli::importMdb,
     {"import-mdb",
      "import-mdb FIL [--no-wait]",
      "importerar en Access-databas till local.mdb eller servern",
      "Kopierar varje tabell i Access-filen FIL (Jet 3 eller Jet 4) till extraktdatabasen: "
      "local.mdb, eller servern som [extrakt] i lodvikprodsok.ini anger. En tabell med samma "
      "namn ersätts. Databasen ändras bara när allt har kopierats. Läser en annan arbetsstation "
      "redan in till servern väntar kommandot, eller avbryts med --no-wait. Skriver en rad per "
      "tabell: namn, tabb, antal rader.",
      {{"FIL", "Access-filen (.mdb)", 1, "mdb"}},
      {{"--no-wait", nullptr, "vänta inte på en annan inläsning till servern"}},
      {},
      {}}},
    {false,
     cli::importStore,
     {"import-store",
      "import-store FIL [--no-wait]",
      "kopierar en local.mdb till extraktdatabasen på servern",
      "Kopierar tabellerna i extraktdatabasen FIL (en local.mdb från programmet) till servern "
      "som [extrakt] i lodvikprodsok.ini anger, så att arbetsstationerna kan flytta till "
      "servern utan att läsa in Access-filerna igen. Servern får de nya tabellerna på en gång "
      "när allt har kopierats; ett fel eller Ctrl+C lämnar dem som de var. Läser en annan "
      "arbetsstation redan in väntar kommandot, eller avbryts med --no-wait. Skriver en rad per "
      "tabell: namn, tabb, antal rader.",
      {{"FIL", "extraktdatabasen (local.mdb)", 1, "mdb"}},
      {{"--no-wait", nullptr, "vänta inte på en annan inläsning till servern"}},
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
      "local.mdb. Kolumnerna är product, lead_time_weeks, safety_weeks, safety_packs, multiple, "
      "minimum, supplier och group, i den ordningen, och sist follow_trend (ja eller nej) "
      "när en regel följer trenden; ett tomt fält, och de som fattas i slutet av en rad, får "
      "standardregelns värde. --load ersätter alla regler, och läser "
      "ingenting om någon rad "
      "är felaktig (varje sådan rad och kolumn nämns); ; eller , mellan fälten, decimalkomma "
      "eller -punkt; filen är UTF-8 (en rad i en annan teckenkodning är felaktig). --save "
      "skriver dem med BOM, semikolon och decimalkomma.",
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
    {false,
     cli::changes,
     {"changes",
      "changes --period ÅÅÅÅ-MM-DD [--since ÅÅÅÅ-MM-DD] [--format csv|json]",
      "visar vad som ändrats sedan förra körningen",
      "Jämför periodens sparade täckningskörning med den närmast före (eller den för --since) "
      "och skriver en rad per ändring: produkter som nu behöver beställas, vars lager tar slut "
      "mer än en vecka tidigare, vars försäljning per vecka i PJ gått upp eller ned mer än "
      "andelen i [historik] i lodvikprodsok.ini (25 %), nya och försvunna produkter och nya "
      "regler, var och en med värdet före och efter. CSV och JSON som coverage --format.",
      {},
      {{"--period", "ÅÅÅÅ-MM-DD", "körningen som jämförs"},
       {"--since", "ÅÅÅÅ-MM-DD", "körningen den jämförs med (annars den närmast före)"},
       {"--format", "csv|json", "CSV (standard) eller JSON"}},
      {},
      {}}},
    {false,
     cli::history,
     {"history",
      "history (--product PRODUKT [--format csv|json] | --list | --prune)",
      "visar och rensar de sparade täckningskörningarna",
      "Varje täckningskörning som blir klar sparas i historiken i programmets egna data "
      "(sokdata.db eller servern), en per period; en ny körning av samma period ersätter den. "
      "--product skriver produktens siffror i varje sparad körning, --list de sparade "
      "körningarna (period, antal produkter, när den sparades och varifrån, med tabb emellan) "
      "och --prune tar bort de äldsta utöver perioder i [historik] i lodvikprodsok.ini (104).",
      {},
      {{"--product", "PRODUKT", "produktens siffror över körningarna"},
       {"--format", "csv|json", "CSV (standard) eller JSON; bara med --product"},
       {"--list", nullptr, "de sparade körningarna"},
       {"--prune", nullptr, "ta bort de äldsta körningarna utöver de som ska sparas"}},
      {},
      {}}},
    {false,
     cli::scheduledRun,
     {"scheduled-run",
      "scheduled-run",
      "veckans täckningskörning, som tjänsten lodvikprodsok-veckokorning kör",
      "Gör täckningskörningen för perioden som datumet ger (den senaste veckodagen i [historik] "
      "i lodvikprodsok.ini, måndag om inget sägs, till och med i dag), skriver arbetsboken och "
      "inköpsförslaget per leverantör (.xls och .csv) i rapporter/ och sparar körningen i "
      "historiken. Tyst när den lyckas; annars slutstatus 1 och en rad på standard fel, som "
      "systemd skriver i journalen. Utfallet sparas så att fönstret kan säga till vid nästa "
      "start. Slå på veckokörningen med systemctl --user enable --now "
      "lodvikprodsok-veckokorning.timer.",
      {},
      {},
      {},
      {}}},
};

const cli::help::Topic topics[] = {
    {"Programmappen",
     "Kommandona och fönstret arbetar på programmappen: mappen i miljövariabeln "
     "LODVIKPRODSOK_HOME, annars mappen där programmet ligger. Den innehåller sokdata.db "
     "(produkttabellen), local.mdb (extrakttabellerna), rapporter/ (arbetsböckerna) och ibland "
     "lodvikprodsok.ini (en databasserver som källa för produkttabellen, och en för "
     "extrakttabellerna). Paketets startskript använder ~/.local/share/lodvikprodsok och "
     "kopierar filerna i " LODVIK_SITE_DIR " till en ny mapp. Demodata för det som saknas får "
     "den bara av fönstret och av demo; ett annat kommando på en mapp utan local.mdb, "
     "sokdata.db och lodvikprodsok.ini misslyckas och säger hur mappen fylls."},
    {"Slutstatus",
     "0 när kommandot lyckades, 1 när det misslyckades (orsaken står på standard fel; också när "
     "resultatet inte nådde standard ut, som en stängd pipe), 2 vid "
     "felaktig användning (till exempel en okänd flagga), 130 när körningen avbröts med Ctrl+C "
     "och 143 när den avbröts med SIGTERM; det som redan var klart står kvar."},
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

// The reason the first write to stdout failed; 0 while none has.
int stdoutError = 0;

bool isQuiet(const QString &word) {
    return word == QLatin1String("-q") || word == QLatin1String("--quiet");
}

struct ParsedArguments {
    QStringList args; // the plain arguments, then the options as "--name" "value" pairs
    qsizetype optionPairs = 0;
    bool quiet = false;
};

// Checks the words after the command against its options before anything else starts: an
// unknown option, a missing value or a repeated option is a usage error. "--name=value" is
// "--name value", an option's value is taken as it stands (even "-q"), and "--" ends the
// options.
ParsedArguments parseArguments(const cli::help::Command &command, const QStringList &raw) {
    ParsedArguments parsed;
    QStringList options;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QString arg = raw.at(i);
        if (arg == QLatin1String("--")) {
            parsed.args += raw.mid(i + 1);
            break;
        }
        if (isQuiet(arg)) {
            parsed.quiet = true;
            continue;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            parsed.args.append(arg);
            continue;
        }
        QString value;
        const bool joined =
            arg.startsWith(QLatin1String("--")) && arg.indexOf(QLatin1Char('=')) > 2;
        if (joined) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
            if (isQuiet(arg) || arg == QLatin1String("--help"))
                throw lodvik::UsageError(QStringLiteral("%1 tar inget värde.").arg(arg));
        }
        const auto named = [&](const Option &o) { return arg == QLatin1String(o.name); };
        const auto option = std::find_if(command.options.begin(), command.options.end(), named);
        if (option == command.options.end())
            throw lodvik::UsageError(QStringLiteral("Okänd flagga: %1").arg(arg));
        if (!option->value) { // a flag: present or not, stored with an empty value
            if (joined)
                throw lodvik::UsageError(QStringLiteral("%1 tar inget värde.").arg(arg));
        } else if (!joined) {
            if (i + 1 >= raw.size())
                throw lodvik::UsageError(QStringLiteral("%1 saknar värde.").arg(arg));
            value = raw.at(++i);
        }
        for (qsizetype j = 0; j < options.size(); j += 2)
            if (options.at(j) == arg)
                throw lodvik::UsageError(QStringLiteral("%1 är angiven två gånger.").arg(arg));
        options << arg << value;
    }
    parsed.optionPairs = options.size() / 2;
    parsed.args += options;
    return parsed;
}

// Qt's own warnings and notes (a missing XDG_RUNTIME_DIR under cron, font substitutions) ask
// nothing of the operator and would make every scheduled run mail; its errors still show.
QtMessageHandler qtMessages = nullptr;
void dropQtWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        qtMessages(type, context, text);
}

int usageError(const cli::help::Command &command, const QString &message) {
    std::fprintf(stderr, "%s\nAnvändning: lodvikprodsok %s\n", message.toLocal8Bit().constData(),
                 command.synopsis);
    std::fprintf(stderr, "Mer hjälp: lodvikprodsok %s --help\n", command.name);
    return 2;
}

// A command line wrong before any command: the reason, then every command's usage.
int programUsageError(const QString &message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fputs(cli::help::usage(program()).toLocal8Bit().constData(), stderr);
    return 2;
}

// Help is a result too: help that never reached stdout is a failure.
int printHelp(const QString &text) {
    cli::writeOut(text.toLocal8Bit());
    try {
        cli::flushOut();
    } catch (const lodvik::Error &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

const Command *findCommand(const QString &name) {
    for (const Command &c : commands)
        if (name == QLatin1String(c.help.name))
            return &c;
    return nullptr;
}

// Where the command's name stands: after any -q before it.
int commandIndex(int argc, char **argv) {
    int i = 1;
    while (i < argc && isQuiet(QString::fromLocal8Bit(argv[i])))
        ++i;
    return i;
}

// Standard streams that the caller closed (">&-") get /dev/null, read-only: the first files the
// program opens would otherwise take their numbers, and results meant for stdout would land in a
// workbook. A write to stdout then fails, and says that stdout is closed.
void reserveClosedStandardStreams() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int opened = ::open("/dev/null", O_RDONLY);
            if (opened >= 0 && opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
}

} // namespace

namespace cli {

void writeOut(const QByteArray &bytes) {
    if (stdoutError != 0) // once it failed, nothing more reaches it
        return;
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
        stdoutError = errno != 0 ? errno : EIO;
}

void printOut(const QString &line) {
    writeOut(line.toLocal8Bit() + '\n');
}

void flushOut() {
    errno = 0;
    if (stdoutError == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        stdoutError = errno != 0 ? errno : EIO;
    if (stdoutError == 0)
        return;
    const QString reason = stdoutError == EBADF ? QStringLiteral("standard ut är stängd")
                                                : lodvik::systemReason(stdoutError);
    throw lodvik::Error(
        QStringLiteral("Resultatet kunde inte skrivas till standard ut: %1.%2")
            .arg(reason, lodvik::details(QString::fromLocal8Bit(std::strerror(stdoutError)))));
}

QString programFolder() {
    const QDir folder(gAppPath);
    const bool exists = folder.exists();
    if (exists &&
        std::any_of(std::begin(programFiles), std::end(programFiles), [&](const char *file) {
            return QFileInfo::exists(folder.filePath(QLatin1String(file)));
        }))
        return gAppPath;
    throw lodvik::Error(
        QStringLiteral("Programmappen %1 %2. Fyll den med \"lodvikprodsok demo\" (demodata) eller "
                       "\"lodvikprodsok import-mdb FIL\" (extrakten ur en Access-fil), eller "
                       "kopiera platsens filer från %3 dit; LODVIKPRODSOK_HOME väljer en annan "
                       "mapp.")
            .arg(QDir::toNativeSeparators(gAppPath),
                 exists ? QStringLiteral("är tom: den har varken local.mdb, sokdata.db eller "
                                         "lodvikprodsok.ini")
                        : QStringLiteral("finns inte"),
                 QStringLiteral(LODVIK_SITE_DIR)));
}

QString localDatabasePath() {
    return programFolder() + QStringLiteral("/local.mdb");
}

namespace {

// How many "--name" "value" pairs end the list a command was handed: the options come after
// the plain arguments, so that an argument after "--" that looks like an option is never taken
// for one. -1 for a command called directly (the tests) with "--name VALUE" anywhere.
qsizetype optionPairs = -1;

qsizetype optionIndex(const QStringList &args, const QString &name) {
    if (optionPairs < 0) {
        const qsizetype i = args.indexOf(name);
        return i + 1 < args.size() ? i : -1;
    }
    for (qsizetype i = args.size() - 2 * optionPairs; i + 1 < args.size(); i += 2)
        if (args.at(i) == name)
            return i;
    return -1;
}

} // namespace

void setOptionPairs(qsizetype pairs) {
    optionPairs = pairs;
}

QString takeOption(QStringList &args, const QString &name) {
    const qsizetype i = optionIndex(args, name);
    if (i < 0)
        return {};
    const QString value = args.at(i + 1);
    args.remove(i, 2);
    if (optionPairs > 0)
        --optionPairs;
    return value;
}

bool hasOption(const QStringList &args, const QString &name) {
    return optionIndex(args, name) >= 0;
}

bool takeFlag(QStringList &args, const QString &name) {
    if (optionPairs < 0) // called directly: the flag stands alone
        return args.removeAll(name) > 0;
    if (!hasOption(args, name))
        return false;
    takeOption(args, name);
    return true;
}

void requireNoMore(const QStringList &args) {
    if (!args.isEmpty())
        throw lodvik::UsageError(
            QStringLiteral("Okänt argument: %1").arg(args.join(QLatin1Char(' '))));
}

SearchOption takeSearchOption(QStringList &args) {
    const bool byProduct = hasOption(args, QStringLiteral("--produkt"));
    const bool byName = hasOption(args, QStringLiteral("--namn"));
    if (byProduct == byName)
        throw lodvik::UsageError(QStringLiteral("Ange antingen --produkt TEXT eller --namn TEXT."));
    return {byProduct,
            takeOption(args, byProduct ? QStringLiteral("--produkt") : QStringLiteral("--namn"))};
}

figures::Period periodArgument(const QString &text) {
    // The reports' own check, so that the command line refuses exactly what they refuse.
    try {
        return figures::Period::fromText(text);
    } catch (const lodvik::Error &e) {
        throw lodvik::UsageError(e.message());
    }
}

std::optional<figures::Period> takePeriodOption(QStringList &args) {
    const QString period = takeOption(args, QStringLiteral("--period"));
    if (period.isEmpty())
        return std::nullopt;
    return periodArgument(period);
}

figures::Period takeRequiredPeriodOption(QStringList &args) {
    const std::optional<figures::Period> period = takePeriodOption(args);
    if (!period)
        throw lodvik::UsageError(QStringLiteral("--period saknas."));
    return *period;
}

SearchResult::SearchResult() = default;
SearchResult::SearchResult(SearchResult &&) noexcept = default;
SearchResult::~SearchResult() = default;

SearchResult runSearch(const SearchOption &search) {
    SearchResult result;
    result.source = openSearchSource(programFolder());
    result.rows = std::make_unique<DataControl>();
    result.rows->setSource(result.source.get());
    result.rows->setRecordSource(produktSokQuery(search.byProduct, search.text));
    result.rows->refresh();
    return result;
}

} // namespace cli

void setGuiCommands(const GuiCommands &commands) {
    guiCommands = commands;
}

bool needsGuiCommands(int argc, char **argv) {
    const int at = commandIndex(argc, argv);
    return at < argc &&
           std::any_of(std::begin(commands), std::end(commands), [&](const Command &c) {
               return c.needsGui && std::strcmp(c.help.name, argv[at]) == 0;
           });
}

int runCommandLine(int argc, char **argv) {
    reserveClosedStandardStreams();
    // A reader that has gone (a closed pipe) makes the write fail, which the command reports and
    // ends with 1, instead of a death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);

    // -q before the command is the same as after it.
    const int at = commandIndex(argc, argv);
    const bool quietFirst = at > 1;
    if (at == argc)
        return programUsageError(QStringLiteral("%1 gäller ett kommando; ange kommandot.")
                                     .arg(QString::fromLocal8Bit(argv[at - 1])));
    const QString name = QString::fromLocal8Bit(argv[at]);
    QStringList rawArgs;
    for (int i = at + 1; i < argc; ++i)
        rawArgs.append(QString::fromLocal8Bit(argv[i]));

    // Help and the generated files need neither the program folder nor an application.
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        if (rawArgs.isEmpty())
            return printHelp(cli::help::overview(program()));
        // "--help COMMAND" asks what "COMMAND --help" asks.
        const Command *asked = findCommand(rawArgs.first());
        if (!asked)
            return programUsageError(QStringLiteral("Okänt kommando: %1").arg(rawArgs.first()));
        return printHelp(cli::help::commandHelp(program(), asked->help));
    }
    if (name == QLatin1String("--version")) {
        if (!rawArgs.isEmpty())
            return programUsageError(QStringLiteral("--version tar inga argument: %1")
                                         .arg(rawArgs.join(QLatin1Char(' '))));
        return printHelp(QStringLiteral("%1 %2\n").arg(QLatin1String(program().displayName),
                                                       QLatin1String(program().version)));
    }
    // Not shown in the help: the build makes the manual page and the bash completion with them.
    if (argc == 2 && name == QLatin1String("--generate-manual-page"))
        return printHelp(cli::help::manualPage(program()));
    if (argc == 2 && name == QLatin1String("--generate-completion-data"))
        return printHelp(cli::help::completionData(program()));
    const Command *command = findCommand(name);
    if (!command) {
        const QString flag = name.section(QLatin1Char('='), 0, 0);
        if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('=')) &&
            (isQuiet(flag) || flag == QLatin1String("--help") ||
             flag == QLatin1String("--version")))
            return programUsageError(QStringLiteral("%1 tar inget värde.").arg(flag));
        return programUsageError((name.startsWith(QLatin1Char('-'))
                                      ? QStringLiteral("Okänd flagga: %1")
                                      : QStringLiteral("Okänt kommando: %1"))
                                     .arg(name));
    }
    // The command-line program hands these to the full program before it gets here.
    if (command->needsGui && !guiCommands.application) {
        std::fprintf(stderr, "Kommandot %s finns bara i det fullständiga programmet.\n",
                     command->help.name);
        return 1;
    }
    if (cli::help::asksForHelp(command->help, rawArgs))
        return printHelp(cli::help::commandHelp(program(), command->help));

    // Before Qt starts, so that a mistyped command line gets only its own message.
    ParsedArguments parsed;
    try {
        parsed = parseArguments(command->help, rawArgs);
        cli::setOptionPairs(parsed.optionPairs);
        if (command->check)
            command->check(parsed.args);
    } catch (const lodvik::UsageError &e) {
        return usageError(command->help, e.message());
    }
    cli::setOptionPairs(parsed.optionPairs); // the check took its options from a copy
    // Only errors for cron jobs: no progress, no counts, no notes.
    cli::StderrProgress::setQuiet(quietFirst || parsed.quiet);

    qtMessages = qInstallMessageHandler(dropQtWarnings);
    std::unique_ptr<QCoreApplication> app;
    if (command->needsGui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
            qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = guiCommands.application(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    gAppPath = GetAppPath();
    gRefDate = QDate::currentDate().toString(Qt::ISODate);

    try {
        const int code = command->run(parsed.args);
        cli::flushOut();
        return code;
    } catch (const lodvik::UsageError &e) {
        return usageError(command->help, e.message());
    } catch (const lodvik::Cancelled &e) {
        // As a shell reports a command a signal ended: 130 after Ctrl+C, 143 after SIGTERM.
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 128 + (cli::interruptSignal() ? cli::interruptSignal() : SIGINT);
    } catch (const lodvik::Error &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Oväntat fel: %s\n", e.what());
        return 1;
    }
}
