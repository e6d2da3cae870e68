#pragma once

#include "planning/HistoryChanges.h"
#include "planning/RunHistory.h"

#include <QByteArray>

#include <optional>
#include <vector>

// The kept runs as the command line prints them for scripts: the machine form of
// coverage --format (RFC 4180 CSV with ',', C-locale numbers and English keys; indented JSON).
namespace reports {

// product, description, change, before, after: a change by its key, a number as a number, a date
// in ISO form, a rule in words, nothing as an empty field (CSV) or null (JSON).
QByteArray changesCsv(const std::vector<planning::Change> &changes);
QByteArray changesJson(const std::vector<planning::Change> &changes, const QString &period,
                       const QString &since);

// One product over the kept runs: period, the stocks, back orders and orders, the weekly sales,
// the cover, the suggestion and the urgency by its key. The JSON adds the product and its sales
// trend (null with too few runs).
QByteArray seriesCsv(const std::vector<planning::SeriesPoint> &series);
QByteArray seriesJson(const std::vector<planning::SeriesPoint> &series, const QString &product);

// The trend of a product's kept weekly sales (nothing with too few runs).
std::optional<planning::SalesTrend> seriesTrend(const std::vector<planning::SeriesPoint> &series);

} // namespace reports
