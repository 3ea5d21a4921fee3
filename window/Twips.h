#pragma once

#include <QRect>

class QWidget;

// Positions and sizes in twips (1440 to the inch), turned into pixels at the
// widget's logical density: 15 twips a pixel at 96 dpi.
struct TwipsRect {
    int left, top, width, height;
};

QRect toPixels(const TwipsRect& twips, const QWidget& on);
int twipsToPixels(int twips, int dpi);
