#include "skriv/ProductListPrintout.h"

#include "MDlib/MDlib.h"
#include "printengine/PrintEngine.h"
#include "printengine/PrintLayout.h"
#include "search/DataControl.h"

namespace {

// Vertical positions are line numbers of 57 twips.
constexpr qint16 LineTwips = 57;

qint16 rowTop(qint16 line) {
    return qint16(line * LineTwips);
}

} // namespace

void printProductList(PrintEngine &engine, const QList<ProductListRow> &rows,
                      const QString &perioddatum) {
    engine.DocAction(PrintEngine::StartDoc);

    SetHeadingFont(engine);
    PrintAt(engine, QStringLiteral("Lodvik group"), 1140, 570);
    PrintAt(engine, QStringLiteral("Produkt "), 7980, 570);
    SetNormalFont(engine);
    PrintAt(engine, QStringLiteral("Utsk.datum ") + perioddatum, 7980, 1596);
    PrintLetterhead(engine);

    qint16 line = 39;
    SetBoldFont(engine);
    SetNormalFont(engine);

    if (!rows.isEmpty()) {
        qint16 group = 1;
        for (const ProductListRow &row : rows) {
            ++group;
            PrintAt(engine, NullToValue(row.Soknamn, QStringLiteral("S")).toText(), 1140,
                    rowTop(line));
            PrintAt(engine, NullToValue(row.Produktnummer, QStringLiteral("S")).toText(), 2280,
                    rowTop(line));
            if (group > 5) {
                group = 1;
                line += 8;
            } else {
                line += 4;
            }
            // The page is full after its 45th row; the new page starts before the end of
            // the list is tested, so a multiple of 45 rows ends on an empty page.
            if (line > 250) {
                group = 1;
                SetBoldFont(engine);
                engine.DocAction(PrintEngine::NewPage);
                SetHeadingFont(engine);
                PrintAt(engine, QStringLiteral("Lagerregister"), 7980, 570);
                SetNormalFont(engine);
                PrintLetterhead(engine);
                line = 40;
                SetNormalFont(engine);
            }
        }
    }

    engine.DocAction(PrintEngine::EndDoc);
}

QList<ProductListRow> productListRows(DataControl &control) {
    QList<ProductListRow> rows;
    const int count = control.recordCount();
    rows.reserve(count);
    for (int row = 0; row < count; ++row)
        rows.append({control.field(row, QStringLiteral("Soknamn")),
                     control.field(row, QStringLiteral("Produktnummer"))});
    return rows;
}
