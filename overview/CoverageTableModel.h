#pragma once

#include "figures/Period.h"
#include "reports/CoverageRow.h"
#include "reports/ListColumns.h"

#include <QAbstractProxyModel>
#include <QAbstractTableModel>
#include <QDate>

#include <functional>
#include <unordered_map>
#include <vector>

namespace overview {

// The rows of a coverage run as a table: one row per product, the list's columns that have a
// heading (reports/ListColumns), column c being ListColumn(c). Everything a view asks for is read
// from the rows in memory; the sort keys of a column are made once.
class CoverageTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit CoverageTableModel(QObject *parent = nullptr);

    void setRows(std::vector<reports::CoverageRow> rows);
    // The run's period, which the stock-out dates count from.
    void setPeriod(const figures::Period &period);
    // A row's mark changed (the suggestion follows it).
    void setMark(int row, const std::optional<PlanningMark> &mark);
    // A row's rule changed.
    void setRule(int row, const PlanningRule &rule);
    const std::vector<reports::CoverageRow> &rows() const { return m_rows; }
    const reports::CoverageRow &row(int index) const { return m_rows.at(size_t(index)); }

    void setTargetWeeks(int weeks);
    int targetWeeks() const { return m_target; }
    // The day the order urgency is measured against: the day of the rows' run.
    QDate today() const { return m_today; }
    planning::Urgency urgency(int row) const { return m_urgency.at(size_t(row)); }
    // planning::orderTotal of these rows, in this order, from what the model keeps: the window
    // counts its list again at every letter typed.
    planning::OrderTotal orderTotal(const std::vector<int> &rows) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Whether row a sorts before row b in column: numbers as numbers (an empty cell as 0),
    // texts in Swedish order, the status from the most urgent. By weeks of cover, a product
    // without the sales that cover is measured by sorts after every product with sales.
    bool lessThan(int a, int b, reports::ListColumn column) const;

private:
    friend class CoverageFilterModel; // sorts by the keys themselves
    double numberKey(int row, reports::ListColumn column) const;
    std::vector<double> swedishRanks(reports::ListColumn column) const;
    // What the window shows in a column (the operator's words), before numbers are written.
    reports::ListCell cell(int row, reports::ListColumn column) const;
    void computeRow(size_t row);
    void rowChanged(int row);
    // The sort keys of a column (for a text its place in Swedish order), made on its first
    // sort: a sort then reads one array instead of every row.
    const std::vector<double> &numberKeys(reports::ListColumn column) const;
    void forgetKeys();

    std::vector<reports::CoverageRow> m_rows;
    std::vector<planning::Urgency> m_urgency;
    std::vector<double> m_suggestion; // 0 without one
    std::vector<int> m_productOf;     // the first row of each one's product
    std::vector<int> m_supplierOf;    // each one's place in m_suppliers
    std::vector<QString> m_suppliers;
    std::unordered_map<QString, int> m_supplierPlace;
    mutable std::vector<std::vector<double>> m_numberKeys; // by column
    int m_target = planning::DefaultTargetWeeks;
    QDate m_period;
    QDate m_today = QDate::currentDate();
};

// The rows as shown: sorted by any column, filtered by a text in the product number or the
// description, and optionally only the products below the target. Ordered as a sort-and-filter
// proxy orders them (a sort keeps the order of equal rows as shown; a changed filter or run shows
// them in the run's order), but a changed filter only walks the column's sorted order, kept from
// its first use, instead of sorting again: at a hundred thousand rows a letter typed stays quick.
class CoverageFilterModel : public QAbstractProxyModel {
    Q_OBJECT

public:
    explicit CoverageFilterModel(QObject *parent = nullptr);

    void setCoverageModel(CoverageTableModel *model);
    CoverageTableModel *coverageModel() const { return m_model; }

    void setSearchText(const QString &text);
    QString searchText() const { return m_text; }
    void setOnlyBelowTarget(bool only);
    bool onlyBelowTarget() const { return m_onlyBelow; }
    // Only the products whose rule names this supplier or group; a null text takes all (an
    // empty one those without).
    void setSupplier(const QString &supplier);
    void setGroup(const QString &group);
    // The model's target changed: the switch's rows change with it.
    void targetChanged();

    // The source rows shown, in the order shown.
    const std::vector<int> &visibleSourceRows() const { return m_shown; }

    // A column, or -1 for the run's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_column; }
    Qt::SortOrder sortOrder() const { return m_order; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    // The headings stay when no row is shown.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool accepts(int sourceRow) const;
    // Whether source row a goes before b in the sort.
    bool before(int a, int b) const;
    // Every source row in the sort's order, equal rows in the run's order.
    const std::vector<int> &sortedRows() const;
    void refilter();
    void sourceChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    // Changes m_shown in change(), moving the views' remembered places with their rows.
    void relayout(const std::function<void()> &change);
    void placeRows();

    CoverageTableModel *m_model = nullptr;
    QString m_text;
    bool m_onlyBelow = false;
    QString m_supplier;
    QString m_group;
    int m_column = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    std::vector<int> m_shown;          // source rows, in the order shown
    std::vector<int> m_place;          // each source row's place in m_shown, or -1
    mutable std::vector<int> m_sorted; // sortedRows(), empty when to be made again
    // The product numbers and descriptions case folded, for the text filter; made on its first
    // use after a new run.
    std::vector<QString> m_foldedProducts;
    std::vector<QString> m_foldedDescriptions;
    QString m_foldedText;
};

} // namespace overview
