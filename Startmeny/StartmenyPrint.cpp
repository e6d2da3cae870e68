#include "Startmeny/Startmeny.h"

#include "MDlib/MDlib.h"
#include "printengine/PrintEngine.h"
#include "search/DataControl.h"
#include "search/SearchSource.h"
#include "skriv/ProductListPrintout.h"
#include "skriv/skriv.h"

#include <QLabel>

// Prints the listed products into the preview. The rows are read off the interface thread
// (a whole table over a server takes seconds) before the new document begins, so a failing or
// cancelled read leaves the last printout in the preview.
void Startmeny::Utskrift_Click() {
    // The printout may go without a date, but not with one in another layout.
    std::optional<figures::Period> period;
    if (!requirePeriod(period, /*emptyAllowed=*/true))
        return;
    // A row being edited is stored first, as leaving it for a new query would.
    commitOpenEditor();
    Data1->submitRow();
    const QString appPath = m_appPath;
    const QString recordSource = Data1->recordSource();
    const QString caption = Label2->text();
    auto rows = std::make_shared<QList<ProductListRow>>();
    Background fetch;
    fetch.work = [appPath, recordSource, rows](lodvik::Progress &progress) {
        progress.caption(QStringLiteral("Läser produkterna..."), lodvik::Progress::Show::Now);
        // The data control's query once more, on a connection of this thread's own.
        const std::unique_ptr<SearchSource> source = openSearchSource(appPath);
        DataControl control;
        control.setSource(source.get());
        control.setRecordSource(recordSource);
        control.refresh();
        while (control.canFetchMore(QModelIndex())) {
            progress.checkCancelled();
            control.fetchMore(QModelIndex());
            progress.count(control.rowCount(QModelIndex()));
        }
        *rows = productListRows(control);
    };
    fetch.done = [this, rows, caption, period] {
        Label2->setText(caption);
        BusyCursorScope busy;
        skriv &preview = skriv::instance(); // the first reference loads the preview, hidden
        preview.vsPrinter->PrintSetup(1);
        preview.show();
        preview.raise();
        printProductList(*preview.vsPrinter, *rows, figures::periodText(period));
    };
    runInBackground(QStringLiteral("Utskrift"), fetch);
}
