// A scratch folder per test, with helpers to write job files and read back
// what the engine wrote, and the run that every stage of the engine takes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>

#include "common/diagnostics.h"
#include "engine/engine_settings.h"
#include "engine/format_routes.h"
#include "engine/report.h"
#include "platform/file_system.h"

namespace zq::engine {

// Failed expectations name the result instead of showing its bytes.
inline void PrintTo(converter_result result, std::ostream* out) {
  switch (result) {
    case converter_result::not_converted:
      *out << "not_converted";
      return;
    case converter_result::converted:
      *out << "converted";
      return;
    case converter_result::stop:
      *out << "stop";
      return;
    case converter_result::stop_not_converted:
      *out << "stop_not_converted";
      return;
  }
  *out << "converter_result " << static_cast<int>(result);
}

}  // namespace zq::engine

namespace zq::engine::testing {

class scratch_folder {
 public:
  scratch_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zq_test_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~scratch_folder() { std::filesystem::remove_all(path_); }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  // With a trailing separator, as the platform gives folders.
  std::string path() const { return path_ + "/"; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  void write(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
    std::ofstream(file(name), std::ios::binary) << bytes;
  }

  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

 private:
  std::string path_;
};

// What a shell command prints on standard output (tools such as identify,
// tiffinfo and pdfinfo read the engine's outputs independently).
inline std::string command_output(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return text;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    text += buffer;
  }
  pclose(pipe);
  return text;
}

// One run as a stage sees it: settings, state, the messages it says (kept for
// the test to read) and the file system it writes through, the real one
// unless the test hands in another. The run refers to the members, so a test
// may change the settings between stages; the object stays where it was made.
struct test_run {
  explicit test_run(engine_settings initial = {},
                    platform::file_system& files = platform::real_file_system())
      : settings(std::move(initial)), run{settings, state, files, messages} {}
  test_run(const test_run&) = delete;
  test_run& operator=(const test_run&) = delete;

  engine_settings settings;
  run_state state;
  recorded_diagnostics messages;
  engine_run run;
};

// A report the test reads back afterwards; a report that cannot be opened
// fails the test and leaves a stream that writes nothing.
inline report_stream open_report(const std::string& path,
                                 platform::open_mode mode = platform::open_mode::truncate,
                                 platform::file_system& files = platform::real_file_system()) {
  result<report_stream> opened = report_stream::open(files, path, mode);
  EXPECT_TRUE(opened.is_ok()) << path << ": " << opened.status().reason();
  return opened.is_ok() ? std::move(*opened) : report_stream();
}

}  // namespace zq::engine::testing
