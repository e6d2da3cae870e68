#include "../common/DataRows.h"
#include "../common/TestData.h"
#include "MDlib/Error.h"
#include "data/LocalDatabase.h"
#include "data/StoreWriteLock.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <optional>

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
};

QTEST_GUILESS_MAIN(TestLocalDatabase)
#include "tst_localdatabase.moc"
