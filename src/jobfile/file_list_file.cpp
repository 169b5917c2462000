#include "jobfile/file_list_file.h"

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

std::vector<std::string> read_file_list_file(const std::string& path) {
  std::unordered_map<std::string, std::string> values;
  for (auto& [key, value] : platform::ini_file::load(path).entries(kSection)) {
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

}  // namespace zq
