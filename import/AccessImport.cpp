#include "import/AccessImport.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "MDlib/SystemError.h"
#include "import/AccessReader.h"
#include "store/ExtractLoad.h"
#include "store/LocalDatabase.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"
#include "store/StoreWriteLock.h"

#include <sqlite3.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

using lodvik::Error;

namespace accessimport {

namespace {

// AddressSanitizer reserves terabytes of address space: the child's memory is limited by its
// resident size instead. GCC says so with __SANITIZE_ADDRESS__, clang only through
// __has_feature.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

const char *const kReaderName = "lodvik-accessreader";
// Of the child's complaints on stderr, the operator is shown this many different lines.
constexpr qsizetype kMaxComplaints = 5;

QString tryAgainLater(int rc) {
    return (rc & 0xff) == SQLITE_BUSY
               ? QStringLiteral(" Försök igen när det andra programmet är klart.")
               : QString();
}

// "<reason>.[ Försök igen…][more]\nDetaljer: <SQLite's words>"
QString storeFailure(sqlite3 *db, int code, const QString &more = {}) {
    const QString engine = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    QString failure = dao::sqliteFailure(code, engine);
    const qsizetype postscript = failure.indexOf(QLatin1Char('\n'));
    return failure.insert(postscript < 0 ? failure.size() : postscript, tryAgainLater(code) + more);
}

// An SQLite write lock on the live store, held from the first look at the file until the
// imported tables are committed into it: a program that does not know the store's lock file is
// refused ("database is locked") while the import runs, or waits and then writes into the store
// as the import left it; nobody's work is thrown away. Readers go on reading the old tables until
// the commit. The file's kind is read through this connection's own descriptor, never by opening
// the file again: closing a second descriptor would drop the lock.
class LiveStoreLock {
public:
    explicit LiveStoreLock(const QString &path) : m_path(path) {
        int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE,
                                 nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_extended_result_codes(m_db, 1);
            try {
                m_kind = dao::fileKind(m_db, QStringLiteral("Den lokala databasen"));
            } catch (...) {
                close();
                throw;
            }
            // SQLite opens a file it may not write read-only and even takes its write lock; the
            // import could only fail at the end. Such a store is replaced as a whole instead.
            if (m_kind != dao::FileKind::Sqlite || sqlite3_db_readonly(m_db, "main") == 1) {
                close();
                return;
            }
            sqlite3_busy_timeout(m_db, 5000);
            rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK) {
            const int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
            const QString why = storeFailure(m_db, code);
            close();
            // A write-protected store is replaced as a whole, as before; nobody writes into it.
            if ((code & 0xff) == SQLITE_READONLY)
                return;
            throw Error(QStringLiteral("Den lokala databasen %1 kan inte låsas för importen: %2")
                            .arg(path, why));
        }
    }
    // Closing ends the transaction: what was not committed is rolled back.
    ~LiveStoreLock() { close(); }
    LiveStoreLock(const LiveStoreLock &) = delete;
    LiveStoreLock &operator=(const LiveStoreLock &) = delete;

    dao::FileKind kind() const { return m_kind; }
    // The lock is held, and the tables go into the file itself.
    bool held() const { return m_db != nullptr; }

    // Puts the tables (and their indexes) of the work file in place of the store's tables of the
    // same name, in the transaction that holds the lock, and commits.
    void replaceTables(const QString &workPath, lodvik::Progress &progress) {
        sqlite3 *work = nullptr;
        struct Closer {
            sqlite3 *&db;
            ~Closer() { sqlite3_close_v2(db); }
        } closer{work};
        if (sqlite3_open_v2(QFile::encodeName(workPath).constData(), &work, SQLITE_OPEN_READONLY,
                            nullptr) != SQLITE_OK)
            failOn(work);
        sqlite3_extended_result_codes(work, 1);
        const Statement objects =
            prepare(work, "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                          "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                          "ORDER BY type <> 'table', rowid");
        progress.caption(QStringLiteral("Skriver in tabellerna i den lokala databasen"),
                         lodvik::Progress::Show::WhenDue);
        for (int rc; (rc = sqlite3_step(objects.get())) != SQLITE_DONE;) {
            if (rc != SQLITE_ROW)
                failOn(work);
            progress.checkCancelled();
            const QString type = columnText(objects.get(), 0);
            const QString name = columnText(objects.get(), 1);
            if (type == QLatin1String("table"))
                exec(QStringLiteral("DROP TABLE IF EXISTS main.%1").arg(sqltext::identifier(name)));
            exec(columnText(objects.get(), 2));
            if (type == QLatin1String("table"))
                copyRows(work, name);
        }
        // Readers of the old tables finish first; the commit waits for them a while.
        sqlite3_busy_timeout(m_db, 30000);
        exec(QStringLiteral("COMMIT"));
    }

private:
    struct Finalizer {
        void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    Statement prepare(sqlite3 *db, const QByteArray &sql) const {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(statement);
            failOn(db);
        }
        return Statement(statement);
    }

    static QString columnText(sqlite3_stmt *statement, int column) {
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column));
    }

    [[noreturn]] void failOn(sqlite3 *db) const {
        throw Error(
            QStringLiteral("De importerade tabellerna kan inte skrivas in i den lokala "
                           "databasen %1: %2")
                .arg(m_path, storeFailure(db, db ? sqlite3_extended_errcode(db) : SQLITE_CANTOPEN,
                                          QStringLiteral(" Den lokala databasen är "
                                                         "oförändrad."))));
    }

    void exec(const QString &sql) {
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            failOn(m_db);
    }

    void copyRows(sqlite3 *work, const QString &table) {
        const QString quoted = sqltext::identifier(table);
        const Statement rows =
            prepare(work, QStringLiteral("SELECT * FROM %1").arg(quoted).toUtf8());
        const int columns = sqlite3_column_count(rows.get());
        QStringList marks;
        for (int i = 0; i < columns; ++i)
            marks.append(QStringLiteral("?"));
        const Statement into = prepare(m_db, QStringLiteral("INSERT INTO main.%1 VALUES (%2)")
                                                 .arg(quoted, marks.join(QLatin1Char(',')))
                                                 .toUtf8());
        for (int rc; (rc = sqlite3_step(rows.get())) != SQLITE_DONE;) {
            if (rc != SQLITE_ROW)
                failOn(work);
            for (int i = 0; i < columns; ++i)
                sqlite3_bind_value(into.get(), i + 1, sqlite3_column_value(rows.get(), i));
            if (sqlite3_step(into.get()) != SQLITE_DONE)
                failOn(m_db);
            sqlite3_reset(into.get());
        }
    }

    void close() {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

    QString m_path;
    sqlite3 *m_db = nullptr;
    dao::FileKind m_kind = dao::FileKind::Sqlite;
};

// The old store into the fresh copy, through SQLite's backup so that a half-written journal of
// the old file is resolved first.
void copyStore(const QString &from, const QString &to) {
    dao::Database source = dao::Database::OpenDatabase(from);
    dao::Database target = dao::Database::OpenDatabase(to);
    sqlite3_backup *backup = sqlite3_backup_init(target.handle(), "main", source.handle(), "main");
    int rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_extended_errcode(target.handle());
    if (backup) {
        sqlite3_backup_finish(backup);
        if (rc == SQLITE_DONE)
            return;
    }
    throw Error(QStringLiteral("Den lokala databasen %1 kan inte kopieras: %2")
                    .arg(from, storeFailure(nullptr, rc)));
}

QString freeName(const QString &path) {
    QString candidate = path;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = path + QStringLiteral("-%1").arg(n);
    return candidate;
}

// The work files of imports that were killed before they could remove them. Called with the
// store's write lock held, so no running import owns one.
void removeLeftovers(const QFileInfo &store) {
    QDir folder = store.absoluteDir();
    const QStringList leftovers =
        folder.entryList({QStringLiteral(".") + store.fileName() + QStringLiteral(".import-*")},
                         QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : leftovers)
        folder.remove(name);
}

// The work folders of imports into the server, in the temporary folder: each holds a copy of
// the Access data while its import runs, which keeps the folder's lock file locked (flock) as
// long as it lives. A folder whose lock nobody holds belongs to an import that was killed.
constexpr char serverWorkFolders[] = "lodvikprodsok-import-";
constexpr char serverWorkLock[] = ".lock";

// Locks the lock file of a work folder; -1 when another process holds it or it cannot be had.
int lockWorkFolder(const QString &folder) {
    const int fd =
        ::open(QFile::encodeName(QDir(folder).filePath(QLatin1String(serverWorkLock))).constData(),
               O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Removes the work folders (of this user) that no running import holds.
void removeServerLeftovers() {
    QDir temp(QDir::tempPath());
    const QStringList folders =
        temp.entryList({QLatin1String(serverWorkFolders) + QLatin1Char('*')},
                       QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : folders) {
        const QString folder = temp.filePath(name);
        if (QFileInfo(folder).ownerId() != ::getuid())
            continue;
        const int fd = lockWorkFolder(folder);
        if (fd < 0)
            continue; // a running import's
        QDir(folder).removeRecursively();
        ::close(fd);
    }
}

QString readerProgram() {
    const QString beside = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")))
                               .absoluteDir()
                               .filePath(QString::fromLatin1(kReaderName));
    for (const QString &candidate : {beside, QStringLiteral(LODVIK_ACCESSREADER_BUILD_PATH)}) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    throw Error(QStringLiteral("Programdelen %1, som läser Access-filer, saknas; den ska ligga i "
                               "%2. Installera programmet på nytt.")
                    .arg(QString::fromLatin1(kReaderName), QFileInfo(beside).absolutePath()));
}

// The child's complaints on stderr (libmdb's "offset 8192 is beyond EOF" and the like). A damaged
// file can make libmdb repeat one line millions of times: the first few different lines are kept
// with their counts.
class Complaints {
public:
    void add(const QByteArray &bytes) {
        m_partial += bytes;
        qsizetype start = 0;
        for (qsizetype end; (end = m_partial.indexOf('\n', start)) >= 0; start = end + 1)
            addLine(m_partial.mid(start, end - start).trimmed());
        m_partial.remove(0, start);
        if (m_partial.size() > 4096) // no line end in sight: count what there is
            addLine(std::exchange(m_partial, {}).trimmed());
    }
    bool mention(const char *text) const {
        return std::any_of(m_lines.begin(), m_lines.end(),
                           [text](const auto &line) { return line.first.contains(text); }) ||
               m_partial.contains(text);
    }
    // A postscript to the operator's message.
    QString details() {
        addLine(std::exchange(m_partial, {}).trimmed());
        if (m_lines.isEmpty())
            return {};
        QStringList lines;
        for (const auto &[line, count] : m_lines)
            lines.append(count == 1 ? QString::fromLocal8Bit(line)
                                    : QStringLiteral("%1 (%2 gånger)")
                                          .arg(QString::fromLocal8Bit(line))
                                          .arg(count));
        if (m_others > 0)
            lines.append(QStringLiteral("… och %1 rader till").arg(m_others));
        return QStringLiteral("\nDetaljer: %1").arg(lines.join('\n'));
    }

private:
    void addLine(const QByteArray &line) {
        if (line.isEmpty())
            return;
        for (auto &[known, count] : m_lines)
            if (known == line) {
                ++count;
                return;
            }
        if (m_lines.size() < kMaxComplaints)
            m_lines.append({line.left(300), 1});
        else
            ++m_others;
    }

    QList<QPair<QByteArray, qint64>> m_lines;
    qint64 m_others = 0;
    QByteArray m_partial;
};

struct ChildRun {
    ImportResult result;
    QString error; // the child's own message
    Complaints complaints;
    bool timedOut = false;
};

void handleReport(const QByteArray &line, ChildRun &run, lodvik::Progress &progress) {
    const QByteArrayList fields = reportFields(line);
    const QByteArray &kind = fields.first();
    auto text = [&](int i) {
        return i < fields.size() ? QString::fromUtf8(fields.at(i)) : QString();
    };
    if (kind == "table") {
        progress.caption(QStringLiteral("Importerar %1").arg(text(1)));
    } else if (kind == "rows") {
        progress.caption(QStringLiteral("Importerar %1 (%2 rader)").arg(text(1), text(2)));
    } else if (kind == "done") {
        run.result.tables.append({text(1), text(2).toLongLong()});
    } else if (kind == "dates") {
        run.result.warnings.append(
            QStringLiteral("Tabellen %1, kolumnen %2: %3 datum utanför 0100-01-01 – 9999-12-31 "
                           "(eller inga datum alls) lämnades tomma.")
                .arg(text(1), text(2), text(3)));
    } else if (kind == "error") {
        run.error = text(1);
    }
}

// Runs the child on the Access file and the work file, within the limits, until it ends.
// intact: what the operator is told stays as it was when the reading fails.
ChildRun runReader(const QString &mdbPath, const QString &workPath, lodvik::Progress &progress,
                   const ImportLimits &limits,
                   const QString &intact = QStringLiteral("Den lokala databasen är oförändrad.")) {
    QProcess child;
    child.setProgram(readerProgram());
    child.setArguments({mdbPath, workPath});
    child.setStandardInputFile(QProcess::nullDevice());
    const pid_t parent = getpid();
    const rlim_t cpu = rlim_t(limits.cpu.count());
    // Not const: under AddressSanitizer it would be the constant 0, which clang will not have
    // captured.
    rlim_t addressSpace = kAddressSanitizer ? 0 : rlim_t(limits.addressSpace);
    // Runs in the child between fork and exec: system calls only.
    child.setChildProcessModifier([parent, cpu, addressSpace] {
        const rlimit time{cpu, cpu + 5}; // SIGXCPU, then SIGKILL
        setrlimit(RLIMIT_CPU, &time);
        if (addressSpace > 0) {
            const rlimit memory{addressSpace, addressSpace};
            setrlimit(RLIMIT_AS, &memory);
        }
        const rlimit noCore{0, 0}; // a damaged file leaves no core dump behind
        setrlimit(RLIMIT_CORE, &noCore);
        // Ctrl+C on a terminal reaches the whole process group: the import stops the child
        // itself when it sees the cancel.
        signal(SIGINT, SIG_IGN);
        // The child dies with the import, also when the import is killed.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
    });
    if (kAddressSanitizer && limits.addressSpace > 0) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QString options = environment.value(QStringLiteral("ASAN_OPTIONS"));
        if (!options.isEmpty())
            options += ':';
        options += QStringLiteral("hard_rss_limit_mb=%1").arg(limits.addressSpace >> 20);
        environment.insert(QStringLiteral("ASAN_OPTIONS"), options);
        child.setProcessEnvironment(environment);
    }

    ChildRun run;
    auto readOutput = [&] {
        while (child.canReadLine())
            handleReport(child.readLine(), run, progress);
        run.complaints.add(child.readAllStandardError());
    };

    child.start();
    if (!child.waitForStarted(30000))
        throw Error(QStringLiteral("Programdelen %1, som läser Access-filer, kan inte startas.%2")
                        .arg(child.program(), lodvik::details(child.errorString())));
    QElapsedTimer clock;
    clock.start();
    try {
        while (!child.waitForFinished(100) && child.state() != QProcess::NotRunning) {
            readOutput();
            progress.checkCancelled();
            if (clock.hasExpired(std::chrono::milliseconds(limits.wall).count())) {
                run.timedOut = true;
                child.kill();
                child.waitForFinished(5000);
                break;
            }
        }
    } catch (...) {
        child.kill();
        child.waitForFinished(5000);
        throw;
    }
    readOutput();
    if (child.bytesAvailable() > 0) // a last report without its line end
        handleReport(child.readAll(), run, progress);
    // A cancel that came as the child ended still leaves the store as it was, and is no failure.
    progress.checkCancelled();

    const bool crashed = child.exitStatus() == QProcess::CrashExit;
    if (!run.timedOut && !crashed && child.exitCode() == 0 && run.error.isEmpty() &&
        !run.result.tables.isEmpty())
        return run;

    // What went wrong, in the operator's words.
    const QString damaged =
        QStringLiteral("Access-filen %1 kunde inte läsas (den verkar skadad): ").arg(mdbPath);
    QString message;
    // A killed child's exit code is the signal that ended it.
    const int killedBy = crashed ? child.exitCode() : 0;
    // GLib's, SQLite's and AddressSanitizer's words for it
    const bool outOfMemory = run.complaints.mention("failed to allocate") ||
                             run.complaints.mention("Cannot allocate memory") ||
                             run.complaints.mention("out of memory") ||
                             run.complaints.mention("rss limit");
    if (run.timedOut)
        message = damaged + QStringLiteral("läsningen tog mer än %1 sekunder och stoppades.")
                                .arg(limits.wall.count());
    else if (crashed && (killedBy == SIGXCPU || killedBy == SIGKILL))
        message =
            damaged + QStringLiteral("läsningen tog mer än %1 sekunder processortid och stoppades.")
                          .arg(limits.cpu.count());
    else if (outOfMemory)
        message = damaged + QStringLiteral("läsningen behövde mer än %1 MiB minne och stoppades.")
                                .arg(limits.addressSpace >> 20);
    else if (!run.error.isEmpty())
        message = run.error;
    else if (crashed)
        message = damaged + QStringLiteral("läsningen slutade med ett programfel (signal %1, %2).")
                                .arg(killedBy)
                                .arg(QString::fromLatin1(sigdescr_np(killedBy)));
    else
        message =
            damaged + QStringLiteral("läsningen slutade med felkod %1.").arg(child.exitCode());
    throw Error(message + QLatin1Char(' ') + intact + run.complaints.details());
}

} // namespace

ImportLimits defaultLimits(qint64 fileSize) {
    const std::chrono::seconds time(60 + fileSize / (1 << 20));
    return {dao::StoreWriteLock::kDefaultWait, time, time, qint64(2) << 30};
}

ImportResult importAccessDatabase(const QString &mdbPath, const QString &localPath,
                                  lodvik::Progress &progress) {
    return importAccessDatabase(mdbPath, localPath, progress,
                                defaultLimits(QFileInfo(mdbPath).size()));
}

namespace {

void requireAccessFile(const QString &mdbPath) {
    const QFileInfo file(mdbPath);
    // A named pipe or a device exists all the same; reading one could wait for ever.
    if (file.exists() && !file.isFile())
        throw Error(QStringLiteral("%1 är ingen vanlig fil och kan inte vara en Access-databas.")
                        .arg(mdbPath));
    if (!file.isFile())
        throw Error(QStringLiteral("Access-filen %1 finns inte.").arg(mdbPath));
    if (dao::fileKind(mdbPath) != dao::FileKind::Access)
        throw Error(QStringLiteral("%1 är ingen Access-databas (Jet 3 eller Jet 4).").arg(mdbPath));
}

} // namespace

ImportResult importAccessDatabase(const QString &mdbPath, const QString &localPath,
                                  lodvik::Progress &progress, const ImportLimits &limits) {
    requireAccessFile(mdbPath);

    // First the store's write lock: no other writer works on local.mdb until the new tables are
    // in place, and no other import runs.
    const dao::StoreWriteLock writeLock(localPath, &progress, limits.lockWait);
    // A link stays a link: the tables go into the file it points to.
    const QString storePath = dao::StoreWriteLock::resolvedStorePath(localPath);
    const QFileInfo target(storePath);
    removeLeftovers(target);

    const bool hadStore = target.exists();
    std::optional<LiveStoreLock> liveLock;
    if (hadStore)
        liveLock.emplace(storePath);
    const bool replacesAccess = liveLock && liveLock->kind() != dao::FileKind::Sqlite;
    if (replacesAccess && liveLock->kind() != dao::FileKind::Access)
        throw Error(QStringLiteral("%1 är ingen databas som programmet kan läsa; den lämnas orörd.")
                        .arg(localPath));

    QTemporaryFile work(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".import-XXXXXX"));
    if (!work.open()) {
        const int error = errno;
        throw Error(QStringLiteral("Kan inte skapa en arbetsfil i %1: %2")
                        .arg(target.absolutePath(), lodvik::fileFailure(work, error)));
    }
    work.close();
    // The journal SQLite may leave beside the work file goes with it.
    struct JournalRemover {
        QString path;
        ~JournalRemover() { QFile::remove(path + QStringLiteral("-journal")); }
    } journal{work.fileName()};

    // A store the import may write gets the new tables in one transaction of the lock's
    // connection: every other table, the file's owner, permissions and links stay as they were.
    if (liveLock && liveLock->held()) {
        ChildRun run = runReader(mdbPath, work.fileName(), progress, limits);
        liveLock->replaceTables(work.fileName(), progress);
        return run.result;
    }

    // Otherwise (no store yet, an Access file in its place, a write-protected store) a new file
    // takes its place.
    if (hadStore && !replacesAccess)
        copyStore(storePath, work.fileName());
    ChildRun run = runReader(mdbPath, work.fileName(), progress, limits);

    QFile::setPermissions(work.fileName(), hadStore ? QFile::permissions(storePath)
                                                    : QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadGroup | QFile::WriteGroup |
                                                          QFile::ReadOther);
    QString kept;
    if (replacesAccess) {
        kept = freeName(storePath + QStringLiteral(".access"));
        if (!QFile::rename(storePath, kept))
            throw Error(QStringLiteral("Access-filen %1 kan inte flyttas undan till %2.")
                            .arg(storePath, kept));
    }
    // rename() replaces the old store in one step: a reader sees the old file or the new one.
    if (std::rename(QFile::encodeName(work.fileName()).constData(),
                    QFile::encodeName(storePath).constData()) != 0) {
        const int error = errno;
        if (!kept.isEmpty())
            QFile::rename(kept, storePath);
        throw Error(QStringLiteral("Den nya lokala databasen kan inte flyttas till %1: %2.%3")
                        .arg(storePath, lodvik::systemReason(error),
                             lodvik::details(QString::fromLocal8Bit(std::strerror(error)))));
    }
    work.setAutoRemove(false);
    return run.result;
}

ImportResult importAccessDatabaseToServer(const QString &mdbPath,
                                          const SearchSourceSettings &server,
                                          lodvik::Progress &progress,
                                          const extractload::LoadOptions &options) {
    // What a killed import left goes first, whatever becomes of this one.
    removeServerLeftovers();
    requireAccessFile(mdbPath);
    // The child reads into a work file as for local.mdb: a damaged Access file then fails before
    // the server is touched, and the child never needs the server's password.
    QTemporaryDir folder(
        QDir(QDir::tempPath())
            .filePath(QLatin1String(serverWorkFolders) + QStringLiteral("XXXXXX")));
    if (!folder.isValid())
        throw Error(QStringLiteral("Kan inte skapa en arbetsmapp för importen: %1")
                        .arg(folder.errorString()));
    // Held until the folder is removed; a killed import's lock goes with its process.
    struct Held {
        int fd;
        ~Held() {
            if (fd >= 0)
                ::close(fd);
        }
    } held{lockWorkFolder(folder.path())};
    const QString work = folder.filePath(QStringLiteral("import.db"));
    QFile empty(work);
    if (!empty.open(QIODevice::WriteOnly)) {
        const int error = errno;
        throw Error(QStringLiteral("Kan inte skapa en arbetsfil i %1: %2")
                        .arg(folder.path(), lodvik::fileFailure(empty, error)));
    }
    empty.close();
    ChildRun run = runReader(mdbPath, work, progress, defaultLimits(QFileInfo(mdbPath).size()),
                             QStringLiteral("Tabellerna på servern är oförändrade."));

    extractload::LoadOptions load = options;
    load.tables = QStringList();
    for (const ImportedTable &table : run.result.tables)
        load.tables->append(table.name);
    const extractload::LoadResult loaded =
        extractload::loadServerStore(work, server, progress, load);
    ImportResult result;
    result.warnings = run.result.warnings + loaded.warnings;
    for (const extractload::LoadedTable &table : loaded.tables)
        result.tables.append({table.name, table.rows});
    return result;
}

} // namespace accessimport
