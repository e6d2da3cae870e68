#pragma once

#include <QRect>
#include <QtMath>

// The windows' design positions are in twips; the screen has 15 twips to the pixel.
inline int twipsToPixels(int twips) {
    return qRound(twips / 15.0);
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
