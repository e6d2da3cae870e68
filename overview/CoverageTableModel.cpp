#include "overview/CoverageTableModel.h"

#include "overview/UrgencyStyle.h"
#include "reports/CoverageColumns.h"
#include "reports/CoverageSources.h"
#include "reports/Planning.h"

#include <QCollator>
#include <QLocale>

#include <array>
#include <cmath>
#include <limits>

using reports::ListCell;
using reports::ListColumn;
using reports::Urgency;

namespace overview {

namespace {

QCollator swedishCollator() {
    QCollator collator{QLocale(QLocale::Swedish, QLocale::Sweden)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

int urgencyRank(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return 0;
    case Urgency::BelowTarget:
        return 1;
    case Urgency::Plain:
        return 2;
    case Urgency::NoSales:
        break;
    }
    return 3;
}

QString numberText(double value) {
    static const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    if (std::abs(value) < 1e15 && value == std::round(value))
        return swedish.toString(qlonglong(value));
    return reports::swedishNumber(value);
}

bool isPlanningColumn(ListColumn column) {
    return int(column) >= reports::ListColumnCount;
}

PlanningColumn planningColumn(ListColumn column) {
    return PlanningColumn(int(column) - reports::ListColumnCount);
}

// The workbook's column a list column shows, or nullptr.
const reports::CoverageColumn *coverageColumn(ListColumn column) {
    return isPlanningColumn(column) ? nullptr : reports::listColumnInfo(column).column;
}

bool isTextColumn(ListColumn column) {
    const reports::CoverageColumn *c = coverageColumn(column);
    return (c && c->text) ||
           (isPlanningColumn(column) && (planningColumn(column) == PlanningColumn::Supplier ||
                                         planningColumn(column) == PlanningColumn::Group ||
                                         planningColumn(column) == PlanningColumn::Mark));
}

bool isNumberColumn(ListColumn column) {
    const reports::CoverageColumn *c = coverageColumn(column);
    return (c && c->number) || column == ListColumn::Suggestion;
}

const QIcon &iconFor(Urgency urgency) {
    static std::array<QIcon, 4> icons;
    static bool made = false;
    if (!made) {
        for (Urgency u : {Urgency::Plain, Urgency::BelowTarget, Urgency::Urgent, Urgency::NoSales})
            icons[size_t(u)] = urgencyIcon(u);
        made = true;
    }
    return icons[size_t(urgency)];
}

} // namespace

CoverageTableModel::CoverageTableModel(QObject *parent) : QAbstractTableModel(parent) {
    forgetKeys();
}

void CoverageTableModel::setRows(std::vector<reports::CoverageRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_today = QDate::currentDate(); // a window left open overnight measures a new run from today
    forgetKeys();
    m_urgency.assign(m_rows.size(), Urgency::Plain);
    m_suggestion.assign(m_rows.size(), 0);
    for (size_t i = 0; i < m_rows.size(); ++i)
        computeRow(i);
    endResetModel();
}

void CoverageTableModel::computeRow(size_t i) {
    m_urgency[i] = reports::urgency(m_rows[i], m_target);
    m_suggestion[i] = double(reports::reorderSuggestion(m_rows[i], m_target).value_or(0));
}

void CoverageTableModel::setPeriod(const figures::Period &period) {
    m_period = period.date();
    forgetKeys();
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void CoverageTableModel::setMark(int row, const std::optional<PlanningMark> &mark) {
    if (row < 0 || row >= rowCount())
        return;
    m_rows[size_t(row)].mark = mark;
    rowChanged(row);
}

void CoverageTableModel::setRule(int row, const PlanningRule &rule) {
    if (row < 0 || row >= rowCount())
        return;
    m_rows[size_t(row)].rule = rule;
    rowChanged(row);
}

void CoverageTableModel::rowChanged(int row) {
    computeRow(size_t(row));
    forgetKeys();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void CoverageTableModel::setTargetWeeks(int weeks) {
    if (weeks == m_target)
        return;
    m_target = weeks;
    forgetKeys();
    for (size_t i = 0; i < m_rows.size(); ++i)
        computeRow(i);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int CoverageTableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CoverageTableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : reports::ListColumnCount + PlanningColumnCount;
}

QVariant CoverageTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const size_t r = size_t(index.row());
    const ListColumn column = ListColumn(index.column());
    const Urgency urgency = m_urgency[r];
    switch (role) {
    case Qt::DisplayRole: {
        if (isPlanningColumn(column))
            return planningText(index.row(), planningColumn(column));
        if (column == ListColumn::Status)
            return reports::urgencyText(urgency);
        // A product that sells has a cover even where the run left the cell empty; a negative
        // one (stock below zero) means it has run out.
        if (column == ListColumn::Cover && m_rows[r].hasSales() &&
            m_rows[r].coverWeeks.value_or(0) <= 0)
            return m_rows[r].coverWeeks.value_or(0) < 0 ? QStringLiteral("slut")
                                                        : QStringLiteral("0");
        if (column == ListColumn::Suggestion)
            return m_suggestion[r] > 0 ? numberText(m_suggestion[r]) : QString();
        const ListCell cell = reports::listCell(m_rows[r], column, m_target);
        if (cell.kind == ListCell::Kind::Number)
            return numberText(cell.number);
        return cell.text;
    }
    case Qt::DecorationRole:
        if (column == ListColumn::Status)
            return iconFor(urgency);
        return {};
    case Qt::BackgroundRole: {
        const QColor c = urgencyBackground(urgency);
        return c.isValid() ? QVariant(c) : QVariant();
    }
    case Qt::ForegroundRole: {
        const QColor c = urgencyForeground(urgency);
        return c.isValid() ? QVariant(c) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return isNumberColumn(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (column == ListColumn::Suggestion)
            return reports::suggestionExplanation(m_rows[r], m_target);
        if (column == ListColumn::Status && urgency != Urgency::Plain)
            return reports::urgencyText(urgency);
        // The class reads the rounded weeks; the suggestion the packs, lead time and safety.
        if (column == ListColumn::Status && m_suggestion[r] > 0)
            return QStringLiteral("Når målet i hela veckor, men lagret räcker inte hela vägen "
                                  "(eller regelns ledtid och säkerhetslager kräver mer): %1 "
                                  "förp. föreslås.")
                .arg(numberText(m_suggestion[r]));
        return {};
    default:
        return {};
    }
}

QVariant CoverageTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= reports::ListColumnCount &&
        section < columnCount() && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
        const reports::PlanningListColumnInfo &info =
            reports::planningListColumnInfo(PlanningColumn(section - reports::ListColumnCount));
        return QString::fromUtf8(role == Qt::DisplayRole ? info.heading : info.tooltip);
    }
    if (orientation != Qt::Horizontal || section < 0 || section >= reports::ListColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    const reports::ListColumnInfo &info = reports::listColumnInfo(ListColumn(section));
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(info.heading);
    if (role == Qt::ToolTipRole && info.workbookColumn)
        return QStringLiteral("Täckningsarbetsbokens kolumn %1")
            .arg(QLatin1Char(info.workbookColumn));
    if (role == Qt::ToolTipRole && ListColumn(section) == ListColumn::OrderTotal)
        return QStringLiteral("Order PJ + restorder PJ (arbetsbokens N = L + J); FRN:s order "
                              "ingår inte");
    if (role == Qt::ToolTipRole && ListColumn(section) == ListColumn::Suggestion)
        return QStringLiteral("Förpackningar att beställa för att nå målet; se Hjälp.");
    return QAbstractTableModel::headerData(section, orientation, role);
}

double CoverageTableModel::numberKey(int row, ListColumn column) const {
    const reports::CoverageRow &r = m_rows[size_t(row)];
    constexpr double never = std::numeric_limits<double>::infinity();
    // A cover without the sales it is measured by sorts after every product with them.
    if (const reports::CoverageColumn *c = coverageColumn(column);
        c && c->kind == reports::CoverageColumn::Kind::Cover)
        return (r.*reports::coverageColumn(c->divisor)->number).value_or(0) > 0
                   ? (r.*c->number).value_or(0)
                   : never;
    switch (column) {
    case ListColumn::Status:
        return urgencyRank(m_urgency[size_t(row)]);
    case ListColumn::Suggestion:
        return m_suggestion[size_t(row)];
    default: {
        if (isPlanningColumn(column))
            return planningKey(row, planningColumn(column));
        const ListCell cell = reports::listCell(r, column, m_target);
        return cell.kind == ListCell::Kind::Number ? cell.number : 0;
    }
    }
}

void CoverageTableModel::forgetKeys() {
    m_numberKeys.assign(size_t(reports::ListColumnCount + PlanningColumnCount), {});
}

const std::vector<double> &CoverageTableModel::numberKeys(ListColumn column) const {
    std::vector<double> &keys = m_numberKeys[size_t(column)];
    if (keys.size() != m_rows.size()) {
        if (isTextColumn(column)) {
            keys = swedishRanks(column);
        } else {
            keys.resize(m_rows.size());
            for (size_t r = 0; r < m_rows.size(); ++r)
                keys[r] = numberKey(int(r), column);
        }
    }
    return keys;
}

std::vector<double> CoverageTableModel::swedishRanks(ListColumn column) const {
    // Each text's place in Swedish order, equal texts alike, so that a sort compares numbers.
    const QCollator collator = swedishCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(m_rows.size());
    const reports::CoverageColumn *c = coverageColumn(column);
    for (size_t r = 0; r < m_rows.size(); ++r)
        keys.push_back(collator.sortKey(c ? m_rows[r].*c->text
                                          : planningText(int(r), planningColumn(column))));
    std::vector<int> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    std::vector<double> ranks(m_rows.size());
    double rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && keys[size_t(order[i - 1])].compare(keys[size_t(order[i])]) != 0)
            ++rank;
        ranks[size_t(order[i])] = rank;
    }
    return ranks;
}

QString CoverageTableModel::planningText(int r, PlanningColumn column) const {
    return reports::planningListText(m_rows[size_t(r)], column, m_period, m_target, m_today);
}

double CoverageTableModel::planningKey(int r, PlanningColumn column) const {
    const reports::CoverageRow &row = m_rows[size_t(r)];
    constexpr double never = std::numeric_limits<double>::infinity();
    const auto day = [&](const std::optional<QDate> &d) {
        return d ? double(d->toJulianDay()) : never;
    };
    switch (column) {
    case PlanningColumn::OrderUrgency: {
        const reports::OrderUrgency u = reports::orderUrgency(row, m_period, m_target, m_today);
        return u == reports::OrderUrgency::None ? never : double(int(u));
    }
    case PlanningColumn::Stockout:
        return day(reports::stockoutDate(row, m_period));
    case PlanningColumn::OrderBy:
        return day(reports::orderByDate(row, m_period));
    default:
        return 0; // texts sort by their Swedish ranks
    }
}

bool CoverageTableModel::lessThan(int a, int b, ListColumn column) const {
    const std::vector<double> &keys = numberKeys(column);
    return keys[size_t(a)] < keys[size_t(b)];
}

// ---- CoverageFilterModel ------------------------------------------------------------------

CoverageFilterModel::CoverageFilterModel(QObject *parent) : QSortFilterProxyModel(parent) {}

void CoverageFilterModel::setCoverageModel(CoverageTableModel *model) {
    m_model = model;
    setSourceModel(model);
}

void CoverageFilterModel::setSearchText(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
    refilter();
}

void CoverageFilterModel::setOnlyBelowTarget(bool only) {
    if (only == m_onlyBelow)
        return;
    m_onlyBelow = only;
    refilter();
}

void CoverageFilterModel::setSupplier(const QString &supplier) {
    m_supplier = supplier;
    refilter();
}

void CoverageFilterModel::setGroup(const QString &group) {
    m_group = group;
    refilter();
}

void CoverageFilterModel::targetChanged() {
    refilter(); // the switch's rows, and the status and suggestion columns' order
}

void CoverageFilterModel::refilter() {
    // Filtering out thousands of rows scattered through a sorted list one range at a time costs
    // the proxy time in the square of the rows; mapping it afresh is one filter and one sort.
    invalidate();
}

std::vector<int> CoverageFilterModel::visibleSourceRows() const {
    std::vector<int> rows;
    rows.reserve(size_t(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        rows.push_back(mapToSource(index(r, 0)).row());
    return rows;
}

bool CoverageFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &) const {
    if (!m_model)
        return true;
    if (m_onlyBelow) {
        const Urgency u = m_model->urgency(sourceRow);
        if (u != Urgency::Urgent && u != Urgency::BelowTarget)
            return false;
    }
    const reports::CoverageRow &row = m_model->row(sourceRow);
    if ((!m_supplier.isNull() && row.rule.supplier != m_supplier) ||
        (!m_group.isNull() && row.rule.group != m_group))
        return false;
    if (m_text.isEmpty())
        return true;
    return row.product.contains(m_text, Qt::CaseInsensitive) ||
           row.description.contains(m_text, Qt::CaseInsensitive);
}

bool CoverageFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const {
    if (!m_model)
        return QSortFilterProxyModel::lessThan(left, right);
    return m_model->lessThan(left.row(), right.row(), ListColumn(left.column()));
}

} // namespace overview
