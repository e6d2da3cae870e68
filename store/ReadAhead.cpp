#include "store/ReadAhead.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace dao {

namespace {

// A read forward of the last one brings 4 pages of 4 KiB, and each read past the end of what the
// last one brought twice as many, up to 64 pages: past a few dozen pages a longer read saves no
// more time, and a look-up that only hops forward reads little it does not need.
constexpr sqlite3_int64 firstRunBytes = 16 * 1024;
constexpr sqlite3_int64 runBytes = 256 * 1024;

// SQLite allocates the layer's file object with room for the wrapped layer's after it.
struct File {
    sqlite3_file base;
    sqlite3_file *real;
    bool database;     // a database file, not a journal or a temporary file
    bool wal;          // shares memory for WAL (or its first page says so): never read ahead
    int lock;          // the lock the connection holds on the file
    sqlite3_int64 end; // where the last read ended, to see a run of pages
    unsigned char *run;
    sqlite3_int64 runStart;
    sqlite3_int64 runLength;
    sqlite3_int64 runAsked; // what the last read ahead asked for
    sqlite3_int64 size;     // the file's, as last asked under this lock; -1: to be asked

    bool readsAhead() const { return database && !wal && lock >= SQLITE_LOCK_SHARED; }
    void drop() {
        runLength = 0;
        size = -1;
    }
    const sqlite3_io_methods &methods() const { return *real->pMethods; }
};

File &own(sqlite3_file *file) {
    return *reinterpret_cast<File *>(file);
}

sqlite3_vfs *wrapped(sqlite3_vfs *vfs) {
    return static_cast<sqlite3_vfs *>(vfs->pAppData);
}

int closeFile(sqlite3_file *file) {
    File &f = own(file);
    sqlite3_free(f.run);
    f.run = nullptr;
    return f.methods().xClose(f.real);
}

// The run of pages that begins at offset, read whole when the file is that long.
bool fillRun(File &f, sqlite3_int64 offset, int amount, sqlite3_int64 asked) {
    // A size out of date costs no wrong page: a file grown is read ahead less far, and the read
    // of a file shortened meanwhile fails and is made again as SQLite asked.
    if (f.size < 0 && f.methods().xFileSize(f.real, &f.size) != SQLITE_OK) {
        f.size = -1;
        return false;
    }
    const sqlite3_int64 length = std::min(asked, f.size - offset);
    if (length < amount)
        return false; // the read past the end is SQLite's own to report
    if (!f.run)
        f.run = static_cast<unsigned char *>(sqlite3_malloc64(runBytes));
    if (!f.run || f.methods().xRead(f.real, f.run, int(length), offset) != SQLITE_OK) {
        f.drop();
        return false;
    }
    f.runStart = offset;
    f.runLength = length;
    f.runAsked = asked;
    return true;
}

int readFile(sqlite3_file *file, void *out, int amount, sqlite3_int64 offset) {
    File &f = own(file);
    const sqlite3_int64 end = offset + amount;
    const sqlite3_int64 last = std::exchange(f.end, end);
    if (f.readsAhead() && amount <= runBytes) {
        const sqlite3_int64 runEnd = f.runStart + f.runLength;
        const bool inRun = f.runLength > 0 && offset >= f.runStart && end <= runEnd;
        // Forward within a run's length of the last read or of the run: the pages of a table
        // written together with its indexes lie between theirs.
        const auto ahead = [&](sqlite3_int64 from) {
            return from >= 0 && offset >= from && offset < from + runBytes;
        };
        const bool afterRun = f.runLength > 0 && ahead(runEnd);
        const bool next = afterRun || ahead(last);
        const sqlite3_int64 asked = std::max<sqlite3_int64>(
            afterRun ? std::min(2 * f.runAsked, runBytes) : firstRunBytes, amount);
        if (inRun || (next && fillRun(f, offset, amount, asked))) {
            std::memcpy(out, f.run + (offset - f.runStart), size_t(amount));
            return SQLITE_OK;
        }
    }
    const int rc = f.methods().xRead(f.real, out, amount, offset);
    // A file in WAL mode says so in its first page, read before SQLite maps the shared memory.
    if (rc == SQLITE_OK && offset == 0 && amount > 18 &&
        static_cast<const unsigned char *>(out)[18] == 2)
        f.wal = true;
    return rc;
}

int writeFile(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset) {
    File &f = own(file);
    f.drop();
    return f.methods().xWrite(f.real, data, amount, offset);
}

int truncateFile(sqlite3_file *file, sqlite3_int64 size) {
    File &f = own(file);
    f.drop();
    return f.methods().xTruncate(f.real, size);
}

int syncFile(sqlite3_file *file, int flags) {
    return own(file).methods().xSync(own(file).real, flags);
}

int fileSize(sqlite3_file *file, sqlite3_int64 *size) {
    return own(file).methods().xFileSize(own(file).real, size);
}

int lockFile(sqlite3_file *file, int level) {
    File &f = own(file);
    const int rc = f.methods().xLock(f.real, level);
    if (rc == SQLITE_OK)
        f.lock = std::max(f.lock, level);
    return rc;
}

int unlockFile(sqlite3_file *file, int level) {
    File &f = own(file);
    // Once the shared lock goes, another connection may write: what was read is stale.
    if (level == SQLITE_LOCK_NONE)
        f.drop();
    f.lock = std::min(f.lock, level);
    return f.methods().xUnlock(f.real, level);
}

int checkReservedLock(sqlite3_file *file, int *reserved) {
    return own(file).methods().xCheckReservedLock(own(file).real, reserved);
}

int fileControl(sqlite3_file *file, int op, void *argument) {
    return own(file).methods().xFileControl(own(file).real, op, argument);
}

int sectorSize(sqlite3_file *file) {
    return own(file).methods().xSectorSize(own(file).real);
}

int deviceCharacteristics(sqlite3_file *file) {
    return own(file).methods().xDeviceCharacteristics(own(file).real);
}

int shmMap(sqlite3_file *file, int region, int size, int extend, void volatile **memory) {
    File &f = own(file);
    f.wal = true;
    f.drop();
    return f.methods().xShmMap(f.real, region, size, extend, memory);
}

int shmLock(sqlite3_file *file, int offset, int count, int flags) {
    return own(file).methods().xShmLock(own(file).real, offset, count, flags);
}

void shmBarrier(sqlite3_file *file) {
    own(file).methods().xShmBarrier(own(file).real);
}

int shmUnmap(sqlite3_file *file, int deleteFlag) {
    return own(file).methods().xShmUnmap(own(file).real, deleteFlag);
}

int fetch(sqlite3_file *file, sqlite3_int64 offset, int amount, void **page) {
    return own(file).methods().xFetch(own(file).real, offset, amount, page);
}

int unfetch(sqlite3_file *file, sqlite3_int64 offset, void *page) {
    return own(file).methods().xUnfetch(own(file).real, offset, page);
}

const sqlite3_io_methods ioMethods = {
    3,
    closeFile,
    readFile,
    writeFile,
    truncateFile,
    syncFile,
    fileSize,
    lockFile,
    unlockFile,
    checkReservedLock,
    fileControl,
    sectorSize,
    deviceCharacteristics,
    shmMap,
    shmLock,
    shmBarrier,
    shmUnmap,
    fetch,
    unfetch,
};

int openFile(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    File &f = own(file);
    std::memset(&f, 0, sizeof f);
    f.real = reinterpret_cast<sqlite3_file *>(&f + 1);
    f.database = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    f.end = -1;
    f.size = -1;
    const int rc = wrapped(vfs)->xOpen(wrapped(vfs), name, f.real, flags, outFlags);
    // SQLite closes a file only when its methods are set; the wrapped layer sets its own only
    // when it opened the file, or needs them to close it.
    f.base.pMethods = f.real->pMethods && f.real->pMethods->iVersion >= 3 ? &ioMethods : nullptr;
    if (f.real->pMethods && !f.base.pMethods) {
        f.real->pMethods->xClose(f.real);
        return SQLITE_CANTOPEN;
    }
    return rc;
}

int deleteFile(sqlite3_vfs *vfs, const char *name, int syncDirectory) {
    return wrapped(vfs)->xDelete(wrapped(vfs), name, syncDirectory);
}

int access(sqlite3_vfs *vfs, const char *name, int flags, int *result) {
    return wrapped(vfs)->xAccess(wrapped(vfs), name, flags, result);
}

int fullPathname(sqlite3_vfs *vfs, const char *name, int size, char *out) {
    return wrapped(vfs)->xFullPathname(wrapped(vfs), name, size, out);
}

void *dlOpen(sqlite3_vfs *vfs, const char *name) {
    return wrapped(vfs)->xDlOpen(wrapped(vfs), name);
}

void dlError(sqlite3_vfs *vfs, int size, char *message) {
    wrapped(vfs)->xDlError(wrapped(vfs), size, message);
}

void (*dlSym(sqlite3_vfs *vfs, void *library, const char *symbol))(void) {
    return wrapped(vfs)->xDlSym(wrapped(vfs), library, symbol);
}

void dlClose(sqlite3_vfs *vfs, void *library) {
    wrapped(vfs)->xDlClose(wrapped(vfs), library);
}

int randomness(sqlite3_vfs *vfs, int size, char *out) {
    return wrapped(vfs)->xRandomness(wrapped(vfs), size, out);
}

int sleepFor(sqlite3_vfs *vfs, int microseconds) {
    return wrapped(vfs)->xSleep(wrapped(vfs), microseconds);
}

int currentTime(sqlite3_vfs *vfs, double *now) {
    return wrapped(vfs)->xCurrentTime(wrapped(vfs), now);
}

int lastError(sqlite3_vfs *vfs, int size, char *message) {
    return wrapped(vfs)->xGetLastError(wrapped(vfs), size, message);
}

int currentTimeInt64(sqlite3_vfs *vfs, sqlite3_int64 *now) {
    return wrapped(vfs)->xCurrentTimeInt64(wrapped(vfs), now);
}

sqlite3_vfs *registerLayer() {
    sqlite3_vfs *real = sqlite3_vfs_find(nullptr);
    if (!real || real->iVersion < 2)
        return nullptr;
    static sqlite3_vfs layer = {
        2,
        int(sizeof(File) + real->szOsFile),
        real->mxPathname,
        nullptr,
        "lodvik-readahead",
        real,
        openFile,
        deleteFile,
        access,
        fullPathname,
        dlOpen,
        dlError,
        dlSym,
        dlClose,
        randomness,
        sleepFor,
        currentTime,
        lastError,
        currentTimeInt64,
        nullptr,
        nullptr,
        nullptr,
    };
    return sqlite3_vfs_register(&layer, 0) == SQLITE_OK ? &layer : nullptr;
}

} // namespace

const char *readAheadLayer() {
    static sqlite3_vfs *const layer = registerLayer();
    return layer ? layer->zName : nullptr;
}

} // namespace dao
