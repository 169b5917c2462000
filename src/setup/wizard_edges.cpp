#include "setup/wizard_edges.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QScreen>

namespace zq::setup {
namespace {

QMessageBox::Icon icon_of(message_icon icon) {
  switch (icon) {
    case message_icon::error:
      return QMessageBox::Critical;
    case message_icon::question:
      return QMessageBox::Question;
    case message_icon::warning:
      return QMessageBox::Warning;
    case message_icon::information:
      break;
  }
  return QMessageBox::Information;
}

}  // namespace

QString from_path(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string to_path(const QString& text) { return QFile::encodeName(text).toStdString(); }

std::unique_ptr<QMessageBox> make_message_box(QWidget* owner, const message_box& box,
                                              QMessageBox::StandardButtons buttons) {
  auto shown = std::make_unique<QMessageBox>(icon_of(box.icon), QString::fromStdString(box.title),
                                             from_path(box.text), buttons, owner);
  // The texts are the system's own, never markup.
  shown->setTextFormat(Qt::PlainText);
  if (owner == nullptr) {
    // Centred on the screen, as the failure box always was.
    shown->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->geometry();
      shown->move(area.x() + (area.width() - shown->width()) / 2,
                  area.y() + (area.height() - shown->height()) / 2);
    }
  }
  return shown;
}

void qt_wizard_edges::show(QWidget* owner, const message_box& box) {
  make_message_box(owner, box, QMessageBox::Ok)->exec();
}

bool qt_wizard_edges::ask_yes_no(const message_box& question) {
  return make_message_box(owner_, question, QMessageBox::Yes | QMessageBox::No)->exec() ==
         QMessageBox::Yes;
}

void qt_wizard_edges::beep() { QApplication::beep(); }

std::optional<std::string> qt_wizard_edges::choose_folder(QWidget* owner, const QString& title,
                                                          const std::string& start) {
  const QString chosen = QFileDialog::getExistingDirectory(owner, title, from_path(start));
  if (chosen.isEmpty()) {
    return std::nullopt;
  }
  return to_path(chosen);
}

}  // namespace zq::setup
