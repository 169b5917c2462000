#include "engine/staged_output.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "common/paths.h"

namespace zq::engine {

namespace fs = std::filesystem;

std::optional<staged_output> staged_output::begin(const std::string& final_path,
                                                  std::string& error) {
  const std::string final_folder =
      folder_of(final_path).empty() ? std::string(".") + kPathSeparator : folder_of(final_path);
  // Hidden, so that a walk over the target folder never takes it for a source.
  std::string folder = final_folder + ".zq-staging-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    error = "cannot create a staging folder in " + final_folder + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::string path = join_path(folder, file_name_of(final_path));
  return staged_output(std::move(folder), final_folder, std::move(path));
}

staged_output::staged_output(staged_output&& other) noexcept
    : folder_(std::exchange(other.folder_, std::string())),
      final_folder_(std::move(other.final_folder_)),
      path_(std::move(other.path_)) {}

staged_output::~staged_output() {
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

status staged_output::commit() {
  std::error_code error;
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
    names.push_back(entry.path().filename().string());
  }
  if (error) {
    return status::error("cannot list " + folder_ + ": " + error.message());
  }
  if (names.empty()) {
    return status::error("the writer made no file for " + file_name_of(path_));
  }
  for (const std::string& name : names) {
    fs::rename(join_path(folder_, name), final_folder_ + name, error);
    if (error) {
      return status::error("cannot move " + name + " into " + final_folder_ + ": " +
                           error.message());
    }
  }
  return status::ok();
}

}  // namespace zq::engine
