#pragma once

#include <QDialog>

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
// extracts changed since) says so.
class DrillDownDialog : public QDialog {
    Q_OBJECT

public:
    DrillDownDialog(const QString &localDatabase, const figures::Period &period,
                    const reports::CoverageRow &row, int targetWeeks, QWidget *parent = nullptr);
};

} // namespace overview
