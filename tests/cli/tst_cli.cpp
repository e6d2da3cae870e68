#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/ProgramFolder.h"
#include "../common/RunProgram.h"
#include "../common/TestData.h"
#include "search/SearchSource.h"

#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

using lodvik::Variant;

// The command line as a script runs it: exit codes, results on stdout, reasons on stderr.
class TestCli : public QObject {
    Q_OBJECT

    // A store with one product, 10-1, in the tables the figure cases read, and an order dated as
    // a date.
    static void fillFigures(ProgramFolder &home) {
        const auto S = [](const char *t) { return Variant::String(QString::fromUtf8(t)); };
        home.insert(QStringLiteral("tillfall"), {Variant::Long(1)});
        home.insert(QStringLiteral("pjomr"), {S("10-1"), S("PALL 10-1"), Variant::Long(2)});
        std::vector<Variant> history{S("2010"), S("10-1")};
        for (int m = 1; m <= 12; ++m)
            history.push_back(Variant::Long(10 * m));
        home.insert(QStringLiteral("frnhist"), history);
        home.insert(QStringLiteral("PJOFBACK"), {S("10-1"), Variant::Long(1)});
        home.insert(QStringLiteral("PJOTALLA"), {S("10-1"), Variant::Long(1)});
        home.insert(QStringLiteral("pjstk"), {S("10-1"), Variant::Double(12.5)});
        home.insert(QStringLiteral("fporder"), {S("10-1"), S("2010-02-17"), Variant::Long(5)});
    }

private slots:
    void commands_data() {
        QTest::addColumn<QString>("home"); // empty, figures, demo (figures and search data)
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // all of stdout (exit 0), or a part of stderr
        QTest::addColumn<QString>("stdoutFile");
        const auto row = [](const char *name, const char *home, const QStringList &args,
                            int exitCode, const QString &output) {
            addRow(name, QString::fromUtf8(home), args, exitCode, output, QString());
        };
        const auto figure = [&](const char *name, const QStringList &args, int exitCode,
                                const QString &output) {
            row(name, "figures", QStringList{"figure"} + args, exitCode, output);
        };
        figure("null", {"StockOnHandPJ", "10-9", "--umfaktor", "1000"}, 0, "Null\n");
        figure("integer 0 of an unknown product", {"getantaliforpack", "10-9"}, 0, "0\n");
        figure("text result with umfaktor", {"ProdBackOrderFRN", "10-1", "--umfaktor", "3000"}, 0,
               "0.333333333333333\n");
        figure("whole-table total", {"GSLPJ"}, 0, "0.0125\n");
        figure("without umfaktor", {"ProdBackOrderPJ", "10-1"}, 2, "--umfaktor");
        figure("missing product", {"avail"}, 2, "produktnummer");
        figure("extra product", {"backordersPJ", "10-1"}, 2, "10-1");
        figure("unknown operation", {"konvertdatum", "x"}, 2, "Okänd");
        figure("no operation", {}, 2, "operation");
        figure("bad umfaktor", {"ProdOrderPJ", "10-1", "--umfaktor", "tio"}, 2, "tio");
        figure("nan umfaktor", {"ProdOrderPJ", "10-1", "--umfaktor", "nan"}, 2, "--umfaktor nan");

        // (A refused umfaktor and a period not written YYYY-MM-DD: tst_figures and tst_dates.)
        // Help goes to stdout and touches nothing; a usage error says why on stderr only.
        row("--help", "empty", {"--help"}, 0, {});
        row("--version", "empty", {"--version"}, 0, {});
        for (const char *command : {"search", "demo", "figure", "convert-dates", "coverage",
                                    "summary", "print", "import-mdb", "import-store"})
            QTest::addRow("%s --help", command)
                << "empty" << QStringList{command, "-h"} << 0 << QString() << QString();
        row("help after other arguments", "empty",
            {"figure", "GSLPJ", "--period", "2010-11-18", "--help"}, 0, {});
        row("unknown command", "empty", {"hjälp"}, 2, "Okänt kommando");
        row("unknown option", "empty", {"--hjalp"}, 2, "Okänd flagga");
        // A usage error names the real mistake.
        row("--help before the command", "empty", {"--help", "coverage"}, 0,
            "Användning: lodvikprodsok coverage --period");
        row("--version with an argument", "empty", {"--version", "extra"}, 2,
            "--version tar inga argument: extra");
        row("--quiet given a value", "empty", {"coverage", "--quiet=1", "--period", "2010-11-18"},
            2, "--quiet tar inget värde");
        row("-q without a command", "empty", {"-q"}, 2, "ange kommandot");
        row("unknown date kind", "empty", {"convert-dates", "lager"}, 2, "lager");
        row("dates converted", "figures", {"convert-dates", "order"}, 0,
            "Datumen i fporder är omvandlade till veckodagskoder: 1 rad.\n");

        const QString access = testDataFolder() + QStringLiteral("/access/");
        row("import without a file", "empty", {"import-mdb"}, 2,
            "Användning: lodvikprodsok import-mdb FIL");
        row("import of two files", "empty",
            {"import-mdb", access + "nwind-jet3.mdb", access + "datetest-jet4.mdb"}, 2,
            "Okänt argument");
        row("import of a folder", "empty", {"import-mdb", "/etc"}, 1, "mapp");
        row("import of a device", "empty", {"import-mdb", "/dev/null"}, 1, "ingen vanlig fil");
        row("store copy without a file", "empty", {"import-store"}, 2,
            "Användning: lodvikprodsok import-store FIL");
        row("store copy without a server", "demo", {"import-store", "/finns/inte.mdb"}, 1,
            "[extrakt]");

        // Options: checked before anything runs, "--name=value", "--" ending them, a value
        // taken as it stands.
        figure("--name=value", {"SalesPerWeekFRN", "10-1", "--period=2010-11-18"}, 0, "15\n");
        figure("options before --", {"SalesPerWeekFRN", "--period", "2010-11-18", "--", "10-1"}, 0,
               "15\n");
        figure("-q as an option's value", {"StockOnHandPJ", "10-1", "--umfaktor", "-q"}, 2,
               "--umfaktor -q");
        figure("an option twice", {"GSLPJ", "--period", "2010-11-18", "--period=2010-11-19"}, 2,
               "--period");
        figure("option without its value", {"GSLPJ", "--period"}, 2, "--period");
        row("unknown option before a missing one", "demo", {"search", "--bogus"}, 2, "--bogus");
        row("print without its file", "empty", {"print", "--namn", "x"}, 2, "--pdf");
        row("unknown option of import", "empty", {"import-mdb", "--bogus"}, 2, "--bogus");
        row("a file named like an option after --", "empty", {"import-mdb", "--", "--bogus"}, 1,
            "--bogus");
        // A mark's packs are whole and finite, and its date is named as the date, not the period.
        const QStringList mark{"mark", "--period", "2010-11-18", "10-1", "--ordered"};
        row("mark of infinitely many packs", "demo", mark + QStringList{"inf"}, 2, "inf");
        row("mark of part of a pack", "demo", mark + QStringList{"2.5"}, 2, "helt antal");
        row("mark of no product", "demo", {"mark", "--period", "2010-11-18", "", "--clear"}, 2,
            "Ange ett produktnummer");
        row("mark with a date that is none", "demo",
            mark + QStringList{"3", "--date", "2010-02-29"}, 2, "--date");
        // demo cannot make a folder where something else has the name, and says so.
        row("demo where the program folder is a file", "/dev/null", {"demo"}, 1, "inte är en mapp");
        // A rules file that cannot be read is named with the reason in Swedish.
        row("rules from a folder", "demo", {"rules", "--load", "/"}, 1, "det är en mapp");
        row("rules from an endless device", "demo", {"rules", "--load", "/dev/zero"}, 1,
            "större än 64 MB");
        // The reading that found the damage names it, not the rollback after it.
        row("a figure from a store cut short", "cut short",
            {"figure", "salescurrmonthPJ", "--period", "2010-11-18"}, 1, "den är skadad");
        row("rules to a full device", "demo", {"rules", "--save", "/dev/full"}, 1,
            "disken eller enheten är full");
        // A flag takes no value: the period after it is still read as the period.
        row("a flag given a value", "demo", {"coverage", "--xlsx=1", "--period", "2010-11-18"}, 2,
            "--xlsx");

        // Results that never reach stdout (a closed pipe, a full disk, no stdout) make the
        // command fail, not exit 0, and every command says so in one way. (Every command writes
        // through one writer; coverage's formats through one buffer, csv's rows here.)
        const std::pair<QString, QString> sinks[] = {{closedPipe, "mottagaren har slutat läsa"},
                                                     {"/dev/full", "disken eller enheten är full"},
                                                     {closedStdout, "standard ut är stängd"}};
        // Help is output too (on an empty folder).
        for (const auto &[sink, reason] : sinks)
            for (const QStringList &args :
                 {QStringList{"search", "--produkt", ""},
                  QStringList{"figure", "getantaliforpack", "10-1"},
                  QStringList{"coverage", "--period", "2010-11-18", "--format", "csv"},
                  QStringList{"summary", "--period", "2010-11-18"}, QStringList{"--help"},
                  QStringList{"--version"}, QStringList{"print", "--help"}})
                QTest::addRow("%s to %s", qPrintable(args.join(' ')), qPrintable(sink))
                    << (args.last().startsWith("--") ? "empty" : "demo") << args << 1
                    << QStringLiteral("standard ut: %1.").arg(reason) << sink;
    }

    void commands() {
        QFETCH(QString, home);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, stdoutFile);
        for (const QString &arg : args)
            if (arg.startsWith(testDataFolder()) && !QFileInfo::exists(arg))
                QSKIP(qPrintable(testDataMissing()));
        if (stdoutFile.startsWith(QLatin1Char('/')) && !QFileInfo::exists(stdoutFile))
            QSKIP("this system has no /dev/full");
        QTemporaryDir empty;
        std::unique_ptr<ProgramFolder> filled;
        QString folder = empty.path();
        if (home.startsWith(QLatin1Char('/'))) {
            folder = home;
        } else if (home != QLatin1String("empty")) {
            filled = std::make_unique<ProgramFolder>();
            fillFigures(*filled);
            folder = filled->path();
            if (home != QLatin1String("figures"))
                QCOMPARE(runProgram(folder, {"demo"}).exitCode, 0);
            if (home == QLatin1String("cut short")) { // as a copy that ran out of room leaves it
                QFile store(folder + QStringLiteral("/local.mdb"));
                QVERIFY(store.resize(store.size() / 2));
            }
        }
        const ProgramRun run = runProgram(folder, args, stdoutFile);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
        if (exitCode != 0) {
            QVERIFY2(run.err.contains(output), qPrintable(run.err));
            QVERIFY(run.out.isEmpty());
        } else if (!output.isEmpty()) {
            QVERIFY2(run.out.contains(output), qPrintable(run.out));
            if (home != QLatin1String("empty"))
                QCOMPARE(run.out, output);
        } else {
            QVERIFY2(!run.out.isEmpty() && run.err.isEmpty(), qPrintable(run.err));
        }
        if (home == QLatin1String("empty"))
            QVERIFY(QDir(folder).isEmpty());
    }

    // A user who may not write everything of the program folder: an installed folder the
    // user may only read (the reason names the folder, not a file that may or may not be
    // there), and a write-protected local.mdb, which an import replaces as a whole.
    void asAnotherUser_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // part of stderr, or of stdout on success
        const QStringList search{"search", "--produkt", "10"};
        addRow("search data in WAL mode", "read-only", search, 1, "sokdata.db-shm");
        addRow("no search data yet", "no search data", search, 1, "kan inte skapas");
        addRow("import into a write-protected store", "protected store",
               QStringList{"import-mdb", testDataFolder() + "/access/datetest-jet4.mdb"}, 0,
               "DateTest\t6");
    }
    void asAnotherUser() {
        QFETCH(QString, setup);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        if (args.first() == QLatin1String("import-mdb") && !QFileInfo::exists(args.at(1)))
            QSKIP(qPrintable(testDataMissing()));
        QTemporaryDir home;
        QVERIFY(runProgram(home.path(), {"demo", "-q"}).exitCode == 0);
        if (setup == QLatin1String("no search data"))
            QVERIFY(QFile::remove(home.filePath(QStringLiteral("sokdata.db"))));
        const QString store = home.filePath(QStringLiteral("local.mdb"));
        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        const auto all = readOnly | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        const bool protectedStore = setup == QLatin1String("protected store");
        if (protectedStore)
            QVERIFY(QFile::setPermissions(store,
                                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        // Root writes anywhere: the program then runs as nobody.
        const bool root = ::geteuid() == 0;
        QVERIFY(QFile::setPermissions(home.path(), protectedStore ? all
                                                   : root         ? readOnly | QFile::WriteOwner
                                                                  : readOnly));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home.path());
        process.setProcessEnvironment(env);
        if (root)
            process.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        process.start(QStringLiteral(LODVIK_EXECUTABLE), args);
        QVERIFY(process.waitForFinished(60000));
        QFile::setPermissions(home.path(), readOnly | QFile::WriteOwner);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (process.error() == QProcess::FailedToStart || process.exitCode() == 126)
            QSKIP("the program cannot be run as the user nobody from where it was built");
        QVERIFY2(process.exitCode() == exitCode, qPrintable(err));
        if (exitCode == 0) {
            QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).contains(said));
            QCOMPARE(QFile::permissions(store) & all,
                     QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            return;
        }
        QVERIFY2(err.contains(QStringLiteral("mappen ") + home.path()), qPrintable(err));
        QVERIFY2(err.contains(said), qPrintable(err));
    }

    // demo that cannot make a store says why and leaves nothing half-made: a store's place that
    // holds what no store can be (a local.mdb link into a folder that is gone, a folder named
    // local.mdb or sokdata.db) stays as it was, and a full disk leaves no partial store.
    void demoFails_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("diskKiB");      // the room on the disk; 0 for all there is
        QTest::addColumn<QString>("said");     // %1 the program folder
        QTest::addColumn<QStringList>("left"); // the program folder afterwards
        const QStringList both{"local.mdb", "rapporter"};
        addRow("local.mdb a link into nothing", "link", 0, "%1/extrakt finns inte", both);
        addRow("local.mdb a folder", "local.mdb", 0, "%1/local.mdb är en mapp", both);
        addRow("sokdata.db a folder", "sokdata.db", 0, "%1/sokdata.db är ingen vanlig fil",
               both + QStringList{"sokdata.db"});
        // With 400 KiB SQLite has rolled the transaction back itself when the COMMIT fails.
        addRow("a full disk", QString(), 400, "disken är full", QStringList{"rapporter"});
        addRow("a full disk, local.mdb there", "local.mdb there", 100,
               "%1/sokdata.db: disken är full", both);
    }
    void demoFails() {
        QFETCH(QString, setup);
        QFETCH(int, diskKiB);
        QFETCH(QString, said);
        QFETCH(QStringList, left);
        QTemporaryDir home;
        if (setup == QLatin1String("link"))
            QVERIFY(QFile::link(home.filePath(QStringLiteral("extrakt/local.mdb")),
                                home.filePath(QStringLiteral("local.mdb"))));
        else if (setup == QLatin1String("local.mdb there"))
            QVERIFY(runProgram(home.path(), {"demo", "-q"}).exitCode == 0 &&
                    QFile::remove(home.filePath(QStringLiteral("sokdata.db"))));
        else if (!setup.isEmpty())
            QVERIFY(QDir(home.path()).mkdir(setup));
        // A file size limit makes writes fail as a full disk does; the program inherits it.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limit = saved;
        if (diskKiB > 0)
            limit.rlim_cur = rlim_t(diskKiB) * 1024;
        auto *previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const ProgramRun run = runProgram(home.path(), {"demo", "-q"});
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(said.replace(QStringLiteral("%1"), home.path())),
                 qPrintable(run.err));
        QCOMPARE(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            left);
        if (setup.endsWith(QLatin1String(".db")) || setup.endsWith(QLatin1String(".mdb")))
            QVERIFY(QDir(home.filePath(setup)).isEmpty());
    }

    // The package's launcher on a folder not filled yet: the site's files for any command, demo
    // data only for the window and demo, any other command refused with how to fill the folder;
    // -q silences the launcher too, and help needs no HOME.
    void launcherFirstRun_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("folder"); // missing, empty, or none: no HOME or XDG_DATA_HOME
        QTest::addColumn<bool>("siteFiles");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");     // part of stderr (%1 the folder); empty: nothing
        QTest::addColumn<QStringList>("left"); // the folder afterwards
        const QStringList demo{"local.mdb", "rapporter", "sokdata.db"};
        const QStringList site{"lodvikprodsok.ini", "sokdata.db"};
        const QStringList search{"search", "--namn", "x"};
        addRow("a cron job's first run", QStringList{"-q", "coverage", "--period", "2026-03-15"},
               "missing", false, 1,
               "Programmappen %1 finns inte. Fyll den med \"lodvikprodsok demo\"", QStringList());
        addRow("-q after the command", QStringList{"coverage", "-q", "--period", "2026-03-15"},
               "empty", false, 1, "Programmappen %1 är tom", QStringList());
        addRow("site files, quietly", QStringList{"-q"} + search, "missing", true, 0, QString(),
               site);
        addRow("site files, told", search, "missing", true, 0,
               "skapade programmappen %1 med filerna i", site);
        addRow("demo", QStringList{"demo", "-q"}, "missing", false, 0, QString(), demo);
        addRow("the window", QStringList(), "empty", false, 1,
               "skapade programmappen %1 med demodata", demo);
        addRow("--version without HOME", QStringList{"--version"}, "none", false, 0, QString(),
               QStringList());
    }
    void launcherFirstRun() {
        QFETCH(QStringList, args);
        QFETCH(QString, folder);
        QFETCH(bool, siteFiles);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QStringList, left);
        QDir site(QStringLiteral(LODVIK_SITE));
        site.removeRecursively();
        const auto removeSite = qScopeGuard([&] { site.removeRecursively(); });
        if (siteFiles)
            QVERIFY(site.mkpath(site.path()) &&
                    writeFile(site.filePath("lodvikprodsok.ini"), "; platsens inställningar\n"));
        QTemporaryDir base;
        const QString home = base.filePath(QStringLiteral("lodvikprodsok"));
        if (folder == QLatin1String("empty"))
            QVERIFY(QDir().mkdir(home));
        // The window then says that it has no screen.
        QStringList unset{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LODVIKPRODSOK_HOME"};
        if (folder == QLatin1String("none"))
            unset << "HOME"
                  << "XDG_DATA_HOME";
        const ProgramRun run = runProgram(folder == QLatin1String("none") ? QString() : home, args,
                                          {}, 120000, QStringLiteral(LODVIK_LAUNCHER), unset);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
        QVERIFY2(said.isEmpty() ? run.err.isEmpty()
                                : run.err.contains(said.replace(QStringLiteral("%1"), home)),
                 qPrintable(run.err));
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), left);
    }

    // With -q or --quiet, before or after the command, a command that succeeds says nothing on
    // stderr but still prints its result; without it each says what it did, its last line
    // matching lastLine: a count in the singular, or progress ended at the total even when the
    // work ends between two reports.
    void quietLeavesOnlyErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("lastLine");
        addRow("search", QStringList{"-q", "search", "--produkt", "10-1017"}, "^1 rad\\.$");
        addRow("demo again", QStringList{"demo", "-q"}, " finns redan; lämnas orörd\\.$");
        addRow("print", QStringList{"--quiet", "print", "--namn", "", "--pdf", "lista.pdf"},
               "^Skrev .*/lista\\.pdf\\.$");
        addRow("coverage", QStringList{"coverage", "--period", "2010-11-18", "-q"},
               "^(\\d+) av \\1 \\(100 %\\) Klart$");
        addRow("convert-dates", QStringList{"convert-dates", "--quiet", "order"},
               "^(\\d+) av \\1 \\(100 %\\) $");
    }
    void quietLeavesOnlyErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, lastLine);
        // As under cron: no runtime folder, about which Qt would warn in English.
        qunsetenv("XDG_RUNTIME_DIR");
        for (const bool quiet : {false, true}) {
            QTemporaryDir home;
            QCOMPARE(runProgram(home.path(), {"demo", "-q"}).exitCode, 0);
            QStringList command = args;
            command.replaceInStrings(QRegularExpression(QStringLiteral("^lista.pdf$")),
                                     home.filePath(QStringLiteral("lista.pdf")));
            if (!quiet)
                command.removeIf([](const QString &a) { return a == "-q" || a == "--quiet"; });
            const ProgramRun run = runProgram(home.path(), command);
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            QVERIFY(!run.out.isEmpty() || args.contains(QStringLiteral("demo")));
            if (quiet) {
                QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
                continue;
            }
            const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            const QString last = lines.value(lines.size() - 1);
            QVERIFY2(QRegularExpression(lastLine).match(last).hasMatch(), qPrintable(last));
        }
    }

    // A tab or line break inside a value would split its row: each is printed as a blank.
    void searchRowsStayOneLine() {
        QTemporaryDir home;
        QCOMPARE(runProgram(home.path(), {"demo", "-q"}).exitCode, 0);
        const auto sokdata = openSqliteSearchSource(home.filePath(QStringLiteral("sokdata.db")));
        QVERIFY(QSqlQuery(sokdata->database())
                    .exec(QStringLiteral(
                        "INSERT INTO ProduktSok VALUES ('PALL\tMED\nRAD', '99-1\r')")));
        const ProgramRun run = runProgram(home.path(), {"search", "--produkt", "99-"});
        QCOMPARE(run.out, QStringLiteral("PALL MED RAD\t99-1 \n"));
    }

    // Two imports into one program folder: the second waits for the first and adds its tables
    // to the first one's, instead of replacing the store with one that lacks them.
    void twoImportsAtOnce() {
        const QString access = testDataFolder() + QStringLiteral("/access/");
        if (!QFileInfo::exists(access))
            QSKIP(qPrintable(testDataMissing()));
        QTemporaryDir home;
        const std::unique_ptr<QProcess> programs[] = {
            startProgram(home.path(), {"import-mdb", access + "nwind-jet3.mdb"}),
            startProgram(home.path(), {"import-mdb", access + "datetest-jet4.mdb"})};
        for (const auto &program : programs) {
            QVERIFY(program->waitForFinished(120000));
            QVERIFY2(program->exitCode() == 0, program->readAllStandardError().constData());
        }
        dao::Database db = dao::Database::OpenDatabase(home.filePath(QStringLiteral("local.mdb")));
        for (const char *table : {"Orders", "DateTest"})
            QVERIFY(db.TableExists(QString::fromUtf8(table)));
    }

    // The command-line program starts without the libraries that only the window, the
    // printouts, the server store and the Access reading need: they cost most of a start.
    void startsWithoutGuiLibraries_data() {
        QTest::addColumn<QString>("library");
        // A program that does load it, so that the name is known to be right (none for libpq,
        // which only Qt's driver plugin links).
        QTest::addColumn<QString>("loadedBy");
        const QString window = QStringLiteral(LODVIK_WINDOW_EXECUTABLE);
        // Qt Widgets, PrintSupport and Charts each need Qt Gui, which ldd would list with them.
        addRow("Qt Gui", "libQt6Gui.so", window);
        addRow("libmdb", "libmdb.so", QStringLiteral(LODVIK_ACCESSREADER_EXECUTABLE));
        addRow("libpq", "libpq.so", QString()); // opened when a server is used
    }

    void startsWithoutGuiLibraries() {
        QFETCH(QString, library);
        QFETCH(QString, loadedBy);
        const auto loaded = [](const QString &program) {
            QProcess ldd;
            ldd.start(QStringLiteral("ldd"), {program});
            return ldd.waitForFinished() && ldd.exitCode() == 0
                       ? QString::fromLocal8Bit(ldd.readAllStandardOutput())
                       : QString();
        };
        const QString commandLine = loaded(QStringLiteral(LODVIK_EXECUTABLE));
        QVERIFY2(commandLine.contains(QStringLiteral("libQt6Core.so")), qPrintable(commandLine));
        QVERIFY2(!commandLine.contains(library), qPrintable(commandLine));
        if (!loadedBy.isEmpty())
            QVERIFY2(loaded(loadedBy).contains(library), qPrintable(loadedBy));
    }

    // Without a command, or with one that paints, the command-line program is replaced by the
    // full program: the same arguments, standard streams and exit code as the full program run
    // directly. Copied alone, without the full program beside it, it says so for what needs it
    // and still runs the rest.
    void handsOverToTheFullProgram_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutFile");
        QTest::addColumn<int>("alone"); // the exit code when copied alone; -1: not run so
        const QStringList print{"print", "--namn", "", "--pdf", "lista.pdf"};
        addRow("print", print, 0, QString(), 1);
        addRow("print's result to a closed pipe", print, 1, closedPipe, -1);
        addRow("print without its file", QStringList{"print", "--namn", "x"}, 2, QString(), -1);
        addRow("print --help", QStringList{"print", "--help"}, 0, QString(), -1);
        addRow("no command without a screen", QStringList{}, 1, QString(), 1);
        addRow("search", QStringList{"search", "--namn", ""}, 0, QString(), 0);
    }

    void handsOverToTheFullProgram() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutFile);
        QFETCH(int, alone);
        ProgramFolder home;
        QCOMPARE(runProgram(home.path(), {"demo", "-q"}).exitCode, 0);
        // The window needs a screen; without one it says so instead of waiting for an operator.
        const QStringList noScreen{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        const QStringList unset = args.isEmpty() ? noScreen : QStringList();
        const QString pdf = QDir::current().filePath(QStringLiteral("lista.pdf"));
        std::vector<ProgramRun> runs;
        for (const char *program : {LODVIK_EXECUTABLE, LODVIK_WINDOW_EXECUTABLE}) {
            QFile::remove(pdf);
            runs.push_back(runProgram(home.path(), args, stdoutFile, 120000,
                                      QString::fromUtf8(program), unset));
            QCOMPARE(QFileInfo::exists(pdf), args.contains(QStringLiteral("lista.pdf")));
        }
        QFile::remove(pdf);
        QVERIFY2(runs[0].exitCode == exitCode, qPrintable(runs[0].err));
        QCOMPARE(runs[0].exitCode, runs[1].exitCode);
        QCOMPARE(runs[0].out, runs[1].out);
        QCOMPARE(runs[0].err, runs[1].err);
        QVERIFY(!runs[0].out.isEmpty() || !runs[0].err.isEmpty());
        if (alone < 0)
            return;
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("lodvikprodsok"));
        QVERIFY(QFile::copy(QStringLiteral(LODVIK_EXECUTABLE), program));
        const ProgramRun run = runProgram(home.path(), args, {}, 120000, program);
        QFile::remove(pdf);
        QVERIFY2(run.exitCode == alone, qPrintable(run.err));
        QCOMPARE(run.out.isEmpty(), alone != 0);
        if (alone != 0)
            QVERIFY2(run.err.contains(QStringLiteral("lodvik-window")) &&
                         run.err.contains(folder.path()),
                     qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
