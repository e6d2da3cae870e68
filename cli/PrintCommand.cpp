#include "cli/Commands.h"
#include "cli/StderrProgress.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "printengine/PrintEngine.h"
#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"
#include "skriv/ProductListPrintout.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

namespace cli {

namespace {

struct PrintRequest {
    SearchOption search;
    QString pdf;
    std::optional<figures::Period> period;
};

PrintRequest takePrintRequest(QStringList args) {
    PrintRequest request;
    request.search = takeSearchOption(args);
    request.pdf = takeOption(args, QStringLiteral("--pdf"));
    request.period = takePeriodOption(args);
    requireNoMore(args);
    if (request.pdf.isEmpty())
        throw lodvik::UsageError(QStringLiteral("Ange PDF-filen med --pdf FIL."));
    return request;
}

} // namespace

void checkPrintArguments(const QStringList &args) {
    takePrintRequest(args);
}

int print(const QStringList &arguments) {
    const PrintRequest request = takePrintRequest(arguments);
    const SearchOption &option = request.search;
    const QString &pdf = request.pdf;

    // The window's search and printout, with the pages going into the PDF.
    const SearchResult result = runSearch(option);
    const QList<ProductListRow> rows = productListRows(*result.rows);

    PrintEngine engine;
    engine.PrintSetup(1);
    printProductList(engine, rows, figures::periodText(request.period));
    engine.writePdf(pdf);
    const QString summary =
        QStringLiteral("Skrev %1 %2 på %3 %4 till %5.")
            .arg(rows.size())
            .arg(rows.size() == 1 ? QStringLiteral("rad") : QStringLiteral("rader"))
            .arg(engine.pageCount())
            .arg(engine.pageCount() == 1 ? QStringLiteral("sida") : QStringLiteral("sidor"),
                 QDir::toNativeSeparators(pdf));
    StderrProgress::note(summary);
    // The file is the result, on stdout as the reports print theirs.
    printOut(QDir::toNativeSeparators(QFileInfo(pdf).absoluteFilePath()));
    return 0;
}

} // namespace cli
