#pragma once

#include "planning/Planning.h"

#include <QColor>
#include <QIcon>

// How an urgency looks in the list, the legend and the chart. The backgrounds differ in
// lightness as well as hue, and each class has its own icon shape and text, so that the classes
// stay apart on a greyscale screen or printout.
namespace overview {

// The row's background; invalid (the view's own) for a plain row.
QColor urgencyBackground(planning::Urgency urgency);
// The row's text colour; invalid for the view's own.
QColor urgencyForeground(planning::Urgency urgency);
// The colour of a bar in the chart.
QColor urgencyBarColor(planning::Urgency urgency);
// A small icon: a filled circle with "!!" (under half the target), a triangle with "!" (under
// the target), a hollow circle with a dash (no sales); null for a plain row.
QIcon urgencyIcon(planning::Urgency urgency);

} // namespace overview
