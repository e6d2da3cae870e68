#include "../common/DataRows.h"
#include "../common/ProgramFolder.h"
#include "../common/TestData.h"
#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "demo/DemoLocalStore.h"
#include "figures/Period.h"
#include "figures/PjFigures.h"
#include "reports/CoverageScan.h"
#include "store/LocalDatabase.h"
#include "store/ProductKey.h"
#include "store/StoreWriteLock.h"
#include "store/TableCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include <sys/stat.h>

using lodvik::Variant;

Q_DECLARE_METATYPE(lodvik::Variant)

class TestLocalDatabase : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

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
    }

    void missingFileRaisesAndIsNotCreated() {
        const QString missing = m_dir.filePath(QStringLiteral("saknas.mdb"));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, dao::Database::OpenDatabase(missing));
        QVERIFY(!QFileInfo::exists(missing));
    }

    // A folder or a pipe in the store's place, or a link into a folder that is gone, is named as
    // such by readers and writers alike, with the folder that is missing. In the lock file's
    // place such a thing is no lock: named, left there and never opened (a pipe would wait).
    void unusableStorePathNamed_data() {
        QTest::addColumn<bool>("lockFile");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("writer");
        QTest::addColumn<QString>("named");
        const QString pipe("ingen vanlig fil");
        addRow("folder, reader", false, QString("folder"), false, QString("mapp, ingen databas"));
        addRow("folder, writer", false, QString("folder"), true, QString("mapp, ingen databas"));
        addRow("named pipe, reader", false, QString("fifo"), false, pipe);
        addRow("named pipe, writer", false, QString("fifo"), true, pipe);
        addRow("link, reader", false, QString("link"), false, QString("/borta finns inte"));
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
        else
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("borta/local.mdb")), path));
        QString refused;
        try {
            if (writer)
                const dao::StoreWriteLock lock(store, nullptr, std::chrono::milliseconds(400));
            else
                dao::Database::OpenDatabase(store);
        } catch (const lodvik::Error &e) {
            refused = e.message();
        }
        QVERIFY2(refused.contains(named), qPrintable(refused));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("borta"))));
        struct stat there {};
        QCOMPARE(::lstat(name.constData(), &there), 0);
    }

    void accessFileRefusedWithImportHint_data() {
        QTest::addColumn<QString>("file");
        addRow("jet3", testDataFolder() + "/access/nwind-jet3.mdb");
        addRow("jet4", testDataFolder() + "/access/datetest-jet4.mdb");
    }
    void accessFileRefusedWithImportHint() {
        QFETCH(QString, file);
        if (!QFileInfo::exists(file))
            QSKIP(qPrintable(testDataMissing()));
        try {
            dao::Database::OpenDatabase(file);
            QFAIL("an Access file must be refused");
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(QStringLiteral("import-mdb")), qPrintable(e.message()));
        }
    }

    void notADatabaseRefused() {
        const QString path = m_dir.filePath(QStringLiteral("text.mdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is just text, not a database at all");
        file.close();
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, dao::Database::OpenDatabase(path));
    }

    void missingTableRaises() {
        dao::Database db = dao::Database::OpenDatabase(m_path);
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, db.OpenTable(QStringLiteral("tillfall")));
        // Named in Swedish, also when the engine names it with its schema.
        for (const char *sql : {"SELECT * FROM tillfall", "SELECT count(*) FROM main.tillfall"})
            try {
                db.OpenRecordset(QLatin1String(sql));
                QFAIL(sql);
            } catch (const lodvik::Error &e) {
                QVERIFY2(e.message().startsWith(QStringLiteral("Tabellen tillfall saknas")),
                         qPrintable(e.message()));
            }
        QVERIFY(db.TableExists(QStringLiteral("PJOMR")));
        QVERIFY(!db.TableExists(QStringLiteral("tillfall")));
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
        dao::Database db = dao::Database::OpenDatabase(m_path);
        QCOMPARE(sqlite3_exec(db.handle(), "PRAGMA query_only = 1", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        for (int run = 0; run < 2; ++run)
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, db.OpenRecordset(sql, {value}));
        try {
            db.Execute(sql, {value});
            QFAIL("the query must fail");
        } catch (const lodvik::Error &e) {
            const qsizetype details = e.message().indexOf(QLatin1String("\nDetaljer: "));
            QCOMPARE(details >= 0, !engineWords.isEmpty());
            if (details >= 0) {
                QVERIFY2(!e.message().left(details).contains(engineWords), qPrintable(e.message()));
                QVERIFY2(e.message().mid(details).contains(engineWords), qPrintable(e.message()));
            }
        }
        QCOMPARE(sqlite3_next_stmt(db.handle(), nullptr), nullptr);
    }

    // A finite sum comes out as SQLite's own SUM gives it, in value and type.
    void checkedSumIsSqliteSum_data() {
        QTest::addColumn<QString>("values");
        addRow("integers", QStringLiteral("(1), (2), (-7)"));
        addRow("integers past 2^53", QStringLiteral("(9007199254740993), (1), (-5)"));
        addRow("reals in row order", QStringLiteral("(1e16), (1.0), (1.0), (0.1)"));
        addRow("integers then reals", QStringLiteral("(9007199254740993), (0.5), (3)"));
        addRow("numeric and blank texts",
               QStringLiteral("('12'), (' 3.5'), (''), (' '), (NULL), ('-4')"));
        addRow("blank texts only", QStringLiteral("(''), (' ')"));
        addRow("nulls only", QStringLiteral("(NULL), (NULL)"));
        addRow("reals that cancel", QStringLiteral("(1e308), (-1e308), (5)"));
    }

    void checkedSumIsSqliteSum() {
        QFETCH(QString, values);
        dao::Database db = dao::Database::OpenDatabase(m_path);
        dao::Recordset rs = db.OpenRecordset(
            QStringLiteral("WITH v(n) AS (VALUES %1) SELECT typeof(c), typeof(s), c IS s FROM "
                           "(SELECT %2 AS c, sum(n) AS s FROM v)")
                .arg(values, dao::checkedSum(QStringLiteral("v"), QStringLiteral("n"))));
        QCOMPARE(rs.Fields(0).toText(), rs.Fields(1).toText());
        QCOMPARE(rs.Fields(2).toDouble(), 1.0);
    }

    // What SUM would count as a number, turn into Null or refuse in English stops the sum with
    // the table and the column named, and the value where one value is at fault.
    void checkedSumStops_data() {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("named");
        addRow("a blob", QStringLiteral("(1), (x'3132')"), QStringLiteral("x'3132'"));
        addRow("stored infinities", QStringLiteral("(9e999), (-9e999)"), QStringLiteral("Inf"));
        addRow("infinite texts", QStringLiteral("('1e999'), ('-1e999')"),
               QStringLiteral("\"1e999\""));
        addRow("reals past the largest number", QStringLiteral("(1e308), (1e308), (-1e308)"),
               QString());
        addRow("integers past the 64-bit range", QStringLiteral("(9223372036854775807), (1), (-1)"),
               QString());
    }

    void checkedSumStops() {
        QFETCH(QString, values);
        QFETCH(QString, named);
        dao::Database db = dao::Database::OpenDatabase(m_path);
        try {
            db.OpenRecordset(
                QStringLiteral("WITH v(n) AS (VALUES %1) SELECT %2 FROM v")
                    .arg(values, dao::checkedSum(QStringLiteral("pjstk"), QStringLiteral("n"))));
            QFAIL("the sum went through");
        } catch (const lodvik::Error &e) {
            for (const QString &part : {named, QStringLiteral("kolumnen n i tabellen pjstk")})
                QVERIFY2(e.message().contains(part), qPrintable(e.message()));
        }
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
    // ones in their place, which another SQLite client can use and the product queries search.
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
        char *error = nullptr;
        const int rc = sqlite3_exec(plain,
                                    "INSERT INTO pjomr (iblitm) VALUES ('Å-1'); SELECT count(*) "
                                    "FROM pjomr; DELETE FROM pjomr WHERE iblitm = 'Å-1'",
                                    nullptr, nullptr, &error);
        const QString message = QString::fromUtf8(error ? error : "");
        sqlite3_free(error);
        sqlite3_close(plain);
        QVERIFY2(rc == SQLITE_OK, qPrintable(message));
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
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
            file.flush();
            // older than a lock file its writer is still filling in
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                     QFileDevice::FileModificationTime));
            file.close();
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
        QString refused;
        try {
            const dao::StoreWriteLock lock(store, nullptr, std::chrono::milliseconds(400));
        } catch (const lodvik::Error &e) {
            refused = e.message();
        }
        other.kill();
        other.waitForFinished();
        QVERIFY2(refused.isEmpty() == taken, qPrintable(refused));
        if (!taken)
            QVERIFY2(refused.contains(lockFile), qPrintable(refused));
    }

    // A statement taken up again runs from the start with the new values, and one given back
    // before its last row holds no read open.
    void reusedStatementStartsAfresh() {
        dao::Database db = dao::Database::OpenDatabase(m_path);
        const QString sql = QStringLiteral("SELECT iblitm FROM pjomr WHERE iblitm <> ? ORDER BY 1");
        {
            dao::Recordset rs = db.OpenRecordset(sql, {Variant::String(QStringLiteral("B2"))});
            QCOMPARE(rs.Fields(0).toText(), QStringLiteral("A1"));
        }
        for (sqlite3_stmt *s = sqlite3_next_stmt(db.handle(), nullptr); s;
             s = sqlite3_next_stmt(db.handle(), s))
            QVERIFY(!sqlite3_stmt_busy(s));
        dao::Recordset rs = db.OpenRecordset(sql, {Variant::String(QStringLiteral("A1"))});
        QCOMPARE(rs.Fields(0).toText(), QStringLiteral("B2"));
        rs.MoveNext();
        QVERIFY(rs.isEOF());
    }

    void editUpdateChangesOnlyTheCurrentRow() {
        const QString path = m_dir.filePath(QStringLiteral("edit.mdb"));
        {
            dao::Database db = dao::Database::CreateDatabase(path);
            db.Execute(QStringLiteral("CREATE TABLE fporder (SDpddj TEXT)"));
            for (int i = 0; i < 3; ++i)
                db.Execute(QStringLiteral("INSERT INTO fporder VALUES ('2024-01-01')"));
        }
        {
            dao::Database db = dao::Database::OpenDatabase(path);
            dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT * FROM fporder"));
            rs.MoveNext(); // the second of three identical rows
            rs.Edit();
            rs.SetField(QStringLiteral("sdpddj"), Variant::String("24011"));
            rs.Update();
        }
        dao::Database db = dao::Database::OpenDatabase(path);
        dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT * FROM fporder"));
        QStringList values;
        for (; !rs.isEOF(); rs.MoveNext())
            values.append(rs.Fields(0).toText());
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
        for (int i = 0; i < 12; ++i) {
            const QString figures = run();
            mixed += figures != before && figures != after;
        }
        stop = true;
        transfer.join();
        sqlite3_close(writer);
        QVERIFY2(commits >= 6, qPrintable(QString::number(commits)));
        QCOMPARE(mixed, 0);
    }

    // The units per pack stored as a blob read as the text of its bytes ("12"): refused with the
    // product named, as a blob in a summed column is.
    void blobUnitsPerPackRefused() {
        const QString path = m_dir.filePath(QStringLiteral("blob.mdb"));
        {
            dao::Database db = dao::Database::CreateDatabase(path);
            catalogue::createLocalSchema(db);
            db.Execute(QStringLiteral("INSERT INTO pjomr VALUES ('A1', 'Pall', x'3132')"));
        }
        try {
            figures::getantaliforpack(path, QStringLiteral("A1"));
            QFAIL("a blob read as a number");
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(QLatin1String("A1")) &&
                         e.message().contains(QLatin1String("x'3132'")),
                     qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLocalDatabase)
#include "tst_localdatabase.moc"
