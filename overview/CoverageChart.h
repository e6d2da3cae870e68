#pragma once

#include <QTimer>
#include <QWidget>

#include <vector>

class QBarCategoryAxis;
class QChart;
class QChartView;

namespace overview {

class CoverageFilterModel;

// The overview's chart over the rows the list shows: the 25 products with the least weeks of
// cover as horizontal bars against the target, and a histogram of weeks of cover over every
// shown product. It follows the list's filter and target; clicking a bar names its product.
class CoverageChart : public QWidget {
    Q_OBJECT

public:
    static constexpr int Bars = 25;

    explicit CoverageChart(CoverageFilterModel *rows, QWidget *parent = nullptr);

    // The source rows of the bars, from the least cover on (what refresh last drew).
    const std::vector<int> &barRows() const { return m_barRows; }
    // The two charts, for the tests.
    QChartView *barsView() const { return m_barsView; }
    QChartView *histogramView() const { return m_histogramView; }
    // Redraws now (the chart otherwise redraws shortly after the rows change).
    void refresh();

protected:
    void resizeEvent(QResizeEvent *event) override;

signals:
    // A bar was clicked: the source row of its product.
    void productClicked(int sourceRow);

private:
    void scheduleRefresh();
    void drawBars();
    void drawHistogram();
    void fitProductLabels();

    CoverageFilterModel *m_rows;
    QChartView *m_barsView;
    QChartView *m_histogramView;
    QBarCategoryAxis *m_products = nullptr; // the bars' product axis, owned by its chart
    std::vector<int> m_barRows;
    QTimer m_refresh;
};

} // namespace overview
