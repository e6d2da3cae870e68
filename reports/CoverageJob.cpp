#include "reports/CoverageJob.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "MDlib/SystemError.h"
#include "reports/Reports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace reports {

CoverageJob::CoverageJob(const QString &appPath, const figures::Period &period, Options options)
    : m_appPath(appPath), m_period(period), m_options(options) {}

CoverageJob::~CoverageJob() = default;

void CoverageJob::count() {
    if (!m_options.workbook)
        return; // the count only chooses the workbook's format
    m_products = countProducts(m_appPath + QStringLiteral("/local.mdb"));
    m_file = productWorkbookFileName(m_appPath, m_period,
                                     productWorkbookIsXlsx(m_products, m_options.alwaysXlsx));
}

QString CoverageJob::xlsxNotice() const {
    return m_products < 0 ? QString() : reports::xlsxNotice(m_products, m_options.alwaysXlsx);
}

void CoverageJob::run(lodvik::Progress &progress, const RowDone &rowDone) {
    if (m_options.workbook && m_products < 0)
        count();
    if (m_options.workbook)
        m_book = std::make_unique<ProductWorkbook>(progress, m_products, m_options.alwaysXlsx);
    LeftOutProducts leftOut;
    CoverageRun(m_appPath + QStringLiteral("/local.mdb"), progress)
        .run(m_period, [&](const CoverageRow &row) {
            if (m_book)
                m_book->addRow(row);
            const bool listed = !leftOut.leaves(row);
            if (rowDone)
                rowDone(row, listed);
        });
    m_leftOut = leftOut.message();
}

void CoverageJob::save(lodvik::Progress &progress) {
    if (m_book)
        m_book->saveAs(m_file);
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
