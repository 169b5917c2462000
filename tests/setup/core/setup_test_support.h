// Scratch folders, byte-level file helpers and an independent reader of
// desktop entries (the string escapes and Exec quoting undone by the
// desktop-entry rules, not by the writer's code) for the installer's tests.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zq::setup {

class scratch_folder {
 public:
  scratch_folder() : path_(::testing::TempDir() + "zq_setup_XXXXXX") {
    if (::mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << path_;
  }
  ~scratch_folder() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void write_file(const std::string& path, const std::string& bytes, unsigned mode = 0644) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline unsigned mode_of(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Every name under `folder`: a temporary left behind shows up here.
inline std::set<std::string> tree_of(const std::string& folder) {
  std::set<std::string> names;
  if (std::filesystem::exists(folder)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      names.insert(std::filesystem::relative(entry.path(), folder).string());
    }
  }
  return names;
}

// The value of `key` with the string escapes (\s \n \t \r \\) undone.
inline std::optional<std::string> value_of(const std::string& entry, const std::string& key) {
  std::istringstream lines(entry);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string value;
    // The blanks after "=" are not part of the value, as every reader takes it.
    for (std::size_t i = line.find_first_not_of(' ', key.size() + 1); i < line.size(); ++i) {
      const char c = line[i] == '\\' && i + 1 < line.size() ? line[++i] : '\0';
      value.push_back(c == '\0'  ? line[i]
                      : c == 's' ? ' '
                      : c == 'n' ? '\n'
                      : c == 't' ? '\t'
                      : c == 'r' ? '\r'
                                 : c);
    }
    return value;
  }
  return std::nullopt;
}

// An Exec value split into arguments: quoting undone, then "%%" read as "%".
inline std::vector<std::string> exec_arguments(const std::string& command) {
  std::vector<std::string> arguments;
  for (std::size_t i = 0; i < command.size();) {
    if (command[i] == ' ') {
      ++i;
      continue;
    }
    std::string argument;
    const bool quoted = command[i] == '"';
    for (i += quoted; i < command.size() && command[i] != (quoted ? '"' : ' '); ++i) {
      if (quoted && command[i] == '\\' && i + 1 < command.size()) ++i;
      if (command[i] == '%' && i + 1 < command.size() && command[i + 1] == '%') ++i;
      argument.push_back(command[i]);
    }
    i += quoted;
    arguments.push_back(argument);
  }
  return arguments;
}

// What desktop-file-validate says about `file` (errors, warnings and hints
// alike) and its exit code; nullopt when the tool is not installed.
inline std::optional<std::string> validate(const std::string& file) {
  if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) return std::nullopt;
  std::string command = "desktop-file-validate '";
  for (const char c : file) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
  FILE* pipe = ::popen((command + "' 2>&1").c_str(), "r");
  std::string output;
  char chunk[512];
  for (std::size_t count; pipe && (count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
    output.append(chunk, count);
  }
  const int code = pipe ? ::pclose(pipe) : -1;
  return output + (code == 0 ? "" : "exit code " + std::to_string(code));
}

inline constexpr const char* kNoValidator =
    "desktop-file-validate is not installed (Debian package desktop-file-utils): "
    "the entries were read back but not validated";

}  // namespace zq::setup
