#pragma once

#include <QString>

#include <atomic>

namespace lodvik {

// Where long work tells what it is doing, and learns whether the operator asked it to stop.
// The work reports every item; the sink shows at most one report per interval, so that a walk
// over a hundred thousand rows costs no more than a string copy and a read of a coarse clock
// per row.
class Progress {
public:
    enum class Show { WhenDue, Now };

    // intervalMs: how often at most the sink shows a report; 0 shows every one, a negative value
    // none.
    explicit Progress(int intervalMs = 0);
    virtual ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // The caption the window shows in Label2 while the work runs (a figure's name, a product
    // number, "Klart"). Show::Now for a caption that must be seen, as the last one of a run. A
    // sink that shows none keeps none: a run sets a caption for each figure of each product.
    void caption(const QString &text, Show when = Show::WhenDue);
    // The caption text followed by a number ("Excel rad 12"), put together only when it is
    // read: a caption for every row of a long walk then costs no text of its own.
    void caption(const QString &text, qint64 number, Show when = Show::WhenDue);
    // How far the work has come: done of total items (total 0 when not known).
    void count(qint64 done, qint64 total = 0);

    // Raises lodvik::Cancelled once the cancel flag is set; long loops call it once per item.
    void checkCancelled() const;
    // The flag an Avbryt button or Ctrl+C sets; nullptr for work that cannot be cancelled.
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    // Whether reports are ever shown: a caption or count made for a sink that shows none can be
    // left out.
    bool shows() const { return m_interval >= 0; }
    const QString &currentCaption() const;
    qint64 done() const { return m_done; }
    qint64 total() const { return m_total; }

protected:
    // Shows the current caption and count; called at most once per interval, and for Show::Now.
    virtual void show() = 0;

private:
    void maybeShow(Show when);

    int m_interval;
    qint64 m_shownAt = -1; // when the sink last showed a report, ms of the coarse clock
    mutable QString m_caption;
    QString m_captionText; // with m_captionNumber, the caption not yet put together
    qint64 m_captionNumber = 0;
    mutable bool m_captionPending = false;
    qint64 m_done = 0;
    qint64 m_total = 0;
    const std::atomic<bool> *m_cancel = nullptr;
};

// Progress nobody looks at.
class NoProgress : public Progress {
public:
    NoProgress() : Progress(-1) {}

protected:
    void show() override {}
};

} // namespace lodvik
