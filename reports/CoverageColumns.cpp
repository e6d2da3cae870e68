#include "reports/CoverageColumns.h"

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
     .text = &CoverageRow::product,
     .asRead = &CoverageRow::productCell},
    {.letter = 'B',
     .kind = K::Stored,
     .heading = {"", "Produkt", "Description"},
     .figures = {{{.name = "imdsc1"}}},
     .text = &CoverageRow::description,
     .asRead = &CoverageRow::descriptionCell},
    {.letter = 'C',
     .kind = K::Stored,
     .heading = {"", "", "Bags/pack"},
     .figures = {{{.name = "umconv",
                   .tables = {{{"pjomr", "iblitm"}}},
                   .meaning = "antal per förpackning"}}},
     .scale = 1000,
     .meaning = "Enheter per förpackning",
     .unit = "enheter per förp.",
     .number = &CoverageRow::unitsPerPack},
    {.letter = 'D',
     .kind = K::Figure,
     .heading = {"Stock", "On Hand", "FRN (packs)"},
     .caption = "StockOnHandFRN",
     .figures = {{{"StockOnHandFRN", stockOnHandFRN, {{{"pjstkfrn", "ivcitm"}}}, "lager FRN"},
                  {"avail", avail, {{{"avail", "ivcitm"}}}, "tillgängligt FRN"}}},
     .pattern = Whole,
     .meaning = "Lager FRN",
     .unit = Packs,
     .number = &CoverageRow::stockFrn},
    {.letter = 'E',
     .kind = K::Figure,
     .heading = {"Stock", "On Hand", "DP (Packs)"},
     .caption = "StockOnHandDP",
     .figures = {{{"StockOnHandDP", stockOnHandDP, {{{"DTSPL", "Fält2"}}}}}},
     .pattern = Whole,
     .meaning = "Lager DP",
     .unit = Packs,
     .number = &CoverageRow::stockDp},
    {.letter = 'F',
     .kind = K::Figure,
     .heading = {"Stock", "On Hand", "PJ (Packs)"},
     .caption = "StockOnHandPJ",
     .figures = {{{"StockOnHandPJ", stockOnHandPJ, {{{"pjstk", "imlitm"}}}}}},
     .pattern = Whole,
     .meaning = "Lager PJ",
     .unit = Packs,
     .number = &CoverageRow::stockPj},
    {.letter = 'G',
     .kind = K::Sum,
     .heading = {"Total", "Stock", "(packs)"},
     .terms = "DEF",
     .meaning = "Lager totalt",
     .unit = Packs,
     .note = " (tom cell räknas som 0)",
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
     .number = &CoverageRow::backOrderPj},
    {.letter = 'K',
     .kind = K::Figure,
     .heading = {"", "Backorder", "PJ FRN"},
     .caption = "BackOrderFRN",
     .figures = {{{"ProdBackOrderFRN", prodBackOrderFRN, {{{"PJOFBACK", "sdaitm"}}}}}},
     .pattern = Whole,
     .meaning = "Restorder FRN",
     .unit = Packs,
     .number = &CoverageRow::backOrderFrn},
    {.letter = 'L',
     .kind = K::Figure,
     .heading = {"", "Order", "PJ"},
     .caption = "OrderPJ",
     .figures = {{{"ProdOrderPJ", prodOrderPJ, {{{"PJOTALLA", "sdaitm"}}}}}},
     .pattern = Whole,
     .meaning = "Order PJ",
     .unit = Packs,
     .number = &CoverageRow::orderPj},
    {.letter = 'M',
     .kind = K::Figure,
     .heading = {"", "Order", "PJ FRN"},
     .caption = "OrderFRN",
     .figures = {{{"ProdOrderFRN", prodOrderFRN, {{{"PJOFFRAM", "sdaitm"}}}}}},
     .pattern = Whole,
     .meaning = "Order FRN",
     .unit = Packs,
     .number = &CoverageRow::orderFrn},
    {.letter = 'N',
     .kind = K::Sum,
     .heading = {"Total", "Order PJ", "Packs"},
     .terms = "LJ",
     .meaning = "Order totalt",
     .unit = Packs,
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
