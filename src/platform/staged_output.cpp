#include "platform/staged_output.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/paths.h"

namespace zq::platform {
namespace {

// Hidden, so that a walk over the target folder never takes it for a source.
constexpr const char* kStagingPrefix = ".zq-staging-";

// What write_file_atomically stages under: a short name, so that a final path
// at the length limit still leaves room for the staging folder in front of it.
constexpr std::string_view kWholeFileName = "new";

// `permissions` unset: those of the file replaced, if any.
status stage_whole_file(file_system& fs, const std::string& path, std::string_view contents,
                        std::string_view staged_name, std::optional<unsigned> permissions) {
  if (!permissions) {
    if (const file_info replaced = fs.stat(path); replaced.kind == file_kind::regular) {
      permissions = replaced.permissions;
    }
  }
  result<staged_output> staged = staged_output::begin(fs, path, staged_name);
  if (!staged.is_ok()) {
    return staged.status();
  }
  result<std::unique_ptr<writable_file>> file =
      fs.open_for_write(staged->path(), open_mode::truncate);
  if (!file.is_ok()) {
    return file.status();
  }
  writable_file& out = **file;
  status written = out.append(contents);
  if (written.is_ok()) {
    written = out.sync();
  }
  if (written.is_ok()) {
    written = out.close();
  }
  if (!written.is_ok()) {
    return written;
  }
  // Someone may have made the old file readable to others, or kept it private.
  if (permissions) {
    if (const status kept = fs.set_permissions(staged->path(), *permissions); !kept.is_ok()) {
      return kept;
    }
  }
  return staged->commit();
}

}  // namespace

result<staged_output> staged_output::begin(file_system& fs, const std::string& final_path,
                                           std::string_view staged_name) {
  const std::string final_folder = folder_of(final_path);
  result<std::string> folder =
      fs.make_private_folder(final_folder.empty() ? "." : final_folder, kStagingPrefix);
  if (!folder.is_ok()) {
    return folder.status();
  }
  std::string path =
      join_path(*folder, staged_name.empty() ? file_name_of(final_path) : std::string(staged_name));
  return staged_output(fs, std::move(folder).value(), final_path, std::move(path));
}

staged_output::staged_output(staged_output&& other) noexcept
    : fs_(other.fs_),
      folder_(std::exchange(other.folder_, std::string())),
      final_path_(std::move(other.final_path_)),
      path_(std::move(other.path_)) {}

staged_output::~staged_output() {
  if (!folder_.empty()) {
    (void)fs_->remove_tree(folder_);
  }
}

status staged_output::commit() {
  std::vector<folder_entry> entries;
  if (const status listed = fs_->enumerate(folder_, "*", entries); !listed.is_ok()) {
    return listed;
  }
  if (entries.empty()) {
    return status::error("The writer made no file for " + final_path_, final_path_);
  }
  const std::string staged_name = file_name_of(path_);
  auto final_name = [&](const std::string& name) {
    return name == staged_name ? final_path_ : folder_of(final_path_) + name;
  };
  if (entries.size() == 1) {
    // One file replaces its old self in one step.
    return fs_->rename(join_path(folder_, entries.front().name), final_name(entries.front().name));
  }
  // The files of one output (YUV planes) arrive together or not at all: the
  // files they replace are first moved aside into the staging folder, and
  // when one move fails every move made is undone, newest first, so the
  // earlier output stays whole. The staging folder goes with what is left.
  std::vector<std::pair<std::string, std::string>> done;  // from, to
  auto move = [&](const std::string& from, const std::string& to) {
    status moved = fs_->rename(from, to);
    if (moved.is_ok()) {
      done.emplace_back(from, to);
    }
    return moved;
  };
  for (const folder_entry& entry : entries) {
    const std::string from = join_path(folder_, entry.name);
    const std::string to = final_name(entry.name);
    status moved = status::ok();
    if (fs_->stat(to).kind != file_kind::missing) {
      moved = move(to, join_path(folder_, ".replaced-" + entry.name));
    }
    if (moved.is_ok()) {
      moved = move(from, to);
    }
    if (!moved.is_ok()) {
      for (auto undo = done.rbegin(); undo != done.rend(); ++undo) {
        (void)fs_->rename(undo->second, undo->first);
      }
      return moved;
    }
  }
  return status::ok();
}

namespace {

// Leads with the file the caller named: the staging names in the reason that
// follows mean nothing to a user on their own.
status naming_path(const std::string& path, status written) {
  return written.is_ok() ? written
                         : status::error("Cannot write " + path + ": " + written.reason(), path);
}

}  // namespace

status write_file_atomically(file_system& fs, const std::string& path, std::string_view contents) {
  return naming_path(path, stage_whole_file(fs, path, contents, kWholeFileName, std::nullopt));
}

status write_file_atomically(file_system& fs, const std::string& path, std::string_view contents,
                             unsigned permissions) {
  return naming_path(path, stage_whole_file(fs, path, contents, {}, permissions));
}

}  // namespace zq::platform
