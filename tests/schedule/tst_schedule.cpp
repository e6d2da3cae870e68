#include "../common/Files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The weekly run as the package ships it: the systemd user service and timer pass systemd's own
// check, and the service's command runs as the service runs it.

static const QString unit = QStringLiteral("lodvikprodsok-veckokorning");

class TestSchedule : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    // An installation in the temporary folder as the package lays it out: the launcher in bin/,
    // the program in libexec/, the units in lib/systemd/user/ naming that launcher.
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        for (const char *folder : {"bin", "libexec/lodvikprodsok", "units", "runtime", "home"})
            QVERIFY(QDir(m_dir.path()).mkpath(QString::fromLatin1(folder)));
        QFile::setPermissions(path("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString source = QStringLiteral(LODVIK_SOURCE_DIR "/packaging/");
        QByteArray launcher = readFile(source + "lodvikprodsok.sh.in");
        launcher.replace("@PROGRAM_FROM_LAUNCHER@", "../libexec/lodvikprodsok/lodvikprodsok");
        launcher.replace("@SITE_DIR@", path("site").toUtf8());
        QVERIFY(writeFile(path("bin/lodvikprodsok"), launcher));
        QFile::setPermissions(path("bin/lodvikprodsok"),
                              QFile::permissions(path("bin/lodvikprodsok")) | QFile::ExeOwner);
        QVERIFY(QFile::link(QStringLiteral(LODVIK_EXECUTABLE),
                            path("libexec/lodvikprodsok/lodvikprodsok")));
        QByteArray service = readFile(source + unit + ".service.in");
        service.replace("@LODVIK_UNIT_BINDIR@", path("bin").toUtf8());
        QVERIFY(writeFile(path("units/" + unit + ".service"), service));
        QVERIFY(QFile::copy(source + unit + ".timer", path("units/" + unit + ".timer")));
    }

    void unitsPassSystemdsCheck() {
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed (package systemd)");
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The user manager's checks want a runtime folder; the test's own will do.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        verify.setProcessEnvironment(env);
        verify.start(analyze, {QStringLiteral("--user"), QStringLiteral("--man=no"),
                               QStringLiteral("verify"), path("units/" + unit + ".service"),
                               path("units/" + unit + ".timer")});
        QVERIFY(verify.waitForFinished(60000));
        const QByteArray said = verify.readAllStandardError() + verify.readAllStandardOutput();
        // An unknown key is only a warning to systemd; here it is a fault too.
        QVERIFY2(verify.exitCode() == 0 && said.isEmpty(), said.constData());
    }

    // The service's ExecStart as systemd runs it, in a user's bare environment: on a folder
    // without data it fails with a Swedish line for the journal; once filled it is quiet and
    // leaves the workbook and the proposal of the period in rapporter/ and the run in history.
    void serviceCommandRunsAsTheUnitRunsIt() {
        const QByteArray service = readFile(path("units/" + unit + ".service"));
        const qsizetype at = service.indexOf("\nExecStart=");
        QVERIFY(at >= 0);
        const QStringList command =
            QProcess::splitCommand(QString::fromUtf8(service.mid(at + 11).split('\n').first()));
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const auto run = [&](const QStringList &line) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(line.first(), line.mid(1));
            p.waitForFinished(120000);
            return std::tuple{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
        };
        auto [code, out, err] = run(command);
        QCOMPARE(code, 1);
        QVERIFY2(out.isEmpty() &&
                     QString::fromUtf8(err).contains(QStringLiteral("Veckans "
                                                                    "täckningskörning")),
                 err.constData());
        QCOMPARE(std::get<0>(run({path("bin/lodvikprodsok"), QStringLiteral("demo")})), 0);
        std::tie(code, out, err) = run(command);
        QVERIFY2(code == 0 && out.isEmpty() && err.isEmpty(), err.constData());
        QDate period = QDate::currentDate();
        period = period.addDays(1 - period.dayOfWeek()); // Monday unless the folder says else
        const QDir reports(path("home/.local/share/lodvikprodsok/rapporter"));
        QVERIFY(reports.exists(
            QStringLiteral("Pallvikprodukter%1.xls").arg(period.toString(Qt::ISODate))));
        QVERIFY(!reports.entryList({QStringLiteral("Inkopsforslag*.csv")}).isEmpty());
        std::tie(code, out, err) = run({path("bin/lodvikprodsok"), "history", "--list"});
        QVERIFY2(out.startsWith(period.toString(Qt::ISODate).toUtf8()) &&
                     out.trimmed().endsWith("scheduled"),
                 out.constData());
    }
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
