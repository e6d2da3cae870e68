#pragma once

#include "figures/Period.h"
#include "reports/CoverageRow.h"

#include <QDate>
#include <QDialog>

#include <functional>
#include <vector>

class PrintEngine;
class PrintPreviewWidget;
class QLabel;
class QSpinBox;

namespace overview {

// Lays the rows out as a new document in the engine, on A4 landscape: every page headed with
// the period, the target and the total to order, the columns (reports::ListColumn numbers, the
// overview model's; none for all of the model's in their order), page numbers
// "Sida n av m" at the foot. Numbers are right-aligned; the description, and the supplier, group
// and mark where the page is short of room, are cut to their column. The order urgency is
// measured against today.
void printCoverageList(PrintEngine &engine, const std::vector<const reports::CoverageRow *> &rows,
                       const figures::Period &period, int targetWeeks,
                       const std::vector<int> &columns = {},
                       const QDate &today = QDate::currentDate());

// The printout's preview: one page at a time, printed on the default printer or saved as PDF.
class CoverageListPreview : public QDialog {
    Q_OBJECT

public:
    explicit CoverageListPreview(QWidget *parent = nullptr);

    PrintEngine &engine() { return *m_engine; }
    // Shows page 1 of what the engine holds.
    void showDocument();

    // The PDF file to write, or "" to leave it (replaceable, so that tests run without dialogs).
    std::function<QString(const QString &reason)> choosePdfFile;

private:
    void showPage(int page);
    void printAll();
    void savePdf(const QString &reason);

    PrintEngine *m_engine;
    PrintPreviewWidget *m_display;
    QSpinBox *m_page;
    QLabel *m_pages;
};

} // namespace overview
