#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/ProgramFolder.h"
#include "../common/Refusal.h"
#include "../common/RunProgram.h"
#include "../common/ServerStore.h"
#include "../common/TestData.h"
#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "demo/DemoLocalStore.h"
#include "figures/Period.h"
#include "figures/StockFigures.h"
#include "import/AccessImport.h"
#include "reports/CoverageScan.h"
#include "store/ExtractLoad.h"
#include "store/ExtractStore.h"
#include "store/Libpq.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"
#include "store/SqlText.h"
#include "store/SqliteStore.h"
#include "store/StoreWriteLock.h"
#include "store/StoredValue.h"
#include "store/TableCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include <sys/stat.h>

using lodvik::Variant;

Q_DECLARE_METATYPE(lodvik::Variant)

// QSKIP returns only from the function it stands in: in a helper the test would go on without
// its server.
#define REQUIRE_DRIVER(driver)                                                                     \
    do {                                                                                           \
        if (!m_server)                                                                             \
            QSKIP(qPrintable(TestServer::missing()));                                              \
        if (!ServerStore::drivers().contains(driver))                                              \
            QSKIP("no ODBC data source for the extract store (LODVIK_TEST_ODBC_EXTRAKT_DSN)");     \
    } while (false)

namespace {

// A value as "kind:value", numbers in full; integer and real compare as the same number, as
// the figures read them.
QString cell(const QVariant &v) {
    if (v.isNull())
        return QStringLiteral("NULL");
    switch (v.typeId()) {
    case QMetaType::QString:
        return QStringLiteral("T:") + v.toString();
    case QMetaType::QByteArray:
        return QStringLiteral("B:") + QString::fromLatin1(v.toByteArray().toHex());
    default:
        return QStringLiteral("N:") + QString::number(v.toDouble(), 'g', 17);
    }
}

QStringList rowsOf(QSqlQuery &q) {
    QStringList rows;
    while (q.next()) {
        QStringList cells;
        for (int c = 0; c < q.record().count(); ++c)
            cells.append(cell(q.value(c)));
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

// A store read through Qt's own SQLite driver, one connection for each file.
QSqlDatabase storeConnection(const QString &path) {
    const QString name = QStringLiteral("store:") + path;
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.open();
    return db;
}

QStringList storeRows(const QString &path, const QString &table) {
    QSqlQuery q(storeConnection(path));
    q.exec(QStringLiteral("SELECT rowid, * FROM \"%1\" ORDER BY rowid").arg(table));
    return rowsOf(q);
}

// A store with the values a COPY could garble: escapes, Latin-1, empty texts, the extremes of
// double, and rowids with gaps.
void createEdgeStore(const QString &path) {
    catalogue::createEmptyLocalStore(path);
    QSqlQuery q(storeConnection(path));
    const QList<QVariant> texts{QStringLiteral("ÅÄÖ-1 åäö"),
                                QStringLiteral("tab\there"),
                                QStringLiteral("new\nline\r"),
                                QStringLiteral("back\\slash\\"),
                                QString(""),
                                QStringLiteral("\\N"),
                                QStringLiteral("'\"';"),
                                QVariant(QMetaType(QMetaType::QString))};
    const QList<QVariant> numbers{0,
                                  -3,
                                  0.1,
                                  1e-300,
                                  std::numeric_limits<double>::max(),
                                  qlonglong(1) << 53,
                                  -2.5e-7,
                                  QVariant(QMetaType(QMetaType::Double)),
                                  -std::numeric_limits<double>::max(),
                                  1.0 / 3};
    q.exec(QStringLiteral("BEGIN"));
    for (const catalogue::Table &t : catalogue::localTables()) {
        QStringList marks;
        for (qsizetype c = 0; c < t.columns.size(); ++c)
            marks.append(QStringLiteral("?"));
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO \"%1\" VALUES (%2)")
                              .arg(t.name, marks.join(QLatin1Char(',')))));
        for (int r = 0; r < 12; ++r) {
            for (qsizetype c = 0; c < t.columns.size(); ++c) {
                const bool runningNumber =
                    t.columns.at(c).name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
                q.addBindValue(runningNumber ? QVariant(r * 1000)
                               : t.columns.at(c).kind == catalogue::ColumnKind::Text
                                   ? texts.at((r + c) % texts.size())
                                   : numbers.at((r + c) % numbers.size()));
            }
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
        QVERIFY(q.exec(QStringLiteral("DELETE FROM \"%1\" WHERE rowid IN (2, 7)").arg(t.name)));
    }
    q.exec(QStringLiteral("COMMIT"));
}

// Stops the work once it has reported so many rows.
class CancelAfter : public lodvik::Progress {
public:
    explicit CancelAfter(qint64 rows) : m_rows(rows) { setCancelFlag(&m_flag); }

protected:
    void show() override {
        if (done() >= m_rows)
            m_flag = true;
    }

private:
    qint64 m_rows;
    std::atomic<bool> m_flag = false;
};

} // namespace

// The stores: local.mdb (SQLite) as the figures read and the writers write it, and the extract
// store on the test server (server/extrakt-postgresql.sql): its settings, its loads from a
// local store, and the figures, summary and connection faults on it compared with the same
// data in SQLite.
class TstStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<ServerStore> m_server;
    QTemporaryDir m_sqlite;   // a program folder with the demo store
    QTemporaryDir m_onServer; // one whose settings name the same rows on the server

    QSqlQuery query(const QString &sql) const {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("schema"), false));
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q;
    }

    // Every table of the store, row by row, equals the server's in lodvik_radnr order.
    void compareWithServer(const QString &store) {
        QSqlDatabase db = storeConnection(store);
        QSqlQuery tables(db);
        tables.exec(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table'"));
        while (tables.next()) {
            const QString table = tables.value(0).toString();
            const QSqlRecord record = db.record(table);
            QStringList selected{QStringLiteral("lodvik_radnr")};
            for (int c = 0; c < record.count(); ++c)
                selected.append(QLatin1Char('"') + record.fieldName(c).toLower() +
                                QLatin1Char('"'));
            QSqlQuery q = query(QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY lodvik_radnr")
                                    .arg(selected.join(QStringLiteral(", ")), table.toLower()));
            const QStringList local = storeRows(store, table);
            QVERIFY2(!local.isEmpty(), qPrintable(table));
            QCOMPARE(rowsOf(q), local);
        }
    }

    // The demo store, or another seed's, with broken, an UPDATE, run on it.
    static QString demoStore(const QTemporaryDir &dir, const QString &name, quint32 seed = 0,
                             const QString &broken = {}) {
        const QString path = dir.filePath(name);
        DemoExtractSize size;
        if (seed)
            size.seed = seed;
        createDemoLocalStore(path, size);
        if (!broken.isEmpty())
            dao::Database::OpenDatabase(path).Execute(broken);
        return path;
    }

    // The demo store loaded on the server, and a changed copy (see demoStore) beside it.
    std::pair<QString, QString> demoOnServer(const QTemporaryDir &dir,
                                             const QString &driver = QStringLiteral("QPSQL"),
                                             const QString &broken = {}) {
        const QString old = demoStore(dir, QStringLiteral("old.mdb"));
        lodvik::NoProgress progress;
        extractload::loadServerStore(old, m_server->settings(driver), progress);
        return {old, demoStore(dir, QStringLiteral("new.mdb"), 7, broken)};
    }

    // A figure's value with its type, or the message it failed with.
    static QString outcome(const QString &folder, const QString &name,
                           const QString &product = {}) {
        lodvik::NoProgress progress;
        figures::StockFigures stock(folder + QStringLiteral("/local.mdb"), progress);
        Variant v;
        const QString refused = refusal([&] {
            v = figures::findNamedFigure(name)->run(
                stock, {product, figures::Period::fromText(QStringLiteral("2010-11-18")), 250});
        });
        return refused.isEmpty() ? QStringLiteral("%1 %2").arg(int(v.type())).arg(v.toText())
                                 : refused;
    }

    // Runs a figure on the server while a second connection holds its table locked, and lets
    // the server end the figure's statement with act (a function of the figure's backend).
    QString interrupted(const QString &folder, const QString &act) {
        const QString name = QStringLiteral("holder");
        QString message;
        {
            QSqlQuery q(m_server->connection(name));
            if (!q.exec(QStringLiteral("BEGIN")) ||
                !q.exec(QStringLiteral("LOCK TABLE pjstk IN ACCESS EXCLUSIVE MODE")))
                return QStringLiteral("no lock: ") + q.lastError().text();
            auto figure = std::async(std::launch::async, [&] { return outcome(folder, "GSLPJ"); });
            // The figure's connection waits for the lock; then the server ends its statement.
            QString acted;
            for (int i = 0; i < 200 && acted.isEmpty(); ++i) {
                // The activity this transaction saw first stays until it is let go.
                q.exec(QStringLiteral("SELECT pg_stat_clear_snapshot()"));
                if (q.exec(QStringLiteral("SELECT %1(pid) FROM pg_stat_activity WHERE "
                                          "wait_event_type = 'Lock' AND datname = "
                                          "current_database()")
                               .arg(act)) &&
                    q.next())
                    acted = q.value(0).toString();
                QTest::qWait(50);
            }
            message = figure.get();
            if (acted.isEmpty())
                message += QStringLiteral("\nnot ended: ") + q.lastError().text();
            q.exec(QStringLiteral("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase(name);
        return message;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("local.mdb"));
        dao::Database db = dao::Database::CreateDatabase(m_path);
        db.Execute(QStringLiteral("CREATE TABLE pjomr (iblitm TEXT, imdsc1 TEXT, umconv REAL)"));
        db.Execute(QStringLiteral("INSERT INTO pjomr VALUES (?, ?, ?)"),
                   {Variant::String("A1"), Variant::String("Pall"), Variant::Double(12)});
        db.Execute(QStringLiteral("INSERT INTO pjomr VALUES (?, ?, ?)"),
                   {Variant::String("B2"), Variant::Null(), Variant::Double(0.5)});
        db.Close();
        // The server cases first run on the demo store loaded here; the load cases after them
        // replace it.
        m_server = ServerStore::whenThere();
        if (!m_server)
            return;
        m_server->connection(QStringLiteral("schema"));
        const QString local = m_sqlite.filePath(QStringLiteral("local.mdb"));
        createDemoLocalStore(local, {60, 200, 2, 20101118});
        for (const QTemporaryDir *folder : {&m_sqlite, &m_onServer})
            QVERIFY(QDir(folder->path()).mkpath(QStringLiteral("rapporter")));
        QCOMPARE(m_server->load(local), QString());
    }
    void cleanupTestCase() {
        QSqlDatabase::database(QStringLiteral("schema"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("schema"));
        m_server.reset();
    }

    // What is no store in local.mdb's place is refused by readers and writers alike, named as
    // what it is: a missing file (not made), text, an Access file (with the hint to import it),
    // a folder, a pipe, a link into a folder that is gone (that folder). In the lock file's place
    // such a thing is no lock: named, left there and never opened (a pipe would wait).
    void unusableStorePathNamed_data() {
        QTest::addColumn<bool>("lockFile");
        QTest::addColumn<QString>("kind"); // or the Access file copied there
        QTest::addColumn<bool>("writer");
        QTest::addColumn<QString>("named");
        const QString pipe("ingen vanlig fil");
        addRow("missing", false, QString("missing"), false, QString());
        addRow("text", false, QString("text"), false, QString());
        addRow("jet3", false, testDataFolder() + "/access/nwind-jet3.mdb", false, "import-mdb");
        addRow("jet4", false, testDataFolder() + "/access/datetest-jet4.mdb", false, "import-mdb");
        addRow("folder, reader", false, QString("folder"), false, QString("mapp, ingen databas"));
        addRow("folder, writer", false, QString("folder"), true, QString("mapp, ingen databas"));
        addRow("named pipe, reader", false, QString("fifo"), false, pipe);
        addRow("link, writer", false, QString("link"), true, QString("/borta finns inte"));
        addRow("lock file a folder", true, QString("folder"), true, pipe);
        addRow("lock file a pipe", true, QString("fifo"), true, pipe);
        addRow("lock file a link to nothing", true, QString("link"), true, pipe);
    }
    void unusableStorePathNamed() {
        QFETCH(bool, lockFile);
        QFETCH(QString, kind);
        QFETCH(bool, writer);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("local.mdb"));
        const QString path = lockFile ? dao::StoreWriteLock::lockFileName(store) : store;
        const QByteArray name = QFile::encodeName(path);
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(name.constData(), 0644), 0);
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("borta/local.mdb")), path));
        else if (kind == QLatin1String("text"))
            QVERIFY(writeFile(path, "this is just text, not a database"));
        else if (kind != QLatin1String("missing") && !QFile::copy(kind, path))
            QSKIP(qPrintable(testDataMissing()));
        const QString refused = refusal([&] {
            if (writer)
                const dao::StoreWriteLock lock(store, nullptr, std::chrono::milliseconds(400));
            else
                dao::Database::OpenDatabase(store);
        });
        QVERIFY2(!refused.isEmpty() && refused.contains(named), qPrintable(refused));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("borta"))));
        struct stat there {};
        QCOMPARE(::lstat(name.constData(), &there) == 0, kind != QLatin1String("missing"));
    }

    // A query that fails, while preparing or while stepping, leaves no statement behind. The
    // operator reads why in Swedish; the engine's own words come only after "Detaljer:".
    void failedQueryLeavesNothingPrepared_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("engineWords"); // what SQLite says, if the message keeps it
        addRow("prepare", QStringLiteral("SELECT * FROM saknas WHERE a = ?"), Variant::Long(1),
               QString());
        addRow("step: integer overflow",
               QStringLiteral("SELECT sum(v) FROM (SELECT 9223372036854775807 AS v UNION ALL "
                              "SELECT ? AS v)"),
               Variant::Long(1), QStringLiteral("integer overflow"));
        addRow("step: a text in a checked sum",
               QStringLiteral("SELECT %1 FROM (SELECT ? AS n)")
                   .arg(dao::checkedSum(QStringLiteral("t"), QStringLiteral("n"))),
               Variant::String(QStringLiteral("x")), QString());
        addRow("step: a write to a read-only store",
               QStringLiteral("INSERT INTO pjomr (iblitm) VALUES (?)"), Variant::Long(1),
               QStringLiteral("attempt to write a readonly database"));
    }
    void failedQueryLeavesNothingPrepared() {
        QFETCH(QString, sql);
        QFETCH(Variant, value);
        QFETCH(QString, engineWords);
        const auto store = dao::SqliteStore::openFile(m_path);
        dao::Database db(store);
        QCOMPARE(sqlite3_exec(store->handle(), "PRAGMA query_only = 1", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        for (int run = 0; run < 2; ++run)
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, db.OpenRecordset(sql, {value}));
        const QString message = refusal([&] { db.Execute(sql, {value}); });
        const qsizetype details = message.indexOf(QLatin1String("\nDetaljer: "));
        QVERIFY2(!message.isEmpty() && (details >= 0) == !engineWords.isEmpty(),
                 qPrintable(message));
        if (details >= 0) {
            QVERIFY2(!message.left(details).contains(engineWords), qPrintable(message));
            QVERIFY2(message.mid(details).contains(engineWords), qPrintable(message));
        }
        QCOMPARE(sqlite3_next_stmt(store->handle(), nullptr), nullptr);
    }

    // A finite sum comes out as SQLite's own SUM gives it, in value and type. What SUM would
    // count as a number, turn into Null or refuse in English stops the sum with the table and
    // the column named, and the value where one value is at fault.
    void checkedSum_data() {
        QTest::addColumn<QString>("values");
        QTest::addColumn<bool>("stops");
        QTest::addColumn<QString>("named");
        addRow("integers past 2^53", QStringLiteral("(9007199254740993), (1), (-5)"), false,
               QString());
        addRow("reals in row order", QStringLiteral("(1e16), (1.0), (1.0), (0.1)"), false,
               QString());
        addRow("integers then reals", QStringLiteral("(9007199254740993), (0.5), (3)"), false,
               QString());
        addRow("numeric and blank texts",
               QStringLiteral("('12'), (' 3.5'), (''), (' '), (NULL), ('-4')"), false, QString());
        addRow("blank texts only", QStringLiteral("(''), (' ')"), false, QString());
        addRow("nulls only", QStringLiteral("(NULL), (NULL)"), false, QString());
        addRow("reals that cancel", QStringLiteral("(1e308), (-1e308), (5)"), false, QString());
        addRow("a blob", QStringLiteral("(1), (x'3132')"), true, QStringLiteral("x'3132'"));
        addRow("stored infinities", QStringLiteral("(9e999), (-9e999)"), true,
               QStringLiteral("Inf"));
        addRow("infinite texts", QStringLiteral("('1e999'), ('-1e999')"), true,
               QStringLiteral("\"1e999\""));
        addRow("reals past the largest number", QStringLiteral("(1e308), (1e308), (-1e308)"), true,
               QString());
        addRow("integers past the 64-bit range", QStringLiteral("(9223372036854775807), (1), (-1)"),
               true, QString());
    }
    void checkedSum() {
        QFETCH(QString, values);
        QFETCH(bool, stops);
        QFETCH(QString, named);
        dao::Database db = dao::Database::OpenDatabase(m_path);
        // SQLite's own SUM may stop first where the checked one must.
        const QString sql =
            QString::fromLatin1(
                stops ? "WITH v(n) AS (VALUES %1) SELECT %2 FROM v"
                      : "WITH v(n) AS (VALUES %1) SELECT typeof(c), typeof(s), c IS s "
                        "FROM (SELECT %2 AS c, sum(n) AS s FROM v)")
                .arg(values, dao::checkedSum(QStringLiteral("pjstk"), QStringLiteral("n")));
        std::optional<dao::Recordset> rs;
        const QString message = refusal([&] { rs.emplace(db.OpenRecordset(sql)); });
        QCOMPARE(!message.isEmpty(), stops);
        if (stops) {
            for (const QString &part : {named, QStringLiteral("kolumnen n i tabellen pjstk")})
                QVERIFY2(message.contains(part), qPrintable(message));
            return;
        }
        QCOMPARE(rs->Fields(0).toText(), rs->Fields(1).toText());
        QCOMPARE(rs->Fields(2).toDouble(), 1.0);
    }

    // A number is kept as local.mdb's NUMERIC column holds it (a server's double, or the text of
    // a numeric): SQLite itself says what it keeps for each, integer or real, and which.
    void numericAsLocalStore_data() {
        QTest::addColumn<QVariant>("value");
        for (const double d : {3.0, -0.0, 0.5, 0.1, -7.25, 1e15, 9007199254740994.0,
                               9223372036854775807.0, -9223372036854775808.0, 1e300})
            QTest::newRow(qPrintable(QString::number(d, 'g', 17))) << QVariant(d);
        for (const char *text : {"12", "-7", "12.50", "1e3", "0.1", "9223372036854775807",
                                 "9223372036854775808", "-9223372036854775808", "4.0000"})
            QTest::newRow(text) << QVariant(QByteArray(text));
    }
    void numericAsLocalStore() {
        QFETCH(QVariant, value);
        const bool real = value.typeId() == QMetaType::Double;
        const QByteArray text = value.toByteArray();
        const dao::StoredNumber got =
            real ? dao::storedNumber(value.toDouble()) : dao::numericText(QByteArrayView(text));
        QSqlQuery q(storeConnection(QStringLiteral(":memory:")));
        q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS t (x NUMERIC)"));
        QVERIFY(q.exec(QStringLiteral("DELETE FROM t")) &&
                q.prepare(QStringLiteral("INSERT INTO t VALUES (?)")));
        q.addBindValue(real ? value : QVariant(QString::fromLatin1(text)));
        QVERIFY(q.exec() && q.exec(QStringLiteral("SELECT x, typeof(x) FROM t")) && q.next());
        const QString type = q.value(1).toString();
        const bool integer = type == QLatin1String("integer");
        const qint64 whole = q.value(0).toLongLong();
        const double kept = q.value(0).toDouble();
        QVERIFY2(integer || type == QLatin1String("real"), qPrintable(type));
        QCOMPARE(got.kind,
                 integer ? dao::StoredNumber::Kind::Integer : dao::StoredNumber::Kind::Real);
        if (integer)
            QCOMPARE(got.integer, whole);
        else
            QCOMPARE(std::memcmp(&got.real, &kept, sizeof kept), 0);
    }

    // A product number's key folds what the collation folds, and nothing else: A-Z and À-Þ
    // without ×, as QChar lowers them, nothing beyond Latin-1; the SQL comparison agrees with
    // the keys on equality and order.
    void productKeyIsTheCollation() {
        dao::Database db = dao::Database::OpenDatabase(m_path);
        const QString sql = QStringLiteral("SELECT ?1 = ?2 COLLATE %1, ?1 < ?2 COLLATE %1")
                                .arg(QLatin1String(dao::productCollation));
        for (char16_t c = 0x20; c < 0x250; ++c) {
            const QString s = QStringLiteral("x") + QChar(c) + QStringLiteral("1");
            const QChar lower = c <= 0xFF ? QChar(c).toLower() : QChar(c);
            QCOMPARE(dao::productKey(s),
                     (QStringLiteral("x") + lower + QStringLiteral("1")).toUtf8());
            const QString next = QStringLiteral("X") + QChar(char16_t(c + 1));
            for (const QString &other : {s.toUpper(), s.toLower(), next}) {
                dao::Recordset rs =
                    db.OpenRecordset(sql, {Variant::String(s), Variant::String(other)});
                QCOMPARE(rs.Fields(0).toDouble() != 0,
                         dao::productKey(s) == dao::productKey(other));
                QCOMPARE(rs.Fields(1).toDouble() != 0, dao::productKey(s) < dao::productKey(other));
            }
        }
    }

    // A product's query finds exactly the rows whose key folds as the product's, in row order,
    // through the plain NOCASE index while the case variants are few, by a scan past that.
    void productQueryFindsFoldedKeys_data() {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("plan");
        addRow("ASCII", "ab-1", "USING INDEX t_k");
        addRow("Å and å", "åB-1", "USING INDEX t_k");
        addRow("Ö and É", "öÉ-2", "USING INDEX t_k");
        addRow("× and ÷ are no letters", "A×1", "USING INDEX t_k");
        addRow("ß and ÿ have no other case here", "ß1ÿ", "USING INDEX t_k");
        addRow("six letters, 64 variants", "ÅÄÖÉÈÊ", "USING INDEX t_k");
        addRow("seven letters: a scan", "åäöéèêæ", "SCAN t");
        addRow("no such product", "Ø-9", "USING INDEX t_k");
    }
    void productQueryFindsFoldedKeys() {
        QFETCH(QString, product);
        QFETCH(QString, plan);
        const QString path = m_dir.filePath(QStringLiteral("keys.mdb"));
        const QStringList keys{"ÅB-1",   "ab-1",    "Åb-1",    "åb-1",    "AB-1",    "ÖÉ-2",
                               "öé-2",   "oe-2",    "Öé-2",    "a×1",     "A÷1",     "a×1",
                               "SS1ÿ",   "ß1ÿ",     "ß1Ÿ",     "ÅÄÖÉÈÊ",  "åäöéèê",  "ÅäÖéÈê",
                               "AAOEEE", "ÅÄÖÉÈÊÆ", "åäöéèêæ", "ÅÄÖÉÈÊæ", "åäöéèêÆ", "ÅB-1"};
        if (!QFileInfo::exists(path)) {
            dao::Database db = dao::Database::CreateDatabase(path);
            db.Execute(QStringLiteral("CREATE TABLE t (k TEXT COLLATE NOCASE, n NUMERIC)"));
            db.Execute(catalogue::createIndexSql(QStringLiteral("t"), QStringLiteral("k")));
            for (qsizetype i = 0; i < keys.size(); ++i)
                db.Execute(QStringLiteral("INSERT INTO t VALUES (?, ?)"),
                           {Variant::String(keys.at(i)), Variant::Double(double(i))});
        }
        QList<int> expected;
        double sum = 0;
        for (qsizetype i = 0; i < keys.size(); ++i)
            if (dao::productKey(keys.at(i)) == dao::productKey(product)) {
                expected.append(int(i));
                sum += double(i);
            }
        dao::Database db = dao::Database::OpenDatabase(path);
        const dao::BoundQuery rows =
            dao::forProduct(dao::productQuery(QStringLiteral("t"), QStringLiteral("k")), product);
        QList<int> found;
        for (dao::Recordset rs = db.OpenRecordset(rows.sql, rows.parameters); !rs.isEOF();
             rs.MoveNext())
            found.append(int(rs.Fields(QStringLiteral("n")).toDouble()));
        QCOMPARE(found, expected);
        const dao::BoundQuery total =
            dao::forProduct(dao::productQuery(QStringLiteral("t"), QStringLiteral("k"),
                                              QStringLiteral("sum(n) AS s")),
                            product);
        const Variant summed = db.OpenRecordset(total.sql, total.parameters).Fields(0);
        QCOMPARE(summed.isNull() ? 0.0 : summed.toDouble(), sum);
        QCOMPARE(summed.isNull(), expected.isEmpty());
        for (const dao::BoundQuery &query : {rows, total}) {
            QString details;
            for (dao::Recordset rs = db.OpenRecordset(
                     QStringLiteral("EXPLAIN QUERY PLAN ") + query.sql, query.parameters);
                 !rs.isEOF(); rs.MoveNext())
                details += rs.Fields(QStringLiteral("detail")).toText() + QLatin1Char('\n');
            QVERIFY2(details.contains(plan), qPrintable(details));
        }
    }

    // A store with indexes an earlier version built under the program's collation gets plain
    // ones in their place, which the product queries search; local.mdb is an exchange file:
    // another SQLite client, which knows none of the program's own collations, adds and deletes
    // rows of every indexed table.
    void collationIndexReplaced() {
        const QString path = m_dir.filePath(QStringLiteral("latin1.mdb"));
        {
            dao::Database db = dao::Database::CreateDatabase(path);
            db.Execute(
                catalogue::createTableSql(*catalogue::findLocalTable(QStringLiteral("pjomr"))));
            db.Execute(QStringLiteral("CREATE INDEX pjomr_iblitm ON pjomr (iblitm COLLATE %1)")
                           .arg(QLatin1String(dao::productCollation)));
            db.Execute(QStringLiteral("CREATE INDEX own ON pjomr (imdsc1, iblitm COLLATE %1)")
                           .arg(QLatin1String(dao::productCollation)));
            catalogue::createLocalSchema(db);
        }
        dao::Database db = dao::Database::OpenDatabase(path);
        RecordingProgress progress;
        catalogue::prepareIndexes(db, progress);
        QCOMPARE(db.OpenRecordset(QStringLiteral("SELECT group_concat(name || ' ' || coll) FROM "
                                                 "pragma_index_xinfo('pjomr_iblitm') WHERE key"))
                     .Fields(0)
                     .toText(),
                 QStringLiteral("iblitm NOCASE"));
        QCOMPARE(db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pragma_index_list('pjomr')"))
                     .Fields(0)
                     .toDouble(),
                 1.0);
        db.Close();
        sqlite3 *plain = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &plain), SQLITE_OK);
        QString failed;
        for (const catalogue::Table &table : catalogue::localTables()) {
            for (const QString &column : table.indexed) {
                const QString sql =
                    QStringLiteral("INSERT INTO %1 (%2) VALUES ('Å-x'); DELETE "
                                   "FROM %1 WHERE %2 = 'Å-x'")
                        .arg(sqltext::identifier(table.name), sqltext::identifier(column));
                char *error = nullptr;
                if (sqlite3_exec(plain, sql.toUtf8().constData(), nullptr, nullptr, &error) !=
                        SQLITE_OK ||
                    sqlite3_changes(plain) != 1)
                    failed += sql + QStringLiteral(": ") + QString::fromUtf8(error ? error : "");
                sqlite3_free(error);
            }
        }
        sqlite3_close(plain);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    // The store's write lock file left by a writer that died is taken over, whatever it holds;
    // one a live writer holds (flock) is waited for, and the refusal names the file.
    void abandonedWriteLockTakenOver_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("holder"); // nobody, another process, this process
        QTest::addColumn<bool>("taken");
        addRow("empty, left by a crash", QByteArray(), "nobody", true);
        addRow("garbage", QByteArray("\x93\x01\xffgarbage\n\n\n\n", 12), "nobody", true);
        addRow("names a process that has ended", QByteArray("2147483000\nlodvikprodsok\n\n"),
               "nobody", true);
        addRow("garbage, held by a live process", QByteArray("\x93\x01\xff"), "process", false);
        addRow("held by this process", QByteArray(), "this", false);
    }
    void abandonedWriteLockTakenOver() {
        QFETCH(QByteArray, content);
        QFETCH(QString, holder);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("local.mdb"));
        const QString lockFile = dao::StoreWriteLock::lockFileName(store);
        std::optional<dao::StoreWriteLock> held;
        QProcess other;
        if (holder == QLatin1String("this")) {
            held.emplace(store);
        } else {
            QFile file(lockFile);
            // older than a lock file its writer is still filling in
            QVERIFY(writeFile(lockFile, content) && file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                     QFileDevice::FileModificationTime));
        }
        if (holder == QLatin1String("process")) {
            other.start(QStringLiteral("python3"),
                        {QStringLiteral("-c"),
                         QStringLiteral("import fcntl, sys, time; f = open(sys.argv[1]); "
                                        "fcntl.flock(f, fcntl.LOCK_EX); print(1, flush=True); "
                                        "time.sleep(60)"),
                         lockFile});
            QVERIFY(other.waitForReadyRead(10000));
        }
        const QString refused = refusal([&] {
            const dao::StoreWriteLock lock(store, nullptr, std::chrono::milliseconds(400));
        });
        other.kill();
        other.waitForFinished();
        QVERIFY2(refused.isEmpty() == taken, qPrintable(refused));
        if (!taken)
            QVERIFY2(refused.contains(lockFile), qPrintable(refused));
    }

    // A statement taken up again runs from the start with the new values, and one given back
    // before its last row holds no read open.
    void reusedStatementStartsAfresh() {
        const auto store = dao::SqliteStore::openFile(m_path);
        dao::Database db(store);
        const QString sql = QStringLiteral("SELECT iblitm FROM pjomr WHERE iblitm <> ? ORDER BY 1");
        QCOMPARE(db.OpenRecordset(sql, {Variant::String("B2")}).Fields(0).toText(),
                 QStringLiteral("A1"));
        for (sqlite3_stmt *s = sqlite3_next_stmt(store->handle(), nullptr); s;
             s = sqlite3_next_stmt(store->handle(), s))
            QVERIFY(!sqlite3_stmt_busy(s));
        dao::Recordset rs = db.OpenRecordset(sql, {Variant::String(QStringLiteral("A1"))});
        QCOMPARE(rs.Fields(0).toText(), QStringLiteral("B2"));
        rs.MoveNext();
        QVERIFY(rs.isEOF());
        // A missing table is named in Swedish, also when the engine names it with its schema.
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, db.OpenTable(QStringLiteral("tillfall")));
        for (const char *missing :
             {"SELECT * FROM tillfall", "SELECT count(*) FROM main.tillfall"}) {
            const QString message = refusal([&] { db.OpenRecordset(QLatin1String(missing)); });
            QVERIFY2(message.startsWith(QStringLiteral("Tabellen tillfall saknas")), missing);
        }
        QVERIFY(db.TableExists(QStringLiteral("PJOMR")));
        QVERIFY(!db.TableExists(QStringLiteral("tillfall")));
    }

    // What a writer is given comes back as that type: an empty text or blob is no Null (the
    // demo's and the import's empty fields). An edit changes only the current row, also among
    // rows alike in every column.
    void writtenRowsReadBack() {
        const QString path = m_dir.filePath(QStringLiteral("typed.mdb"));
        dao::Database db = dao::Database::CreateDatabase(path);
        db.Execute(QStringLiteral("CREATE TABLE t (a, b, c, d, e, f)"));
        db.Execute(QStringLiteral("CREATE TABLE fporder (SDpddj TEXT)"));
        for (int i = 0; i < 3; ++i)
            db.Execute(QStringLiteral("INSERT INTO fporder VALUES ('2024-01-01')"));
        {
            const auto writer = db.OpenWriter(QStringLiteral("t"), {"a", "b", "c", "d", "e", "f"});
            writer->set(0, Variant::String(QString()));
            writer->setBlob(1, QByteArrayView());
            writer->set(2, Variant::Null());
            writer->set(3, Variant::String(QStringLiteral("x")));
            writer->set(4, Variant::Long(7));
            writer->set(5, Variant::Double(0.5));
            writer->write();
        }
        {
            dao::Recordset rs = db.OpenRecordset(QStringLiteral(
                "SELECT typeof(a) || typeof(b) || typeof(c) || typeof(d) || typeof(e) || "
                "typeof(f), length(b) FROM t"));
            QCOMPARE(rs.Fields(0).toText(), QStringLiteral("textblobnulltextintegerreal"));
            QCOMPARE(rs.Fields(1).toText(), QStringLiteral("0"));
            rs = db.OpenRecordset(QStringLiteral("SELECT * FROM fporder"));
            rs.MoveNext(); // the second of three identical rows
            rs.Edit();
            rs.SetField(QStringLiteral("sdpddj"), Variant::String("24011"));
            rs.Update();
        }
        db.Close();
        QStringList values;
        dao::Database reopened = dao::Database::OpenDatabase(path);
        for (dao::Recordset all = reopened.OpenRecordset(QStringLiteral("SELECT * FROM fporder"));
             !all.isEOF(); all.MoveNext())
            values.append(all.Fields(0).toText());
        QCOMPARE(values, (QStringList{"2024-01-01", "24011", "2024-01-01"}));
    }

    // A coverage run reads one state of local.mdb across its threads while a transfer commits
    // stock (pjstk, pjstkfrn) and sales (pjsfakt) together: each of its products' figures comes
    // from the state before a commit or from the one after, never from both.
    void runReadsOneStateWhileAWriterCommits() {
        const QString path = m_dir.filePath(QStringLiteral("writer.mdb"));
        DemoExtractSize size;
        size.products = 3000;
        size.dtsplRows = 3000;
        createDemoLocalStore(path, size);
        const figures::Period period = figures::Period::fromText(QStringLiteral("2026-03-15"));
        lodvik::NoProgress quiet;
        const auto run = [&] {
            dao::Database db = dao::Database::OpenExtractStore(path);
            reports::CoverageScan scan(path, period, quiet);
            QStringList figures;
            for (dao::Recordset rs = db.OpenRecordset(
                     QStringLiteral("SELECT iblitm, umconv FROM pjomr ORDER BY iblitm"));
                 !rs.isEOF(); rs.MoveNext()) {
                const QString product = rs.Fields(0).toText();
                const double umfaktor = rs.Fields(1).toDouble() * 1000;
                figures << scan.stockOnHandFRN(product).toDisplayText()
                        << scan.stockOnHandPJ(product, umfaktor).toDisplayText()
                        << scan.salesPerWeek(product, umfaktor).toDisplayText();
            }
            return figures.join(QLatin1Char(' '));
        };
        // The transfer's one transaction: every quantity of the three tables changes sign, so
        // that the store has two states, and a run that mixes them equals neither.
        const char *flip = "BEGIN IMMEDIATE; UPDATE pjstk SET lipqoh = -lipqoh; UPDATE pjstkfrn "
                           "SET lipqoh = -lipqoh; UPDATE pjsfakt SET sdpqor = -sdpqor; COMMIT;";
        sqlite3 *writer = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &writer), SQLITE_OK);
        sqlite3_busy_timeout(writer, 60000);
        const QString before = run();
        QCOMPARE(sqlite3_exec(writer, flip, nullptr, nullptr, nullptr), SQLITE_OK);
        const QString after = run();
        QVERIFY(before != after);
        std::atomic<bool> stop{false};
        std::atomic<int> commits{0};
        std::thread transfer([&] {
            std::mt19937 random(7);
            while (!stop) {
                if (sqlite3_exec(writer, flip, nullptr, nullptr, nullptr) == SQLITE_OK)
                    ++commits;
                else
                    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 30));
            }
        });
        int mixed = 0;
        QString failure;
        try {
            for (int i = 0; i < 12; ++i) {
                const QString figures = run();
                mixed += figures != before && figures != after;
            }
        } catch (const lodvik::Error &e) {
            failure = e.message();
        } catch (const std::exception &e) {
            failure = QString::fromLocal8Bit(e.what());
        }
        stop = true;
        transfer.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        sqlite3_close(writer);
        QVERIFY2(commits >= 6, qPrintable(QString::number(commits)));
        QCOMPARE(mixed, 0);
    }

    // Pages read ahead come from the connection's current hold on the file: a commit of another
    // connection between two reads, the connection's own commit under an exclusive lock, and a
    // WAL checkpoint that rewrites the file are each seen by the next read. The table's three
    // pages (a root and two leaves) come in the first run of pages read ahead; the read after
    // the write asks for them again.
    void readAheadSeesEveryWrite_data() {
        QTest::addColumn<QByteArray>("setUp");      // on the store's connection, after opening
        QTest::addColumn<bool>("ownWrite");         // the store's connection writes, not another
        QTest::addColumn<QByteArray>("afterwards"); // the writer's, after its commit
        QTest::newRow("another connection") << QByteArray() << false << QByteArray();
        QTest::newRow("own commit, exclusive lock")
            << QByteArray("PRAGMA locking_mode=EXCLUSIVE;") << true << QByteArray();
        QTest::newRow("WAL checkpoint") << QByteArray("PRAGMA journal_mode=WAL;") << false
                                        << QByteArray("PRAGMA wal_checkpoint(TRUNCATE);");
    }
    void readAheadSeesEveryWrite() {
        QFETCH(QByteArray, setUp);
        QFETCH(bool, ownWrite);
        QFETCH(QByteArray, afterwards);
        const QString path =
            m_dir.filePath(QStringLiteral("ahead-%1.mdb").arg(QTest::currentDataTag()));
        dao::Database::CreateDatabase(path).Execute(QStringLiteral(
            "CREATE TABLE t (v REAL, pad TEXT); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
            "SELECT i + 1 FROM n WHERE i < 150) INSERT INTO t SELECT i, hex(zeroblob(20)) FROM n"));
        const auto store = dao::SqliteStore::openFile(path);
        sqlite3 *reader = store->handle();
        QCOMPARE(sqlite3_exec(reader, setUp, nullptr, nullptr, nullptr), SQLITE_OK);
        const auto total = [&] {
            sqlite3_stmt *s = nullptr;
            sqlite3_prepare_v2(reader, "SELECT total(v) FROM t", -1, &s, nullptr);
            const double sum = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_double(s, 0) : -1;
            sqlite3_finalize(s);
            return sum;
        };
        QCOMPARE(total(), 11325.0);
        sqlite3 *writer = reader;
        if (!ownWrite)
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &writer), SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(writer, "UPDATE t SET v = v + 1;" + afterwards, nullptr, nullptr, nullptr),
            SQLITE_OK);
        if (writer != reader)
            sqlite3_close(writer);
        // SQLite's own copies of the pages go, so that the file is read again.
        QCOMPARE(sqlite3_exec(reader, "PRAGMA shrink_memory", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QCOMPARE(total(), 11475.0);
    }

    // libpq is opened when the server store first needs it; a library that is missing, or
    // lacks a function, is a message, not a crash.
    void libpqOpened_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("missing"); // what the message names; empty: it loads
        addRow("libpq", "libpq.so.5", QString());
        addRow("no such library", "liblodvik-ingen.so.1", "liblodvik-ingen.so.1");
        addRow("another library", "libsqlite3.so.0", "PQclear");
    }
    void libpqOpened() {
        QFETCH(QString, library);
        QFETCH(QString, missing);
        try {
            const dao::Libpq pq = dao::loadLibpq(library.toLocal8Bit().constData());
            QVERIFY(missing.isEmpty());
            // libpq's own answers for no result and no connection.
            QCOMPARE(pq.PQresultStatus(nullptr), PGRES_FATAL_ERROR);
            QCOMPARE(pq.PQstatus(nullptr), CONNECTION_BAD);
            QCOMPARE(pq.PQntuples(nullptr), 0);
        } catch (const lodvik::Error &e) {
            QVERIFY2(!missing.isEmpty() && e.message().contains(missing), qPrintable(e.message()));
        }
    }

    // The [extrakt] settings: "driver database port", none, or refused. (The keys' values, a bad
    // port: tst_search's settingsFile.)
    void extractSettings_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("read");
        const QByteArray example =
            readFile(QStringLiteral(LODVIK_SOURCE_DIR "/server/lodvikprodsok.ini.example"));
        QVERIFY(!example.isEmpty());
        addRow("no file", QString(), "none");
        addRow("search source only", "[sokdata]\ndriver=QPSQL\ndatabase=sokdata\n", "none");
        addRow("postgres",
               "[sokdata]\ndriver=QPSQL\ndatabase=sokdata\n[extrakt]\ndriver=qpsql\nhost=db1\n"
               "port=5433\ndatabase=extrakt\n",
               "QPSQL extrakt 5433");
        addRow("odbc", "[extrakt]\ndriver=QODBC\ndsn=lager\ncatalog=extrakt\n", "QODBC  0");
        addRow("shipped example", QString::fromUtf8(example), "QPSQL extrakt 5432");
        addRow("no driver", "[extrakt]\nhost=db1\n", "refused");
        addRow("sqlite", "[extrakt]\ndriver=QSQLITE\ndatabase=x.db\n", "refused");
    }
    void extractSettings() {
        QFETCH(QString, ini);
        QTemporaryDir home;
        if (!ini.isNull())
            QVERIFY(writeFile(home.filePath(QStringLiteral("lodvikprodsok.ini")), ini.toUtf8()));
        QString read = QStringLiteral("none");
        const QString message = refusal([&] {
            if (const std::optional<SearchSourceSettings> s = readExtractStoreSettings(home.path()))
                read = QStringLiteral("%1 %2 %3").arg(s->driver, s->database).arg(s->port);
        });
        QTEST(message.isEmpty() ? read : QStringLiteral("refused"), "read");
    }

    // The summary command writes the same workbook, byte for byte, and a warning or notice of
    // the server (its own functions, a shutdown) never reaches stderr, where a scheduled run
    // would mail it. (The figures and their messages on the server: tst_figures.)
    void summary_data() {
        QTest::addColumn<QString>("driver");
        for (const char *driver : {"QPSQL", "QODBC"})
            addRow(driver, QString::fromLatin1(driver));
    }
    void summary() {
        QFETCH(QString, driver);
        REQUIRE_DRIVER(driver);
        m_server->configure(m_onServer.path(), driver);
        m_server->execute(QStringLiteral(
            "CREATE FUNCTION lodvik_test_noisy() RETURNS boolean LANGUAGE plpgsql AS $$BEGIN "
            "RAISE WARNING 'lodvik-varning'; RAISE NOTICE 'lodvik-notis'; RETURN true; END$$; "
            "ALTER TABLE pjomr RENAME TO lodvik_test_pjomr; CREATE VIEW pjomr AS SELECT * FROM "
            "lodvik_test_pjomr WHERE lodvik_test_noisy()"));
        const QStringList args{"summary", "--period", "2010-11-18"};
        const ProgramRun runs[2]{runProgram(m_sqlite.path(), args),
                                 runProgram(m_onServer.path(), args)};
        m_server->execute(QStringLiteral("DROP VIEW pjomr; ALTER TABLE lodvik_test_pjomr RENAME TO "
                                         "pjomr; DROP FUNCTION lodvik_test_noisy()"));
        for (const ProgramRun &run : runs)
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(!runs[1].err.contains(QStringLiteral("lodvik-")), qPrintable(runs[1].err));
        const QString book(QStringLiteral("rapporter/Pallvik2010-11-18.xls"));
        const QByteArray local = readFile(m_sqlite.filePath(book));
        QVERIFY(!local.isEmpty());
        QVERIFY(readFile(m_onServer.filePath(book)) == local);
    }

    // The server unreachable, or ending the operation's statement or its whole connection
    // mid-run: the Swedish message with the server's own words after "Detaljer:". The next
    // operation opens a connection of its own; a summary that cannot connect leaves the old
    // workbook as it was.
    void connectionFaults_data() {
        QTest::addColumn<QString>("settings"); // lodvikprodsok.ini lines
        QTest::addColumn<QString>("act");      // what the server does to the figure's backend
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("words"); // the server's or the library's own
        addRow("wrong password", "password=fel", QString(), "Kan inte ansluta",
               "password authentication failed");
        addRow("nobody listens on the port", "port=1", QString(), "Kan inte ansluta", "refused");
        addRow("statement cancelled", QString(), "pg_cancel_backend", "servern avbröt frågan",
               "canceling statement");
        addRow("connection terminated (a restart)", QString(), "pg_terminate_backend",
               "förbindelsen med servern bröts", "terminating connection");
    }
    void connectionFaults() {
        QFETCH(QString, settings);
        QFETCH(QString, act);
        QFETCH(QString, reason);
        QFETCH(QString, words);
        REQUIRE_DRIVER(QStringLiteral("QPSQL"));
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("rapporter")));
        m_server->configure(folder.path(), QStringLiteral("QPSQL"), settings);
        const QString message =
            act.isEmpty() ? outcome(folder.path(), "GSCPJ") : interrupted(folder.path(), act);
        QVERIFY2(message.contains(reason) && message.contains(QStringLiteral("\nDetaljer: ")) &&
                     message.contains(words),
                 qPrintable(message));
        if (!act.isEmpty()) {
            QCOMPARE(outcome(folder.path(), "GSLPJ"), outcome(m_sqlite.path(), "GSLPJ"));
            return;
        }
        const QString old = folder.filePath(QStringLiteral("rapporter/Pallvik2010-11-18.xls"));
        QVERIFY(writeFile(old, "förra"));
        const ProgramRun run = runProgram(folder.path(), {"summary", "--period", "2010-11-18"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(words), qPrintable(run.err));
        QCOMPARE(readFile(old), QByteArray("förra"));
    }

    // Every table keyed by its row number with an index for each filter column; the
    // workstation's login may load every table, and read ones may change only the dates. (The
    // columns' kinds show in every load compared value by value.)
    void keysIndexesAndGrants() {
        REQUIRE_DRIVER(QStringLiteral("QPSQL"));
        // The server's product key is the figures' one for every Latin-1 letter and a few beyond.
        QString all;
        for (char16_t c = 0x20; c <= 0xFF; ++c)
            if (c < 0x7F || c >= 0xA0)
                all.append(QChar(c));
        QSqlQuery key(QSqlDatabase::database(QStringLiteral("schema"), false));
        for (const QString &text :
             {all, QStringLiteral("ÅÄÖ-123×÷ß"), QStringLiteral("ŒœĀā Σσ"), QString()}) {
            key.prepare(QStringLiteral("SELECT lodvik_nyckel(?)"));
            key.addBindValue(text);
            QVERIFY2(key.exec() && key.next(), qPrintable(key.lastError().text()));
            QCOMPARE(key.value(0).toString(), QString::fromUtf8(dao::productKey(text)));
        }
        key = query(QStringLiteral("SELECT lodvik_nyckel(NULL) IS NULL"));
        QVERIFY(key.next() && key.value(0).toBool());
        for (const catalogue::Table &table : catalogue::localTables()) {
            const QString name = table.name.toLower();
            QSqlQuery q = query(
                QStringLiteral("SELECT (SELECT count(*) FROM pg_index i JOIN pg_attribute a ON "
                               "a.attrelid = i.indrelid AND a.attnum = i.indkey[0] WHERE "
                               "i.indrelid = '%1'::regclass AND i.indisprimary AND a.attname = "
                               "'lodvik_radnr' AND i.indnatts = 1), "
                               "has_table_privilege('lodvik_extrakt_laddare', '%1', "
                               "'SELECT, INSERT, DELETE, TRUNCATE') AND "
                               "has_table_privilege('lodvik_extrakt_lasare', '%1', 'SELECT') AND "
                               "pg_has_role(current_user, 'lodvik_extrakt_laddare', 'MEMBER'), "
                               "has_table_privilege('lodvik_extrakt_lasare', '%1', 'UPDATE'), "
                               "has_table_privilege('lodvik_extrakt_lasare', '%1', 'DELETE')")
                    .arg(name));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 1);
            QVERIFY2(q.value(1).toBool(), qPrintable(name));
            QCOMPARE(q.value(2).toBool(), name == "fpprognos" || name == "fporder");
            QVERIFY(!q.value(3).toBool());
            for (const QString &column : table.indexed) {
                QSqlQuery index = query(QStringLiteral("SELECT count(*) FROM pg_indexes WHERE "
                                                       "tablename = '%1' AND indexdef LIKE "
                                                       "'%%(lodvik_nyckel(' || quote_ident('%2') "
                                                       "|| '), lodvik_radnr)'")
                                            .arg(name, column.toLower()));
                QVERIFY(index.next());
                QVERIFY2(index.value(0).toInt() == 1, qPrintable(table.name + '.' + column));
            }
        }
    }

    // Every row of a store (the values a COPY could garble; the demo: failedLoadLeavesOldRows)
    // or of an Access file reaches the server exactly as it reaches local.mdb.
    void loadEqualsLocal_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("source"); // edge, demo, or an Access file
        for (const char *driver : {"QPSQL", "QODBC"})
            for (const char *source : {"edge", "nwind-jet3.mdb", "datetest-jet4.mdb"})
                QTest::addRow("%s %s", driver, source) << driver << source;
    }
    void loadEqualsLocal() {
        QFETCH(QString, driver);
        QFETCH(QString, source);
        REQUIRE_DRIVER(driver);
        const QString mdb = testDataFolder() + QStringLiteral("/access/") + source;
        const bool access = source.endsWith(QLatin1String(".mdb"));
        if (access && !QFileInfo::exists(mdb))
            QSKIP(qPrintable(testDataMissing()));
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("local.mdb"));
        lodvik::NoProgress progress;
        if (access) {
            const accessimport::ImportResult intoLocal =
                accessimport::importAccessDatabase(mdb, local, progress);
            const accessimport::ImportResult intoServer =
                accessimport::importAccessDatabaseToServer(mdb, m_server->settings(driver),
                                                           progress);
            QCOMPARE(intoServer.tables.size(), intoLocal.tables.size());
            QCOMPARE(intoServer.warnings, intoLocal.warnings);
        } else {
            createEdgeStore(local);
            const extractload::LoadResult result =
                extractload::loadServerStore(local, m_server->settings(driver), progress);
            QCOMPARE(result.tables.size(), catalogue::localTables().size());
            QVERIFY(result.warnings.isEmpty());
        }
        compareWithServer(local);
    }

    // A load that fails leaves the server's rows as they were, and the operator learns why: a
    // value no figure counts (refused before the server is asked) or one the server refuses,
    // with where it is; a file without the extract tables (sokdata.db); a store damaged in the
    // middle of a table, said before SQLite's own words; the operator's cancel.
    void failedLoadLeavesOldRows_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("broken"); // an UPDATE, or what else goes wrong
        QTest::addColumn<QStringList>("named");
        // The first three are refused before a driver is used.
        addRow("text", "QPSQL", "UPDATE pjomr SET umconv = 'abc' WHERE rowid = 5",
               QStringList{"\"abc\"", "pjomr", "umconv, rad 5"});
        addRow("blob", "QPSQL", "UPDATE pjsfakt SET sdpqor = x'3132' WHERE rowid = 3",
               QStringList{"x'3132'", "pjsfakt", "sdpqor, rad 3"});
        addRow("infinity", "QPSQL", "UPDATE avail SET quantity = 9e999 WHERE rowid = 2",
               QStringList{"Inf", "avail", "quantity, rad 2"});
        for (const char *driver : {"QPSQL", "QODBC"})
            QTest::addRow("%s past the server's integer", driver)
                << driver << "UPDATE DTSPL SET ID = 5000000000 WHERE rowid = 4"
                << QStringList{"DTSPL", "Detaljer:"};
        addRow("search data", "QPSQL", "sokdata", QStringList{"ingen av extrakttabellerna (pjomr"});
        addRow("damaged", "QPSQL", "damaged",
               QStringList{"Tabellen pjsfakt i ", "oförändrade", "Detaljer:"});
        addRow("cancelled", "QPSQL", "cancelled", QStringList());
    }
    void failedLoadLeavesOldRows() {
        QFETCH(QString, driver);
        QFETCH(QString, broken);
        QFETCH(QStringList, named);
        REQUIRE_DRIVER(driver);
        QTemporaryDir dir;
        const bool update = broken.startsWith(QLatin1String("UPDATE"));
        auto [old, store] = demoOnServer(dir, driver, update ? broken : QString());
        if (broken == QLatin1String("sokdata")) {
            store = dir.filePath(QStringLiteral("sokdata.db"));
            dao::Database db = dao::Database::CreateDatabase(store);
            db.Execute(
                QStringLiteral("CREATE TABLE ProduktSok (Soknamn TEXT, Produktnummer TEXT)"));
            db.Execute(QStringLiteral("INSERT INTO ProduktSok VALUES ('PALL', '10-1')"));
        } else if (broken == QLatin1String("damaged")) {
            int page = 0, pageSize = 0;
            {
                dao::Database db = dao::Database::OpenDatabase(store);
                dao::Recordset leaf = db.OpenRecordset(QStringLiteral(
                    "SELECT pageno FROM dbstat WHERE name = 'pjsfakt' AND pagetype = 'leaf' "
                    "ORDER BY pageno LIMIT 1 OFFSET 2"));
                QVERIFY(!leaf.isEOF());
                page = int(leaf.Fields(0).toDouble());
                pageSize =
                    int(db.OpenRecordset(QStringLiteral("PRAGMA page_size")).Fields(0).toDouble());
            }
            QFile file(store);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(qint64(page - 1) * pageSize));
            file.write(QByteArray(pageSize, '\xff'));
        }
        const bool cancel = broken == QLatin1String("cancelled");
        CancelAfter progress(cancel ? 5000 : std::numeric_limits<qint64>::max());
        QString message;
        try {
            extractload::loadServerStore(store, m_server->settings(driver), progress);
            QFAIL("the load went through");
        } catch (const lodvik::Cancelled &) {
            QVERIFY(cancel);
            QCOMPARE_GE(progress.done(), 5000);
        } catch (const lodvik::Error &e) {
            message = e.message();
        }
        QVERIFY2(message.isEmpty() == cancel, qPrintable(message));
        for (const QString &part : named)
            QVERIFY2(message.contains(part), qPrintable(message));
        if (broken == QLatin1String("damaged"))
            QVERIFY2(message.startsWith(named.first()) &&
                         message.indexOf(named.at(1)) < message.indexOf(named.at(2)),
                     qPrintable(message));
        QVERIFY(!query(QStringLiteral("SELECT 1 FROM pg_tables WHERE lower(tablename) = "
                                      "'produktsok' AND schemaname = current_schema()"))
                     .next());
        compareWithServer(old);
    }

    // Two loads at once both go through, and the tables all come from one of them; an operation
    // begun before them reads its snapshot after their commits, and so does a second thread of it
    // that joins it then. (Waiting and refusing: commandWaitsOrRefuses.)
    void concurrentLoads() {
        REQUIRE_DRIVER(QStringLiteral("QPSQL"));
        QTemporaryDir dir;
        const auto [old, changed] =
            demoOnServer(dir, QStringLiteral("QPSQL"), "DELETE FROM pjstk WHERE rowid > 10");
        const QString other =
            demoStore(dir, QStringLiteral("other.mdb"), 8, "DELETE FROM pjstk WHERE rowid > 20");
        m_server->configure(dir.path(), QStringLiteral("QPSQL"));
        const auto count = [](auto &&db) {
            return db.OpenRecordset(QStringLiteral("SELECT count(*) FROM pjstk"))
                .Fields(0)
                .toText();
        };
        const QString local = dir.filePath(QStringLiteral("local.mdb"));
        dao::Database operation = dao::Database::OpenExtractStore(local);
        const QString before = count(operation);
        const auto join = operation.JoinSnapshot();
        QVERIFY(join);
        QString failures[2];
        const auto load = [&](const QString &store, QString &failure) {
            lodvik::NoProgress quiet;
            failure = refusal(
                [&] { extractload::loadServerStore(store, m_server->settings("QPSQL"), quiet); });
        };
        std::thread a(load, changed, std::ref(failures[0]));
        std::thread b(load, other, std::ref(failures[1]));
        a.join();
        b.join();
        QCOMPARE(failures[0] + failures[1], QString());
        QCOMPARE(std::async(std::launch::async, [&] { return count(join()); }).get(), before);
        QCOMPARE(count(operation), before);
        // A new operation, in a thread of its own: this one shares the operation join holds.
        const QString after = std::async(std::launch::async, [&] {
                                  return count(dao::Database::OpenExtractStore(local));
                              }).get();
        QVERIFY2(before != after && (after == "10" || after == "20"), qPrintable(after));
        compareWithServer(after == QLatin1String("10") ? changed : other);
    }

    // The command: --no-wait refuses while another load holds the lock, without it the command
    // says that it waits and loads afterwards, and Ctrl+C while it waits leaves the tables.
    void commandWaitsOrRefuses() {
        REQUIRE_DRIVER(QStringLiteral("QPSQL"));
        QTemporaryDir home;
        const QString old = demoStore(home, QStringLiteral("old.mdb"));
        const QString changed = demoStore(home, QStringLiteral("new.mdb"), 7);
        m_server->configure(home.path(), QStringLiteral("QPSQL"));
        const ProgramRun first = runProgram(home.path(), {QStringLiteral("import-store"), old});
        QCOMPARE(first.exitCode, 0);
        QVERIFY2(first.out.startsWith(QLatin1String("DTSPL\t900\n")), qPrintable(first.out));

        QSqlQuery lock(m_server->connection(QStringLiteral("holder")));
        QVERIFY(lock.exec(QStringLiteral("BEGIN")));
        QVERIFY(
            lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(extractLoadLockKey)));
        const ProgramRun refused =
            runProgram(home.path(), {QStringLiteral("import-store"), changed, "--no-wait"});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("annan arbetsstation")),
                 qPrintable(refused.err));

        for (const bool interrupt : {true, false}) {
            const auto waiting = startProgram(home.path(), {"import-store", changed});
            QString err;
            QTRY_VERIFY_WITH_TIMEOUT(
                (err += QString::fromUtf8(waiting->readAllStandardError())).contains("Väntar"),
                20000);
            if (interrupt) {
                ::kill(pid_t(waiting->processId()), SIGINT);
                QVERIFY(waiting->waitForFinished(20000));
                QCOMPARE(waiting->exitCode(), 128 + SIGINT);
                compareWithServer(old);
            } else {
                QVERIFY(lock.exec(QStringLiteral("COMMIT")));
                QVERIFY(waiting->waitForFinished(60000));
                QCOMPARE(waiting->exitCode(), 0);
                compareWithServer(changed);
            }
        }
        lock = QSqlQuery();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    }
};

QTEST_GUILESS_MAIN(TstStore)
#include "tst_store.moc"
