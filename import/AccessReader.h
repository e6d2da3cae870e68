#pragma once

#include <QByteArrayList>
#include <QString>

#include <cstdio>
#include <optional>

// The reading half of the import, run by the helper program lodvik-accessreader in a process of
// its own: libmdb may loop for ever or crash on a damaged file, and only a child process can be
// stopped safely when it does.
//
// The helper copies every user table of the Access file into the SQLite work file (which the
// import has already filled with the old store) in one transaction, and tells the import what it
// does on stdout, one report a line, fields separated by blanks and percent-encoded:
//   table NAME             starts copying NAME
//   rows NAME N            N rows of NAME copied so far
//   done NAME N            NAME copied with N rows
//   dates NAME COLUMN N    N dates of NAME.COLUMN could not be stored and were left empty
//   error MESSAGE          the copy failed (exit code 1); MESSAGE is for the operator
// libmdb's own complaints go to stderr.
namespace accessimport {

// Copies the tables of mdbPath into the SQLite file workPath, reporting to out. Returns the exit
// code of the helper: 0 when every table was copied and committed, 1 otherwise.
int readAccessFile(const QString &mdbPath, const QString &workPath, std::FILE *out);

// An Access date/time value (days since 30 December 1899, the time as the fraction) as the
// import stores it: "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" with a time of day. Nothing for a
// value that is no date from 0100-01-01 to 9999-12-31 (the range Access itself allows) or no
// finite number.
std::optional<QString> accessDateText(double value);

// One report line of the helper, and the fields of one.
QByteArray reportLine(const QByteArrayList &fields);
QByteArrayList reportFields(const QByteArray &line);

} // namespace accessimport
