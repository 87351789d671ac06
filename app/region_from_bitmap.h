#pragma once

#include <QImage>
#include <QRegion>

namespace pelorin::ui {

// The shape of a skin bitmap in logical pixels: every pixel of rows 0 to rows - 1 whose colour
// differs from the transparent colour, which is the colour of pixel (0, 0), compared exactly. In
// an image of device pixel ratio 2 (or more) a logical pixel is a square of 2 x 2 pixels, opaque
// when any of them is. Each row adds one rectangle of height 1 per opaque run. Rows beyond the
// image are ignored; a null image gives an empty region.
QRegion RegionFromBitmap(const QImage& image, int rows);

}  // namespace pelorin::ui
