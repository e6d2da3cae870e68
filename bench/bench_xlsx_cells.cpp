// libxlsxwriter's own time for the cells of a coverage workbook: the cells a `coverage --xlsx`
// run wrote, read back from that run's workbook, written again by the library alone with
// constant_memory on, as xls/XlsxWorkbook writes them (Arial 10, bold where the run's are, the
// program's column widths and row height). The sheet it writes must be the run's, byte for
// byte (the CRC of the two sheets' XML is compared): else it says so and exits 1, since its time
// would be that of other cells.
//
//     lodvikprodsok coverage --period 2026-03-15 --xlsx      (prints the workbook's path)
//     bench_xlsx_cells RUN.xlsx OUT.xlsx
//
// Prints the processor time (user and system) the writing took, in seconds. The writing is
// writeCells() alone, for valgrind's --toggle-collect.

#include <xlsxwriter.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr const char *SheetEntry = "xl/worksheets/sheet1.xml";

unsigned le(const std::string &bytes, size_t at, int size) {
    unsigned v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + size_t(i)]);
    return v;
}

struct ZipEntry {
    std::string data; // inflated
    unsigned crc = 0;
};

// One entry of a zip file (stored or deflated, as libxlsxwriter writes them), by the central
// directory.
std::optional<ZipEntry> zipEntry(const std::string &zip, std::string_view name) {
    const size_t end = zip.rfind(std::string("PK\5\6", 4));
    if (end == std::string::npos || end + 22 > zip.size())
        return std::nullopt;
    size_t at = le(zip, end + 16, 4);
    for (unsigned n = le(zip, end + 10, 2); n > 0 && at + 46 <= zip.size(); --n) {
        const unsigned method = le(zip, at + 10, 2), crc = le(zip, at + 16, 4);
        const unsigned packed = le(zip, at + 20, 4), size = le(zip, at + 24, 4);
        const size_t nameLength = le(zip, at + 28, 2);
        const size_t next = at + 46 + nameLength + le(zip, at + 30, 2) + le(zip, at + 32, 2);
        if (std::string_view(zip).substr(at + 46, nameLength) != name) {
            at = next;
            continue;
        }
        const size_t local = le(zip, at + 42, 4);
        const size_t data = local + 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
        if (data + packed > zip.size())
            return std::nullopt;
        ZipEntry entry{std::string(size, '\0'), crc};
        if (method == 0) {
            entry.data = zip.substr(data, packed);
            return entry;
        }
        z_stream z{};
        if (method != 8 || inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return std::nullopt;
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zip.data() + data));
        z.avail_in = packed;
        z.next_out = reinterpret_cast<Bytef *>(entry.data.data());
        z.avail_out = size;
        const int status = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (status != Z_STREAM_END)
            return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

std::optional<std::string> fileBytes(const char *path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The value of attribute name in the tag text (as libxlsxwriter writes them: name="value").
std::string_view attribute(std::string_view tag, std::string_view name) {
    std::string key(1, ' ');
    key.append(name).append("=\"");
    const size_t at = tag.find(key);
    if (at == std::string_view::npos)
        return {};
    const size_t from = at + key.size();
    return tag.substr(from, tag.find('"', from) - from);
}

// XML text back to its characters: the five entities and libxlsxwriter's _xHHHH_ for a
// control character.
std::string unescaped(std::string_view text) {
    static const std::pair<std::string_view, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool done = false;
        for (const auto &[entity, c] : entities)
            if (text.substr(i, entity.size()) == entity) {
                out += c, i += entity.size(), done = true;
                break;
            }
        if (!done && text.substr(i, 2) == "_x" && i + 7 <= text.size() && text[i + 6] == '_') {
            const unsigned code =
                unsigned(std::strtoul(std::string(text.substr(i + 2, 4)).c_str(), nullptr, 16));
            if (code < 0x20)
                out += char(code), i += 7, done = true;
        }
        if (!done)
            out += text[i++];
    }
    return out;
}

// Whether each cell format (the cells' s="N") is bold, from styles.xml's fonts and cellXfs.
std::vector<bool> boldFormats(std::string_view styles) {
    std::vector<bool> boldFonts;
    const size_t fonts = styles.find("<fonts");
    for (size_t at = styles.find("<font>", fonts);
         at != std::string_view::npos && at < styles.find("</fonts>", fonts);
         at = styles.find("<font>", at + 1))
        boldFonts.push_back(styles.substr(at, styles.find("</font>", at) - at).find("<b/>") !=
                            std::string_view::npos);
    std::vector<bool> bold;
    const size_t xfs = styles.find("<cellXfs");
    for (size_t at = styles.find("<xf ", xfs);
         at != std::string_view::npos && at < styles.find("</cellXfs>", xfs);
         at = styles.find("<xf ", at + 1)) {
        const size_t font = size_t(
            std::atoi(std::string(attribute(styles.substr(at, styles.find('>', at) - at), "fontId"))
                          .c_str()));
        bold.push_back(font < boldFonts.size() && boldFonts[font]);
    }
    return bold;
}

// A cell of the run's sheet, as the library is handed it.
struct Cell {
    enum class Kind { Blank, Number, Text, Boolean, FormulaNumber, FormulaText };
    lxw_row_t row = 0;
    lxw_col_t column = 0;
    Kind kind = Kind::Blank;
    int format = 0; // s="N"
    double number = 0;
    std::string text;   // Text; formulas: the formula
    std::string result; // FormulaText: the value shown
};

bool cellAddress(std::string_view ref, lxw_row_t &row, lxw_col_t &column) {
    size_t i = 0;
    unsigned c = 0;
    for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z'; ++i)
        c = c * 26 + unsigned(ref[i] - 'A' + 1);
    if (i == 0 || i == ref.size())
        return false;
    column = lxw_col_t(c - 1);
    row = lxw_row_t(std::strtoul(std::string(ref.substr(i)).c_str(), nullptr, 10) - 1);
    return true;
}

std::string_view between(std::string_view text, std::string_view open, std::string_view close) {
    const size_t at = text.find(open);
    if (at == std::string_view::npos)
        return {};
    const size_t from = text.find('>', at) + 1;
    return text.substr(from, text.find(close, from) - from);
}

// The cells of sheet XML in the order it holds them (row by row).
std::optional<std::vector<Cell>> sheetCells(std::string_view xml) {
    std::vector<Cell> cells;
    for (size_t at = xml.find("<c "); at != std::string_view::npos; at = xml.find("<c ", at + 1)) {
        const size_t tagEnd = xml.find('>', at);
        const std::string_view tag = xml.substr(at, tagEnd - at);
        Cell cell;
        if (!cellAddress(attribute(tag, "r"), cell.row, cell.column))
            return std::nullopt;
        cell.format = std::atoi(std::string(attribute(tag, "s")).c_str());
        if (tag.ends_with('/')) { // <c r=".." s=".."/>
            cells.push_back(std::move(cell));
            continue;
        }
        const size_t close = xml.find("</c>", tagEnd);
        const std::string_view body = xml.substr(tagEnd + 1, close - tagEnd - 1);
        const std::string_view type = attribute(tag, "t");
        const std::string value(between(body, "<v", "</v>"));
        if (type == "inlineStr") {
            cell.kind = Cell::Kind::Text;
            cell.text = unescaped(between(body, "<t", "</t>"));
        } else if (type == "b") {
            cell.kind = Cell::Kind::Boolean;
            cell.number = std::atof(value.c_str());
        } else if (body.find("<f") != std::string_view::npos) {
            cell.text = unescaped(between(body, "<f", "</f>"));
            if (type == "str") {
                cell.kind = Cell::Kind::FormulaText;
                cell.result = unescaped(value);
            } else {
                cell.kind = Cell::Kind::FormulaNumber;
                cell.number = std::strtod(value.c_str(), nullptr);
            }
        } else if (type.empty()) {
            cell.kind = Cell::Kind::Number;
            cell.number = std::strtod(value.c_str(), nullptr);
        } else {
            return std::nullopt; // shared strings and the like: not what the run writes
        }
        cells.push_back(std::move(cell));
    }
    return cells;
}

double seconds(const timeval &t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double processorTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The cells written as xls/XlsxWorkbook writes them: formats made in its order, the widths it
// sets for the product workbook.
__attribute__((noinline)) lxw_error writeCells(const char *path, const std::vector<Cell> &cells,
                                               const std::vector<bool> &bold) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *book = workbook_new_opt(path, &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Blad1");
    lxw_format *formats[2] = {workbook_add_format(book), workbook_add_format(book)};
    for (lxw_format *format : formats) {
        format_set_font_name(format, "Arial");
        format_set_font_size(format, 10);
    }
    format_set_bold(formats[1]);
    worksheet_set_default_row(sheet, 12.75, LXW_FALSE);
    worksheet_set_column(sheet, 0, 0, 12, formats[0]);
    worksheet_set_column(sheet, 1, 1, 25, formats[0]);
    worksheet_set_column(sheet, 2, 12, 12, formats[0]);
    for (const Cell &c : cells) {
        lxw_format *format =
            c.format <= 0 ? nullptr
                          : formats[size_t(c.format) < bold.size() && bold[size_t(c.format)]];
        switch (c.kind) {
        case Cell::Kind::Blank:
            worksheet_write_blank(sheet, c.row, c.column, format);
            break;
        case Cell::Kind::Number:
            worksheet_write_number(sheet, c.row, c.column, c.number, format);
            break;
        case Cell::Kind::Text:
            worksheet_write_string(sheet, c.row, c.column, c.text.c_str(), format);
            break;
        case Cell::Kind::Boolean:
            worksheet_write_boolean(sheet, c.row, c.column, int(c.number), format);
            break;
        case Cell::Kind::FormulaNumber:
            worksheet_write_formula_num(sheet, c.row, c.column, c.text.c_str(), format, c.number);
            break;
        case Cell::Kind::FormulaText:
            worksheet_write_formula_str(sheet, c.row, c.column, c.text.c_str(), format,
                                        c.result.c_str());
            break;
        }
    }
    return workbook_close(book);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RUN.xlsx OUT.xlsx\n", argv[0]);
        return 2;
    }
    // The run's cells first, so that only the writing is timed.
    const std::optional<std::string> run = fileBytes(argv[1]);
    const std::optional<ZipEntry> sheet = run ? zipEntry(*run, SheetEntry) : std::nullopt;
    const std::optional<ZipEntry> styles = run ? zipEntry(*run, "xl/styles.xml") : std::nullopt;
    const std::optional<std::vector<Cell>> cells = sheet ? sheetCells(sheet->data) : std::nullopt;
    if (!styles || !cells) {
        std::fprintf(stderr, "%s: no worksheet of a coverage run's .xlsx\n", argv[1]);
        return 1;
    }

    const std::vector<bool> bold = boldFormats(styles->data);

    const double start = processorTime();
    const lxw_error error = writeCells(argv[2], *cells, bold);
    const double used = processorTime() - start;
    if (error != LXW_NO_ERROR) {
        std::fprintf(stderr, "%s\n", lxw_strerror(error));
        return 1;
    }
    const std::optional<std::string> written = fileBytes(argv[2]);
    const std::optional<ZipEntry> same = written ? zipEntry(*written, SheetEntry) : std::nullopt;
    if (!same || same->crc != sheet->crc) {
        std::fprintf(stderr, "%s: the sheet written is not the run's (%zu cells read)\n", argv[2],
                     cells->size());
        return 1;
    }
    std::printf("%.3f\n", used);
    return 0;
}
