#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>

#include "pipeline/string_table.h"

namespace pelorin::ui {

// Resource numbers of the program's bitmaps. Strips stack their images vertically; the
// top-left pixel of a shaped bitmap is its transparent colour.
enum BitmapId : int {
  kLabel8kHz = 102,         // 28 x 12
  kLabel4kHz = 103,         // 28 x 12
  kLabelSave = 104,         // 28 x 12, per language
  kLabelTrans = 106,        // 28 x 12, per language
  kRateToggle = 108,        // 11 x 33: three 11 x 11 images (off, on, unavailable)
  kDropPanel = 110,         // 210 x 60
  kAboutPicture = 132,      // 48 x 48
  kBackground = 133,        // 210 x 100
  kCancelButton = 134,      // 51 x 26: two 51 x 13 images (normal, pressed)
  kCautionPanel = 135,      // 210 x 60
  kPermissionToggle = 136,  // 13 x 39: three 13 x 13 images
  kClearButton = 137,       // 51 x 26
  kCloseButton = 138,       // 51 x 26
  kCompletedPanel = 139,    // 210 x 60
  kCopyrightLabel = 141,    // 210 x 17, per language
  kOkButton = 145,          // 51 x 26
  kPowerButton = 146,       // 28 x 56: two 28 x 28 images
  kTitleLabel = 148,        // 210 x 17, per language
  kAboutButton = 156,       // 51 x 26
};
inline constexpr int kIconId = 128;
inline constexpr int kLinkCursorId = 160;

// The bitmap of a resource number, in the language's version where it has one; a null image
// for a number the program does not have. Where the device pixel ratio is 2 or more, its twin
// drawn at twice the resolution, with ratio 2, so that it paints sharp at the same logical size;
// the twin's transparent pixels are the bitmap's, pixel for pixel. LoadSkinBitmap takes the
// highest ratio of the screens.
QImage LoadSkinBitmap(int id, Language language);
QImage LoadSkinBitmapAtRatio(int id, Language language, qreal devicePixelRatio);
// Icon 128 and cursor 160.
QIcon ProgramIcon();
QCursor LinkCursor();

}  // namespace pelorin::ui
