#pragma once

#include "MDlib/Variant.h"
#include "xls/Formula.h"
#include "xls/SheetWriter.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class QIODevice;

namespace xls {

// One worksheet of a workbook, offering the operations the reports drive: cell values, a value
// or formula over a range, column widths in characters, bold cells. Rows and columns count from
// 1 as the spreadsheet program's Cells(row, column) does; ranges are A1 texts in any case.
class Worksheet {
public:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;

    struct Cell {
        enum class Kind { Blank, Number, Text, Boolean, Formula };
        Kind kind = Kind::Blank;
        double number = 0;
        QString text;
        bool bold = false;
        bool date = false; // a Number shown as a date (yyyy-mm-dd)
        std::optional<Formula> formula;
    };

    // Sets a cell to a value: a text that spells a finite number becomes that number, the empty
    // text empties the cell, any other text (one beginning with "=" too) stays text; Empty and
    // Null empty it too. An infinite or NaN number raises lodvik::Error. Formatting stays.
    void setCell(int row, int column, const lodvik::Variant &value);
    // Sets every cell of a range ("G5:G12", "b8:s8", "A1"). A text beginning with "=" is the
    // report's own formula: written as for the range's first cell, each other cell gets it with
    // its relative references moved along. Other values are set as setCell sets them.
    void setRange(const QString &range, const lodvik::Variant &value);
    // Puts a formula into one cell, as setRange puts its formula into each cell of a range (the
    // caller moves it along with Formula::shifted). Formatting stays.
    void setFormula(int row, int column, const Formula &formula);
    // Sets the cells of a row that holds none yet from column 1 on, as setCell and setFormula
    // would set them one by one, in one piece. False, and nothing done, for a row that holds
    // cells or lies off the sheet: the caller then sets them one by one.
    bool setNewRow(int row, std::span<const SheetWriter::RowCell> cells);
    // A date: a number of days since 1899-12-30, as spreadsheets count them, shown as
    // yyyy-mm-dd. Not bold.
    void setDate(int row, int column, const QDate &date);
    // Width in characters of a column range such as "A:M" or "B:B".
    void setColumnWidth(const QString &columns, double characters);
    // Makes the cells of a range bold, written or not.
    void setBold(const QString &range);

    // Reading back (tests, evaluation).
    const Cell *cell(int row, int column) const;
    // The width set for a column (1 = A), or nullopt for the default width.
    std::optional<double> columnWidth(int column) const;
    // What the cell shows: its number, or for a formula its computed value.
    Operand value(int row, int column) const;

    // The cells of the rows held, by 0-based row, each row's cells in a flat buffer by 0-based
    // column: a long sheet written row by row holds only a few rows, so a cell costs no node of
    // its own. A Blank cell that is not bold counts as no cell. Shared with the .xlsx writer, so
    // that both formats hold the same cells.
    class CellMap {
    public:
        using Row = std::vector<Cell>;
        using Rows = std::map<int, Row>;
        static bool holds(const Cell &cell) { return cell.kind != Cell::Kind::Blank || cell.bold; }

        const Cell *find(int row0, int column0) const;
        Cell *find(int row0, int column0) {
            return const_cast<Cell *>(std::as_const(*this).find(row0, column0));
        }
        // The cell, made Blank when there is none (it counts once it is set or bold).
        Cell &at(int row0, int column0);
        // Makes the cell no cell, letting its row go when nothing is left in it.
        void erase(int row0, int column0);
        bool empty() const { return m_rows.empty(); }
        const Rows &rows() const { return m_rows; }
        Rows::const_iterator lowerBound(int row0) const { return m_rows.lower_bound(row0); }
        // Lets the rows before row0 go; their buffers are kept for the rows to come.
        void eraseBefore(int row0);
        // Whether the row holds a cell.
        bool hasRow(int row0) const { return rowOf(row0) != nullptr; }
        // An empty buffer for a new row, one let go before if there is one.
        Row spareRow();
        // Adds a row that holds no cell yet; cells ends with a cell it holds.
        void addRow(int row0, Row &&cells);

    private:
        Row *rowOf(int row0) const;

        Rows m_rows; // each row holds at least one cell
        std::vector<Row> m_spare;
        // The row last looked up: a sheet written row by row asks for the same row again and
        // again. Not for two threads at once.
        mutable int m_lastRow = -1;
        mutable Row *m_last = nullptr;
    };
    using Memo = std::map<std::pair<int, int>, Operand>;
    using Busy = std::map<std::pair<int, int>, bool>;
    // The cell setCell stores for value at (row, column) of a sheet of maxRows rows and
    // maxColumns columns. Raises lodvik::Error as setCell does.
    static Cell cellFor(int row, int column, const lodvik::Variant &value, int maxRows,
                        int maxColumns);
    // Makes cell the one cellFor makes, in place: a buffer of cells reused row after row keeps
    // its texts' room. Raises as cellFor does, leaving the cell not to be relied on.
    static void assign(Cell &cell, int row, int column, const lodvik::Variant &value, int maxRows,
                       int maxColumns);
    static Operand evaluate(const CellMap &cells, int row0, int column0, Memo &memo, Busy &busy);
    // What a formula reads from a cell that holds no formula.
    static Operand operand(const Cell &cell) {
        switch (cell.kind) {
        case Cell::Kind::Number:
        case Cell::Kind::Boolean:
            return Operand::fromNumber(cell.number);
        case Cell::Kind::Text:
            return {Operand::Kind::Text, 0};
        default:
            return {};
        }
    }
    struct Range {
        int firstRow, firstColumn, lastRow, lastColumn; // 0-based
    };
    static Range parseRange(const QString &text);
    // The 0-based first and last column of "A:M" or "B"; raises for a width out of range.
    static std::pair<int, int> parseColumns(const QString &columns, double characters);
    // Puts a cell made by cellFor into cells, keeping its boldness; a plain blank goes.
    static void store(CellMap &cells, int row0, int column0, Cell next);
    // setNewRow on the cells of a sheet of maxRows rows and maxColumns columns.
    static bool storeNewRow(CellMap &cells, int row, std::span<const SheetWriter::RowCell> values,
                            int maxRows, int maxColumns);
    // The cells of a new row made from values into buffer from its first cell on, as setCell
    // and setFormula make them (a buffer reused row after row keeps its room); gives how many
    // of them the row holds, up to its last cell that holds something. Raises as cellFor does.
    static size_t makeRow(CellMap::Row &buffer, int row,
                          std::span<const SheetWriter::RowCell> values, int maxRows,
                          int maxColumns);
    static void storeFormula(CellMap &cells, int row0, int column0, const Formula &formula);
    static void storeBold(CellMap &cells, const Range &range);

    // Writes out the records of the rows before row and lets those rows go from memory, so that
    // a long sheet written row by row need not be held whole. Only whole blocks of 32 rows are
    // finished; their cells must not be written again, and their formulas may read only cells of
    // rows set by now. cell() and value() no longer see finished rows. The file is the same.
    void finishRowsBefore(int row);

private:
    friend class Workbook;
    struct Extent {
        int firstRow = 0, lastRow = -1, firstColumn = MaxColumns, lastColumn = -1; // 0-based
    };
    // The shared strings, numbered in the order the cells using them are written.
    struct SharedStrings {
        QStringList strings;
        quint32 references = 0;
        // A string's number, counting a reference to it; a new string gets the next number.
        quint32 add(const QString &text);

    private:
        // Open addressing over the list: each slot a string's number plus 1 (0: free), found by
        // its hash, kept beside it. No node or key copy a string, as a QHash<QString> costs.
        std::vector<quint32> m_slots;
        std::vector<size_t> m_hashes;
        void grow();
    };

    Extent extent() const;
    // Widens e to the columns of the cells a row holds.
    static void widen(Extent &e, const CellMap::Row &cells);
    QByteArray headRecords() const; // BOF to DIMENSIONS
    // The ROW and cell records of the cells from `from` to `to`, in blocks of 32 rows, appended
    // to out; a string's number comes from sst(text).
    template <class Sst>
    void cellRecords(CellMap::Rows::const_iterator from, CellMap::Rows::const_iterator to,
                     std::string &out, Sst &&sst) const;
    static QByteArray tailRecords(); // WINDOW2 and EOF

    CellMap m_cells;
    std::array<double, MaxColumns> m_widths{}; // 0: default width
    std::vector<std::string> m_finished;       // records of the finished rows, in chunks
    qint64 m_finishedSize = 0;
    int m_finishedRows = 0; // 0-based rows below this are finished
    Extent m_finishedExtent;
    SharedStrings m_strings; // the finished rows' strings
    bool m_dates = false;    // a date cell was set: the workbook has the date's format
};

// A workbook of one worksheet, written as a BIFF8 .xls file in a compound file container.
class Workbook : public SheetWriter {
public:
    Worksheet &worksheet() { return m_sheet; }
    const Worksheet &worksheet() const { return m_sheet; }

    // The whole file.
    QByteArray toBytes() const;
    // The whole file, written to out.
    void write(QIODevice &out) const;
    // Writes the file through a temporary file in the same folder, replaced only when complete,
    // so that a failed save leaves an earlier file of that name intact. Raises lodvik::Error
    // with the reason: a missing folder, no permission, a full disk.
    void saveAs(const QString &fileName) const;
    void saveAs(const QString &fileName) override { std::as_const(*this).saveAs(fileName); }

    int maxRows() const override { return Worksheet::MaxRows; }
    void setCell(int row, int column, const lodvik::Variant &value) override {
        m_sheet.setCell(row, column, value);
    }
    void setFormula(int row, int column, const Formula &formula) override {
        m_sheet.setFormula(row, column, formula);
    }
    void setRow(int row, std::span<const RowCell> cells) override {
        if (!m_sheet.setNewRow(row, cells))
            SheetWriter::setRow(row, cells);
    }
    void setColumnWidth(const QString &columns, double characters) override {
        m_sheet.setColumnWidth(columns, characters);
    }
    void setBold(const QString &range) override { m_sheet.setBold(range); }
    void finishRowsBefore(int row) override { m_sheet.finishRowsBefore(row); }

private:
    Worksheet m_sheet;
};

} // namespace xls
