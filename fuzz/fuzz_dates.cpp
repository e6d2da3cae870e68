// The period entry: completion of a typed date, the date test and the period check.
//
// Input: one byte choosing the reference date, then the typed text in UTF-8.

#include "MDlib/DateEntry.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "figures/Period.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

// A reference date as the program sets it (today as YYYY-MM-DD), or none.
const char *const referenceDates[] = {"2010-11-18", "2024-02-29", "1999-12-31", ""};

void check(bool ok) {
    if (!ok)
        std::abort();
}

// What the date test must accept, written independently of it: three runs of ASCII digits with
// one separator used twice, the year of four digits first (- or /) or last (/ or .), the others of
// one or two, making a real date.
QDate expectedDate(const QString &text) {
    const QString t = text.trimmed();
    for (const QChar separator : {u'-', u'/', u'.'}) {
        const QStringList parts = t.split(separator);
        if (parts.size() != 3)
            continue;
        bool digitsOnly = true;
        for (const QString &part : parts)
            for (const QChar c : part)
                digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
        if (!digitsOnly)
            return {};
        const auto lengthOk = [](const QString &s, int low, int high) {
            return s.size() >= low && s.size() <= high;
        };
        if (separator != u'.' && lengthOk(parts[0], 4, 4) && lengthOk(parts[1], 1, 2) &&
            lengthOk(parts[2], 1, 2))
            return QDate(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
        if (separator != u'-' && lengthOk(parts[2], 4, 4) && lengthOk(parts[1], 1, 2) &&
            lengthOk(parts[0], 1, 2))
            return QDate(parts[2].toInt(), parts[1].toInt(), parts[0].toInt());
        return {};
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const size_t refIndex = data[0] % (std::size(referenceDates) + 1);
    const QString typed =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const bool wellFormedRef = refIndex < std::size(referenceDates) - 1;
    // The last choice takes the reference date from the text itself: anything at all.
    gRefDate = refIndex < std::size(referenceDates) ? QString::fromLatin1(referenceDates[refIndex])
                                                    : typed.left(10);

    // Completion changes the text in place and returns it; a second pass finds nothing to do.
    QString t = typed;
    int fired = -1;
    const QString completed = FormatDateEntry(t, &fired);
    check(completed == t);
    check(fired >= 0 && fired <= 5);
    if (wellFormedRef) {
        check((fired == 0) == (t == typed)); // every rule changes the text
        QString again = t;
        int firedAgain = -1;
        FormatDateEntry(again, &firedAgain);
        check(again == t && firedAgain == 0);
    }

    // Typing the text one character at a time, completing after each key, as the window does.
    QString keyed;
    for (const QChar c : typed) {
        keyed += c;
        FormatDateEntry(keyed);
    }

    // The date test agrees with an independent reading of the accepted layouts, for the typed and
    // the completed text.
    for (const QString &text : {typed, t, keyed}) {
        const QDate date = dateFromText(text);
        check(date == expectedDate(text));
        check(IsDate(text) == date.isValid());
        if (date.isValid())
            check(date.year() >= 1 && date.year() <= 9999);
        // A period is exactly the ISO text of a date the test accepts, and nothing else.
        const bool period = figures::Period::parse(text).has_value();
        check(period == (date.isValid() && date.toString(Qt::ISODate) == text));
        bool refused = false;
        try {
            check(figures::Period::fromText(text).text() == text);
        } catch (const lodvik::Error &) {
            refused = true;
        }
        check(refused != period);
    }
    return 0;
}
