#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct sqlite3;

// How the figures tell product numbers apart: without regard to case for A-Z and for the
// Latin-1 letters À-Þ (Å, Ä, Ö among them; not × and not ß), which fold to their lower case,
// as the old database engine compared them. SQLite's NOCASE folds A-Z only, so the store's key
// comparisons use this collation instead.
namespace dao {

// The name under which the comparison is registered on every local.mdb connection, and under
// which the catalogue's indexes on product numbers are built.
inline constexpr char productCollation[] = "NOCASE_LATIN1";

// The comparison key of a product number: its UTF-8 bytes with A-Z and À-Þ (except ×) folded to
// lower case. Two product numbers are the same product for the figures exactly when their keys
// are equal, and they sort as their keys compare byte for byte (shorter first on a common
// start). Nothing else is folded: blanks, ß, ÿ and letters beyond Latin-1 stay as they are.
QByteArray productKey(const QString &product);
QByteArray productKey(QByteArrayView utf8);

// The collation itself on UTF-8 bytes: < 0, 0 or > 0 as productKey(a) compares with
// productKey(b).
int compareProducts(const unsigned char *a, int na, const unsigned char *b, int nb);

// "column = ?" under the collation, as the figures' one-product queries filter.
QString productEquals(const QString &column);

// Registers the collation on an SQLite connection; raises lodvik::Error when SQLite refuses.
void registerProductCollation(sqlite3 *db);

} // namespace dao
