#include "app/region_from_bitmap.h"

#include <algorithm>

namespace pelorin::ui {

QRegion RegionFromBitmap(const QImage& image, int rows) {
  QRegion region;
  if (image.isNull()) return region;
  const int width = image.width();
  const int height = std::min(rows, image.height());
  const QRgb transparent = image.pixel(0, 0);
  for (int y = 0; y < height; ++y) {
    int start = 0;
    for (int x = 0; x < width; ++x) {
      if (image.pixel(x, y) != transparent) continue;
      if (x > start) region += QRect(start, y, x - start, 1);
      start = x + 1;
    }
    if (start < width) region += QRect(start, y, width - start, 1);
  }
  return region;
}

}  // namespace pelorin::ui
