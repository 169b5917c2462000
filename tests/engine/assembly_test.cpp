#include "engine/assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "engine/conversion.h"
#include "engine/formats.h"
#include "engine/report.h"
#include "engine_test_support.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::frame_size;
using testing::frame_sizes;
using testing::make_image;
using testing::names_in;
using testing::scratch_folder;
using testing::settings_in;

// Three files of 2, 1 and 4 pages; every page has its own width, so the
// joined pages show their order.
class Assembly : public ::testing::Test {
 protected:
  void SetUp() override {
    make_image("-size 10x6 xc:black -size 11x6 xc:white -monochrome -compress Group4",
               folder_.file("in/two.tif"));
    make_image("-size 12x6 xc:gray -depth 8", folder_.file("in/one.tif"));
    make_image(
        "-size 13x6 xc:red -size 14x6 xc:green -size 15x6 xc:blue -size 16x6 xc:white "
        "-depth 8 -compress LZW",
        folder_.file("in/four.tif"));
    folder_.write("in/notes.tif", "not an image\n");
  }

  // Writes the file list file with `files` under the keys 0, 1, ..., as the
  // file picker writes it.
  engine_settings settings_with_list(int format_code, const std::vector<std::string>& files) {
    engine_settings settings = settings_in(folder_, format_code);
    std::string list = "[FILES]\r\n";
    for (std::size_t key = 0; key < files.size(); ++key) {
      list += std::to_string(key) + "=" + files[key] + "\r\n";
    }
    folder_.write("tmp/z.log", list);
    return settings;
  }

  std::string in(const std::string& name) const { return folder_.file("in/" + name); }

  const std::vector<frame_size> seven_ = {{10, 6}, {11, 6}, {12, 6}, {13, 6},
                                          {14, 6}, {15, 6}, {16, 6}};
  scratch_folder folder_;
  report_stream no_report_;
};

// Every page of every listed file, in list order, under the job's name;
// unreadable files are skipped.
TEST_F(Assembly, JoinsEveryPageInListOrder) {
  struct join_case {
    const char* what;
    int format_code;
    void (*adjust)(job_settings&);
    const char* output;
    std::vector<frame_size> pages;
    const char* reader;  // what an independent reader must find, on the output
    const char* expected;
  };
  const std::vector<join_case> cases = {
      {"PDF", kFormatPdf, [](job_settings& j) { j.pdf_pdf_name = "scans"; }, "scans.pdf", seven_,
       "pdfinfo", "Pages:           7"},
      {"PDF name with an extension", kFormatPdf, [](job_settings& j) { j.pdf_pdf_name = "x.tmp"; },
       "x.tmp", seven_, "pdfinfo", "Pages:           7"},
      {"PDF Group 4", kFormatPdf,
       [](job_settings& j) {
         j.pdf_pdf_name = "g4.PDF";
         j.pdf_compression_type = 1;
       },
       "g4.PDF", seven_, "pdfimages -list", "ccitt"},
      {"TIFF", kFormatTiff, [](job_settings& j) { j.tiff_tif_name = "all.tif"; }, "all.tif.tif",
       seven_, "tiffinfo", "Compression Scheme: None"},
      {"TIFF Group 4, every page resized", kFormatTiff,
       [](job_settings& j) {
         j.tiff_tif_name = "all";
         j.tiff_compression_type = 2;
         j.params_size = "8x4";
         j.params_keep_proportions = 1;
       },
       "all.tif", std::vector<frame_size>(7, {8, 4}), "tiffinfo", "CCITT Group 4"},
  };
  for (const join_case& c : cases) {
    engine_settings settings = settings_with_list(
        c.format_code, {in("two.tif"), in("notes.tif"), in("one.tif"), in("four.tif")});
    c.adjust(settings.job);
    const int result = c.format_code == kFormatPdf ? assemble_pdf(settings, no_report_)
                                                   : assemble_tiff(settings, no_report_);
    EXPECT_EQ(result, 1) << c.what;
    EXPECT_EQ(names_in(settings.target_folder), std::vector<std::string>{c.output}) << c.what;
    const std::string output = folder_.file(std::string("out/") + c.output);
    EXPECT_EQ(frame_sizes(output, c.format_code), c.pages) << c.what;
    const std::string seen = command_output(std::string(c.reader) + " '" + output + "' 2>&1");
    EXPECT_NE(seen.find(c.expected), std::string::npos) << c.what << ":\n" << seen;
    std::filesystem::remove(output);
  }
}

// A batch conversion of the first source hands over to the join and stops
// the walk.
TEST_F(Assembly, BatchConversionHandsOverToTheJoin) {
  for (const int format_code : {kFormatPdf, kFormatTiff}) {
    engine_settings settings =
        settings_with_list(format_code, {in("two.tif"), in("one.tif"), in("four.tif")});
    settings.job.pdf_adjoin = settings.job.tiff_adjoin = 1;
    settings.job.pdf_pdf_name = settings.job.tiff_tif_name = "joined";
    EXPECT_EQ(convert_source_file(settings, in("one.tif"), no_report_), kStopResult);
    const std::string output =
        folder_.file(std::string("out/joined") + (format_code == kFormatPdf ? ".pdf" : ".tif"));
    EXPECT_EQ(frame_sizes(output, format_code), seven_);
  }
}

// The file list has no length limit: files far beyond any fixed capacity are
// joined too.
TEST_F(Assembly, LongFileLists) {
  std::vector<std::string> files(5000, in("missing.tif"));
  files.push_back(in("one.tif"));
  files.push_back(in("two.tif"));
  engine_settings settings = settings_with_list(kFormatPdf, files);
  settings.job.pdf_pdf_name = "long";
  EXPECT_EQ(assemble_pdf(settings, no_report_), 1);
  EXPECT_EQ(frame_sizes(folder_.file("out/long.pdf"), kFormatPdf),
            (std::vector<frame_size>{{12, 6}, {10, 6}, {11, 6}}));
}

// Nothing to join, or a join that cannot be written: result 0, the reason in
// the report where the report has a line for it, no output left.
TEST_F(Assembly, Failures) {
  const std::string path = in("notes.tif");
  struct failure_case {
    const char* what;
    int format_code;
    std::vector<std::string> files;
    bool block_target;
    std::string report;  // start of the report
  };
  const std::vector<failure_case> cases = {
      {"nothing readable",
       kFormatPdf,
       {in("notes.tif")},
       false,
       "The file TIFF:" + path + " cannot be read by Zembrit\r\n\t"},
      {"raw fax is read as TIFF",
       kFormatTiff,
       {in("fax.tif")},
       false,
       "The file TIFF:" + in("fax.tif") + " cannot be read by Zembrit\r\n\t"},
      {"empty list, PDF",
       kFormatPdf,
       {},
       false,
       "The file (no file) cannot be read by Zembrit\r\n\t"},
      {"empty list, TIFF",
       kFormatTiff,
       {},
       false,
       "The file (no file) cannot be read by Zembrit\r\n\t"},
      {"write fails", kFormatPdf, {in("one.tif")}, true, ""},
  };
  testing::make_raw_fax("-size 64x8 xc:white", in("fax.tif"));
  for (const failure_case& c : cases) {
    engine_settings settings = settings_with_list(c.format_code, c.files);
    settings.job.report_create_report = 1;
    settings.job.pdf_pdf_name = settings.job.tiff_tif_name = "joined";
    if (c.block_target) {
      folder_.write("blocked", "");
      settings.target_folder = folder_.file("blocked");
    }
    report_stream report = report_stream::create(folder_.file("report.log"));
    const int result = c.format_code == kFormatPdf ? assemble_pdf(settings, report)
                                                   : assemble_tiff(settings, report);
    report.close();
    EXPECT_EQ(result, 0) << c.what;
    EXPECT_TRUE(names_in(settings_in(folder_, c.format_code).target_folder).empty()) << c.what;
    const std::string text = folder_.read("report.log");
    EXPECT_EQ(text.substr(0, c.report.size()), c.report) << c.what << ": " << text;
    if (c.report.empty()) {
      EXPECT_EQ(text, "") << c.what;
    }
    std::filesystem::remove(settings.file_list_path);
  }
}

}  // namespace
}  // namespace zq::engine
