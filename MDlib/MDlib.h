#pragma once

#include "MDlib/Variant.h"

#include <QString>

// The shared routines of the program: its folder, the busy cursor and value normalisation.

// The program folder without a trailing slash; set once by Main before any window exists.
extern QString gAppPath;

// Today's date as YYYY-MM-DD; the date entry completes blanks from it.
extern QString gRefDate;

// The folder of the executable, or LODVIKPRODSOK_HOME when that is set; at most one trailing
// slash removed.
QString GetAppPath();

// The screen-wide hourglass and arrow. No nesting count: one BusyCursorOff ends any number of
// BusyCursorOn. Without a graphical application they do nothing.
void BusyCursorOn();
void BusyCursorOff();
// How the programs that show a pointer show them (MDlib/BusyCursor.cpp sets it at their start);
// the command-line program, without Qt Gui, has none.
void setBusyCursorShape(void (*shape)(bool busy));

// The hourglass for the length of a scope: the arrow again however the scope is left.
class BusyCursorScope {
public:
    BusyCursorScope() { BusyCursorOn(); }
    ~BusyCursorScope() { BusyCursorOff(); }
    BusyCursorScope(const BusyCursorScope &) = delete;
    BusyCursorScope &operator=(const BusyCursorScope &) = delete;
};

// Turns a field value into text (code "S", exact and case-sensitive) or a number (any other
// code). A text that spells no number raises lodvik::Error under a numeric code.
lodvik::Variant NullToValue(const lodvik::Variant &value, const QString &code);

// The "####"-style patterns: the number rounded half away from zero to a whole number, a minus
// sign when negative, no separators; 0, Null and Empty give "". Numeric text is read as its
// number; any other text comes back unchanged. An infinite or NaN number raises lodvik::Error.
QString Format(const lodvik::Variant &value, const QString &pattern);
