#include "planning/SalesTrend.h"

#include <algorithm>

namespace planning {

std::optional<SalesTrend> salesTrend(std::vector<SalesPoint> points) {
    if (points.size() > size_t(TrendRuns))
        points.erase(points.begin(), points.end() - TrendRuns);
    if (points.size() < size_t(MinimumTrendRuns))
        return std::nullopt;
    std::vector<double> slopes;
    slopes.reserve(points.size() * (points.size() - 1) / 2);
    for (size_t i = 0; i < points.size(); ++i)
        for (size_t j = i + 1; j < points.size(); ++j) {
            const qint64 days = points[i].period.daysTo(points[j].period);
            if (days != 0)
                slopes.push_back((points[j].salesPerWeek - points[i].salesPerWeek) /
                                 (double(days) / 7));
        }
    if (slopes.empty())
        return std::nullopt;
    const size_t middle = slopes.size() / 2;
    std::nth_element(slopes.begin(), slopes.begin() + qsizetype(middle), slopes.end());
    double median = slopes[middle];
    if (slopes.size() % 2 == 0)
        median =
            (median + *std::max_element(slopes.begin(), slopes.begin() + qsizetype(middle))) / 2;
    return SalesTrend{median, int(points.size())};
}

double trendRate(double rate, const SalesTrend &trend, double weeks) {
    return std::max(0.0, rate + trend.slopePerWeek * weeks / 2);
}

} // namespace planning
