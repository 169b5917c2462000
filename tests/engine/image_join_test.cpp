#include "engine/image_join.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::scratch_folder;

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
  ASSERT_TRUE(join_dcx_files(pages, output).is_ok());
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
  ASSERT_TRUE(join_gif_files(pages, output).is_ok());
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
  EXPECT_FALSE(join_gif_files({folder.file("broken.gif")}, folder.file("a.gif")).is_ok());
  EXPECT_FALSE(join_gif_files({folder.file("none.gif")}, folder.file("b.gif")).is_ok());
  EXPECT_FALSE(join_dcx_files({folder.file("none.pcx")}, folder.file("c.dcx")).is_ok());
  const std::vector<std::string> too_many(1024, folder.file("none.pcx"));
  EXPECT_FALSE(join_dcx_files(too_many, folder.file("d.dcx")).is_ok());
}

}  // namespace
}  // namespace zq::engine
