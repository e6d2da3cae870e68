// The coverage overview over a generated run of 2,000, 32,000 and 128,000 products: the model, the
// first sort by weeks of cover, other sorts, the filter as the operator types, "visa bara under
// mål", the planning rules given, filtered and sorted by supplier, the whole window opened and
// shown, and in the open window a letter typed and a heading clicked until the list, the totals
// and the chart are drawn again. Target: a letter or a sort answers within 100 ms at 128,000
// products. Run: build/bench/bench_overview [largest number of products]

#include "overview/CoverageChart.h"
#include "overview/CoverageOverviewWindow.h"
#include "overview/CoverageTableModel.h"
#include "planning/Planning.h"
#include "reports/ListWriters.h"
#include "reports/ProposalFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

using lodvik::Variant;
using reports::ListColumn;

namespace {

const char *const words[] = {"EUR-PALL",    "PALLKRAGE",        "KRYMPHUV",  "SPÄNNBAND",
                             "WELLKARTONG", "ÅTERVINNINGSPALL", "HÖRNSKYDD", "STRÄCKFILM",
                             "ÖLBACK",      "ÄGGKARTONG",       "LASTPALL",  "ZINKPLÅT"};

// Rows as a run gives them: whole numbers, empty (nullopt) when they round to 0, the covers
// rounded, 0 without sales.
std::vector<reports::CoverageRow> generatedRows(int products) {
    QRandomGenerator rng(20101118);
    std::vector<reports::CoverageRow> rows(static_cast<size_t>(products));
    const auto figure = [&](int low, int high) -> reports::CellNumber {
        const int v = low + int(rng.bounded(high - low + 1));
        return v == 0 ? std::nullopt : std::optional(double(v));
    };
    for (int r = 1; r <= products; ++r) {
        reports::CoverageRow &row = rows[size_t(r - 1)];
        row.tableRow = r;
        row.product =
            QStringLiteral("%1-%2").arg(rng.bounded(10, 99)).arg(r, 5, 10, QLatin1Char('0'));
        row.description = QStringLiteral("%1 %2X%3")
                              .arg(QString::fromUtf8(words[rng.bounded(int(std::size(words)))]))
                              .arg(rng.bounded(200, 1400))
                              .arg(rng.bounded(200, 1200));
        row.productCell = Variant::String(row.product);
        row.descriptionCell = Variant::String(row.description);
        row.unitsPerPack = 1000.0 * rng.bounded(1, 13);
        row.stockFrn = figure(-50, 4000);
        row.stockDp = figure(-400, 100);
        row.stockPj = figure(0, 60);
        row.backOrderPj = figure(0, 40);
        row.backOrderFrn = figure(0, 10);
        row.orderPj = figure(0, 60);
        row.orderFrn = figure(0, 10);
        row.salesPj = r % 17 ? figure(0, 40) : std::nullopt;
        row.salesFrn = figure(0, 300);
        const double stock =
            row.stockFrn.value_or(0) + row.stockDp.value_or(0) + row.stockPj.value_or(0);
        row.stockTotal = stock;
        row.orderTotal = row.orderPj.value_or(0) + row.backOrderPj.value_or(0);
        const auto cover = [](double of, const reports::CellNumber &by) -> reports::CellNumber {
            if (by.value_or(0) == 0)
                return 0.0;
            const double weeks = std::round(of / *by);
            return weeks == 0 ? std::nullopt : std::optional(weeks);
        };
        row.coverWeeks = cover(stock, row.salesPj);
        row.coverWeeksFrn = cover(row.stockFrn.value_or(0), row.salesFrn);
    }
    return rows;
}

// A rule for two products in three: 40 suppliers, 12 groups, lead times and multiples.
PlanningRules generatedRules(const std::vector<reports::CoverageRow> &rows) {
    QRandomGenerator rng(4);
    PlanningRules rules;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i % 3)
            rules[rows[i].product] = PlanningRule{double(rng.bounded(0, 8)),
                                                  double(rng.bounded(0, 3)),
                                                  double(rng.bounded(0, 20)),
                                                  rng.bounded(1, 25),
                                                  rng.bounded(0, 50),
                                                  QStringLiteral("Leverantör %1").arg(i % 40),
                                                  QString::fromUtf8(words[i % 12])};
    return rules;
}

// The median of several runs of a step, in milliseconds.
double median(int runs, const std::function<void()> &before, const std::function<void()> &step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        before();
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void row(const char *what, double ms) {
    std::printf("| %s | %.1f ms |\n", what, ms);
}

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A step in the open window and everything it sets off (a delayed filter, the chart's redraw,
// the paint): the interface thread's processor time, the window's own pauses not counted.
double settled(QWidget &window, const std::function<void()> &step) {
    const double start = threadCpuMs();
    step();
    QEventLoop idle;
    QTimer::singleShot(400, &idle, &QEventLoop::quit);
    idle.exec();
    window.repaint();
    return threadCpuMs() - start;
}

// The median and the highest of the settled times of several steps.
void settledRow(const char *what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("| %s | %.1f ms (highest %.1f ms) |\n", what, times[times.size() / 2],
                times.back());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the remembered target is not the user's
    const int largest = argc > 1 ? std::atoi(argv[1]) : 128000;

    for (int products : {2000, 32000, 128000}) {
        if (products > largest)
            break;
        const int runs = products > 32000 ? 3 : 5;
        const std::vector<reports::CoverageRow> generated = generatedRows(products);
        std::printf("\n%d products, median of %d runs\n\n| Step | Time |\n| --- | ---: |\n",
                    products, runs);
        std::vector<reports::CoverageRow> rows = generated;

        overview::CoverageTableModel model;
        row("model: urgency and suggestions", median(
                                                  runs, [] {}, [&] { model.setRows(rows); }));

        overview::CoverageFilterModel shown;
        shown.setCoverageModel(&model);
        // Each column's sort keys are made on its first sort; a new run of rows forgets them.
        const auto fresh = [&] {
            shown.sort(-1);
            model.setRows(rows);
            shown.rowCount();
        };
        row("first sort by weeks of cover (keys made)", median(runs, fresh, [&] {
                shown.sort(int(ListColumn::Cover), Qt::AscendingOrder);
                shown.rowCount();
            }));
        row("first sort by description (Swedish order worked out)", median(runs, fresh, [&] {
                shown.sort(int(ListColumn::Description), Qt::AscendingOrder);
                shown.rowCount();
            }));
        row("sort by description again",
            median(
                runs, [&] { shown.sort(int(ListColumn::Cover), Qt::AscendingOrder); },
                [&] {
                    shown.sort(int(ListColumn::Description), Qt::AscendingOrder);
                    shown.rowCount();
                }));
        row("sort by suggestion, descending",
            median(
                runs, [&] { shown.sort(int(ListColumn::Cover), Qt::AscendingOrder); },
                [&] {
                    shown.sort(int(ListColumn::Suggestion), Qt::DescendingOrder);
                    shown.rowCount();
                }));
        shown.sort(int(ListColumn::Cover), Qt::AscendingOrder);
        row("filter \"pall\" typed letter by letter (4 filters)",
            median(
                runs, [&] { shown.setSearchText(QString()); },
                [&] {
                    for (const char *typed : {"p", "pa", "pal", "pall"}) {
                        shown.setSearchText(QString::fromUtf8(typed));
                        shown.rowCount(); // the view asks at once
                    }
                }));
        std::printf("|   (%d of %d rows shown) | |\n", shown.rowCount(), products);
        shown.setSearchText(QString());
        row("\"visa bara under mål\" on", median(
                                              runs, [&] { shown.setOnlyBelowTarget(false); },
                                              [&] {
                                                  shown.setOnlyBelowTarget(true);
                                                  shown.rowCount();
                                              }));
        std::printf("|   (%d of %d rows shown) | |\n", shown.rowCount(), products);
        shown.setOnlyBelowTarget(false);
        row("target changed (urgency, suggestions, re-sort)",
            median(
                runs, [] {},
                [&] {
                    model.setTargetWeeks(model.targetWeeks() == 4 ? 6 : 4);
                    shown.targetChanged();
                }));

        const PlanningRules rules = generatedRules(rows);
        row("rules given to the rows",
            median(
                runs, [] {}, [&] { planning::applyPlanning(rows, rules, {}); }));
        row("model with rules", median(
                                    runs, [] {}, [&] { model.setRows(rows); }));
        row("filter by one supplier", median(
                                          runs, [&] { shown.setSupplier(QString()); },
                                          [&] {
                                              shown.setSupplier(QStringLiteral("Leverantör 7"));
                                              shown.rowCount();
                                          }));
        std::printf("|   (%d of %d rows shown) | |\n", shown.rowCount(), products);
        shown.setSupplier(QString());
        const int supplierColumn = int(ListColumn::Supplier);
        row("first sort by supplier (regrouped)", median(runs, fresh, [&] {
                shown.sort(supplierColumn, Qt::AscendingOrder);
                shown.rowCount();
            }));
        row("first sort by order-by date", median(runs, fresh, [&] {
                shown.sort(int(ListColumn::OrderBy), Qt::AscendingOrder);
                shown.rowCount();
            }));
        row("proposal per supplier (CSV)",
            median(
                runs, [] {},
                [&] {
                    reports::proposalCsv(planning::proposalLines(reports::allRows(rows), 4),
                                         QDate(2010, 11, 18));
                }));

        QTemporaryDir dir;
        row("window with rules opened, filtered by supplier and regrouped",
            median(
                runs, [] {},
                [&] {
                    overview::CoverageOverviewWindow window(dir.filePath("local.mdb"), dir.path());
                    std::vector<reports::CoverageRow> withRules = generated;
                    planning::applyPlanning(withRules, rules, {});
                    window.setRun(std::move(withRules),
                                  figures::Period::fromText(QStringLiteral("2010-11-18")));
                    window.show();
                    window.shownRows()->setSupplier(QStringLiteral("Leverantör 7"));
                    window.view()->sortByColumn(supplierColumn, Qt::AscendingOrder);
                    window.chart()->refresh();
                    QCoreApplication::processEvents();
                    window.view()->viewport()->repaint();
                }));
        row("window opened and shown (rows, model, sort, chart, first paint)",
            median(
                runs, [] {},
                [&] {
                    overview::CoverageOverviewWindow window(dir.filePath("local.mdb"), dir.path());
                    window.setRun(generated,
                                  figures::Period::fromText(QStringLiteral("2010-11-18")));
                    window.show();
                    window.chart()->refresh();
                    QCoreApplication::processEvents();
                    window.view()->viewport()->repaint();
                }));

        overview::CoverageOverviewWindow window(dir.filePath("local.mdb"), dir.path());
        {
            std::vector<reports::CoverageRow> withRules = generated;
            planning::applyPlanning(withRules, rules, {});
            window.setRun(std::move(withRules),
                          figures::Period::fromText(QStringLiteral("2010-11-18")));
        }
        window.show();
        settled(window, [] {});
        std::vector<double> typed;
        std::vector<double> erased;
        for (int i = 0; i < runs; ++i) {
            for (const char letter : {'p', 'a', 'l', 'l'})
                typed.push_back(settled(
                    window, [&] { window.searchBox()->insert(QString(QLatin1Char(letter))); }));
            for (int left = 4; left-- > 0;)
                erased.push_back(settled(window, [&] { window.searchBox()->backspace(); }));
        }
        settledRow("open window: a letter typed into the filter box (of \"pall\")", typed);
        settledRow("open window: a letter erased (back to the whole list)", erased);
        QHeaderView *header = window.view()->horizontalHeader();
        std::vector<double> sorts;
        std::vector<double> firstSorts;
        for (int i = 0; i < runs; ++i)
            for (const ListColumn column :
                 {ListColumn::Description, ListColumn::Suggestion, ListColumn::Cover}) {
                const bool first = i == 0 && column != ListColumn::Cover;
                (first ? firstSorts : sorts).push_back(settled(window, [&] {
                    header->setSortIndicator(int(column),
                                             i % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
                }));
            }
        settledRow("open window: heading clicked, first sort of a column (description, suggestion)",
                   firstSorts);
        settledRow("open window: heading clicked (description, suggestion, cover)", sorts);
    }
    return 0;
}
