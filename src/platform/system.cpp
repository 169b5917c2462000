#include "platform/system.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "common/paths.h"

extern char** environ;

namespace zq::platform {

namespace {


// '*' any run, '?' one character, ASCII case ignored. Backtracks only to the
// most recent '*', which is enough because a later '*' absorbs any longer run.
bool plain_wildcard_match(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || ascii_lower(pattern[p]) == ascii_lower(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

bool by_folded_name(const folder_entry& a, const folder_entry& b) {
  const auto order = std::lexicographical_compare_three_way(
      a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
      [](char x, char y) { return ascii_lower(x) <=> ascii_lower(y); });
  return order != 0 ? order < 0 : a.name < b.name;
}

struct dir_closer {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string errno_text() { return std::strerror(errno); }

status open_failure(const std::string& path, const std::string& reason) {
  return status::error("Cannot open " + path + " for writing: " + reason, path);
}

}  // namespace

std::string system_temp_path() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string folder = tmpdir != nullptr && folder_exists(tmpdir) ? tmpdir : "/tmp";
  while (!folder.empty() && folder.back() == kPathSeparator) {
    folder.pop_back();
  }
  folder.push_back(kPathSeparator);
  return folder;
}

std::string own_folder() {
  // The link's length is not known in advance; grow until it fits.
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
    if (length < 0) {
      return std::string();  // no /proc: names then resolve against the current folder
    }
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return folder_of(target);
    }
    target.resize(target.size() * 2);
  }
}

bool wildcard_match(const std::string& pattern, const std::string& name) {
  const std::string_view p = pattern;
  const std::string_view n = name;
  if (plain_wildcard_match(p, n)) {
    return true;
  }
  // Windows lets a trailing ".*" match no extension at all, so "*.*" is every name.
  if (p.ends_with(".*") && plain_wildcard_match(p.substr(0, p.size() - 2), n)) {
    return true;
  }
  // Windows also matches the 8.3 short name, whose extension is the first three
  // characters of the long one: "*.tif" finds "a.tiff" through "A~1.TIF".
  const std::size_t pattern_dot = p.rfind('.');
  if (pattern_dot == std::string_view::npos || p.size() - pattern_dot != 4 ||
      p.find_first_of("*?", pattern_dot) != std::string_view::npos) {
    return false;
  }
  const std::size_t name_dot = n.rfind('.');
  return name_dot != std::string_view::npos && n.size() - name_dot > 4 &&
         equals_ignoring_ascii_case(p.substr(pattern_dot), n.substr(name_dot, 4)) &&
         plain_wildcard_match(p.substr(0, pattern_dot), n.substr(0, name_dot));
}

status enumerate_folder(const std::string& folder, const std::string& pattern,
                        std::vector<folder_entry>& entries) {
  entries.clear();
  const std::unique_ptr<DIR, dir_closer> dir(::opendir(folder.c_str()));
  if (!dir) {
    return file_error("Cannot read folder", folder, errno);
  }
  std::vector<folder_entry> found;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        return file_error("Cannot read folder", folder, errno);
      }
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !wildcard_match(pattern, name)) {
      continue;
    }
    // lstat semantics: a link to a folder is not a folder, so walks never loop.
    struct stat info;
    const bool is_directory =
        ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(info.st_mode);
    found.push_back({name, is_directory});
  }
  std::sort(found.begin(), found.end(), by_folded_name);
  entries = std::move(found);
  return status::ok();
}

status file_error(std::string_view action, const std::string& path, int error) {
  return status::error(std::string(action) + " " + path + ": " + std::strerror(error), path);
}

result<int> open_descriptor_for_writing(const std::string& path, open_mode mode) {
  // O_NONBLOCK keeps a FIFO planted under the name from blocking the open
  // forever; it changes nothing for the regular files accepted below.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK |
                    (mode == open_mode::truncate ? O_TRUNC : O_APPEND);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    // O_NOFOLLOW and O_NONBLOCK report a link or a FIFO with an obscure errno;
    // name what the user will find at the path instead.
    const int open_error = errno;
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      return open_failure(path,
                          S_ISLNK(info.st_mode) ? "it is a symbolic link" : "not a regular file");
    }
    return open_failure(path, std::strerror(open_error));
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return open_failure(path, "not a regular file");
  }
  return fd;
}

std::FILE* open_for_writing(const std::string& path, open_mode mode, std::string* error) {
  const result<int> fd = open_descriptor_for_writing(path, mode);
  status failure = fd.status();
  if (fd.is_ok()) {
    if (std::FILE* file = ::fdopen(*fd, mode == open_mode::truncate ? "wb" : "ab")) {
      return file;
    }
    failure = open_failure(path, errno_text());
    ::close(*fd);
  }
  if (error != nullptr) {
    *error = failure.reason();
  }
  return nullptr;
}

status remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return file_error("Cannot delete", path, errno);
  }
  return status::ok();
}

bool file_exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool folder_exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

status run_and_wait(const std::string& program, const std::string& argument, int& exit_code) {
  std::string program_copy = program;
  std::string argument_copy = argument;
  char* const argv[] = {program_copy.data(), argument_copy.data(), nullptr};
  pid_t child = 0;
  const int spawn_error = ::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ);
  if (spawn_error != 0) {
    return status::error("Cannot start " + program + ": " + std::strerror(spawn_error));
  }
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
    if (errno != EINTR) {
      return status::error("Cannot wait for " + program + ": " + errno_text());
    }
  }
  exit_code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  return status::ok();
}

status find_library_symbol(const std::string& path, const char* symbol, void*& address) {
  // dlopen counts the loads of one library and maps it once. Functions are
  // bound on their first call, as the program loader binds the program's
  // own: binding all of a large library's at once (ImageMagick's forty-odd)
  // would cost every run that loads it over a millisecond.
  void* library = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (library == nullptr) {
    return status::error(dlerror());
  }
  dlerror();
  address = dlsym(library, symbol);
  if (address == nullptr) {
    const char* reason = dlerror();
    return status::error(reason != nullptr ? reason : path + ": " + symbol + " is empty");
  }
  return status::ok();
}

namespace {

// Writes all of `bytes` to `descriptor`; false on the first failure.
bool write_all(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    // A peer that is gone fails the call with EPIPE instead of raising SIGPIPE.
    const ssize_t written = ::send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Messages between the processes: eight bytes of length, then the bytes.
bool write_message(int descriptor, std::string_view message) {
  char length[8];
  for (int i = 0; i < 8; ++i) {
    length[i] = static_cast<char>(static_cast<std::uint64_t>(message.size()) >> (8 * i));
  }
  return write_all(descriptor, std::string_view(length, sizeof length)) &&
         write_all(descriptor, message);
}

// Reads `count` bytes into `into`; false at the end of the pipe or on a
// failure. Waits in steps of 100 ms, calling `waiting` between them.
template <typename Waiting>
bool read_exactly(int descriptor, std::size_t count, std::string& into, Waiting waiting) {
  into.clear();
  while (into.size() < count) {
    pollfd ready{descriptor, POLLIN, 0};
    constexpr int kStepMilliseconds = 100;
    const int polled = ::poll(&ready, 1, kStepMilliseconds);
    if (polled == 0 || (polled < 0 && errno == EINTR)) {
      waiting();
      continue;
    }
    char buffer[64 * 1024];
    const std::size_t want = std::min(sizeof buffer, count - into.size());
    const ssize_t got = polled < 0 ? -1 : ::read(descriptor, buffer, want);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    into.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

template <typename Waiting>
bool read_message(int descriptor, std::string& message, Waiting waiting) {
  std::string length;
  if (!read_exactly(descriptor, 8, length, waiting)) {
    return false;
  }
  std::uint64_t size = 0;
  for (int i = 7; i >= 0; --i) {
    size = size << 8 | static_cast<unsigned char>(length[static_cast<std::size_t>(i)]);
  }
  return read_exactly(descriptor, static_cast<std::size_t>(size), message, waiting);
}

// The child's loop: a request, its answer, until the requests end.
[[noreturn]] void serve_requests(int channel, const worker_process::server& serve) {
  std::string request;
  bool answered = true;
  try {
    while (answered && read_message(channel, request, [] {})) {
      answered = write_message(channel, serve(request));
    }
  } catch (...) {
    answered = false;
  }
  (void)std::fflush(nullptr);
  ::_exit(answered ? 0 : 1);
}

}  // namespace

namespace {

// This process's ends of the channels of its live workers. A new worker
// closes its copies of them: held open there, they would keep the other
// workers from ever seeing their requests end.
std::mutex channels_mutex;
std::vector<int> open_channels;

}  // namespace

result<std::unique_ptr<worker_process>> worker_process::start(server serve) {
  const std::lock_guard lock(channels_mutex);
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    return status::error(std::string("cannot start a worker process: ") + std::strerror(errno));
  }
  // What this process has buffered is written now, so the child neither
  // writes it again nor loses what it writes itself.
  (void)std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    for (const int channel : open_channels) {
      ::close(channel);
    }
    serve_requests(ends[1], serve);
  }
  const int error = errno;
  ::close(ends[1]);
  if (child < 0) {
    ::close(ends[0]);
    return status::error(std::string("cannot start a worker process: ") + std::strerror(error));
  }
  open_channels.push_back(ends[0]);
  return std::unique_ptr<worker_process>(new worker_process(child, ends[0]));
}

worker_process::~worker_process() {
  if (alive()) {
    (void)ended();
  }
}

result<std::string> worker_process::ask(std::string_view request,
                                        const volatile std::sig_atomic_t* stop) {
  if (!alive()) {
    return status::error("the worker process has ended");
  }
  bool passed_on = false;
  auto pass_on_stop = [&] {
    if (stop != nullptr && *stop != 0 && !passed_on) {
      (void)::kill(child_, *stop);
      passed_on = true;
    }
  };
  std::string answer;
  if (write_message(channel_, request) && read_message(channel_, answer, pass_on_stop)) {
    return answer;
  }
  const status ending = ended();
  return ending.is_ok() ? status::error("the worker process ended without answering") : ending;
}

status worker_process::ended() {
  {
    const std::lock_guard lock(channels_mutex);
    std::erase(open_channels, channel_);
    ::close(channel_);
  }
  int wait_status = 0;
  while (::waitpid(child_, &wait_status, 0) < 0 && errno == EINTR) {
  }
  child_ = -1;
  if (WIFSIGNALED(wait_status)) {
    const int signal = WTERMSIG(wait_status);
    const char* name = strsignal(signal);
    return status::error("the conversion process ended by signal " + std::to_string(signal) +
                         (name != nullptr ? std::string(" (") + name + ")" : std::string()));
  }
  if (WEXITSTATUS(wait_status) != 0) {
    return status::error("the conversion process ended with exit code " +
                         std::to_string(WEXITSTATUS(wait_status)));
  }
  return status::ok();
}

}  // namespace zq::platform
