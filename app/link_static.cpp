#include "app/link_static.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace pelorin::ui {

namespace {

// The web address the text names, where a bare host name such as "pelorin.example" counts as
// one; otherwise an invalid address. Only web addresses are opened: the desktop would run a
// local file or program named by the text.
QUrl WebAddress(const QString& text) {
  const QString trimmed = text.trimmed();
  const QUrl url(trimmed.contains(u"://") ? trimmed : QStringLiteral("https://") + trimmed,
                 QUrl::StrictMode);
  const bool web = url.scheme() == u"https" || url.scheme() == u"http";
  return url.isValid() && web && !url.host().isEmpty() ? url : QUrl();
}

}  // namespace

LinkStatic::LinkStatic(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setTextFormat(Qt::PlainText);
  // Only the underline is set here, so family and size still follow the window's font.
  QFont underlined;
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, QColor(kTextColour));
  setPalette(colours);
}

void LinkStatic::SetLinkCursor(const QCursor& cursor) {
  setCursor(cursor);
}

void LinkStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (const QUrl url = WebAddress(text()); url.isValid()) QDesktopServices::openUrl(url);
  }
  QLabel::mousePressEvent(event);
}

}  // namespace pelorin::ui
