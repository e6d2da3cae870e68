#include "xls/XlsxWorkbook.h"

#include "MDlib/Error.h"
#include "MDlib/SafeFile.h"

#include <QDir>
#include <QFile>

#include <xlsxwriter.h>

#include <cmath>
#include <cstdio>

namespace xls {

namespace {

QString reason(lxw_error error) {
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("minnet räcker inte");
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("en tillfällig fil i %1 kunde inte skrivas (är disken full?)")
            .arg(QDir::toNativeSeparators(QDir::tempPath()));
    case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED:
        return QStringLiteral("en text är för lång för en cell");
    default:
        return QStringLiteral("xlsx-skrivaren svarade \"%1\"")
            .arg(QString::fromUtf8(lxw_strerror(error)));
    }
}

lxw_format *arial(lxw_workbook *book, bool bold) {
    lxw_format *format = workbook_add_format(book);
    if (!format)
        throw lodvik::Error(QStringLiteral("Arbetsboken kan inte byggas: minnet räcker inte."));
    format_set_font_name(format, "Arial");
    format_set_font_size(format, 10);
    if (bold)
        format_set_bold(format);
    return format;
}

} // namespace

XlsxWorkbook::XlsxWorkbook()
    : m_folder(QDir::temp().filePath(QStringLiteral("lodvik-xlsx-XXXXXX"))) {
    if (!m_folder.isValid())
        throw lodvik::Error(
            QStringLiteral(
                "Arbetsboken kan inte byggas: ingen tillfällig mapp kan skapas i %1 (%2).")
                .arg(QDir::toNativeSeparators(QDir::tempPath()), m_folder.errorString()));
    m_folderPath = QFile::encodeName(m_folder.path());
    m_built = m_folder.filePath(QStringLiteral("arbetsbok.xlsx"));
    // Rows are written out as they are finished; the library keeps its row data in files of
    // its own in our temporary folder.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_folderPath.data();
    m_book = workbook_new_opt(QFile::encodeName(m_built).constData(), &options);
    if (m_book)
        m_sheet = workbook_add_worksheet(m_book, "Blad1");
    if (!m_sheet) {
        lxw_workbook_free(m_book);
        m_book = nullptr;
        throw lodvik::Error(
            QStringLiteral("Arbetsboken kan inte byggas: ingen tillfällig fil kan skapas i %1, "
                           "eller minnet räcker inte.")
                .arg(QDir::toNativeSeparators(m_folder.path())));
    }
    m_normal = arial(m_book, false);
    m_bold = arial(m_book, true);
    worksheet_set_default_row(m_sheet, 12.75, LXW_FALSE); // the height of Arial 10 rows
}

XlsxWorkbook::~XlsxWorkbook() {
    if (m_book)
        lxw_workbook_free(m_book);
}

void XlsxWorkbook::requireOpen(int row0) const {
    if (!m_book)
        throw lodvik::Error(
            QStringLiteral("Arbetsboken är redan sparad och tar inga fler celler."));
    if (row0 < m_writtenRows)
        throw lodvik::Error(QStringLiteral("Arbetsbladet skrevs till i rader som redan är klara."));
}

void XlsxWorkbook::setCell(int row, int column, const lodvik::Variant &value) {
    Worksheet::Cell next = Worksheet::cellFor(row, column, value, MaxRows, MaxColumns);
    requireOpen(row - 1);
    Worksheet::store(m_cells, row - 1, column - 1, std::move(next));
}

void XlsxWorkbook::setFormula(int row, int column, const Formula &formula) {
    if (row < 1 || row > MaxRows || column < 1 || column > MaxColumns)
        throw lodvik::Error(QStringLiteral("Cellen rad %1, kolumn %2 ligger utanför arbetsbladet.")
                                .arg(row)
                                .arg(column));
    requireOpen(row - 1);
    // Its value is computed when its row is written out, from the rows held then.
    formula.forEachCell([&](int r, int) { requireOpen(r); });
    Worksheet::storeFormula(m_cells, row - 1, column - 1, formula);
}

void XlsxWorkbook::setColumnWidth(const QString &columns, double characters) {
    const auto [first, last] = Worksheet::parseColumns(columns, characters);
    requireOpen(m_writtenRows);
    if (m_started)
        throw lodvik::Error(QStringLiteral("Kolumnbredderna sätts före arbetsbladets första rad."));
    for (int c = first; c <= last; ++c)
        m_widths[c] = characters;
}

void XlsxWorkbook::setBold(const QString &range) {
    const Worksheet::Range rg = Worksheet::parseRange(range);
    requireOpen(rg.firstRow);
    Worksheet::storeBold(m_cells, rg);
}

void XlsxWorkbook::finishRowsBefore(int row) {
    requireOpen(m_writtenRows);
    writeRowsBefore(std::min(row - 1, MaxRows));
}

void XlsxWorkbook::writeRowsBefore(int row0) {
    if (!m_started) {
        // One call per run of equal widths: overlapping column ranges would spoil the file.
        for (auto it = m_widths.cbegin(); it != m_widths.cend();) {
            auto last = it;
            while (std::next(last) != m_widths.cend() &&
                   std::next(last)->first == last->first + 1 &&
                   std::next(last)->second == it->second)
                ++last;
            worksheet_set_column(m_sheet, lxw_col_t(it->first), lxw_col_t(last->first), it->second,
                                 m_normal);
            it = std::next(last);
        }
        m_started = true;
    }
    const auto to = m_cells.lowerBound(row0);
    Worksheet::Memo memo;
    Worksheet::Busy busy;
    QByteArray text;
    for (auto row = m_cells.rows().cbegin(); row != to; ++row)
        for (int column = 0; column < int(row->second.size()); ++column) {
            const Worksheet::Cell &cell = row->second[size_t(column)];
            if (!Worksheet::CellMap::holds(cell))
                continue;
            const lxw_row_t r = lxw_row_t(row->first);
            const lxw_col_t c = lxw_col_t(column);
            lxw_format *format = cell.bold ? m_bold : m_normal;
            lxw_error error = LXW_NO_ERROR;
            switch (cell.kind) {
            case Worksheet::Cell::Kind::Blank:
                error = worksheet_write_blank(m_sheet, r, c, format);
                break;
            case Worksheet::Cell::Kind::Number:
                error = worksheet_write_number(m_sheet, r, c, cell.number, format);
                break;
            case Worksheet::Cell::Kind::Text:
                error =
                    worksheet_write_string(m_sheet, r, c, cell.text.toUtf8().constData(), format);
                break;
            case Worksheet::Cell::Kind::Boolean:
                error = worksheet_write_boolean(m_sheet, r, c, int(cell.number), format);
                break;
            case Worksheet::Cell::Kind::Formula: {
                const Operand v = Worksheet::evaluate(m_cells, int(r), int(c), memo, busy);
                cell.formula->textInto(text);
                if (v.kind == Operand::Kind::Number && std::isfinite(v.number))
                    error = worksheet_write_formula_num(m_sheet, r, c, text.constData(), format,
                                                        v.number);
                else // as the .xls stores it: text in the sum, or a sum past the largest number
                    error = worksheet_write_formula_str(
                        m_sheet, r, c, text.constData(), format,
                        v.kind == Operand::Kind::Number ? "#NUM!" : "#VALUE!");
                break;
            }
            }
            if (error != LXW_NO_ERROR)
                throw lodvik::Error(QStringLiteral("Cellen rad %1, kolumn %2 kan inte skrivas: %3.")
                                        .arg(r + 1)
                                        .arg(c + 1)
                                        .arg(reason(error)));
        }
    m_cells.eraseBefore(row0);
    m_writtenRows = std::max(m_writtenRows, row0);
}

void XlsxWorkbook::saveAs(const QString &fileName) {
    const QString what = QStringLiteral("Arbetsboken %1").arg(fileName);
    if (m_book) {
        writeRowsBefore(MaxRows);
        // The library writes the rows to its temporary file unchecked: a full disk shows only
        // in the file's error flag, and would otherwise give a workbook with rows missing.
        FILE *rows = m_sheet->optimize_tmpfile;
        if (rows && (std::fflush(rows) != 0 || std::ferror(rows)))
            throw lodvik::Error(QStringLiteral("%1 kan inte sparas: %2.")
                                    .arg(what, reason(LXW_ERROR_CREATING_TMPFILE)));
        const lxw_error error = workbook_close(m_book); // frees it, also on failure
        m_book = nullptr;
        if (error != LXW_NO_ERROR)
            throw lodvik::Error(QStringLiteral("%1 kan inte sparas: %2.").arg(what, reason(error)));
    }
    QFile built(m_built);
    if (!built.open(QIODevice::ReadOnly))
        throw lodvik::Error(
            QStringLiteral("%1 kan inte sparas: %2.").arg(what, built.errorString()));
    lodvik::saveFile(fileName, what, [&](QIODevice &out) {
        for (QByteArray chunk; !(chunk = built.read(1 << 20)).isEmpty();)
            out.write(chunk);
        if (built.error() != QFileDevice::NoError)
            throw lodvik::Error(
                QStringLiteral("%1 kan inte sparas: %2.").arg(what, built.errorString()));
    });
}

} // namespace xls
