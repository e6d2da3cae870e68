#include "Startmeny/BackgroundWork.h"

#include "MDlib/Error.h"
#include "MDlib/SafeFile.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <atomic>

namespace {

// Keeps what the work reports for the interface thread to pick up.
class SharedProgress : public lodvik::Progress {
public:
    SharedProgress() : Progress(25) {}

    bool take(QString &caption, qint64 &done, qint64 &total) {
        QMutexLocker lock(&m_mutex);
        caption = m_caption;
        done = m_done;
        total = m_total;
        return std::exchange(m_fresh, false);
    }

protected:
    void show() override {
        QMutexLocker lock(&m_mutex);
        m_caption = currentCaption();
        m_done = done();
        m_total = total();
        m_fresh = true;
    }

private:
    QMutex m_mutex;
    QString m_caption;
    qint64 m_done = 0;
    qint64 m_total = 0;
    bool m_fresh = false;
};

} // namespace

// What the thread and the window share; it outlives either side (a thread that is let go may
// end after the window).
struct BackgroundWork::Run {
    QThread *thread = nullptr;
    std::atomic<bool> cancel{false};
    SharedProgress progress;
    Finished finished;
    OnCancel onCancel = OnCancel::Stop;
    Outcome outcome = Outcome::Done; // written by the thread before it ends
    QString message;
};

BackgroundWork::BackgroundWork(QObject *parent) : QObject(parent) {
    m_poll.setInterval(40);
    connect(&m_poll, &QTimer::timeout, this, &BackgroundWork::poll);
}

BackgroundWork::~BackgroundWork() {
    // The window is going: stop the work and wait for it, so that it never writes into a
    // window that is gone. Work that cannot be stopped is left to end on its own.
    if (m_run && m_run->onCancel == OnCancel::Stop) {
        m_run->cancel.store(true);
        m_run->thread->wait();
        delete m_run->thread;
    }
}

bool BackgroundWork::start(Work work, Finished finished, OnCancel onCancel) {
    if (m_run)
        return false;
    auto run = std::make_shared<Run>();
    run->progress.setCancelFlag(&run->cancel);
    run->finished = std::move(finished);
    run->onCancel = onCancel;
    run->thread = QThread::create([run, work = std::move(work)] {
        // Avbryt also ends a wait for a FIFO's reader, which checks no progress.
        lodvik::setFifoWaitCheck([run](const QString &, qint64) { return run->cancel.load(); });
        try {
            work(run->progress);
        } catch (const lodvik::Cancelled &e) {
            run->outcome = Outcome::Cancelled;
            run->message = e.message();
        } catch (const lodvik::Error &e) {
            run->outcome = Outcome::Failed;
            run->message = e.message();
        } catch (const std::exception &e) {
            run->outcome = Outcome::Failed;
            run->message = QStringLiteral("Oväntat fel: %1").arg(QString::fromLocal8Bit(e.what()));
        }
    });
    connect(run->thread, &QThread::finished, this, &BackgroundWork::ended, Qt::QueuedConnection);
    m_run = run;
    m_poll.start();
    emit runningChanged(true);
    run->thread->start();
    return true;
}

void BackgroundWork::cancel() {
    if (!m_run)
        return;
    m_run->cancel.store(true);
    if (m_run->onCancel == OnCancel::LetGo) {
        // The thread ends on its own and deletes itself; nobody waits for its result.
        QThread *thread = m_run->thread;
        disconnect(thread, nullptr, this, nullptr);
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        if (thread->isFinished())
            thread->deleteLater();
        end(Outcome::Cancelled, QString());
    }
}

bool BackgroundWork::wait(int milliseconds) {
    if (!m_run)
        return true;
    if (!m_run->thread->wait(QDeadlineTimer(milliseconds)))
        return false;
    ended();
    return true;
}

void BackgroundWork::poll() {
    if (!m_run)
        return;
    QString caption;
    qint64 done = 0, total = 0;
    if (m_run->progress.take(caption, done, total))
        emit progressed(caption, done, total);
}

void BackgroundWork::ended() {
    // wait() and the queued signal may both arrive here; the first takes the result over.
    if (!m_run || !m_run->thread->isFinished())
        return;
    delete m_run->thread;
    m_run->thread = nullptr;
    end(m_run->outcome, m_run->message);
}

void BackgroundWork::end(Outcome outcome, const QString &message) {
    poll();
    m_poll.stop();
    const std::shared_ptr<Run> run = std::move(m_run);
    emit runningChanged(false);
    if (run->finished)
        run->finished(outcome, message);
}
