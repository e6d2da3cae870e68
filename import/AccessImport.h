#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "store/ExtractLoad.h"

#include <chrono>

struct SearchSourceSettings;
namespace lodvik {
class Progress;
}

// Copies the tables of an Access file (Jet 3 or Jet 4) into the local store, an SQLite file.
// Table and column names and the column order stay as Access has them, because the figures read
// some tables by position. The values are carried over as follows:
//   text, memo, GUID       text
//   date/time              text "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" when it has a time;
//                          null for a date outside 0100-01-01 … 9999-12-31 or no number at all
//   byte, integer, long    integer;  yes/no as 0 or 1
//   single, double,
//   currency, decimal      real number
//   binary, OLE object     blob
// An empty value (Access and its export tools do not tell an empty text from a missing one)
// becomes null.
namespace accessimport {

struct ImportedTable {
    QString name;
    qint64 rows = 0;
};

struct ImportResult {
    QList<ImportedTable> tables;
    // For the operator: one line for each column some of whose dates were left empty.
    QStringList warnings;
};

// What one import may take. The Access file is read by a child process (libmdb may loop for ever
// on a damaged file), which is stopped when it exceeds these.
struct ImportLimits {
    std::chrono::milliseconds lockWait; // for another writer of the local store to finish
    std::chrono::seconds cpu;           // processor time of the child
    std::chrono::seconds wall;          // time on the clock of the child
    qint64 addressSpace = 0;            // bytes of address space of the child; 0 for no limit
};

// The limits for an Access file of fileSize bytes: 30 s of waiting for another writer; 60 s and
// 1 s more per MiB of the file (a healthy file is read at well over 20 MiB a second), both of
// processor time and on the clock; 2 GiB of address space.
ImportLimits defaultLimits(qint64 fileSize);

// Copies every user table of mdbPath into localPath. The tables it brings replace those of the
// same name; every other table stays. The Access file is read into a work file in the same folder;
// its tables then go into the store in one transaction, so a failure leaves the old local store
// whole, and the store keeps its owner, permissions and links (a symbolic link is written
// through). When localPath does not exist (or cannot be written), a new store is made and renamed
// into place; when it is an Access file itself, it is kept beside the new store as
// "<name>.access".
//
// The import holds the local store's write lock (dao::StoreWriteLock) and an SQLite write lock on
// it from its first look at the file until the commit, so that no other writer's work is lost:
// another program writing meanwhile gets "database is locked", or waits and writes after the
// import. It removes the work files of earlier imports that were killed. It touches no widget and
// can run on any thread; progress gets the table being read and is checked for cancellation,
// which stops the child and leaves the store unchanged. Raises lodvik::Error (lodvik::Cancelled).
ImportResult importAccessDatabase(const QString &mdbPath, const QString &localPath,
                                  lodvik::Progress &progress);
ImportResult importAccessDatabase(const QString &mdbPath, const QString &localPath,
                                  lodvik::Progress &progress, const ImportLimits &limits);

// The same into the extract store on the server ([extrakt]): every user table of mdbPath is read
// into a work file in the temporary folder, then loaded into the server in one transaction
// (extractload::loadServerStore); a failure or a cancellation leaves the server's tables as they
// were. Raises lodvik::Error (lodvik::Cancelled).
ImportResult importAccessDatabaseToServer(const QString &mdbPath,
                                          const SearchSourceSettings &server,
                                          lodvik::Progress &progress,
                                          const extractload::LoadOptions &options = {});

} // namespace accessimport
