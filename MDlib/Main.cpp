#include "MDlib/Main.h"

#include "MDlib/MDlib.h"
#include "Startmeny/Startmeny.h"

#include <QApplication>
#include <QDate>

int Main(int argc, char **argv) {
    QApplication app(argc, argv);
    gAppPath = GetAppPath();
    gRefDate = QDate::currentDate().toString(Qt::ISODate);
    Startmeny window; // TODO: start-up completed by the search window's owner
    window.show();
    return app.exec();
}
