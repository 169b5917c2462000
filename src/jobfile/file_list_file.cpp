#include "jobfile/file_list_file.h"

#include <memory>
#include <unordered_map>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/staged_output.h"

namespace zq {
namespace {

constexpr const char* kSection = "FILES";

}  // namespace

std::string file_list_text(const std::vector<std::string>& paths) {
  std::string text = std::string("[") + kSection + "]\r\n";
  for (std::size_t number = 0; number < paths.size(); ++number) {
    text += std::to_string(number) + "=" + paths[number] + "\r\n";
  }
  return text;
}

status write_file_list_file(platform::file_system& files, const std::string& path,
                            const std::vector<std::string>& paths) {
  return platform::write_file_atomically(files, path, file_list_text(paths));
}

status update_file_list_file(const std::string& path, const std::vector<std::string>& paths) {
  if (paths.empty()) {
    return status::ok();
  }
  // Set key by key and written once: a run cut short half-way has no use for
  // half a list.
  platform::ini_file list = platform::ini_file::load(path);
  for (std::size_t number = 0; number < paths.size(); ++number) {
    list.set(kSection, std::to_string(number), paths[number]);
  }
  return list.save();
}

result<std::vector<std::string>> read_own_file_list(platform::file_system& files,
                                                    const std::string& path) {
  const result<std::unique_ptr<platform::held_lock>> held =
      files.lock_own_file(path, platform::file_lock::shared, platform::kLockPatience);
  if (!held.is_ok()) {
    if (files.stat(path).kind == platform::file_kind::missing) {
      return std::vector<std::string>();
    }
    return held.status();
  }
  // Read by name while the lock is held. The name cannot change hands in
  // between: in a temp folder with the sticky bit (as /tmp has), or in a
  // folder of the user's own, nobody else can rename or remove this user's
  // file.
  std::unordered_map<std::string, std::string> values;
  for (auto& [key, value] : platform::ini_file::load(path, files).entries(kSection)) {
    values.emplace(key, std::move(value));  // the first of a key wins, as in find()
  }
  std::vector<std::string> listed;
  for (std::size_t number = 0;; ++number) {
    const auto found = values.find(std::to_string(number));
    if (found == values.end() || found->second.empty()) {
      return listed;
    }
    listed.push_back(std::move(found->second));
  }
}

std::vector<std::string> read_file_list_file(const std::string& path) {
  result<std::vector<std::string>> listed = read_own_file_list(platform::real_file_system(), path);
  return listed.is_ok() ? std::move(listed).value() : std::vector<std::string>();
}

}  // namespace zq
