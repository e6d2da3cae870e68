#include "demo/DemoData.h"

#include "MDlib/Error.h"
#include "search/SearchSource.h"
#include "store/SqliteError.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <utility>

namespace {

struct Family {
    const char *number; // product numbers of the family start with this
    const char *name;   // the search name starts with this
    QList<const char *> variants;
};

// Packaging and pallet goods; many names share a start (Pall, Pallkrage, Pallock...), and Å, Ä
// and Ö occur both at the start and inside, so the demo shows the search's order.
const QList<Family> &families() {
    static const QList<Family> list = {
        {"1001", "Pall EUR", {"1200x800", "1200x800 begagnad", "1200x800 värmebehandlad"}},
        {"1002", "Pall halv", {"800x600", "800x600 lätt", "800x600 plast"}},
        {"1003", "Pall engång", {"1200x800", "1200x1000", "1000x600", "800x600"}},
        {"1004", "Pallkrage furu", {"1200x800", "800x600", "1200x1000", "gångjärn förzinkade"}},
        {"1005", "Pallock", {"1200x800 masonit", "800x600 masonit", "1200x800 plywood"}},
        {"1006", "Pallyft", {"manuell 2500 kg", "elektrisk 1500 kg", "vågpallyft 2000 kg"}},
        {"2001", "Sträckfilm", {"500 mm 17 my", "500 mm 23 my", "450 mm 20 my", "maskin 23 my"}},
        {"2002", "Sträckfilm svart", {"500 mm 23 my", "500 mm 30 my"}},
        {"2003", "Krympfilm", {"slang 300 mm", "halvslang 600 mm", "huva 1200x800"}},
        {"2004", "Bubbelplast", {"500 mm x 100 m", "1000 mm x 100 m", "påse 200x300"}},
        {"3001", "Kartong", {"A4 enkelwell", "A3 enkelwell", "flyttkartong", "arkivkartong"}},
        {"3002", "Kartong dubbelwell", {"600x400x400", "800x600x500", "1200x800x600"}},
        {"3003", "Wellpapp", {"rulle 1000 mm", "ark 1200x800", "hörnlist 50x50"}},
        {"3004", "Hörnskydd", {"papp 35x35x3", "papp 50x50x5", "plast 40x40"}},
        {"3005", "Hörnlist", {"kartong 1000 mm", "kartong 1200 mm", "plast 800 mm"}},
        {"4001", "Tejp", {"PP brun 48 mm", "PP transparent 48 mm", "papper 50 mm", "varning"}},
        {"4002", "Tejphållare", {"hand 50 mm", "bord 25 mm"}},
        {"4003", "Etikett", {"bräcklig", "denna sida upp", "termo 100x150", "adress A6"}},
        {"5001", "Band", {"PP 12 mm", "PET 16 mm", "stål 19 mm", "textil 19 mm"}},
        {"5002", "Bandlås", {"stål 13 mm", "plast 12 mm", "PET 16 mm"}},
        {"5003", "Bandningsverktyg", {"PP manuell", "PET batteri", "stål spännare"}},
        {"6001", "Ölback", {"33 cl grå", "50 cl brun", "lock"}},
        {"6002", "Öppen back", {"600x400x220", "400x300x120"}},
        {"6003", "Ömtåligt gods etikett", {"röd", "gul"}},
        {"6004", "Åkerimatta", {"halkskydd 1200x800", "halkskydd rulle"}},
        {"6005", "Ändskydd", {"rör 50 mm", "rör 100 mm"}},
        {"6006", "Ädelträlåda", {"ek 300x200", "furu 400x300"}},
        {"7001", "Lådpall", {"plast 1200x800", "trä hopfällbar", "galvad"}},
        {"7002", "Lådlock", {"plast 600x400", "plast 400x300"}},
        {"7003", "Låsbygel", {"galvad", "rostfri"}},
        {"8001", "Säck", {"sopsäck 125 l", "jutesäck 50 kg", "plastsäck 30 kg"}},
        {"8002", "Säckhållare", {"vägg", "golv på hjul"}},
        {"8003", "Skyddshandske", {"nitril M", "nitril L", "läder L", "skärskydd XL"}},
        {"8004", "Skåp", {"förrådsskåp 1800", "verktygsskåp"}},
        {"9001", "Förpackningsmaskin", {"halvautomat", "helautomat"}},
        {"9002", "Förslutare", {"kartong 50 mm", "påse värme"}},
        {"9003", "Fyllnadsmaterial", {"papper", "luftkudde", "majsflingor"}},
    };
    return list;
}

QList<std::pair<QString, QString>> demoProducts() {
    QList<std::pair<QString, QString>> rows;
    for (const Family &family : families()) {
        int serial = 10;
        for (const char *variant : family.variants) {
            const QString name = QStringLiteral("%1 %2").arg(QString::fromUtf8(family.name),
                                                             QString::fromUtf8(variant));
            // Each variant in a few pack sizes: one product number each, the same search name
            // start, as the business system lists them.
            const QList<const char *> packs = {"", " 10-pack", " 50-pack", " pall"};
            for (const char *pack : packs) {
                rows.append({name + QString::fromUtf8(pack),
                             QString::fromLatin1(family.number) + QString::number(serial)});
                ++serial;
            }
            serial += 6;
        }
    }
    // A few product numbers that are not all digits, and two products that share a name.
    rows.append({QStringLiteral("Pall EUR 1200x800"), QStringLiteral("1001-B")});
    rows.append({QStringLiteral("Provpall 1200x800"), QStringLiteral("PROV1001")});
    rows.append({QStringLiteral("Kundreturnerad pall"), QStringLiteral("KNR1001")});
    rows.append({QStringLiteral("Ölback 33 cl grå"), QStringLiteral("Ö6001")});
    return rows;
}

void fillSearchData(const QString &sokdataPath,
                    const QList<std::pair<QString, QString>> &extraProducts) {
    std::unique_ptr<SearchSource> source = openSqliteSearchSource(sokdataPath);
    QSqlDatabase db = source->database();
    const auto fail = [&](const QSqlQuery &query) {
        const QString message = dao::databaseFailure(db, query.lastError());
        db.rollback();
        throw lodvik::Error(
            QStringLiteral("Demodata kunde inte skrivas i %1: %2").arg(sokdataPath, message));
    };
    {
        // Demo products go into an empty store only; the operator's own are never doubled.
        QSqlQuery count(db);
        if (count.exec(QStringLiteral("SELECT COUNT(*) FROM ProduktSok")) && count.next() &&
            count.value(0).toInt() > 0)
            throw lodvik::Error(QStringLiteral("%1 har redan produkter; demodata läggs inte till.")
                                    .arg(sokdataPath));
    }
    db.transaction();
    {
        QSqlQuery insert(db);
        if (!insert.prepare(
                QStringLiteral("INSERT INTO ProduktSok (Soknamn, Produktnummer) VALUES (?, ?)")))
            fail(insert);
        for (const auto &[name, number] : demoProducts() + extraProducts) {
            insert.bindValue(0, name);
            insert.bindValue(1, number);
            if (!insert.exec())
                fail(insert);
        }
        QSqlQuery place(db);
        if (!place.prepare(QStringLiteral("INSERT INTO LagerA (lagerplats) VALUES (?)")))
            fail(place);
        for (const char *aisle : {"A", "B", "C", "Ö"})
            for (int shelf = 1; shelf <= 5; ++shelf) {
                place.bindValue(0, QStringLiteral("%1-%2")
                                       .arg(QString::fromUtf8(aisle))
                                       .arg(shelf, 2, 10, QLatin1Char('0')));
                if (!place.exec())
                    fail(place);
            }
    }
    if (!db.commit())
        throw lodvik::Error(QStringLiteral("Demodata kunde inte sparas i %1: %2")
                                .arg(sokdataPath, dao::databaseFailure(db, db.lastError())));
}

} // namespace

void fillDemoSearchData(const QString &sokdataPath,
                        const QList<std::pair<QString, QString>> &extraProducts) {
    // A file made here and left without its products would be taken, next time, for the
    // operator's own (empty) one.
    const bool made = !QFileInfo::exists(sokdataPath);
    try {
        fillSearchData(sokdataPath, extraProducts);
    } catch (...) {
        if (made)
            for (const char *suffix : {"", "-wal", "-shm", "-journal"})
                QFile::remove(sokdataPath + QLatin1String(suffix));
        throw;
    }
}
