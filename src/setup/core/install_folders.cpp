#include "setup/core/install_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "common/paths.h"

namespace zq::setup {
namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string password_home() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return std::string();
  }
  return found->pw_dir;
}

std::string base_folder(const std::string& set, const std::string& home, const char* fallback) {
  std::string folder;
  if (!set.empty() && set.front() == kPathSeparator) {
    folder = set;
  } else if (!home.empty()) {
    folder = join_path(home, fallback);
  } else {
    return std::string();
  }
  normalize_path(folder);
  if (folder.size() > 1 && folder.back() == kPathSeparator) {
    folder.pop_back();
  }
  return folder;
}

}  // namespace

user_environment current_user_environment() {
  user_environment environment;
  environment.is_root = ::geteuid() == 0;
  environment.home = variable("HOME");
  if (environment.home.empty()) {
    environment.home = password_home();
  }
  environment.xdg_data_home = variable("XDG_DATA_HOME");
  environment.xdg_config_home = variable("XDG_CONFIG_HOME");
  return environment;
}

std::string data_home(const user_environment& environment) {
  return base_folder(environment.xdg_data_home, environment.home, ".local/share");
}

std::string config_home(const user_environment& environment) {
  return base_folder(environment.xdg_config_home, environment.home, ".config");
}

std::string default_install_folder(const user_environment& environment) {
  if (environment.is_root) {
    return kSystemInstallFolder;
  }
  const std::string data = data_home(environment);
  return data.empty() ? std::string() : join_normalized(data, kProductFolderName);
}

menu_folders menu_folders_for(const user_environment& environment) {
  if (environment.is_root) {
    return {kSystemDataFolder, kSystemConfigFolder};
  }
  return {data_home(environment), config_home(environment)};
}

}  // namespace zq::setup
