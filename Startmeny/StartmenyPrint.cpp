#include "Startmeny/Startmeny.h"

#include "MDlib/MDlib.h"
#include "data/DataControl.h"
#include "printengine/PrintEngine.h"
#include "skriv/ProductListPrintout.h"
#include "skriv/skriv.h"

// Prints the listed products into the preview. Errors go to the caller's boundary, which also
// ends the hourglass.
void Startmeny::Utskrift_Click() {
    BusyCursorOn();
    skriv &preview = skriv::instance(); // the first reference loads the preview, hidden
    preview.vsPrinter->PrintSetup(1);
    preview.show();
    preview.raise();
    // The rows are read before the new document begins, so a failing read leaves the last
    // printout in the preview.
    printProductList(*preview.vsPrinter, productListRows(*Data1), perioddatum);
    BusyCursorOff();
}
