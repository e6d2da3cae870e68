// libxlsxwriter's own time for the cells of a coverage workbook: the cells a `coverage --xlsx`
// run writes (two texts, thirteen numbers and two formulas with their values a product, the
// three heading rows in bold, Arial 10, the program's column widths and row height), written
// by the library alone with constant_memory on, as xls/XlsxWorkbook writes them. The values
// come from `coverage --format csv` of the same store, so the cells are those of the run.
//
//     lodvikprodsok coverage --period 2026-03-15 --format csv > rows.csv
//     bench_xlsx_cells rows.csv out.xlsx
//
// Prints the processor time (user and system) the writing took, in seconds.

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

// The fields of one CSV line (RFC 4180: quotes around a field that holds a comma or a quote).
std::vector<std::string> fields(const std::string &line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                out.back() += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                out.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.emplace_back();
        } else if (c != '\r') {
            out.back() += c;
        }
    }
    return out;
}

double seconds(const timeval &t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double processorTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROWS.csv OUT.xlsx\n", argv[0]);
        return 2;
    }
    // The rows first, so that only the writing is timed.
    std::FILE *in = std::fopen(argv[1], "r");
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<std::vector<std::string>> rows;
    std::string line;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (c != '\n') {
            line += char(c);
            continue;
        }
        rows.push_back(fields(line));
        line.clear();
    }
    std::fclose(in);
    if (rows.empty())
        return 1;
    // The CSV's columns by name, for the workbook's letters.
    const std::vector<std::string> &header = rows.front();
    const auto at = [&](const char *name) {
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return int(i);
        std::fprintf(stderr, "no column %s\n", name);
        std::exit(1);
    };
    // D E F (G) H I J K L M (N) O P, as the workbook's letters.
    const int numbers[] = {at("stock_frn"),
                           at("stock_dp"),
                           at("stock_pj"),
                           -1,
                           at("cover_weeks"),
                           at("cover_weeks_frn"),
                           at("backorder_pj"),
                           at("backorder_frn"),
                           at("order_pj"),
                           at("order_frn"),
                           -2,
                           at("sales_per_week_pj"),
                           at("sales_per_week_frn")};
    const int product = at("product"), description = at("description");
    const int total = at("stock_total"), orderTotal = at("order_total");

    const double start = processorTime();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *book = workbook_new_opt(argv[2], &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Blad1");
    lxw_format *normal = workbook_add_format(book);
    format_set_font_name(normal, "Arial");
    format_set_font_size(normal, 10);
    lxw_format *bold = workbook_add_format(book);
    format_set_font_name(bold, "Arial");
    format_set_font_size(bold, 10);
    format_set_bold(bold);
    worksheet_set_default_row(sheet, 12.75, LXW_FALSE);
    worksheet_set_column(sheet, 0, 0, 12, normal);
    worksheet_set_column(sheet, 1, 1, 25, normal);
    worksheet_set_column(sheet, 2, 12, 12, normal);
    const char *headings[3][17] = {
        {"", "", "", "Stock", "Stock", "Stock", "Total", "Coverage", "Coverage", "", "", "", "",
         "Total", "Sales", "Sales", ""},
        {"Produkt", "Produkt", "", "On Hand", "On Hand", "On Hand", "Stock", "Time", "Time FRN",
         "Backorder", "Backorder", "Order", "Order", "Order PJ", "per", "per", ""},
        {"Number", "Description", "Bags/pack", "FRN (packs)", "DP (Packs)", "PJ (Packs)", "(packs)",
         "Weeks", "Weeks", "PJ", "PJ FRN", "PJ", "PJ FRN", "Packs", "Week", "WeekFRN", "Actions"}};
    for (lxw_col_t c = 0; c < 17; ++c)
        worksheet_write_blank(sheet, 0, c, bold);
    for (int r = 0; r < 3; ++r)
        for (lxw_col_t c = 0; c < 17; ++c)
            if (*headings[r][c])
                worksheet_write_string(sheet, lxw_row_t(r + 1), c, headings[r][c], bold);
            else
                worksheet_write_blank(sheet, lxw_row_t(r + 1), c, bold);
    char formula[64];
    lxw_row_t row = 4;
    for (size_t i = 1; i < rows.size(); ++i, ++row) {
        const std::vector<std::string> &f = rows[i];
        if (f.size() < header.size())
            continue;
        worksheet_write_string(sheet, row, 0, f[size_t(product)].c_str(), normal);
        if (!f[size_t(description)].empty())
            worksheet_write_string(sheet, row, 1, f[size_t(description)].c_str(), normal);
        worksheet_write_number(sheet, row, 2, 1000, normal); // the units per pack
        for (lxw_col_t c = 3; c <= 15; ++c) {
            const int field = numbers[c - 3];
            const unsigned n = unsigned(row) + 1;
            if (field == -1) {
                std::snprintf(formula, sizeof formula, "D%u+E%u+F%u", n, n, n);
                worksheet_write_formula_num(sheet, row, c, formula, normal,
                                            std::atof(f[size_t(total)].c_str()));
            } else if (field == -2) {
                std::snprintf(formula, sizeof formula, "L%u+J%u", n, n);
                worksheet_write_formula_num(sheet, row, c, formula, normal,
                                            std::atof(f[size_t(orderTotal)].c_str()));
            } else if (!f[size_t(field)].empty()) {
                worksheet_write_number(sheet, row, c, std::atof(f[size_t(field)].c_str()), normal);
            }
        }
    }
    const lxw_error error = workbook_close(book);
    const double used = processorTime() - start;
    if (error != LXW_NO_ERROR) {
        std::fprintf(stderr, "%s\n", lxw_strerror(error));
        return 1;
    }
    std::printf("%.3f\n", used);
    return 0;
}
