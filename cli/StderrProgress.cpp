#include "cli/StderrProgress.h"

#include "MDlib/SafeFile.h"

#include <csignal>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

std::atomic<bool> interrupted{false};
std::atomic<int> interruptedBy{0};

// The first Ctrl+C asks the work to stop cleanly; a second one ends the process at once.
extern "C" void onInterrupt(int signal) {
    if (!interrupted.load())
        interruptedBy.store(signal); // the first one is the one the exit code tells
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
        lodvik::setSaveStopFlag(&interrupted);
        return true;
    }();
    Q_UNUSED(installed);
    return interrupted;
}

int interruptSignal() {
    return interruptedBy.load();
}

namespace {

bool quietProgress = false;

// The terminal's width, so that the line never wraps: \r goes back only to the start of the
// last screen row, and a wrapped line would leave its first rows behind.
int terminalColumns() {
    winsize size{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

bool dumbTerminal() {
    const QByteArray term = qgetenv("TERM");
    return term.isEmpty() || term == "dumb";
}

} // namespace

void StderrProgress::setQuiet(bool quiet) {
    quietProgress = quiet;
}

void StderrProgress::note(const QString &line) {
    if (!quietProgress)
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

StderrProgress::StderrProgress()
    : Progress(quietProgress ? -1 : (stderrIsTerminal() ? 100 : 1000)),
      m_terminal(stderrIsTerminal()), m_dumb(dumbTerminal()) {
    setCancelFlag(&interruptFlag());
}

StderrProgress::~StderrProgress() {
    endLine();
}

void StderrProgress::finish() {
    // Work that ends between two reports would otherwise leave an earlier count standing.
    if (m_shownAny && m_shown != currentLine())
        show();
    endLine();
}

void StderrProgress::endLine() {
    if (m_lineOpen) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        m_lineOpen = false;
    }
}

QString StderrProgress::currentLine() const {
    QString line;
    if (total() > 0)
        line =
            QStringLiteral("%1 av %2 (%3 %) ").arg(done()).arg(total()).arg(done() * 100 / total());
    else if (done() > 0)
        line = QStringLiteral("%1 ").arg(done());
    return line + currentCaption();
}

void StderrProgress::show() {
    QString line = currentLine();
    m_shown = line;
    m_shownAny = true;
    if (m_terminal) {
        line.truncate(qMax(terminalColumns() - 1, 1));
        // Rewrite the line in place, blanking what a longer line left behind.
        QByteArray text = '\r' + line.toLocal8Bit();
        if (m_dumb)
            text += QByteArray(qMax(m_width - int(line.size()), 0), ' ');
        else
            text += "\033[K";
        m_width = int(line.size());
        std::fputs(text.constData(), stderr);
        m_lineOpen = true;
    } else {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
    std::fflush(stderr);
}

} // namespace cli
