// Lays out a long product list and writes it as PDF; prints the times to stdout.
#include "printengine/PrintEngine.h"
#include "skriv/ProductListPrintout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    for (int count : {450, 4500, 45000}) {
        QList<ProductListRow> rows;
        for (int i = 0; i < count; ++i)
            rows.append({lodvik::Variant::String(QStringLiteral("Artikel %1").arg(i)),
                         lodvik::Variant::String(QString::number(100000 + i))});
        PrintEngine engine;
        QElapsedTimer timer;
        timer.start();
        printProductList(engine, rows, QStringLiteral("2026-12-05"));
        const qint64 layout = timer.nsecsElapsed();
        timer.restart();
        engine.writePdf(dir.filePath(QStringLiteral("bench.pdf")));
        const qint64 pdf = timer.nsecsElapsed();
        std::printf("%6d rows, %5d pages: layout %8.2f ms, PDF %9.1f ms\n", count,
                    engine.pageCount(), layout / 1e6, pdf / 1e6);
    }
    return 0;
}
