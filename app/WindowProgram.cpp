#include "app/WindowProgram.h"

#include "MDlib/SystemError.h"

#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
const char *const kWindowProgramName = "lodvik-window";
}

int runWindowProgram(char **argv) {
    // Beside the running program, as installed (libexec/lodvikprodsok/) and in the build tree.
    const QString folder = QFileInfo(QStringLiteral("/proc/self/exe"))
                               .canonicalFilePath()
                               .section(QLatin1Char('/'), 0, -2);
    const QString program = folder + QLatin1Char('/') + QLatin1String(kWindowProgramName);
    const QByteArray path = program.toLocal8Bit();
    execv(path.constData(), argv);
    const int error = errno;
    const QString message =
        QStringLiteral("Programdelen %1, som visar sökfönstret och skriver ut, kunde inte startas "
                       "(%2); den ska ligga i %3. Installera programmet på nytt.%4")
            .arg(QLatin1String(kWindowProgramName), lodvik::systemReason(error), folder,
                 lodvik::details(QString::fromLocal8Bit(std::strerror(error))));
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return 1;
}
