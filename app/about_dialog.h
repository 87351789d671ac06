#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>

#include "app/skinned_dialog.h"

namespace pelorin::ui {

class LinkStatic;

// The product's version line, a short notice, and a link to the maker's web address.
class AboutDialog : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr QRgb kTextColour = qRgb(240, 240, 240);
  static constexpr QPoint kPicturePosition{6, 25};

  explicit AboutDialog(const Skin& skin = Skin(), QWidget* parent = nullptr);

  static QString VersionLine(Language language);
  static QString WebAddress();

  const QLabel* Version() const { return version_; }
  const LinkStatic* Link() const { return link_; }

 protected:
  void PaintContents(QPainter& painter) override;

 private:
  QPixmap picture_;
  QLabel* version_;
  LinkStatic* link_;
};

}  // namespace pelorin::ui
