#include "cli/StderrProgress.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

std::atomic<bool> interrupted{false};

// The first Ctrl+C asks the work to stop cleanly; a second one ends the process at once.
extern "C" void onInterrupt(int signal) {
    if (interrupted.exchange(true)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

bool stderrIsTerminal() {
    return isatty(fileno(stderr)) == 1;
}

} // namespace

const std::atomic<bool> &interruptFlag() {
    static const bool installed = [] {
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        return true;
    }();
    Q_UNUSED(installed);
    return interrupted;
}

namespace {
bool quietProgress = false;
}

void StderrProgress::setQuiet(bool quiet) {
    quietProgress = quiet;
}

StderrProgress::StderrProgress()
    : Progress(quietProgress ? -1 : (stderrIsTerminal() ? 100 : 1000)),
      m_terminal(stderrIsTerminal()) {
    setCancelFlag(&interruptFlag());
}

StderrProgress::~StderrProgress() {
    finish();
}

void StderrProgress::finish() {
    if (m_lineOpen) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        m_lineOpen = false;
    }
}

void StderrProgress::show() {
    QString line;
    if (total() > 0)
        line =
            QStringLiteral("%1 av %2 (%3 %) ").arg(done()).arg(total()).arg(done() * 100 / total());
    else if (done() > 0)
        line = QStringLiteral("%1 ").arg(done());
    line += currentCaption();
    if (m_terminal) {
        // Rewrite the line in place; the escape clears what a longer line left behind.
        std::fprintf(stderr, "\r%s\033[K", line.toLocal8Bit().constData());
        m_lineOpen = true;
    } else {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
    std::fflush(stderr);
}

} // namespace cli
