// Where an installation goes when the user does not choose: a folder every
// user can write, so that pressing Next on the destination page works for
// everyone. Root installs for all users under /opt and puts the menu under
// /usr/local/share and /etc/xdg; anyone else installs for themselves under
// the XDG base folders. The rules take the environment as a value, so tests
// never look at the real home folder.
#pragma once

#include <string>

#include "setup/core/program_manager.h"

namespace zq::setup {

inline constexpr const char* kProductFolderName = "Zembrit_Quarnel";
inline constexpr const char* kSystemInstallFolder = "/opt/Zembrit_Quarnel";
inline constexpr const char* kSystemDataFolder = "/usr/local/share";
inline constexpr const char* kSystemConfigFolder = "/etc/xdg";

struct user_environment {
  bool is_root = false;       // the effective user is root
  std::string home;           // empty when there is none
  std::string xdg_data_home;  // as set, empty when not
  std::string xdg_config_home;
};

// The environment of this process: its effective user, $HOME (the password
// entry's home when $HOME is empty), $XDG_DATA_HOME and $XDG_CONFIG_HOME.
user_environment current_user_environment();

// $XDG_DATA_HOME, or ~/.local/share when it is unset, empty or relative
// (the base-folder rules ignore a relative one); empty without a home.
std::string data_home(const user_environment& environment);
// $XDG_CONFIG_HOME, or ~/.config, by the same rules.
std::string config_home(const user_environment& environment);

// /opt/Zembrit_Quarnel as root, else <data home>/Zembrit_Quarnel; empty when
// there is no home to put it in (the destination page then asks for one).
std::string default_install_folder(const user_environment& environment);

// Where the menu group's files go.
menu_folders menu_folders_for(const user_environment& environment);

}  // namespace zq::setup
