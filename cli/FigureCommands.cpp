#include "cli/Commands.h"
#include "cli/FigureOperations.h"

#include "MDlib/Error.h"

#include <QLocale>

#include <cstdio>
#include <functional>
#include <variant>

using lodvik::UsageError;
using lodvik::Variant;

namespace cli {

namespace {

const FigureOperation operations[] = {
    // PJ figures and pack size
    {"getantaliforpack", &StartmenyOperations::getantaliforpack},
    {"getlagersaldo", &StartmenyOperations::getlagersaldo},
    {"backordersPJ", &StartmenyOperations::backordersPJ},
    {"outsidePJ", &StartmenyOperations::outsidePJ},
    {"orderscurrmonthPJ", &StartmenyOperations::orderscurrmonthPJ},
    {"salescurrmonthPJ", &StartmenyOperations::salescurrmonthPJ},
    {"salespriormonthPJ", &StartmenyOperations::salespriormonthPJ},
    {"GSLPJ", &StartmenyOperations::GSLPJ},
    {"GSCPJ", &StartmenyOperations::GSCPJ},
    {"GITPJ", &StartmenyOperations::GITPJ},
    {"StockOnHandPJ", &StartmenyOperations::StockOnHandPJ, true},
    {"ProdBackOrderPJ", &StartmenyOperations::ProdBackOrderPJ, true},
    {"ProdOrderPJ", &StartmenyOperations::ProdOrderPJ, true},
    {"SalesPerWeek", &StartmenyOperations::SalesPerWeek, true},
    // FRN figures
    {"avail", &StartmenyOperations::avail},
    {"StockOnHandFRN", &StartmenyOperations::StockOnHandFRN},
    {"ProdOrderFRN", &StartmenyOperations::ProdOrderFRN, true},
    {"ProdBackOrderFRN",
     [](StartmenyOperations &ops, const QString &product) {
         return ops.ProdBackOrderFRN(Variant::String(product));
     },
     true},
    {"SalesPerWeekFRN", &StartmenyOperations::SalesPerWeekFRN},
    {"backordersFRN", &StartmenyOperations::backordersFRN},
    {"GSCFRN", &StartmenyOperations::GSCFRN},
    {"orderscurrmonthFRN", &StartmenyOperations::orderscurrmonthFRN},
    {"outsideFRN", &StartmenyOperations::outsideFRN},
    {"salescurrmonthFRN", &StartmenyOperations::salescurrmonthFRN},
    {"salespriormonthFRN", &StartmenyOperations::salespriormonthFRN},
    // DP figures
    {"salespriormonthDP", &StartmenyOperations::salespriormonthDP},
    {"salescurrmonthDP", &StartmenyOperations::salescurrmonthDP},
    {"orderscurrmonthDP", &StartmenyOperations::orderscurrmonthDP},
    {"outsideDP", &StartmenyOperations::outsideDP},
    {"GSCDP", &StartmenyOperations::GSCDP},
    {"backordersDP", &StartmenyOperations::backordersDP},
    {"StockOnHandDP", &StartmenyOperations::StockOnHandDP},
};

QString operationNames() {
    QStringList names;
    for (const FigureOperation &op : operations)
        names.append(QLatin1String(op.name));
    return names.join(QStringLiteral(", "));
}

} // namespace

std::span<const FigureOperation> figureOperations() {
    return operations;
}

const FigureOperation *findFigureOperation(const QString &name) {
    for (const FigureOperation &op : operations)
        if (name == QLatin1String(op.name))
            return &op;
    return nullptr;
}

Variant FigureOperation::operator()(StartmenyOperations &ops, const QString &product) const {
    return std::visit(
        [&](const auto &call) -> Variant {
            using Call = std::decay_t<decltype(call)>;
            if constexpr (std::is_same_v<Call, TotalFigure>)
                return (ops.*call)();
            else if constexpr (std::is_same_v<Call, ProductFigure>)
                return (ops.*call)(product);
            else
                return call(ops, product);
        },
        run);
}

int figure(const QStringList &arguments) {
    QStringList args = arguments;
    const QString period = takeOption(args, QStringLiteral("--period"));
    const QString factor = takeOption(args, QStringLiteral("--umfaktor"));
    if (args.isEmpty())
        throw UsageError(QStringLiteral("Ange en operation: %1").arg(operationNames()));
    const FigureOperation *op = findFigureOperation(args.takeFirst());
    if (!op)
        throw UsageError(
            QStringLiteral("Okänd operation. Operationerna är: %1").arg(operationNames()));

    // Without a factor such a figure could only fail with a division by zero.
    if (op->inPacks && factor.isEmpty())
        throw UsageError(QStringLiteral("%1 räknar i förpackningar och behöver --umfaktor N (antal "
                                        "per förpackning × 1000).")
                             .arg(QLatin1String(op->name)));

    HeadlessOperations ops;
    ops.perioddatum = period;
    if (!factor.isEmpty()) {
        bool ok = false;
        ops.umfaktor = QLocale::c().toDouble(factor, &ok);
        if (!ok)
            throw UsageError(QStringLiteral("--umfaktor %1 är inget tal.").arg(factor));
    }

    const bool takesProduct = op->takesProduct();
    if (takesProduct && args.isEmpty())
        throw UsageError(QStringLiteral("%1 behöver ett produktnummer.").arg(op->name));
    const QString product = takesProduct ? args.takeFirst() : QString();
    requireNoMore(args);

    const Variant result = (*op)(ops, product);
    std::printf("%s\n", result.toDisplayText().toUtf8().constData());
    return 0;
}

int convertDates(const QStringList &arguments) {
    QStringList args = arguments;
    if (args.isEmpty())
        throw UsageError(QStringLiteral("Ange prognos eller order."));
    const QString which = args.takeFirst();
    requireNoMore(args);
    HeadlessOperations ops;
    if (which == QLatin1String("prognos"))
        ops.konvereraprognosdatum();
    else if (which == QLatin1String("order"))
        ops.konverteraorderdatum();
    else
        throw UsageError(QStringLiteral("Okänd tabell: %1 (ange prognos eller order).").arg(which));
    std::printf("%s\n", which == QLatin1String("prognos")
                            ? "Datumen i fpprognos är omvandlade till veckodagskoder."
                            : "Datumen i fporder är omvandlade till veckodagskoder.");
    return 0;
}

} // namespace cli
