#pragma once

#include "reports/CoverageColumns.h"

#include <QTest>

// The rows of a test over every column of the coverage table: one per column, named by its
// letter. The test body takes its column with fetchCoverageColumn().
inline void addCoverageColumnRows() {
    QTest::addColumn<int>("index");
    for (const reports::CoverageColumn &c : reports::coverageColumns())
        QTest::newRow(QByteArray(1, c.letter)) << int(&c - reports::coverageColumns().data());
}

inline const reports::CoverageColumn &fetchCoverageColumn() {
    QFETCH(int, index);
    return reports::coverageColumns().at(size_t(index));
}
