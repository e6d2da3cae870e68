#pragma once

#include "search/DataControl.h"
#include "search/SearchQueries.h"
#include "search/SearchSource.h"

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

// Times a search as the window runs it: from setting the query to the grid's first screen of
// rows, and to every row read. The median of several runs; reading everything is slow, so only
// the first few runs read it.
namespace bench {

struct SearchTiming {
    double firstScreenMs;
    double allRowsMs;
    int rows;
};

struct SearchCase {
    const char *label;
    QString query;
};

// The searches both stores are measured with, so that their figures compare.
inline std::vector<SearchCase> commonSearches() {
    return {
        {"produktnummer \"123\"", produktSokQuery(true, QStringLiteral("123"))},
        {"produktnummer \"5\"", produktSokQuery(true, QStringLiteral("5"))},
        {"soknamn \"Pallk\"", produktSokQuery(false, QStringLiteral("Pallk"))},
        {"soknamn \"ölback 1\"", produktSokQuery(false, QStringLiteral("ölback 1"))},
        {"soknamn \"\" (every row)", produktSokQuery(false, QString())},
        {"reset", resetQuery(QString())},
    };
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline SearchTiming measureSearch(SearchSource &source, const QString &query, int screenRows,
                                  int repeats, int fullReads) {
    std::vector<double> first, all;
    int rows = 0;
    for (int i = 0; i < repeats; ++i) {
        DataControl control;
        control.setSource(&source);
        control.setRecordSource(query);
        QElapsedTimer timer;
        timer.start();
        control.refresh();
        for (int row = 0; row < screenRows && row < control.rowCount(QModelIndex()); ++row)
            control.data(control.index(row, 0));
        first.push_back(timer.nsecsElapsed() / 1e6);
        if (i < fullReads) {
            rows = control.recordCount();
            all.push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    return {median(first), median(all), rows};
}

} // namespace bench
