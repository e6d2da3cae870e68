#include "overview/CoverageTableModel.h"

#include "MDlib/NumberText.h"
#include "overview/UrgencyStyle.h"
#include "reports/CoverageColumns.h"

#include <QCollator>
#include <QLocale>

#include <array>
#include <cmath>
#include <limits>

using planning::Urgency;
using reports::ListCell;
using reports::ListColumn;
using reports::ListColumnInfo;

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
    return lodvik::swedishNumber(value);
}

// The workbook's column a list column shows, or nullptr.
const reports::CoverageColumn *coverageColumn(ListColumn column) {
    return reports::listColumn(column).workbook;
}

// A column whose texts sort in Swedish order; the status and the order urgency sort by how
// urgent they are.
bool isTextColumn(ListColumn column) {
    return reports::listColumn(column).kind == ListColumnInfo::Kind::Text &&
           column != ListColumn::Status && column != ListColumn::OrderUrgency;
}

bool isNumberColumn(ListColumn column) {
    return reports::listColumn(column).kind == ListColumnInfo::Kind::Number;
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
    m_urgency[i] = planning::urgency(m_rows[i], m_target);
    m_suggestion[i] = double(planning::reorderSuggestion(m_rows[i], m_target).value_or(0));
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
    return parent.isValid() ? 0 : reports::ShownColumnCount;
}

QVariant CoverageTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const size_t r = size_t(index.row());
    const ListColumn column = ListColumn(index.column());
    const Urgency urgency = m_urgency[r];
    switch (role) {
    case Qt::DisplayRole: {
        if (column == ListColumn::Status)
            return planning::urgencyText(urgency);
        // A product that sells has a cover even where the run left the cell empty; a negative
        // one (stock below zero) means it has run out.
        if (column == ListColumn::Cover && m_rows[r].hasSales() &&
            m_rows[r].coverWeeks.value_or(0) <= 0)
            return m_rows[r].coverWeeks.value_or(0) < 0 ? QStringLiteral("slut")
                                                        : QStringLiteral("0");
        if (column == ListColumn::Suggestion)
            return m_suggestion[r] > 0 ? numberText(m_suggestion[r]) : QString();
        const ListCell shown = cell(index.row(), column);
        if (shown.kind == ListCell::Kind::Number)
            return numberText(shown.number);
        return shown.text;
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
            return planning::suggestionExplanation(m_rows[r], m_target);
        if (column == ListColumn::Status && urgency != Urgency::Plain)
            return planning::urgencyText(urgency);
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
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    const ListColumnInfo &info = reports::listColumn(ListColumn(section));
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(info.heading);
    if (role != Qt::ToolTipRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString own = info.tooltip ? QString::fromUtf8(info.tooltip) : QString();
    if (!info.workbook)
        return own.isEmpty() ? QVariant() : QVariant(own);
    const QString letter =
        QStringLiteral("Täckningsarbetsbokens kolumn %1").arg(QLatin1Char(info.workbook->letter));
    return own.isEmpty() ? letter : own + QStringLiteral(". ") + letter;
}

reports::ListCell CoverageTableModel::cell(int row, ListColumn column) const {
    return reports::listCell(m_rows[size_t(row)], column,
                             {m_period, double(m_target), m_today, true});
}

double CoverageTableModel::numberKey(int row, ListColumn column) const {
    const reports::CoverageRow &r = m_rows[size_t(row)];
    constexpr double never = std::numeric_limits<double>::infinity();
    const auto day = [&](const std::optional<QDate> &d) {
        return d ? double(d->toJulianDay()) : never;
    };
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
    case ListColumn::OrderUrgency: {
        const planning::OrderUrgency u = planning::orderUrgency(r, m_period, m_target, m_today);
        return u == planning::OrderUrgency::None ? never : double(int(u));
    }
    case ListColumn::Stockout:
        return day(planning::stockoutDate(r, m_period));
    case ListColumn::OrderBy:
        return day(planning::orderByDate(r, m_period));
    default: {
        const ListCell shown = cell(row, column);
        return shown.kind == ListCell::Kind::Number ? shown.number : 0;
    }
    }
}

void CoverageTableModel::forgetKeys() {
    m_numberKeys.assign(size_t(reports::ShownColumnCount), {});
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
    for (size_t r = 0; r < m_rows.size(); ++r)
        keys.push_back(collator.sortKey(cell(int(r), column).text));
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
