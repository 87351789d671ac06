#pragma once

// Synthetic skin bitmaps and a guard against modal windows left open, shared by the window
// kit's tests.

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <initializer_list>
#include <string_view>

#include "app/skin_resources.h"
#include "app/skinned_dialog.h"

namespace pelorin::ui::test {

inline constexpr QRgb kKey = qRgb(255, 0, 255);
inline constexpr QRgb kRed = qRgb(200, 0, 0);
inline constexpr QRgb kGreen = qRgb(0, 160, 0);
inline constexpr QRgb kBlue = qRgb(0, 0, 160);
inline constexpr QRgb kBackgroundColour = qRgb(40, 40, 40);
inline constexpr QRgb kCautionPanelColour = qRgb(90, 20, 20);
inline constexpr QRgb kCompletedPanelColour = qRgb(220, 220, 220);

// A picture drawn as text: '.' the key colour, 'r', 'g' and 'b' opaque colours.
inline QImage Picture(std::initializer_list<std::string_view> rows) {
  const int width = static_cast<int>(rows.begin()->size());
  QImage image(width, static_cast<int>(rows.size()), QImage::Format_RGB32);
  int y = 0;
  for (std::string_view row : rows) {
    for (int x = 0; x < width; ++x) {
      const char c = row[static_cast<size_t>(x)];
      image.setPixel(x, y, c == 'r' ? kRed : c == 'g' ? kGreen : c == 'b' ? kBlue : kKey);
    }
    ++y;
  }
  return image;
}

// A strip of `count` images of size x size, each an opaque disc on the key colour, image i
// filled with colours[i].
inline QImage DiscStrip(int size, std::initializer_list<QRgb> colours) {
  QImage strip(size, size * static_cast<int>(colours.size()), QImage::Format_RGB32);
  strip.fill(kKey);
  const double radius = size / 2.0 - 1;
  const double centre = (size - 1) / 2.0;
  int image = 0;
  for (QRgb colour : colours) {
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const double dx = x - centre;
        const double dy = y - centre;
        if (dx * dx + dy * dy <= radius * radius) strip.setPixel(x, image * size + y, colour);
      }
    }
    ++image;
  }
  return strip;
}

// A plain rectangle of `colour` whose top-left pixel alone is the key colour.
inline QImage KeyedBlock(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  image.setPixel(0, 0, kKey);
  return image;
}

// The bitmaps the windows use, drawn plainly: buttons are discs (normal red, pressed green),
// panels flat blocks of a colour of their own.
inline QImage TestBitmap(int id, Language) {
  switch (id) {
    case kBackground: {
      QImage image(210, 100, QImage::Format_RGB32);
      image.fill(kBackgroundColour);
      return image;
    }
    case kCautionPanel:
      return KeyedBlock(210, 60, kCautionPanelColour);
    case kCompletedPanel:
      return KeyedBlock(210, 60, kCompletedPanelColour);
    case kPowerButton:
      return DiscStrip(28, {kRed, kGreen});
    case kAboutPicture:
      return KeyedBlock(48, 48, kBlue);
    case kCloseButton:
    case kOkButton:
    case kCancelButton:
    case kClearButton:
    case kAboutButton: {
      QImage strip = KeyedBlock(51, 26, kRed);
      for (int y = 13; y < 26; ++y) {
        for (int x = 0; x < 51; ++x) strip.setPixel(x, y, kGreen);
      }
      return strip;
    }
    default:
      return {};
  }
}

inline Skin TestSkin(Language language = Language::kEnglish) {
  return Skin(language, TestBitmap);
}

// Closes every modal window and every dialog shown in place still open after `milliseconds`,
// and ends the runs of the given dialogs, which may be hidden while they run, so that a failing
// test cannot hang on them. Fired() tells the test that this had to happen.
class ModalFailSafe {
 public:
  explicit ModalFailSafe(std::initializer_list<QDialog*> runs = {}, int milliseconds = 5000)
      : runs_(runs.begin(), runs.end()) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (int i = 0; i < 10; ++i) {
        SkinnedDialog* inPlace = ActiveInPlaceDialog();
        if (inPlace == nullptr) break;
        fired_ = true;
        inPlace->done(-1);
      }
      for (int i = 0; i < 10; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) break;
        fired_ = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
          dialog->done(-1);
        } else {
          modal->close();
        }
      }
      for (QDialog* run : runs_) {
        if (run->isHidden()) run->show();
        run->done(-1);
        fired_ = true;
      }
    });
    timer_.start(milliseconds);
  }
  bool Fired() const { return fired_; }

 private:
  QTimer timer_;
  QList<QDialog*> runs_;
  bool fired_ = false;
};

}  // namespace pelorin::ui::test
