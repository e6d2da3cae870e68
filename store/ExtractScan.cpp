#include "store/ExtractScan.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "store/LocalDatabase.h"
#include "store/ScanTables.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <thread>

using lodvik::Variant;

namespace dao {

namespace {

struct Stopped {};

} // namespace

ExtractScan::ExtractScan(Database &run, std::vector<ScanRequest> requests,
                         lodvik::Progress &progress) {
    for (ScanRequest &request : requests)
        m_tables.push_back(std::make_unique<ScanTable>(std::move(request)));
    std::vector<ScanTable *> groups[2];
    for (const auto &table : m_tables)
        groups[table->request.reader == 0 ? 0 : 1].push_back(table.get());

    // Every reader reads the run's state: the run holds it from here on, and the second reader's
    // connection joins it before anything is read. One reader alone, on the run's connection,
    // where no other connection can join the run's state.
    run.holdSnapshot();
    const std::function<Database()> join = run.JoinSnapshot();
    ExtractStore &store = run.store();

    std::atomic<bool> stopping{false};
    // Both threads stop at the next few thousand rows once the operator cancels or the other
    // thread failed.
    const ScanStop stop = [&] {
        if (stopping.load(std::memory_order_relaxed) || progress.cancelled())
            throw Stopped{};
    };
    std::promise<void> done;
    std::future<void> otherDone = done.get_future();
    std::thread worker;
    try {
        progress.caption(QStringLiteral("Läser utdragen"), lodvik::Progress::Show::Now);
        // The products the scans gather for, before either starts.
        m_products = std::make_unique<ScanProducts>();
        store.readProducts(*m_products, stop);
        for (const std::unique_ptr<ScanTable> &table : m_tables)
            table->reserve(m_products->count());
        if (join)
            worker = std::thread([&] {
                try {
                    Database other = join();
                    other.store().scanTables(groups[1], *m_products, stop);
                    done.set_value();
                } catch (...) {
                    done.set_exception(std::current_exception());
                }
            });
        else
            done.set_value();
        store.scanTables(groups[0], *m_products, stop);
        if (!join)
            store.scanTables(groups[1], *m_products, stop);
        while (otherDone.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            stop();
        if (worker.joinable())
            worker.join();
        otherDone.get();
    } catch (...) {
        stopping = true;
        if (worker.joinable())
            worker.join();
        try {
            throw;
        } catch (const Stopped &) {
            progress.checkCancelled();
            throw lodvik::Error(QStringLiteral("Läsningen av utdragen avbröts.")); // not reached
        }
    }
}

ExtractScan::~ExtractScan() = default;

int ExtractScan::slotOf(const QString &product) const {
    if (!m_products)
        return -1;
    // Asked once per product of the run: a short ASCII number is narrowed on the stack rather
    // than converted into a new array.
    char ascii[64];
    if (product.size() <= qsizetype(sizeof ascii)) {
        char *p = ascii;
        for (const QChar c : product) {
            if (c.unicode() >= 0x80)
                break;
            *p++ = char(c.unicode());
        }
        if (p - ascii == product.size())
            return m_lastSlot = m_products->slotOf(ascii, product.size(), m_lastSlot + 1);
    }
    const QByteArray utf8 = product.toUtf8();
    return m_lastSlot = m_products->slotOf(utf8.constData(), utf8.size(), m_lastSlot + 1);
}

bool ExtractScan::scanned(size_t request) const {
    return request < m_tables.size() && m_tables[request]->scanned;
}

std::optional<Variant> ExtractScan::sum(size_t request, int slot) const {
    if (!scanned(request) || slot < 0)
        return std::nullopt;
    const ScanTable::SumSlot &s = m_tables[request]->sums[size_t(slot)];
    if (s.refused)
        return std::nullopt;
    return s.result();
}

std::optional<double> ExtractScan::total(size_t request, int slot) const {
    if (!scanned(request) || slot < 0)
        return std::nullopt;
    const ScanTable::TotalSlot &t = m_tables[request]->totals[size_t(slot)];
    if (t.refused)
        return std::nullopt;
    return t.total;
}

} // namespace dao
