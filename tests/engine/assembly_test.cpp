#include "engine/assembly.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "engine/conversion.h"
#include "engine/report.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::frame_size;
using testing::frame_sizes;
using testing::make_image;
using testing::names_in;
using testing::scratch_folder;
using testing::settings_in;
using testing::test_run;

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
  // file picker writes it, and returns a run that joins them.
  std::unique_ptr<test_run> run_with_list(
      int format_code, const std::vector<std::string>& files,
      platform::file_system& file_system = platform::real_file_system()) {
    auto run = std::make_unique<test_run>(settings_in(folder_, format_code), file_system);
    std::string list = "[FILES]\r\n";
    for (std::size_t key = 0; key < files.size(); ++key) {
      list += std::to_string(key) + "=" + files[key] + "\r\n";
    }
    folder_.write("tmp/z.log", list);
    return run;
  }

  static bool assemble(test_run& run, report_stream& report) {
    return run.settings.format_code == kFormatPdf ? assemble_pdf(run.run, report)
                                                  : assemble_tiff(run.run, report);
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
    const std::unique_ptr<test_run> run = run_with_list(
        c.format_code, {in("two.tif"), in("notes.tif"), in("one.tif"), in("four.tif")});
    c.adjust(run->settings.job);
    EXPECT_TRUE(assemble(*run, no_report_)) << c.what;
    EXPECT_EQ(names_in(run->settings.target_folder), std::vector<std::string>{c.output}) << c.what;
    EXPECT_EQ(run->messages.messages(), std::vector<std::string>{}) << c.what;
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
    const std::unique_ptr<test_run> run =
        run_with_list(format_code, {in("two.tif"), in("one.tif"), in("four.tif")});
    run->settings.job.pdf_adjoin = run->settings.job.tiff_adjoin = 1;
    run->settings.job.pdf_pdf_name = run->settings.job.tiff_tif_name = "joined";
    EXPECT_EQ(convert_source_file(run->run, in("one.tif"), no_report_), converter_result::stop);
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
  const std::unique_ptr<test_run> run = run_with_list(kFormatPdf, files);
  run->settings.job.pdf_pdf_name = "long";
  EXPECT_TRUE(assemble_pdf(run->run, no_report_));
  EXPECT_EQ(frame_sizes(folder_.file("out/long.pdf"), kFormatPdf),
            (std::vector<frame_size>{{12, 6}, {10, 6}, {11, 6}}));
}

// Nothing to join, or a join that cannot be written: false, the reason in
// the report where the report has a line for it, else said; no output left.
TEST_F(Assembly, Failures) {
  const std::string path = in("notes.tif");
  struct failure_case {
    const char* what;
    int format_code;
    std::vector<std::string> files;
    bool block_target;
    std::string report;  // start of the report
    bool said;           // whether the failure is said beside the report
  };
  const std::vector<failure_case> cases = {
      {"nothing readable",
       kFormatPdf,
       {in("notes.tif")},
       false,
       "The file TIFF:" + path + " cannot be read by Zembrit\r\n\t",
       false},
      {"raw fax is read as TIFF",
       kFormatTiff,
       {in("fax.tif")},
       false,
       "The file TIFF:" + in("fax.tif") + " cannot be read by Zembrit\r\n\t",
       false},
      {"empty list, PDF",
       kFormatPdf,
       {},
       false,
       "The file (no file) cannot be read by Zembrit\r\n\t",
       false},
      {"empty list, TIFF",
       kFormatTiff,
       {},
       false,
       "The file (no file) cannot be read by Zembrit\r\n\t",
       false},
      {"write fails", kFormatPdf, {in("one.tif")}, true, "", true},
  };
  testing::make_raw_fax("-size 64x8 xc:white", in("fax.tif"));
  for (const failure_case& c : cases) {
    const std::unique_ptr<test_run> run = run_with_list(c.format_code, c.files);
    engine_settings& settings = run->settings;
    settings.job.report_create_report = 1;
    settings.job.pdf_pdf_name = settings.job.tiff_tif_name = "joined";
    if (c.block_target) {
      folder_.write("blocked", "");
      settings.target_folder = folder_.file("blocked");
    }
    report_stream report = testing::open_report(folder_.file("report.log"));
    EXPECT_FALSE(assemble(*run, report)) << c.what;
    report.close();
    EXPECT_TRUE(names_in(settings_in(folder_, c.format_code).target_folder).empty()) << c.what;
    const std::string text = folder_.read("report.log");
    EXPECT_EQ(text.substr(0, c.report.size()), c.report) << c.what << ": " << text;
    if (c.report.empty()) {
      EXPECT_EQ(text, "") << c.what;
    }
    EXPECT_EQ(run->messages.messages().size(), c.said ? 1u : 0u) << c.what;
    if (c.said && !run->messages.messages().empty()) {
      const std::string& message = run->messages.messages()[0];
      EXPECT_TRUE(message.starts_with("cannot write " + folder_.file("blocked/joined.pdf") + ": "))
          << message;
    }
    std::filesystem::remove(settings.file_list_path);
  }
}

// The parts of a join that go through the run's file system: the private
// folder of its pages and the move of the finished file into place. A join
// that fails there leaves no output and no staging folder, and says why.
TEST_F(Assembly, FailuresOfTheFileSystemLeaveNoOutput) {
  using fault_fs = platform::fault_injecting_file_system;
  const struct {
    const char* what;
    int format_code;
    void (*arm)(fault_fs&, const std::string& target);
  } cases[] = {
      {"PDF, pages folder refused", kFormatPdf,
       [](fault_fs& f, const std::string& target) { f.fail_make_folder(target); }},
      {"PDF, move into place refused", kFormatPdf,
       [](fault_fs& f, const std::string& target) { f.fail_rename(target + "/joined", ENOSPC); }},
      {"TIFF, pages folder refused", kFormatTiff,
       [](fault_fs& f, const std::string& target) { f.fail_make_folder(target); }},
      {"TIFF, move into place refused", kFormatTiff,
       [](fault_fs& f, const std::string& target) { f.fail_rename(target + "/joined"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fault_fs files;
    const std::unique_ptr<test_run> run =
        run_with_list(c.format_code, {in("two.tif"), in("one.tif")}, files);
    c.arm(files, run->settings.target_folder);
    run->settings.job.pdf_pdf_name = run->settings.job.tiff_tif_name = "joined";
    run->settings.job.report_create_report = 1;
    report_stream report = testing::open_report(folder_.file("report.log"));
    EXPECT_FALSE(assemble(*run, report));
    report.close();
    EXPECT_EQ(names_in(run->settings.target_folder), std::vector<std::string>{});
    EXPECT_EQ(folder_.read("report.log"), "");
    ASSERT_EQ(run->messages.messages().size(), 1u);
    const std::string output =
        run->settings.target_folder + (c.format_code == kFormatPdf ? "/joined.pdf" : "/joined.tif");
    EXPECT_TRUE(run->messages.messages()[0].starts_with("cannot write " + output + ": "))
        << run->messages.messages()[0];
  }
}

}  // namespace
}  // namespace zq::engine
