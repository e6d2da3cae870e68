#include "data/LocalDatabase.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// "lodvikprodsok import-mdb FILE" as a script runs it: exit codes, the table list on stdout, the
// reason on stderr.
class TestImportCommand : public QObject {
    Q_OBJECT

private slots:
    void exitCodes_data();
    void exitCodes();
};

void TestImportCommand::exitCodes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");
    const QString nwind = QStringLiteral(LODVIK_SHARED_TESTDATA "/access/nwind-jet3.mdb");
    const QString jet4 = QStringLiteral(LODVIK_SHARED_TESTDATA "/access/datetest-jet4.mdb");
    QTest::newRow("jet 3") << QStringList{nwind} << 0 << QStringLiteral("Umsätze\t830\n")
                           << QStringLiteral("Importerar Order Details");
    QTest::newRow("jet 4") << QStringList{jet4} << 0 << QStringLiteral("DateTest\t6\n")
                           << QStringLiteral("Importerar DateTest");
    QTest::newRow("no file named") << QStringList{} << 2 << QString()
                                   << QStringLiteral("Användning: lodvikprodsok import-mdb FILE");
    QTest::newRow("two files") << QStringList{nwind, jet4} << 2 << QString()
                               << QStringLiteral("Okänt argument");
    QTest::newRow("missing file") << QStringList{QStringLiteral("/finns/inte.mdb")} << 1
                                  << QString() << QStringLiteral("finns inte");
}

void TestImportCommand::exitCodes() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LODVIK_PROGRAM), QStringList{QStringLiteral("import-mdb")} + args);
    QVERIFY(program.waitForFinished(120000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(program.exitCode() == exitCode, qPrintable(err));
    QVERIFY2(out.contains(stdoutHas), qPrintable(out));
    QVERIFY2(err.contains(stderrHas), qPrintable(err));
    const QString store = home.filePath(QStringLiteral("local.mdb"));
    if (exitCode == 0) {
        dao::Database db = dao::Database::OpenDatabase(store);
        QCOMPARE(
            db.OpenRecordset(QStringLiteral("SELECT * FROM sqlite_master WHERE type = 'table'"))
                .isEOF(),
            false);
    } else {
        QVERIFY(!QFile::exists(store)); // a failed import makes no store
    }
}

QTEST_GUILESS_MAIN(TestImportCommand)
#include "tst_importcommand.moc"
