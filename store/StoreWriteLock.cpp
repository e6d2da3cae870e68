#include "store/StoreWriteLock.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using lodvik::Error;

namespace dao {

namespace {

constexpr std::chrono::milliseconds kTry{100};

// "lodvikprodsok, process 4711 på datorn kassa2"
QString holderOf(const QLockFile &file) {
    qint64 pid = 0;
    QString host;
    QString program;
    if (!file.getLockInfo(&pid, &host, &program))
        return QStringLiteral("ett annat program");
    QString holder = QStringLiteral("%1, process %2")
                         .arg(program.isEmpty() ? QStringLiteral("ett annat program") : program)
                         .arg(pid);
    if (!host.isEmpty())
        holder += QStringLiteral(" på datorn %1").arg(host);
    return holder;
}

// A live holder keeps its lock file flock()ed for as long as it holds the lock; a file nobody
// holds that way was left by a holder that died, whatever it says (or fails to say) inside. It is
// removed under the same flock, so that two waiters never both take it over. A file younger than
// a moment may be one a writer has just made and not yet locked.
bool removeAbandoned(const QString &fileName) {
    const QByteArray name = QFile::encodeName(fileName);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT; // gone already: try again at once
    bool removed = false;
    struct stat held {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
        ::time(nullptr) - held.st_mtime >= 2 && ::stat(name.constData(), &named) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino)
        removed = ::unlink(name.constData()) == 0;
    ::close(fd);
    return removed;
}

// A lock file is a regular file that a writer made. Anything else in its place is no lock and not
// ours to remove: a folder, a link, or a named pipe, whose opening would wait for ever for a
// writer.
bool isLockFileOrNone(const QString &fileName) {
    struct stat there {};
    return ::lstat(QFile::encodeName(fileName).constData(), &there) != 0 || S_ISREG(there.st_mode);
}

} // namespace

QString StoreWriteLock::resolvedStorePath(const QString &storePath) {
    const QFileInfo store(storePath);
    if (!store.isSymLink())
        return storePath;
    const QString canonical = store.canonicalFilePath();
    return canonical.isEmpty() ? store.symLinkTarget() : canonical;
}

QString StoreWriteLock::pathProblem(const QString &storePath) {
    const QFileInfo store(storePath);
    const QString shown = QDir::toNativeSeparators(storePath);
    if (store.isDir())
        return QStringLiteral("Den lokala databasen %1 är en mapp, ingen databasfil.").arg(shown);
    if (store.exists() && !store.isFile())
        return QStringLiteral("Den lokala databasen %1 är ingen vanlig fil (den är en namngiven "
                              "pipe, en enhet eller liknande) och kan inte vara en databas.")
            .arg(shown);
    if (store.isSymLink() && !store.exists()) {
        const QFileInfo target(resolvedStorePath(storePath));
        if (!target.absoluteDir().exists())
            return QStringLiteral("Den lokala databasen %1 är en länk till %2, men mappen %3 "
                                  "finns inte.")
                .arg(shown, QDir::toNativeSeparators(target.absoluteFilePath()),
                     QDir::toNativeSeparators(target.absolutePath()));
    }
    return QString();
}

QString StoreWriteLock::lockFileName(const QString &storePath) {
    // Beside the file itself, so that a writer through a link and one without share the lock.
    const QFileInfo store(resolvedStorePath(storePath));
    return store.absolutePath() + QStringLiteral("/.") + store.fileName() + QStringLiteral(".lock");
}

StoreWriteLock::StoreWriteLock(const QString &storePath, lodvik::Progress *progress,
                               std::chrono::milliseconds wait)
    : m_file(lockFileName(storePath)) {
    if (const QString problem = pathProblem(storePath); !problem.isEmpty())
        throw Error(problem);
    // Only a holder that no longer runs gives up the lock; a long import keeps it.
    m_file.setStaleLockTime(0);
    const QDeadlineTimer deadline(wait);
    bool told = false;
    for (;;) {
        if (!isLockFileOrNone(m_file.fileName()))
            throw Error(QStringLiteral("Den lokala databasen %1 kan inte låsas för skrivning: "
                                       "låsfilen %2 är ingen vanlig fil (den är en mapp, en länk, "
                                       "en namngiven pipe eller liknande). Ta bort den och försök "
                                       "igen.")
                            .arg(QDir::toNativeSeparators(storePath),
                                 QDir::toNativeSeparators(m_file.fileName())));
        // Short tries, so that a cancel is seen while waiting.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline.remainingTimeAsDuration());
        if (m_file.tryLock(std::min(left, kTry)))
            return;
        if (m_file.error() != QLockFile::LockFailedError) {
            // Without its folder there is no store to write, and that is what the writer says.
            if (!QFileInfo(storePath).absoluteDir().exists())
                throw Error(QStringLiteral("Den lokala databasen %1 finns inte.").arg(storePath));
            throw Error(QStringLiteral("Den lokala databasen %1 kan inte låsas för skrivning: "
                                       "låsfilen %2 kan inte skapas (%3).")
                            .arg(QDir::toNativeSeparators(storePath),
                                 QDir::toNativeSeparators(m_file.fileName()),
                                 m_file.error() == QLockFile::PermissionError
                                     ? QStringLiteral("ingen skrivbehörighet i mappen")
                                     : QStringLiteral("okänt fel")));
        }
        if (removeAbandoned(m_file.fileName()))
            continue;
        if (deadline.hasExpired())
            throw Error(QStringLiteral("Den lokala databasen %1 skrivs av %2 (låsfilen %3). Försök "
                                       "igen när det är klart.")
                            .arg(QDir::toNativeSeparators(storePath), holderOf(m_file),
                                 QDir::toNativeSeparators(m_file.fileName())));
        if (progress) {
            if (!told)
                progress->caption(QStringLiteral("Väntar på %1, som skriver i den lokala "
                                                 "databasen")
                                      .arg(holderOf(m_file)),
                                  lodvik::Progress::Show::Now);
            told = true;
            progress->checkCancelled();
        }
    }
}

StoreWriteLock::~StoreWriteLock() = default;

} // namespace dao
