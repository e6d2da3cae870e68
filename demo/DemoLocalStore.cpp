#include "demo/DemoLocalStore.h"

#include "MDlib/Error.h"
#include "demo/DemoData.h"
#include "store/LocalDatabase.h"
#include "store/SqliteError.h"
#include "store/StoreWriteLock.h"
#include "store/TableCatalogue.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <cmath>
#include <vector>

using lodvik::Variant;

namespace {

// One prepared INSERT reused for every row of a table.
class Inserter {
public:
    Inserter(dao::Database &db, const QString &table, int columns) : m_db(db) {
        QStringList marks;
        for (int i = 0; i < columns; ++i)
            marks.append(QStringLiteral("?"));
        const QByteArray sql = QStringLiteral("INSERT INTO \"%1\" VALUES (%2)")
                                   .arg(table, marks.join(QLatin1Char(',')))
                                   .toUtf8();
        if (sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &m_statement,
                               nullptr) != SQLITE_OK)
            fail();
    }
    ~Inserter() { sqlite3_finalize(m_statement); }
    Inserter(const Inserter &) = delete;
    Inserter &operator=(const Inserter &) = delete;

    void row(const std::vector<Variant> &values) {
        for (size_t i = 0; i < values.size(); ++i)
            dao::bindValue(m_statement, int(i) + 1, values[i]);
        if (sqlite3_step(m_statement) != SQLITE_DONE)
            fail();
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

private:
    [[noreturn]] void fail() {
        throw lodvik::Error(QStringLiteral("Demodata kunde inte skrivas: %1")
                                .arg(dao::sqliteFailure(m_db.handle())));
    }
    dao::Database &m_db;
    sqlite3_stmt *m_statement = nullptr;
};

struct Product {
    QString number;
    QString description;
    double umconv;
};

class Generator {
public:
    explicit Generator(quint32 seed) : m_rng(seed) {}

    int between(int low, int high) { return int(m_rng.bounded(low, high + 1)); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    // A quantity with one decimal, as the business system writes thousands.
    double tenths(int low, int high) { return between(low * 10, high * 10) / 10.0; }
    template <class T> const T &pick(const std::vector<T> &items) {
        return items[size_t(between(0, int(items.size()) - 1))];
    }

private:
    QRandomGenerator m_rng;
};

// Product numbers "GG-NNNN" (product group, running number) and descriptions of the packaging
// goods the business keeps.
std::vector<Product> makeProducts(Generator &gen, int count) {
    struct Family {
        int group;
        const char *name;
        std::vector<const char *> variants;
    };
    const std::vector<Family> families = {
        {10, "EUR-PALL TRÄ", {"1200X800", "1200X800 BEH", "1200X800 BEG"}},
        {11, "LASTPALL TRÄ", {"1200X1000", "1200X800 LÄTT", "800X600", "1140X1140"}},
        {12, "HALVPALL TRÄ", {"800X600", "600X400"}},
        {14, "PLASTPALL", {"1200X800 HYGIEN", "1200X1000 STAPELBAR", "800X600 KVARTSPALL"}},
        {20, "PALLKRAGE", {"1200X800 4 GÅNGJ", "1200X800 6 GÅNGJ", "800X600", "1200X1000"}},
        {21, "PALLOCK", {"1200X800", "800X600", "1200X1000"}},
        {30, "STRÄCKFILM", {"500MM 17MY", "500MM 23MY", "450MM 20MY SVART", "MASKIN 23MY"}},
        {31, "KRYMPHUV", {"1200X800X1800", "1300X1000X2000"}},
        {40, "WELLKARTONG", {"600X400X400", "400X300X300", "300X200X150", "600X400X200"}},
        {41, "FLYTTKARTONG", {"STANDARD", "BOKLÅDA"}},
        {50, "HÖRNSKYDD", {"35X35X1000", "50X50X1200", "35X35X800"}},
        {51, "SPÄNNBAND PP", {"12MM", "16MM", "19MM POLYESTER"}},
        {52, "TEJP", {"PP 50MM BRUN", "PP 50MM KLAR", "PAPPER 50MM"}},
        {55, "ETIKETT", {"100X150 TERMO", "100X50 TERMO"}},
    };
    const std::vector<double> factors = {1, 1, 2, 4, 5, 10, 12, 20, 25, 50, 0.5};
    std::vector<Product> products;
    QSet<QString> used;
    while (int(products.size()) < count) {
        const Family &f = gen.pick(families);
        const QString number =
            QStringLiteral("%1-%2").arg(f.group).arg(gen.between(1, 9999), 4, 10, QLatin1Char('0'));
        if (used.contains(number))
            continue;
        used.insert(number);
        products.push_back(
            {number,
             QString::fromUtf8(f.name) + QLatin1Char(' ') + QString::fromUtf8(gen.pick(f.variants)),
             gen.pick(factors)});
    }
    std::sort(products.begin(), products.end(),
              [](const Product &a, const Product &b) { return a.number < b.number; });
    return products;
}

QString dateText(const QDate &date, bool twoDigitYear) {
    return date.toString(twoDigitYear ? QStringLiteral("yy-MM-dd") : QStringLiteral("yyyy-MM-dd"));
}

} // namespace

void fillDemoExtracts(dao::Database &db, const DemoExtractSize &size) {
    Generator gen(size.seed);
    const std::vector<Product> products = makeProducts(gen, size.products);
    const int n = std::max(1, size.rowsPerItem);
    const auto text = [](const QString &t) { return Variant::String(t); };
    const auto number = [](double d) { return Variant::Double(d); };
    const auto whole = [](int i) { return Variant::Long(i); };

    db.Execute(QStringLiteral("BEGIN"));
    try {
        Inserter pjomr(db, QStringLiteral("pjomr"), 3);
        Inserter fpsaldo(db, QStringLiteral("fpsaldo"), 2);
        Inserter pjstk(db, QStringLiteral("pjstk"), 2);
        Inserter pjstkens(db, QStringLiteral("pjstkens"), 2);
        Inserter pjstkfrn(db, QStringLiteral("pjstkfrn"), 2);
        Inserter avail(db, QStringLiteral("avail"), 2);
        Inserter frnrequest(db, QStringLiteral("frnrequest"), 2);
        Inserter frnrequesu(db, QStringLiteral("frnrequesu"), 2);
        Inserter frnhist(db, QStringLiteral("frnhist"), 14);
        Inserter pjpvmens(db, QStringLiteral("pjpvmens"), 2);
        Inserter pjsfakt(db, QStringLiteral("pjsfakt"), 2);
        Inserter fpprognos(db, QStringLiteral("fpprognos"), 3);
        Inserter fporder(db, QStringLiteral("fporder"), 3);
        Inserter tillfall(db, QStringLiteral("tillfall"), 1);

        // Order and sales extracts that are summed per product or over the whole table.
        struct ByItem {
            const char *table;
            int rows; // per product at size 1
            int low;
            int high;
        };
        const std::vector<ByItem> thousands = {
            {"PJOFBACK", 1, 1, 20}, {"PJOFFRAM", 1, 1, 40}, {"PJOTBALLA", 2, 1, 25},
            {"PJOTALLA", 2, 1, 60}, {"pjoback", 1, 1, 15},  {"pjo1back", 1, 1, 10},
            {"pjocurr", 1, 1, 30},  {"pjo1curr", 1, 1, 20}, {"pjofram", 1, 1, 40},
            {"pjo1fram", 1, 1, 25},
        };
        const std::vector<ByItem> sales = {
            {"pjscurr", 1, 1, 30},  {"pjs1curr", 1, 1, 20},  {"pjs2curr", 1, 1, 10},
            {"pjsprior", 1, 1, 30}, {"pjs1prior", 1, 1, 20}, {"pjgit", 1, 1, 15},
            {"pj1git", 1, 1, 10},
        };
        std::vector<std::unique_ptr<Inserter>> thousandsTables, salesTables;
        for (const ByItem &t : thousands)
            thousandsTables.push_back(
                std::make_unique<Inserter>(db, QString::fromUtf8(t.table), 2));
        for (const ByItem &t : sales)
            salesTables.push_back(std::make_unique<Inserter>(db, QString::fromUtf8(t.table), 2));

        const QDate firstDay(2026, 1, 5);
        for (const Product &p : products) {
            pjomr.row({text(p.number), text(p.description), number(p.umconv)});
            const double packUnits = p.umconv * 1000;
            for (int i = 0; i < 2 * n; ++i)
                fpsaldo.row({text(p.number), whole(gen.between(0, 40) * int(packUnits))});
            for (int i = 0; i < 2 * n; ++i)
                pjstk.row({text(p.number),
                           whole(gen.between(0, 30) * int(packUnits) + gen.between(0, 999))});
            if (gen.chance(5)) // now and then stock is booked out before it arrives
                pjstk.row({text(p.number), whole(-gen.between(1, 50))});
            pjstkens.row({text(p.number), whole(gen.between(0, 20000))});
            for (int i = 0; i < n; ++i)
                pjstkfrn.row({text(p.number), whole(gen.between(0, 25000))});
            for (int i = 0; i < 2 * n; ++i)
                avail.row({text(p.number), whole(gen.between(0, 400))});
            for (int i = 0; i < n; ++i) {
                frnrequest.row({text(p.number), whole(gen.between(1, 300))});
                frnrequesu.row({text(p.number), whole(gen.between(1, 200))});
            }
            for (int i = 0; i < n; ++i) {
                std::vector<Variant> history{text(QStringLiteral("2025")), text(p.number)};
                const int level = gen.between(50, 2000);
                for (int m = 1; m <= 12; ++m)
                    history.push_back(whole(level * gen.between(60, 140) / 100));
                frnhist.row(history);
            }
            for (size_t t = 0; t < thousands.size(); ++t)
                for (int i = 0; i < thousands[t].rows * n; ++i)
                    thousandsTables[t]->row(
                        {text(p.number), number(gen.tenths(thousands[t].low, thousands[t].high))});
            for (size_t t = 0; t < sales.size(); ++t)
                for (int i = 0; i < sales[t].rows * n; ++i)
                    salesTables[t]->row(
                        {text(p.number), number(gen.tenths(sales[t].low, sales[t].high))});
            for (int i = 0; i < 2 * n; ++i)
                pjpvmens.row({text(p.number), number(gen.tenths(1, 12))});
            // Invoiced sales in thousands over 26 weeks: from a few to some tens of packs a week.
            for (int i = 0; i < 6 * n; ++i)
                pjsfakt.row({text(p.number), number(std::round(gen.between(5, 150) * p.umconv))});
            for (int i = 0; i < 3 * n; ++i) {
                const QDate date = firstDay.addDays(gen.between(0, 180));
                fpprognos.row({text(p.number), text(dateText(date, gen.chance(10))),
                               number(gen.tenths(1, 20))});
            }
            for (int i = 0; i < 3 * n; ++i) {
                const QDate date = firstDay.addDays(gen.between(0, 120));
                fporder.row({text(p.number), text(dateText(date, gen.chance(10))),
                             whole(gen.between(1, 500))});
            }
        }

        // Test items and returns in the stock extract; the stock summary leaves them out.
        for (int i = 1; i <= 12; ++i) {
            pjstk.row({text(QStringLiteral("PROV%1").arg(i, 3, 10, QLatin1Char('0'))),
                       whole(gen.between(100, 5000))});
            pjstk.row({text(QStringLiteral("KNR%1").arg(i)), whole(gen.between(100, 5000))});
        }
        // Rows without an item number are left out of the FRN totals.
        avail.row({Variant::Null(), whole(gen.between(1, 50))});
        avail.row({text(QString()), whole(gen.between(1, 50))});
        for (int id = 1; id <= 3; ++id)
            tillfall.row({whole(id)});

        // DTSPL: running number, site, product, description, then 42 quantities in six groups
        // of seven (prior month sales, current month sales, allocated, orders, outside, on hand).
        Inserter dtspl(db, QStringLiteral("DTSPL"), 46);
        for (int id = 1; id <= size.dtsplRows; ++id) {
            const bool unknown = gen.chance(1); // an item the pack-size extract does not know
            const Product &p = products[size_t(id - 1) % products.size()];
            std::vector<Variant> row{whole(id), text(QStringLiteral("DP%1").arg(gen.between(1, 3))),
                                     text(unknown ? QStringLiteral("99-%1").arg(id) : p.number),
                                     text(p.description)};
            for (int position = 4; position <= 45; ++position) {
                if (gen.chance(3))
                    row.push_back(Variant::Null());
                else if (position >= 18 && position <= 24)
                    row.push_back(whole(gen.between(0, 60))); // allocated, sometimes above stock
                else
                    row.push_back(whole(gen.between(0, 40)));
            }
            dtspl.row(row);
        }
        db.Execute(QStringLiteral("COMMIT"));
    } catch (...) {
        // After some failures (a full disk) SQLite has rolled back already, and the ROLLBACK's
        // own error would hide the one that says what went wrong.
        try {
            db.Execute(QStringLiteral("ROLLBACK"));
        } catch (const lodvik::Error &) {
        }
        throw;
    }
}

void createDemoLocalStore(const QString &path, const DemoExtractSize &size) {
    if (QFileInfo::exists(path))
        throw lodvik::Error(QStringLiteral("Filen %1 finns redan.").arg(path));
    if (const QString problem = dao::StoreWriteLock::pathProblem(path); !problem.isEmpty())
        throw lodvik::Error(problem);
    // A link stays a link: the file goes where it points. Built beside it and moved into place
    // when complete, so that a failure never leaves a half-filled local.mdb behind.
    const QString target = dao::StoreWriteLock::resolvedStorePath(path);
    const QString partial = target + QStringLiteral(".ny");
    QFile::remove(partial);
    try {
        dao::Database db = dao::Database::CreateDatabase(partial);
        catalogue::createLocalSchema(db);
        fillDemoExtracts(db, size);
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw lodvik::Error(QStringLiteral("Demodatabasen kunde inte sparas som %1.").arg(path));
    }
}

void createDemoLocalStore(const QString &path) {
    createDemoLocalStore(path, DemoExtractSize{});
}
