#include "engine/output_naming.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "common/paths.h"
#include "conversion_test_support.h"
#include "jobfile/formats.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

namespace fs = std::filesystem;
using testing::name_target;

// Naming creates nothing; to see that, every target and temp folder of these
// tests lives under a fresh temporary root that must stay empty: "/out" in a
// case stands for "<root>/out". Sources are only names here and never touched.
class OutputNaming : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zq_naming_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    settings_.temp_folder = at("/tmp");
    settings_.target_folder = at("/out");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string at(const std::string& path) const { return root_ + path; }
  bool root_is_empty() const { return fs::is_empty(root_); }

  std::string root_;
  engine_settings settings_;
};

struct naming_case {
  const char* what;
  int format_code;
  void (*adjust)(job_settings&);
  int page_count;
  int page_index;
  const char* source;
  const char* target;  // the single-file run's target; nullptr: batch run
  const char* output;
  const char* bitmap;  // PSE only
};

void extract_all(job_settings& job) { job.params_extract_all = 1; }

TEST_F(OutputNaming, NamesFoldersAndPageNumbers) {
  const naming_case cases[] = {
      {"one page never gets a number", kFormatPng, extract_all, 1, 1, "/in/a.tif", nullptr,
       "/out/a.png", nullptr},
      {"page 3 with extract_all", kFormatPng, extract_all, 5, 3, "/in/a.tif", nullptr,
       "/out/a_3.png", nullptr},
      {"first page only", kFormatPng, nullptr, 5, 1, "/in/a.tif", nullptr, "/out/a.png", nullptr},
      {"PDF with adjoin", kFormatPdf,
       [](job_settings& j) {
         extract_all(j);
         j.pdf_adjoin = 1;
       },
       3, -1, "/in/a.tif", nullptr, "/out/a.pdf", nullptr},
      {"PDF page 1 without adjoin", kFormatPdf, extract_all, 3, 1, "/in/a.tif", nullptr,
       "/out/a_1.pdf", nullptr},
      {"PDF page 2 without adjoin", kFormatPdf, extract_all, 3, 2, "/in/a.tif", nullptr,
       "/out/a_2.pdf", nullptr},
      {"PDF ignores the other formats' adjoin", kFormatPdf,
       [](job_settings& j) {
         extract_all(j);
         j.gif_adjoin = j.pcx_adjoin = j.tiff_adjoin = 1;
       },
       3, 2, "/in/a.tif", nullptr, "/out/a_2.pdf", nullptr},
      {"PCX adjoin with extract_all", kFormatPcx,
       [](job_settings& j) {
         extract_all(j);
         j.pcx_adjoin = 1;
       },
       3, -1, "/in/a.tif", nullptr, "/out/a.dcx", nullptr},
      {"PCX adjoin without extract_all", kFormatPcx, [](job_settings& j) { j.pcx_adjoin = 1; }, 1,
       -1, "/in/a.tif", nullptr, "/out/a.dcx", nullptr},
      {"PCX without adjoin", kFormatPcx, extract_all, 3, 2, "/in/a.tif", nullptr, "/out/a_2.pcx",
       nullptr},
      {"PSE page 2", kFormatPse, extract_all, 3, 2, "/in/a.tif", nullptr, "/out/a_2.pse",
       "/tmp/a_2.bmp"},
      {"PSE single page", kFormatPse, extract_all, 1, 1, "/in/a.tif", nullptr, "/out/a.pse",
       "/tmp/a.bmp"},
      {"PSE bitmap never reproduces the source folder", kFormatPse,
       [](job_settings& j) { j.params_reproduce_path = 1; }, 1, 1, "/scans/2006/a.tif", nullptr,
       "/out/scans/2006/a.pse", "/tmp/a.bmp"},
      {"PSE names its segments after an explicit target", kFormatPse, extract_all, 2, 2,
       "/in/a.tif", "/x/b.pse", "/x/b_2.pse", "/tmp/b_2.bmp"},
      {"reproduce_path", kFormatPdf, [](job_settings& j) { j.params_reproduce_path = 1; }, 1, -1,
       "/scans/2006/a.tif", nullptr, "/out/scans/2006/a.pdf", nullptr},
      {"without reproduce_path", kFormatPdf, nullptr, 1, -1, "/scans/2006/a.tif", nullptr,
       "/out/a.pdf", nullptr},
      {"reproduce_path, paged", kFormatPng,
       [](job_settings& j) {
         extract_all(j);
         j.params_reproduce_path = 1;
       },
       4, 3, "/scans/2006/a.tif", nullptr, "/out/scans/2006/a_3.png", nullptr},
      {"reproduce_path with a relative source folder", kFormatPdf,
       [](job_settings& j) { j.params_reproduce_path = 1; }, 1, 1, "in/a.tif", nullptr,
       "/out/in/a.pdf", nullptr},
      {"reproduce_path under a flat explicit target", kFormatPdf,
       [](job_settings& j) { j.params_reproduce_path = 1; }, 1, 1, "/scans/a.tif", "/out/a.pdf",
       "/out/scans/a.pdf", nullptr},
      {"explicit target's extension is replaced", kFormatTiff, nullptr, 1, 1, "/in/a.tif",
       "/x/report.TIFF", "/x/report.tif", nullptr},
      {"explicit target's extension does not choose the format", kFormatPdf, nullptr, 1, 1,
       "/in/a.tif", "/x/out.jpeg", "/x/out.pdf", nullptr},
      {"explicit target, paged", kFormatJpeg, extract_all, 2, 2, "/in/a.tif", "/x/b.jpg",
       "/x/b_2.jpg", nullptr},
      {"base name up to the last dot", kFormatBmp, nullptr, 1, 1, "/in/scan.v2.tif", nullptr,
       "/out/scan.v2.bmp", nullptr},
  };
  for (const naming_case& c : cases) {
    engine_settings settings = settings_;
    settings.format_code = c.format_code;
    if (c.adjust != nullptr) {
      c.adjust(settings.job);
    }
    if (c.target != nullptr) {
      name_target(settings, at(c.target));
    }
    const output_names names = build_output_path(settings, c.page_count, c.page_index, c.source);
    EXPECT_EQ(names.output, at(c.output)) << c.what;
    EXPECT_EQ(names.bitmap, c.bitmap != nullptr ? at(c.bitmap) : "") << c.what;
    EXPECT_TRUE(root_is_empty()) << c.what;
  }
}

// Page 2 of 3 with extract_all, in every format: only the formats that can put
// all pages into one file react to the adjoin flags.
TEST_F(OutputNaming, EveryFormatPagedAndWithAdjoin) {
  const struct {
    int code;
    const char* paged;
    const char* with_adjoin;
  } cases[] = {
      {kFormatBmp, "a_2.bmp", "a_2.bmp"}, {kFormatEps, "a_2.eps", "a_2.eps"},
      {kFormatGif, "a_2.gif", "a.gif"},   {kFormatJpeg, "a_2.jpg", "a_2.jpg"},
      {kFormatPcl, "a_2.pcl", "a_2.pcl"}, {kFormatPcx, "a_2.pcx", "a.dcx"},
      {kFormatPdf, "a_2.pdf", "a.pdf"},   {kFormatPng, "a_2.png", "a_2.png"},
      {kFormatPsd, "a_2.psd", "a_2.psd"}, {kFormatPse, "a_2.pse", "a_2.pse"},
      {kFormatTga, "a_2.tga", "a_2.tga"}, {kFormatTiff, "a_2.tif", "a.tif"},
      {kFormatYuv, "a_2.yuv", "a_2.yuv"},
  };
  for (const auto& c : cases) {
    engine_settings settings = settings_;
    settings.format_code = c.code;
    settings.job.params_extract_all = 1;
    EXPECT_EQ(build_output_path(settings, 3, 2, "/in/a.tif").output, at("/out/") + c.paged)
        << c.code;
    settings.job.gif_adjoin = settings.job.pcx_adjoin = settings.job.pdf_adjoin =
        settings.job.tiff_adjoin = 1;
    EXPECT_EQ(build_output_path(settings, 3, 2, "/in/a.tif").output, at("/out/") + c.with_adjoin)
        << c.code;
  }
}

// A single-file run names every output after its target, whatever the
// source is called; a batch run with the same folder names them after their
// sources.
TEST_F(OutputNaming, SingleFileRunNamesEveryOutputAfterItsTarget) {
  settings_.format_code = kFormatPdf;
  name_target(settings_, at("/x/y/out.pdf"));
  EXPECT_EQ(settings_.target_folder, at("/x/y/"));
  EXPECT_EQ(build_output_path(settings_, 1, 1, "/in/a.tif").output, at("/x/y/out.pdf"));
  EXPECT_EQ(build_output_path(settings_, 1, 1, "/in/b.tif").output, at("/x/y/out.pdf"));
  settings_.single_file = false;
  EXPECT_EQ(build_output_path(settings_, 1, 1, "/in/b.tif").output, at("/x/y/b.pdf"));
  EXPECT_TRUE(root_is_empty());
}

TEST_F(OutputNaming, SeparatorsAreCollapsed) {
  settings_.format_code = kFormatPse;
  settings_.target_folder = at("//out//");
  settings_.temp_folder = at("/tmp//");
  settings_.job.params_reproduce_path = 1;
  const output_names names = build_output_path(settings_, 1, 1, "//in///a.tif");
  EXPECT_EQ(names.output, at("/out/in/a.pse"));
  EXPECT_EQ(names.bitmap, at("/tmp/a.bmp"));
}

// The folders above an output that does not exist yet are the conversion's
// to make (the conversion tests see them made); naming only says where.
TEST_F(OutputNaming, MissingTargetFoldersAreNamedNotCreated) {
  settings_.format_code = kFormatPdf;
  settings_.target_folder = at("/new/deeper/out");
  settings_.job.params_reproduce_path = 1;
  const output_names names = build_output_path(settings_, 1, -1, "/scans/2006/a.tif");
  EXPECT_EQ(names.output, at("/new/deeper/out/scans/2006/a.pdf"));
  EXPECT_EQ(names.bitmap, "");
  EXPECT_TRUE(root_is_empty());
}

TEST_F(OutputNaming, UnknownFormatGivesNoPath) {
  for (const int code : {int{kFormatNone}, 13}) {
    settings_.format_code = code;
    const output_names names = build_output_path(settings_, 1, 1, "/in/a.tif");
    EXPECT_EQ(names.output, "") << code;
    EXPECT_EQ(names.bitmap, "") << code;
  }
  EXPECT_TRUE(root_is_empty());
}

// A folder under the root in which "<folder>/a.png" (or any other name of five
// bytes) is exactly `length` bytes long, built of names any file system takes.
std::string folder_for_path_length(const std::string& root, std::size_t length) {
  const std::size_t folder_length = length - std::string("/a.png").size();
  std::string folder = root + "/d";
  while (folder.size() + 101 <= folder_length) {
    folder += "/" + std::string(100, 'd');
  }
  folder += "/" + std::string(folder_length - folder.size() - 1, 'e');
  return folder;
}

TEST_F(OutputNaming, PathsAreRefusedNotCutAboveTheLimit) {
  settings_.format_code = kFormatPng;
  settings_.target_folder = folder_for_path_length(root_, kMaxPathLength);
  const std::string longest = build_output_path(settings_, 1, 1, "/in/a.tif").output;
  EXPECT_EQ(longest.size(), kMaxPathLength);
  EXPECT_TRUE(root_is_empty());
  // A path at the limit is one the system takes: its folders can be made.
  platform::create_folder_chain(platform::real_file_system(), longest);
  EXPECT_TRUE(fs::is_directory(folder_of(longest)));
  fs::remove_all(at("/d"));

  settings_.target_folder = folder_for_path_length(root_, kMaxPathLength + 1);
  EXPECT_EQ(build_output_path(settings_, 1, 1, "/in/a.tif").output, "");

  // For PSE a bitmap path that does not fit refuses the conversion too, and
  // no bitmap name is given for the page-segment step to use.
  settings_.format_code = kFormatPse;
  settings_.target_folder = at("/out");
  settings_.temp_folder = folder_for_path_length(root_, kMaxPathLength + 1);
  const output_names names = build_output_path(settings_, 1, 1, "/in/a.tif");
  EXPECT_EQ(names.output, "");
  EXPECT_EQ(names.bitmap, "");
  // The same names with a temp folder that fits: only the bitmap was too long.
  settings_.temp_folder = at("/tmp");
  EXPECT_EQ(build_output_path(settings_, 1, 1, "/in/a.tif").bitmap, at("/tmp/a.bmp"));
  EXPECT_TRUE(root_is_empty());
}

// Start-up gives a bare target name the working folder, never the root.
TEST_F(OutputNaming, BareTargetNameStaysInTheWorkingFolder) {
  settings_.format_code = kFormatPdf;
  name_target(settings_, "report.pdf");
  EXPECT_EQ(build_output_path(settings_, 1, 1, "/in/a.tif").output, "./report.pdf");
}

}  // namespace
}  // namespace zq::engine
