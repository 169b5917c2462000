// The job file the front end starts with: Zembrit_Quarnel.ini in its own
// folder, or, when that file is there but the user may not change it (an
// installation for all users), a copy of it of the user's own.
#pragma once

#include <functional>
#include <string>

#include "common/status.h"
#include "platform/file_system.h"

namespace zq::gui {

inline constexpr const char* kJobFileName = "Zembrit_Quarnel.ini";
// The folder under the user's configuration folder that holds the copy.
inline constexpr const char* kUserJobFolder = "Zembrit_Quarnel";

struct job_file_choice {
  std::string path;       // what the job-file field shows
  bool per_user = false;  // the user's copy stands in for the installed file
  // Why the user's copy could not be made; `path` is then the installed
  // file, which still loads, and a save names why it cannot be written.
  status copy = status::ok();
};

// `own_folder` is the program's folder (with or without its trailing
// separator); `config_home` the user's configuration folder (empty when there
// is none); `can_write` tells whether the user may replace a file.
// The user's copy, <config_home>/Zembrit_Quarnel/Zembrit_Quarnel.ini, is made
// from the installed file the first time and used as it is afterwards.
job_file_choice default_job_file(const std::string& own_folder, const std::string& config_home,
                                 const std::function<bool(const std::string&)>& can_write,
                                 platform::file_system& files = platform::real_file_system());

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; empty
// without either.
std::string user_config_home();

// Whether this user may replace the file at `path`: write access to the file
// and to its folder, where the INI module puts the new file before renaming it.
bool user_can_replace(const std::string& path);

}  // namespace zq::gui
