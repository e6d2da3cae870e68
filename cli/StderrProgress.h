#pragma once

#include "MDlib/Progress.h"

#include <atomic>

namespace cli {

// The commands' progress on stderr, for people: on a terminal one line rewritten in place with
// the count, the percentage and the current item; elsewhere (a pipe, a log from cron) at most one
// line a second; none after --quiet. Ctrl+C asks the work to stop at its next check.
class StderrProgress : public lodvik::Progress {
public:
    StderrProgress();
    ~StderrProgress() override;

    // --quiet: the sinks made after this show nothing, and note() says nothing.
    static void setQuiet(bool quiet);
    // A line for people on stderr (a count, what was created), unless --quiet.
    static void note(const QString &line);

    // The work is done: shows its last report, if that was not shown yet, and ends an in-place
    // line, so that what follows starts on a line of its own.
    void finish();

protected:
    void show() override;

private:
    void endLine();
    QString currentLine() const;

    bool m_terminal;
    bool m_dumb; // a terminal without escapes: spaces blank what a longer line left
    bool m_lineOpen = false;
    bool m_shownAny = false;
    QString m_shown; // the line as last shown
    int m_width = 0; // its width on the terminal
};

// Makes Ctrl+C (SIGINT) and SIGTERM set the flag the progress sinks check, instead of killing the
// process in the middle of a write. Returns the flag.
const std::atomic<bool> &interruptFlag();
// The signal that set the flag (SIGINT, SIGTERM), 0 while none has.
int interruptSignal();

} // namespace cli
