#include "Startmeny/StartmenyOperations.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "reports/Reports.h"
#include "xls/Workbook.h"

#include <QDesktopServices>
#include <QDir>
#include <QTemporaryFile>
#include <QUrl>

#include <functional>

using lodvik::Variant;

namespace reports {

QString summaryWorkbookFileName(const QString &perioddatum) {
    return gAppPath + QStringLiteral("/rapporter/Pallvik") + perioddatum + QStringLiteral(".xls");
}

void writeSummarySheet(xls::Worksheet &sheet, const SummaTabell &summatabell, bool visible) {
    // Headings of columns B to R as the saved sheet has them in rows 2, 3 and 4.
    static const char *const headings[17][3] = {
        {"Sales", "Prior", "Month"},
        {"Sales", "Current", "Month"},
        {"Orders", "Current", "Month"},
        {" ", "Back", "Orders"},
        {" ", "", "Insight"},
        {" ", "", "Insight%"},
        {"Salesplan", "Current", "Month"},
        {"Sales", "Plan", "Budget"},
        {"", "", "GSC"},
        {"", "", "GIT"},
        {"", "", "GSU"},
        {"", "Integrated", "Stock"},
        {"", "TAS", "QTY"},
        {"Outside", "Current", "Month"},
        {"", "Prod.", "Sched."},
        {"", "Prod.", "Act."},
        {"", "Coverage", "time"},
    };
    const int columnO = 15;
    for (int column = 2; column <= 18; ++column) {
        const int firstRow = column == columnO || !visible ? 2 : 1;
        if (column == columnO)
            sheet.setCell(1, column, Variant::String(QStringLiteral("Orders")));
        for (int i = 0; i < 3; ++i)
            sheet.setCell(firstRow + i, column,
                          Variant::String(QString::fromUtf8(headings[column - 2][i])));
    }
    sheet.setCell(5, 1, Variant::String(QStringLiteral("PJ")));
    sheet.setCell(6, 1, Variant::String(QStringLiteral("FRN")));
    sheet.setCell(7, 1, Variant::String(QStringLiteral("DP")));
    sheet.setCell(8, 1, Variant::String(QStringLiteral("Total")));
    for (int x = 1; x <= 14; ++x)
        for (int source = 1; source <= 3; ++source)
            sheet.setCell(
                4 + source, x + 1,
                Variant::String(Format(Variant::Double(summatabell[size_t(x)][size_t(source)]),
                                       QStringLiteral("######"))));
    sheet.setRange(QStringLiteral("B8:S8"), Variant::String(QStringLiteral("=sum(B5:b7)")));
}

} // namespace reports

void StartmenyOperations::tillexell() {
    xls::Workbook book;
    BusyCursorScope busy; // restored also when a step fails
    const QString fileName = reports::summaryWorkbookFileName(perioddatum);
    showProgress(QStringLiteral("Skapar excelfilen ") + fileName);
    reports::writeSummarySheet(book.worksheet(), summatabell, false);
    book.saveAs(fileName);
}

void StartmenyOperations::visaexell() {
    xls::Workbook book;
    reports::writeSummarySheet(book.worksheet(), summatabell, true);
    // A temporary file of its own for each showing, left for the spreadsheet program to open;
    // the operator saves it elsewhere when it is to be kept.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/Pallvik") + perioddatum +
                        QStringLiteral("-XXXXXX.xls"));
    file.setAutoRemove(false);
    if (!file.open())
        throw lodvik::Error(QStringLiteral("Ingen tillfällig fil kunde skapas i %1: %2")
                                .arg(QDir::tempPath(), file.errorString()));
    const QString fileName = file.fileName();
    file.close();
    book.saveAs(fileName);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)))
        throw lodvik::Error(
            QStringLiteral("Arbetsboken %1 är skriven, men inget kalkylprogram kunde öppna den.")
                .arg(fileName));
}

void StartmenyOperations::fillSummatabell() {
    // Work on a copy, so that a failing figure leaves the table as it was.
    SummaTabell table = summatabell;
    enum Source { PJ = 1, FRN = 2, DP = 3 };
    using Figure = std::function<Variant()>;
    const auto put = [&](int figure, int source, const QString &name, const Figure &compute) {
        showProgress(name);
        table[size_t(figure)][size_t(source)] =
            NullToValue(compute(), QStringLiteral("T")).toDouble();
    };
    // Figure x is column x + 1: B sales prior month, C sales current month, D orders current
    // month, E back orders, J GSC, K GIT, O outside orders.
    put(1, PJ, QStringLiteral("salespriormonthPJ"), [&] { return salespriormonthPJ(); });
    put(1, FRN, QStringLiteral("salespriormonthFRN"), [&] { return salespriormonthFRN(); });
    put(1, DP, QStringLiteral("salespriormonthDP"), [&] { return salespriormonthDP(); });
    put(2, PJ, QStringLiteral("salescurrmonthPJ"), [&] { return salescurrmonthPJ(); });
    put(2, FRN, QStringLiteral("salescurrmonthFRN"), [&] { return salescurrmonthFRN(); });
    put(2, DP, QStringLiteral("salescurrmonthDP"), [&] { return salescurrmonthDP(); });
    put(3, PJ, QStringLiteral("orderscurrmonthPJ"), [&] { return orderscurrmonthPJ(); });
    put(3, FRN, QStringLiteral("orderscurrmonthFRN"), [&] { return orderscurrmonthFRN(); });
    put(3, DP, QStringLiteral("orderscurrmonthDP"), [&] { return orderscurrmonthDP(); });
    put(4, PJ, QStringLiteral("backordersPJ"), [&] { return backordersPJ(); });
    put(4, FRN, QStringLiteral("backordersFRN"), [&] { return backordersFRN(); });
    put(4, DP, QStringLiteral("backordersDP"), [&] { return backordersDP(); });
    put(9, PJ, QStringLiteral("GSCPJ"), [&] { return GSCPJ(); });
    put(9, FRN, QStringLiteral("GSCFRN"), [&] { return GSCFRN(); });
    put(9, DP, QStringLiteral("GSCDP"), [&] { return GSCDP(); });
    put(10, PJ, QStringLiteral("GITPJ"), [&] { return GITPJ(); });
    put(14, PJ, QStringLiteral("outsidePJ"), [&] { return outsidePJ(); });
    put(14, FRN, QStringLiteral("outsideFRN"), [&] { return outsideFRN(); });
    put(14, DP, QStringLiteral("outsideDP"), [&] { return outsideDP(); });
    summatabell = table;
}
