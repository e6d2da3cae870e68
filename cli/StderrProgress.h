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

    // --quiet: the sinks made after this show nothing.
    static void setQuiet(bool quiet);

    // Ends an in-place line, so that what follows starts on a line of its own.
    void finish();

protected:
    void show() override;

private:
    bool m_terminal;
    bool m_lineOpen = false;
};

// Makes Ctrl+C (SIGINT) and SIGTERM set the flag the progress sinks check, instead of killing the
// process in the middle of a write. Returns the flag.
const std::atomic<bool> &interruptFlag();

} // namespace cli
