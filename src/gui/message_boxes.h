// The front end's message boxes: user_dialogs shown as Qt message boxes, each
// with the title "Zembrit_Quarnel" and the icon of its kind (warning for a
// refusal, error, information, question with Yes and No). A box is modal to
// its owner window, or to the window that is active when none was given.
//
// Only the message is shown here; bringing a tab forward and moving the focus
// belong to the dialog that owns the controls (main_dialog does both around
// the message), so every dialog of the program can share one instance.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "gui/core/user_dialogs.h"

namespace zq::gui {

class message_boxes final : public user_dialogs {
 public:
  explicit message_boxes(QWidget* owner = nullptr) : owner_(owner) {}

  void set_owner(QWidget* owner) { owner_ = owner; }

  void refuse(const refusal& refused) override;
  void error(const std::string& message, std::optional<dialog_control> focus) override;
  void information(const std::string& message) override;
  bool question(const std::string& text) override;

 private:
  QMessageBox::StandardButton show(QMessageBox::Icon icon, const std::string& text,
                                   QMessageBox::StandardButtons buttons);

  QPointer<QWidget> owner_;
};

}  // namespace zq::gui
