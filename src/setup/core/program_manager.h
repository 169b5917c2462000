// The installer's Program Manager: it understands the same group commands
// ("[CreateGroup(...)]", "[AddItem(...)]", "[ShowGroup(...)]") and carries
// them out with freedesktop.org menu files, so the desktop's application menu
// shows the group as a submenu:
//
//   <data>/applications/zembrit_quarnel-<item>.desktop     one entry per item
//   <data>/desktop-directories/zembrit_quarnel-<group>.directory
//   <config>/menus/applications-merged/zembrit_quarnel-<group>.menu
//
// The merge file names the group's entries; it is the group's memory, so a
// later session (a reinstallation) adds to the group instead of replacing it.
// Every file appears whole or not at all. An item's entry runs its file when
// that is an executable program and opens it with the desktop's opener
// (xdg-open) otherwise, as Program Manager opened documents through their
// association.
//
// Failures come back as values with their reason; the installation ignores
// them, as it ignored an unanswered DDE conversation, but tests do not.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"
#include "common/status.h"
#include "platform/file_system.h"

namespace zq::setup {

// The two base folders the menu files go under: $XDG_DATA_HOME and
// $XDG_CONFIG_HOME for one user, /usr/local/share and /etc/xdg for all.
struct menu_folders {
  std::string data_folder;
  std::string config_folder;

  bool operator==(const menu_folders&) const = default;
};

// The prefix of every file name the menu layer writes, so that its files are
// told apart from every other program's.
inline constexpr const char* kMenuVendor = "zembrit_quarnel";

// The categories of every item; the submenu is where the group's items are
// gathered, the category is where a desktop without merge files still lists
// them.
inline constexpr const char* kItemCategories = "Graphics;";

// One command of a command text: its name as written and its arguments with
// blanks around them trimmed and quotes removed.
struct progman_command {
  std::string name;
  std::vector<std::string> arguments;

  bool operator==(const progman_command&) const = default;
};

// Splits a command text into its commands: one or more "[Name(arg, ...)]",
// blanks allowed between the parts. An argument in double quotes keeps
// commas, brackets and blanks; a doubled quote inside it stands for one
// quote. Anything else is refused whole, naming the text and the fault.
result<std::vector<progman_command>> parse_progman_commands(std::string_view text);

// One Program Manager as a process sees it across its conversations: it
// remembers the group that CreateGroup made current, to which AddItem adds.
// `fs` must outlive it.
class program_manager {
 public:
  program_manager(platform::file_system& fs, menu_folders folders)
      : fs_(fs), folders_(std::move(folders)) {}

  // Carries out one parsed command. Command names are matched without
  // regard to ASCII case; a command this layer does not know is refused.
  status carry_out(const progman_command& command);

 private:
  status create_group(const std::vector<std::string>& arguments);
  status add_item(const std::vector<std::string>& arguments);
  status show_group(const std::vector<std::string>& arguments);
  status write_merge_file(const std::string& group, const std::vector<std::string>& entries);
  result<std::vector<std::string>> entries_of(const std::string& group);
  std::string merge_file_path(const std::string& group) const;

  platform::file_system& fs_;
  menu_folders folders_;
  std::string current_group_;
};

// One conversation for one command text: parses it and carries out each of
// its commands in order, each whatever became of the one before. Ok when all
// of them were carried out.
status send_progman_command(program_manager& instance, std::string_view text);

}  // namespace zq::setup
