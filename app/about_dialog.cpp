#include "app/about_dialog.h"

#include <QPainter>
#include <array>

#include "app/bitmap_button.h"
#include "app/dialog_font.h"
#include "app/link_static.h"
#include "pipeline/version.h"

namespace pelorin::ui {

namespace {

// The boxes of the version line and the three notice lines, in the column right of the picture,
// and of the link, in the bottom bar left of the close button. Each box is as high as its line
// needs at the language's size; the Japanese lines, taller, have less room than they need, so
// they are set smaller (FitText). The lowest line in Japanese stops short of the power button.
constexpr std::array<QRect, 5> kEnglishBoxes{{
    {58, 20, 151, 14},
    {58, 34, 151, 14},
    {58, 48, 151, 14},
    {58, 62, 151, 14},
    {4, 83, 124, 16},
}};
constexpr std::array<QRect, 5> kJapaneseBoxes{{
    {58, 20, 151, 14},
    {58, 34, 151, 16},
    {58, 50, 151, 16},
    {58, 66, 126, 16},
    {4, 83, 124, 16},
}};

std::array<QString, 3> NoticeLines(Language language) {
  if (language == Language::kJapanese) {
    return {QStringLiteral("WAV・AIFFの音声を"), QStringLiteral("KIVRA着信音に変換します。"),
            QStringLiteral("フリーソフト・無保証")};
  }
  return {QStringLiteral("Converts WAV and AIFF"), QStringLiteral("into KIVRA ring tones."),
          QStringLiteral("Freeware. No warranties.")};
}

// A line of light text drawn straight over the background.
void PlaceLine(QLabel* label, const QString& text, const QRect& box, Language language) {
  SetFittedText(*label, text, box, Qt::AlignLeft, language);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, QColor(AboutDialog::kTextColour));
  label->setPalette(colours);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
}

}  // namespace

AboutDialog::AboutDialog(const Skin& skin, QWidget* parent)
    : SkinnedDialog(skin, parent),
      picture_(QPixmap::fromImage(skin.Image(kAboutPicture))),
      version_(new QLabel(this)),
      link_(new LinkStatic(QString(), this)) {
  const Language language = skin.GetLanguage();
  const auto& boxes = language == Language::kJapanese ? kJapaneseBoxes : kEnglishBoxes;
  PlaceLine(version_, VersionLine(language), boxes[0], language);
  const std::array<QString, 3> notices = NoticeLines(language);
  for (size_t i = 0; i < notices.size(); ++i) {
    PlaceLine(new QLabel(this), notices[i], boxes[i + 1], language);
  }
  SetFittedText(*link_, WebAddress(), boxes[4], Qt::AlignLeft, language);
  link_->SetLinkCursor(LinkCursor());

  BitmapButton* close = AddButton(kCloseButton, {130, 85});
  connect(close, &BitmapButton::clicked, this, &AboutDialog::accept);
  AddPowerButton();
}

QString AboutDialog::VersionLine(Language language) {
  const QString line = QStringLiteral("Pelorin  version ") +
                       QString::fromLatin1(kVersion.data(), qsizetype(kVersion.size()));
  return language == Language::kJapanese ? line : QLatin1Char(' ') + line;
}

QString AboutDialog::WebAddress() {
  return QStringLiteral("pelorin.example");
}

void AboutDialog::PaintContents(QPainter& painter) {
  if (!picture_.isNull()) painter.drawPixmap(kPicturePosition, picture_);
}

}  // namespace pelorin::ui
