#pragma once

#include "planning/RunHistory.h"
#include "reports/CoverageRow.h"

#include <QWidget>

#include <vector>

class QLabel;
class QTableWidget;

namespace overview {

// One product over the kept runs, for the drill-down: its stock, orders on their way, weekly
// sales, cover and suggestion as a small chart and a table, and the sales trend with what it
// makes of the rate over the lead time and target, or why there is none (problem: why the
// history could not be read, or which kept runs it leaves out).
class ProductHistory : public QWidget {
    Q_OBJECT

public:
    ProductHistory(const std::vector<planning::SeriesPoint> &series,
                   const reports::CoverageRow &row, int targetWeeks, const QString &problem = {},
                   QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    QLabel *trend() const { return m_trend; }

private:
    QTableWidget *m_table;
    QLabel *m_trend;
};

} // namespace overview
