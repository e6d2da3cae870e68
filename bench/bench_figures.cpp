// Times the figures on a generated local store at a realistic scale: every whole-table total,
// and the per-product figures of all products as a coverage run calls them.
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "demo/DemoLocalStore.h"
#include "figures/StockFigures.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <functional>

using lodvik::Variant;

namespace {

// Counts the progress captions instead of printing them, so that the figure work is measured.
class Counting : public lodvik::Progress {
public:
    Counting() : Progress(0) {}
    long captions = 0;

protected:
    void show() override { ++captions; }
};

struct Timing {
    double wall;
    double cpu; // this thread's processor time: what the figure costs on a busy machine
};

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

Timing seconds(const std::function<void()> &work) {
    QElapsedTimer timer;
    const double cpu = cpuNow();
    timer.start();
    work();
    return {double(timer.nsecsElapsed()) / 1e9, cpuNow() - cpu};
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("local.mdb"));

    DemoExtractSize size;
    size.products = 2000;
    size.dtsplRows = 50000;
    size.rowsPerItem = 2;
    const double build = seconds([&] { createDemoLocalStore(path, size); }).wall;
    long rows = 0;
    {
        dao::Database db = dao::Database::OpenDatabase(path);
        for (const catalogue::Table &t : catalogue::localTables()) {
            dao::Recordset rs =
                db.OpenRecordset(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(t.name));
            rows += long(rs.Fields(0).number());
        }
    }
    std::printf("Store: %d products, %d DTSPL rows, %ld rows in all; generated in %.2f s\n\n",
                size.products, size.dtsplRows, rows, build);

    Counting progress;
    figures::StockFigures ops(path, progress);
    const figures::Period period = figures::Period::fromText(QStringLiteral("2026-11-18"));
    std::printf("| Whole-table total | Value | Wall (s) | CPU (s) |\n|---|---:|---:|---:|\n");
    for (const figures::NamedFigure &t : figures::namedFigures()) {
        if (t.takesProduct)
            continue;
        Variant value;
        const Timing s = seconds([&] { value = t.run(ops, {QString(), period, 0}); });
        std::printf("| %s | %s | %.3f | %.3f |\n", t.name,
                    value.toDisplayText().toUtf8().constData(), s.wall, s.cpu);
    }

    // The per-product figures as the coverage run calls them: inside its walk of pjomr, whose
    // connection the figures share.
    const auto perProduct = [&](bool insideWalk) {
        long figuresRun = 0;
        const auto one = [&](const QString &product, double umconv) {
            const double umfaktor = umconv * 1000;
            ops.pj.StockOnHandPJ(product, umfaktor);
            ops.pj.ProdBackOrderPJ(product, umfaktor);
            ops.pj.ProdOrderPJ(product, umfaktor);
            ops.pj.SalesPerWeek(product, umfaktor);
            ops.frn.avail(product);
            ops.frn.StockOnHandFRN(product);
            ops.frn.ProdOrderFRN(product, umfaktor);
            ops.frn.ProdBackOrderFRN(Variant::String(product), umfaktor);
            ops.frn.SalesPerWeekFRN(product, period);
            ops.dp.StockOnHandDP(product);
            ops.pj.getlagersaldo(product);
            ops.pj.getantaliforpack(product);
            figuresRun += 12;
        };
        std::vector<std::pair<QString, double>> products;
        const Timing s = seconds([&] {
            dao::Database db = dao::Database::OpenDatabase(path);
            dao::Recordset rs =
                db.OpenRecordset(QStringLiteral("SELECT  *  FROM pjomr  ORDER BY iblitm"));
            for (; !rs.isEOF(); rs.MoveNext()) {
                const QString product = rs.Fields(QStringLiteral("iblitm")).toText();
                const double umconv = rs.Fields(QStringLiteral("umconv")).toDouble();
                if (insideWalk)
                    one(product, umconv);
                else
                    products.emplace_back(product, umconv);
            }
            rs.Close();
            db.Close();
            for (const auto &[product, umconv] : products)
                one(product, umconv);
        });
        std::printf("| Per-product figures, %s | %ld | %.3f | %.3f |\n",
                    insideWalk ? "inside the walk of pjomr (shared connection)"
                               : "each opening local.mdb itself",
                    figuresRun, s.wall, s.cpu);
    };
    std::printf(
        "\n| Per-product run (2,000 products, 12 figures each) | Figures | Wall (s) | CPU (s) |\n"
        "|---|---:|---:|---:|\n");
    perProduct(true);
    if (qEnvironmentVariableIsEmpty("LODVIK_BENCH_QUICK"))
        perProduct(false);
    std::printf("\nProgress captions shown: %ld\n", progress.captions);
    return 0;
}
