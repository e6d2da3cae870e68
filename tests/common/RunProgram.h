#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

// The built program run on the command line with a program folder of its own.
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// As stdoutFile: a pipe whose reader has gone, as "| head" leaves it. Unlike /dev/full, every
// machine has it.
inline const QString closedPipe = QStringLiteral("<closed pipe>");
// As stdoutFile: no stdout at all (">&-").
inline const QString closedStdout = QStringLiteral("<closed stdout>");

// The program started on the program folder home and left running, to run beside others.
inline std::unique_ptr<QProcess> startProgram(const QString &home, const QStringList &args) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home);
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(LODVIK_EXECUTABLE), args);
    return process;
}

// Waits timeoutMs for the program to end (a large store under the sanitizers needs more).
// unset names environment variables the program does not get; an empty home sets no
// LODVIKPRODSOK_HOME.
inline ProgramRun runProgram(const QString &home, const QStringList &args,
                             const QString &stdoutFile = {}, int timeoutMs = 120000,
                             const QString &program = QStringLiteral(LODVIK_EXECUTABLE),
                             const QStringList &unset = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : unset)
        env.remove(name);
    if (!home.isEmpty())
        env.insert(QStringLiteral("LODVIKPRODSOK_HOME"), home);
    process.setProcessEnvironment(env);
    int pipeEnds[2] = {-1, -1};
    if (stdoutFile == closedPipe) {
        if (pipe2(pipeEnds, O_CLOEXEC) != 0)
            return {-1, {}, QStringLiteral("no pipe")};
        ::close(pipeEnds[0]);
        const int writeEnd = pipeEnds[1];
        process.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    } else if (stdoutFile == closedStdout) {
        process.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    } else if (!stdoutFile.isEmpty()) {
        process.setStandardOutputFile(stdoutFile);
    }
    process.start(program, args);
    if (pipeEnds[1] >= 0)
        ::close(pipeEnds[1]);
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        const QString why = process.errorString(); // timed out or crashed, before the kill
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("the program did not end normally (%1): %2") // and its stderr
                      .arg(why, QString::fromUtf8(process.readAllStandardError()));
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
