#include "store/ProductKey.h"

#include "MDlib/Error.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace dao {

namespace {

// One byte of UTF-8 folded, given the byte before it. À-Þ are C3 80-C3 9E and à-þ C3 A0-C3 BE,
// so a fold adds 0x20 to the second byte as it does to A-Z; × is C3 97 and stays.
inline unsigned char fold(unsigned char c, unsigned char before) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 0x20);
    if (before == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97)
        return static_cast<unsigned char>(c + 0x20);
    return c;
}

int collate(void *, int na, const void *a, int nb, const void *b) {
    return compareProducts(static_cast<const unsigned char *>(a), na,
                           static_cast<const unsigned char *>(b), nb);
}

} // namespace

int compareProducts(const unsigned char *a, int na, const unsigned char *b, int nb) {
    const int n = std::min(na, nb);
    unsigned char beforeA = 0, beforeB = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned char fa = fold(a[i], beforeA), fb = fold(b[i], beforeB);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        beforeA = a[i];
        beforeB = b[i];
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

namespace {

// Folds the bytes where they are; each byte's fold looks at the byte before it as stored.
void foldInPlace(char *bytes, qsizetype size) {
    unsigned char before = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        bytes[i] = static_cast<char>(fold(c, before));
        before = c;
    }
}

} // namespace

QByteArray productKey(QByteArrayView utf8) {
    QByteArray key = utf8.toByteArray();
    foldInPlace(key.data(), key.size());
    return key;
}

void foldProductKey(const char *utf8, qsizetype size, char *key) {
    unsigned char before = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        key[i] = static_cast<char>(fold(c, before));
        before = c;
    }
}

void productKeyInto(QByteArrayView utf8, QByteArray &key) {
    key.resize(utf8.size());
    if (!utf8.isEmpty())
        std::memcpy(key.data(), utf8.data(), size_t(utf8.size()));
    foldInPlace(key.data(), key.size());
}

QByteArray productKey(const QString &product) {
    QByteArray key = product.toUtf8();
    foldInPlace(key.data(), key.size());
    return key;
}

QStringList latin1CaseVariants(const QString &product, int most) {
    QStringList variants{product};
    for (qsizetype i = 0; i < product.size(); ++i) {
        const char16_t c = product.at(i).unicode();
        char16_t other = 0;
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            other = c + 0x20;
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            other = c - 0x20;
        else
            continue;
        if (variants.size() > most / 2)
            return {};
        const qsizetype n = variants.size();
        for (qsizetype j = 0; j < n; ++j) {
            QString variant = variants.at(j);
            variant[i] = QChar(other);
            variants.append(variant);
        }
    }
    return variants;
}

ProductCondition productCondition(const QString &column, const QString &product) {
    const QStringList variants = latin1CaseVariants(product, maxCaseVariants);
    if (variants.size() == 1)
        return {QStringLiteral("%1 = ? COLLATE NOCASE").arg(column), variants,
                ProductCondition::Kind::OneKey};
    // Seven or more Latin-1 letters: a list that long would cost more to search than the table,
    // and such numbers are rare. The comparison under the collation is exact but reads the whole
    // table, no index being built under it.
    if (variants.isEmpty())
        return {QStringLiteral("%1 = ? COLLATE %2").arg(column, QLatin1String(productCollation)),
                {product},
                ProductCondition::Kind::Scan};
    QStringList marks;
    for (qsizetype i = 0; i < variants.size(); ++i)
        marks.append(QStringLiteral("?"));
    return {
        QStringLiteral("%1 COLLATE NOCASE IN (%2)").arg(column, marks.join(QStringLiteral(", "))),
        variants, ProductCondition::Kind::Variants};
}

void registerProductCollation(sqlite3 *db) {
    if (sqlite3_create_collation_v2(db, productCollation, SQLITE_UTF8, nullptr, collate, nullptr) !=
        SQLITE_OK)
        throw lodvik::Error(
            QStringLiteral("Jämförelsen av produktnummer kan inte läggas till i databasen: %1")
                .arg(QString::fromUtf8(sqlite3_errmsg(db))));
}

} // namespace dao
