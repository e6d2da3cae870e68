#include "app/Main.h"

#include "MDlib/MDlib.h"
#include "Startmeny/Desktop.h"
#include "Startmeny/Startmeny.h"
#include "reports/Reports.h"

#include <QApplication>
#include <QDate>

#include <cstdio>

int Main(int argc, char **argv) {
    // Without a screen Qt would stop with a terse platform message; point to the command line.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Sökfönstret kan inte visas: ingen grafisk skärm hittades (varken DISPLAY "
                   "eller WAYLAND_DISPLAY är satt).\n"
                   "Samma funktioner finns på kommandoraden; se \"lodvikprodsok --help\".\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    prepareDesktop();
    // Workbooks shown by an earlier run have been seen (or saved elsewhere) by now.
    reports::removeShownWorkbooks(cacheFolder());
    gAppPath = GetAppPath();
    gRefDate = QDate::currentDate().toString(Qt::ISODate);
    Startmeny window(gAppPath);
    // Start-up errors are dropped; the load reports its own to the operator.
    try {
        window.Form_Load();
    } catch (...) {
    }
    window.show();
    return app.exec();
}
