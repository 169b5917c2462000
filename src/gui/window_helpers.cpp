#include "gui/window_helpers.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace zq::gui {

void center_window(QWidget& window) {
  QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return;
  }
  const QRect area = screen->geometry();
  const QSize size = window.frameGeometry().size();
  window.move(area.x() + (area.width() - size.width()) / 2,
              area.y() + (area.height() - size.height()) / 2);
}

int enable_dialog_theme(QWidget&, bool) { return 0; }

}  // namespace zq::gui
