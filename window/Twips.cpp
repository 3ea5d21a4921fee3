#include "Twips.h"

#include <QWidget>

namespace {
constexpr int TwipsPerInch = 1440;
}

int twipsToPixels(int twips, int dpi)
{
    return (twips * dpi + TwipsPerInch / 2) / TwipsPerInch;
}

QRect toPixels(const TwipsRect& t, const QWidget& on)
{
    const int dpiX = on.logicalDpiX();
    const int dpiY = on.logicalDpiY();
    return {twipsToPixels(t.left, dpiX), twipsToPixels(t.top, dpiY), twipsToPixels(t.width, dpiX),
            twipsToPixels(t.height, dpiY)};
}
