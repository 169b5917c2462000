// The operating-system services the programs use, in one place: temporary and
// own folders, folder enumeration, files in shared folders, processes.
#pragma once

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/status.h"

namespace zq::platform {

// $TMPDIR when it names an existing folder, else "/tmp"; always with a trailing "/".
std::string system_temp_path();

// The folder of the running executable (/proc/self/exe), with a trailing "/".
std::string own_folder();

struct folder_entry {
  std::string name;
  bool is_directory = false;
};

// Whether `name` matches `pattern` as the Windows find calls match: '*' any run,
// '?' one character, ASCII case ignored, and a pattern ending in a dot and a
// three-character extension also matches longer extensions that begin with it
// ("*.tif" matches "a.tiff").
bool wildcard_match(const std::string& pattern, const std::string& name);

// The entries of one folder whose names match `pattern` ("*.tif", "*.*"),
// without "." and "..", sorted by their ASCII-lower-cased bytes (ties by the
// bytes themselves). A symbolic link reports is_directory = false, so recursive
// walks never follow it. Fails when the folder cannot be read.
status enumerate_folder(const std::string& folder, const std::string& pattern,
                        std::vector<folder_entry>& entries);

// A failed call on `path` as the platform layer reports it: "<action> <path>:
// <the system's text for error>", with the path as the detail.
status file_error(std::string_view action, const std::string& path, int error);

enum class open_mode { truncate, append };

// Opens a regular file for writing without following a symbolic link in its
// last component (O_NOFOLLOW), created with mode 0666 minus the umask. Safe for
// files in shared temporary folders. The caller owns the descriptor.
result<int> open_descriptor_for_writing(const std::string& path, open_mode mode);

// The same as a binary stdio stream. Returns nullptr and fills `error` on failure.
std::FILE* open_for_writing(const std::string& path, open_mode mode, std::string* error = nullptr);

// Deletes a file; a missing file is not a failure.
status remove_file(const std::string& path);

bool file_exists(const std::string& path);
bool folder_exists(const std::string& path);

// Starts `program` with exactly one argument (argv = {program, argument}), no
// shell, and waits for it to end. Returns its exit code in `exit_code`
// (128 + signal number when a signal ended it). Fails when it cannot start.
status run_and_wait(const std::string& program, const std::string& argument, int& exit_code);

// A worker process: a copy of this one made by fork(), which answers the
// requests it is sent, one at a time, with `serve` (bytes in, bytes out). The
// child has only the thread that started it, keeps what it learns from one
// request to the next (its memory, its loaded libraries), and ends without
// running exit handlers when this object goes away.
class worker_process {
 public:
  using server = std::function<std::string(std::string_view request)>;

  static result<std::unique_ptr<worker_process>> start(server serve);
  ~worker_process();
  worker_process(const worker_process&) = delete;
  worker_process& operator=(const worker_process&) = delete;

  // Sends `request` and waits for the answer. While waiting, a stop this
  // process was asked for (`*stop` non-zero: a signal's number) is passed on
  // to the child as that signal, once. Fails when the child ended without
  // answering (a crash, an exception): the reason says how it ended, and the
  // object can answer nothing more (alive() is false).
  result<std::string> ask(std::string_view request, const volatile std::sig_atomic_t* stop);
  bool alive() const { return child_ > 0; }

 private:
  worker_process(int child, int channel) : child_(child), channel_(channel) {}
  status ended();  // closes the channel, waits for the child, says how it ended

  int child_;
  int channel_;  // requests out, answers in
};

// The address of `symbol` in the shared library `path` (a bare file name is
// looked up as the dynamic loader looks up a program's libraries), loaded on first use
// and never unloaded: objects the library made may outlive any one caller.
// Fails with the loader's own reason (a missing file, a missing symbol).
status find_library_symbol(const std::string& path, const char* symbol, void*& address);

}  // namespace zq::platform
