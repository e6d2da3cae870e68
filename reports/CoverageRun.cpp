#include "reports/Reports.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "figures/FigureQuery.h"
#include "reports/CoverageColumns.h"
#include "reports/CoverageScan.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"
#include "xls/Workbook.h"
#include "xls/XlsxWorkbook.h"

#include <cmath>
#include <string_view>
#include <vector>

using lodvik::Variant;

namespace reports {

QString productWorkbookFileName(const QString &appPath,
                                const std::optional<figures::Period> &period, bool xlsx) {
    return appPath + QStringLiteral("/rapporter/Pallvikprodukter") + figures::periodText(period) +
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

Variant formatted(const Variant &figure, const QString &pattern) {
    return Variant::String(Format(figure, pattern));
}

Variant number(const Variant &stored) {
    return NullToValue(stored, QStringLiteral("T"));
}

// A run cannot go on without the units per pack: every per-product figure divides by them. A
// blob (blob: its bytes as x'…', which the field reads as their text) is no number either.
void requireUnitsPerPack(const Variant &umconv, const QString &product,
                         const std::optional<QString> &blob = std::nullopt) {
    QString reason;
    double units = 0;
    if (blob)
        reason = QStringLiteral("umconv %1 är binära data, inget tal").arg(*blob);
    else if (umconv.isNull() || umconv.isEmpty() ||
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
                .arg(product.isEmpty() ? QStringLiteral("utan produktnummer (iblitm)") : product,
                     reason));
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

namespace {

// The table's texts as QStrings, made once rather than for every product.
struct ColumnTexts {
    std::array<QString, CoverageColumnCount> caption, figure, pattern;
    ColumnTexts() {
        for (int i = 0; i < CoverageColumnCount; ++i) {
            const CoverageColumn &c = coverageColumns()[size_t(i)];
            // The captions are copied into the progress for every product: over texts that live
            // as long as the program, the copies count no references.
            captionData[size_t(i)] = QString::fromUtf8(c.caption);
            caption[size_t(i)] = QString::fromRawData(captionData[size_t(i)].constData(),
                                                      captionData[size_t(i)].size());
            figure[size_t(i)] = QString::fromUtf8(
                c.kind == CoverageColumn::Kind::Cover ? c.caption : c.figures[0].name);
            pattern[size_t(i)] = QString::fromUtf8(c.pattern);
        }
    }

private:
    std::array<QString, CoverageColumnCount> captionData;
};

const ColumnTexts &columnTexts() {
    // Never destroyed: a caption copied from it may be shown by work that outlives main().
    static const ColumnTexts *texts = new ColumnTexts;
    return *texts;
}

} // namespace

void fillCoverageRow(ProductFigures &figures, const Variant &iblitm, const Variant &imdsc1,
                     const Variant &umconv, ProduktTabell::Row &cells, lodvik::Progress &progress,
                     CoverageFigures *trace) {
    using Kind = CoverageColumn::Kind;
    const ColumnTexts &texts = columnTexts();
    const auto &columns = coverageColumns();
    const auto cell = [&](char letter) -> Variant & { return cells[size_t(letter - 'A' + 1)]; };
    const QString product = NullToValue(iblitm, QStringLiteral("S")).text();
    // A number not written in UTF-8 (another program's Latin-1 Å) is read with U+FFFD in place
    // of its bytes and finds none of its rows: every figure would show empty, as if none.
    if (product.contains(QChar::ReplacementCharacter))
        throw lodvik::Error(
            QStringLiteral("Produktnumret \"%1\" i pjomr är inte skrivet i UTF-8, så dess rader i "
                           "utdragen kan inte läsas. Rätta produktnumret och kör täckningen igen; "
                           "ingen arbetsbok har skrivits.")
                .arg(product));
    // A figure that is no finite number stops the run, named, instead of showing "inf" or "nan".
    const auto checked = [&](const Variant &value, size_t column) {
        return figures::requireFinite(value, texts.figure[column], product);
    };
    const auto traced = [&](const CoverageColumn &c, int figure, const Variant &value) {
        if (trace)
            trace->read[size_t(c.column())][size_t(figure)] = value;
    };
    const auto done = [&](const CoverageColumn &c, const Variant &value) {
        if (trace)
            trace->value[size_t(c.column())] = value;
    };

    // The product's own values first; the figures divide by the units per pack.
    double umfaktor = 0;
    for (const CoverageColumn &c : columns) {
        if (c.kind != Kind::Stored)
            continue;
        const std::string_view field = c.figures[0].name;
        const Variant &value = field == "iblitm" ? iblitm : field == "imdsc1" ? imdsc1 : umconv;
        traced(c, 0, value);
        if (c.scale != 0) {
            requireUnitsPerPack(value, product);
            cell(c.letter) = value * Variant::Long(c.scale);
            umfaktor = cell(c.letter).toDouble();
        } else {
            cell(c.letter) = value;
        }
        done(c, cell(c.letter));
    }

    // What a Figure column's stored text reads back as, kept as it is made so that the covers
    // need not read the texts again: a figure that is a number or Null stores the whole number
    // it rounds to, or "" for 0, which reads as 0.
    std::array<std::optional<double>, CoverageColumnCount + 1> stored{};
    for (size_t i = 0; i < columns.size(); ++i) {
        const CoverageColumn &c = columns[i];
        if (c.kind != Kind::Figure)
            continue;
        progress.caption(texts.caption[i]);
        Variant value = c.figures[0].read(figures, product, umfaktor);
        traced(c, 0, value);
        if (c.figures[1].read) {
            const Variant less = c.figures[1].read(figures, product, umfaktor);
            traced(c, 1, less);
            value = value - less;
        }
        value = checked(value, i);
        done(c, value);
        cell(c.letter) = formatted(value, texts.pattern[i]);
        if (value.isNull())
            stored[size_t(c.column())] = 0.0;
        else if (value.isNumber())
            stored[size_t(c.column())] = std::round(value.number()) + 0.0; // -0 reads as 0
    }

    // The covers from the stored, already rounded texts: sales below half a pack a week are
    // stored empty and give 0, and no division by zero can happen.
    for (size_t i = 0; i < columns.size(); ++i) {
        const CoverageColumn &c = columns[i];
        if (c.kind != Kind::Cover)
            continue;
        progress.caption(texts.caption[i]);
        // The cells hold the texts made above; their numbers are known but for a figure that
        // gave text.
        const auto storedNumber = [&](char letter) {
            const std::optional<double> &known = stored[size_t(letter - 'A' + 1)];
            return known ? *known : number(cell(letter)).toDouble();
        };
        const double divisor = storedNumber(c.divisor);
        if (divisor != 0) {
            double sum = storedNumber(c.terms[0]);
            for (const char *t = c.terms + 1; *t; ++t)
                sum = sum + storedNumber(*t);
            const Variant cover = checked(Variant::Double(sum / divisor), i);
            done(c, cover);
            cell(c.letter) = formatted(cover, texts.pattern[i]);
        } else {
            done(c, Variant::Null());
            cell(c.letter) = Variant::Integer(0);
        }
    }
}

CoverageRun::CoverageRun(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

int CoverageRun::fill(ProduktTabell &produkttabell, const figures::Period &period) {
    // Rows of an earlier, longer run would otherwise show up in this run's workbook.
    produkttabell.clearFrom(1);
    int rows = 0;
    walk(
        period,
        [&](int row) -> ProduktTabell::Row & {
            produkttabell.ensureRow(row); // an extract of more products than rows grows the table
            return produkttabell.row(row);
        },
        [&](int row, const ProduktTabell::Row &) { rows = row; });
    return rows;
}

void CoverageRun::run(
    const figures::Period &period,
    const std::function<void(int row, const ProduktTabell::Row &cells)> &rowDone) {
    ProduktTabell::Row cells;
    walk(
        period,
        [&](int) -> ProduktTabell::Row & {
            cells.fill(Variant());
            return cells;
        },
        rowDone);
}

void CoverageRun::walk(
    const figures::Period &period, const std::function<ProduktTabell::Row &(int row)> &rowFor,
    const std::function<void(int row, const ProduktTabell::Row &cells)> &rowDone) {
    // A figure the scan leaves to its own query runs on this connection; on the server store
    // the whole run reads its snapshot, which the scan's connections join.
    dao::Database db = dao::Database::OpenExtractStore(m_localDatabase);
    catalogue::prepareIndexes(db, m_progress);
    // The count and the per-product captions are only made for a sink that shows them.
    const bool shown = m_progress.shows();
    const qint64 products =
        shown
            ? qint64(
                  db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjomr")).Fields(0).number())
            : 0;
    CoverageScan figures(m_localDatabase, period, m_progress);
    dao::Recordset rs =
        db.OpenRecordset(QStringLiteral("SELECT  *  ") + QStringLiteral(" FROM pjomr ") +
                         QStringLiteral(" Order by iblitm "));
    // The fields' positions, found on the first row as Fields(name) would find them there.
    int iblitm = -1, imdsc1 = -1, umconv = -1;
    int row = 1;
    while (!rs.isEOF()) {
        m_progress.checkCancelled();
        m_progress.count(row - 1, products);
        ProduktTabell::Row &cells = rowFor(row);
        if (iblitm < 0) {
            iblitm = rs.position(QStringLiteral("iblitm"));
            imdsc1 = rs.position(QStringLiteral("imdsc1"));
            umconv = rs.position(QStringLiteral("umconv"));
        }
        if (const std::optional<QString> blob = rs.storedBlob(umconv))
            requireUnitsPerPack(Variant(),
                                NullToValue(rs.Fields(iblitm), QStringLiteral("S")).text(), blob);
        fillCoverageRow(figures, rs.Fields(iblitm), rs.Fields(imdsc1), rs.Fields(umconv), cells,
                        m_progress);
        if (shown) {
            const QString product = NullToValue(cells[1], QStringLiteral("S")).text();
            m_progress.caption(product + QLatin1Char(' ') + QString::number(row));
        }
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

    for (const CoverageColumn &c : coverageColumns())
        for (int row = 2; row <= 4; ++row)
            sheet.setCell(row, c.column(),
                          Variant::String(QString::fromUtf8(c.heading[size_t(row - 2)])));
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
        // The formulas of the first data row, moved down to this one.
        static const std::vector<std::optional<xls::Formula>> firstRowFormulas = [] {
            std::vector<std::optional<xls::Formula>> formulas;
            for (const CoverageColumn &c : coverageColumns())
                formulas.push_back(c.kind == CoverageColumn::Kind::Sum
                                       ? std::optional(xls::Formula::parse(sumFormula(c, 5)))
                                       : std::nullopt);
            return formulas;
        }();
        // The row's cells handed over at once, in column order.
        std::array<xls::SheetWriter::RowCell, CoverageColumnCount> row{};
        std::array<std::optional<xls::Formula>, CoverageColumnCount> shifted;
        for (const CoverageColumn &c : coverageColumns()) {
            if (c.kind == CoverageColumn::Kind::Heading)
                continue;
            const size_t i = size_t(c.column() - 1);
            if (const std::optional<xls::Formula> &formula = firstRowFormulas[i]) {
                shifted[i] = formula->shifted(sheetRow - 5, 0, sheet.maxRows());
                row[i].formula = &*shifted[i];
            } else {
                row[i].value = &cells[size_t(c.column())];
            }
        }
        sheet.setRow(sheetRow, row);
    } catch (const lodvik::Error &e) {
        m_failure = e;
        return;
    }
    sheet.finishRowsBefore(sheetRow + 1);
    m_rows = r;
    static const QString excelRow = QStringLiteral("Excel rad ");
    m_progress.caption(excelRow, r);
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
