// Stand-ins the picker and launch tests share, with and without widgets: a
// system temporary folder of the test's own, engine starters that record
// their command lines instead of running anything, an opener that records
// what it was asked to open, and sample files.
#pragma once

#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "../../platform/test_folder.h"
#include "gui/core/desktop_opener.h"
#include "gui/core/launch.h"
#include "platform/file_system.h"

namespace zq::gui {

// A file of `size` bytes, with its folders; `modified` in seconds since the
// epoch when not 0.
inline void make_file(const std::string& path, std::size_t size, std::time_t modified = 0) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  platform::write_bytes(path, std::string(size, 'x'));
  if (modified != 0) {
    const utimbuf times{modified, modified};
    ::utime(path.c_str(), &times);
  }
}

// The system temporary folder moved into a folder of the test's.
class temp_in final : public platform::forwarding_file_system {
 public:
  temp_in(platform::file_system& base, std::string temp)
      : forwarding_file_system(base), temp_(std::move(temp)) {}
  std::string temp_path() override { return temp_ + "/"; }

 private:
  std::string temp_;
};

// Records every start as "<program> <argument>". Each engine "runs" until
// the test ends it with end_one(), or ends at once with `instant`; with
// `refuse_with` set, none can start.
class recording_starter final : public engine_starter {
 public:
  void start(const std::string& program, const std::string& argument,
             std::function<void(status)> ended) override {
    started.push_back(program + " " + argument);
    if (!refuse_with.empty()) {
      ended(status::error(refuse_with));
    } else if (instant) {
      ended(status::ok());
    } else {
      pending.push_back(std::move(ended));
    }
  }
  // Ends the engine that runs now.
  void end_one() {
    ASSERT_EQ(pending.size(), 1u) << "exactly one engine runs at a time";
    auto ended = std::move(pending.front());
    pending.clear();
    ended(status::ok());
  }

  std::vector<std::string> started;
  std::vector<std::function<void(status)>> pending;
  std::string refuse_with;
  bool instant = false;
};

class recording_opener final : public desktop_opener {
 public:
  bool open(const std::string& path) override {
    opened.push_back(path);
    return works;
  }
  std::vector<std::string> opened;
  bool works = true;
};

}  // namespace zq::gui
