#include "search/SearchQueries.h"

#include "store/SqlText.h"

namespace {

// The upper bound of the range: 14 letters Ö and the literal's closing apostrophe.
const QString rangeFiller = QStringLiteral("ÖÖÖÖÖÖÖÖÖÖÖÖÖÖ'");
// The lower bound of the reset: 11 letters Ö.
const QString resetFiller = QStringLiteral("ÖÖÖÖÖÖÖÖÖÖÖ");
// Ends the lower bound's literal; the blank inside it does not count in the Swedish order.
const QString lowerCloser = QStringLiteral(" ' ");

} // namespace

QString produktSokQuery(bool sokprodukt, const QString &text) {
    const QString t = sqltext::literalBody(text);
    if (sokprodukt)
        return QStringLiteral("SELECT * from ProduktSok where produktnummer >='") + t +
               lowerCloser + QStringLiteral("And produktnummer < '") + t + rangeFiller +
               QStringLiteral(" Order by produktnummer, soknamn");
    return QStringLiteral("SELECT * from ProduktSok where Soknamn >='") + t + lowerCloser +
           QStringLiteral("And soknamn < '") + t + rangeFiller +
           QStringLiteral(" Order by soknamn, produktnummer");
}

QString resetQuery(const QString &text) {
    return QStringLiteral("SELECT * from LagerA where lagerplats >='") + resetFiller + lowerCloser +
           QStringLiteral("And lagerplats < '") + sqltext::literalBody(text) + rangeFiller;
}
