#include "engine/report.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/version.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"
#include "report_golden.h"

namespace zq::engine {
namespace {

using platform::open_mode;
using testing::golden_footer;
using testing::kRule;
using testing::mask_dates;
using testing::open_report;
using testing::scratch_folder;

// Runs with a fixed time zone so that local times are known, and restores the
// caller's afterwards.
class fixed_time_zone {
 public:
  explicit fixed_time_zone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      old_ = old;
    }
    setenv("TZ", zone, 1);
    tzset();
  }
  ~fixed_time_zone() {
    if (old_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string old_;
};

TEST(ReportDate, FixedEnglishFormInLocalTime) {
  const struct {
    const char* zone;
    std::time_t when;
    const char* text;
  } cases[] = {
      {"UTC0", 1160816707, "Sat Oct 14 09:05:07 2006"},
      {"UTC0", 994464000, "Sat Jul 07 00:00:00 2001"},  // zero-padded day and time
      {"UTC0", 1709251199, "Thu Feb 29 23:59:59 2024"},
      {"UTC0", 946645449, "Fri Dec 31 13:04:09 1999"},
      {"UTC0", 0, "Thu Jan 01 00:00:00 1970"},
      // Two hours east of UTC the same moment is already the next day.
      {"XYZ-2", 946684799, "Sat Jan 01 01:59:59 2000"},
  };
  for (const auto& c : cases) {
    fixed_time_zone zone(c.zone);
    const std::string text = report_date(c.when);
    EXPECT_EQ(text, c.text) << c.when;
    EXPECT_EQ(text.size(), 24u);
  }
}

engine_settings header_settings() {
  engine_settings settings;
  settings.job_file = "/jobs/job.ini";
  settings.source_folder = "/in";
  settings.target_folder = "/out";
  settings.temp_folder = "/tmp/zq/";
  settings.format_code = kFormatPdf;
  settings.job.params_recurse = 1;
  settings.job.params_reproduce_path = 1;
  settings.job.params_density = 150;
  settings.job.params_size = "640x480";
  settings.job.pdf_letter_type = 2;
  settings.job.pdf_compression_type = 1;
  return settings;
}

class ReportFile : public ::testing::Test {
 protected:
  std::string path() const { return folder_.file("report.log"); }
  std::string bytes() const { return folder_.read("report.log"); }

  std::string header_bytes(const engine_settings& settings, const std::string* source,
                           const std::string* target) {
    report_stream report = open_report(path());
    write_report_header(report, settings, source, target);
    report.close();
    return mask_dates(bytes());
  }

  scratch_folder folder_;
};

TEST_F(ReportFile, HeaderOfBothForms) {
  const std::string head = "\r\n" + kRule + "\r\n" + kVersionText + "\r\n<date>\r\n" + kRule +
                           "\r\n\r\nini file used:\t/jobs/job.ini\r\n";
  const std::string settings_lines =
      "temp path:\t/tmp/zq/\r\nrecurse:\t\t1\r\nreproduce path:\t1\r\ndensity:\t\t150\r\n"
      "size:\t\t\t640x480\r\n\r\nusr tiff name:\t0\r\n\r\n"
      "image_type:\tPDF\r\nletter type:\t2\r\ncompression type:\t1\r\n\r\n" +
      kRule + "\r\n";

  const std::string source = "/scans/a b.tif";
  const std::string target = "/out/%s.pdf";
  EXPECT_EQ(
      header_bytes(header_settings(), &source, &target),
      head + "source file:\t/scans/a b.tif\r\ntarget file:\t/out/%s.pdf\r\n" + settings_lines);
  EXPECT_EQ(header_bytes(header_settings(), nullptr, nullptr),
            head + "source path:\t/in\r\ntarget path:\t/out\r\n" + settings_lines);
}

TEST_F(ReportFile, FormatBlockOfEveryFormatCode) {
  engine_settings settings = header_settings();
  settings.job.bmp_compress = 1;
  settings.job.gif_compress = 2;
  settings.job.jpeg_quality = 85;
  settings.job.pcl_dpi = 300;
  settings.job.png_quality = 90;
  settings.job.pdf_letter_type = 3;
  settings.job.pdf_compression_type = 4;
  const struct {
    int code;
    int pcx_adjoin;
    const char* block;
  } cases[] = {
      {-1, 0, ""},
      {0, 0, "image_type:\tBMP\r\ncompress:\t1\r\n"},
      {1, 0, "image_type:\tEPS\r\n"},
      {2, 0, "image_type:\tGIF\r\ncompress:\t2\r\n"},
      {3, 0, "image_type:\tJPEG\r\njpeg_quality:\t85\r\n"},
      {4, 0, "image_type:\tPCL\r\ndpi:\t300\r\n"},
      {5, 0, "image_type:\tPCX\r\n"},
      {5, 1, "image_type:\tPCX\r\nadjoin:\t\t1\r\n"},
      {5, 2, "image_type:\tPCX\r\n"},
      {6, 0, "image_type:\tPDF\r\nletter type:\t3\r\ncompression type:\t4\r\n"},
      {7, 0, "image_type:\tPNG\r\npng_quality:\t90\r\n"},
      {8, 0, "image_type:\tPSD\r\n"},
      {9, 0, "image_type:\tPSE\r\n"},
      {10, 0, "image_type:\tTGA\r\n"},
      {11, 0, "image_type:\tTIFF\r\n"},
      {12, 0, "image_type:\tY, U, V files\r\n"},
      {13, 0, ""},
  };
  const std::string before = "usr tiff name:\t0\r\n\r\n";
  const std::string after = "\r\n" + kRule + "\r\n";
  for (const auto& c : cases) {
    settings.format_code = c.code;
    settings.job.pcx_adjoin = c.pcx_adjoin;
    const std::string header = header_bytes(settings, nullptr, nullptr);
    const std::size_t start = header.find(before);
    ASSERT_NE(start, std::string::npos) << c.code;
    ASSERT_TRUE(header.ends_with(after)) << c.code;
    const std::size_t block_start = start + before.size();
    EXPECT_EQ(header.substr(block_start, header.size() - after.size() - block_start), c.block)
        << "format code " << c.code << ", pcx adjoin " << c.pcx_adjoin;
  }
}

TEST_F(ReportFile, FooterAndPerFileLines) {
  report_stream report = open_report(path());
  const std::string reason = "improper image header `/in/b.tif' @ error/tiff.c/ReadTIFFImage/963";
  report_unreadable_source(report, "/in/b.tif", &reason);
  report_unreadable_source(report, "/in/c.tif", nullptr);
  report_unreadable_listed_file(report, "/in/d.tif", "no decode delegate");
  report_bad_argument(report, "Bad compress argument");
  report_converted(report, "/in/%d a.tif");
  report_not_converted(report, "/in/b.tif");
  write_report_footer(report, 4000000000u);  // printed unsigned
  EXPECT_FALSE(report.is_open());
  EXPECT_TRUE(report.failure().is_ok()) << report.failure().reason();
  EXPECT_EQ(mask_dates(bytes()),
            "The file /in/b.tif cannot be read by Zembrit_Quarnel\r\n\t" + reason +
                "\r\n"
                "The file /in/c.tif cannot be read by Zembrit_Quarnel\r\n"
                "The file /in/d.tif cannot be read by Zembrit\r\n\tno decode delegate\r\n"
                "Bad compress argument\r\n"
                "/in/%d a.tif converted\r\n"
                "Could not convert /in/b.tif\r\n" +
                golden_footer(4000000000u));
}

TEST_F(ReportFile, EveryLineIsOnDiskAsSoonAsItIsWritten) {
  report_stream report = open_report(path());
  report_converted(report, "/in/a.tif");
  EXPECT_EQ(bytes(), "/in/a.tif converted\r\n");
  report_not_converted(report, "/in/b.tif");
  EXPECT_EQ(bytes(), "/in/a.tif converted\r\nCould not convert /in/b.tif\r\n");
  report_unreadable_source(report, "/in/c.tif", nullptr);
  EXPECT_TRUE(bytes().ends_with("/in/c.tif cannot be read by Zembrit_Quarnel\r\n"));
  report_unreadable_listed_file(report, "/in/d.tif", "no decode delegate");
  EXPECT_TRUE(bytes().ends_with("/in/d.tif cannot be read by Zembrit\r\n\tno decode delegate\r\n"));
  report_bad_argument(report, "Bad size argument");
  EXPECT_TRUE(bytes().ends_with("\r\nBad size argument\r\n"));
}

// Plain writes are held until a flush, so that a report read during the run
// never shows half a line; the header reaches the file before its last rule.
TEST_F(ReportFile, WritesWaitForTheFlush) {
  report_stream report = open_report(path());
  report.write("half ");
  report.write("a line");
  EXPECT_EQ(bytes(), "");
  report.write("\r\n");
  report.flush();
  EXPECT_EQ(bytes(), "half a line\r\n");
  report.write("held");
  report.close();
  EXPECT_EQ(bytes(), "half a line\r\nheld");
  EXPECT_TRUE(report.failure().is_ok());
}

TEST_F(ReportFile, CreateTruncatesAppendAddsClosedStreamSwallows) {
  folder_.write("report.log", "old run\r\n");
  {
    report_stream report = open_report(path(), open_mode::append);
    ASSERT_TRUE(report.is_open());
    report.write("second\r\n");
  }
  EXPECT_EQ(bytes(), "old run\r\nsecond\r\n");
  {
    report_stream report = open_report(path(), open_mode::truncate);
    report.write("fresh\r\n");
    report_stream moved = std::move(report);
    EXPECT_FALSE(report.is_open());
    moved.write("moved\r\n");
  }
  EXPECT_EQ(bytes(), "fresh\r\nmoved\r\n");
  {
    // Assigning closes the stream assigned to first, so its text is not lost.
    report_stream report = open_report(path(), open_mode::append);
    report.write("assigned over\r\n");
    report = report_stream();
    EXPECT_FALSE(report.is_open());
  }
  EXPECT_EQ(bytes(), "fresh\r\nmoved\r\nassigned over\r\n");

  report_stream none;
  report_converted(none, "/in/a.tif");
  write_report_footer(none, 0);
  EXPECT_FALSE(none.is_open());
  EXPECT_TRUE(none.failure().is_ok());

  const std::string missing = folder_.file("no/such/folder/r.log");
  const result<report_stream> refused =
      report_stream::open(platform::real_file_system(), missing, open_mode::truncate);
  EXPECT_FALSE(refused.is_ok());
  EXPECT_NE(refused.status().reason().find(missing), std::string::npos)
      << refused.status().reason();
}

// A full disk neither stops the run nor goes unnoticed: the stream keeps the
// first failure for whoever closes it, and later lines change nothing.
TEST_F(ReportFile, FirstWriteFailureIsKept) {
  {
    platform::fault_injecting_file_system files;
    files.fail_writes_after(5, ENOSPC);
    files.fail_close("report.log", EIO);
    report_stream report = open_report(path(), open_mode::truncate, files);
    ASSERT_TRUE(report.is_open());
    report_converted(report, "/in/a.tif");
    ASSERT_FALSE(report.failure().is_ok());
    const status first = report.failure();
    EXPECT_NE(first.reason().find(path()), std::string::npos) << first.reason();
    EXPECT_NE(first.reason().find(std::strerror(ENOSPC)), std::string::npos) << first.reason();
    report_not_converted(report, "/in/b.tif");
    write_report_footer(report, 2);
    EXPECT_FALSE(report.is_open());
    // Still the full disk, not the close that failed after it.
    EXPECT_EQ(report.failure().reason(), first.reason());
    EXPECT_EQ(report.failure().reason().find(std::strerror(EIO)), std::string::npos);
  }
  EXPECT_EQ(bytes(), "/in/a");

  // A close that fails is kept as well.
  platform::fault_injecting_file_system files;
  files.fail_close("report.log", EIO);
  report_stream report = open_report(path(), open_mode::truncate, files);
  report_converted(report, "/in/a.tif");
  EXPECT_TRUE(report.failure().is_ok());
  report.close();
  EXPECT_FALSE(report.failure().is_ok());
  EXPECT_NE(report.failure().reason().find(std::strerror(EIO)), std::string::npos)
      << report.failure().reason();
  EXPECT_EQ(bytes(), "/in/a.tif converted\r\n");
}

TEST_F(ReportFile, NeverWritesThroughASymbolicLink) {
  folder_.write("victim.txt", "precious");
  ASSERT_EQ(symlink(folder_.file("victim.txt").c_str(), path().c_str()), 0);
  for (const open_mode mode : {open_mode::truncate, open_mode::append}) {
    EXPECT_FALSE(report_stream::open(platform::real_file_system(), path(), mode).is_ok());
  }
  EXPECT_EQ(folder_.read("victim.txt"), "precious");
}

TEST(ReportNames, SharedAndPerFileReportPaths) {
  engine_settings settings;
  settings.temp_folder = "/tmp/";
  EXPECT_EQ(shared_report_path(settings), "/tmp/Zembrit_Quarnel.log");
  EXPECT_EQ(per_file_report_path(settings, "/in/sub/scan.v2.TIF"), "/tmp/scan.v2.log");
  EXPECT_EQ(per_file_report_path(settings, "/in/noext"), "/tmp/noext.log");
}

}  // namespace
}  // namespace zq::engine
