#include "gui/message_boxes.h"

#include <QApplication>

namespace zq::gui {

QMessageBox::StandardButton message_boxes::show(QMessageBox::Icon icon, const std::string& text,
                                                QMessageBox::StandardButtons buttons) {
  QWidget* owner = owner_ ? owner_.data() : QApplication::activeWindow();
  QMessageBox box(icon, QString::fromUtf8(kMessageTitle), QString::fromStdString(text), buttons,
                  owner);
  // The text is the system's own, never markup: a folder name with "<" in it
  // must show as typed.
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("message_box"));
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void message_boxes::refuse(const refusal& refused) {
  // A declined question has already said everything.
  if (!refused.message.empty()) {
    show(QMessageBox::Warning, refused.message, QMessageBox::Ok);
  }
}

void message_boxes::error(const std::string& message, std::optional<dialog_control>) {
  show(QMessageBox::Critical, message, QMessageBox::Ok);
}

void message_boxes::information(const std::string& message) {
  show(QMessageBox::Information, message, QMessageBox::Ok);
}

bool message_boxes::question(const std::string& text) {
  return show(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace zq::gui
