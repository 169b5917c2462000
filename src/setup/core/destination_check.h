// The destination page's Next, as plain functions: an empty folder is
// refused, a folder that cannot be written is offered for creation through a
// yes-or-no question, and an accepted folder is tidied and created. The
// question goes through question_asker, which the wizard answers with a
// message box and a test answers from a script.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "setup/core/messages.h"

namespace zq::setup {

class question_asker {
 public:
  virtual ~question_asker() = default;
  // Shows `question` with Yes and No; true for Yes.
  virtual bool ask_yes_no(const message_box& question) = 0;
};

struct destination_answer {
  // Go on to the options page with `folder`. Otherwise the wizard stays on
  // the destination page with the focus on the destination field, after
  // beeping and showing `message` when they are set.
  bool accepted = false;
  std::string folder;  // tidied; created as far as the system allowed
  bool beep = false;
  std::optional<message_box> message;
};

// The question asked about a folder that is missing or cannot be written.
message_box missing_folder_question(const std::string& folder);

// Whether a file can be made in `folder`: something of the installer's own
// is made there and removed again.
bool folder_is_writable(platform::file_system& fs, const std::string& folder);

// Creates every folder of `path` from the left and then the path itself,
// ignoring every failure: one that matters shows when the files are copied.
void create_install_folder(platform::file_system& fs, const std::string& path);

// Next on the destination page, with the text the page shows.
destination_answer check_destination(platform::file_system& fs, const std::string& text,
                                     question_asker& questions);

}  // namespace zq::setup
