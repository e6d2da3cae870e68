#include "planning/HistoryChanges.h"

#include <QHash>
#include <QLocale>
#include <QSet>

#include <cmath>

namespace planning {

namespace {

const QString keys[] = {QStringLiteral("new"),         QStringLiteral("vanished"),
                        QStringLiteral("needs_order"), QStringLiteral("stockout_earlier"),
                        QStringLiteral("sales_up"),    QStringLiteral("sales_down"),
                        QStringLiteral("rule")};
const QString texts[] = {
    QStringLiteral("ny produkt"),        QStringLiteral("försvunnen"),
    QStringLiteral("behöver beställas"), QStringLiteral("slut mer än en vecka tidigare"),
    QStringLiteral("försäljningen upp"), QStringLiteral("försäljningen ned"),
    QStringLiteral("ny regel")};

QVariant number(const std::optional<double> &n) {
    return n ? QVariant(*n) : QVariant();
}

double sales(const SnapshotRow &row) {
    return row.salesPj.value_or(0);
}

} // namespace

QString changeKey(ChangeKind kind) {
    return keys[int(kind)];
}

QString changeText(ChangeKind kind) {
    return texts[int(kind)];
}

std::optional<QDate> stockoutDate(const SnapshotRow &row, const QDate &period) {
    if (!(sales(row) > 0) || !period.isValid())
        return std::nullopt;
    const double cover = row.coverWeeks.value_or(0);
    return cover > 0 ? period.addDays(qint64(std::ceil(cover * 7))) : period;
}

QString ruleText(const PlanningRule &rule) {
    const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    const auto n = [&](double v) { return swedish.toString(v, 'g', 15); };
    QString text = QStringLiteral("ledtid %1 v, säkerhet %2 v + %3 förp., multipel %4, minst %5")
                       .arg(n(rule.leadTimeWeeks), n(rule.safetyWeeks), n(rule.safetyPacks))
                       .arg(rule.multiple)
                       .arg(rule.minimum);
    if (!rule.supplier.isEmpty())
        text += QStringLiteral(", leverantör ") + rule.supplier;
    if (!rule.group.isEmpty())
        text += QStringLiteral(", grupp ") + rule.group;
    if (rule.followTrend)
        text += QStringLiteral(", följer trenden");
    return text;
}

std::vector<Change> changesBetween(const Snapshot &earlier, const Snapshot &later,
                                   double salesShare) {
    QHash<QString, const SnapshotRow *> before;
    for (const SnapshotRow &row : earlier.rows)
        before.insert(row.product, &row);
    const QDate earlierPeriod = QDate::fromString(earlier.info.period, Qt::ISODate);
    const QDate laterPeriod = QDate::fromString(later.info.period, Qt::ISODate);
    std::vector<Change> changes;
    QSet<QString> seen;
    for (const SnapshotRow &now : later.rows) {
        seen.insert(now.product);
        const auto add = [&](ChangeKind kind, const QVariant &from, const QVariant &to) {
            changes.push_back({now.product, now.description, kind, from, to});
        };
        const SnapshotRow *was = before.value(now.product);
        if (!was) {
            add(ChangeKind::New, {}, number(now.stockTotal));
            continue;
        }
        if (now.suggestion && !was->suggestion)
            add(ChangeKind::NeedsOrder, {}, double(*now.suggestion));
        const auto wasOut = stockoutDate(*was, earlierPeriod);
        const auto nowOut = stockoutDate(now, laterPeriod);
        if (wasOut && nowOut && nowOut->daysTo(*wasOut) > 7)
            add(ChangeKind::StockoutEarlier, *wasOut, *nowOut);
        const double from = sales(*was), to = sales(now);
        if (from > 0 ? to > from * (1 + salesShare) : to > 0)
            add(ChangeKind::SalesUp, number(was->salesPj), number(now.salesPj));
        else if (from > 0 && to < from * (1 - salesShare))
            add(ChangeKind::SalesDown, number(was->salesPj), number(now.salesPj));
        if (!(now.rule == was->rule))
            add(ChangeKind::Rule, ruleText(was->rule), ruleText(now.rule));
    }
    for (const SnapshotRow &was : earlier.rows)
        if (!seen.contains(was.product)) {
            seen.insert(was.product);
            changes.push_back(
                {was.product, was.description, ChangeKind::Vanished, number(was.stockTotal), {}});
        }
    return changes;
}

} // namespace planning
