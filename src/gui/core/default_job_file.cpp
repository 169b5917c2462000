#include "gui/core/default_job_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "common/paths.h"
#include "platform/staged_output.h"

namespace zq::gui {
namespace {

// A job file is a few kilobytes; anything far larger is not one.
constexpr std::size_t kLargestJobFile = std::size_t{1} << 20;

}  // namespace

job_file_choice default_job_file(const std::string& own_folder, const std::string& config_home,
                                 const std::function<bool(const std::string&)>& can_write,
                                 platform::file_system& files) {
  job_file_choice choice;
  choice.path = join_normalized(own_folder, kJobFileName);
  // A missing file is made where it is expected at the first save.
  if (files.stat_target(choice.path).kind != platform::file_kind::regular ||
      can_write(choice.path) || config_home.empty()) {
    return choice;
  }
  const std::string copy = join_normalized(join_path(config_home, kUserJobFolder), kJobFileName);
  if (files.stat_target(copy).kind == platform::file_kind::regular) {
    return {copy, true, status::ok()};
  }
  result<std::string> installed = files.read_file(choice.path, kLargestJobFile);
  if (!installed.is_ok()) {
    choice.copy = installed.status();
    return choice;
  }
  platform::create_folder_chain(files, copy);
  if (status made = platform::write_file_atomically(files, copy, *installed); !made.is_ok()) {
    choice.copy = made;
    return choice;
  }
  return {copy, true, status::ok()};
}

// The platform layer has no call for the next two yet; they are kept small
// and apart so that they can move there.

std::string user_config_home() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // The base directory rules ignore a relative value.
  if (xdg != nullptr && xdg[0] == kPathSeparator) {
    return xdg;
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    return join_normalized(home, ".config");
  }
  return std::string();
}

bool user_can_replace(const std::string& path) {
  std::string folder = folder_of(path);
  if (folder.empty()) {
    folder = ".";
  }
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 &&
         ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace zq::gui
