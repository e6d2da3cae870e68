#include "overview/CoverageTableModel.h"

#include "MDlib/NumberText.h"
#include "overview/UrgencyStyle.h"
#include "reports/CoverageColumns.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>

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

// A text case folded as a comparison without regard to case folds it, character by character:
// a plain search in folded texts then finds what such a comparison finds.
QString folded(const QString &text) {
    QString out = text;
    char16_t *c = reinterpret_cast<char16_t *>(out.data());
    const qsizetype size = out.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (QChar::isHighSurrogate(c[i]) && i + 1 < size && QChar::isLowSurrogate(c[i + 1])) {
            const char32_t f = QChar::toCaseFolded(QChar::surrogateToUcs4(c[i], c[i + 1]));
            c[i] = QChar::highSurrogate(f);
            c[++i] = QChar::lowSurrogate(f);
        } else {
            c[i] = char16_t(QChar::toCaseFolded(char32_t(c[i])));
        }
    }
    return out;
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
    m_productOf.resize(m_rows.size());
    m_supplierOf.assign(m_rows.size(), -1);
    m_suppliers.clear();
    m_supplierPlace.clear();
    std::unordered_map<QStringView, int, planning::ProductHash, planning::SameProduct> first;
    first.reserve(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i) {
        computeRow(i);
        m_productOf[i] = first.try_emplace(m_rows[i].product, int(i)).first->second;
    }
    endResetModel();
}

planning::OrderTotal CoverageTableModel::orderTotal(const std::vector<int> &rows) const {
    planning::OrderTotal total;
    std::vector<bool> counted(m_rows.size());
    std::vector<qint64> bySupplier(m_suppliers.size());
    std::vector<bool> supplied(m_suppliers.size());
    for (const int r : rows) {
        const size_t product = size_t(m_productOf[size_t(r)]);
        if (counted[product])
            continue; // a later row of a product already counted
        counted[product] = true;
        if (m_suggestion[size_t(r)] <= 0)
            continue;
        const qint64 packs = qint64(m_suggestion[size_t(r)]);
        total.packs += packs;
        ++total.products;
        const size_t supplier = size_t(m_supplierOf[size_t(r)]);
        bySupplier[supplier] += packs;
        supplied[supplier] = true;
    }
    for (size_t s = 0; s < m_suppliers.size(); ++s)
        if (supplied[s])
            total.bySupplier[m_suppliers[s]] += bySupplier[s];
    return total;
}

void CoverageTableModel::computeRow(size_t i) {
    m_urgency[i] = planning::urgency(m_rows[i], m_target);
    m_suggestion[i] = double(planning::reorderSuggestion(m_rows[i], m_target).value_or(0));
    const QString &supplier = m_rows[i].rule.supplier;
    if (m_supplierOf[i] < 0 || m_suppliers[size_t(m_supplierOf[i])] != supplier) {
        const auto [place, added] = m_supplierPlace.try_emplace(supplier, int(m_suppliers.size()));
        if (added)
            m_suppliers.push_back(supplier);
        m_supplierOf[i] = place->second;
    }
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

CoverageFilterModel::CoverageFilterModel(QObject *parent) : QAbstractProxyModel(parent) {}

void CoverageFilterModel::setCoverageModel(CoverageTableModel *model) {
    beginResetModel();
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    setSourceModel(model);
    m_sorted.clear();
    if (model) {
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
                &CoverageFilterModel::beginResetModel);
        connect(model, &QAbstractItemModel::modelReset, this, [this] {
            m_sorted.clear();
            m_foldedProducts.clear();
            m_foldedDescriptions.clear();
            m_shown.clear();
            for (int r : sortedRows())
                if (accepts(r))
                    m_shown.push_back(r);
            placeRows();
            endResetModel();
        });
        connect(model, &QAbstractItemModel::dataChanged, this, &CoverageFilterModel::sourceChanged);
        for (int r : sortedRows())
            if (accepts(r))
                m_shown.push_back(r);
    } else {
        m_shown.clear();
    }
    placeRows();
    endResetModel();
}

void CoverageFilterModel::setSearchText(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
    m_foldedText = folded(trimmed);
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

bool CoverageFilterModel::before(int a, int b) const {
    if (m_column < 0)
        return m_order == Qt::AscendingOrder ? a < b : b < a;
    const std::vector<double> &keys = m_model->numberKeys(ListColumn(m_column));
    return m_order == Qt::AscendingOrder ? keys[size_t(a)] < keys[size_t(b)]
                                         : keys[size_t(b)] < keys[size_t(a)];
}

const std::vector<int> &CoverageFilterModel::sortedRows() const {
    const size_t rows = m_model ? m_model->m_rows.size() : 0;
    if (m_sorted.size() != rows) {
        m_sorted.resize(rows);
        for (size_t r = 0; r < rows; ++r)
            m_sorted[r] = int(r);
        if (m_column >= 0 || m_order != Qt::AscendingOrder) {
            if (m_column >= 0)
                m_model->numberKeys(ListColumn(m_column)); // made once, before the comparisons
            std::stable_sort(m_sorted.begin(), m_sorted.end(),
                             [this](int a, int b) { return before(a, b); });
        }
    }
    return m_sorted;
}

void CoverageFilterModel::refilter() {
    if (!m_text.isEmpty() && m_model && m_foldedProducts.size() != m_model->m_rows.size()) {
        m_foldedProducts.clear();
        m_foldedDescriptions.clear();
        for (const reports::CoverageRow &row : m_model->m_rows) {
            m_foldedProducts.push_back(folded(row.product));
            m_foldedDescriptions.push_back(folded(row.description));
        }
    }
    // The rows in the sort's order from the run's order, as a filter changed afresh shows them;
    // the order is kept, so that a letter typed is one walk over the rows.
    relayout([this] {
        m_shown.clear();
        for (int r : sortedRows())
            if (accepts(r))
                m_shown.push_back(r);
    });
}

void CoverageFilterModel::sort(int column, Qt::SortOrder order) {
    if (column == m_column && order == m_order)
        return;
    relayout([&] {
        m_column = column;
        m_order = order;
        m_sorted.clear();
        if (column >= 0 && m_model)
            m_model->numberKeys(ListColumn(column));
        // Equal rows keep the order they were shown in.
        std::stable_sort(m_shown.begin(), m_shown.end(),
                         [this](int a, int b) { return before(a, b); });
    });
}

void CoverageFilterModel::sourceChanged(const QModelIndex &topLeft,
                                        const QModelIndex &bottomRight) {
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    m_sorted.clear(); // the keys may have changed
    const int first = topLeft.row();
    const int last = bottomRight.row();
    if (first == 0 && last == m_model->rowCount() - 1) {
        refilter(); // every row: in the sort's order again
    } else {
        // A few rows: each leaves its place and, still shown, goes after its equals.
        relayout([&] {
            std::vector<int> changed;
            for (int r = first; r <= last; ++r)
                if (m_place[size_t(r)] >= 0 || accepts(r))
                    changed.push_back(r);
            std::erase_if(m_shown, [&](int r) { return r >= first && r <= last; });
            for (int r : changed) {
                if (!accepts(r))
                    continue;
                const auto at = std::upper_bound(m_shown.begin(), m_shown.end(), r,
                                                 [this](int a, int b) { return before(a, b); });
                m_shown.insert(at, r);
            }
        });
    }
    if (!m_shown.empty())
        emit dataChanged(index(0, topLeft.column()), index(rowCount() - 1, bottomRight.column()));
}

void CoverageFilterModel::relayout(const std::function<void()> &change) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<int, int>> sources; // source row and column of each
    sources.reserve(size_t(before.size()));
    for (const QModelIndex &index : before)
        sources.emplace_back(index.row() >= 0 && size_t(index.row()) < m_shown.size()
                                 ? m_shown[size_t(index.row())]
                                 : -1,
                             index.column());
    change();
    placeRows();
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto &[row, column] : sources) {
        const int place = row >= 0 ? m_place[size_t(row)] : -1;
        after.push_back(place >= 0 ? createIndex(place, column) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CoverageFilterModel::placeRows() {
    m_place.assign(m_model ? m_model->m_rows.size() : 0, -1);
    for (size_t i = 0; i < m_shown.size(); ++i)
        m_place[size_t(m_shown[i])] = int(i);
}

QModelIndex CoverageFilterModel::index(int row, int column, const QModelIndex &parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex CoverageFilterModel::parent(const QModelIndex &) const {
    return {};
}

bool CoverageFilterModel::hasChildren(const QModelIndex &parent) const {
    return !parent.isValid() && !m_shown.empty();
}

int CoverageFilterModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

int CoverageFilterModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() || !m_model ? 0 : m_model->columnCount();
}

QModelIndex CoverageFilterModel::mapToSource(const QModelIndex &proxyIndex) const {
    if (!proxyIndex.isValid() || !m_model || proxyIndex.row() >= rowCount())
        return {};
    return m_model->index(m_shown[size_t(proxyIndex.row())], proxyIndex.column());
}

QModelIndex CoverageFilterModel::mapFromSource(const QModelIndex &sourceIndex) const {
    if (!sourceIndex.isValid() || size_t(sourceIndex.row()) >= m_place.size())
        return {};
    const int place = m_place[size_t(sourceIndex.row())];
    return place >= 0 ? createIndex(place, sourceIndex.column()) : QModelIndex();
}

QVariant CoverageFilterModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && m_model)
        return m_model->headerData(section, orientation, role);
    return QAbstractProxyModel::headerData(section, orientation, role);
}

bool CoverageFilterModel::accepts(int sourceRow) const {
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
    if (size_t(sourceRow) < m_foldedProducts.size())
        return m_foldedProducts[size_t(sourceRow)].contains(m_foldedText) ||
               m_foldedDescriptions[size_t(sourceRow)].contains(m_foldedText);
    return row.product.contains(m_text, Qt::CaseInsensitive) ||
           row.description.contains(m_text, Qt::CaseInsensitive);
}

} // namespace overview
