#pragma once

#include <QDate>

#include <optional>
#include <vector>

// The direction of a product's weekly sales over the kept runs.
namespace planning {

// How many kept runs a trend needs; with fewer the suggestion uses the run's rate alone.
constexpr int MinimumTrendRuns = 4;
// How many it rests on at most, the latest: half a year of weekly runs, as the weekly sales
// themselves are the last 26 weeks'.
constexpr int TrendRuns = 26;

struct SalesTrend {
    double slopePerWeek = 0; // packs a week, change per week
    int runs = 0;            // how many kept runs it rests on
};

// One kept run's PJ weekly sales.
struct SalesPoint {
    QDate period;
    double salesPerWeek = 0;
};

// The Theil–Sen slope of the last TrendRuns points: the median of the slopes between every two
// of them, over the weeks between their periods, so that one odd week moves it little. Nothing
// with fewer than MinimumTrendRuns points or points without two periods apart.
std::optional<SalesTrend> salesTrend(std::vector<SalesPoint> points);

// The rate the trend expects on average over the coming weeks (lead time and target): today's
// rate plus the slope over half of them, and never below 0.
double trendRate(double rate, const SalesTrend &trend, double weeks);

} // namespace planning
