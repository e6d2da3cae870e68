#include "reports/HistoryLists.h"

#include "MDlib/NumberText.h"
#include "reports/ListWriters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace reports {

namespace {

QString csvValue(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Double:
        return lodvik::plainNumber(value.toDouble());
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    default:
        return csvField(value.toString());
    }
}

QJsonValue jsonValue(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    default:
        return value.isNull() ? QJsonValue() : QJsonValue(value.toString());
    }
}

QByteArray csvLines(const QList<QStringList> &lines) {
    QByteArray out;
    for (const QStringList &line : lines)
        out += line.join(QLatin1Char(',')).toUtf8() + "\r\n";
    return out;
}

const char *const seriesKeys[] = {
    "period",       "stock_frn",  "stock_dp",    "stock_pj",          "stock_total",
    "backorder_pj", "order_pj",   "order_total", "sales_per_week_pj", "sales_per_week_frn",
    "cover_weeks",  "suggestion", "urgency"};

QVariantList seriesValues(const planning::SeriesPoint &point) {
    const planning::SnapshotRow &r = point.row;
    const auto n = [](const std::optional<double> &v) { return v ? QVariant(*v) : QVariant(); };
    return {point.info.period,
            n(r.stockFrn),
            n(r.stockDp),
            n(r.stockPj),
            n(r.stockTotal),
            n(r.backOrderPj),
            n(r.orderPj),
            n(r.orderTotal),
            n(r.salesPj),
            n(r.salesFrn),
            n(r.coverWeeks),
            r.suggestion ? QVariant(double(*r.suggestion)) : QVariant(),
            planning::urgencyKey(planning::Urgency(r.urgency))};
}

} // namespace

QByteArray changesCsv(const std::vector<planning::Change> &changes) {
    QList<QStringList> lines{{"product", "description", "change", "before", "after"}};
    for (const planning::Change &c : changes)
        lines << QStringList{csvField(c.product), csvField(c.description),
                             planning::changeKey(c.kind), csvValue(c.before), csvValue(c.after)};
    return csvLines(lines);
}

QByteArray changesJson(const std::vector<planning::Change> &changes, const QString &period,
                       const QString &since) {
    QJsonArray rows;
    for (const planning::Change &c : changes)
        rows.append(QJsonObject{{"product", c.product},
                                {"description", c.description},
                                {"change", planning::changeKey(c.kind)},
                                {"before", jsonValue(c.before)},
                                {"after", jsonValue(c.after)}});
    return QJsonDocument(QJsonObject{{"period", period}, {"since", since}, {"changes", rows}})
        .toJson();
}

QByteArray seriesCsv(const std::vector<planning::SeriesPoint> &series) {
    QList<QStringList> lines{{}};
    for (const char *key : seriesKeys)
        lines[0] << QLatin1String(key);
    for (const planning::SeriesPoint &point : series) {
        QStringList fields;
        for (const QVariant &v : seriesValues(point))
            fields << csvValue(v);
        lines << fields;
    }
    return csvLines(lines);
}

std::optional<planning::SalesTrend> seriesTrend(const std::vector<planning::SeriesPoint> &series) {
    std::vector<planning::SalesPoint> sales;
    for (const planning::SeriesPoint &point : series)
        sales.push_back(
            {QDate::fromString(point.info.period, Qt::ISODate), point.row.salesPj.value_or(0)});
    return planning::salesTrend(std::move(sales));
}

QByteArray seriesJson(const std::vector<planning::SeriesPoint> &series, const QString &product) {
    QJsonArray runs;
    for (const planning::SeriesPoint &point : series) {
        QJsonObject run;
        const QVariantList values = seriesValues(point);
        for (size_t i = 0; i < std::size(seriesKeys); ++i)
            run.insert(QLatin1String(seriesKeys[i]), jsonValue(values[qsizetype(i)]));
        runs.append(run);
    }
    QJsonValue trend;
    if (const auto t = seriesTrend(series))
        trend = QJsonObject{{"slope_per_week", t->slopePerWeek}, {"runs", t->runs}};
    return QJsonDocument(QJsonObject{{"product", product}, {"runs", runs}, {"trend", trend}})
        .toJson();
}

} // namespace reports
