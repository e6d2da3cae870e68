#include "overview/CoverageChart.h"

#include "overview/CoverageTableModel.h"
#include "overview/UrgencyStyle.h"
#include "ui/WindowLayout.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QHorizontalStackedBarSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

using planning::Urgency;

namespace overview {

namespace {

// Histogram classes by weeks of cover, [from, to), around the target: run out, under half of
// it, under it, up to twice, four times it, and beyond.
struct Bin {
    double from, to;
    QString label;
};

std::vector<Bin> binsAround(double target) {
    const double edges[] = {0, target / 2, target, target * 2, target * 4};
    std::vector<Bin> bins{{-1e300, 0, QStringLiteral("slut")}};
    // Covers are whole weeks: [2.5, 5) holds 3 and 4.
    const auto weeks = [](double from, double to) {
        const qint64 first = qint64(std::ceil(from));
        const qint64 last = qint64(std::ceil(to)) - 1;
        return first == last ? QString::number(first)
                             : QStringLiteral("%1–%2").arg(first).arg(last);
    };
    for (size_t e = 0; e + 1 < std::size(edges); ++e)
        if (std::ceil(edges[e + 1]) > std::ceil(edges[e]))
            bins.push_back({edges[e], edges[e + 1], weeks(edges[e], edges[e + 1])});
    bins.push_back({edges[4], 1e300, QStringLiteral("%1–").arg(qint64(std::ceil(edges[4])))});
    return bins;
}

QChart *plainChart(const QString &title) {
    auto *chart = new QChart;
    chart->setTitle(title);
    QFont font = chart->titleFont();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    chart->setTitleFont(font);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    return chart;
}

// The histogram's count axis: ticks at whole numbers only, 1, 2 or 5 times a power of ten apart,
// at most three steps up to the highest count.
void setWholeCounts(QValueAxis *axis, int highest) {
    int step = 1;
    for (int power = 1; step * 3 < highest; power *= 10)
        for (const int m : {1, 2, 5}) {
            step = m * power;
            if (step * 3 >= highest)
                break;
        }
    const int steps = std::max(1, (highest + step - 1) / step);
    axis->setRange(0, steps * step);
    axis->setTickCount(steps + 1);
    axis->setLabelFormat(QStringLiteral("%d"));
}

QFont smallFont(double scale = 0.8) {
    QFont font;
    font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

} // namespace

CoverageChart::CoverageChart(CoverageFilterModel *rows, QWidget *parent)
    : QWidget(parent), m_rows(rows), m_barsView(new QChartView(this)),
      m_histogramView(new QChartView(this)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_barsView->setRenderHint(QPainter::Antialiasing);
    m_histogramView->setRenderHint(QPainter::Antialiasing);
    m_barsView->setMinimumHeight(300);
    layout->addWidget(m_barsView, 3);
    layout->addWidget(m_histogramView, 1);

    // The list changes in bursts (a typed letter, a sort); the chart redraws once after them.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(60);
    connect(&m_refresh, &QTimer::timeout, this, &CoverageChart::refresh);
    connect(rows, &QAbstractItemModel::modelReset, this, &CoverageChart::scheduleRefresh);
    connect(rows, &QAbstractItemModel::layoutChanged, this, &CoverageChart::scheduleRefresh);
    connect(rows, &QAbstractItemModel::rowsInserted, this, &CoverageChart::scheduleRefresh);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &CoverageChart::scheduleRefresh);
    connect(rows, &QAbstractItemModel::dataChanged, this, &CoverageChart::scheduleRefresh);
    refresh();
}

void CoverageChart::scheduleRefresh() {
    m_refresh.start();
}

void CoverageChart::refresh() {
    m_refresh.stop();
    drawBars();
    drawHistogram();
}

void CoverageChart::drawBars() {
    const CoverageTableModel *model = m_rows->coverageModel();
    const int target = model ? model->targetWeeks() : planning::DefaultTargetWeeks;

    // The shown products that sell, the least covered first (ties in the list's order).
    std::vector<int> candidates;
    if (model)
        for (int sourceRow : m_rows->visibleSourceRows())
            if (model->row(sourceRow).hasSales())
                candidates.push_back(sourceRow);
    const auto cover = [model](int r) { return model->row(r).coverWeeks.value_or(0); };
    // A negative cover (stock below zero) has run out: a bar of nothing, not one to the left
    // that pushes the target out of sight.
    const auto bar = [&](int r) { return std::max(0.0, cover(r)); };
    const size_t n = std::min<size_t>(Bars, candidates.size());
    std::partial_sort(candidates.begin(), candidates.begin() + qsizetype(n), candidates.end(),
                      [&](int a, int b) { return cover(a) < cover(b); });
    candidates.resize(n);
    m_barRows = candidates;

    QChart *chart =
        plainChart(QStringLiteral("Minst täckning i veckor (streckat: mål %1)").arg(target));
    auto *series = new QHorizontalStackedBarSeries;
    // One set per class, so that each bar takes its class's colour and the legend names them.
    const std::array<std::pair<Urgency, QString>, 3> classes{{
        {Urgency::Urgent, QStringLiteral("under halva målet")},
        {Urgency::BelowTarget, QStringLiteral("under målet")},
        {Urgency::Plain, QStringLiteral("når målet")},
    }};
    std::array<QBarSet *, 3> sets{};
    for (size_t c = 0; c < classes.size(); ++c) {
        sets[c] = new QBarSet(classes[c].second);
        sets[c]->setColor(urgencyBarColor(classes[c].first));
        sets[c]->setBorderColor(urgencyBarColor(classes[c].first).darker(130));
    }
    QStringList categories;
    double longest = target;
    // The category axis counts from the bottom: the least covered goes on top.
    for (size_t i = n; i-- > 0;) {
        const int r = m_barRows[i];
        const Urgency u = model->urgency(r);
        for (size_t c = 0; c < classes.size(); ++c)
            sets[c]->append(classes[c].first == u ? bar(r) : 0.0);
        categories << model->row(r).product;
        longest = std::max(longest, bar(r));
    }
    for (QBarSet *set : sets)
        series->append(set);
    series->setBarWidth(0.75);
    chart->addSeries(series);

    auto *products = new QBarCategoryAxis;
    products->append(categories);
    m_products = products;
    fitProductLabels();
    chart->addAxis(products, Qt::AlignLeft);
    series->attachAxis(products);
    auto *weeks = new QValueAxis;
    weeks->setRange(0, std::ceil(longest * 1.1));
    weeks->applyNiceNumbers();
    weeks->setLabelsFont(smallFont());
    weeks->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(weeks, Qt::AlignBottom);
    series->attachAxis(weeks);

    // The target as a dashed line across the bars.
    auto *line = new QLineSeries;
    line->setName(QStringLiteral("mål ") +
                  countOf(target, QStringLiteral("vecka"), QStringLiteral("veckor")));
    line->append(target, -0.5);
    line->append(target, std::max<double>(double(n), 1.0) - 0.5);
    QPen pen(Qt::black);
    pen.setWidth(2);
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    chart->addSeries(line);
    auto *lineY = new QValueAxis;
    lineY->setRange(-0.5, std::max<double>(double(n), 1.0) - 0.5);
    lineY->setVisible(false);
    chart->addAxis(lineY, Qt::AlignRight);
    line->attachAxis(weeks);
    line->attachAxis(lineY);

    chart->legend()->hide(); // the window's legend names the colours
    connect(series, &QAbstractBarSeries::hovered, this,
            [this, n, model](bool over, int index, QBarSet *) {
                const size_t bar = n - 1 - size_t(index);
                if (!over || index < 0 || bar >= m_barRows.size()) {
                    QToolTip::hideText();
                    return;
                }
                const reports::CoverageRow &row = model->row(m_barRows[bar]);
                const double weeks = row.coverWeeks.value_or(0);
                QToolTip::showText(QCursor::pos(),
                                   QStringLiteral("%1 %2: %3")
                                       .arg(row.product, row.description,
                                            weeks < 0    ? QStringLiteral("slut")
                                            : weeks == 1 ? QStringLiteral("1 vecka")
                                                         : QStringLiteral("%1 veckor").arg(weeks)),
                                   m_barsView);
            });
    connect(series, &QAbstractBarSeries::clicked, this, [this, n](int index, QBarSet *) {
        // Categories run bottom-up; the bars are kept top-down.
        const size_t bar = n - 1 - size_t(index);
        if (index >= 0 && bar < m_barRows.size())
            emit productClicked(m_barRows[bar]);
    });

    QChart *old = m_barsView->chart(); // the view lets go of its chart, it does not delete it
    m_barsView->setChart(chart);
    delete old;
}

void CoverageChart::fitProductLabels() {
    if (!m_products)
        return;
    // The chart shortens a label taller than about 40 % of its row to "..." and drops larger
    // ones; the font follows the height there is, and below a readable size the labels give
    // way to the tooltips.
    const double plot = m_barsView->height() - 100.0; // title, value axis and margins
    const double perBar = plot / double(std::max<size_t>(m_barRows.size(), 1));
    const int pixels = std::min(12, int(perBar / 2.6));
    m_products->setLabelsVisible(pixels >= 6);
    if (pixels >= 6) {
        QFont font;
        font.setPixelSize(pixels);
        m_products->setLabelsFont(font);
    }
}

void CoverageChart::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fitProductLabels();
}

void CoverageChart::drawHistogram() {
    const CoverageTableModel *model = m_rows->coverageModel();
    const std::vector<Bin> bins =
        binsAround(model ? model->targetWeeks() : planning::DefaultTargetWeeks);
    std::vector<int> counts(bins.size());
    int noSales = 0;
    if (model)
        for (int sourceRow : m_rows->visibleSourceRows()) {
            const reports::CoverageRow &row = model->row(sourceRow);
            if (!row.hasSales()) {
                ++noSales;
                continue;
            }
            const double c = row.coverWeeks.value_or(0);
            for (size_t b = 0; b < bins.size(); ++b)
                if (c < bins[b].to) {
                    ++counts[b];
                    break;
                }
        }
    QChart *chart =
        plainChart(QStringLiteral("Täckning i veckor, alla visade produkter (mål %1)")
                       .arg(model ? model->targetWeeks() : planning::DefaultTargetWeeks));
    auto *set = new QBarSet(QStringLiteral("produkter"));
    set->setColor(urgencyBarColor(Urgency::Plain));
    QStringList labels;
    for (size_t b = 0; b < bins.size(); ++b) {
        set->append(counts[b]);
        labels << bins[b].label;
    }
    set->append(noSales);
    labels << QStringLiteral("–"); // no sales
    auto *series = new QBarSeries;
    series->append(set);
    series->setBarWidth(0.9);
    chart->addSeries(series);
    auto *axis = new QBarCategoryAxis;
    axis->append(labels);
    axis->setLabelsFont(smallFont());
    chart->addAxis(axis, Qt::AlignBottom);
    series->attachAxis(axis);
    auto *countAxis = new QValueAxis;
    const int highest = std::max(noSales, *std::max_element(counts.begin(), counts.end()));
    setWholeCounts(countAxis, highest);
    countAxis->setLabelsFont(smallFont());
    chart->addAxis(countAxis, Qt::AlignLeft);
    series->attachAxis(countAxis);
    chart->legend()->hide();

    QChart *old = m_histogramView->chart();
    m_histogramView->setChart(chart);
    delete old;
}

} // namespace overview
