#pragma once

#include "store/LocalDatabase.h"

#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;
namespace lodvik {
class Progress;
}

// Loading local.mdb from a work file that an import filled (import/AccessImport): the store's
// side of it, where SQLite is spoken.
namespace dao {

// An SQLite write lock on the live store, held from the first look at the file until the
// imported tables are committed into it: a program that does not know the store's lock file is
// refused ("database is locked") while the import runs, or waits and then writes into the store
// as the import left it; nobody's work is thrown away. Readers go on reading the old tables until
// the commit. The file's kind is read through this connection's own descriptor, never by opening
// the file again: closing a second descriptor would drop the lock.
class LiveStoreLock {
public:
    // Takes the lock on an existing file, or leaves it untaken (held() false) for a file the
    // import replaces as a whole: one it may not write, or no SQLite file. Raises with a message
    // for the operator when another program holds the file.
    explicit LiveStoreLock(const QString &path);
    // Closing ends the transaction: what was not committed is rolled back.
    ~LiveStoreLock();
    LiveStoreLock(const LiveStoreLock &) = delete;
    LiveStoreLock &operator=(const LiveStoreLock &) = delete;

    FileKind kind() const { return m_kind; }
    // The lock is held, and the tables go into the file itself.
    bool held() const { return m_db != nullptr; }

    // Puts the tables (and their indexes) of the work file in place of the store's tables of the
    // same name, in the transaction that holds the lock, and commits.
    void replaceTables(const QString &workPath, lodvik::Progress &progress);

private:
    struct Finalizer {
        void operator()(sqlite3_stmt *statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    [[noreturn]] void failOn(sqlite3 *db) const;
    Statement prepare(sqlite3 *db, const QByteArray &sql) const;
    void exec(const QString &sql);
    void copyRows(sqlite3 *work, const QString &table);
    void close();

    QString m_path;
    sqlite3 *m_db = nullptr;
    FileKind m_kind = FileKind::Sqlite;
};

// The old store into a fresh copy, through SQLite's backup so that a half-written journal of the
// old file is resolved first.
void copyLocalStore(const QString &from, const QString &to);

} // namespace dao
