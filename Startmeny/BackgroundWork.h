#pragma once

#include "MDlib/Progress.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QThread;

// Runs the window's long operations off the interface thread, one at a time, so that the window
// repaints, moves and can cancel while they run. The work gets a progress sink of its own and
// must open its own database connections (connections belong to the thread that opened them).
// What the work leaves for the window is taken over on the interface thread when it ends.
class BackgroundWork : public QObject {
    Q_OBJECT

public:
    enum class Outcome { Done, Failed, Cancelled };
    // Work that checks for cancelling stops at its next check. Work that waits where it cannot
    // check (a server that does not answer) is let go instead: the window stops waiting for it
    // and ignores its result.
    enum class OnCancel { Stop, LetGo };

    explicit BackgroundWork(QObject *parent = nullptr);
    ~BackgroundWork() override;

    bool busy() const { return m_run != nullptr; }

    // Starts work on a thread of its own; false (and nothing started) while other work runs.
    // finished runs on the interface thread afterwards, with the outcome and, for a failure or
    // work that says what a cancelled run kept, the message for the operator.
    using Work = std::function<void(lodvik::Progress &progress)>;
    using Finished = std::function<void(Outcome outcome, const QString &message)>;
    bool start(Work work, Finished finished, OnCancel onCancel = OnCancel::Stop);

    // Asks the work to stop; its promises for a cancelled run hold.
    void cancel();
    // Waits for the running work to end and takes over its result (at shutdown, in tests);
    // false on timeout.
    bool wait(int milliseconds);

signals:
    void runningChanged(bool running);
    // The work's caption and count, at most every few tens of milliseconds.
    void progressed(const QString &caption, qint64 done, qint64 total);

private:
    struct Run;
    void poll();
    void end(Outcome outcome, const QString &message);
    void ended();

    std::shared_ptr<Run> m_run;
    QTimer m_poll;
};
