#include "MDlib/SafeFile.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

#include <QElapsedTimer>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lodvik {

namespace {

const std::atomic<bool> *stopFlag = nullptr;
thread_local FifoWaitCheck fifoWaitCheck;

// Hands the writer's bytes to the file and notes any short write: on a full disk an unbuffered
// write may store part of a block without an error, which only the count shows.
class CheckedWrites : public QIODevice {
public:
    explicit CheckedWrites(QFileDevice &file) : m_file(file) { open(QIODevice::WriteOnly); }
    bool failed() const { return m_failed; }
    int systemError() const { return m_errno; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override {
        if (m_failed)
            return -1;
        errno = 0;
        if (m_file.write(data, size) != size) {
            m_errno = errno;
            m_failed = true;
            return -1;
        }
        return size;
    }

private:
    QFileDevice &m_file;
    bool m_failed = false;
    int m_errno = 0;
};

// While it lives, a write to a pipe or FIFO whose reader has gone fails with EPIPE instead of
// ending the program with SIGPIPE. The signal is sent to the writing thread, so blocking it there
// and taking it before unblocking leaves the rest of the program as it was.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalHeld() {
        if (sigismember(&m_old, SIGPIPE))
            return;
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE)) {
            const timespec none{};
            sigtimedwait(&m_pipe, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld &) = delete;
    PipeSignalHeld &operator=(const PipeSignalHeld &) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_old;
};

QString writeFailure(const QFileDevice &file, const CheckedWrites &device) {
    if (file.error() != QFileDevice::NoError || device.systemError() != 0)
        return fileFailure(file, device.systemError());
    return QStringLiteral("disken är full eller filen blev ofullständig.");
}

void openForWriting(QFileDevice &file, const std::function<void(const QString &)> &fail) {
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int error = errno;
        fail(fileFailure(file, error));
    }
}

// Opening a FIFO for writing blocks until a reader opens it, and QFile retries the open when a
// signal interrupts it: a FIFO nobody reads would hold the program past Ctrl+C and SIGTERM. So
// the reader is waited for a bounded time, and the stop flag ends the wait.
void openFifoForWriting(QFile &file, const std::function<void(const QString &)> &fail) {
    const QByteArray name = QFile::encodeName(file.fileName());
    QElapsedTimer waited;
    waited.start();
    const FifoWaitCheck check = fifoWaitCheck;
    const auto waitEnded = qScopeGuard([&] {
        if (check)
            check(file.fileName(), -1);
    });
    for (;;) {
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                           QFileDevice::AutoCloseHandle)) {
                ::close(fd);
                fail(fileFailure(file, 0));
            }
            return;
        }
        const int error = errno;
        if (error != ENXIO && error != EINTR)
            fail(fileFailure(file, error));
        if ((stopFlag && stopFlag->load()) || (check && check(file.fileName(), waited.elapsed())))
            throw Cancelled();
        if (waited.elapsed() >= kFifoReaderWaitMs)
            fail(QStringLiteral("inget program läser från FIFO:n (väntade %1 sekunder).")
                     .arg(kFifoReaderWaitMs / 1000));
        const timespec pause{0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

bool isFifo(const QString &path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}

// A device or FIFO cannot be replaced: the bytes go into it as they come, and every failed
// write is reported.
void writeInPlace(const QString &path, const std::function<void(const QString &)> &fail,
                  const std::function<void(QIODevice &)> &write) {
    const PipeSignalHeld pipeSignal;
    QFile file(path);
    if (isFifo(path))
        openFifoForWriting(file, fail);
    else
        openForWriting(file, fail);
    CheckedWrites device(file);
    write(device);
    if (device.failed() || file.error() != QFileDevice::NoError)
        fail(writeFailure(file, device));
    errno = 0;
    file.close();
    if (file.error() != QFileDevice::NoError) {
        const int error = errno;
        fail(fileFailure(file, error));
    }
}

} // namespace

void setSaveStopFlag(const std::atomic<bool> *flag) {
    stopFlag = flag;
}

void setFifoWaitCheck(FifoWaitCheck check) {
    fifoWaitCheck = std::move(check);
}

void saveFile(const QString &fileName, const QString &what,
              const std::function<void(QIODevice &)> &write) {
    const auto fail = [&](const QString &why) {
        throw Error(QStringLiteral("%1 kan inte sparas: %2").arg(what, why));
    };
    // QSaveFile replaces the file a symbolic link points to, keeping the link.
    const QFileInfo info(fileName);
    const QDir folder = info.absoluteDir();
    if (!folder.exists()) {
        const QString path = QDir::toNativeSeparators(folder.absolutePath());
        // QDir::exists() is false for a file in the folder's place as well.
        if (QFileInfo(folder.absolutePath()).exists())
            fail(QStringLiteral("%1 är en fil, inte en mapp.").arg(path));
        fail(QStringLiteral("mappen %1 finns inte.").arg(path));
    }
    if (info.isDir())
        fail(QStringLiteral("det finns en mapp med det namnet."));
    // A link that leads back to itself points at no file to replace; QSaveFile would put a file
    // in the link's place.
    struct stat status {};
    if (::stat(QFile::encodeName(fileName).constData(), &status) != 0 && errno == ELOOP)
        fail(systemReason(ELOOP) + QLatin1Char('.'));
    // Only a regular file is replaced by renaming; a device or FIFO in its place would be lost.
    if (info.exists() && !info.isFile()) {
        writeInPlace(fileName, fail, write);
        return;
    }

    QSaveFile file(fileName);
    openForWriting(file, fail);
    CheckedWrites device(file);
    try {
        write(device);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (device.failed() || file.error() != QFileDevice::NoError) {
        const QString why = writeFailure(file, device);
        file.cancelWriting();
        fail(why);
    }
    errno = 0;
    if (!file.commit()) {
        const int error = errno;
        fail(fileFailure(file, error));
    }
}

} // namespace lodvik
