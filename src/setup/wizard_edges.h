// What the wizard shows and asks outside its own pages: message boxes, the
// yes-or-no question of the destination page, the beep and the folder
// browser. The program uses qt_wizard_edges; a test hands in a stand-in that
// records what would have been shown and answers from a script, so no modal
// box ever waits for a user in a test.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "setup/core/destination_check.h"
#include "setup/core/messages.h"

namespace zq::setup {

class wizard_edges : public question_asker {
 public:
  // Shows `box` modally over `owner` with an OK button.
  virtual void show(QWidget* owner, const message_box& box) = 0;
  virtual void beep() = 0;
  // The folder the user chose, or nothing when the browser was cancelled.
  virtual std::optional<std::string> choose_folder(QWidget* owner, const QString& title,
                                                   const std::string& start) = 0;
};

// File names as Qt shows them and as the system spells them: bytes in the
// locale's encoding, so a name that is not valid UTF-8 survives the trip.
QString from_path(const std::string& path);
std::string to_path(const QString& text);

// The message box that shows `box`, with `buttons`, centred on the screen
// when it has no owner. Shared by qt_wizard_edges and the screenshots.
std::unique_ptr<QMessageBox> make_message_box(QWidget* owner, const message_box& box,
                                              QMessageBox::StandardButtons buttons);

class qt_wizard_edges final : public wizard_edges {
 public:
  // The window the question is asked over.
  void set_owner(QWidget* owner) { owner_ = owner; }

  void show(QWidget* owner, const message_box& box) override;
  bool ask_yes_no(const message_box& question) override;
  void beep() override;
  std::optional<std::string> choose_folder(QWidget* owner, const QString& title,
                                           const std::string& start) override;

 private:
  QWidget* owner_ = nullptr;
};

}  // namespace zq::setup
