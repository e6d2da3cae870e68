#pragma once

#include <QList>
#include <QString>

#include <functional>

// Copies the tables of an Access file (Jet 3 or Jet 4) into the local store, an SQLite file.
// Table and column names and the column order stay as Access has them, because the figures read
// some tables by position. The values are carried over as follows:
//   text, memo, GUID       text
//   date/time              text "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" when it has a time
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

// Copies every user table of mdbPath into localPath. The tables it brings replace those of the
// same name; every other table stays. The work is done on a copy in the same folder that is
// renamed into place at the end, so a failure leaves the old local store whole. When localPath
// does not exist, a new store holding the imported tables is made; when it is an Access file
// itself, it is kept beside the new store as "<name>.access". Raises lodvik::Error.
QList<ImportedTable>
importAccessDatabase(const QString &mdbPath, const QString &localPath,
                     const std::function<void(const QString &)> &progress = {});

// An Access date/time value (days since 30 December 1899, the time as the fraction) as the
// import stores it.
QString accessDateText(double value);

} // namespace accessimport
