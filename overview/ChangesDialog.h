#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QTableWidget;

namespace planning {
class RunHistory;
}

namespace overview {

// "Sedan förra körningen": what changed from a kept run to the run of the period, by default
// the one kept last before it; with "visa bara ändrade" off every product of the run, the
// unchanged with an empty change.
class ChangesDialog : public QDialog {
    Q_OBJECT

public:
    using OpenHistory = std::function<std::unique_ptr<planning::RunHistory>()>;
    ChangesDialog(OpenHistory openHistory, const QString &period, double salesShare,
                  QWidget *parent = nullptr);
    ~ChangesDialog() override;

    QComboBox *since() const { return m_since; }
    QCheckBox *onlyChanged() const { return m_onlyChanged; }
    QTableWidget *table() const { return m_table; }

private:
    void compare();

    OpenHistory m_openHistory;
    QString m_period;
    double m_salesShare;
    QComboBox *m_since;
    QCheckBox *m_onlyChanged;
    QTableWidget *m_table;
};

} // namespace overview
