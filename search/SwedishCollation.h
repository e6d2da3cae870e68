#pragma once

#include <QStringView>

struct sqlite3;

// The order of the search data source: Swedish (Å, Ä, Ö after Z, digits before letters), upper
// and lower case alike, trailing blanks not counted. The prefix search relies on it: the rows
// between 'T ' and 'TÖÖÖ…' are exactly those that begin with T.
namespace swedish {

// The name under which the order is registered with SQLite and declared on the columns.
inline constexpr char collationName[] = "SVENSKA";

// < 0, 0 or > 0 as a sorts before, equal to or after b.
int compare(QStringView a, QStringView b);

// Registers the collation on an SQLite connection; raises lodvik::Error when SQLite refuses.
void registerCollation(sqlite3 *db);

} // namespace swedish
