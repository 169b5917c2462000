#include "setup/core/destination_check.h"

#include "common/paths.h"
#include "common/result.h"

namespace zq::setup {
namespace {

// The prefix of the probe made by the write test.
constexpr const char* kProbePrefix = "H";

destination_answer refusal(std::string text) {
  destination_answer answer;
  answer.beep = true;
  answer.message = message_box{kWizardTitle, std::move(text), message_icon::error};
  return answer;
}

}  // namespace

message_box missing_folder_question(const std::string& folder) {
  return {kWizardTitle, folder + " does not exists.\nDo you want to create it?",
          message_icon::question};
}

bool folder_is_writable(platform::file_system& fs, const std::string& folder) {
  // A private folder rather than a file: it is made under a unique name in
  // one step, so the probe can never truncate a file that is already there.
  const result<std::string> probe = fs.make_private_folder(folder, kProbePrefix);
  if (!probe.is_ok()) {
    return false;
  }
  (void)fs.remove_tree(*probe);
  return true;
}

void create_install_folder(platform::file_system& fs, const std::string& path) {
  platform::create_folder_chain(fs, path);
  (void)fs.make_folder(path);
}

destination_answer check_destination(platform::file_system& fs, const std::string& text,
                                     question_asker& questions) {
  if (text.empty()) {
    return refusal("Please select the install folder");
  }
  if (text.size() > kMaxPathLength) {
    return refusal("The install folder is longer than " + std::to_string(kMaxPathLength) +
                   " bytes: " + text);
  }
  if (!folder_is_writable(fs, text) && !questions.ask_yes_no(missing_folder_question(text))) {
    return destination_answer{};
  }
  destination_answer answer;
  answer.accepted = true;
  answer.folder = text;
  normalize_path(answer.folder);
  create_install_folder(fs, answer.folder);
  return answer;
}

}  // namespace zq::setup
