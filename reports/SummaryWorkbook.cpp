#include "reports/Reports.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "MDlib/SystemError.h"
#include "figures/StockFigures.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"
#include "xls/Workbook.h"

#include <QDir>
#include <QTemporaryFile>

#include <cerrno>

using lodvik::Variant;

namespace reports {

QString summaryWorkbookFileName(const QString &appPath,
                                const std::optional<figures::Period> &period) {
    return appPath + QStringLiteral("/rapporter/Pallvik") + figures::periodText(period) +
           QStringLiteral(".xls");
}

namespace {

// Headings of columns B to R as the saved sheet has them in rows 2, 3 and 4.
const char *const headings[17][3] = {
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

// The labels of rows 5 to 8 in column A: the sources 1 to 3 and their sum.
const char *const rowLabels[] = {"PJ", "FRN", "DP", "Total"};

// What the progress shows while a total is counted: its column's heading and its source's row.
QString totalCaption(int figure, int source) {
    QStringList words;
    for (const char *word : headings[figure - 1])
        if (!QByteArrayView(word).trimmed().isEmpty())
            words.append(QString::fromUtf8(word));
    return words.join(QLatin1Char(' ')) + QStringLiteral(", ") +
           QLatin1String(rowLabels[source - 1]);
}

// The stock summary sheet. The visible variant puts the headings one row higher (all but column
// O, which keeps rows 1 to 4); labels, data cells and totals are the same.
void writeSummarySheet(xls::Worksheet &sheet, const SummaTabell &summatabell, bool visible) {
    const int columnO = 15;
    for (int column = 2; column <= 18; ++column) {
        const int firstRow = column == columnO || !visible ? 2 : 1;
        if (column == columnO)
            sheet.setCell(1, column, Variant::String(QStringLiteral("Orders")));
        for (int i = 0; i < 3; ++i)
            sheet.setCell(firstRow + i, column,
                          Variant::String(QString::fromUtf8(headings[column - 2][i])));
    }
    for (int row = 5; row <= 8; ++row)
        sheet.setCell(row, 1, Variant::String(QLatin1String(rowLabels[row - 5])));
    for (int x = 1; x <= 14; ++x)
        for (int source = 1; source <= 3; ++source)
            sheet.setCell(
                4 + source, x + 1,
                Variant::String(Format(Variant::Double(summatabell[size_t(x)][size_t(source)]),
                                       QStringLiteral("######"))));
    sheet.setRange(QStringLiteral("B8:S8"), Variant::String(QStringLiteral("=sum(B5:b7)")));
}

} // namespace

void tillexell(const SummaTabell &summatabell, const QString &fileName,
               lodvik::Progress &progress) {
    xls::Workbook book;
    BusyCursorScope busy; // restored also when a step fails
    progress.caption(QStringLiteral("Skapar excelfilen ") + fileName, lodvik::Progress::Show::Now);
    writeSummarySheet(book.worksheet(), summatabell, false);
    book.saveAs(fileName);
}

QString visaexell(const SummaTabell &summatabell, const std::optional<figures::Period> &period,
                  const QString &folder) {
    xls::Workbook book;
    writeSummarySheet(book.worksheet(), summatabell, true);
    // A file of its own for each showing, left for the spreadsheet program to open. It is
    // read-only, so that the spreadsheet program asks where to save it rather than saving it
    // among throw-away files.
    if (!QDir().mkpath(folder))
        throw lodvik::Error(QStringLiteral("Mappen %1 kan inte skapas.").arg(folder));
    QTemporaryFile file(folder + QStringLiteral("/Pallvik") + figures::periodText(period) +
                        QStringLiteral("-XXXXXX.xls"));
    file.setAutoRemove(false);
    if (!file.open()) {
        const int error = errno;
        throw lodvik::Error(QStringLiteral("Ingen tillfällig fil kunde skapas i %1: %2")
                                .arg(folder, lodvik::fileFailure(file, error)));
    }
    const QString fileName = file.fileName();
    file.close();
    book.saveAs(fileName);
    QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::ReadUser);
    return fileName;
}

void removeShownWorkbooks(const QString &folder) {
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({QStringLiteral("Pallvik*-??????.xls")}, QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(name));
}

void fillSummatabell(SummaTabell &summatabell, figures::StockFigures &figures,
                     const figures::Period &period, lodvik::Progress &progress) {
    // Work on a copy, so that a failing figure leaves the table as it was.
    SummaTabell table = summatabell;
    // One connection for all the totals, and on the server store one snapshot: a load that
    // commits meanwhile shows in none of them. The pack size lookups of the DP and FRN totals
    // seek in pjomr by product.
    dao::Database db = dao::Database::OpenExtractStore(figures.localDatabase);
    catalogue::prepareIndexes(db, progress);
    enum Source { PJ = 1, FRN = 2, DP = 3 };
    const figures::FigureArguments arguments{QString(), period, 0};
    const auto put = [&](int figure, int source, const char *name) {
        progress.checkCancelled();
        progress.caption(totalCaption(figure, source));
        const figures::NamedFigure *total = figures::findNamedFigure(QLatin1String(name));
        table[size_t(figure)][size_t(source)] =
            NullToValue(total->run(figures, arguments), QStringLiteral("T")).toDouble();
    };
    // Figure x is column x + 1: B sales prior month, C sales current month, D orders current
    // month, E back orders, J GSC, K GIT, O outside orders.
    put(1, PJ, "salespriormonthPJ");
    put(1, FRN, "salespriormonthFRN");
    put(1, DP, "salespriormonthDP");
    put(2, PJ, "salescurrmonthPJ");
    put(2, FRN, "salescurrmonthFRN");
    put(2, DP, "salescurrmonthDP");
    put(3, PJ, "orderscurrmonthPJ");
    put(3, FRN, "orderscurrmonthFRN");
    put(3, DP, "orderscurrmonthDP");
    put(4, PJ, "backordersPJ");
    put(4, FRN, "backordersFRN");
    put(4, DP, "backordersDP");
    put(9, PJ, "GSCPJ");
    put(9, FRN, "GSCFRN");
    put(9, DP, "GSCDP");
    put(10, PJ, "GITPJ");
    put(14, PJ, "outsidePJ");
    put(14, FRN, "outsideFRN");
    put(14, DP, "outsideDP");
    summatabell = table;
}

} // namespace reports
