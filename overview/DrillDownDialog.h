#pragma once

#include "planning/RunHistory.h"

#include <QDialog>

#include <vector>

namespace figures {
class Period;
}

namespace reports {
struct CoverageRow;
}

namespace overview {

// How each cell of one product's coverage row came about: the figures the run calls, their
// values, and the tables and rows they read, worked out again from local.mdb; and the reorder
// suggestion worked out from the row. A cell that no longer comes out as in the run (the
// extracts changed since) says so. Beside it, "Historik": the product over the kept runs.
class DrillDownDialog : public QDialog {
    Q_OBJECT

public:
    DrillDownDialog(const QString &localDatabase, const figures::Period &period,
                    const reports::CoverageRow &row, int targetWeeks,
                    const std::vector<planning::SeriesPoint> &history = {},
                    const QString &historyProblem = {}, QWidget *parent = nullptr);
};

} // namespace overview
