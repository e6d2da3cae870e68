#include "../common/CoverageColumnRows.h"
#include "../common/DataRows.h"
#include "../common/MessageBoxes.h"
#include "../common/ProgramFolder.h"
#include "MDlib/Error.h"
#include "Startmeny/Startmeny.h"
#include "overview/CoverageChart.h"
#include "overview/CoverageListPrintout.h"
#include "overview/CoverageOverviewWindow.h"
#include "overview/CoverageTableModel.h"
#include "overview/PlanningPanel.h"
#include "printengine/PrintEngine.h"
#include "reports/CoverageOverview.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QValueAxis>

using lodvik::Variant;
using reports::ListColumn;

namespace {

// A produkttabell row as a run leaves it: texts for the figures, as "########" gives them.
struct Product {
    const char *number;
    const char *description;
    const char *stockFrn; // D
    const char *cover;    // H ("" stored empty, nullptr the Integer 0 of no sales)
    const char *sales;    // O
};

std::vector<reports::CoverageRow> rowsOf(const std::vector<Product> &products) {
    ProduktTabell table;
    int r = 1;
    for (const Product &p : products) {
        table.at(r, 1) = Variant::String(QString::fromUtf8(p.number));
        table.at(r, 2) = Variant::String(QString::fromUtf8(p.description));
        table.at(r, 3) = Variant::Double(1000);
        table.at(r, 4) = Variant::String(QString::fromUtf8(p.stockFrn));
        table.at(r, 8) =
            p.cover ? Variant::String(QString::fromUtf8(p.cover)) : Variant::Integer(0);
        table.at(r, 15) = Variant::String(QString::fromUtf8(p.sales));
        ++r;
    }
    return reports::coverageRows(table);
}

// What the list shows of each workbook column for a row whose table column k holds 100 + k:
// its place, heading and cell (G = D + E + F, N = L + J); -1 for a column the list leaves out.
struct Shown {
    char letter;
    int at;
    const char *heading;
    const char *cell;
};
const Shown shownColumns[] = {
    {'A', 1, "Produkt", "X1"},
    {'B', 2, "Benämning", "Vara"},
    {'C', -1, "", ""},
    {'D', 3, "Lager FRN", "104"},
    {'E', 4, "Lager DP", "105"},
    {'F', 5, "Lager PJ", "106"},
    {'G', 6, "Lager totalt", "315"},
    {'H', 9, "Täckning v", "108"},
    {'I', 10, "Täckning v FRN", "109"},
    {'J', 11, "Restorder PJ", "110"},
    {'K', 12, "Restorder FRN", "111"},
    {'L', 13, "Order PJ", "112"},
    {'M', 14, "Order FRN", "113"},
    {'N', 15, "Order totalt", "222"},
    {'O', 7, "Förs./v PJ", "115"},
    {'P', 8, "Förs./v FRN", "116"},
    {'Q', -1, "", ""},
    {'R', -1, "", ""},
};

QStringList columnTexts(const QAbstractItemModel &model, ListColumn c) {
    QStringList values;
    for (int r = 0; r < model.rowCount(); ++r)
        values << model.index(r, int(c)).data().toString();
    return values;
}

} // namespace

class TestOverview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true); // the remembered target stays out of the user's
        QLocale::setDefault(QLocale::c()); // the list's Swedish order must not come from here
    }

    void sortOrder_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("products"); // ascending
        addRow("descriptions, Å Ä Ö after Z", int(ListColumn::Description),
               QStringList{"P5", "P2", "P3", "P4", "P6", "P1"});
        // As numbers, not as texts ("100" < "20" < "9"); an empty cell counts 0.
        addRow("stock as numbers", int(ListColumn::StockFrn),
               QStringList{"P3", "P5", "P6", "P4", "P2", "P1"});
        // Weeks of cover: a cover rounded to nothing first, products without sales last.
        addRow("cover, no sales last", int(ListColumn::Cover),
               QStringList{"P5", "P6", "P1", "P4", "P3", "P2"});
    }

    void sortOrder() {
        QFETCH(int, column);
        QFETCH(QStringList, products);
        overview::CoverageTableModel model;
        model.setRows(rowsOf({{"P1", "Örn", "100", "3", "5"},
                              {"P2", "Zebra", "20", nullptr, ""},
                              {"P3", "Ål", "-12", "9", "1"},
                              {"P4", "Äpple", "9", "5", "2"},
                              {"P5", "apa", "", "", "7"},
                              {"P6", "Ödla", "", "1", "1"}}));
        overview::CoverageFilterModel shown;
        shown.setCoverageModel(&model);
        shown.sort(column, Qt::AscendingOrder);
        QCOMPARE(columnTexts(shown, ListColumn::Product), products);
        shown.sort(column, Qt::DescendingOrder);
        std::reverse(products.begin(), products.end());
        if (ListColumn(column) != ListColumn::StockFrn) // P5 and P6 tie at 0 and keep their order
            QCOMPARE(columnTexts(shown, ListColumn::Product), products);
    }

    // Each column of the coverage table in the model: its heading, the workbook letter its
    // tooltip names, and its cell.
    void everyColumn_data() { addCoverageColumnRows(); }

    void everyColumn() {
        const reports::CoverageColumn &column = fetchCoverageColumn();
        const Shown &expected = shownColumns[column.column() - 1];
        QCOMPARE(expected.letter, column.letter);
        ProduktTabell table;
        table.at(1, 1) = Variant::String(QStringLiteral("X1"));
        table.at(1, 2) = Variant::String(QStringLiteral("Vara"));
        for (int k = 3; k <= 16; ++k)
            table.at(1, k) = Variant::String(QString::number(100 + k));
        overview::CoverageTableModel model;
        model.setRows(reports::coverageRows(table));
        const QString tip = QStringLiteral("kolumn %1").arg(QLatin1Char(column.letter));
        int shownAt = -1;
        for (int c = 0; c < model.columnCount(); ++c)
            if (model.headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString().endsWith(tip))
                shownAt = c;
        QCOMPARE(shownAt, expected.at);
        if (shownAt < 0)
            return;
        QCOMPARE(model.headerData(shownAt, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString::fromUtf8(expected.heading));
        QCOMPARE(model.index(0, shownAt).data().toString(), QString::fromUtf8(expected.cell));
    }

    void filterAndTarget() {
        overview::CoverageTableModel model;
        model.setRows(rowsOf({{"A-100", "Pallkrage", "10", "1", "10"},
                              {"B-200", "Åldrad pall", "30", "3", "10"},
                              {"C-300", "Krympfilm", "50", "5", "10"},
                              {"D-400", "Kartong", "5", nullptr, ""}}));
        overview::CoverageFilterModel shown;
        shown.setCoverageModel(&model);
        shown.sort(int(ListColumn::Product), Qt::AscendingOrder);
        // Product number or description, any case, anywhere in the text.
        shown.setSearchText(QStringLiteral("åldr"));
        QCOMPARE(columnTexts(shown, ListColumn::Product), QStringList{"B-200"});
        shown.setSearchText(QStringLiteral("-3"));
        QCOMPARE(columnTexts(shown, ListColumn::Product), QStringList{"C-300"});
        shown.setSearchText(QString());
        // Target 4: cover 1 is under half of it, 3 under it; 5 and no sales are not under it.
        shown.setOnlyBelowTarget(true);
        QCOMPARE(columnTexts(shown, ListColumn::Product), (QStringList{"A-100", "B-200"}));
        model.setTargetWeeks(6);
        shown.targetChanged();
        QCOMPARE(columnTexts(shown, ListColumn::Product), (QStringList{"A-100", "B-200", "C-300"}));
        QCOMPARE(model.urgency(1), reports::Urgency::BelowTarget); // exactly half is not under it
        model.setTargetWeeks(2);
        shown.targetChanged();
        QCOMPARE(columnTexts(shown, ListColumn::Product), QStringList{"A-100"});
    }

    void savedListIsTheListAsShown() {
        QTemporaryDir dir;
        overview::CoverageOverviewWindow window(dir.filePath(QStringLiteral("local.mdb")),
                                                dir.path());
        window.setRun(rowsOf({{"A-100", "Pallkrage, blå", "10", "1", "10"},
                              {"B-200", "Pallkrage röd", "30", "3", "10"},
                              {"C-300", "Krympfilm", "50", "5", "10"},
                              {"D-400", "Pallkrage grå", "5", nullptr, ""}}),
                      figures::Period::fromText(QStringLiteral("2010-11-18")));
        window.setTargetWeeks(4);
        window.shownRows()->setSearchText(QStringLiteral("pallkrage"));
        window.view()->sortByColumn(int(ListColumn::StockFrn), Qt::DescendingOrder);
        const QString file = dir.filePath(QStringLiteral("lista.csv"));
        window.saveList(file);
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QStringList products;
        for (qsizetype i = 1; i < lines.size(); ++i)
            if (!lines.at(i).trimmed().isEmpty())
                products << QString::fromUtf8(lines.at(i).split(',').value(1));
        QCOMPARE(products, (QStringList{"B-200", "A-100", "D-400"}));
        // The total to order is over the rows shown: A-100 40 − 10 = 30, B-200 40 − 30 = 10.
        QCOMPARE(window.totalToOrder(), (std::pair<qint64, int>{40, 2}));
    }

    // Supplier filter and totals, marks kept in the store and shown, the proposal per supplier
    // with a quantity changed in place.
    void planningInTheWindow() {
        ProgramFolder home;
        QTemporaryDir dir;
        overview::CoverageOverviewWindow window(dir.filePath(QStringLiteral("local.mdb")),
                                                dir.path());
        window.planning()->openStore = [&] { return openPlanningStore(home.path()); };
        std::vector<reports::CoverageRow> rows = rowsOf({{"A-100", "Pallkrage", "10", "1", "10"},
                                                         {"B-200", "Pall", "30", "3", "10"},
                                                         {"C-300", "Krympfilm", "50", "5", "10"}});
        const PlanningRule acme{2, 0, 0, 25, 0, QStringLiteral("Acme"), QStringLiteral("Pall")};
        reports::applyPlanning(rows, {{"A-100", acme}, {"B-200", acme}}, {});
        window.setRun(std::move(rows), figures::Period::fromText(QStringLiteral("2010-11-18")));
        window.setTargetWeeks(4);
        window.view()->sortByColumn(int(ListColumn::Product), Qt::AscendingOrder);
        window.show(); // the boxes take their size
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // A-100: 10 × 6 − 10 = 50 (a multiple of 25); B-200: 60 − 30 = 30 → 50; C-300 none.
        QCOMPARE(window.totalToOrder(), (std::pair<qint64, int>{100, 2}));
        QCOMPARE(window.planning()->totals()->text(), QStringLiteral("Per leverantör: Acme 100"));
        const int supplierColumn =
            reports::ListColumnCount + int(overview::PlanningColumn::Supplier);
        QCOMPARE(window.shownRows()->index(0, supplierColumn).data().toString(),
                 QStringLiteral("Acme"));
        QComboBox *supplier = window.planning()->supplierBox();
        supplier->setCurrentIndex(supplier->findText(QStringLiteral("(ingen)")));
        QCOMPARE(columnTexts(*window.shownRows(), ListColumn::Product), QStringList{"C-300"});
        supplier->setCurrentIndex(supplier->findText(QStringLiteral("Acme")));
        QCOMPARE(columnTexts(*window.shownRows(), ListColumn::Product),
                 (QStringList{"A-100", "B-200"}));

        // B-200 discontinued: no suggestion, in the store, out of the proposal.
        window.view()->selectRow(1);
        window.planning()->markSelected(PlanningMark::Kind::Discontinued);
        QCOMPARE(window.totalToOrder(), (std::pair<qint64, int>{50, 1}));
        QCOMPARE(openPlanningStore(home.path())->marks("2010-11-18").count("B-200"), size_t(1));
        const int markColumn = reports::ListColumnCount + int(overview::PlanningColumn::Mark);
        QCOMPARE(window.shownRows()->index(1, markColumn).data().toString(),
                 QStringLiteral("utgått"));
        window.view()->clearSelection();
        std::vector<reports::ProposalLine> lines = window.planning()->proposalRows();
        QCOMPARE(lines.size(), size_t(1));
        overview::ProposalDialog dialog(lines,
                                        figures::Period::fromText(QStringLiteral("2010-11-18")));
        dialog.table()->item(0, 3)->setData(Qt::EditRole, 75);
        const QStringList files = dialog.saveTo(dir.path());
        QCOMPARE(files.size(), 2);
        QFile csv(dir.filePath(QStringLiteral("Inkopsforslag2010-11-18-Acme.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY2(bytes.startsWith("\xEF\xBB\xBF") &&
                     bytes.contains("\r\nAcme;A-100;Pallkrage;Pall;75;25;"),
                 bytes.constData());
        QVERIFY(
            QFileInfo::exists(dir.filePath(QStringLiteral("Inkopsforslag2010-11-18-Acme.xls"))));

        // A rule for C-300, set in the window: 10 × (1 + 4) + 4 − 50 = 4 → minimum 12, kept; its
        // new supplier shows whole in the box.
        supplier->setCurrentIndex(0);
        window.view()->selectRow(2);
        const QString emballage = QStringLiteral("Emballage Nordic AB");
        window.planning()->setRuleOfSelected(PlanningRule{1, 0, 4, 1, 12, emballage, QString()});
        QCOMPARE(window.totalToOrder(), (std::pair<qint64, int>{62, 2}));
        QCOMPARE(openPlanningStore(home.path())->rules().at("C-300").minimum, 12);
        QVERIFY(supplier->findText(emballage) > 0);
        QVERIFY(supplier->sizeHint().width() >
                supplier->fontMetrics().horizontalAdvance(emballage));

        // Regel... names its one product, or counts several.
        QStringList titles;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                titles << modal->windowTitle();
                modal->close();
            }
        });
        closer.start(5);
        for (QPushButton *b : window.planning()->findChildren<QPushButton *>())
            if (b->text() == QLatin1String("&Regel...")) {
                b->click();
                window.view()->selectAll();
                b->click();
            }
        QCOMPARE(titles,
                 (QStringList{"Planeringsregel för C-300", "Planeringsregel för 3 produkter"}));
    }

    // A proposal saved onto a full device fails in the operator's words, not the device's.
    void proposalOntoAFullDevice() {
        QTemporaryDir dir;
        std::vector<reports::CoverageRow> rows = rowsOf({{"A-100", "Pall", "10", "1", "10"}});
        rows[0].rule.supplier = QStringLiteral("Acme");
        const auto period = figures::Period::fromText(QStringLiteral("2010-11-18"));
        overview::ProposalDialog dialog(reports::proposalLines(reports::allRows(rows), 4), period);
        QVERIFY(QFile::link(QStringLiteral("/dev/full"),
                            dir.filePath(QStringLiteral("Inkopsforslag2010-11-18-Acme.csv"))));
        QString failure;
        try {
            dialog.saveTo(dir.path());
        } catch (const lodvik::Error &e) {
            failure = e.message();
        }
        QVERIFY2(failure.contains(QStringLiteral("kan inte sparas: ")) &&
                     !failure.contains(QStringLiteral("Unknown error")),
                 qPrintable(failure));
    }

    // An empty cover of a product that sells reads 0, a negative one "slut"; the window fits
    // the screen; Enter and Space open the drill-down, Escape closes the window.
    void coverKeysAndFit() {
        QSettings(QStringLiteral("lodvikprodsok"), QStringLiteral("lodvikprodsok"))
            .remove(QStringLiteral("tackningsoversikt")); // a first opening
        QTemporaryDir dir;
        overview::CoverageOverviewWindow window(dir.filePath(QStringLiteral("local.mdb")),
                                                dir.path());
        window.setRun(rowsOf({{"A-100", "Pall", "0", "", "10"},
                              {"B-200", "Pall", "-5", "-1", "10"},
                              {"C-300", "Pall", "5", nullptr, ""}}),
                      figures::Period::fromText(QStringLiteral("2010-11-18")));
        window.view()->sortByColumn(int(ListColumn::Product), Qt::AscendingOrder);
        QCOMPARE(columnTexts(*window.shownRows(), ListColumn::Cover),
                 (QStringList{"0", "slut", "0"}));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(window.geometry()));
        // Everything fits a 1366×768 laptop's screen below its panel.
        QVERIFY2(window.minimumSizeHint().width() <= 1366 &&
                     window.minimumSizeHint().height() <= 730,
                 qPrintable(QStringLiteral("%1×%2")
                                .arg(window.minimumSizeHint().width())
                                .arg(window.minimumSizeHint().height())));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.view()->setFocus();
        window.view()->setCurrentIndex(window.shownRows()->index(1, 0));
        QStringList opened;
        QTimer closer;
        closer.setInterval(5);
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened << modal->windowTitle();
                modal->close();
            }
        });
        closer.start();
        QTest::keyClick(window.view(), Qt::Key_Return);
        window.view()->setFocus();
        QTest::keyClick(window.view(), Qt::Key_Space);
        QCOMPARE(opened.size(), 2);
        QVERIFY2(opened[0].contains(QStringLiteral("B-200")), qPrintable(opened.join('|')));
        QTest::keyClick(window.view(), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    // The histogram's classes lie around the target; a negative cover counts as run out and
    // keeps the bars' axis at 0, where the target line stays in sight.
    void chartAroundTheTarget() {
        overview::CoverageTableModel model;
        model.setRows(rowsOf({{"A", "a", "-5", "-3", "2"},
                              {"B", "b", "0", "1", "2"},
                              {"C", "c", "9", "5", "2"},
                              {"D", "d", "99", "40", "2"},
                              {"E", "e", "5", nullptr, ""}}));
        overview::CoverageFilterModel shown;
        shown.setCoverageModel(&model);
        overview::CoverageChart chart(&shown);
        const auto histogram = [&] {
            const auto *axis = qobject_cast<QBarCategoryAxis *>(
                chart.histogramView()->chart()->axes(Qt::Horizontal).first());
            const auto *series =
                qobject_cast<QBarSeries *>(chart.histogramView()->chart()->series().first());
            QStringList bins;
            for (int b = 0; b < axis->count(); ++b)
                bins << QStringLiteral("%1:%2").arg(axis->at(b)).arg(series->barSets()[0]->at(b));
            return bins;
        };
        QCOMPARE(histogram(),
                 (QStringList{"slut:1", "0–1:1", "2–3:0", "4–7:1", "8–15:0", "16–:1", "–:1"}));
        model.setTargetWeeks(10);
        chart.refresh();
        QCOMPARE(histogram(),
                 (QStringList{"slut:1", "0–4:1", "5–9:1", "10–19:0", "20–39:0", "40–:1", "–:1"}));
        const auto *weeks =
            qobject_cast<QValueAxis *>(chart.barsView()->chart()->axes(Qt::Horizontal).first());
        QCOMPARE(weeks->min(), 0.0);
        for (const int highest : {1, 3, 4, 7, 250}) { // counts in whole steps up to the highest
            model.setRows(rowsOf(std::vector<Product>(size_t(highest), {"A", "a", "9", "5", "2"})));
            chart.refresh();
            const auto *counts = qobject_cast<QValueAxis *>(
                chart.histogramView()->chart()->axes(Qt::Vertical).first());
            const double step = counts->max() / (counts->tickCount() - 1);
            QVERIFY(counts->min() == 0 && counts->max() >= highest && counts->max() <= 4 * highest);
            QVERIFY2(step >= 1 && std::floor(step) == step, qPrintable(QString::number(step)));
        }
    }

    void printoutHoldsEveryRowOnce() {
        std::vector<QByteArray> names;
        for (int i = 0; i < 95; ++i)
            names.push_back(QStringLiteral("R%1").arg(i, 3, 10, QLatin1Char('0')).toUtf8());
        std::vector<Product> products;
        for (const QByteArray &n : names)
            products.push_back({n.constData(), "Pall", "10", "3", "2"});
        std::vector<reports::CoverageRow> rows = rowsOf(products);
        // Texts that would push the last columns off the page unless cut.
        const QString longName =
            QStringLiteral("Leverantören med det mycket långa namnet ").repeated(4);
        for (reports::CoverageRow &row : rows) {
            row.rule.supplier = longName;
            row.rule.group = longName;
        }
        PrintEngine engine;
        overview::printCoverageList(engine, reports::allRows(rows),
                                    figures::Period::fromText(QStringLiteral("2010-11-18")), 4);
        QVERIFY(engine.landscape());
        QVERIFY(engine.pageCount() > 1);
        QStringList seen;
        for (int p = 1; p <= engine.pageCount(); ++p) {
            bool numbered = false;
            for (const PrintItem &item : engine.pages().at(p - 1).items) {
                if (QRegularExpression(QStringLiteral("^R\\d{3}$")).match(item.text).hasMatch())
                    seen << item.text;
                numbered |=
                    item.text == QStringLiteral("Sida %1 av %2").arg(p).arg(engine.pageCount());
                // Everything lies on the landscape sheet, within its margins.
                QFont font(item.fontName);
                font.setPixelSize(item.fontSize * 20); // twips
                font.setBold(item.bold);
                const double right = item.x + QFontMetricsF(font).horizontalAdvance(item.text);
                QVERIFY2(item.x >= 0 && right <= engine.pageSizeTwips().width() - 700,
                         qPrintable(item.text));
                QVERIFY(item.y >= 0 && item.y < engine.pageSizeTwips().height());
            }
            QVERIFY2(numbered, qPrintable(QStringLiteral("page %1 has no number").arg(p)));
        }
        QStringList expected;
        for (const QByteArray &n : names)
            expected << QString::fromUtf8(n);
        QCOMPARE(seen, expected);
    }

    // The printout shows the window's columns in the window's order, hidden ones left out and
    // the planning columns among them; the choice outlives the window, the product number stays.
    void printoutFollowsTheShownColumns() {
        QSettings settings(QStringLiteral("lodvikprodsok"), QStringLiteral("lodvikprodsok"));
        settings.remove(QStringLiteral("tackningsoversikt"));
        QTemporaryDir dir;
        std::vector<reports::CoverageRow> rows = rowsOf({{"A-100", "Pallkrage", "10", "5", "10"}});
        const PlanningRule acme{2, 0, 0, 1, 0, QStringLiteral("Acme"), QStringLiteral("Pall")};
        PlanningMark ordered;
        ordered.orderedOn = QDate(2010, 11, 19);
        ordered.orderedPacks = 1500;
        reports::applyPlanning(rows, {{"A-100", acme}}, {{"A-100", ordered}});
        const int planning = reports::ListColumnCount;
        using P = overview::PlanningColumn;
        const std::vector<int> kept{int(ListColumn::Product), int(ListColumn::Cover),
                                    planning + int(P::OrderBy), planning + int(P::Mark),
                                    planning + int(P::Supplier)};
        const auto open = [&](overview::CoverageOverviewWindow &window) {
            window.setRun(rows, figures::Period::fromText(QStringLiteral("2010-11-18")));
            window.setTargetWeeks(4);
        };
        {
            overview::CoverageOverviewWindow window(dir.filePath(QStringLiteral("local.mdb")),
                                                    dir.path());
            open(window);
            for (int c = 0; c < planning + overview::PlanningColumnCount; ++c)
                window.setColumnShown(c, std::find(kept.begin(), kept.end(), c) != kept.end());
            window.setColumnShown(int(ListColumn::Product), false); // stays
            window.show();
            window.close(); // remembers the columns
        }
        overview::CoverageOverviewWindow window(dir.filePath(QStringLiteral("local.mdb")),
                                                dir.path());
        open(window);
        QCOMPARE(window.shownColumns(), kept); // the window's order
        window.printList();
        auto *preview = window.findChild<overview::CoverageListPreview *>();
        QVERIFY(preview);
        QMap<QString, int> at; // each text's place across the page
        for (const PrintItem &item : preview->engine().pages().at(0).items)
            at.insert(item.text, item.x);
        delete preview;
        settings.remove(QStringLiteral("tackningsoversikt"));
        // Cover 5 weeks from 2010-11-18 runs out 2010-12-23, less 2 weeks' lead time.
        const QStringList cells{"A-100", "5", "2010-12-09",
                                QStringLiteral("beställd 2010-11-19, 1\u00a0500 förp."), "Acme"};
        for (qsizetype i = 0; i < cells.size(); ++i) {
            QVERIFY2(at.contains(cells[i]), qPrintable(QStringList(at.keys()).join('|')));
            if (i > 0)
                QVERIFY2(at[cells[i - 1]] < at[cells[i]], qPrintable(cells[i]));
        }
        for (const char *hidden : {"Pallkrage", "Benämning", "Lager", "Slut", "Pall"})
            QVERIFY2(!at.contains(QString::fromUtf8(hidden)), hidden);
    }

    void runOncePerPeriod() {
        ProgramFolder folder;
        folder.insert(QStringLiteral("pjomr"),
                      {Variant::String(QStringLiteral("P1")),
                       Variant::String(QStringLiteral("Pall")), Variant::Double(1)},
                      {"iblitm", "imdsc1", "umconv"});
        Startmeny window(folder.path());
        const auto open = [&](const QString &period) {
            window.datumtxt->setText(period);
            window.openCoverageOverview();
            QTRY_VERIFY_WITH_TIMEOUT(!window.isWorking(), 60000);
        };
        const QString first =
            folder.file(QStringLiteral("rapporter/Pallvikprodukter2010-11-18.xls"));
        open(QStringLiteral("2010-11-18"));
        auto *overview = window.findChild<overview::CoverageOverviewWindow *>();
        QVERIFY(overview);
        QVERIFY(QFile::exists(first));
        QCOMPARE(overview->period().text(), QStringLiteral("2010-11-18"));
        QCOMPARE(overview->shownRows()->rowCount(), 1);

        // The same period again: the window shows the run it has, without a new one.
        QVERIFY(QFile::remove(first));
        open(QStringLiteral("2010-11-18"));
        QVERIFY(!QFile::exists(first));
        // Another period runs first.
        open(QStringLiteral("2010-12-01"));
        QVERIFY(
            QFile::exists(folder.file(QStringLiteral("rapporter/Pallvikprodukter2010-12-01.xls"))));
        QCOMPARE(overview->period().text(), QStringLiteral("2010-12-01"));
        QCOMPARE(window.findChildren<overview::CoverageOverviewWindow *>().size(), 1);

        // A run that fails leaves its rows in the table: no period's run is complete there any
        // more.
        BoxAnswerer answer; // the failure's message box
        QVERIFY(QDir(folder.file(QStringLiteral("rapporter"))).removeRecursively());
        open(QStringLiteral("2011-01-05"));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("rapporter")));
        open(QStringLiteral("2010-12-01"));
        QVERIFY(
            QFile::exists(folder.file(QStringLiteral("rapporter/Pallvikprodukter2010-12-01.xls"))));
    }
};

QTEST_MAIN(TestOverview)
#include "tst_overview.moc"
