// Draws the window's whole look: every skin bitmap (24-bit BMP) and its twin at twice the
// resolution for 200 % screens (NAME@2x.png, 24-bit), the program icon and the link cursor (PNG).
// The twins are the same drawing at twice the scale, not enlarged pixels; the transparent pixels of
// a shaped twin are exactly those of its bitmap, so that shapes and hit areas, taken from the
// bitmap in logical pixels, match what is drawn. Captions drawn into bitmaps are set smaller,
// a pixel at a time, where they would not fit (CaptionFont). The files in resources/skin are this
// tool's output; after changing a picture, regenerate them from the repository root:
//
//   build/tools/make-skin resources/skin
//
// Running the tool needs the fonts "DejaVu Sans" and "Noto Sans CJK JP". To look at the result,
// build the program and render its windows with tools/take_screenshots.cpp.

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdio>
#include <vector>

namespace {

// The transparent colour of every shaped bitmap; nothing inside a shape may have it.
const QRgb kKey = qRgb(255, 0, 255);

constexpr int kWidth = 210;
constexpr int kHeight = 100;
constexpr int kTitleBand = 20;
constexpr int kBarTop = 82;          // the bottom bar under the panels
constexpr QPoint kPanelAt(0, 24);    // where the 210 x 60 panels sit
constexpr QPoint kPowerAt(182, 72);  // the power button's frame
// The disc sits low and right in its frame, clear of the message line and the 4 kHz toggle.
constexpr QPointF kPowerCentre(14.5, 15.5);  // in the button's frame
constexpr qreal kPowerRadius = 11;
// The link cursor's hot spot: the tip of the index finger. The resource table repeats it.
constexpr QPoint kCursorHotSpot(12, 1);

const QString kSans = QStringLiteral("DejaVu Sans");
const QString kJapanese = QStringLiteral("Noto Sans CJK JP");

// Colours of the skin.
const QColor kBandTop(0x4a, 0x55, 0x66);
const QColor kBandBottom(0x34, 0x3d, 0x4a);
const QColor kBodyTop(0x2e, 0x36, 0x42);
const QColor kBodyBottom(0x27, 0x2e, 0x38);
const QColor kBarColour(0x1f, 0x25, 0x2d);
const QColor kShadow(0x12, 0x16, 0x1b);
const QColor kLabel(0xc6, 0xce, 0xd9);
const QColor kAmber(0xff, 0xb8, 0x1c);
const QColor kBlue(0, 36, 255);

QFont Font(const QString& family, int pixelSize, QFont::Weight weight = QFont::Normal,
           int stretch = QFont::Unstretched) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  font.setStretch(stretch);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

// A picture `width` x `height` logical pixels large, drawn at `scale` device pixels per logical
// pixel. Everything cut from it keeps the scale, so the drawing code works in logical pixels.
QImage Canvas(int width, int height, const QColor& fill, int scale) {
  QImage image(width * scale, height * scale, QImage::Format_RGB32);
  image.setDevicePixelRatio(scale);
  image.fill(fill);
  return image;
}

int Scale(const QImage& image) {
  return static_cast<int>(image.devicePixelRatio());
}

void Antialiased(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
}

QImage Stack(const std::vector<QImage>& frames) {
  int height = 0;
  for (const QImage& frame : frames) height += frame.height();
  QImage strip(frames.front().width(), height, QImage::Format_RGB32);
  {
    // Stacked pixel for pixel, whatever the scale.
    QPainter painter(&strip);
    int y = 0;
    for (QImage frame : frames) {
      frame.setDevicePixelRatio(1);
      painter.drawImage(0, y, frame);
      y += frame.height();
    }
  }
  strip.setDevicePixelRatio(Scale(frames.front()));
  return strip;
}

// Shapes are drawn over the very background they will be shown on, so their antialiased edges
// blend towards it. Afterwards every pixel the shape does not touch at all becomes the key. What
// the shape touches is measured in logical pixels at every scale, so a twin at twice the
// resolution is keyed exactly where its bitmap is.
void KeyOutside(QImage& frame, const QPainterPath& shape) {
  const int scale = Scale(frame);
  QImage coverage(frame.size() / scale, QImage::Format_ARGB32_Premultiplied);
  coverage.fill(Qt::transparent);
  {
    QPainter painter(&coverage);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, Qt::white);
  }
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) {
      const QRgb pixel = frame.pixel(x, y) | 0xff000000u;
      if (qAlpha(coverage.pixel(x / scale, y / scale)) == 0) {
        frame.setPixel(x, y, kKey);
      } else if (pixel == kKey) {
        frame.setPixel(x, y, qRgb(255, 1, 255));
      }
    }
  }
}

// Text with a one-pixel shadow below it, which keeps small labels crisp on the slate.
void ShadowedText(QPainter& painter, const QRectF& box, int flags, const QString& text,
                  const QColor& colour, const QColor& shadow) {
  painter.setPen(shadow);
  painter.drawText(box.translated(0, 1), flags, text);
  painter.setPen(colour);
  painter.drawText(box, flags, text);
}

// Whether `text`, drawn as ShadowedText draws it in `box`, keeps kCaptionSpare pixels clear of the
// left and right of `area` and stays inside it top and bottom, at both scales. Ink is what is at
// least a quarter covered. The bitmaps' strips are too low for a margin above and below as well.
constexpr int kCaptionSpare = 2;
bool CaptionFits(const QFont& font, const QRectF& box, int flags, const QString& text,
                 const QRect& area) {
  constexpr int kRoom = 8;  // round the area, where ink that leaves it would land
  for (int scale : {1, 2}) {
    QImage canvas((area.size() + QSize(2 * kRoom, 2 * kRoom)) * scale,
                  QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(scale);
    canvas.fill(Qt::transparent);
    {
      QPainter painter(&canvas);
      Antialiased(painter);
      painter.setFont(font);
      painter.translate(kRoom - area.left(), kRoom - area.top());
      ShadowedText(painter, box, flags, text, Qt::white, Qt::white);
    }
    const QRect allowed((kRoom + kCaptionSpare) * scale, kRoom * scale,
                        (area.width() - 2 * kCaptionSpare) * scale, area.height() * scale);
    for (int y = 0; y < canvas.height(); ++y) {
      for (int x = 0; x < canvas.width(); ++x) {
        if (qAlpha(canvas.pixel(x, y)) >= 64 && !allowed.contains(x, y)) return false;
      }
    }
  }
  return true;
}

// `font`, a pixel smaller at a time until the caption fits `area` (CaptionFits).
QFont CaptionFont(QFont font, const QRectF& box, int flags, const QString& text,
                  const QRect& area) {
  while (!CaptionFits(font, box, flags, text, area) && font.pixelSize() > 1) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  return font;
}

// ---- Pictures shared by several bitmaps ------------------------------------------------------

// A bell in a 100 x 100 box, with sound waves on both sides when asked.
void DrawBell(QPainter& painter, const QRectF& box, bool waves) {
  painter.save();
  painter.translate(box.topLeft());
  painter.scale(box.width() / 100.0, box.height() / 100.0);
  const QColor outline(0x5c, 0x36, 0x04);

  if (waves) {
    QPen pen(kAmber, 4.5, Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < 2; ++i) {
      const qreal r = 30 + 11 * i;
      pen.setColor(i == 0 ? kAmber : kAmber.darker(130));
      painter.setPen(pen);
      const QRectF arc(50 - r, 45 - r, 2 * r, 2 * r);
      painter.drawArc(arc, -28 * 16, 56 * 16);
      painter.drawArc(arc, 152 * 16, 56 * 16);
    }
  }

  // Crown loop.
  painter.setPen(QPen(outline, 3));
  painter.setBrush(QColor(0xd9, 0x96, 0x1c));
  painter.drawEllipse(QPointF(50, 14), 6, 6);

  QPainterPath body;
  body.moveTo(50, 17);
  body.cubicTo(35, 17, 30, 29, 30, 43);
  body.cubicTo(30, 57, 28, 66, 18, 76);
  body.lineTo(82, 76);
  body.cubicTo(72, 66, 70, 57, 70, 43);
  body.cubicTo(70, 29, 65, 17, 50, 17);
  body.closeSubpath();
  QLinearGradient metal(30, 0, 80, 0);
  metal.setColorAt(0.0, QColor(0xff, 0xef, 0xa8));
  metal.setColorAt(0.35, QColor(0xff, 0xc9, 0x3c));
  metal.setColorAt(1.0, QColor(0xb8, 0x6c, 0x08));

  // Clapper, under the lip.
  painter.setBrush(QColor(0xc2, 0x7a, 0x10));
  painter.drawEllipse(QPointF(50, 83), 7, 7);

  painter.setBrush(metal);
  painter.drawPath(body);
  QLinearGradient lipMetal(16, 0, 84, 0);
  lipMetal.setColorAt(0.0, QColor(0xff, 0xe0, 0x80));
  lipMetal.setColorAt(1.0, QColor(0xa8, 0x60, 0x06));
  painter.setBrush(lipMetal);
  painter.drawRoundedRect(QRectF(14, 72, 72, 9), 4.5, 4.5);

  // Shine on the shoulder.
  painter.setPen(QPen(QColor(255, 255, 255, 170), 3.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(QRectF(37, 25, 20, 30), 110 * 16, 60 * 16);
  painter.restore();
}

// The universal power symbol: a ring open at the top and a bar through the gap.
void DrawPowerSymbol(QPainter& painter, QPointF centre, qreal radius, const QColor& colour,
                     qreal width) {
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  const QRectF ring(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  painter.drawArc(ring, 125 * 16, 290 * 16);
  painter.drawLine(centre + QPointF(0, -radius - 1.2), centre + QPointF(0, -radius * 0.2));
}

// ---- Background 133 --------------------------------------------------------------------------

QImage Background(int scale) {
  QImage image = Canvas(kWidth, kHeight, kBodyBottom, scale);
  QPainter painter(&image);

  // Body and bottom bar: gradients that change only with y, so every control drawn over a cut
  // of the background matches it wherever the control sits.
  QLinearGradient body(0, kTitleBand, 0, kBarTop);
  body.setColorAt(0, kBodyTop);
  body.setColorAt(1, kBodyBottom);
  painter.fillRect(QRect(0, kTitleBand, kWidth, kBarTop - kTitleBand), body);
  QLinearGradient bar(0, kBarTop, 0, kHeight);
  bar.setColorAt(0, kBarColour);
  bar.setColorAt(1, kBarColour.darker(115));
  painter.fillRect(QRect(0, kBarTop, kWidth, kHeight - kBarTop), bar);
  painter.fillRect(QRect(0, kBarTop, kWidth, 1), kShadow);
  painter.fillRect(QRect(0, kBarTop + 1, kWidth, 1), QColor(0x36, 0x3f, 0x4c));

  // Title band, where the window is dragged.
  QLinearGradient band(0, 0, 0, kTitleBand);
  band.setColorAt(0, kBandTop);
  band.setColorAt(1, kBandBottom);
  painter.fillRect(QRect(0, 0, kWidth, kTitleBand), band);
  painter.fillRect(QRect(0, 0, kWidth, 1), QColor(0x6c, 0x79, 0x8c));
  painter.fillRect(QRect(0, kTitleBand - 1, kWidth, 1), kShadow);
  painter.fillRect(QRect(0, kTitleBand, kWidth, 1), QColor(0x3c, 0x46, 0x54));

  // A grille at the right of the band: the speaker the ring tones come out of.
  for (int i = 0; i < 6; ++i) {
    const int x = 160 + 7 * i;
    painter.fillRect(QRect(x, 6, 3, 8), kShadow);
    painter.fillRect(QRect(x, 13, 3, 1), QColor(0x5a, 0x66, 0x78));
  }

  Antialiased(painter);
  DrawBell(painter, QRectF(5, 3, 14, 14), false);
  // The name, between the bell and the grille.
  const QRectF titleBox(22, 0, 100, kTitleBand - 1);
  const int titleFlags = Qt::AlignLeft | Qt::AlignVCenter;
  const QString title = QStringLiteral("Pelorin");
  painter.setFont(CaptionFont(Font(kSans, 12, QFont::Bold), titleBox, titleFlags, title,
                              QRect(20, 0, 140, kTitleBand - 1)));
  ShadowedText(painter, titleBox, titleFlags, title, QColor(0xf1, 0xf3, 0xf7), kShadow);

  // The power button's socket: a recess the disc sits in.
  const QPointF centre = QPointF(kPowerAt) + kPowerCentre;
  painter.setPen(Qt::NoPen);
  QLinearGradient rim(centre.x(), centre.y() - 14, centre.x(), centre.y() + 14);
  rim.setColorAt(0, kShadow);
  rim.setColorAt(1, QColor(0x45, 0x4f, 0x5e));
  painter.setBrush(rim);
  painter.drawEllipse(centre, kPowerRadius + 1.8, kPowerRadius + 1.8);
  painter.setBrush(QColor(0x0d, 0x10, 0x14));
  painter.drawEllipse(centre, kPowerRadius + 0.9, kPowerRadius + 0.9);

  // A light edge left and top, a dark one right and bottom: the body stands out of the desk.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(0, 0, 1, kHeight), QColor(0x5a, 0x66, 0x78));
  painter.fillRect(QRect(kWidth - 1, 0, 1, kHeight), QColor(0x0c, 0x0f, 0x13));
  painter.fillRect(QRect(0, kHeight - 1, kWidth, 1), QColor(0x0c, 0x0f, 0x13));
  return image;
}

QImage Cut(const QImage& background, QPoint at, QSize size) {
  const int scale = Scale(background);
  QImage cut = background.copy(QRect(at * scale, size * scale));
  cut.setDevicePixelRatio(scale);
  return cut;
}

// ---- Buttons 134, 137, 138, 145, 156 and the power button 146 ------------------------------

QImage TextButton(const QImage& background, QPoint at, const QString& label) {
  const QSize size(51, 13);
  // Fitted once for both frames: the pressed caption sits a pixel lower and to the right.
  const QRectF box = QRectF(QPointF(0, 0), size).adjusted(0, 0, 0, -0.5);
  QFont font = Font(kSans, 8, QFont::Bold, QFont::SemiCondensed);
  for (const QPointF& shift : {QPointF(0, 0), QPointF(1, 1)}) {
    font = CaptionFont(font, box.translated(shift), Qt::AlignCenter, label, QRect(QPoint(), size));
  }
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0.5, 0.5, 50, 12), 6, 6);
  QPainterPath face;
  face.addRoundedRect(QRectF(1.5, 1.5, 48, 10), 5, 5);

  std::vector<QImage> frames;
  for (bool pressed : {false, true}) {
    QImage frame = Cut(background, at, size);
    QPainter painter(&frame);
    Antialiased(painter);
    painter.fillPath(shape, kShadow);
    QLinearGradient gradient(0, 1.5, 0, 11.5);
    if (pressed) {
      gradient.setColorAt(0, QColor(0x22, 0x28, 0x31));
      gradient.setColorAt(1, QColor(0x3a, 0x43, 0x51));
    } else {
      gradient.setColorAt(0, QColor(0x7c, 0x89, 0x9c));
      gradient.setColorAt(0.5, QColor(0x5b, 0x67, 0x7a));
      gradient.setColorAt(1, QColor(0x46, 0x51, 0x61));
    }
    painter.fillPath(face, gradient);
    if (!pressed) {
      painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
      painter.drawLine(QPointF(6, 2), QPointF(45, 2));
    } else {
      painter.setPen(QPen(QColor(0, 0, 0, 110), 1));
      painter.drawLine(QPointF(5, 2), QPointF(46, 2));
    }
    painter.setFont(font);
    ShadowedText(painter, box.translated(pressed ? 1 : 0, pressed ? 1 : 0), Qt::AlignCenter, label,
                 pressed ? QColor(0xc9, 0xd0, 0xda) : QColor(0xf6, 0xf8, 0xfb),
                 pressed ? QColor(0x14, 0x18, 0x1e) : QColor(0x2a, 0x31, 0x3c));
    painter.end();
    KeyOutside(frame, shape);
    frames.push_back(frame);
  }
  return Stack(frames);
}

QImage PowerButton(const QImage& background) {
  QPainterPath shape;
  shape.addEllipse(kPowerCentre, kPowerRadius, kPowerRadius);
  std::vector<QImage> frames;
  for (bool pressed : {false, true}) {
    QImage frame = Cut(background, kPowerAt, QSize(28, 28));
    QPainter painter(&frame);
    Antialiased(painter);
    painter.fillPath(shape, kShadow);
    const QPointF c = kPowerCentre;
    QRadialGradient metal(c + QPointF(-4, -5), 16);
    if (pressed) {
      metal.setColorAt(0, QColor(0x2c, 0x33, 0x3d));
      metal.setColorAt(1, QColor(0x1d, 0x22, 0x29));
    } else {
      metal.setColorAt(0, QColor(0x7a, 0x87, 0x99));
      metal.setColorAt(0.6, QColor(0x4a, 0x55, 0x65));
      metal.setColorAt(1, QColor(0x2c, 0x33, 0x3d));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(metal);
    painter.drawEllipse(c, kPowerRadius - 1, kPowerRadius - 1);
    if (pressed) {
      // The shadow of the rim falls into the pressed disc from above.
      painter.setPen(QPen(QColor(0, 0, 0, 120), 1.5));
      painter.drawArc(QRectF(c.x() - 9, c.y() - 9, 18, 18), 20 * 16, 140 * 16);
    } else {
      painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
      painter.drawArc(QRectF(c.x() - 9, c.y() - 9, 18, 18), 40 * 16, 100 * 16);
    }
    const QPointF symbol = c + (pressed ? QPointF(1, 1) : QPointF(0, 0));
    DrawPowerSymbol(painter, symbol + QPointF(0, 0.8), 5, QColor(0, 0, 0, 120), 2.2);
    DrawPowerSymbol(painter, symbol, 5, pressed ? kAmber.darker(125) : kAmber, 2.0);
    painter.end();
    KeyOutside(frame, shape);
    frames.push_back(frame);
  }
  return Stack(frames);
}

// ---- Toggles 136 and 108 ---------------------------------------------------------------------

enum class ToggleState { kOff, kOn, kUnavailable };
// Unavailable toggles are flat and dim, but still visibly there.
const QColor kRim(0x8a, 0x96, 0xa8);
const QColor kGreyedRim(0x4c, 0x55, 0x61);
const QColor kGreyedWell(0x32, 0x39, 0x42);
constexpr std::array kToggleStates{ToggleState::kOff, ToggleState::kOn, ToggleState::kUnavailable};

// The permission toggle: a check box.
QImage PermissionToggle(const QImage& background) {
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0.5, 0.5, 12, 12), 3, 3);
  QPainterPath well;
  well.addRoundedRect(QRectF(1.5, 1.5, 10, 10), 2.2, 2.2);
  std::vector<QImage> frames;
  for (ToggleState state : kToggleStates) {
    QImage frame = Cut(background, QPoint(39, 63), QSize(13, 13));
    QPainter painter(&frame);
    Antialiased(painter);
    painter.fillPath(shape, state == ToggleState::kUnavailable ? kGreyedRim : kRim);
    switch (state) {
      case ToggleState::kOff: {
        QLinearGradient inset(0, 1.5, 0, 11.5);
        inset.setColorAt(0, QColor(0x0e, 0x11, 0x15));
        inset.setColorAt(1, QColor(0x23, 0x29, 0x32));
        painter.fillPath(well, inset);
        break;
      }
      case ToggleState::kOn: {
        QLinearGradient lit(0, 1.5, 0, 11.5);
        lit.setColorAt(0, QColor(0xff, 0xd2, 0x5a));
        lit.setColorAt(1, QColor(0xf0, 0x9c, 0x00));
        painter.fillPath(well, lit);
        QPainterPath tick;
        tick.moveTo(3.6, 6.6);
        tick.lineTo(5.6, 8.8);
        tick.lineTo(9.4, 3.9);
        painter.setPen(
            QPen(QColor(0x1c, 0x14, 0x02), 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
        break;
      }
      case ToggleState::kUnavailable: {
        painter.fillPath(well, kGreyedWell);
        painter.setPen(QPen(kGreyedRim.lighter(130), 1.4, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
        break;
      }
    }
    painter.end();
    KeyOutside(frame, shape);
    frames.push_back(frame);
  }
  return Stack(frames);
}

// The rate toggle: a radio button, since the two rates exclude each other.
QImage RateToggle(const QImage& background) {
  const QPointF c(5.5, 5.5);
  QPainterPath shape;
  shape.addEllipse(c, 5.4, 5.4);
  std::vector<QImage> frames;
  for (ToggleState state : kToggleStates) {
    QImage frame = Cut(background, QPoint(139, 63), QSize(11, 11));
    QPainter painter(&frame);
    Antialiased(painter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(state == ToggleState::kUnavailable ? kGreyedRim : kRim);
    painter.drawEllipse(c, 5.4, 5.4);
    QLinearGradient inset(0, 1, 0, 10);
    inset.setColorAt(0, QColor(0x0e, 0x11, 0x15));
    inset.setColorAt(1, QColor(0x23, 0x29, 0x32));
    painter.setBrush(state == ToggleState::kUnavailable ? QBrush(kGreyedWell) : QBrush(inset));
    painter.drawEllipse(c, 4.3, 4.3);
    if (state == ToggleState::kOn) {
      QRadialGradient lamp(c + QPointF(-0.8, -0.8), 3.2);
      lamp.setColorAt(0, QColor(0xff, 0xe6, 0x9a));
      lamp.setColorAt(1, QColor(0xf0, 0x9c, 0x00));
      painter.setBrush(lamp);
      painter.drawEllipse(c, 2.7, 2.7);
    }
    painter.end();
    KeyOutside(frame, shape);
    frames.push_back(frame);
  }
  return Stack(frames);
}

// ---- Labels 102, 103, 104, 106, 141, 148 -----------------------------------------------------

QFont LabelFont(bool japanese) {
  return japanese ? Font(kJapanese, 11, QFont::Medium) : Font(kSans, 9, QFont::Normal);
}

// A small label right-aligned against the toggle that follows it.
QImage SmallLabel(const QImage& background, QPoint at, const QString& text, bool japanese) {
  const QSize size(28, 12);
  QImage image = Cut(background, at, size);
  QPainter painter(&image);
  Antialiased(painter);
  const QRectF box(0, japanese ? -1 : -0.5, 26, 12);
  const int flags = Qt::AlignRight | Qt::AlignVCenter;
  painter.setFont(CaptionFont(LabelFont(japanese), box, flags, text, QRect(QPoint(), size)));
  ShadowedText(painter, box, flags, text, kLabel, kShadow);
  return image;
}

// A field's label strip: the word at the left, right-aligned next to the field, and a recess
// one pixel round the edit field that the window lays over x 77..191 of the strip's rows 2..15.
QImage FieldLabel(const QImage& background, int y, const QString& text, bool japanese) {
  QImage image = Cut(background, QPoint(0, y), QSize(kWidth, 17));
  QPainter painter(&image);
  painter.fillRect(QRect(76, 1, 117, 1), kShadow);
  painter.fillRect(QRect(76, 1, 1, 15), kShadow);
  painter.fillRect(QRect(76, 16, 117, 1), QColor(0x4c, 0x57, 0x68));
  painter.fillRect(QRect(192, 2, 1, 15), QColor(0x4c, 0x57, 0x68));
  painter.fillRect(QRect(77, 2, 115, 14), QColor(0xf4, 0xf6, 0xf9));
  Antialiased(painter);
  // The word stays clear of the field's recess at x 76.
  const QRectF box(4, japanese ? -0.5 : 0, 68, 17);
  const int flags = Qt::AlignRight | Qt::AlignVCenter;
  painter.setFont(CaptionFont(LabelFont(japanese), box, flags, text, QRect(0, 0, 76, 17)));
  ShadowedText(painter, box, flags, text, kLabel, kShadow);
  return image;
}

// ---- Panels 110, 135, 139 --------------------------------------------------------------------

// The panels leave a notch round the power button's socket: in the main window the drop panel
// lies above the power button, and must not hide it.
QPainterPath PanelShape(qreal inset) {
  QPainterPath body;
  body.addRoundedRect(QRectF(3.5 + inset, 2.5 + inset, 203 - 2 * inset, 55 - 2 * inset), 6 - inset,
                      6 - inset);
  QPainterPath notch;
  const QPointF centre = QPointF(kPowerAt - kPanelAt) + kPowerCentre;
  notch.addEllipse(centre, kPowerRadius + 1.5 + inset, kPowerRadius + 1.5 + inset);
  return body.subtracted(notch);
}

QImage DropPanel(const QImage& background) {
  QImage image = Cut(background, kPanelAt, QSize(kWidth, 60));
  QPainter painter(&image);
  Antialiased(painter);
  const QPainterPath shape = PanelShape(0);
  painter.fillPath(shape, kShadow);
  QLinearGradient inset(0, 3, 0, 57);
  inset.setColorAt(0, QColor(0x17, 0x1c, 0x22));
  inset.setColorAt(1, QColor(0x20, 0x26, 0x2f));
  painter.fillPath(PanelShape(1), inset);
  QPen dashes(QColor(0x6e, 0x7b, 0x8f), 1, Qt::CustomDashLine);
  dashes.setDashPattern({3, 2});
  painter.strokePath(PanelShape(4), dashes);

  // A file falling into a tray.
  const QColor ink(0xb4, 0xbe, 0xcc);
  painter.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  QPainterPath tray;
  tray.moveTo(90, 27);
  tray.lineTo(90, 34);
  tray.lineTo(120, 34);
  tray.lineTo(120, 27);
  painter.drawPath(tray);
  QPainterPath arrow;
  arrow.moveTo(105, 9);
  arrow.lineTo(105, 27);
  arrow.moveTo(99, 21);
  arrow.lineTo(105, 27);
  arrow.lineTo(111, 21);
  painter.setPen(QPen(kAmber, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(arrow);

  // What it takes, in two tags either side of the tray.
  for (const auto& [box, text] : {std::pair{QRectF(38, 14, 38, 15), QStringLiteral(".wav")},
                                  std::pair{QRectF(134, 14, 38, 15), QStringLiteral(".aif")}}) {
    painter.setPen(QPen(QColor(0x5a, 0x66, 0x78), 1));
    painter.setBrush(QColor(0x2b, 0x33, 0x3e));
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.setFont(
        CaptionFont(Font(kSans, 9, QFont::Bold), box, Qt::AlignCenter, text, box.toRect()));
    ShadowedText(painter, box, Qt::AlignCenter, text, QColor(0xe4, 0xe8, 0xee), kShadow);
  }
  // Three sound waves under the tray: the panel says "audio" without words.
  painter.setPen(QPen(QColor(0x59, 0x65, 0x77), 1.2, Qt::SolidLine, Qt::RoundCap));
  const std::array heights{2, 5, 8, 4, 9, 6, 3, 7, 5, 2, 6, 9, 4, 7, 3};
  for (std::size_t i = 0; i < heights.size(); ++i) {
    const qreal x = 84 + 3 * static_cast<qreal>(i);
    painter.drawLine(QPointF(x, 45 - heights[i] / 2.0), QPointF(x, 45 + heights[i] / 2.0));
  }
  painter.end();
  KeyOutside(image, shape);
  return image;
}

// The message window writes its line of text over panel rows 38..50, x 15..195; the caution and
// completed pictures stay above it.
QImage CautionPanel(const QImage& background) {
  QImage image = Cut(background, kPanelAt, QSize(kWidth, 60));
  QPainter painter(&image);
  Antialiased(painter);
  const QPainterPath shape = PanelShape(0);
  painter.fillPath(shape, kAmber.darker(160));
  QLinearGradient dark(0, 3, 0, 57);
  dark.setColorAt(0, QColor(0x1c, 0x1a, 0x16));
  dark.setColorAt(1, QColor(0x12, 0x13, 0x15));
  painter.fillPath(PanelShape(1), dark);

  // Hazard stripes along the top edge, clear of the text.
  painter.save();
  painter.setClipPath(PanelShape(1));
  painter.setClipRect(QRectF(0, 0, kWidth, 7), Qt::IntersectClip);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xd8, 0x9a, 0x10));
  for (int x = -8; x < kWidth; x += 10) {
    QPolygonF stripe;
    stripe << QPointF(x, 7) << QPointF(x + 5, 7) << QPointF(x + 12, 0) << QPointF(x + 7, 0);
    painter.drawPolygon(stripe);
  }
  painter.restore();
  painter.fillRect(QRectF(4, 7, 202, 1), QColor(0x08, 0x09, 0x0b));

  // The warning sign.
  QPainterPath triangle;
  triangle.moveTo(105, 11);
  triangle.lineTo(117, 32);
  triangle.lineTo(93, 32);
  triangle.closeSubpath();
  painter.setPen(QPen(kAmber, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(kAmber);
  painter.drawPath(triangle);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1a, 0x16, 0x0c));
  painter.drawRoundedRect(QRectF(103.9, 17, 2.2, 9), 1.1, 1.1);
  painter.drawEllipse(QPointF(105, 28.6), 1.3, 1.3);
  painter.setPen(QPen(QColor(0xff, 0xb8, 0x1c, 110), 1));
  painter.drawLine(QPointF(20, 22.5), QPointF(85, 22.5));
  painter.drawLine(QPointF(125, 22.5), QPointF(190, 22.5));
  painter.end();
  KeyOutside(image, shape);
  return image;
}

QImage CompletedPanel(const QImage& background) {
  QImage image = Cut(background, kPanelAt, QSize(kWidth, 60));
  QPainter painter(&image);
  Antialiased(painter);
  const QPainterPath shape = PanelShape(0);
  painter.fillPath(shape, QColor(0x1a, 0x3c, 0xb8));
  QLinearGradient light(0, 3, 0, 57);
  light.setColorAt(0, QColor(0xfb, 0xfc, 0xfe));
  light.setColorAt(1, QColor(0xe2, 0xe8, 0xf1));
  painter.fillPath(PanelShape(1), light);

  // A check mark in a blue disc.
  const QPointF c(105, 20);
  QRadialGradient disc(c + QPointF(-3, -4), 14);
  disc.setColorAt(0, QColor(0x4c, 0x6c, 0xff));
  disc.setColorAt(1, kBlue);
  painter.setPen(Qt::NoPen);
  painter.setBrush(disc);
  painter.drawEllipse(c, 11, 11);
  QPainterPath tick;
  tick.moveTo(99.5, 20.5);
  tick.lineTo(103.5, 24.5);
  tick.lineTo(111, 15.5);
  painter.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(tick);
  painter.setPen(QPen(QColor(0, 36, 255, 90), 1));
  painter.drawLine(QPointF(20, 20.5), QPointF(88, 20.5));
  painter.drawLine(QPointF(122, 20.5), QPointF(190, 20.5));
  painter.end();
  KeyOutside(image, shape);
  return image;
}

// ---- About picture 132, icon 128, cursor 160 -------------------------------------------------

QImage AboutPicture(const QImage& background) {
  QImage image = Cut(background, QPoint(6, 25), QSize(48, 48));
  QPainter painter(&image);
  Antialiased(painter);
  QRadialGradient plate(QPointF(20, 18), 30);
  plate.setColorAt(0, QColor(0x46, 0x51, 0x61));
  plate.setColorAt(1, QColor(0x22, 0x28, 0x31));
  painter.setPen(QPen(kShadow, 1));
  painter.setBrush(plate);
  painter.drawEllipse(QPointF(24, 24), 22.5, 22.5);
  DrawBell(painter, QRectF(4, 5, 40, 40), true);
  return image;
}

QImage Icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  Antialiased(painter);
  painter.scale(size / 256.0, size / 256.0);
  QLinearGradient slate(0, 8, 0, 248);
  slate.setColorAt(0, QColor(0x4a, 0x55, 0x66));
  slate.setColorAt(1, QColor(0x1f, 0x25, 0x2d));
  painter.setPen(QPen(QColor(0x0c, 0x0f, 0x13), 6));
  painter.setBrush(slate);
  painter.drawRoundedRect(QRectF(11, 11, 234, 234), 46, 46);
  painter.setPen(QPen(QColor(255, 255, 255, 50), 4));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(17, 17, 222, 222), 40, 40);
  DrawBell(painter, QRectF(28, 30, 200, 200), true);
  return image;
}

QImage LinkCursor() {
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  Antialiased(painter);
  QPainterPath hand;
  auto add = [&hand](const QRectF& box, qreal radius) {
    QPainterPath part;
    part.addRoundedRect(box, radius, radius);
    hand = hand.united(part);
  };
  // The index finger, its tip on the hot spot.
  add(QRectF(kCursorHotSpot.x() - 2.5, kCursorHotSpot.y() + 0.5, 5, 17), 2.5);
  add(QRectF(14.5, 9, 5, 10), 2.2);  // the folded fingers
  add(QRectF(19.5, 10, 5, 10), 2.2);
  add(QRectF(24.5, 11.5, 4, 9), 2);
  add(QRectF(9.5, 15, 18.5, 14.5), 4.5);  // palm
  QPainterPath thumb;
  thumb.addRoundedRect(QRectF(-2.5, -6, 5, 13), 2.5, 2.5);
  hand = hand.united(QTransform().translate(8.2, 18).rotate(-38).map(thumb));
  painter.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::white);
  painter.drawPath(hand);
  painter.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(14.5, 11.5), QPointF(14.5, 16));
  painter.drawLine(QPointF(19.5, 12), QPointF(19.5, 16.5));
  painter.drawLine(QPointF(24.5, 13.5), QPointF(24.5, 17));
  return image;
}

// ---- Output ----------------------------------------------------------------------------------

struct Output {
  QString name;
  QImage image;
};

// The skin at `scale` device pixels per logical pixel, under the bitmaps' names; the icon and the
// cursor only at scale 1.
std::vector<Output> DrawAll(int scale) {
  const QImage bg = Background(scale);
  std::vector<Output> out;
  out.push_back({"background.bmp", bg});
  out.push_back({"drop_panel.bmp", DropPanel(bg)});
  out.push_back({"caution_panel.bmp", CautionPanel(bg)});
  out.push_back({"completed_panel.bmp", CompletedPanel(bg)});
  out.push_back({"button_cancel.bmp", TextButton(bg, {130, 85}, "CANCEL")});
  out.push_back({"button_clear.bmp", TextButton(bg, {6, 85}, "CLEAR")});
  out.push_back({"button_close.bmp", TextButton(bg, {130, 85}, "CLOSE")});
  out.push_back({"button_ok.bmp", TextButton(bg, {68, 85}, "OK")});
  out.push_back({"button_about.bmp", TextButton(bg, {6, 85}, "ABOUT")});
  out.push_back({"power_button.bmp", PowerButton(bg)});
  out.push_back({"permission_toggle.bmp", PermissionToggle(bg)});
  out.push_back({"rate_toggle.bmp", RateToggle(bg)});
  out.push_back({"label_8khz.bmp", SmallLabel(bg, {110, 63}, "8kHz", false)});
  out.push_back({"label_4khz.bmp", SmallLabel(bg, {155, 63}, "4kHz", false)});
  for (bool japanese : {false, true}) {
    const QString suffix = japanese ? "_ja.bmp" : "_en.bmp";
    out.push_back(
        {"label_save" + suffix, SmallLabel(bg, {11, 63}, japanese ? "保存" : "save", japanese)});
    out.push_back(
        {"label_trans" + suffix, SmallLabel(bg, {56, 63}, japanese ? "転送" : "trans", japanese)});
    out.push_back(
        {"title_label" + suffix, FieldLabel(bg, 21, japanese ? "タイトル" : "title", japanese)});
    out.push_back({"copyright_label" + suffix,
                   FieldLabel(bg, 41, japanese ? "著作権" : "copyright", japanese)});
  }
  out.push_back({"about_picture.bmp", AboutPicture(bg)});
  if (scale == 1) {
    out.push_back({"icon_48.png", Icon(48)});
    out.push_back({"icon_256.png", Icon(256)});
    out.push_back({"link_cursor.png", LinkCursor()});
  }
  return out;
}

// Qt's name for a file's twin at twice the resolution, kept in PNG to save room.
QString TwinName(const QString& name) {
  QString twin = name;
  return twin.replace(QStringLiteral(".bmp"), QStringLiteral("@2x.png"));
}

bool Save(const QDir& dir, const Output& output) {
  const QString path = dir.filePath(output.name);
  const bool bmp = output.name.endsWith(".bmp");
  // 24 bits per pixel: the program's bitmaps and their twins have no alpha; the colour key does
  // that job.
  const bool keyed = bmp || output.name.contains(QStringLiteral("@2x"));
  const QImage image = keyed ? output.image.convertToFormat(QImage::Format_RGB888)
                             : output.image.convertToFormat(QImage::Format_ARGB32);
  if (!image.save(path, bmp ? "BMP" : "PNG")) {
    std::fprintf(stderr, "make-skin: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

bool FontsPresent() {
  const QStringList families = QFontDatabase::families();
  bool present = true;
  for (const QString& family : {kSans, kJapanese}) {
    if (!families.contains(family)) {
      std::fprintf(stderr, "make-skin: the font \"%s\" is not installed\n", qPrintable(family));
      present = false;
    }
  }
  return present;
}

}  // namespace

int main(int argc, char** argv) {
  // No display is needed: everything is drawn into images.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments().mid(1);
  if (args.size() != 1 || args[0].isEmpty() || args[0].startsWith("-")) {
    std::fprintf(stderr, "usage: make-skin OUTPUT_FOLDER\n");
    return 2;
  }
  const QString outDir = args[0];
  if (!FontsPresent()) return 1;
  QDir dir(outDir);
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "make-skin: cannot create %s\n", qPrintable(outDir));
    return 1;
  }
  for (const Output& output : DrawAll(1)) {
    if (!Save(dir, output)) return 1;
  }
  for (Output& output : DrawAll(2)) {
    output.name = TwinName(output.name);
    if (!Save(dir, output)) return 1;
  }
  return 0;
}
