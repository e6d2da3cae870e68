#include "reports/CoverageJob.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "MDlib/RunMemory.h"
#include "MDlib/SystemError.h"
#include "planning/HistorySettings.h"
#include "planning/SnapshotChunk.h"
#include "reports/Reports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace reports {

struct CoverageJob::History {
    std::unique_ptr<planning::RunHistory> store;
    int retain = planning::DefaultRetainedPeriods;
    PlanningRules rules;
    PlanningMarks marks;
    std::map<QString, std::vector<planning::SalesPoint>> sales;
    planning::SnapshotInfo info;
    planning::SnapshotPacker packer; // made again for the count of products, before the rows
};

namespace {

// A listed row with its planning as the history keeps it.
planning::SnapshotRow snapshotRow(const CoverageRow &row, const planning::Item &planned,
                                  double targetWeeks) {
    planning::SnapshotRow kept;
    kept.product = row.product;
    kept.description = row.description;
    kept.unitsPerPack = row.unitsPerPack;
    kept.stockFrn = row.stockFrn;
    kept.stockDp = row.stockDp;
    kept.stockPj = row.stockPj;
    kept.stockTotal = row.stockTotal;
    kept.coverWeeks = row.coverWeeks;
    kept.coverWeeksFrn = row.coverWeeksFrn;
    kept.backOrderPj = row.backOrderPj;
    kept.backOrderFrn = row.backOrderFrn;
    kept.orderPj = row.orderPj;
    kept.orderFrn = row.orderFrn;
    kept.orderTotal = row.orderTotal;
    kept.salesPj = row.salesPj;
    kept.salesFrn = row.salesFrn;
    kept.suggestion = planning::reorderSuggestion(planned, targetWeeks);
    kept.urgency = int(planning::urgency(planned, targetWeeks));
    kept.rule = planned.rule;
    return kept;
}

// The heap a run takes, with room to spare: about 1 KiB a product for a list and 1.6 KiB with
// an .xls workbook, which holds its cells until it is saved; the extracts' file, read before the
// products are counted, has some 6 KiB a product. Room left unused costs addresses only.
std::size_t runRoom(const QString &localDatabase) {
    return (std::size_t(64) << 20) +
           std::size_t(std::max<qint64>(QFileInfo(localDatabase).size(), 0) / 2);
}

QString notKept(const QString &why) {
    return QStringLiteral("Körningens filer är sparade, men körningen kunde inte sparas i "
                          "historiken och saknas därför i \"Sedan förra körningen\" och i "
                          "produkternas historik: %1")
        .arg(why);
}

} // namespace

CoverageJob::CoverageJob(const QString &appPath, const figures::Period &period, Options options)
    : m_appPath(appPath), m_period(period), m_options(options) {}

CoverageJob::~CoverageJob() = default;

void CoverageJob::makeRoom() {
    // In the heap of the thread that runs: the window makes the job on its own thread and runs
    // it on another.
    if (!m_memory)
        m_memory =
            std::make_unique<lodvik::RunMemory>(runRoom(m_appPath + QStringLiteral("/local.mdb")));
}

void CoverageJob::count() {
    makeRoom();
    if (!m_options.workbook)
        return; // the count only chooses the workbook's format
    m_products = countProducts(m_appPath + QStringLiteral("/local.mdb"));
    m_file = productWorkbookFileName(m_appPath, m_period,
                                     productWorkbookIsXlsx(m_products, m_options.alwaysXlsx));
}

QString CoverageJob::xlsxNotice() const {
    return m_products < 0 ? QString() : reports::xlsxNotice(m_products, m_options.alwaysXlsx);
}

void CoverageJob::openHistory() {
    m_notKept.clear();
    m_historyWarning.clear();
    try {
        auto history = std::make_unique<History>();
        history->retain = planning::readHistorySettings(m_appPath).retainedPeriods;
        history->store = planning::openRunHistory(m_appPath);
        const std::unique_ptr<PlanningStore> planning = openPlanningStore(m_appPath);
        history->rules = planning->rules();
        history->marks = planning->marks(m_period.text());
        QSet<QString> following;
        for (const auto &[product, rule] : history->rules)
            if (rule.followTrend)
                following.insert(product);
        QStringList unreadable;
        history->sales = history->store->salesSeries(following, m_period.text(),
                                                     planning::TrendRuns - 1, unreadable);
        if (!unreadable.isEmpty())
            m_historyWarning =
                QStringLiteral("Försäljningens trend räknas utan en eller flera sparade "
                               "körningar. %1")
                    .arg(history->store->unreadableNotice(unreadable));
        history->info.period = m_period.text();
        history->info.targetWeeks = m_options.targetWeeks;
        history->info.origin = *m_options.keep;
        m_history = std::move(history);
    } catch (const lodvik::Error &e) {
        m_notKept = notKept(e.message());
    }
}

void CoverageJob::run(lodvik::Progress &progress, const RowDone &rowDone) {
    makeRoom();
    if (m_options.workbook && m_products < 0)
        count();
    if (m_options.workbook)
        m_book = std::make_unique<ProductWorkbook>(progress, m_products, m_options.alwaysXlsx);
    if (m_options.keep)
        openHistory();
    LeftOutProducts leftOut;
    try {
        CoverageRun(m_appPath + QStringLiteral("/local.mdb"), progress)
            .run(
                m_period,
                [&](const CoverageRow &row) {
                    if (m_book)
                        m_book->addRow(row);
                    const bool listed = !leftOut.leaves(row);
                    if (!m_history || !listed) {
                        if (rowDone)
                            rowDone(row, listed);
                        return;
                    }
                    // Planned on a copy of its planning fields alone: its cells need no copy.
                    planning::Item planned = row;
                    planning::applyPlanning(planned, m_history->rules, m_history->marks);
                    if (planned.rule.followTrend) {
                        auto sales = m_history->sales[planned.product];
                        sales.push_back({m_period.date(), planned.salesPj.value_or(0)});
                        planned.trend = planning::salesTrend(std::move(sales));
                    }
                    m_history->packer.add(snapshotRow(row, planned, m_options.targetWeeks));
                    if (!rowDone)
                        return;
                    if (!planned.trend)
                        return rowDone(row, listed);
                    CoverageRow withTrend = row;
                    withTrend.trend = planned.trend;
                    rowDone(withTrend, listed);
                },
                // A kept run has a row for each product: its chunks and their room set at once.
                // Without history nothing asks for the count.
                m_history ? std::function<void(qint64)>([&](qint64 products) {
                    m_history->packer =
                        planning::SnapshotPacker(size_t(std::max<qint64>(products, 0)));
                })
                          : std::function<void(qint64)>());
    } catch (...) {
        // The store's connection closes in the thread that opened it.
        m_history.reset();
        throw;
    }
    m_leftOut = leftOut.message();
}

void CoverageJob::save(lodvik::Progress &progress, const std::function<void()> &moreOutputs) {
    const auto saveOutputs = [this, &moreOutputs] {
        if (m_book)
            m_book->saveAs(m_file);
        if (moreOutputs)
            moreOutputs();
    };
    if (m_history) {
        const std::unique_ptr<History> history = std::move(m_history);
        planning::SnapshotInfo &info = history->info;
        info.takenAt = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
        info.products = int(history->packer.products());
        try {
            // A list alone is written already: nothing to save while the run is packed.
            history->store->keep(info, history->packer, history->retain,
                                 m_book || moreOutputs ? std::function<void()>(saveOutputs)
                                                       : std::function<void()>());
        } catch (const planning::HistoryNotKept &e) {
            m_notKept = notKept(e.message());
        }
    } else {
        saveOutputs();
    }
    progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
}

QString CoverageJob::leftOutMessage() const {
    return m_leftOut;
}

QString CoverageJob::olderWorkbook() const {
    if (m_file.isEmpty())
        return {};
    const QString other = productWorkbookFileName(
        m_appPath, m_period, !m_file.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive));
    return QFileInfo::exists(other) ? other : QString();
}

void CoverageJob::removeOlderWorkbook(const QString &older) const {
    QFile file(older);
    errno = 0;
    if (!file.remove())
        throw lodvik::Error(
            QStringLiteral("Den äldre arbetsboken %1 kunde inte tas bort: %2")
                .arg(QDir::toNativeSeparators(older), lodvik::fileFailure(file, errno)));
}

QString CoverageJob::olderWorkbookNotice(const QString &older, bool removed) const {
    const QString name = QFileInfo(m_file).fileName();
    if (removed)
        return QStringLiteral("Den äldre arbetsboken %1 för samma period är borttagen; %2 ersätter "
                              "den.")
            .arg(QDir::toNativeSeparators(older), name);
    return QStringLiteral("Den äldre arbetsboken %1 för samma period finns kvar bredvid %2 och "
                          "visar en tidigare körning.")
        .arg(QDir::toNativeSeparators(older), name);
}

} // namespace reports
