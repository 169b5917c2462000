#include "gui/core/picked_files.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "common/ascii.h"
#include "common/paths.h"
#include "jobfile/file_list_file.h"

namespace zq::gui {
namespace {

std::string folded(const std::string& path) {
  std::string lower(path.size(), '\0');
  std::transform(path.begin(), path.end(), lower.begin(),
                 [](char c) { return static_cast<char>(ascii_lower(c)); });
  return lower;
}

bool less_ignoring_case(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return ascii_lower(x) < ascii_lower(y);
  });
}

bool is_dot_name(const std::string& name) { return !name.empty() && name.front() == '.'; }

// Every path the picker builds is tidied alike, walked or opened.
std::string tidied(std::string path) {
  normalize_by_rule(path);
  return path;
}

}  // namespace

std::string date_text(std::time_t modified) {
  std::tm local{};
  if (::localtime_r(&modified, &local) == nullptr) {
    return std::string();
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900, local.tm_hour, local.tm_min);
  return text;
}

bool picked_rows::contains(const std::string& path) const {
  return folded_.count(folded(path)) != 0;
}

int picked_rows::find(const std::string& path) const {
  if (!contains(path)) {
    return -1;
  }
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (equals_ignoring_ascii_case(rows_[row].path, path)) {
      return static_cast<int>(row);
    }
  }
  return -1;
}

void picked_rows::insert_top(picked_file_entry entry) {
  folded_.insert(folded(entry.path));
  rows_.push_front(std::move(entry));
}

std::vector<std::string> picked_rows::remove(std::vector<std::size_t> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<std::string> removed;
  // From the bottom up, so the rows still to go keep their numbers.
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    if (*row >= rows_.size()) {
      continue;
    }
    folded_.erase(folded(rows_[*row].path));
    removed.push_back(std::move(rows_[*row].path));
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*row));
  }
  std::reverse(removed.begin(), removed.end());
  return removed;
}

void picked_rows::clear() {
  rows_.clear();
  folded_.clear();
}

void picked_rows::sort(picked_column column) {
  switch (column) {
    case picked_column::file:
      std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) {
        return less_ignoring_case(a.path, b.path);
      });
      break;
    case picked_column::size:
      std::stable_sort(rows_.begin(), rows_.end(),
                       [](const auto& a, const auto& b) { return a.size < b.size; });
      break;
    case picked_column::date:
      std::stable_sort(rows_.begin(), rows_.end(),
                       [](const auto& a, const auto& b) { return a.modified < b.modified; });
      break;
  }
}

std::vector<std::string> picked_rows::paths() const {
  std::vector<std::string> paths;
  paths.reserve(rows_.size());
  for (const picked_file_entry& entry : rows_) {
    paths.push_back(entry.path);
  }
  return paths;
}

int file_picker::find_listed_file(const std::string& path) const {
  return rows_ == nullptr ? -1 : rows_->find(path);
}

status file_picker::add_picked_file(const std::string& path) {
  if (!has_tiff_extension(path)) {
    return status::ok();
  }
  const platform::file_info info = files_.stat_target(path);
  if (info.kind == platform::file_kind::missing) {
    return status::error("Cannot add " + path + ": it cannot be found or read", path);
  }
  if (info.kind != platform::file_kind::regular) {
    return status::error("Cannot add " + path + ": not a file", path);
  }
  add_entry(path, info);
  return status::ok();
}

void file_picker::add_entry(std::string path, const platform::file_info& info) {
  if (rows_ != nullptr) {
    rows_->insert_top({path, info.size, info.modified, date_text(info.modified)});
  }
  picked_.push_back(std::move(path));
}

std::size_t file_picker::add_folder_files(const std::string& folder) {
  std::size_t added = 0;
  walk(folder, false, added);
  return added;
}

std::size_t file_picker::add_folder_tree_files(const std::string& folder) {
  std::size_t added = 0;
  walk(folder, true, added);
  return added;
}

void file_picker::walk(const std::string& folder, bool tree, std::size_t& added) {
  std::vector<platform::folder_entry> entries;
  if (!files_.enumerate(tidied(folder), "*.*", entries).is_ok()) {
    return;
  }
  for (const platform::folder_entry& entry : entries) {
    if (is_dot_name(entry.name)) {
      continue;
    }
    std::string path = tidied(join_path(folder, entry.name));
    if (entry.is_directory) {
      if (tree) {
        walk(path, true, added);
      }
      continue;
    }
    if (!has_tiff_extension(entry.name) || (rows_ != nullptr && rows_->contains(path))) {
      continue;
    }
    // A link to a file is listed as the file; a link to a folder is neither
    // walked nor listed.
    const platform::file_info info = files_.stat_target(path);
    if (info.kind != platform::file_kind::regular || info.size == 0) {
      continue;
    }
    add_entry(std::move(path), info);
    ++added;
  }
}

std::vector<status> file_picker::add_opened_files(const std::string& folder,
                                                  const std::vector<std::string>& names) {
  std::vector<status> refused;
  for (const std::string& name : names) {
    const std::string path =
        tidied(name.find(kPathSeparator) != std::string::npos ? name : join_path(folder, name));
    if (rows_ != nullptr && rows_->contains(path)) {
      continue;
    }
    if (status added = add_picked_file(path); !added.is_ok()) {
      refused.push_back(std::move(added));
    }
  }
  return refused;
}

void file_picker::remove_rows(const std::vector<std::size_t>& rows) {
  if (rows_ == nullptr) {
    return;
  }
  const std::vector<std::string> removed = rows_->remove(rows);
  // One pass over the list, however many rows went.
  const std::unordered_set<std::string> gone(removed.begin(), removed.end());
  std::erase_if(picked_, [&](const std::string& path) { return gone.count(path) != 0; });
}

void file_picker::remove_all() {
  if (rows_ != nullptr) {
    rows_->clear();
  }
  picked_.clear();
}

std::string reasons_text(const std::vector<status>& refusals) {
  std::string text;
  for (const status& why : refusals) {
    text += (text.empty() ? "" : "\n") + why.reason();
  }
  return text;
}

std::string picker_file_list_path(platform::file_system& files) {
  return join_normalized(files.temp_path(), kFileListName);
}

validate_result validate_picked_files(const picked_rows& rows, user_dialogs& ui,
                                      platform::file_system& files) {
  if (rows.empty() && !ui.question(kEmptyPickQuestion)) {
    return validate_result::kept_open;
  }
  if (const status written =
          write_file_list_file(files, picker_file_list_path(files), rows.paths());
      !written.is_ok()) {
    ui.error(written.reason());
    return validate_result::kept_open;
  }
  return validate_result::written;
}

}  // namespace zq::gui
