#include "MDlib/Progress.h"

#include "MDlib/Error.h"

namespace lodvik {

Progress::Progress(int intervalMs) : m_interval(intervalMs) {}

Progress::~Progress() = default;

void Progress::caption(const QString &text, Show when) {
    m_caption = text;
    m_captionPending = false;
    maybeShow(when);
}

void Progress::caption(const QString &text, qint64 number, Show when) {
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
    if (when == Show::WhenDue && m_interval > 0 && m_shown.isValid() &&
        !m_shown.hasExpired(m_interval))
        return;
    m_shown.start();
    show();
}

void Progress::checkCancelled() const {
    if (cancelled())
        throw Cancelled();
}

} // namespace lodvik
