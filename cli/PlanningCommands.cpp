#include "cli/Commands.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/SafeFile.h"
#include "MDlib/SystemError.h"
#include "MDlib/Variant.h"
#include "planning/PlanningStore.h"
#include "planning/RulesFile.h"
#include "search/SearchSource.h"
#include "store/LocalDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>
#include <set>

namespace cli {

namespace {

void printLine(const QString &text, std::FILE *stream) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

// The products of pjomr, to warn of rules and marks for products the extract does not hold;
// empty with a warning when the extract store cannot be read.
std::optional<std::set<QString>> extractProducts(const QString &checked) {
    const QString local = localDatabasePath(); // a folder not filled yet fails, with no warning
    try {
        dao::Database db = dao::Database::OpenExtractStore(local);
        dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT iblitm FROM pjomr"));
        std::set<QString> products;
        for (; !rs.isEOF(); rs.MoveNext()) {
            const lodvik::Variant v = rs.Fields(0);
            if (!v.isNull() && !v.isEmpty())
                products.insert(v.toText());
        }
        return products;
    } catch (const lodvik::Error &e) {
        printLine(QStringLiteral("Varning: produkterna i pjomr kunde inte läsas, så %1 "
                                 "kontrolleras inte mot dem: %2")
                      .arg(checked, e.message()),
                  stderr);
        return std::nullopt;
    }
}

// A rule is a line of some 60 bytes: the rules of a million products fit.
constexpr qint64 MostRulesFileBytes = qint64(64) << 20;

int loadRules(const QString &fileName) {
    QFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        // Qt refuses a folder itself, in English and without errno.
        const int error = QFileInfo(fileName).isDir() ? EISDIR : errno;
        throw lodvik::Error(QStringLiteral("Filen %1 kan inte läsas: %2")
                                .arg(fileName, lodvik::fileFailure(file, error)));
    }
    // Read in parts up to a bound: /dev/zero, or a wrong file of gigabytes, would otherwise fill
    // the memory before a line of it is looked at.
    QByteArray data;
    for (;;) {
        char part[1 << 16];
        errno = 0;
        const qint64 n = file.read(part, sizeof part);
        if (n < 0)
            throw lodvik::Error(QStringLiteral("Filen %1 kan inte läsas: %2")
                                    .arg(fileName, lodvik::fileFailure(file, errno)));
        if (n == 0)
            break;
        if (data.size() + n > MostRulesFileBytes)
            throw lodvik::Error(QStringLiteral("Filen %1 är större än %2 MB, mer än en regelfil "
                                               "för alla produkter. Inga regler lästes in.")
                                    .arg(fileName)
                                    .arg(MostRulesFileBytes >> 20));
        data.append(part, n);
    }
    QStringList errors;
    const PlanningRules rules = planning::parseRulesCsv(data, &errors);
    if (!errors.isEmpty()) {
        for (const QString &e : errors)
            printLine(e, stderr);
        throw lodvik::Error(QStringLiteral("Inga regler lästes in ur %1 (%2 fel).")
                                .arg(fileName)
                                .arg(errors.size()));
    }
    // Kept all the same: a product may come back in a later extract.
    if (const auto products = extractProducts(QStringLiteral("reglerna")))
        for (const auto &rule : rules)
            if (!products->count(rule.first))
                printLine(QStringLiteral("Varning: %1 finns inte i pjomr; regeln sparas ändå.")
                              .arg(rule.first),
                          stderr);
    openPlanningStore(programFolder())->replaceRules(rules);
    printOut(rules.size() == 1 ? QStringLiteral("1 regel inläst")
                               : QStringLiteral("%1 regler inlästa").arg(rules.size()));
    return 0;
}

int saveRules(const QString &fileName) {
    const QByteArray csv = planning::rulesCsv(openPlanningStore(programFolder())->rules());
    lodvik::saveFile(fileName, QStringLiteral("Regelfilen %1").arg(fileName),
                     // saveFile explains a failed write; the device's own text is
                     // "Unknown error".
                     [&](QIODevice &device) { device.write(csv); });
    printOut(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()));
    return 0;
}

} // namespace

int rules(const QStringList &arguments) {
    QStringList args = arguments;
    const bool load = args.contains(QStringLiteral("--load"));
    const bool save = args.contains(QStringLiteral("--save"));
    if (load == save)
        throw lodvik::UsageError(QStringLiteral("Ange antingen --load FIL eller --save FIL."));
    const QString fileName =
        takeOption(args, load ? QStringLiteral("--load") : QStringLiteral("--save"));
    requireNoMore(args);
    return load ? loadRules(fileName) : saveRules(fileName);
}

int mark(const QStringList &arguments) {
    QStringList args = arguments;
    const figures::Period period = takeRequiredPeriodOption(args);
    const bool ordered = args.contains(QStringLiteral("--ordered"));
    const bool hasDate = args.contains(QStringLiteral("--date"));
    const QString packsText = takeOption(args, QStringLiteral("--ordered"));
    QString dateText = takeOption(args, QStringLiteral("--date"));
    const bool discontinued = takeFlag(args, QStringLiteral("--discontinued"));
    const bool clear = takeFlag(args, QStringLiteral("--clear"));
    if (int(ordered) + int(discontinued) + int(clear) != 1)
        throw lodvik::UsageError(
            QStringLiteral("Ange en av --ordered ANTAL, --discontinued och --clear."));
    if (hasDate && !ordered)
        throw lodvik::UsageError(QStringLiteral("--date gäller bara med --ordered."));
    if (args.size() != 1 || args.first().isEmpty() || args.first().startsWith(QLatin1Char('-')))
        throw lodvik::UsageError(QStringLiteral("Ange ett produktnummer."));
    const QString product = args.takeFirst();
    std::optional<PlanningMark> mark;
    if (discontinued)
        mark = PlanningMark{PlanningMark::Kind::Discontinued, {}, 0};
    if (ordered) {
        // Whole packs up to a billion, as the window's dialog takes them. Qt reads "inf" as a
        // number; a mark of infinitely many packs would be stored.
        double packs = 0;
        if (!lodvik::parseNumber(packsText, &packs) || !(packs >= 1) || packs > MostMarkedPacks ||
            packs != std::floor(packs))
            throw lodvik::UsageError(QStringLiteral("--ordered tar ett helt antal förpackningar "
                                                    "från 1 till en miljard, inte %1.")
                                         .arg(packsText));
        if (dateText.isEmpty())
            dateText = QDate::currentDate().toString(Qt::ISODate);
        // The order date is checked as a period is: a real date written YYYY-MM-DD. The
        // period's own message would blame the period.
        const std::optional<figures::Period> date = figures::Period::parse(dateText);
        if (!date)
            throw lodvik::UsageError(
                QStringLiteral("--date tar ett datum skrivet ÅÅÅÅ-MM-DD, inte \"%1\".")
                    .arg(dateText));
        mark = PlanningMark{PlanningMark::Kind::Ordered, date->date(), packs};
    }
    // A mark is shown only on the list's row of exactly this product number.
    if (mark)
        if (const auto products = extractProducts(QStringLiteral("markeringen")))
            if (!products->count(product))
                printLine(QStringLiteral("Varning: %1 finns inte i pjomr; markeringen sparas "
                                         "ändå men syns inte i listan förrän produkten finns där.")
                              .arg(product),
                          stderr);
    openPlanningStore(programFolder())->setMark(period.text(), product, mark);
    return 0;
}

StoredPlanning loadStoredPlanning(const figures::Period &period) {
    try {
        // A folder without sokdata.db has no rules or marks; none is made for a run.
        const SearchSourceSettings settings = readSearchSourceSettings(gAppPath);
        if (settings.driver == QLatin1String("QSQLITE")) {
            if (!QFileInfo::exists(settings.database))
                return {};
            if (auto read = readPlanningFile(settings.database, period.text()))
                return {std::move(read->first), std::move(read->second)};
        }
        const std::unique_ptr<PlanningStore> store = openPlanningStore(gAppPath);
        return {store->rules(), store->marks(period.text())};
    } catch (const lodvik::Error &e) {
        printLine(QStringLiteral("Varning: planeringsreglerna kunde inte läsas, så förslagen "
                                 "räknas utan regler och markeringar: %1")
                      .arg(e.message()),
                  stderr);
        return {};
    }
}

} // namespace cli
