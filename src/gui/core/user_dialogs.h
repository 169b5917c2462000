// What the front end's logic says to the user and asks of them, as one small
// interface: the dialog shows real message boxes through it, tests answer
// through a recording stand-in (recording_dialogs.h). Every box has the title
// kMessageTitle; the kind of box fixes its icon.
#pragma once

#include <optional>
#include <string>

#include "gui/core/dialog_values.h"

namespace zq::gui {

inline constexpr const char* kMessageTitle = "Zembrit_Quarnel";

// A check that did not pass, as the dialog carries it out: bring `tab`
// forward when there is one, show `message` as a warning when there is one,
// then give `focus` the keyboard focus. The message is empty when the user has
// just declined a question: there is nothing more to say.
struct refusal {
  std::string message;
  dialog_control focus = dialog_control::source_folder;
  std::optional<panel_tab> tab;

  bool operator==(const refusal&) const = default;
};

class user_dialogs {
 public:
  virtual ~user_dialogs() = default;

  // A refusal: exclamation icon (when there is a message), tab, focus.
  virtual void refuse(const refusal& refused) = 0;
  // An error box (error icon), optionally focusing a control afterwards.
  virtual void error(const std::string& message,
                     std::optional<dialog_control> focus = std::nullopt) = 0;
  // An information box ("Done.").
  virtual void information(const std::string& message) = 0;
  // A Yes/No question (question icon); true for Yes.
  virtual bool question(const std::string& text) = 0;
};

}  // namespace zq::gui
