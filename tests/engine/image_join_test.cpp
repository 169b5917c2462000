#include "engine/image_join.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::scratch_folder;

platform::file_system& real_files() { return platform::real_file_system(); }

// Per frame: size and a digest of the pixels, as an independent reader sees them.
std::string frames_of(const std::string& file) {
  return command_output("identify -format '%m %wx%h %#\\n' '" + file + "' 2>&1");
}

std::vector<std::string> make_pages(const scratch_folder& folder, const std::string& extension) {
  const char* pages[] = {
      "-size 40x30 xc:red",
      "-size 64x20 gradient:white-black -monochrome",
      "-size 40x30 plasma:fractal -seed 7 -colors 200",
  };
  std::vector<std::string> paths;
  for (const char* page : pages) {
    paths.push_back(folder.file("page" + std::to_string(paths.size()) + extension));
    EXPECT_EQ(std::system(("convert " + std::string(page) + " '" + paths.back() + "'").c_str()), 0);
  }
  return paths;
}

TEST(ImageJoin, DcxHoldsEveryPcxPageInOrder) {
  scratch_folder folder;
  const std::vector<std::string> pages = make_pages(folder, ".pcx");
  const std::string output = folder.file("out.dcx");
  ASSERT_TRUE(join_dcx_files(real_files(), pages, output).is_ok());
  std::string expected;
  for (const std::string& page : pages) {
    expected += frames_of(page);
  }
  std::string actual = frames_of(output);
  EXPECT_EQ(actual, std::regex_replace(expected, std::regex("PCX"), "DCX"));
}

TEST(ImageJoin, GifFramesKeepTheirOwnColours) {
  scratch_folder folder;
  const std::vector<std::string> pages = make_pages(folder, ".gif");
  const std::string output = folder.file("out.gif");
  ASSERT_TRUE(join_gif_files(real_files(), pages, output).is_ok());
  std::string expected;
  for (const std::string& page : pages) {
    expected += frames_of(page);
  }
  EXPECT_EQ(frames_of(output), expected);
  // One screen as large as the largest frame.
  EXPECT_EQ(command_output("identify -format '%Wx%H\\n' '" + output + "[0]'"), "64x30\n");
}

TEST(ImageJoin, RefusesWhatCannotBeJoined) {
  scratch_folder folder;
  folder.write("broken.gif", "GIF89a\x10\x00\x10\x00\x80");
  EXPECT_FALSE(
      join_gif_files(real_files(), {folder.file("broken.gif")}, folder.file("a.gif")).is_ok());
  EXPECT_FALSE(
      join_gif_files(real_files(), {folder.file("none.gif")}, folder.file("b.gif")).is_ok());
  EXPECT_FALSE(
      join_dcx_files(real_files(), {folder.file("none.pcx")}, folder.file("c.dcx")).is_ok());
  const std::vector<std::string> too_many(1024, folder.file("none.pcx"));
  EXPECT_FALSE(join_dcx_files(real_files(), too_many, folder.file("d.dcx")).is_ok());
}

// The joined file is written through the file system: a disk that fills, a
// file that cannot be made or a close that fails each fail the join, naming
// the file and the system's reason.
TEST(ImageJoin, WriteFailuresFailTheJoin) {
  scratch_folder folder;
  const std::vector<std::string> gif_pages = make_pages(folder, ".gif");
  const std::vector<std::string> pcx_pages = make_pages(folder, ".pcx");
  const struct {
    const char* what;
    void (*arm)(platform::fault_injecting_file_system&);
    int error;
  } faults[] = {
      {"disk full", [](platform::fault_injecting_file_system& f) { f.fail_writes_after(40); },
       ENOSPC},
      {"file refused",
       [](platform::fault_injecting_file_system& f) { f.fail_open_for_write("out.", EROFS); },
       EROFS},
      {"close fails", [](platform::fault_injecting_file_system& f) { f.fail_close("out."); }, EIO},
  };
  for (const auto& fault : faults) {
    for (const bool gif : {true, false}) {
      SCOPED_TRACE(std::string(fault.what) + (gif ? ", GIF" : ", DCX"));
      platform::fault_injecting_file_system files;
      fault.arm(files);
      const std::string output = folder.file(gif ? "out.gif" : "out.dcx");
      const status joined =
          gif ? join_gif_files(files, gif_pages, output) : join_dcx_files(files, pcx_pages, output);
      ASSERT_FALSE(joined.is_ok());
      EXPECT_NE(joined.reason().find(output), std::string::npos) << joined.reason();
      EXPECT_NE(joined.reason().find(std::strerror(fault.error)), std::string::npos)
          << joined.reason();
    }
  }
}

}  // namespace
}  // namespace zq::engine
