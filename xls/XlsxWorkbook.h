#pragma once

#include "xls/SheetWriter.h"
#include "xls/Workbook.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>

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
    // Raises unless the sheet still takes cells at and below 0-based row0.
    void requireOpen(int row0) const;
    void writeRowsBefore(int row0); // hands the held rows before row0 to the library
    void handOver(bool all);        // the cells made so far to the writing thread
    void finishWriting();           // waits for the writing thread; raises what it met

    // The library's own work on the rows (each row's XML into its temporary file) runs on a
    // thread of its own, while the run makes the rows that follow: cells leave in batches.
    struct Batch;
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
    Worksheet::CellMap m_cells;     // the rows not yet handed over
    std::map<int, double> m_widths; // by 0-based column
    bool m_started = false;         // the column widths are handed over with the first row
    int m_writtenRows = 0;          // 0-based rows below this are in the library
};

} // namespace xls
