#include "platform/file_system.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "common/paths.h"

namespace zq::platform {
namespace {

// flock on `fd`, tried again every few milliseconds for up to `patience`:
// flock itself either fails at once or waits for ever, and a lock that a
// stranger may hold must never stop a run for ever.
result<bool> lock_descriptor(int fd, const std::string& path, file_lock kind,
                             std::chrono::milliseconds patience) {
  const int operation = (kind == file_lock::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    if (::flock(fd, operation) == 0) {
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EWOULDBLOCK) {
      return file_error("Cannot lock", path, errno);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

status refusal(const std::string& action, const std::string& path, const std::string& why) {
  return status::error(action + " " + path + ": " + why, path);
}

class posix_file final : public writable_file {
 public:
  posix_file(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~posix_file() override {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  posix_file(const posix_file&) = delete;
  posix_file& operator=(const posix_file&) = delete;

  status append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t count = ::write(fd_, bytes.data(), bytes.size());
      if (count < 0) {
        if (errno == EINTR) {
          continue;
        }
        return file_error("Cannot write", path_, errno);
      }
      bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return status::ok();
  }

  status sync() override {
    return ::fsync(fd_) == 0 ? status::ok() : file_error("Cannot write", path_, errno);
  }

  status close() override {
    // Linux releases the descriptor even when close fails: never close twice.
    return ::close(std::exchange(fd_, -1)) == 0 ? status::ok()
                                                : file_error("Cannot close", path_, errno);
  }

  result<bool> lock(file_lock kind, std::chrono::milliseconds patience) override {
    return lock_descriptor(fd_, path_, kind, patience);
  }

  status truncate() override {
    return ::ftruncate(fd_, 0) == 0 ? status::ok() : file_error("Cannot write", path_, errno);
  }

 private:
  std::string path_;
  int fd_;
};

// A descriptor opened only to hold a lock; closing it releases the lock.
class posix_lock final : public held_lock {
 public:
  explicit posix_lock(int fd) : fd_(fd) {}
  ~posix_lock() override { ::close(fd_); }
  posix_lock(const posix_lock&) = delete;
  posix_lock& operator=(const posix_lock&) = delete;

 private:
  int fd_;
};

class descriptor {
 public:
  explicit descriptor(int fd) : fd_(fd) {}
  ~descriptor() { ::close(fd_); }
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;

 private:
  int fd_;
};

status read_refusal(const std::string& path, const std::string& why) {
  return status::error("Cannot read " + path + ": " + why, path);
}

// Up to `limit` bytes of a regular file; when `whole`, a longer file is
// refused rather than cut.
result<std::string> read_regular_file(const std::string& path, std::size_t limit, bool whole) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer that may never come.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return file_error("Cannot read", path, errno);
  }
  const descriptor closer(fd);
  struct stat found;
  if (::fstat(fd, &found) != 0) {
    return file_error("Cannot read", path, errno);
  }
  if (!S_ISREG(found.st_mode)) {
    return read_refusal(path, "not a regular file");
  }
  const std::string too_large = "larger than " + std::to_string(limit) + " bytes";
  const auto size = static_cast<std::uint64_t>(found.st_size);
  if (whole && size > limit) {
    return read_refusal(path, too_large);
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size, limit)));
  char chunk[65536];
  while (whole || bytes.size() < limit) {
    const ssize_t count = ::read(fd, chunk, sizeof chunk);
    if (count == 0) {
      break;
    }
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return file_error("Cannot read", path, errno);
    }
    const std::size_t room = limit - bytes.size();
    if (static_cast<std::size_t>(count) > room) {
      if (whole) {
        return read_refusal(path, too_large);  // it grew since it was measured
      }
      bytes.append(chunk, room);
      break;
    }
    bytes.append(chunk, static_cast<std::size_t>(count));
  }
  return bytes;
}

file_info info_of(const std::string& path, int (*look)(const char*, struct stat*)) {
  file_info info;
  struct stat found;
  if (look(path.c_str(), &found) != 0) {
    return info;
  }
  info.kind = S_ISREG(found.st_mode)   ? file_kind::regular
              : S_ISDIR(found.st_mode) ? file_kind::folder
              : S_ISLNK(found.st_mode) ? file_kind::symlink
                                       : file_kind::other;
  info.size = static_cast<std::uint64_t>(found.st_size);
  info.modified = found.st_mtime;
  info.permissions = found.st_mode & 0777;
  info.owned_by_user = found.st_uid == ::geteuid();
  info.device = static_cast<std::uint64_t>(found.st_dev);
  info.inode = static_cast<std::uint64_t>(found.st_ino);
  return info;
}

class posix_file_system final : public file_system {
 public:
  file_info stat(const std::string& path) override { return info_of(path, ::lstat); }
  file_info stat_target(const std::string& path) override { return info_of(path, ::stat); }

  status make_folder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) == 0) {
      return status::ok();
    }
    const int error = errno;

    struct stat found;
    if (error == EEXIST && ::stat(path.c_str(), &found) == 0 && S_ISDIR(found.st_mode)) {
      return status::ok();
    }
    return file_error("Cannot create folder", path, error);
  }

  status enumerate(const std::string& folder, const std::string& pattern,
                   std::vector<folder_entry>& entries) override {
    return enumerate_folder(folder, pattern, entries);
  }

  result<std::unique_ptr<writable_file>> open_for_write(const std::string& path,
                                                        open_mode mode) override {
    // Opened for appending whatever the mode, so that nothing is cut before
    // the file is known to be this user's.
    const result<int> fd = open_descriptor_for_writing(path, open_mode::append);
    if (!fd.is_ok()) {
      return fd.status();
    }
    auto file = std::make_unique<posix_file>(path, *fd);
    struct stat found;
    if (::fstat(*fd, &found) != 0) {
      return file_error("Cannot open", path, errno);
    }
    if (found.st_uid != ::geteuid()) {
      return status::error("Cannot open " + path + " for writing: it belongs to another user",
                           path);
    }
    if (mode == open_mode::truncate) {
      if (status cut = file->truncate(); !cut.is_ok()) {
        return cut;
      }
    }
    std::unique_ptr<writable_file> opened = std::move(file);
    return opened;
  }

  result<std::unique_ptr<held_lock>> lock_own_file(const std::string& path, file_lock kind,
                                                   std::chrono::milliseconds patience) override {
    // Without O_NONBLOCK a FIFO planted under the name would hold the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      if (errno == ELOOP) {
        return refusal("Cannot read", path, "it is a symbolic link");
      }
      return file_error("Cannot read", path, errno);
    }
    auto held = std::make_unique<posix_lock>(fd);
    struct stat found;
    if (::fstat(fd, &found) != 0) {
      return file_error("Cannot read", path, errno);
    }
    if (!S_ISREG(found.st_mode)) {
      return refusal("Cannot read", path, "not a regular file");
    }
    if (found.st_uid != ::geteuid()) {
      return refusal("Cannot read", path, "it belongs to another user");
    }
    const result<bool> locked = lock_descriptor(fd, path, kind, patience);
    if (!locked.is_ok()) {
      return locked.status();
    }
    if (!*locked) {
      return refusal("Cannot lock", path, "another process holds it");
    }
    std::unique_ptr<held_lock> lock = std::move(held);
    return lock;
  }

  result<std::string> read_file(const std::string& path, std::size_t limit) override {
    return read_regular_file(path, limit, true);
  }

  result<std::string> read_head(const std::string& path, std::size_t count) override {
    return read_regular_file(path, count, false);
  }

  status rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      return file_error("Cannot rename " + from + " to", to, errno);
    }
    return status::ok();
  }

  status set_permissions(const std::string& path, unsigned permissions) override {
    if (::fchmodat(AT_FDCWD, path.c_str(), permissions, AT_SYMLINK_NOFOLLOW) != 0) {
      return file_error("Cannot set the permissions of", path, errno);
    }
    return status::ok();
  }

  status remove(const std::string& path) override { return remove_file(path); }

  status remove_tree(const std::string& path) override {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    return error ? file_error("Cannot delete", path, error.value()) : status::ok();
  }

  result<std::string> make_private_folder(const std::string& folder,
                                          const std::string& prefix) override {
    std::string path = join_normalized(folder, prefix + "XXXXXX");
    if (::mkdtemp(path.data()) == nullptr) {
      return file_error("Cannot create a folder in", folder, errno);
    }
    return path;
  }

  std::string temp_path() override { return system_temp_path(); }
};

}  // namespace

file_system& real_file_system() {
  static posix_file_system instance;
  return instance;
}

void create_folder_chain(file_system& fs, const std::string& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] == kPathSeparator) {
      (void)fs.make_folder(path.substr(0, i));
    }
  }
}

}  // namespace zq::platform
