#pragma once

#include "store/ServerSettings.h"

#include <QString>

#include <memory>
#include <optional>

// The extract store: the tables the figures and the coverage read. On one workstation that is
// local.mdb in the program folder; a business with several workstations puts the tables on a
// PostgreSQL server prepared with server/extrakt-postgresql.sql and names it in the section
// [extrakt] of lodvikprodsok.ini, with the keys of [sokdata] (driver QPSQL or QODBC).

// The settings of [extrakt] in the program folder's lodvikprodsok.ini; nothing when there is no
// such section, and local.mdb is the store. Raises lodvik::Error for an unknown driver or a bad
// port.
std::optional<SearchSourceSettings> readExtractStoreSettings(const QString &appPath);

// A connection to the server store the settings name, with the search source's time limits;
// raises lodvik::Error with a message for the operator when it cannot be reached.
std::unique_ptr<ServerLogin> openExtractServer(const SearchSourceSettings &settings);

// The column every server table has beside the extract's own: the row's place, in which the
// server does what SQLite does in rowid order. The operator never sees it.
inline constexpr char extractRowNumberColumn[] = "lodvik_radnr";

// The advisory lock every load of the server store takes first, so that two loads never mix.
inline constexpr qint64 extractLoadLockKey = 0x4c6f6476696b4c44; // "LodvikLD"
