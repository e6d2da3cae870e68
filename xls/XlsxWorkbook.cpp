#include "xls/XlsxWorkbook.h"

#include "MDlib/Error.h"
#include "MDlib/SafeFile.h"

#include <QDir>
#include <QFile>

#include <xlsxwriter.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

QString cellFailure(lxw_row_t row, lxw_col_t column, lxw_error error) {
    return QStringLiteral("Cellen rad %1, kolumn %2 kan inte skrivas: %3.")
        .arg(row + 1)
        .arg(column + 1)
        .arg(reason(error));
}

} // namespace

// Cells as the library takes them, their texts (NUL-terminated UTF-8) in one array.
struct XlsxWorkbook::Batch {
    enum class Kind : quint8 { Blank, Number, Text, Boolean, FormulaNumber, FormulaText };
    struct Cell {
        lxw_row_t row;
        lxw_col_t column;
        Kind kind;
        lxw_format *format;
        double number;
        qsizetype text;     // Text, formulas: where its text starts in texts
        const char *result; // FormulaText: the value shown
    };
    // A batch is handed over once it holds this many cells (or more: rows are not split). A
    // few hundred rows: the handing over costs little against its writing.
    static constexpr size_t Cells = 4096;

    std::vector<Cell> cells;
    QByteArray texts;

    // Room made at once for a batch of rows of texts of ordinary length, not grown step by step.
    Batch() {
        cells.reserve(Cells + 256);
        texts.reserve(64 * 1024);
    }

    qsizetype addText(const char *utf8, qsizetype size) {
        const qsizetype at = texts.size();
        texts.append(utf8, size);
        texts.append('\0');
        return at;
    }
};

class XlsxWorkbook::RowWriter {
public:
    explicit RowWriter(lxw_worksheet *sheet) : m_sheet(sheet), m_thread([this] { work(); }) {}
    ~RowWriter() { stop(true); }

    // Queues a batch, waiting while two are queued already (so that the rows held stay few).
    void add(Batch &&batch) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < 2; });
        m_queue.push_back(std::move(batch));
        m_changed.notify_all();
    }
    // The first cell the library refused, once the batches before have been written.
    std::optional<QString> failure() {
        std::lock_guard lock(m_mutex);
        return m_failure;
    }
    // Writes what is queued (dropped, when abandoned) and ends the thread.
    void stop(bool abandon) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            if (abandon)
                m_queue.clear();
            m_changed.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void work() {
        for (;;) {
            std::optional<Batch> batch;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
                if (m_queue.empty())
                    return;
                batch.emplace(std::move(m_queue.front()));
                m_queue.pop_front();
                m_changed.notify_all();
                if (m_failure)
                    continue; // the library stops at the first cell it refuses
            }
            if (std::optional<QString> failed = write(*batch)) {
                std::lock_guard lock(m_mutex);
                m_failure = std::move(failed);
            }
        }
    }

    std::optional<QString> write(const Batch &batch) {
        for (const Batch::Cell &cell : batch.cells) {
            const char *text = batch.texts.constData() + cell.text;
            lxw_error error = LXW_NO_ERROR;
            switch (cell.kind) {
            case Batch::Kind::Blank:
                error = worksheet_write_blank(m_sheet, cell.row, cell.column, cell.format);
                break;
            case Batch::Kind::Number:
                error = worksheet_write_number(m_sheet, cell.row, cell.column, cell.number,
                                               cell.format);
                break;
            case Batch::Kind::Text:
                error = worksheet_write_string(m_sheet, cell.row, cell.column, text, cell.format);
                break;
            case Batch::Kind::Boolean:
                error = worksheet_write_boolean(m_sheet, cell.row, cell.column, int(cell.number),
                                                cell.format);
                break;
            case Batch::Kind::FormulaNumber:
                error = worksheet_write_formula_num(m_sheet, cell.row, cell.column, text,
                                                    cell.format, cell.number);
                break;
            case Batch::Kind::FormulaText:
                error = worksheet_write_formula_str(m_sheet, cell.row, cell.column, text,
                                                    cell.format, cell.result);
                break;
            }
            if (error != LXW_NO_ERROR)
                return cellFailure(cell.row, cell.column, error);
        }
        return std::nullopt;
    }

    lxw_worksheet *m_sheet;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    bool m_stopping = false;
    std::optional<QString> m_failure;
    std::thread m_thread; // last: starts once the rest is made
};

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
    m_writer.reset(); // before the library's data goes
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
    toCellMap();
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
    toCellMap();
    Worksheet::storeFormula(m_cells, row - 1, column - 1, formula);
}

void XlsxWorkbook::setRow(int row, std::span<const RowCell> cells) {
    // A new row in one piece; the checks setCell and setFormula make first.
    if (row >= 1 && row <= MaxRows) {
        requireOpen(row - 1);
        for (const RowCell &cell : cells)
            if (cell.formula)
                cell.formula->forEachCell([&](int r, int) { requireOpen(r); });
        toCellMap();
        if (m_cells.empty() && setPending(row, cells))
            return;
        if (Worksheet::storeNewRow(m_cells, row, cells, MaxRows, MaxColumns))
            return;
    }
    SheetWriter::setRow(row, cells);
}

bool XlsxWorkbook::setPending(int row, std::span<const RowCell> cells) {
    if (cells.size() > size_t(MaxColumns))
        return false;
    // Made as storeNewRow makes them: a value that cannot be written raises before the row is
    // kept.
    m_pendingEnd = Worksheet::makeRow(m_pending, row, cells, MaxRows, MaxColumns);
    m_pendingRow = m_pendingEnd > 0 ? row - 1 : -1;
    return true;
}

void XlsxWorkbook::toCellMap() {
    if (m_pendingRow < 0)
        return;
    Worksheet::CellMap::Row buffer = m_cells.spareRow();
    buffer.assign(m_pending.begin(), m_pending.begin() + qsizetype(m_pendingEnd));
    m_cells.addRow(m_pendingRow, std::move(buffer));
    m_pendingRow = -1;
}

void XlsxWorkbook::writePending(int before) {
    const int row0 = m_pendingRow;
    const auto ownRow = [&](int r, int c) {
        return r == row0 && c >= 0 && size_t(c) < m_pendingEnd;
    };
    // A formula that reads another of the row's formulas needs the sheet's order of evaluation.
    for (size_t c = 0; c < m_pendingEnd; ++c)
        if (const std::optional<Formula> &formula = m_pending[c].formula;
            m_pending[c].kind == Worksheet::Cell::Kind::Formula) {
            bool readsFormula = false;
            formula->forEachCell([&](int r, int column) {
                readsFormula = readsFormula ||
                               (ownRow(r, column) &&
                                m_pending[size_t(column)].kind == Worksheet::Cell::Kind::Formula);
            });
            if (readsFormula) {
                toCellMap();
                writeRowsBefore(before);
                return;
            }
        }
    startWriting();
    if (!m_batch)
        m_batch = std::make_unique<Batch>();
    for (size_t c = 0; c < m_pendingEnd; ++c) {
        const Worksheet::Cell &cell = m_pending[c];
        if (!Worksheet::CellMap::holds(cell))
            continue;
        Operand value;
        if (cell.kind == Worksheet::Cell::Kind::Formula)
            // The sheet holds no other row: a cell elsewhere is empty.
            value = cell.formula->evaluate([&](int r, int column) {
                return ownRow(r, column) ? Worksheet::operand(m_pending[size_t(column)])
                                         : Operand();
            });
        addCell(*m_batch, row0, int(c), cell, value);
    }
    m_pendingRow = -1;
    m_writtenRows = std::max(m_writtenRows, before);
    handOver(false);
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
    toCellMap();
    Worksheet::storeBold(m_cells, rg);
}

void XlsxWorkbook::finishRowsBefore(int row) {
    requireOpen(m_writtenRows);
    const int row0 = std::min(row - 1, MaxRows);
    if (m_pendingRow >= 0 && m_pendingRow < row0)
        writePending(row0); // the sheet holds no other row
    else
        writeRowsBefore(row0);
}

void XlsxWorkbook::startWriting() {
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
}

void XlsxWorkbook::addCell(Batch &batch, int row0, int column0, const Worksheet::Cell &cell,
                           const Operand &value) {
    Batch::Cell out{lxw_row_t(row0),
                    lxw_col_t(column0),
                    Batch::Kind::Blank,
                    cell.bold ? m_bold : m_normal,
                    0,
                    0,
                    nullptr};
    switch (cell.kind) {
    case Worksheet::Cell::Kind::Blank:
        break;
    case Worksheet::Cell::Kind::Number:
        out.kind = Batch::Kind::Number;
        out.number = cell.number;
        break;
    case Worksheet::Cell::Kind::Text: {
        out.kind = Batch::Kind::Text;
        const QByteArray utf8 = cell.text.toUtf8();
        out.text = batch.addText(utf8.constData(), utf8.size());
        break;
    }
    case Worksheet::Cell::Kind::Boolean:
        out.kind = Batch::Kind::Boolean;
        out.number = cell.number;
        break;
    case Worksheet::Cell::Kind::Formula:
        cell.formula->textInto(m_formulaText);
        out.text = batch.addText(m_formulaText.data(), qsizetype(m_formulaText.size()));
        if (value.kind == Operand::Kind::Number && std::isfinite(value.number)) {
            out.kind = Batch::Kind::FormulaNumber;
            out.number = value.number;
        } else { // as the .xls stores it: text in the sum, or a sum past the largest
            out.kind = Batch::Kind::FormulaText;
            out.result = value.kind == Operand::Kind::Number ? "#NUM!" : "#VALUE!";
        }
        break;
    }
    batch.cells.push_back(out);
}

void XlsxWorkbook::writeRowsBefore(int row0) {
    startWriting();
    const auto to = m_cells.lowerBound(row0);
    Worksheet::Memo memo;
    Worksheet::Busy busy;
    if (!m_batch)
        m_batch = std::make_unique<Batch>();
    for (auto row = m_cells.rows().cbegin(); row != to; ++row)
        for (int column = 0; column < int(row->second.size()); ++column) {
            const Worksheet::Cell &cell = row->second[size_t(column)];
            if (!Worksheet::CellMap::holds(cell))
                continue;
            const Operand value = cell.kind == Worksheet::Cell::Kind::Formula
                                      ? Worksheet::evaluate(m_cells, row->first, column, memo, busy)
                                      : Operand();
            addCell(*m_batch, row->first, column, cell, value);
        }
    m_cells.eraseBefore(row0);
    m_writtenRows = std::max(m_writtenRows, row0);
    handOver(false);
}

void XlsxWorkbook::handOver(bool all) {
    if (!m_batch || m_batch->cells.empty() || (!all && m_batch->cells.size() < Batch::Cells))
        return;
    if (!m_writer)
        m_writer = std::make_unique<RowWriter>(m_sheet);
    if (std::optional<QString> failure = m_writer->failure())
        throw lodvik::Error(*failure);
    m_writer->add(std::move(*m_batch));
    m_batch = std::make_unique<Batch>();
}

void XlsxWorkbook::finishWriting() {
    handOver(true);
    if (!m_writer)
        return;
    m_writer->stop(false);
    const std::optional<QString> failure = m_writer->failure();
    m_writer.reset();
    if (failure)
        throw lodvik::Error(*failure);
}

void XlsxWorkbook::saveAs(const QString &fileName) {
    const QString what = QStringLiteral("Arbetsboken %1").arg(fileName);
    if (m_book) {
        toCellMap();
        writeRowsBefore(MaxRows);
        finishWriting();
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
