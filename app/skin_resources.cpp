#include "app/skin_resources.h"

#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <array>

namespace pelorin::ui {
namespace {

// The embedded file of each bitmap, in English and in Japanese; most bitmaps have one version
// for both. The files come from tools/make_skin.cpp, which writes beside each "NAME.bmp" its
// twin at twice the resolution, "NAME@2x.png".
struct SkinBitmap {
  int id;
  const char* english;
  const char* japanese;
};

constexpr std::array kBitmaps{
    SkinBitmap{kLabel8kHz, ":/skin/label_8khz.bmp", ":/skin/label_8khz.bmp"},
    SkinBitmap{kLabel4kHz, ":/skin/label_4khz.bmp", ":/skin/label_4khz.bmp"},
    SkinBitmap{kLabelSave, ":/skin/label_save_en.bmp", ":/skin/label_save_ja.bmp"},
    SkinBitmap{kLabelTrans, ":/skin/label_trans_en.bmp", ":/skin/label_trans_ja.bmp"},
    SkinBitmap{kRateToggle, ":/skin/rate_toggle.bmp", ":/skin/rate_toggle.bmp"},
    SkinBitmap{kDropPanel, ":/skin/drop_panel.bmp", ":/skin/drop_panel.bmp"},
    SkinBitmap{kAboutPicture, ":/skin/about_picture.bmp", ":/skin/about_picture.bmp"},
    SkinBitmap{kBackground, ":/skin/background.bmp", ":/skin/background.bmp"},
    SkinBitmap{kCancelButton, ":/skin/button_cancel.bmp", ":/skin/button_cancel.bmp"},
    SkinBitmap{kCautionPanel, ":/skin/caution_panel.bmp", ":/skin/caution_panel.bmp"},
    SkinBitmap{kPermissionToggle, ":/skin/permission_toggle.bmp", ":/skin/permission_toggle.bmp"},
    SkinBitmap{kClearButton, ":/skin/button_clear.bmp", ":/skin/button_clear.bmp"},
    SkinBitmap{kCloseButton, ":/skin/button_close.bmp", ":/skin/button_close.bmp"},
    SkinBitmap{kCompletedPanel, ":/skin/completed_panel.bmp", ":/skin/completed_panel.bmp"},
    SkinBitmap{kCopyrightLabel, ":/skin/copyright_label_en.bmp", ":/skin/copyright_label_ja.bmp"},
    SkinBitmap{kOkButton, ":/skin/button_ok.bmp", ":/skin/button_ok.bmp"},
    SkinBitmap{kPowerButton, ":/skin/power_button.bmp", ":/skin/power_button.bmp"},
    SkinBitmap{kTitleLabel, ":/skin/title_label_en.bmp", ":/skin/title_label_ja.bmp"},
    SkinBitmap{kAboutButton, ":/skin/button_about.bmp", ":/skin/button_about.bmp"},
};

// Icon 128 in the sizes it was drawn at.
constexpr std::array kIconFiles{":/skin/icon_48.png", ":/skin/icon_256.png"};

// Cursor 160: a pointing hand whose hot spot is the tip of the index finger.
constexpr const char* kLinkCursorFile = ":/skin/link_cursor.png";
constexpr int kLinkCursorHotX = 12;
constexpr int kLinkCursorHotY = 1;

}  // namespace

QImage LoadSkinBitmap(int id, Language language) {
  return LoadSkinBitmapAtRatio(id, language,
                               qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
}

QImage LoadSkinBitmapAtRatio(int id, Language language, qreal devicePixelRatio) {
  const auto* entry = std::find_if(kBitmaps.begin(), kBitmaps.end(),
                                   [id](const SkinBitmap& bitmap) { return bitmap.id == id; });
  if (entry == kBitmaps.end()) return {};
  QString path =
      QString::fromLatin1(language == Language::kJapanese ? entry->japanese : entry->english);
  int ratio = 1;
  if (devicePixelRatio >= 2) {
    path.replace(QStringLiteral(".bmp"), QStringLiteral("@2x.png"));
    ratio = 2;
  }
  // One pixel format whatever the file held, so that colour-key comparisons are exact.
  QImage image = QImage(path).convertToFormat(QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* file : kIconFiles) icon.addFile(QString::fromLatin1(file));
  return icon;
}

QCursor LinkCursor() {
  const QPixmap hand(QString::fromLatin1(kLinkCursorFile));
  if (hand.isNull()) return QCursor(Qt::PointingHandCursor);
  return QCursor(hand, kLinkCursorHotX, kLinkCursorHotY);
}

}  // namespace pelorin::ui
