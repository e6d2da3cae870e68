#include "overview/ProductHistory.h"

#include "MDlib/NumberText.h"
#include "planning/SalesTrend.h"
#include "reports/HistoryLists.h"

#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <optional>

namespace overview {

namespace {

struct Measure {
    const char *heading;
    std::optional<double> (*value)(const planning::SnapshotRow &);
};
const Measure measures[] = {
    {"Lager (G)", [](const planning::SnapshotRow &r) { return r.stockTotal; }},
    {"I order PJ (L)", [](const planning::SnapshotRow &r) { return r.orderPj; }},
    {"Förs./v PJ (O)", [](const planning::SnapshotRow &r) { return r.salesPj; }},
    {"Täckning v (H)", [](const planning::SnapshotRow &r) { return r.coverWeeks; }},
    {"Förslag",
     [](const planning::SnapshotRow &r) {
         return r.suggestion ? std::optional(double(*r.suggestion)) : std::nullopt;
     }},
};

QString trendText(const std::vector<planning::SeriesPoint> &series, const reports::CoverageRow &row,
                  int targetWeeks) {
    const auto trend = reports::seriesTrend(series);
    if (!trend)
        return QStringLiteral("Ingen trend: den behöver minst %1 sparade körningar med produkten, "
                              "och det finns %2.")
            .arg(planning::MinimumTrendRuns)
            .arg(series.size());
    const double weeks = row.rule.leadTimeWeeks + targetWeeks;
    const double rate = row.salesPj.value_or(0);
    QString text =
        QStringLiteral("Trend i försäljningen: %1 förp./v per vecka (medianen av lutningarna "
                       "mellan %2 sparade körningar). Med trenden väntas %3 förp./v i snitt över "
                       "ledtid och mål (%4 v) i stället för %5.")
            .arg(lodvik::swedishNumber(trend->slopePerWeek))
            .arg(trend->runs)
            .arg(lodvik::swedishNumber(planning::trendRate(rate, *trend, weeks)),
                 lodvik::swedishNumber(weeks), lodvik::swedishNumber(rate));
    text += row.rule.followTrend
                ? QStringLiteral(" Regeln följer trenden.")
                : QStringLiteral(" Regeln följer inte trenden, så förslaget räknas utan den.");
    return text;
}

} // namespace

ProductHistory::ProductHistory(const std::vector<planning::SeriesPoint> &series,
                               const reports::CoverageRow &row, int targetWeeks,
                               const QString &problem, QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    auto *split = new QSplitter(Qt::Vertical, this);

    auto *chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *periods = new QBarCategoryAxis(chart);
    auto *values = new QValueAxis(chart);
    chart->addAxis(periods, Qt::AlignBottom);
    chart->addAxis(values, Qt::AlignLeft);
    double low = 0, high = 1;
    for (const planning::SeriesPoint &point : series)
        periods->append(point.info.period);
    for (const Measure &measure : measures) {
        auto *line = new QLineSeries(chart);
        line->setName(QString::fromUtf8(measure.heading));
        line->setPointsVisible(true); // a figure of one run only is a point, not a line
        for (size_t i = 0; i < series.size(); ++i)
            if (const auto v = measure.value(series[i].row)) {
                line->append(double(i), *v);
                low = std::min(low, *v);
                high = std::max(high, *v);
            }
        chart->addSeries(line);
        line->attachAxis(periods);
        line->attachAxis(values);
    }
    // The figures are whole packs and weeks: ticks at whole numbers, a few steps apart.
    values->setRange(std::floor(low), std::max(std::ceil(high), std::floor(low) + 4));
    values->applyNiceNumbers();
    values->setLabelFormat(QStringLiteral("%d"));
    auto *view = new QChartView(chart, split);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(200);

    m_table = new QTableWidget(int(series.size()), int(std::size(measures)) + 1, split);
    QStringList headings{QStringLiteral("Period")};
    for (const Measure &measure : measures)
        headings << QString::fromUtf8(measure.heading);
    m_table->setHorizontalHeaderLabels(headings);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < int(series.size()); ++r) {
        m_table->setItem(r, 0, new QTableWidgetItem(series[size_t(r)].info.period));
        for (int c = 0; c < int(std::size(measures)); ++c) {
            const auto v = measures[c].value(series[size_t(r)].row);
            auto *item = new QTableWidgetItem(v ? lodvik::swedishNumber(*v) : QString());
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c + 1, item);
        }
    }
    m_table->resizeColumnsToContents();
    layout->addWidget(split, 1);

    // What could be read is shown with what could not.
    QStringList text;
    if (problem.isEmpty() || !series.empty())
        text << trendText(series, row, targetWeeks);
    if (!problem.isEmpty())
        text << problem;
    m_trend = new QLabel(text.join(QLatin1Char('\n')), this);
    m_trend->setWordWrap(true);
    m_trend->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_trend);
}

} // namespace overview
