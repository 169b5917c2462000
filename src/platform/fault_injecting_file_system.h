// A file_system for tests that passes every call through to another one (the
// real one unless told otherwise) except the failures a test arms, and keeps
// a record of what it was asked to create, rename and remove. Failures read
// as real ones do (file_error), with the errno a test chooses.
//
// A `match` is a part of the path: a call fails when its path contains it, so
// "" fails every call. Faults stay armed until the object goes away, and so
// must every file opened through it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace zq::platform {

class fault_injecting_file_system final : public forwarding_file_system {
 public:
  explicit fault_injecting_file_system(file_system& base = real_file_system())
      : forwarding_file_system(base) {}

  // Like a disk with `bytes` left: the write that crosses the budget writes
  // the part that fits and fails; every later write fails. Counts what is
  // appended from now on to any file opened through this object.
  void fail_writes_after(std::uint64_t bytes, int error = ENOSPC);
  // make_folder, and make_private_folder by its folder followed by its prefix.
  void fail_make_folder(std::string match, int error = EACCES);
  // Matched against the new name.
  void fail_rename(std::string match, int error = EXDEV);
  void fail_open_for_write(std::string match, int error = EACCES);
  // The file is closed all the same, as a real failed close does.
  void fail_close(std::string match, int error = EIO);

  // What was asked, in order, failed calls included: "make_folder <path>",
  // "make_private_folder <path made, or the folder>", "open_for_write <path>",
  // "rename <from> -> <to>", "set_permissions <path>", "remove <path>",
  // "remove_tree <path>".
  const std::vector<std::string>& calls() const { return calls_; }

  status make_folder(const std::string& path) override;
  result<std::unique_ptr<writable_file>> open_for_write(const std::string& path,
                                                        open_mode mode) override;
  status rename(const std::string& from, const std::string& to) override;
  status set_permissions(const std::string& path, unsigned permissions) override;
  status remove(const std::string& path) override;
  status remove_tree(const std::string& path) override;
  result<std::string> make_private_folder(const std::string& folder,
                                          const std::string& prefix) override;

 private:
  struct fault {
    std::string match;
    int error = 0;
  };
  class budgeted_file;

  // The armed fault's errno when `path` matches it.
  static std::optional<int> fires(const std::optional<fault>& armed, const std::string& path);

  std::optional<std::uint64_t> write_budget_;
  int write_error_ = 0;
  std::optional<fault> make_folder_fault_;
  std::optional<fault> rename_fault_;
  std::optional<fault> open_fault_;
  std::optional<fault> close_fault_;
  std::vector<std::string> calls_;
};

}  // namespace zq::platform
