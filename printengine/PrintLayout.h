#pragma once

#include <QString>

class PrintEngine;

// The layout routines every printout writes through. They only forward to the engine, in the
// order given, and drop any engine error: a failed call is skipped and the next one runs.

// Sets TextLeft to x unless x is -1, TextTop to y unless y is -1, then prints text there.
void PrintAt(PrintEngine &engine, const QString &text, const qint16 &x, const qint16 &y);

void SetNormalFont(PrintEngine &engine);  // Times New Roman 10, not bold
void SetBoldFont(PrintEngine &engine);    // Times New Roman 10, bold
void SetHeadingFont(PrintEngine &engine); // Times New Roman 18, bold

// The four letterhead lines (empty: nothing in the program fills them) at (1160, 58), (1160, 464),
// (1160, 696), (1160, 928), the first in the heading font; leaves the normal font selected.
void PrintLetterhead(PrintEngine &engine);
