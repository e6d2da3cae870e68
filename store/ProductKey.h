#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

struct sqlite3;

// How the figures tell product numbers apart: without regard to case for A-Z and for the
// Latin-1 letters À-Þ (Å, Ä, Ö among them; not × and not ß), which fold to their lower case,
// as the old database engine compared them. SQLite's NOCASE folds A-Z only; local.mdb keeps
// NOCASE (columns and indexes, which every SQLite client understands), and the figures ask for
// the Latin-1 case variants of a product number instead (productCondition).
namespace dao {

// The name under which the comparison is registered on every local.mdb connection. Nothing in
// the store is built under it: an index that needs it locks every other client out of its table.
inline constexpr char productCollation[] = "NOCASE_LATIN1";

// The comparison key of a product number: its UTF-8 bytes with A-Z and À-Þ (except ×) folded to
// lower case. Two product numbers are the same product for the figures exactly when their keys
// are equal, and they sort as their keys compare byte for byte (shorter first on a common
// start). Nothing else is folded: blanks, ß, ÿ and letters beyond Latin-1 stay as they are.
QByteArray productKey(const QString &product);
QByteArray productKey(QByteArrayView utf8);
// productKey into key, whose buffer is used again: a walk over many rows makes no allocation a
// row.
void productKeyInto(QByteArrayView utf8, QByteArray &key);
// productKey of size bytes at utf8 into key, which holds size bytes: a look-up per row that
// folds into a buffer of its own.
void foldProductKey(const char *utf8, qsizetype size, char *key);

// The collation itself on UTF-8 bytes: < 0, 0 or > 0 as productKey(a) compares with
// productKey(b).
int compareProducts(const unsigned char *a, int na, const unsigned char *b, int nb);

// The product number with its Latin-1 letters À-Þ/à-þ (not × ÷) in every combination of case,
// the number itself first: with NOCASE for A-Z, exactly the numbers whose productKey is the
// product's. Empty when there would be more than most.
QStringList latin1CaseVariants(const QString &product, int most);

// How a query picks the rows of one product by a column: the condition and the texts bound to
// its "?", in order.
struct ProductCondition {
    enum class Kind {
        OneKey,   // a product without Latin-1 letters: one NOCASE key, its rows in row order
        Variants, // several NOCASE keys, the rows of one after those of another
        Scan      // too many variants: the whole table read under the collation, in row order
    };
    QString sql;
    QStringList values;
    Kind kind = Kind::OneKey;
};
// "column = ? COLLATE NOCASE" for a product without Latin-1 letters, "column COLLATE NOCASE IN
// (?, ...)" over its case variants otherwise; both search a NOCASE index on the column, and match
// exactly the rows whose productKey is the product's. Past maxCaseVariants variants "column = ?
// COLLATE NOCASE_LATIN1", which reads the whole table.
inline constexpr int maxCaseVariants = 64;
ProductCondition productCondition(const QString &column, const QString &product);

// Registers the collation on an SQLite connection; raises lodvik::Error when SQLite refuses.
void registerProductCollation(sqlite3 *db);

} // namespace dao
