// Every file and folder operation the programs make goes through a
// file_system, so that a test can hand in one that fails on purpose (a full
// disk, a folder that cannot be made, a rename refused) and check that nothing
// half-written is left behind. The programs use real_file_system(); tests use
// the fault-injecting one of the zq_platform_testing library.
//
// Failures come back as file_error makes them (system.h): the reason is the
// sentence a user reads, naming the path and the system's own words ("Cannot
// write /out/a.pdf: No space left on device"), the detail is the path alone.
// Injected failures are made the same way, so they read like real ones.
//
// Paths are byte strings, used as given; nothing here normalises them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/status.h"
#include "platform/system.h"

namespace zq::platform {

enum class file_kind { missing, regular, folder, symlink, other };

struct file_info {
  file_kind kind = file_kind::missing;
  std::uint64_t size = 0;
  std::time_t modified = 0;
  unsigned permissions = 0;    // the rwx bits for owner, group and others
  bool owned_by_user = false;  // by the effective user of this process
  // Which file it is, whatever name reached it (0 for a missing one).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Whether two names reach one and the same existing file: one spelling of a
// path, a link to it, or a hard link to it.
inline bool same_file(const file_info& a, const file_info& b) {
  return a.kind != file_kind::missing && b.kind != file_kind::missing && a.device == b.device &&
         a.inode == b.inode;
}

// Advisory locks (flock) on files whose names runs share in a temp folder:
// readers and writers that may work side by side take `shared`, whoever must
// be alone (to cut or delete the file) takes `exclusive`. Only processes that
// take them are held back.
enum class file_lock { shared, exclusive };

// How long a lock is waited for before the caller goes on without it: the
// engine's own runs hold an exclusive lock only for a moment, so a longer
// wait means someone else holds it on purpose.
inline constexpr std::chrono::milliseconds kLockPatience{10000};

// A lock held on a file until the object goes away.
class held_lock {
 public:
  virtual ~held_lock() = default;
};

// A file open for writing, owned by whoever holds it. Destroying it without
// close() closes it quietly (and drops its lock): for callers that give up
// after a failure.
class writable_file {
 public:
  virtual ~writable_file() = default;

  // Writes all of `bytes` or fails; a failure may leave part of them written.
  virtual status append(std::string_view bytes) = 0;
  // Forces what was written to the disk, so that a rename that follows never
  // puts an empty file in place of a good one after a crash.
  virtual status sync() = 0;
  // The close that reports what a buffered or network file system held back.
  virtual status close() = 0;

  // Takes the lock on the open file, or changes the one it holds, trying for
  // up to `patience` (zero: once). True when held, false when another holder
  // stood in the way all that time; a failure when the file cannot be locked
  // at all (a file system without locks).
  virtual result<bool> lock(file_lock kind, std::chrono::milliseconds patience) = 0;

  // Cuts the file to nothing; what is appended next starts it afresh.
  virtual status truncate() = 0;
};

class file_system {
 public:
  virtual ~file_system() = default;

  // What is at `path` itself, without following a symbolic link in its last
  // component. `missing` also when it cannot be looked at.
  virtual file_info stat(const std::string& path) = 0;
  // What a path names once symbolic links are followed: what a reader opening
  // it by name gets.
  virtual file_info stat_target(const std::string& path) = 0;

  // Creates one folder (mode 0777 minus the umask); a folder that is already
  // there, or a link to one, is success.
  virtual status make_folder(const std::string& path) = 0;

  // As enumerate_folder: the matching entries of one folder, sorted, with
  // links never reported as folders.
  virtual status enumerate(const std::string& folder, const std::string& pattern,
                           std::vector<folder_entry>& entries) = 0;

  // Opens a regular file for writing, never through a symbolic link in the
  // last component, created with mode 0666 minus the umask. Safe in shared
  // temporary folders: a file that is there already must belong to this
  // process's effective user, or it is refused untouched (never cut first),
  // so that nobody can have a run write into a file they planted. Every
  // write appends, so that runs appending to one file never overwrite each
  // other.
  virtual result<std::unique_ptr<writable_file>> open_for_write(const std::string& path,
                                                                open_mode mode) = 0;

  // Locks a file that lies in a folder others can write to (a shared temp
  // folder) before it is read by name or deleted: only a regular file of this
  // process's effective user is locked, never one reached through a symbolic
  // link; anything else is refused, naming the file and why. A missing file
  // fails as a failed open does (stat() tells it apart). A lock still held
  // by another process after `patience` is a failure too.
  virtual result<std::unique_ptr<held_lock>> lock_own_file(const std::string& path, file_lock kind,
                                                           std::chrono::milliseconds patience) = 0;

  // The whole content of a regular file, following links. Anything else (a
  // folder, a FIFO, a device) is refused without waiting on it, and so is a
  // file larger than `limit` bytes, before it is read into memory.
  virtual result<std::string> read_file(const std::string& path, std::size_t limit) = 0;

  // The first `count` bytes of a regular file (all of it when shorter), with
  // the same refusals: enough to tell a file's kind by its signature.
  virtual result<std::string> read_head(const std::string& path, std::size_t count) = 0;

  // Gives a file or folder a new name, replacing a file of that name.
  virtual status rename(const std::string& from, const std::string& to) = 0;

  // Sets the rwx bits of a file; a symbolic link is refused, never followed.
  virtual status set_permissions(const std::string& path, unsigned permissions) = 0;

  // Deletes a file; a missing file is success.
  virtual status remove(const std::string& path) = 0;

  // Deletes a folder with everything in it (a link in it is removed, never
  // followed); a missing folder is success.
  virtual status remove_tree(const std::string& path) = 0;

  // Creates a new folder "<folder>/<prefix>XXXXXX" that only this user can
  // enter, and returns its path. `folder` must not be empty.
  virtual result<std::string> make_private_folder(const std::string& folder,
                                                  const std::string& prefix) = 0;

  // The system temporary folder, with a trailing separator (system_temp_path).
  virtual std::string temp_path() = 0;
};

// A file system that hands every call to another one; a stand-in derives
// from it and overrides only the calls it changes.
class forwarding_file_system : public file_system {
 public:
  explicit forwarding_file_system(file_system& base) : base_(base) {}

  file_info stat(const std::string& path) override { return base_.stat(path); }
  file_info stat_target(const std::string& path) override { return base_.stat_target(path); }
  status make_folder(const std::string& path) override { return base_.make_folder(path); }
  status enumerate(const std::string& folder, const std::string& pattern,
                   std::vector<folder_entry>& entries) override {
    return base_.enumerate(folder, pattern, entries);
  }
  result<std::unique_ptr<writable_file>> open_for_write(const std::string& path,
                                                        open_mode mode) override {
    return base_.open_for_write(path, mode);
  }
  result<std::unique_ptr<held_lock>> lock_own_file(const std::string& path, file_lock kind,
                                                   std::chrono::milliseconds patience) override {
    return base_.lock_own_file(path, kind, patience);
  }
  result<std::string> read_file(const std::string& path, std::size_t limit) override {
    return base_.read_file(path, limit);
  }
  result<std::string> read_head(const std::string& path, std::size_t count) override {
    return base_.read_head(path, count);
  }
  status rename(const std::string& from, const std::string& to) override {
    return base_.rename(from, to);
  }
  status set_permissions(const std::string& path, unsigned permissions) override {
    return base_.set_permissions(path, permissions);
  }
  status remove(const std::string& path) override { return base_.remove(path); }
  status remove_tree(const std::string& path) override { return base_.remove_tree(path); }
  result<std::string> make_private_folder(const std::string& folder,
                                          const std::string& prefix) override {
    return base_.make_private_folder(folder, prefix);
  }
  std::string temp_path() override { return base_.temp_path(); }

 protected:
  file_system& base() { return base_; }

 private:
  file_system& base_;
};

// The one real file system of the process.
file_system& real_file_system();

// Creates every folder above the last separator of `path`, from the left,
// ignoring every failure (most of them are folders that exist already; one
// that really cannot be made shows up when the file is written). The part
// after the last separator is not created, so an output file's path creates
// the folders that will hold it.
void create_folder_chain(file_system& fs, const std::string& path);

}  // namespace zq::platform
