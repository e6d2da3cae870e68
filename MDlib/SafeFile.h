#pragma once

#include <QString>

#include <atomic>
#include <functional>

class QIODevice;

namespace lodvik {

// Writes fileName so that it appears complete or not at all. The bytes go through `write` into a
// temporary file beside it (QSaveFile, unbuffered, so that a short write on a full disk is seen
// at once rather than lost in a flush) that replaces fileName only when every byte is written.
// A missing folder, no permission or a full disk raises lodvik::Error: "<what> kan inte sparas:
// <reason>" (in Swedish, the system's words after "Detaljer:"); an earlier file of that name is
// left as it was. An exception from `write` cancels the file the same way and is passed on.
// A symbolic link is kept and the file it points to replaced. A target that is no regular file
// (a device, a FIFO) is never replaced: it is written in place, and a failed write (a full
// device, a FIFO whose reader has gone) raises the same error.
// A FIFO is waited for until a program opens it for reading, at most this long; then the save
// fails.
inline constexpr int kFifoReaderWaitMs = 30000;
void saveFile(const QString &fileName, const QString &what,
              const std::function<void(QIODevice &device)> &write);

// The flag Ctrl+C sets: once it is set, a save waiting for a FIFO's reader raises
// lodvik::Cancelled.
void setSaveStopFlag(const std::atomic<bool> *flag);

// Asked while a save on this thread waits for a FIFO's reader: about every 20 ms with the file's
// name and the milliseconds waited, and once more with -1 when the wait ends however it ends.
// true stops the wait (lodvik::Cancelled). The window's worker threads stop at its Avbryt; its
// own thread shows what it waits for, with Avbryt.
using FifoWaitCheck = std::function<bool(const QString &fileName, qint64 waitedMs)>;
// Sets the calling thread's check.
void setFifoWaitCheck(FifoWaitCheck check);

} // namespace lodvik
