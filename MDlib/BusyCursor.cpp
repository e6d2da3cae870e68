#include "MDlib/MDlib.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace {

// The pointer belongs to the interface thread; work running on another thread (the window's
// long operations) shows its progress instead.
bool haveGui() {
    const QCoreApplication *app = QCoreApplication::instance();
    return qobject_cast<const QGuiApplication *>(app) && QThread::currentThread() == app->thread();
}

void showBusy(bool busy) {
    if (!haveGui())
        return;
    // Replace rather than stack, so that one BusyCursorOff always ends the hourglass. The arrow
    // stays as the screen-wide pointer, also over text boxes, as the original did.
    const QCursor cursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(cursor);
    else
        QGuiApplication::setOverrideCursor(cursor);
}

// This object is linked straight into each program that shows a pointer, not taken from an
// archive, so that it runs at their start.
const bool shapeSet = (setBusyCursorShape(showBusy), true);

} // namespace
