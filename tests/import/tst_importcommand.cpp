#include "data/LocalDatabase.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The command line as a script runs it: "lodvikprodsok import-mdb FIL" with its exit codes, the
// table list on stdout and the reason on stderr; help and version for every command.
class TestImportCommand : public QObject {
    Q_OBJECT

private slots:
    void exitCodes_data();
    void exitCodes();
    void twoImportsAtOnce();
    void help_data();
    void help();
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
                                   << QStringLiteral("Användning: lodvikprodsok import-mdb FIL");
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

// Two imports into one program folder: the second waits for the first and adds its tables to the
// first one's, instead of replacing the store with one that lacks them.
void TestImportCommand::twoImportsAtOnce() {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home.path());
    const QString samples = QStringLiteral(LODVIK_SHARED_TESTDATA "/access/");
    QProcess first;
    QProcess second;
    for (QProcess *program : {&first, &second}) {
        program->setProcessEnvironment(env);
        program->start(QStringLiteral(LODVIK_PROGRAM),
                       {QStringLiteral("import-mdb"),
                        samples + (program == &first ? QStringLiteral("nwind-jet3.mdb")
                                                     : QStringLiteral("datetest-jet4.mdb"))});
    }
    for (QProcess *program : {&first, &second}) {
        QVERIFY(program->waitForFinished(120000));
        QVERIFY2(program->exitCode() == 0, program->readAllStandardError().constData());
    }
    dao::Database db = dao::Database::OpenDatabase(home.filePath(QStringLiteral("local.mdb")));
    QCOMPARE(db.OpenRecordset(QStringLiteral("SELECT COUNT(*) FROM Orders")).Fields(0).number(),
             830.0);
    QCOMPARE(db.OpenRecordset(QStringLiteral("SELECT COUNT(*) FROM DateTest")).Fields(0).number(),
             6.0);
}

void TestImportCommand::help_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("--help") << QStringList{"--help"} << 0;
    QTest::newRow("-h") << QStringList{"-h"} << 0;
    QTest::newRow("--version") << QStringList{"--version"} << 0;
    for (const char *command : {"search", "demo", "figure", "convert-dates", "coverage", "summary",
                                "print", "import-mdb"}) {
        QTest::addRow("%s --help", command) << QStringList{command, "--help"} << 0;
        QTest::addRow("%s -h", command) << QStringList{command, "-h"} << 0;
    }
    QTest::newRow("help after other arguments")
        << QStringList{"figure", "GSLPJ", "--period", "2010-11-18", "--help"} << 0;
    QTest::newRow("unknown command") << QStringList{"hjälp"} << 2;
    QTest::newRow("unknown option") << QStringList{"--hjalp"} << 2;
}

// Help goes to stdout and touches nothing; a usage error says why on stderr only.
void TestImportCommand::help() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LODVIK_PROGRAM), args);
    QVERIFY(program.waitForFinished(60000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == exitCode,
             qPrintable(err));
    QVERIFY2(exitCode == 0 ? !out.isEmpty() && err.isEmpty() : out.isEmpty() && !err.isEmpty(),
             qPrintable(out + err));
    QVERIFY(QDir(home.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestImportCommand)
#include "tst_importcommand.moc"
