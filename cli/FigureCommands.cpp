#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "figures/DateConversion.h"
#include "figures/StockFigures.h"

#include <QLocale>

#include <cmath>

using lodvik::UsageError;
using lodvik::Variant;

namespace cli {

namespace {

QString operationNames() {
    QStringList names;
    for (const figures::NamedFigure &figure : figures::namedFigures())
        names.append(QLatin1String(figure.name));
    return names.join(QStringLiteral(", "));
}

} // namespace

int figure(const QStringList &arguments) {
    QStringList args = arguments;
    const std::optional<figures::Period> period = takePeriodOption(args);
    const QString factor = takeOption(args, QStringLiteral("--umfaktor"));
    if (args.isEmpty())
        throw UsageError(QStringLiteral("Ange en operation: %1").arg(operationNames()));
    const figures::NamedFigure *named = figures::findNamedFigure(args.takeFirst());
    if (!named)
        throw UsageError(
            QStringLiteral("Okänd operation. Operationerna är: %1").arg(operationNames()));

    // Without a factor such a figure could only fail with a division by zero.
    if (named->inPacks && factor.isEmpty())
        throw UsageError(QStringLiteral("%1 räknar i förpackningar och behöver --umfaktor N (antal "
                                        "per förpackning × 1000).")
                             .arg(QLatin1String(named->name)));

    figures::FigureArguments values;
    values.period = period;
    if (!factor.isEmpty()) {
        bool ok = false;
        values.umfaktor = QLocale::c().toDouble(factor, &ok);
        if (!ok || !std::isfinite(values.umfaktor)) // "nan" and "inf" too
            throw UsageError(QStringLiteral("--umfaktor %1 är inget tal.").arg(factor));
    }
    if (named->takesProduct && args.isEmpty())
        throw UsageError(QStringLiteral("%1 behöver ett produktnummer.").arg(named->name));
    values.product = named->takesProduct ? args.takeFirst() : QString();
    requireNoMore(args);

    StderrProgress progress;
    figures::StockFigures stock(localDatabasePath(), progress);
    const Variant result = named->run(stock, values);
    progress.finish();
    writeOut(result.toDisplayText().toUtf8() + '\n');
    return 0;
}

int convertDates(const QStringList &arguments) {
    QStringList args = arguments;
    if (args.isEmpty())
        throw UsageError(QStringLiteral("Ange prognos eller order."));
    const QString which = args.takeFirst();
    requireNoMore(args);
    StderrProgress progress;
    if (which != QLatin1String("prognos") && which != QLatin1String("order"))
        throw UsageError(QStringLiteral("Okänd tabell: %1 (ange prognos eller order).").arg(which));
    figures::DateConversion conversion(localDatabasePath(), progress);
    const bool prognos = which == QLatin1String("prognos");
    const qint64 converted =
        prognos ? conversion.konvereraprognosdatum() : conversion.konverteraorderdatum();
    progress.finish();
    printOut(QStringLiteral("Datumen i %1 är omvandlade till veckodagskoder: %2 %3.")
                 .arg(prognos ? QStringLiteral("fpprognos") : QStringLiteral("fporder"))
                 .arg(converted)
                 .arg(converted == 1 ? QStringLiteral("rad") : QStringLiteral("rader")));
    return 0;
}

} // namespace cli
