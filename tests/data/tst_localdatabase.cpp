#include "../common/DataRows.h"
#include "../common/TestData.h"
#include "MDlib/Error.h"
#include "data/LocalDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

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

    // A query that fails, while preparing or while stepping, leaves no statement behind.
    void failedQueryLeavesNothingPrepared_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<Variant>("value");
        addRow("prepare", QStringLiteral("SELECT * FROM saknas WHERE a = ?"), Variant::Long(1));
        addRow("step: integer overflow",
               QStringLiteral("SELECT sum(v) FROM (SELECT 9223372036854775807 AS v UNION ALL "
                              "SELECT ? AS v)"),
               Variant::Long(1));
        addRow("step: a text in a checked sum",
               QStringLiteral("SELECT %1 FROM (SELECT ? AS n)")
                   .arg(dao::checkedSum(QStringLiteral("t"), QStringLiteral("n"))),
               Variant::String(QStringLiteral("x")));
    }

    void failedQueryLeavesNothingPrepared() {
        QFETCH(QString, sql);
        QFETCH(Variant, value);
        dao::Database db = dao::Database::OpenDatabase(m_path);
        for (int run = 0; run < 2; ++run)
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, db.OpenRecordset(sql, {value}));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, db.Execute(sql, {value}));
        QCOMPARE(sqlite3_next_stmt(db.handle(), nullptr), nullptr);
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
