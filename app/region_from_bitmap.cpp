#include "app/region_from_bitmap.h"

#include <algorithm>
#include <cmath>

namespace pelorin::ui {

namespace {

bool Opaque(const QImage& image, int x, int y, int scale, QRgb transparent) {
  for (int dy = 0; dy < scale; ++dy) {
    for (int dx = 0; dx < scale; ++dx) {
      if (image.pixel(x * scale + dx, y * scale + dy) != transparent) return true;
    }
  }
  return false;
}

}  // namespace

QRegion RegionFromBitmap(const QImage& image, int rows) {
  QRegion region;
  if (image.isNull()) return region;
  const int scale = std::max(1, static_cast<int>(std::floor(image.devicePixelRatio())));
  const int width = image.width() / scale;
  const int height = std::min(rows, image.height() / scale);
  const QRgb transparent = image.pixel(0, 0);
  for (int y = 0; y < height; ++y) {
    int start = 0;
    for (int x = 0; x < width; ++x) {
      if (Opaque(image, x, y, scale, transparent)) continue;
      if (x > start) region += QRect(start, y, x - start, 1);
      start = x + 1;
    }
    if (start < width) region += QRect(start, y, width - start, 1);
  }
  return region;
}

}  // namespace pelorin::ui
