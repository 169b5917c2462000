#include "engine/option_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "jobfile/formats.h"

namespace zq::engine {
namespace {

using elements = std::vector<std::string>;

// The three worked examples of the option lists, element by element.
TEST(OptionList, WorkedExamples) {
  engine_settings jpeg;
  jpeg.format_code = kFormatJpeg;
  jpeg.job.jpeg_progressive = 1;
  jpeg.job.jpeg_quality = 85;
  jpeg.job.jpeg_colorspace = 1;
  const option_list jpeg_list = build_option_list(jpeg, run_state{});
  EXPECT_EQ(jpeg_list.elements(), (elements{"Zembrit", "-interlace", "Plane", "-quality", "85"}));
  EXPECT_EQ(jpeg_list.count(), 5);

  engine_settings tiff;
  tiff.format_code = kFormatTiff;
  tiff.job.tiff_colorspace = 1;
  tiff.job.tiff_dpi = 200;
  tiff.job.tiff_compression_type = 2;
  tiff.job.params_size = "1024x768";
  tiff.job.params_keep_proportions = 0;
  const option_list tiff_list = build_option_list(tiff, run_state{});
  EXPECT_EQ(tiff_list.elements(), (elements{"Zembrit", "-colorspace", "CMYK", "-density", "200x200",
                                            "-compress", "GROUP4", "-sample", "1024x768!"}));
  EXPECT_EQ(tiff_list.count(), 9);

  engine_settings pdf;
  pdf.format_code = kFormatPdf;
  pdf.job.pdf_compression_type = 3;
  run_state pdf_source;
  pdf_source.source_x_resolution = 204;
  pdf_source.source_y_resolution = 196;
  const option_list pdf_list = build_option_list(pdf, pdf_source);
  EXPECT_EQ(pdf_list.elements(), (elements{"Zembrit", "-colorspace", "rgb", "-density", "204x196",
                                           "-compress", "JPEG"}));
  EXPECT_EQ(pdf_list.count(), 7);
}

// What a list is built from: the run's settings and the source just read.
struct list_inputs {
  engine_settings settings;
  run_state state;
};

struct option_case {
  const char* what;
  int format_code;
  void (*adjust)(list_inputs&);
  elements expected;
};

// Settings as a job file without any key gives them, apart from the format,
// and a source of 300 dpi.
list_inputs inputs_for(const option_case& c) {
  list_inputs inputs;
  inputs.settings.format_code = c.format_code;
  inputs.state.source_x_resolution = 300;
  inputs.state.source_y_resolution = 300;
  if (c.adjust != nullptr) {
    c.adjust(inputs);
  }
  return inputs;
}

TEST(OptionList, EveryFormatAndCondition) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const option_case cases[] = {
      {"BMP", kFormatBmp, nullptr, {"Zembrit"}},
      {"BMP compressed",
       kFormatBmp,
       [](list_inputs& s) { s.settings.job.bmp_compress = 1; },
       {"Zembrit", "-compress", "RLE"}},
      {"EPS", kFormatEps, nullptr, {"Zembrit"}},
      {"GIF", kFormatGif, nullptr, {"Zembrit"}},
      {"GIF compressed",
       kFormatGif,
       [](list_inputs& s) { s.settings.job.gif_compress = 1; },
       {"Zembrit", "-compress", "LZW"}},
      {"GIF's compress flag is not BMP's",
       kFormatBmp,
       [](list_inputs& s) { s.settings.job.gif_compress = 1; },
       {"Zembrit"}},
      {"JPEG, engine defaults", kFormatJpeg, nullptr, {"Zembrit", "-quality", "0"}},
      {"JPEG CMYK",
       kFormatJpeg,
       [](list_inputs& s) {
         s.settings.job.jpeg_colorspace = 0;
         s.settings.job.jpeg_quality = 100;
       },
       {"Zembrit", "-quality", "100", "-colorspace", "CMYK"}},
      {"JPEG colorspace -1",
       kFormatJpeg,
       [](list_inputs& s) { s.settings.job.jpeg_colorspace = -1; },
       {"Zembrit", "-quality", "0"}},
      {"JPEG quality as stored",
       kFormatJpeg,
       [](list_inputs& s) { s.settings.job.jpeg_quality = -7; },
       {"Zembrit", "-quality", "-7"}},
      {"PCL Executive", kFormatPcl, nullptr, {"Zembrit", "-page", "Executive"}},
      {"PCL A4",
       kFormatPcl,
       [](list_inputs& s) { s.settings.job.pcl_page_type = 4; },
       {"Zembrit", "-page", "A4"}},
      {"PCL B4",
       kFormatPcl,
       [](list_inputs& s) { s.settings.job.pcl_page_type = 7; },
       {"Zembrit", "-page", "B4"}},
      {"PCL page_type 8",
       kFormatPcl,
       [](list_inputs& s) { s.settings.job.pcl_page_type = 8; },
       {"Zembrit"}},
      {"PCL page_type -1",
       kFormatPcl,
       [](list_inputs& s) { s.settings.job.pcl_page_type = -1; },
       {"Zembrit"}},
      {"PCX", kFormatPcx, nullptr, {"Zembrit"}},
      {"PDF, engine defaults",
       kFormatPdf,
       nullptr,
       {"Zembrit", "-colorspace", "rgb", "-density", "300x300", "-compress", "None"}},
      {"PDF Fax",
       kFormatPdf,
       [](list_inputs& s) { s.settings.job.pdf_compression_type = 1; },
       {"Zembrit", "-colorspace", "rgb", "-density", "300x300", "-compress", "GROUP4"}},
      {"PDF LZW",
       kFormatPdf,
       [](list_inputs& s) { s.settings.job.pdf_compression_type = 2; },
       {"Zembrit", "-colorspace", "rgb", "-density", "300x300", "-compress", "LZW"}},
      {"PDF Zip",
       kFormatPdf,
       [](list_inputs& s) { s.settings.job.pdf_compression_type = 4; },
       {"Zembrit", "-colorspace", "rgb", "-density", "300x300", "-compress", "ZIP"}},
      {"PDF compression above the table",
       kFormatPdf,
       [](list_inputs& s) { s.settings.job.pdf_compression_type = 5; },
       {"Zembrit", "-colorspace", "rgb", "-density", "300x300"}},
      {"PDF compression -1",
       kFormatPdf,
       [](list_inputs& s) { s.settings.job.pdf_compression_type = -1; },
       {"Zembrit", "-colorspace", "rgb", "-density", "300x300"}},
      {"PDF resolution truncated toward zero",
       kFormatPdf,
       [](list_inputs& s) {
         s.state.source_x_resolution = 204.99;
         s.state.source_y_resolution = 196.5;
       },
       {"Zembrit", "-colorspace", "rgb", "-density", "204x196", "-compress", "None"}},
      {"PDF without resolution",
       kFormatPdf,
       [](list_inputs& s) {
         s.state.source_x_resolution = 0;
         s.state.source_y_resolution = 0;
       },
       {"Zembrit", "-colorspace", "rgb", "-density", "72x72", "-compress", "None"}},
      {"PDF without vertical resolution",
       kFormatPdf,
       [](list_inputs& s) { s.state.source_y_resolution = 0; },
       {"Zembrit", "-colorspace", "rgb", "-density", "72x72", "-compress", "None"}},
      {"PDF without horizontal resolution",
       kFormatPdf,
       [](list_inputs& s) { s.state.source_x_resolution = 0; },
       {"Zembrit", "-colorspace", "rgb", "-density", "72x72", "-compress", "None"}},
      {"PDF resolution below one",
       kFormatPdf,
       [](list_inputs& s) { s.state.source_x_resolution = 0.9; },
       {"Zembrit", "-colorspace", "rgb", "-density", "72x72", "-compress", "None"}},
      {"PDF resolution no int holds",
       kFormatPdf,
       [](list_inputs& s) {
         s.state.source_x_resolution = 1e12;
         s.state.source_y_resolution = kNaN;
       },
       {"Zembrit", "-colorspace", "rgb", "-density", "72x72", "-compress", "None"}},
      {"PNG, engine defaults", kFormatPng, nullptr, {"Zembrit", "-quality", "0"}},
      {"PNG interlaced",
       kFormatPng,
       [](list_inputs& s) {
         s.settings.job.png_progressive = 1;
         s.settings.job.png_quality = 90;
       },
       {"Zembrit", "-interlace", "Plane", "-quality", "90"}},
      {"JPEG's progressive flag is not PNG's",
       kFormatPng,
       [](list_inputs& s) {
         s.settings.job.jpeg_progressive = 1;
         s.settings.job.jpeg_quality = 50;
       },
       {"Zembrit", "-quality", "0"}},
      {"PSD", kFormatPsd, nullptr, {"Zembrit"}},
      {"PSE", kFormatPse, nullptr, {"Zembrit", "-monochrome"}},
      {"TGA", kFormatTga, nullptr, {"Zembrit"}},
      {"TIFF, engine defaults",
       kFormatTiff,
       nullptr,
       {"Zembrit", "-density", "0x0", "-compress", "None"}},
      {"TIFF colorspace -1 is not RGB",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_colorspace = -1; },
       {"Zembrit", "-colorspace", "CMYK", "-density", "0x0", "-compress", "None"}},
      {"TIFF FAX3",
       kFormatTiff,
       [](list_inputs& s) {
         s.settings.job.tiff_compression_type = 1;
         s.settings.job.tiff_dpi = 72;
       },
       {"Zembrit", "-density", "72x72", "-compress", "FAX"}},
      {"TIFF Jpeg",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_compression_type = 3; },
       {"Zembrit", "-density", "0x0", "-compress", "JPEG"}},
      {"TIFF Packbits",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_compression_type = 4; },
       {"Zembrit", "-density", "0x0", "-compress", "RLE"}},
      {"TIFF RLE",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_compression_type = 5; },
       {"Zembrit", "-density", "0x0", "-compress", "RLE"}},
      {"TIFF ZIP",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_compression_type = 6; },
       {"Zembrit", "-density", "0x0", "-compress", "ZIP"}},
      {"TIFF compression above the table",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_compression_type = 7; },
       {"Zembrit", "-density", "0x0"}},
      {"TIFF compression -1",
       kFormatTiff,
       [](list_inputs& s) { s.settings.job.tiff_compression_type = -1; },
       {"Zembrit", "-density", "0x0"}},
      {"YUV", kFormatYuv, nullptr, {"Zembrit", "-interlace", "partition"}},
      {"size forced exactly",
       kFormatPse,
       [](list_inputs& s) { s.settings.job.params_size = "800x600"; },
       {"Zembrit", "-monochrome", "-sample", "800x600!"}},
      {"size keeping proportions",
       kFormatPse,
       [](list_inputs& s) {
         s.settings.job.params_size = "800x600";
         s.settings.job.params_keep_proportions = 1;
       },
       {"Zembrit", "-monochrome", "-sample", "800x600"}},
      {"size typed with its own !",
       kFormatBmp,
       [](list_inputs& s) { s.settings.job.params_size = "800x600!"; },
       {"Zembrit", "-sample", "800x600!!"}},
      {"size typed with its own !, keeping proportions",
       kFormatBmp,
       [](list_inputs& s) {
         s.settings.job.params_size = "800x600!";
         s.settings.job.params_keep_proportions = 1;
       },
       {"Zembrit", "-sample", "800x600!"}},
      {"size for a code outside the table",
       13,
       [](list_inputs& s) { s.settings.job.params_size = "10x10"; },
       {"Zembrit", "-sample", "10x10!"}},
      {"no format known", kFormatNone, nullptr, {"Zembrit"}},
  };
  for (const option_case& c : cases) {
    const list_inputs inputs = inputs_for(c);
    const option_list list = build_option_list(inputs.settings, inputs.state);
    EXPECT_EQ(list.elements(), c.expected) << c.what;
    EXPECT_EQ(list.count(), static_cast<int>(c.expected.size())) << c.what;
  }
}

static_assert(!std::is_constructible_v<option_argv, option_list&&>,
              "a view must not outlive the list it points into");

TEST(OptionList, ArgvFormPointsIntoTheListAndEndsWithNull) {
  option_list list;
  list.append("-density");
  list.append("200x200");
  option_argv view(list);
  ASSERT_EQ(view.argc(), 3);
  const char** argv = view.argv();
  for (int i = 0; i < view.argc(); ++i) {
    EXPECT_EQ(argv[i], list.elements()[static_cast<std::size_t>(i)].c_str()) << i;
  }
  EXPECT_STREQ(argv[0], "Zembrit");
  EXPECT_EQ(argv[3], nullptr);
}

}  // namespace
}  // namespace zq::engine
