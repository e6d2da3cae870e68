#pragma once

#include "MDlib/Variant.h"
#include "xls/Formula.h"

#include <QString>

#include <span>

namespace xls {

// What a report writes into a workbook of one sheet, whatever the file format: cell values,
// formulas stored with their computed values, column widths, bold cells, and the save. Rows and
// columns count from 1; ranges are A1 texts.
class SheetWriter {
public:
    virtual ~SheetWriter() = default;

    // The rows a sheet of this format holds.
    virtual int maxRows() const = 0;
    // A text that spells a finite number becomes that number; the empty text, Empty and Null
    // empty the cell. Raises lodvik::Error for a cell off the sheet or a value it cannot hold.
    virtual void setCell(int row, int column, const lodvik::Variant &value) = 0;
    // The formula with the value it computes from the cells around it.
    virtual void setFormula(int row, int column, const Formula &formula) = 0;
    // One cell of a row given whole: its value, or its formula when that is set; neither leaves
    // the cell alone.
    struct RowCell {
        const lodvik::Variant *value = nullptr;
        const Formula *formula = nullptr;
    };
    // Sets cells[i] into column i + 1 of row, as setCell and setFormula set them one by one;
    // raises as they do, and a row that raised is not to be relied on.
    virtual void setRow(int row, std::span<const RowCell> cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].formula)
                setFormula(row, int(i) + 1, *cells[i].formula);
            else if (cells[i].value)
                setCell(row, int(i) + 1, *cells[i].value);
        }
    }
    virtual void setColumnWidth(const QString &columns, double characters) = 0;
    virtual void setBold(const QString &range) = 0;
    // The rows before row are complete and may leave memory; their formulas read only rows that
    // are still held.
    virtual void finishRowsBefore(int row) = 0;
    // Writes the file so that an earlier file of that name is replaced only by a complete one.
    virtual void saveAs(const QString &fileName) = 0;
};

} // namespace xls
