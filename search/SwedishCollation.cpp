#include "search/SwedishCollation.h"

#include "MDlib/Error.h"
#include "store/SqliteError.h"

#include <QCollator>
#include <QLocale>

#include <sqlite3.h>

namespace swedish {

namespace {

QCollator makeCollator() {
    QCollator collator(QLocale(QLocale::Swedish, QLocale::Sweden));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false);
    return collator;
}

QStringView withoutTrailingBlanks(QStringView s) {
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.first(n);
}

int compareWith(const QCollator &collator, QStringView a, QStringView b) {
    const int c = collator.compare(withoutTrailingBlanks(a), withoutTrailingBlanks(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// SQLite hands over UTF-16 in the machine's byte order, so the texts need no copying.
int sqliteCompare(void *arg, int lengthA, const void *a, int lengthB, const void *b) {
    const auto *collator = static_cast<const QCollator *>(arg);
    return compareWith(*collator, QStringView(static_cast<const char16_t *>(a), lengthA / 2),
                       QStringView(static_cast<const char16_t *>(b), lengthB / 2));
}

void destroyCollator(void *arg) {
    delete static_cast<QCollator *>(arg);
}

} // namespace

int compare(QStringView a, QStringView b) {
    static const QCollator collator = makeCollator();
    return compareWith(collator, a, b);
}

void registerCollation(sqlite3 *db) {
    // One collator per connection: a connection may live on another thread than the next one.
    auto *collator = new QCollator(makeCollator());
    const int rc = sqlite3_create_collation_v2(db, collationName, SQLITE_UTF16_ALIGNED, collator,
                                               sqliteCompare, destroyCollator);
    if (rc != SQLITE_OK) {
        delete collator; // SQLite calls the destructor only when the registration succeeded
        throw lodvik::Error(QStringLiteral("Sorteringsordningen kunde inte registreras: %1")
                                .arg(dao::sqliteFailure(rc)));
    }
}

} // namespace swedish
