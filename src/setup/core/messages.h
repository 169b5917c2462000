// What the installer shows in a message box, as a value. The wizard carries
// it out with its own widgets; the logic that decides what to show never
// touches a widget, so tests compare the value instead of reading a screen.
#pragma once

#include <string>

namespace zq::setup {

enum class message_icon { error, question, warning, information };

struct message_box {
  std::string title;
  std::string text;
  message_icon icon = message_icon::information;

  bool operator==(const message_box&) const = default;
};

// The caption of the wizard's own message boxes (the failure box has its own).
inline constexpr const char* kWizardTitle = "Zembrit_Quarnel";

}  // namespace zq::setup
