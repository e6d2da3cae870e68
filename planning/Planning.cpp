#include "planning/Planning.h"

#include "MDlib/NumberText.h"
#include "search/SwedishCollation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_set>

using lodvik::swedishNumber;

namespace planning {

namespace {

// The cells are whole numbers; the tolerance keeps a fractional target or rule from asking for a
// pack more through a rounding error.
constexpr double tolerance = 1e-9;

// The days of so many weeks, a part of a day counting as a day. At most about 270 million
// years: stock against a trace of sales gives covers that no date holds, and that no integer
// of days may overflow on.
qint64 daysIn(double weeks) {
    constexpr double MostDays = 1e11;
    const double days = std::ceil(weeks * 7 - tolerance);
    if (!(days < MostDays)) // NaN too
        return qint64(MostDays);
    return days > -MostDays ? qint64(days) : -qint64(MostDays);
}

// A number after an operator: a negative one in parentheses ("− (−355)").
QString term(double d) {
    const QString text = swedishNumber(d);
    return d < 0 ? QLatin1Char('(') + text + QLatin1Char(')') : text;
}

// Whether nothing is to be ordered of the item whatever its numbers say.
bool notToOrder(const Item &item) {
    return item.discontinued() || item.awaitingOrder();
}

} // namespace

bool Item::awaitingOrder() const {
    return mark && mark->kind == PlanningMark::Kind::Ordered &&
           (!(mark->orderedPacks > 0) || orderPj.value_or(0) < mark->orderedPacks);
}

void applyPlanning(Item &item, const PlanningRules &rules, const PlanningMarks &marks) {
    const auto rule = rules.find(item.product);
    item.rule = rule == rules.end() ? PlanningRule{} : rule->second;
    const auto mark = marks.find(item.product);
    item.mark = mark == marks.end() ? std::nullopt : std::optional(mark->second);
}

Urgency urgency(const Item &item, double targetWeeks) {
    if (!item.hasSales())
        return Urgency::NoSales;
    // An empty cover cell is a cover that rounds to 0 weeks.
    const double cover = item.coverWeeks.value_or(0);
    if (cover < targetWeeks / 2)
        return Urgency::Urgent;
    if (cover < targetWeeks)
        return Urgency::BelowTarget;
    return Urgency::Plain;
}

QString urgencyKey(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return QStringLiteral("urgent");
    case Urgency::BelowTarget:
        return QStringLiteral("below_target");
    case Urgency::NoSales:
        return QStringLiteral("no_sales");
    case Urgency::Plain:
        break;
    }
    return QStringLiteral("ok");
}

QString urgencyText(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return QStringLiteral("under halva målet");
    case Urgency::BelowTarget:
        return QStringLiteral("under målet");
    case Urgency::NoSales:
        return QStringLiteral("ingen försäljning");
    case Urgency::Plain:
        break;
    }
    return {};
}

SuggestionSteps suggestionSteps(const Item &item, double targetWeeks) {
    const PlanningRule &rule = item.rule;
    SuggestionSteps s;
    s.rate = item.salesPj.value_or(0);
    if (rule.followTrend && item.trend)
        s.rate = trendRate(s.rate, *item.trend, rule.leadTimeWeeks + targetWeeks);
    s.weeks = rule.leadTimeWeeks + targetWeeks + rule.safetyWeeks;
    s.need = s.rate * s.weeks + rule.safetyPacks - item.stockTotal.value_or(0) -
             item.orderPj.value_or(0) + item.backOrderPj.value_or(0);
    const double packs = std::ceil(s.need - tolerance);
    if (!(packs > 0))
        return s;
    s.packs = qint64(packs);
    const qint64 multiple = std::max<qint64>(rule.multiple, 1);
    s.multiple = (s.packs + multiple - 1) / multiple * multiple;
    s.minimum = std::max(s.multiple, rule.minimum);
    return s;
}

std::optional<qint64> reorderSuggestion(const Item &item, double targetWeeks) {
    if (!item.hasSales() || notToOrder(item))
        return std::nullopt;
    const SuggestionSteps steps = suggestionSteps(item, targetWeeks);
    if (steps.packs <= 0)
        return std::nullopt;
    return steps.minimum;
}

QString suggestionExplanation(const Item &item, double targetWeeks) {
    if (!item.hasSales())
        return QStringLiteral("Ingen försäljning per vecka (O är tom eller 0): inget förslag.");
    const PlanningRule &rule = item.rule;
    const SuggestionSteps steps = suggestionSteps(item, targetWeeks);
    const std::optional<qint64> packs = reorderSuggestion(item, targetWeeks);
    QString text;
    if (rule.followTrend && item.trend)
        text = QStringLiteral("Regeln följer trenden: försäljning per vecka + trend × (ledtid + "
                              "mål) ÷ 2 = %1 %2 %3 × (%4 + %5) ÷ 2 = %6 förp./vecka (trenden "
                              "vilar på %7 körningar). ")
                   .arg(swedishNumber(*item.salesPj),
                        item.trend->slopePerWeek < 0 ? QStringLiteral("−") : QStringLiteral("+"),
                        swedishNumber(std::abs(item.trend->slopePerWeek)), term(rule.leadTimeWeeks),
                        term(targetWeeks), swedishNumber(steps.rate))
                   .arg(item.trend->runs);
    else if (rule.followTrend)
        text = QStringLiteral("Regeln följer trenden, men produkten har färre än %1 sparade "
                              "körningar: försäljningen per vecka används som den är. ")
                   .arg(MinimumTrendRuns);
    text += QStringLiteral("Förslag = försäljning per vecka × (ledtid + mål + "
                           "säkerhetsveckor) + säkerhetslager − lager totalt − order på "
                           "väg + restorder = %1 × (%2 + %3 + %4) + %5 − %6 − %7 + %8 = %9")
                .arg(swedishNumber(steps.rate), term(rule.leadTimeWeeks), term(targetWeeks),
                     term(rule.safetyWeeks), term(rule.safetyPacks),
                     term(item.stockTotal.value_or(0)), term(item.orderPj.value_or(0)),
                     term(item.backOrderPj.value_or(0)), swedishNumber(steps.need));
    if (steps.packs > 0) {
        text += QStringLiteral(" → %1 förp.").arg(steps.packs);
        if (rule.multiple > 1)
            text +=
                QStringLiteral(", i multipler av %1: %2").arg(rule.multiple).arg(steps.multiple);
        if (rule.minimum > 0)
            text += QStringLiteral(", minst %1: %2").arg(rule.minimum).arg(steps.minimum);
    }
    if (item.discontinued())
        return text + QStringLiteral(" → inget förslag: markerad som utgått.");
    if (item.awaitingOrder())
        return text + QStringLiteral(" → inget förslag: markerad som beställd, och ordern syns "
                                     "inte än bland order PJ (L).");
    return text + (packs ? QStringLiteral(" → förslag %1 förp.").arg(*packs)
                         : QStringLiteral(" → inget förslag"));
}

std::optional<QDate> stockoutDate(const Item &item, const QDate &period) {
    if (!item.hasSales() || !period.isValid())
        return std::nullopt;
    const double cover = item.coverWeeks.value_or(0);
    if (!(cover > 0))
        return period;
    return period.addDays(daysIn(cover));
}

std::optional<QDate> orderByDate(const Item &item, const QDate &period) {
    const std::optional<QDate> stockout = stockoutDate(item, period);
    if (!stockout)
        return std::nullopt;
    return stockout->addDays(-daysIn(item.rule.leadTimeWeeks));
}

OrderUrgency orderUrgency(const Item &item, const QDate &period, double targetWeeks,
                          const QDate &today) {
    const std::optional<QDate> orderBy = orderByDate(item, period);
    if (!orderBy || notToOrder(item))
        return OrderUrgency::None;
    if (*orderBy <= today)
        return OrderUrgency::OrderNow;
    if (*orderBy < period.addDays(daysIn(targetWeeks)))
        return OrderUrgency::WithinTarget;
    return OrderUrgency::Enough;
}

namespace {

// By OrderUrgency: the machine name and the operator's words.
const char *const orderUrgencyNames[][2] = {
    {"", ""},
    {"order_now", "beställ nu"},
    {"order_within_target", "beställ inom målet"},
    {"enough", "räcker"},
};

} // namespace

QString orderUrgencyKey(OrderUrgency urgency) {
    // Made once: each row of a list asks for one.
    static const std::array<QString, 4> keys = [] {
        std::array<QString, 4> k;
        for (size_t i = 0; i < k.size(); ++i)
            k[i] = QLatin1String(orderUrgencyNames[i][0]);
        return k;
    }();
    return keys[size_t(urgency)];
}

QString orderUrgencyText(OrderUrgency urgency) {
    return QString::fromUtf8(orderUrgencyNames[int(urgency)][1]);
}

namespace {

// A product number's character as dao::productKey folds it (A-Z and À-Þ but × to lower case),
// so that the same products are found without making each one's key.
char16_t foldedProductChar(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? char16_t(c + 0x20)
                                                                             : c;
}

} // namespace

size_t ProductHash::operator()(QStringView product) const {
    size_t hash = 0;
    for (const QChar c : product)
        hash = hash * 31 + foldedProductChar(c.unicode());
    return hash;
}

bool SameProduct::operator()(QStringView a, QStringView b) const {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](QChar x, QChar y) {
               return foldedProductChar(x.unicode()) == foldedProductChar(y.unicode());
           });
}

namespace {

// The products of rows to order, in their order: each product once, by its first row.
std::vector<ProposalLine> toOrder(const std::vector<const Item *> &rows, double targetWeeks,
                                  const QString &supplier) {
    std::vector<ProposalLine> lines;
    std::unordered_set<QStringView, ProductHash, SameProduct> products;
    products.reserve(rows.size());
    for (const Item *row : rows) {
        if (!products.insert(row->product).second)
            continue; // a later row of a product already among them
        if (!supplier.isEmpty() && row->rule.supplier != supplier)
            continue;
        if (const std::optional<qint64> packs = reorderSuggestion(*row, targetWeeks))
            lines.push_back({row, *packs});
    }
    return lines;
}

} // namespace

std::vector<ProposalLine> proposalLines(const std::vector<const Item *> &rows, double targetWeeks,
                                        const QString &supplier) {
    std::vector<ProposalLine> lines = toOrder(rows, targetWeeks, supplier);
    std::stable_sort(lines.begin(), lines.end(), [](const ProposalLine &a, const ProposalLine &b) {
        const QString &sa = a.row->rule.supplier;
        const QString &sb = b.row->rule.supplier;
        if (sa.isEmpty() != sb.isEmpty())
            return sb.isEmpty();
        if (const int c = swedish::compare(sa, sb))
            return c < 0;
        return swedish::compare(a.row->product, b.row->product) < 0;
    });
    return lines;
}

OrderTotal orderTotal(const std::vector<const Item *> &rows, double targetWeeks) {
    OrderTotal total;
    for (const ProposalLine &line : toOrder(rows, targetWeeks, {})) {
        total.packs += line.packs;
        ++total.products;
        total.bySupplier[line.row->rule.supplier] += line.packs;
    }
    return total;
}

} // namespace planning
