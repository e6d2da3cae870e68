#pragma once

#include <QString>

class QIcon;

// What the window program sets up before its first window, as desktop programs here do: its
// name (the settings go to ~/.config/lodvikprodsok/lodvikprodsok.conf), Qt's own Swedish texts
// for standard buttons and dialogs, metric-compatible fonts standing in for the design's, and
// the program icon, and waitForFifoReader for saves on the window's thread.
void prepareDesktop();

// A save on the window's thread that waits for a FIFO's reader (a PDF from a preview, a saved
// list) shows what it waits for after a moment, with Avbryt, and keeps the window painted; true
// once Avbryt is clicked.
bool waitForFifoReader(const QString &fileName, qint64 waitedMs);

// The window icon: the program's icon drawn at 16, 32 and 48 pixels.
QIcon programIcon();

// The folder for files of the user's own that may be thrown away (~/.cache/lodvikprodsok).
QString cacheFolder();
