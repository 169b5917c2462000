#include "jobfile/flat_output_path.h"

#include <gtest/gtest.h>

#include <string>

#include "jobfile/formats.h"

namespace zq {
namespace {

TEST(FlatOutputPath, FolderBaseNameAndExtension) {
  const struct {
    std::string target_folder;
    std::string source;
    int format;
    bool multi_file_pcx;
    std::string expected;
  } cases[] = {
      {"/out", "/in/scan.page1.tif", kFormatJpeg, false, "/out/scan.page1.jpg"},
      {"/out", "/in/a.tiff", kFormatTiff, false, "/out/a.tif"},
      {"/out", "/in.d/scan", kFormatBmp, false, "/out/scan.bmp"},
      {"/out", "/in/a.tif", kFormatYuv, false, "/out/a.yuv"},
      {"/out", "/in/a.tif", kFormatPcx, false, "/out/a.pcx"},
      {"/out", "/in/a.tif", kFormatPcx, true, "/out/a.dcx"},
      {"/out", "/in/a.tif", kFormatGif, true, "/out/a.gif"},  // the flag is PCX's alone
      {"/out", "/in/a.tif", kFormatTiff, true, "/out/a.tif"},
      {"/out", "/in/a.tif", kFormatPdf, true, "/out/a.pdf"},
      {"/out/", "/in/a.tif", kFormatPdf, false, "/out/a.pdf"},
      {"//out//sub///", "/in/a.tif", kFormatPng, false, "/out/sub/a.png"},
      // No network paths here: a leading pair collapses and case stays.
      {"//srv/Share", "name.tif", kFormatPdf, false, "/srv/Share/name.pdf"},
      {"/out", "/in/a.tif", kFormatNone, false, ""},
      {"/out", "/in/a.tif", 13, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(flat_output_path(c.target_folder, c.source, c.format, c.multi_file_pcx), c.expected)
        << c.target_folder << " " << c.source << " " << c.format;
  }
}

// The limit applies to the path handed over, after normalising; a longer one
// is refused whole, never cut to fit.
TEST(FlatOutputPath, LongestPathIsKeptLongerIsEmpty) {
  const std::string fits = "/" + std::string(4088, 'd');  // + "/a.jpg" = 4095 bytes
  EXPECT_EQ(flat_output_path(fits, "a.tif", kFormatJpeg, false), fits + "/a.jpg");
  EXPECT_EQ(flat_output_path(fits + "/", "a.tif", kFormatJpeg, false), fits + "/a.jpg");
  EXPECT_EQ(flat_output_path(fits + "d", "a.tif", kFormatJpeg, false), "");
  EXPECT_EQ(flat_output_path("/out", std::string(4090, 'n') + ".tif", kFormatJpeg, false), "");
}

}  // namespace
}  // namespace zq
