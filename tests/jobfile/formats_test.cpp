#include "jobfile/formats.h"

#include <gtest/gtest.h>

#include <string_view>

namespace zq {
namespace {

TEST(FormatCodeForExtension, ComparesFourCharactersIgnoringCase) {
  const struct {
    std::string_view extension;
    int code;
  } cases[] = {
      {".TIF", kFormatTiff}, {".tiff", kFormatTiff}, {".Tiff", kFormatTiff}, {".jpeg", kFormatNone},
      {".Jpg", kFormatJpeg}, {".JPG", kFormatJpeg},  {".pdfx", kFormatPdf},  {".PDF", kFormatPdf},
      {".dcx", kFormatNone}, {".pse", kFormatPse},   {".yuv", kFormatYuv},   {".bmp", kFormatBmp},
      {".pc", kFormatNone},  {".", kFormatNone},     {"", kFormatNone},      {"tif", kFormatNone},
      {"xtif", kFormatNone}, {".tix", kFormatNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_code_for_extension(c.extension), c.code) << c.extension;
  }
}

TEST(FormatTable, EveryRowIsFoundByItsCodeAndItsExtension) {
  int expected_code = 0;
  for (const target_format& format : target_formats()) {
    EXPECT_EQ(format.code, expected_code) << "rows are in code order";
    EXPECT_EQ(find_format(format.code), &format);
    EXPECT_EQ(format_code_for_extension(format.extension), format.code) << format.extension;
    ++expected_code;
  }
  EXPECT_EQ(expected_code, 13);
  EXPECT_EQ(find_format(kFormatNone), nullptr);
  EXPECT_EQ(find_format(13), nullptr);
}

}  // namespace
}  // namespace zq
