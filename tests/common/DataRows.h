#pragma once

#include <QTest>

// One row of a data-driven test on one line: addRow("name", a, b, c) is
// QTest::newRow("name") << a << b << c.
template <typename... Values> QTestData &addRow(const char *name, const Values &...values) {
    return (QTest::newRow(name) << ... << values);
}
