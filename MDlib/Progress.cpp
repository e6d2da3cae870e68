#include "MDlib/Progress.h"

#include "MDlib/Error.h"

#include <ctime>

namespace lodvik {

namespace {

// The intervals are tens of milliseconds or more, and a walk reads the clock for each column of
// each product: the coarse clock (a tick's resolution, a few ms) is read without the time stamp
// counter, which on a virtual machine costs more than the column.
qint64 coarseMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

Progress::Progress(int intervalMs) : m_interval(intervalMs) {}

Progress::~Progress() = default;

void Progress::caption(const QString &text, Show when) {
    if (!shows())
        return;
    m_caption = text;
    m_captionPending = false;
    maybeShow(when);
}

void Progress::caption(const QString &text, qint64 number, Show when) {
    if (!shows())
        return;
    m_captionText = text;
    m_captionNumber = number;
    m_captionPending = true;
    maybeShow(when);
}

const QString &Progress::currentCaption() const {
    if (m_captionPending) {
        m_caption = m_captionText + QString::number(m_captionNumber);
        m_captionPending = false;
    }
    return m_caption;
}

void Progress::count(qint64 done, qint64 total) {
    m_done = done;
    m_total = total;
    maybeShow(Show::WhenDue);
}

void Progress::maybeShow(Show when) {
    if (m_interval < 0)
        return;
    if (m_interval > 0) {
        const qint64 now = coarseMilliseconds();
        if (when == Show::WhenDue && m_shownAt >= 0 && now - m_shownAt <= m_interval)
            return;
        m_shownAt = now;
    }
    show();
}

void Progress::checkCancelled() const {
    if (cancelled())
        throw Cancelled();
}

} // namespace lodvik
