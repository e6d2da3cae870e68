#include "reports/ListColumns.h"

#include "MDlib/NumberText.h"
#include "reports/CoverageColumns.h"

#include <algorithm>

namespace reports {

namespace {

using K = ListColumnInfo::Kind;
using L = ListColumn;

// The list's columns; the workbook columns they show are filled in from the coverage table.
const std::array<ListColumnInfo, ListColumnCount> &table() {
    static const std::array<ListColumnInfo, ListColumnCount> columns = [] {
        std::array<ListColumnInfo, ListColumnCount> t = {{
            {L::Status, "urgency", "Status", nullptr, K::Text, "under halva målet", 18, 0, false,
             nullptr},
            {L::Product, "product", "Produkt", nullptr, K::Text, "0000000000", 12, 0, false,
             nullptr},
            {L::Description, "description", "Benämning", nullptr, K::Text,
             "xxxxxxxxxxxxxxxxxxxxxxxxxx", 30, 4, false, nullptr},
            {L::StockFrn, "stock_frn", "Lager FRN", nullptr, K::Number, nullptr, 12, 0, false,
             nullptr},
            {L::StockDp, "stock_dp", "Lager DP", nullptr, K::Number, nullptr, 12, 0, false,
             nullptr},
            {L::StockPj, "stock_pj", "Lager PJ", nullptr, K::Number, nullptr, 12, 0, false,
             nullptr},
            {L::StockTotal, "stock_total", "Lager totalt", nullptr, K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::SalesPj, "sales_per_week_pj", "Förs./v PJ", nullptr, K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::SalesFrn, "sales_per_week_frn", "Förs./v FRN", nullptr, K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::Cover, "cover_weeks", "Täckning v", nullptr, K::Number, nullptr, 12, 0, false,
             nullptr},
            {L::CoverFrn, "cover_weeks_frn", "Täckning v FRN", nullptr, K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::BackOrderPj, "backorder_pj", "Restorder PJ", nullptr, K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::BackOrderFrn, "backorder_frn", "Restorder FRN", nullptr, K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::OrderPj, "order_pj", "Order PJ", nullptr, K::Number, nullptr, 12, 0, false,
             nullptr},
            {L::OrderFrn, "order_frn", "Order FRN", nullptr, K::Number, nullptr, 12, 0, false,
             nullptr},
            {L::OrderTotal, "order_total", "Order totalt",
             "Order PJ + restorder PJ (arbetsbokens N = L + J); FRN:s order ingår inte", K::Number,
             nullptr, 12, 0, false, nullptr},
            {L::Suggestion, "suggestion", "Förslag förp.",
             "Förpackningar att beställa för att nå målet; se Hjälp.", K::Number, nullptr, 12, 0,
             false, nullptr},
            {L::OrderUrgency, "order_urgency", "Beställning",
             "Beställ senast mot i dag och perioden: beställ nu, beställ inom målet, räcker",
             K::Text, "beställ inom målet", 18, 0, false, nullptr},
            {L::Stockout, "stockout_date", "Slut",
             "Dagen lagret tar slut: perioden + täckningen i veckor × 7 dagar", K::Date,
             "0000-00-00", 12, 0, false, nullptr},
            {L::OrderBy, "order_by", "Beställ senast", "Slutdagen minus produktens ledtid", K::Date,
             "0000-00-00", 12, 0, false, nullptr},
            {L::Supplier, "supplier", "Leverantör", "Planeringsregelns leverantör", K::Text,
             nullptr, 12, 3, false, nullptr},
            {L::Group, "group", "Varugrupp", "Planeringsregelns varugrupp", K::Text, nullptr, 12, 2,
             false, nullptr},
            {L::Mark, "mark", "Markering",
             "Beställd (datum, förpackningar) eller utgått för perioden", K::Text,
             "beställd 0000-00-00, 0 000 förp.", 28, 1, false, nullptr},
            {L::LeadTime, "lead_time_weeks", nullptr, nullptr, K::Number, nullptr, 0, 0, true,
             nullptr},
            {L::SafetyWeeks, "safety_weeks", nullptr, nullptr, K::Number, nullptr, 0, 0, true,
             nullptr},
            {L::SafetyPacks, "safety_packs", nullptr, nullptr, K::Number, nullptr, 0, 0, true,
             nullptr},
            {L::Multiple, "multiple", nullptr, nullptr, K::Number, nullptr, 0, 0, true, nullptr},
            {L::Minimum, "minimum", nullptr, nullptr, K::Number, nullptr, 0, 0, true, nullptr},
            {L::OrderedOn, "ordered_on", nullptr, nullptr, K::Date, nullptr, 0, 0, true, nullptr},
            {L::OrderedPacks, "ordered_packs", nullptr, nullptr, K::Number, nullptr, 0, 0, true,
             nullptr},
        }};
        // The workbook's columns by what they hold.
        const std::pair<ListColumn, char> shown[] = {
            {L::Product, 'A'},     {L::Description, 'B'},  {L::StockFrn, 'D'}, {L::StockDp, 'E'},
            {L::StockPj, 'F'},     {L::StockTotal, 'G'},   {L::Cover, 'H'},    {L::CoverFrn, 'I'},
            {L::BackOrderPj, 'J'}, {L::BackOrderFrn, 'K'}, {L::OrderPj, 'L'},  {L::OrderFrn, 'M'},
            {L::OrderTotal, 'N'},  {L::SalesPj, 'O'},      {L::SalesFrn, 'P'},
        };
        for (const auto &[column, letter] : shown)
            t[size_t(column)].workbook = coverageColumn(letter);
        return t;
    }();
    return columns;
}

ListCell number(double d) {
    return {ListCell::Kind::Number, d, {}};
}

ListCell number(const std::optional<double> &d) {
    return d ? number(*d) : ListCell{};
}

ListCell text(const QString &t) {
    return {ListCell::Kind::Text, 0, t};
}

// "yyyy-MM-dd" as QDate::toString(Qt::ISODate) writes it; written here for the years it writes
// that way, because each row of a list has two or three dates.
QString makeIsoDate(const QDate &date) {
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        return date.toString(Qt::ISODate);
    const auto digit = [](int n) { return QChar(u'0' + n % 10); };
    const QChar text[10] = {digit(year / 1000),
                            digit(year / 100),
                            digit(year / 10),
                            digit(year),
                            u'-',
                            digit(month / 10),
                            digit(month),
                            u'-',
                            digit(day / 10),
                            digit(day)};
    return QString(text, 10);
}

// A date of the command line's files: none, and none outside the years 1 to 9999 (a cover of
// thousands of years, or a lead time as long).
ListCell date(const std::optional<QDate> &d) {
    // By day numbers: each row has two or three dates, and QDate::year() goes through the
    // calendar each time it is asked.
    static const qint64 first = QDate(1, 1, 1).toJulianDay();
    static const qint64 last = QDate(9999, 12, 31).toJulianDay();
    if (!d || d->toJulianDay() < first || d->toJulianDay() > last)
        return {};
    return text(isoDate(d));
}

} // namespace

const ListColumnInfo &listColumn(ListColumn column) {
    return table()[size_t(column)];
}

const std::array<ListColumn, MachineColumnCount> &machineColumns() {
    static const std::array<ListColumn, MachineColumnCount> columns = {
        L::Status,     L::Product,      L::Description,  L::StockFrn,    L::StockDp,
        L::StockPj,    L::StockTotal,   L::SalesPj,      L::SalesFrn,    L::Cover,
        L::CoverFrn,   L::BackOrderPj,  L::BackOrderFrn, L::OrderPj,     L::OrderFrn,
        L::OrderTotal, L::Suggestion,   L::LeadTime,     L::SafetyWeeks, L::SafetyPacks,
        L::Multiple,   L::Minimum,      L::Supplier,     L::Group,       L::Stockout,
        L::OrderBy,    L::OrderUrgency, L::Mark,         L::OrderedOn,   L::OrderedPacks,
    };
    return columns;
}

QString isoDate(const std::optional<QDate> &date) {
    if (!date)
        return {};
    // From the texts made last: a list's dates are few, and repeat from row to row.
    thread_local std::array<std::pair<qint64, QString>, 256> made;
    const qint64 day = date->toJulianDay();
    auto &[madeDay, text] = made[size_t(day) % made.size()];
    if (text.isNull() || madeDay != day) {
        madeDay = day;
        text = makeIsoDate(*date);
    }
    return text;
}

ListCell listCell(const CoverageRow &row, ListColumn column, const ListContext &context) {
    if (const CoverageColumn *c = listColumn(column).workbook)
        return c->text ? text(row.*c->text) : number(row.*c->number);
    const bool words = context.operatorsWords;
    const PlanningRule &rule = row.rule;
    const bool ordered = row.mark && row.mark->kind == PlanningMark::Kind::Ordered;
    switch (column) {
    case L::Status: {
        const planning::Urgency u = planning::urgency(row, context.targetWeeks);
        return text(words ? planning::urgencyText(u) : planning::urgencyKey(u));
    }
    case L::Suggestion: {
        const std::optional<qint64> s = planning::reorderSuggestion(row, context.targetWeeks);
        return s ? number(double(*s)) : ListCell{};
    }
    case L::OrderUrgency: {
        const planning::OrderUrgency u =
            planning::orderUrgency(row, context.period, context.targetWeeks, context.today);
        if (words)
            return text(planning::orderUrgencyText(u));
        return u == planning::OrderUrgency::None ? ListCell{} : text(planning::orderUrgencyKey(u));
    }
    case L::Stockout:
        return words ? text(isoDate(planning::stockoutDate(row, context.period)))
                     : date(planning::stockoutDate(row, context.period));
    case L::OrderBy:
        return words ? text(isoDate(planning::orderByDate(row, context.period)))
                     : date(planning::orderByDate(row, context.period));
    case L::Supplier:
        return text(rule.supplier);
    case L::Group:
        return text(rule.group);
    case L::Mark:
        if (!row.mark)
            return {};
        if (!words)
            return text(ordered ? QStringLiteral("ordered") : QStringLiteral("discontinued"));
        if (!ordered)
            return text(QStringLiteral("utgått"));
        return text(QStringLiteral("beställd %1, %2 förp.")
                        .arg(row.mark->orderedOn.toString(Qt::ISODate),
                             lodvik::swedishNumber(row.mark->orderedPacks)));
    case L::LeadTime:
        return number(rule.leadTimeWeeks);
    case L::SafetyWeeks:
        return number(rule.safetyWeeks);
    case L::SafetyPacks:
        return number(rule.safetyPacks);
    case L::Multiple:
        return number(double(rule.multiple));
    case L::Minimum:
        return number(double(rule.minimum));
    case L::OrderedOn:
        return ordered ? date(row.mark->orderedOn) : ListCell{};
    case L::OrderedPacks:
        return ordered ? number(row.mark->orderedPacks) : ListCell{};
    default:
        return {};
    }
}

} // namespace reports
