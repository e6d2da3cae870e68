#pragma once

#include "figures/Period.h"
#include "planning/RunHistory.h"
#include "reports/CoverageRow.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace lodvik {
class Progress;
class RunMemory;
} // namespace lodvik

namespace reports {

class ProductWorkbook;

// The coverage run as the command line, the window and the tests start it: the products of
// pjomr counted, the workbook's format chosen from the count, the run made and its rows handed
// on as they come, the workbook saved, and the products the list left out told.
class CoverageJob {
public:
    struct Options {
        bool workbook = true;    // write the coverage workbook
        bool alwaysXlsx = false; // as .xlsx whatever the count
        // Keeps the run in the program folder's history, started from there; the snapshot's
        // suggestions and urgency by targetWeeks.
        std::optional<planning::RunOrigin> keep{};
        double targetWeeks = planning::DefaultTargetWeeks;
    };
    CoverageJob(const QString &appPath, const figures::Period &period, Options options);
    ~CoverageJob();

    // Counts the products and chooses the workbook's format and file. Raises lodvik::Error when
    // the store cannot be read.
    void count();
    // The products count() found in pjomr; -1 before it.
    qint64 products() const { return m_products; }
    // What the operator is told before the run when the count makes the workbook an .xlsx;
    // empty otherwise.
    QString xlsxNotice() const;
    // The workbook's file, chosen by count(); empty without a workbook.
    QString workbookFile() const { return m_file; }

    // The run: each row, as soon as it is made, goes into the workbook and to rowDone with
    // whether the list keeps it (the list ends at the first product without a number). A
    // product that stops the run raises lodvik::Error, Avbryt lodvik::Cancelled; nothing is
    // saved then. A row whose rule follows the trend comes with its trend over the kept runs.
    using RowDone = std::function<void(const CoverageRow &row, bool listed)>;
    void run(lodvik::Progress &progress, const RowDone &rowDone = {});
    // Saves the workbook (an earlier file of that name is replaced only by a complete new one)
    // and shows "Klart". A run kept in the history saves in its turn, then keeps its snapshot;
    // raises lodvik::Error, nothing saved, when another run holds the turn too long.
    // moreOutputs (the scheduled run's proposal) are written in the same turn, after the workbook.
    void save(lodvik::Progress &progress, const std::function<void()> &moreOutputs = {});
    // Why the history did not keep the run although its files were saved; empty when it did.
    QString historyNotKept() const { return m_notKept; }
    // What the operator is told when the trend left out kept runs that cannot be read; empty
    // when none.
    QString historyWarning() const { return m_historyWarning; }

    // What the operator is told of the products the list left out; empty when none.
    QString leftOutMessage() const;
    // The workbook of the same period in the other format, which an earlier run left beside the
    // one just written; empty when there is none.
    QString olderWorkbook() const;
    // Removes it; raises lodvik::Error when it cannot be removed.
    void removeOlderWorkbook(const QString &older) const;
    // What the operator is told of it: that it stays, or with removed that it is gone.
    QString olderWorkbookNotice(const QString &older, bool removed) const;

private:
    void makeRoom();

    // The run's room in the heap; declared first, so that it is let go last, after all the run's
    // memory.
    std::unique_ptr<lodvik::RunMemory> m_memory;
    QString m_appPath;
    figures::Period m_period;
    Options m_options;
    qint64 m_products = -1;
    QString m_file;
    std::unique_ptr<ProductWorkbook> m_book;
    QString m_leftOut;
    // The history's side of a kept run: its store, the planning its rows had, the weekly sales
    // of the products that follow the trend, and the snapshot as it grows.
    struct History;
    void openHistory();
    std::unique_ptr<History> m_history;
    QString m_notKept;
    QString m_historyWarning;
};

} // namespace reports
