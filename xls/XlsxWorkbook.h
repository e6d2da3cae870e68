#pragma once

#include "xls/SheetWriter.h"
#include "xls/Workbook.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <span>
#include <string>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace xls {

// A workbook of one worksheet written as an .xlsx file (libxlsxwriter), for sheets longer than
// an .xls sheet holds. It takes the same cells as the BIFF8 Workbook and writes them with the
// same look: Arial 10, bold cells, column widths, a formula stored with its computed value.
// Rows go to the file in order as they are finished, so a long sheet is never held whole.
class XlsxWorkbook : public SheetWriter {
public:
    static constexpr int MaxRows = 1048576;
    static constexpr int MaxColumns = 16384;

    // Raises lodvik::Error when no temporary folder can be made for the file being built.
    XlsxWorkbook();
    ~XlsxWorkbook() override;
    XlsxWorkbook(const XlsxWorkbook &) = delete;
    XlsxWorkbook &operator=(const XlsxWorkbook &) = delete;

    int maxRows() const override { return MaxRows; }
    void setCell(int row, int column, const lodvik::Variant &value) override;
    void setFormula(int row, int column, const Formula &formula) override;
    void setRow(int row, std::span<const RowCell> cells) override;
    void setColumnWidth(const QString &columns, double characters) override;
    void setBold(const QString &range) override;
    void finishRowsBefore(int row) override;
    // Finishes the file (after this the sheet takes no more cells) and stores it under fileName
    // through a temporary file in the same folder, replaced only when complete.
    void saveAs(const QString &fileName) override;

private:
    struct Batch;
    // Raises unless the sheet still takes cells at and below 0-based row0.
    void requireOpen(int row0) const;
    void startWriting();            // the column widths, before the first row
    void writeRowsBefore(int row0); // hands the held rows before row0 to the library
    // A cell to the batch; value is what a formula cell computes.
    void addCell(Batch &batch, int row0, int column0, const Worksheet::Cell &cell,
                 const Operand &value);
    // Keeps a row set whole into a sheet that holds no other as the pending row; false for a
    // row too wide.
    bool setPending(int row, std::span<const RowCell> cells);
    void writePending(int before); // hands the pending row to the library, as writeRowsBefore
    void toCellMap();              // puts the pending row among the sheet's rows
    void handOver(bool all);       // the cells made so far to the writing thread
    void finishWriting();          // waits for the writing thread; raises what it met

    // The library's own work on the rows (each row's XML into its temporary file) runs on a
    // thread of its own, while the run makes the rows that follow: cells leave in batches.
    class RowWriter;
    std::unique_ptr<Batch> m_batch;
    std::unique_ptr<RowWriter> m_writer;

    QTemporaryDir m_folder; // the library's own temporary files and the finished file
    QByteArray m_folderPath;
    QString m_built;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_normal = nullptr;
    lxw_format *m_bold = nullptr;
    Worksheet::CellMap m_cells; // the rows not yet handed over
    // A row set whole into a sheet that held no other, written straight from here when it is
    // finished; anything else done to the sheet before puts it among m_cells first. A sheet
    // written row by row (the coverage list) so needs no cell map. Its buffer stays from one
    // row to the next.
    int m_pendingRow = -1; // 0-based; -1 for none
    Worksheet::CellMap::Row m_pending;
    size_t m_pendingEnd = 0; // past its last cell that holds something
    std::string m_formulaText;
    std::map<int, double> m_widths; // by 0-based column
    bool m_started = false;         // the column widths are handed over with the first row
    int m_writtenRows = 0;          // 0-based rows below this are in the library
};

} // namespace xls
