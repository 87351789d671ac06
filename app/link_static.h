#pragma once

#include <QCursor>
#include <QLabel>
#include <QString>

namespace pelorin::ui {

// A line of text that looks like a hyperlink, blue and underlined from its first paint on, and
// opens its own text, a web address, in the desktop's browser when clicked.
class LinkStatic : public QLabel {
  Q_OBJECT

 public:
  static constexpr QRgb kTextColour = qRgb(0, 0, 255);

  explicit LinkStatic(const QString& text = {}, QWidget* parent = nullptr);

  // The pointer shown over the link; without one the window's own pointer shows.
  void SetLinkCursor(const QCursor& cursor);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace pelorin::ui
