// The installation itself, the work of Next on the wizard's ready page: the
// files of the system are copied from the installer's own folder into the
// install folder in a fixed order, and then, when the user asked for it, the
// menu group is made through the installer's Program Manager.
//
// Each file is copied whole or not at all, with its mode: a copy that fails
// leaves the earlier installation's file of that name in place. The first
// failure stops the installation; the files before it stay installed and no
// group is made. What the wizard must then show and do comes back as a
// value, so the wizard never has to know why.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "platform/file_system.h"
#include "setup/core/messages.h"
#include "setup/core/program_manager.h"

namespace zq::setup {

// The files of an installation, in the order they are copied.
inline constexpr std::array<const char*, 7> kCopyList = {
    "Zembrite_Quarnel.html", "Quarnel_gui",        "Zembrit_Quarnel.ini", "Zembrit_Quarnel",
    "libzgraphb.so",         "libzq_pdf_pages.so", "whatsnew.txt",
};

// The default job file replaces the installed one; a user's settings in the
// one it replaces are first kept beside it under this suffix.
inline constexpr const char* kJobFileName = "Zembrit_Quarnel.ini";
inline constexpr const char* kKeptSettingsSuffix = ".old";

inline constexpr const char* kGroupName = "Zembrit_Quarnel";

// The program ends at once with this code when an installation fails.
inline constexpr int kExitCodeAfterFailure = 0;

// The box shown when the installation fails, and when the user cancels.
message_box failure_box();

struct installation_request {
  std::string source_folder;       // the installer's own folder (platform::own_folder())
  std::string destination_folder;  // tidied and created by the destination page
  bool create_group = false;
  menu_folders menus;  // where the group's files go
};

struct installation_failure {
  message_box box;                        // what to show, modally
  int exit_code = kExitCodeAfterFailure;  // then end the program with it
  status reason = status::ok();           // which file stopped it and why, for the log
};

struct installation_outcome {
  std::optional<installation_failure> failure;
  // The earlier job file kept because it differed from the new default;
  // empty when nothing was kept.
  std::string kept_settings;

  bool completed() const { return !failure.has_value(); }
};

// Copies `name` from the source folder into the install folder (joined with
// one separator, so an install folder of "/" works), replacing a file of that
// name, keeping the source's mode. A failure names the file and the reason.
status install_file(platform::file_system& fs, const std::string& source_folder,
                    const std::string& destination_folder, const std::string& name);

// The group commands, in sending order, with the install folder as tidied.
// A double quote in the folder is doubled, the quoting the Program Manager
// layer reads back; every other folder gives exactly the texts sent.
std::vector<std::string> group_commands(const std::string& destination_folder);

// Copies the copy list in order and makes the group when asked. The results
// of the group commands are not looked at: a menu that cannot be made does
// not make a complete installation fail. `before_each_copy` (the page's
// repaint) is called with each file's name before it is copied.
installation_outcome run_installation(
    platform::file_system& fs, const installation_request& request,
    const std::function<void(const std::string& name)>& before_each_copy = {});

}  // namespace zq::setup
