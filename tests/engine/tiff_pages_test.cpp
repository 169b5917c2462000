#include "engine/tiff_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::scratch_folder;

platform::file_system& real_files() { return platform::real_file_system(); }

// Per page: compression, size, resolution and a digest of the decoded pixels,
// as an independent reader sees them.
std::string describe(const std::string& file) {
  return command_output("identify -format '%C %wx%h %x %y %#\\n' '" + file + "' 2>&1");
}

TEST(TiffJoin, CopiesEveryPageUnchangedInOrder) {
  scratch_folder folder;
  const struct {
    const char* name;
    const char* make;
  } inputs[] = {
      {"fax.tif",
       "-size 1728x300 xc:white -fill black -draw 'rectangle 10,10 500,100' -monochrome "
       "\\( +clone -draw 'circle 800,150 800,50' \\) -units PixelsPerInch -density 204x196 "
       "-compress Group4"},
      {"rgb.tif", "-size 64x48 gradient:red-blue -density 150 -compress LZW"},
      {"jpeg.tif", "-size 40x30 plasma:fractal -seed 3 -compress JPEG"},
      {"palette.tif", "-size 32x32 gradient:green-yellow -colors 8 -type Palette"},
      {"tiled.tif", "-size 100x90 gradient: -define tiff:tile-geometry=32x32 -compress Zip"},
  };
  std::vector<std::string> paths;
  std::string expected;
  for (const auto& input : inputs) {
    paths.push_back(folder.file(input.name));
    ASSERT_EQ(
        std::system(("convert " + std::string(input.make) + " '" + paths.back() + "'").c_str()), 0);
    expected += describe(paths.back());
  }

  const std::string joined = folder.file("joined.tif");
  ASSERT_TRUE(join_tiff_files(real_files(), paths, joined).is_ok());
  EXPECT_EQ(describe(joined), expected);
  const std::string info = command_output("tiffinfo '" + joined + "' 2>&1");
  EXPECT_NE(info.find("Page Number: 0-6"), std::string::npos) << info;
  EXPECT_NE(info.find("Page Number: 5-6"), std::string::npos) << info;
  EXPECT_EQ(info.find("Error"), std::string::npos) << info;
}

TEST(TiffJoin, UnreadableInputFailsNamingIt) {
  scratch_folder folder;
  folder.write("fake.tif", "%!PS-Adobe-3.0\n");
  const status joined =
      join_tiff_files(real_files(), {folder.file("fake.tif")}, folder.file("out.tif"));
  ASSERT_FALSE(joined.is_ok());
  EXPECT_NE(joined.reason().find(folder.file("fake.tif")), std::string::npos);

  const status missing_folder =
      join_tiff_files(real_files(), {}, folder.file("no/such/folder/out.tif"));
  EXPECT_FALSE(missing_folder.is_ok());
}

}  // namespace
}  // namespace zq::engine
