#pragma once

#include <QLockFile>
#include <QString>

#include <chrono>

namespace lodvik {
class Progress;
}

namespace dao {

// The right to write local.mdb, held by one writer at a time across processes: the lock file
// ".local.mdb.lock" beside the store. Every writer of the store (the import, the date
// conversion) takes it before it opens the store, so that no writer works on a file that an
// import is about to replace, and no import replaces a file under a writer. Readers need none:
// the import renames its new file into place in one step.
//
// The lock file names its holder (process id, program, host), and a live holder keeps it locked
// (flock). A holder that died leaves a stale file, which the next writer takes over, also when
// the file is empty or unreadable; a live holder is waited for, however long it runs. A store
// reached through a symbolic link has its lock file beside the link's target.
class StoreWriteLock {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{30000};

    // Waits up to `wait` for another writer to finish, telling the operator through progress and
    // stopping when the operator cancels (lodvik::Cancelled). Raises lodvik::Error naming the
    // holder when the wait runs out, or when the lock file cannot be made.
    explicit StoreWriteLock(const QString &storePath, lodvik::Progress *progress = nullptr,
                            std::chrono::milliseconds wait = kDefaultWait);
    ~StoreWriteLock();
    StoreWriteLock(const StoreWriteLock &) = delete;
    StoreWriteLock &operator=(const StoreWriteLock &) = delete;

    static QString lockFileName(const QString &storePath);
    // The file a store path names: the target of a symbolic link, else the path itself.
    static QString resolvedStorePath(const QString &storePath);
    // Why no store file can be at storePath (a folder there, a link into a folder that does not
    // exist), as a whole sentence; empty when nothing is wrong with the path itself.
    static QString pathProblem(const QString &storePath);

private:
    QLockFile m_file;
};

} // namespace dao
