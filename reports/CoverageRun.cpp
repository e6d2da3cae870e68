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
#include <optional>
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

// A text of pjomr as the lists show it; a number as its text.
QString listText(const Variant &v) {
    return v.isNull() || v.isEmpty() ? QString() : v.toText();
}

} // namespace

bool LeftOutProducts::leaves(const CoverageRow &row) {
    if (m_firstBlank == 0 && !row.product.isEmpty())
        return false;
    if (m_firstBlank == 0)
        m_firstBlank = row.tableRow;
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
    std::array<QString, CoverageColumnCount> caption, figure;
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

// The cell of a figure or cover: its value rounded to a whole number half away from zero, as the
// "########" patterns round; empty for Null and for what rounds to 0. A figure gives a number, a
// numeric text or Null; anything else stops the run, named.
CellNumber wholeCell(const Variant &value, const QString &figure, const QString &product) {
    double number = 0;
    if (value.isNull() || value.isEmpty())
        return std::nullopt;
    if (value.isString() ? !lodvik::parseNumber(value.text(), &number)
                         : (number = value.toDouble(), !std::isfinite(number)))
        throw lodvik::Error(QStringLiteral("Figuren %1 för produkt \"%2\" gav \"%3\", som inte är "
                                           "något tal. Kontrollera värdena i utdragen.")
                                .arg(figure, product, value.toDisplayText()));
    const double rounded = std::round(number);
    if (rounded == 0)
        return std::nullopt;
    return rounded;
}

} // namespace

void fillCoverageRow(ProductFigures &figures, const Variant &iblitm, const Variant &imdsc1,
                     const Variant &umconv, CoverageRow &row, lodvik::Progress &progress,
                     CoverageFigures *trace) {
    using Kind = CoverageColumn::Kind;
    const ColumnTexts &texts = columnTexts();
    const auto &columns = coverageColumns();
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
    // The number of a column's cell, an empty cell counting 0.
    const auto cellOf = [&](char letter) {
        return (row.*coverageColumn(letter)->number).value_or(0);
    };

    // The product's own values first; the figures divide by the units per pack.
    double umfaktor = 0;
    for (const CoverageColumn &c : columns) {
        if (c.kind != Kind::Stored)
            continue;
        const std::string_view field = c.figures[0].name;
        const Variant &value = field == "iblitm" ? iblitm : field == "imdsc1" ? imdsc1 : umconv;
        traced(c, 0, value);
        if (c.asRead) {
            row.*c.asRead = value;
            row.*c.text = listText(value);
            done(c, value);
            continue;
        }
        requireUnitsPerPack(value, product);
        const Variant scaled = value * Variant::Long(c.scale);
        umfaktor = scaled.toDouble();
        row.*c.number = umfaktor;
        done(c, scaled);
    }

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
        row.*c.number = wholeCell(value, texts.figure[i], product);
    }

    // The covers from the rounded cells: sales below half a pack a week are an empty cell and
    // give 0, and no division by zero can happen.
    for (size_t i = 0; i < columns.size(); ++i) {
        const CoverageColumn &c = columns[i];
        if (c.kind != Kind::Cover)
            continue;
        progress.caption(texts.caption[i]);
        const double divisor = cellOf(c.divisor);
        if (divisor != 0) {
            double sum = cellOf(c.terms[0]);
            for (const char *t = c.terms + 1; *t; ++t)
                sum = sum + cellOf(*t);
            const Variant cover = checked(Variant::Double(sum / divisor), i);
            done(c, cover);
            row.*c.number = wholeCell(cover, texts.figure[i], product);
        } else {
            done(c, Variant::Null());
            row.*c.number = 0.0;
        }
    }

    // The totals as the workbook's formulas compute them, an empty cell counting 0.
    for (const CoverageColumn &c : columns) {
        if (c.kind != Kind::Sum)
            continue;
        double sum = cellOf(c.terms[0]);
        for (const char *t = c.terms + 1; *t; ++t)
            sum = sum + cellOf(*t);
        row.*c.number = sum;
        done(c, Variant::Double(sum));
    }
}

ProduktTabell::Row tableCells(const CoverageRow &row) {
    ProduktTabell::Row cells;
    for (const CoverageColumn &c : coverageColumns()) {
        Variant &cell = cells[size_t(c.column())];
        if (c.asRead) {
            cell = row.*c.asRead;
        } else if (c.kind == CoverageColumn::Kind::Stored) {
            if (const CellNumber &n = row.*c.number)
                cell = Variant::Double(*n);
        } else if (c.kind == CoverageColumn::Kind::Figure ||
                   c.kind == CoverageColumn::Kind::Cover) {
            const CellNumber &n = row.*c.number;
            // A cover of 0 is one without sales to divide by: the Integer 0, no text.
            cell =
                n && *n == 0
                    ? Variant::Integer(0)
                    : Variant::String(n ? Format(Variant::Double(*n), QString::fromUtf8(c.pattern))
                                        : QString());
        }
    }
    return cells;
}

CoverageRun::CoverageRun(const QString &localDatabase, lodvik::Progress &progress)
    : m_localDatabase(localDatabase), m_progress(progress) {}

void CoverageRun::run(const figures::Period &period,
                      const std::function<void(const CoverageRow &)> &rowDone,
                      const std::function<void(qint64)> &counted) {
    // A figure the scan leaves to its own query runs on this connection; on the server store
    // the whole run reads its snapshot, which the scan's connections join.
    dao::Database db = dao::Database::OpenExtractStore(m_localDatabase);
    catalogue::prepareIndexes(db, m_progress);
    // The count and the per-product captions are only made for a sink that shows them.
    const bool shown = m_progress.shows();
    const auto countRows = [&] {
        return qint64(
            db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjomr")).Fields(0).number());
    };
    const qint64 products = shown ? countRows() : 0;
    // Without pjomr the reading below says what is wrong, not the count.
    if (counted)
        counted(shown || !db.TableExists(QStringLiteral("pjomr")) ? products : countRows());
    CoverageScan figures(m_localDatabase, period, m_progress);
    dao::Recordset rs =
        db.OpenRecordset(QStringLiteral("SELECT  *  ") + QStringLiteral(" FROM pjomr ") +
                         QStringLiteral(" Order by iblitm "));
    // The fields' positions, found on the first row as Fields(name) would find them there.
    int iblitm = -1, imdsc1 = -1, umconv = -1;
    int r = 1;
    while (!rs.isEOF()) {
        m_progress.checkCancelled();
        m_progress.count(r - 1, products);
        if (iblitm < 0) {
            iblitm = rs.position(QStringLiteral("iblitm"));
            imdsc1 = rs.position(QStringLiteral("imdsc1"));
            umconv = rs.position(QStringLiteral("umconv"));
        }
        if (const std::optional<QString> blob = rs.storedBlob(umconv))
            requireUnitsPerPack(Variant(),
                                NullToValue(rs.Fields(iblitm), QStringLiteral("S")).text(), blob);
        CoverageRow row;
        row.tableRow = r;
        fillCoverageRow(figures, rs.Fields(iblitm), rs.Fields(imdsc1), rs.Fields(umconv), row,
                        m_progress);
        if (shown) {
            const QString product = NullToValue(row.productCell, QStringLiteral("S")).text();
            m_progress.caption(product + QLatin1Char(' ') + QString::number(r));
        }
        rowDone(row);
        rs.MoveNext();
        ++r;
    }
    m_progress.count(r - 1, products); // each count above was of the rows before it
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

void ProductWorkbook::addRow(const CoverageRow &row) {
    m_progress.checkCancelled();
    if (m_ended || m_failure)
        return;
    if (row.product.isEmpty()) {
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
        std::array<xls::SheetWriter::RowCell, CoverageColumnCount> cells{};
        std::array<Variant, CoverageColumnCount> numbers;
        std::array<std::optional<xls::Formula>, CoverageColumnCount> shifted;
        for (const CoverageColumn &c : coverageColumns()) {
            if (c.kind == CoverageColumn::Kind::Heading)
                continue;
            const size_t i = size_t(c.column() - 1);
            if (const std::optional<xls::Formula> &formula = firstRowFormulas[i]) {
                shifted[i] = formula->shifted(sheetRow - 5, 0, sheet.maxRows());
                cells[i].formula = &*shifted[i];
            } else if (c.asRead) {
                cells[i].value = &(row.*c.asRead);
            } else {
                if (const CellNumber &n = row.*c.number)
                    numbers[i] = Variant::Double(*n);
                cells[i].value = &numbers[i];
            }
        }
        sheet.setRow(sheetRow, cells);
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

void excellprodukter(const std::vector<CoverageRow> &rows, const QString &fileName,
                     lodvik::Progress &progress) {
    BusyCursorScope busy; // restored also when a step fails
    progress.caption(QStringLiteral("Skapar excelfilen ") + fileName, lodvik::Progress::Show::Now);
    ProductWorkbook book(progress, 0,
                         fileName.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive));
    for (const CoverageRow &row : rows)
        book.addRow(row);
    book.saveAs(fileName);
}

} // namespace reports
