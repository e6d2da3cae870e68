#include "reports/CoverageColumns.h"

#include "reports/CoverageOverview.h"
#include "reports/CoverageScan.h"

using lodvik::Variant;

namespace reports {

namespace {

Variant stockOnHandFRN(ProductFigures &f, const QString &product, double) {
    return f.stockOnHandFRN(product);
}
Variant avail(ProductFigures &f, const QString &product, double) {
    return f.avail(product);
}
Variant stockOnHandDP(ProductFigures &f, const QString &product, double) {
    return f.stockOnHandDP(product);
}
Variant stockOnHandPJ(ProductFigures &f, const QString &product, double umfaktor) {
    return f.stockOnHandPJ(product, umfaktor);
}
Variant prodBackOrderPJ(ProductFigures &f, const QString &product, double umfaktor) {
    return f.prodBackOrderPJ(product, umfaktor);
}
Variant prodBackOrderFRN(ProductFigures &f, const QString &product, double umfaktor) {
    return f.prodBackOrderFRN(product, umfaktor);
}
Variant prodOrderPJ(ProductFigures &f, const QString &product, double umfaktor) {
    return f.prodOrderPJ(product, umfaktor);
}
Variant prodOrderFRN(ProductFigures &f, const QString &product, double umfaktor) {
    return f.prodOrderFRN(product, umfaktor);
}
Variant salesPerWeek(ProductFigures &f, const QString &product, double umfaktor) {
    return f.salesPerWeek(product, umfaktor);
}
Variant salesPerWeekFRN(ProductFigures &f, const QString &product, double) {
    return f.salesPerWeekFRN(product);
}

using K = CoverageColumn::Kind;
using L = ListColumn;

constexpr const char *Whole = "########";
constexpr const char *Weeks = "####";
constexpr const char *Packs = "förp.";
constexpr const char *PacksAWeek = "förp./vecka";

// The run works the Figure columns out in this order, then the Cover columns: a figure that
// fails stops the row at the first of them.
constexpr std::array<CoverageColumn, CoverageColumnCount> columns = {{
    {.letter = 'A',
     .kind = K::Stored,
     .heading = {"", "Produkt", "Number"},
     .figures = {{{.name = "iblitm"}}},
     .list = L::Product,
     .key = "product",
     .listHeading = "Produkt",
     .text = &CoverageRow::product},
    {.letter = 'B',
     .kind = K::Stored,
     .heading = {"", "Produkt", "Description"},
     .figures = {{{.name = "imdsc1"}}},
     .list = L::Description,
     .key = "description",
     .listHeading = "Benämning",
     .text = &CoverageRow::description},
    {.letter = 'C',
     .kind = K::Stored,
     .heading = {"", "", "Bags/pack"},
     .figures = {{{.name = "umconv", .tables = {{{"pjomr", "iblitm"}}}}}},
     .scale = 1000,
     .meaning = "Enheter per förpackning",
     .unit = "enheter per förp.",
     .number = &CoverageRow::unitsPerPack},
    {.letter = 'D',
     .kind = K::Figure,
     .heading = {"Stock", "On Hand", "FRN (packs)"},
     .caption = "StockOnHandFRN",
     .figures = {{{"StockOnHandFRN", stockOnHandFRN, {{{"pjstkfrn", "ivcitm"}}}},
                  {"avail", avail, {{{"avail", "ivcitm"}}}}}},
     .pattern = Whole,
     .meaning = "Lager FRN",
     .unit = Packs,
     .list = L::StockFrn,
     .key = "stock_frn",
     .listHeading = "Lager FRN",
     .number = &CoverageRow::stockFrn},
    {.letter = 'E',
     .kind = K::Figure,
     .heading = {"Stock", "On Hand", "DP (Packs)"},
     .caption = "StockOnHandDP",
     .figures = {{{"StockOnHandDP", stockOnHandDP, {{{"DTSPL", "Fält2"}}}}}},
     .pattern = Whole,
     .meaning = "Lager DP",
     .unit = Packs,
     .list = L::StockDp,
     .key = "stock_dp",
     .listHeading = "Lager DP",
     .number = &CoverageRow::stockDp},
    {.letter = 'F',
     .kind = K::Figure,
     .heading = {"Stock", "On Hand", "PJ (Packs)"},
     .caption = "StockOnHandPJ",
     .figures = {{{"StockOnHandPJ", stockOnHandPJ, {{{"pjstk", "imlitm"}}}}}},
     .pattern = Whole,
     .meaning = "Lager PJ",
     .unit = Packs,
     .list = L::StockPj,
     .key = "stock_pj",
     .listHeading = "Lager PJ",
     .number = &CoverageRow::stockPj},
    {.letter = 'G',
     .kind = K::Sum,
     .heading = {"Total", "Stock", "(packs)"},
     .terms = "DEF",
     .meaning = "Lager totalt",
     .unit = Packs,
     .note = " (tom cell räknas som 0)",
     .list = L::StockTotal,
     .key = "stock_total",
     .listHeading = "Lager totalt",
     .number = &CoverageRow::stockTotal},
    {.letter = 'H',
     .kind = K::Cover,
     .heading = {"Coverage", "Time", "Weeks"},
     .caption = "Coverage time",
     .terms = "DEF",
     .divisor = 'O',
     .pattern = Weeks,
     .meaning = "Täckning i veckor",
     .unit = "veckor",
     .noDivisor = "O är tom (ingen försäljning) → 0",
     .list = L::Cover,
     .key = "cover_weeks",
     .listHeading = "Täckning v",
     .number = &CoverageRow::coverWeeks},
    {.letter = 'I',
     .kind = K::Cover,
     .heading = {"Coverage", "Time FRN", "Weeks"},
     .caption = "Coverage timeFRN",
     .terms = "D",
     .divisor = 'P',
     .pattern = Weeks,
     .meaning = "Täckning i veckor FRN",
     .unit = "veckor",
     .noDivisor = "P är tom (ingen FRN-försäljning) → 0",
     .list = L::CoverFrn,
     .key = "cover_weeks_frn",
     .listHeading = "Täckning v FRN",
     .number = &CoverageRow::coverWeeksFrn},
    {.letter = 'J',
     .kind = K::Figure,
     .heading = {"", "Backorder", "PJ"},
     .caption = "BackOrderPJ",
     .figures = {{{"ProdBackOrderPJ",
                   prodBackOrderPJ,
                   {{{"PJOTBALLA", "sdaitm"}, {"pjpvmens", "mflitm"}}}}}},
     .pattern = Whole,
     .meaning = "Restorder PJ",
     .unit = Packs,
     .note = " (restorder och prognos)",
     .list = L::BackOrderPj,
     .key = "backorder_pj",
     .listHeading = "Restorder PJ",
     .number = &CoverageRow::backOrderPj},
    {.letter = 'K',
     .kind = K::Figure,
     .heading = {"", "Backorder", "PJ FRN"},
     .caption = "BackOrderFRN",
     .figures = {{{"ProdBackOrderFRN", prodBackOrderFRN, {{{"PJOFBACK", "sdaitm"}}}}}},
     .pattern = Whole,
     .meaning = "Restorder FRN",
     .unit = Packs,
     .list = L::BackOrderFrn,
     .key = "backorder_frn",
     .listHeading = "Restorder FRN",
     .number = &CoverageRow::backOrderFrn},
    {.letter = 'L',
     .kind = K::Figure,
     .heading = {"", "Order", "PJ"},
     .caption = "OrderPJ",
     .figures = {{{"ProdOrderPJ", prodOrderPJ, {{{"PJOTALLA", "sdaitm"}}}}}},
     .pattern = Whole,
     .meaning = "Order PJ",
     .unit = Packs,
     .list = L::OrderPj,
     .key = "order_pj",
     .listHeading = "Order PJ",
     .number = &CoverageRow::orderPj},
    {.letter = 'M',
     .kind = K::Figure,
     .heading = {"", "Order", "PJ FRN"},
     .caption = "OrderFRN",
     .figures = {{{"ProdOrderFRN", prodOrderFRN, {{{"PJOFFRAM", "sdaitm"}}}}}},
     .pattern = Whole,
     .meaning = "Order FRN",
     .unit = Packs,
     .list = L::OrderFrn,
     .key = "order_frn",
     .listHeading = "Order FRN",
     .number = &CoverageRow::orderFrn},
    {.letter = 'N',
     .kind = K::Sum,
     .heading = {"Total", "Order PJ", "Packs"},
     .terms = "LJ",
     .meaning = "Order totalt",
     .unit = Packs,
     .list = L::OrderTotal,
     .key = "order_total",
     .listHeading = "Order totalt",
     .number = &CoverageRow::orderTotal},
    {.letter = 'O',
     .kind = K::Figure,
     .heading = {"Sales", "per", "Week"},
     .caption = "SalesPerWeek",
     .figures = {{{"SalesPerWeek", salesPerWeek, {{{"pjsfakt", "sdlitm"}}}}}},
     .pattern = Whole,
     .meaning = "Försäljning per vecka PJ",
     .unit = PacksAWeek,
     .note = " (26 veckor)",
     .list = L::SalesPj,
     .key = "sales_per_week_pj",
     .listHeading = "Förs./v PJ",
     .number = &CoverageRow::salesPj},
    {.letter = 'P',
     .kind = K::Figure,
     .heading = {"Sales", "per", "WeekFRN"},
     .caption = "SalesPerWeekFRN",
     .figures = {{{"SalesPerWeekFRN", salesPerWeekFRN, {{{"frnhist", "ivcitm"}}}}}},
     .pattern = Whole,
     .meaning = "Försäljning per vecka FRN",
     .unit = PacksAWeek,
     .note = " (sex månader ÷ 26)",
     .list = L::SalesFrn,
     .key = "sales_per_week_frn",
     .listHeading = "Förs./v FRN",
     .number = &CoverageRow::salesFrn},
    {.letter = 'Q', .kind = K::Heading, .heading = {"", "", "Actions"}},
    {.letter = 'R', .kind = K::Heading, .heading = {"", "", "Status"}},
}};

constexpr bool lettersInOrder() {
    for (int i = 0; i < CoverageColumnCount; ++i)
        if (columns[size_t(i)].column() != i + 1)
            return false;
    return true;
}
static_assert(lettersInOrder(), "the table holds the workbook's columns A to R in order");

// Every list column but the status and the suggestion is one workbook column, and only one.
constexpr bool listedOnce() {
    for (int l = int(ListColumn::Status); l <= int(ListColumn::Suggestion); ++l) {
        int found = 0;
        for (const CoverageColumn &c : columns)
            found += c.list == ListColumn(l) ? 1 : 0;
        const bool ownColumn =
            ListColumn(l) == ListColumn::Status || ListColumn(l) == ListColumn::Suggestion;
        if (found != (ownColumn ? 0 : 1))
            return false;
    }
    return true;
}
static_assert(listedOnce(), "each list column shows one workbook column");

} // namespace

const std::array<CoverageColumn, CoverageColumnCount> &coverageColumns() {
    return columns;
}

const CoverageColumn *coverageColumn(char letter) {
    const int i = letter - 'A';
    return i >= 0 && i < CoverageColumnCount ? &columns[size_t(i)] : nullptr;
}

QString sumFormula(const CoverageColumn &column, int row) {
    QString formula;
    for (const char *t = column.terms; *t; ++t)
        formula += (formula.isEmpty() ? QStringLiteral("=") : QStringLiteral("+")) +
                   QLatin1Char(*t) + QString::number(row);
    return formula;
}

} // namespace reports
