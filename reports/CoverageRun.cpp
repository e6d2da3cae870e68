#include "reports/Reports.h"

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "data/LocalDatabase.h"
#include "data/TableCatalogue.h"
#include "figures/FigureQuery.h"
#include "reports/CoverageScan.h"
#include "reports/CoverageScanServer.h"
#include "xls/Workbook.h"
#include "xls/XlsxWorkbook.h"

#include <cmath>

using lodvik::Variant;

namespace reports {

QString productWorkbookFileName(const QString &appPath, const QString &perioddatum, bool xlsx) {
    requireFileNamePeriod(perioddatum);
    return appPath + QStringLiteral("/rapporter/Pallvikprodukter") + perioddatum +
           (xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".xls"));
}

bool productWorkbookIsXlsx(qint64 products, bool alwaysXlsx) {
    return alwaysXlsx || products > XlsProductRows;
}

QString xlsxNotice(qint64 products, bool alwaysXlsx) {
    if (alwaysXlsx || !productWorkbookIsXlsx(products, false))
        return {};
    return QStringLiteral("pjomr har %1 produkter, fler produkter än ett .xls-blad rymmer; "
                          "arbetsboken skrivs som .xlsx.")
        .arg(products);
}

qint64 countProducts(const QString &localDatabase) {
    dao::Database db = dao::Database::OpenExtractStore(localDatabase);
    return qint64(
        db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjomr")).Fields(0).number());
}

namespace {

const QString Whole = QStringLiteral("########");
const QString Weeks = QStringLiteral("####");

Variant formatted(const Variant &figure, const QString &pattern) {
    return Variant::String(Format(figure, pattern));
}

Variant number(const Variant &stored) {
    return NullToValue(stored, QStringLiteral("T"));
}

// A run cannot go on without the units per pack: every per-product figure divides by them.
void requireUnitsPerPack(const Variant &umconv, const QString &product) {
    QString reason;
    double units = 0;
    if (umconv.isNull() || umconv.isEmpty() ||
        (umconv.isString() && umconv.text().trimmed().isEmpty()))
        reason = QStringLiteral("umconv är tomt");
    else if (umconv.isString() ? !lodvik::parseNumber(umconv.text(), &units)
                               : !std::isfinite(units = umconv.toDouble()))
        reason = QStringLiteral("umconv \"%1\" är inget tal").arg(umconv.toDisplayText());
    else if (!std::isfinite(units * 1000))
        reason = QStringLiteral("umconv %1 är för stort").arg(umconv.toDisplayText());
    else if (units == 0)
        reason = QStringLiteral("umconv är 0");
    if (!reason.isEmpty())
        throw lodvik::Error(
            QStringLiteral("Produkten %1 i pjomr saknar antal per förpackning (%2). Rätta "
                           "produkten och kör täckningen igen; ingen arbetsbok har skrivits.")
                .arg(product, reason));
}

} // namespace

bool isBlankProduct(const Variant &productNumber) {
    return productNumber.isEmpty() || productNumber.isNull() ||
           (productNumber.isString() && productNumber.text().isEmpty());
}

bool LeftOutProducts::leaves(int row, const ProduktTabell::Row &cells) {
    if (m_firstBlank == 0 && !isBlankProduct(cells[1]))
        return false;
    if (m_firstBlank == 0)
        m_firstBlank = row;
    ++m_count;
    return true;
}

QString LeftOutProducts::message() const {
    if (m_count == 0)
        return {};
    return QStringLiteral("%1 produkter är inte med i listan: produkt %2 i produktordning i pjomr "
                          "saknar produktnummer (iblitm), och listan slutar vid den. Ge "
                          "produkten ett nummer eller ta bort raden, och kör täckningen igen.")
        .arg(m_count)
        .arg(m_firstBlank);
}

void fillCoverageRow(ProductFigures &figures, const Variant &iblitm, const Variant &imdsc1,
                     const Variant &umconv, ProduktTabell::Row &cells, lodvik::Progress &progress,
                     CoverageFigures *trace) {
    CoverageFigures local;
    CoverageFigures &f = trace ? *trace : local;
    const auto cell = [&](int column) -> Variant & { return cells[size_t(column)]; };
    const auto caption = [&](const QString &text) { progress.caption(text); };
    cell(1) = iblitm;
    cell(2) = imdsc1;
    const QString product = NullToValue(cell(1), QStringLiteral("S")).text();
    // A figure that is no finite number stops the run, named, instead of showing "inf" or "nan".
    const auto checked = [&](const Variant &value, const QString &figure) {
        return figures::requireFinite(value, figure, product);
    };
    requireUnitsPerPack(umconv, product);
    cell(3) = umconv * Variant::Long(1000);
    const double umfaktor = cell(3).toDouble();

    caption(QStringLiteral("StockOnHandFRN"));
    f.stockFrn = figures.stockOnHandFRN(product);
    f.avail = figures.avail(product);
    cell(4) = formatted(checked(f.stockFrn - f.avail, QStringLiteral("StockOnHandFRN")), Whole);

    caption(QStringLiteral("StockOnHandDP"));
    f.stockDp = checked(figures.stockOnHandDP(product), QStringLiteral("StockOnHandDP"));
    cell(5) = formatted(f.stockDp, Whole);

    caption(QStringLiteral("StockOnHandPJ"));
    f.stockPj = checked(figures.stockOnHandPJ(product, umfaktor), QStringLiteral("StockOnHandPJ"));
    cell(6) = formatted(f.stockPj, Whole);

    caption(QStringLiteral("BackOrderPJ"));
    f.backOrderPj =
        checked(figures.prodBackOrderPJ(product, umfaktor), QStringLiteral("ProdBackOrderPJ"));
    cell(10) = formatted(f.backOrderPj, Whole);

    caption(QStringLiteral("BackOrderFRN"));
    f.backOrderFrn =
        checked(figures.prodBackOrderFRN(product, umfaktor), QStringLiteral("ProdBackOrderFRN"));
    cell(11) = formatted(f.backOrderFrn, Whole);

    caption(QStringLiteral("OrderPJ"));
    f.orderPj = checked(figures.prodOrderPJ(product, umfaktor), QStringLiteral("ProdOrderPJ"));
    cell(12) = formatted(f.orderPj, Whole);

    caption(QStringLiteral("OrderFRN"));
    f.orderFrn = checked(figures.prodOrderFRN(product, umfaktor), QStringLiteral("ProdOrderFRN"));
    cell(13) = formatted(f.orderFrn, Whole);

    caption(QStringLiteral("SalesPerWeek"));
    f.salesPj = checked(figures.salesPerWeek(product, umfaktor), QStringLiteral("SalesPerWeek"));
    cell(15) = formatted(f.salesPj, Whole);

    caption(QStringLiteral("SalesPerWeekFRN"));
    f.salesFrn = checked(figures.salesPerWeekFRN(product), QStringLiteral("SalesPerWeekFRN"));
    cell(16) = formatted(f.salesFrn, Whole);

    // Coverage from the stored, already rounded texts: sales below half a pack a week are
    // stored empty and give 0, and no division by zero can happen.
    caption(QStringLiteral("Coverage time"));
    const Variant d = number(cell(15));
    f.cover = Variant::Null();
    if (d.toDouble() != 0) {
        f.cover = checked((number(cell(4)) + number(cell(5)) + number(cell(6))) / d,
                          QStringLiteral("Coverage time"));
        cell(8) = formatted(f.cover, Weeks);
    } else {
        cell(8) = Variant::Integer(0);
    }

    caption(QStringLiteral("Coverage timeFRN"));
    const Variant e = number(cell(16));
    f.coverFrn = Variant::Null();
    if (e.toDouble() != 0) {
        f.coverFrn = checked(number(cell(4)) / e, QStringLiteral("Coverage timeFRN"));
        cell(9) = formatted(f.coverFrn, Weeks);
    } else {
        cell(9) = Variant::Integer(0);
    }
}

CoverageRun::CoverageRun(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

int CoverageRun::fill(ProduktTabell &produkttabell, const QString &perioddatum) {
    requirePeriodDate(perioddatum); // before the table is emptied
    // Rows of an earlier, longer run would otherwise show up in this run's workbook.
    produkttabell.clearFrom(1);
    int rows = 0;
    walk(
        perioddatum,
        [&](int row) -> ProduktTabell::Row & {
            produkttabell.ensureRow(row); // an extract of more products than rows grows the table
            return produkttabell.row(row);
        },
        [&](int row, const ProduktTabell::Row &) { rows = row; });
    return rows;
}

void CoverageRun::run(
    const QString &perioddatum,
    const std::function<void(int row, const ProduktTabell::Row &cells)> &rowDone) {
    ProduktTabell::Row cells;
    walk(
        perioddatum,
        [&](int) -> ProduktTabell::Row & {
            cells.fill(Variant());
            return cells;
        },
        rowDone);
}

void CoverageRun::walk(
    const QString &perioddatum, const std::function<ProduktTabell::Row &(int row)> &rowFor,
    const std::function<void(int row, const ProduktTabell::Row &cells)> &rowDone) {
    // Refused before the run rather than at the save, after every product has been worked out.
    requirePeriodDate(perioddatum);
    // A figure the scan leaves to its own query runs on this connection; on the server store
    // the whole run reads its snapshot, which the scan's connections join.
    dao::Database db = dao::Database::OpenExtractStore(m_localDatabase);
    catalogue::prepareIndexes(db, m_progress);
    const qint64 products =
        qint64(db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjomr")).Fields(0).number());
    CoverageScan figures(m_localDatabase, perioddatum, m_progress, scanSnapshot(db));
    dao::Recordset rs =
        db.OpenRecordset(QStringLiteral("SELECT  *  ") + QStringLiteral(" FROM pjomr ") +
                         QStringLiteral(" Order by iblitm "));
    int row = 1;
    while (!rs.isEOF()) {
        m_progress.checkCancelled();
        m_progress.count(row - 1, products);
        ProduktTabell::Row &cells = rowFor(row);
        fillCoverageRow(figures, rs.Fields(QStringLiteral("iblitm")),
                        rs.Fields(QStringLiteral("imdsc1")), rs.Fields(QStringLiteral("umconv")),
                        cells, m_progress);
        const QString product = NullToValue(cells[1], QStringLiteral("S")).text();
        m_progress.caption(product + QLatin1Char(' ') + QString::number(row));
        rowDone(row, cells);
        rs.MoveNext();
        ++row;
    }
    m_progress.count(row - 1, products); // each count above was of the rows before it
}

ProductWorkbook::ProductWorkbook(lodvik::Progress &progress, qint64 products, bool alwaysXlsx)
    : m_progress(progress), m_xlsx(productWorkbookIsXlsx(products, alwaysXlsx)) {
    if (m_xlsx)
        m_book = std::make_unique<xls::XlsxWorkbook>();
    else
        m_book = std::make_unique<xls::Workbook>();
    xls::SheetWriter &sheet = *m_book;
    sheet.setColumnWidth(QStringLiteral("A:M"), 12);
    sheet.setColumnWidth(QStringLiteral("B:B"), 25);
    sheet.setBold(QStringLiteral("A1:Q4"));

    static const char *const headers[18][3] = {
        {"", "Produkt", "Number"},
        {"", "Produkt", "Description"},
        {"", "", "Bags/pack"},
        {"Stock", "On Hand", "FRN (packs)"},
        {"Stock", "On Hand", "DP (Packs)"},
        {"Stock", "On Hand", "PJ (Packs)"},
        {"Total", "Stock", "(packs)"},
        {"Coverage", "Time", "Weeks"},
        {"Coverage", "Time FRN", "Weeks"},
        {"", "Backorder", "PJ"},
        {"", "Backorder", "PJ FRN"},
        {"", "Order", "PJ"},
        {"", "Order", "PJ FRN"},
        {"Total", "Order PJ", "Packs"},
        {"Sales", "per", "Week"},
        {"Sales", "per", "WeekFRN"},
        {"", "", "Actions"},
        {"", "", "Status"},
    };
    for (int column = 1; column <= 18; ++column)
        for (int row = 2; row <= 4; ++row)
            sheet.setCell(row, column,
                          Variant::String(QString::fromUtf8(headers[column - 1][row - 2])));
}

void ProductWorkbook::addRow(const ProduktTabell::Row &cells) {
    m_progress.checkCancelled();
    if (m_ended || m_failure)
        return;
    if (isBlankProduct(cells[1])) {
        m_ended = true;
        return;
    }
    const int r = m_rows + 1;
    const int sheetRow = r + 4;
    xls::SheetWriter &sheet = *m_book;
    try {
        for (int k = 1; k <= 16; ++k)
            sheet.setCell(sheetRow, k, cells[size_t(k)]);
        // The formulas of the first data row, moved down to this one.
        static const xls::Formula totalStock = xls::Formula::parse(QStringLiteral("=D5+E5+F5"));
        static const xls::Formula totalOrder = xls::Formula::parse(QStringLiteral("=L5+J5"));
        sheet.setFormula(sheetRow, 7, totalStock.shifted(sheetRow - 5, 0, sheet.maxRows()));
        sheet.setFormula(sheetRow, 14, totalOrder.shifted(sheetRow - 5, 0, sheet.maxRows()));
    } catch (const lodvik::Error &e) {
        m_failure = e;
        return;
    }
    sheet.finishRowsBefore(sheetRow + 1);
    m_rows = r;
    m_progress.caption(QStringLiteral("Excel rad ") + QString::number(r));
}

void ProductWorkbook::saveAs(const QString &fileName) {
    if (m_failure)
        throw *m_failure;
    BusyCursorScope busy; // restored also when a step fails
    m_progress.caption(QStringLiteral("Skapar excelfilen ") + fileName,
                       lodvik::Progress::Show::Now);
    m_book->saveAs(fileName);
}

void excellprodukter(const ProduktTabell &produkttabell, const QString &fileName,
                     lodvik::Progress &progress) {
    BusyCursorScope busy; // restored also when a step fails
    progress.caption(QStringLiteral("Skapar excelfilen ") + fileName, lodvik::Progress::Show::Now);
    ProductWorkbook book(progress, 0,
                         fileName.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive));
    // The list ends at the first row without a product number, or at the table's end.
    for (int r = 1; r < produkttabell.rowCount() && !isBlankProduct(produkttabell.at(r, 1)); ++r)
        book.addRow(produkttabell.row(r));
    book.saveAs(fileName);
}

} // namespace reports
