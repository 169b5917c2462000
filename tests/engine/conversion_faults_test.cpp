// Faults of the conversions met from outside, as users and scripts meet them:
// writes that fail at the end of a PDF or a join, an output that would land on
// its own source, sources that are not files, pages too large for a reader,
// and the words a failure is reported in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "conversion_test_support.h"
#include "engine/assembly.h"
#include "engine/batch_driver.h"
#include "engine/conversion.h"
#include "engine/report.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"

namespace zq::engine {
namespace {

namespace fs = std::filesystem;
using fault_fs = platform::fault_injecting_file_system;
using testing::command_output;
using testing::make_image;
using testing::name_target;
using testing::names_in;
using testing::scratch_folder;
using testing::settings_in;
using testing::test_run;
using enum converter_result;

constexpr const char* kBilevel =
    "-size 64x48 xc:white -fill black -draw 'rectangle 8,8 40,30' -monochrome "
    "\\( +clone \\) \\( +clone \\) -units PixelsPerInch -density 200 -compress Group4";
constexpr const char* kGrey =
    "-size 40x30 gradient:black-white -colorspace Gray -depth 8 -units PixelsPerInch "
    "-density 150";

// A file-size limit for this process, as `ulimit -f` sets one: a write past
// it fails with EFBIG instead of killing the process. For the writes that go
// by name, past the run's file system.
class file_size_limit {
 public:
  explicit file_size_limit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_limit_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit_;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~file_size_limit() {
    setrlimit(RLIMIT_FSIZE, &old_limit_);
    signal(SIGXFSZ, old_handler_);
  }
  file_size_limit(const file_size_limit&) = delete;
  file_size_limit& operator=(const file_size_limit&) = delete;

 private:
  struct rlimit old_limit_ {};
  sighandler_t old_handler_ = SIG_DFL;
};

// Sources shared by the tests: a three-page bilevel Group 4 TIFF, a grey page
// and a two-page colour TIFF.
class ConversionFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sources_ = new scratch_folder;
    make_image(kBilevel, sources_->file("bilevel.tif"));
    make_image(kGrey, sources_->file("grey.tif"));
    make_image("-size 50x20 xc:red xc:blue -depth 8 -compress LZW", sources_->file("two.tif"));
  }
  static void TearDownTestSuite() {
    delete sources_;
    sources_ = nullptr;
  }

  static std::string source(const std::string& name) { return sources_->file(name); }
  static std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  report_stream open_report() { return testing::open_report(folder_.file("report.log")); }
  std::string report_text() const { return folder_.read("report.log"); }

  static scratch_folder* sources_;
  scratch_folder folder_;
  report_stream no_report_;
};

scratch_folder* ConversionFaults::sources_ = nullptr;

// The last write of a PDF, made by the PDF library, fails (a full disk, a
// close that reports what the disk held back): by both ways a page gets into
// a PDF (Group 4 data as it stands, a page the image library drew) and in
// both kinds of run. The file is not converted, nothing stays under its name,
// and the failure is said.
TEST_F(ConversionFaults, PdfWritesThatFailLeaveNoPdf) {
  struct pdf_case {
    const char* what;
    const char* source;
    bool group4;
    bool single_file;  // a single-file run with adjoin, else a batch page by page
    std::function<void(fault_fs&, const std::string& out)> arm;
    rlim_t size_limit;  // 0: none
  };
  const auto disk_full = [](fault_fs& f, const std::string&) { f.fail_writes_after(300); };
  const auto close_fails = [](fault_fs& f, const std::string& out) { f.fail_close(out); };
  const auto nothing = [](fault_fs&, const std::string&) {};
  const std::vector<pdf_case> cases = {
      {"Group 4 as it stands, disk full", "bilevel.tif", true, false, disk_full, 0},
      {"Group 4 as it stands, close fails", "bilevel.tif", true, false, close_fails, 0},
      // The PDF of that one page takes some 1000 bytes.
      {"Group 4 as it stands, file size limit", "bilevel.tif", true, false, nothing, 700},
      {"drawn page, disk full", "grey.tif", false, false, disk_full, 0},
      {"drawn page, close fails", "grey.tif", false, false, close_fails, 0},
      {"single-file, every page in one PDF, disk full", "two.tif", false, true, disk_full, 0},
      {"single-file Group 4, close fails", "bilevel.tif", true, true, close_fails, 0},
  };
  for (const pdf_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    fault_fs files;
    test_run run(settings_in(folder, kFormatPdf), files);
    run.settings.job.pdf_compression_type = c.group4 ? 1 : 0;
    const std::string base = fs::path(c.source).stem().string();
    std::string output = folder.file("out/" + base + ".pdf");
    c.arm(files, folder.file("out/"));
    converter_result result;
    if (c.single_file) {
      run.settings.job.pdf_adjoin = 1;
      run.settings.job.params_extract_all = 1;
      output = folder.file("out/x.pdf");
      name_target(run.settings, output);
      result = convert_source_to_target(run.run, source(c.source), no_report_);
    } else {
      std::unique_ptr<file_size_limit> limit;
      if (c.size_limit != 0) {
        limit = std::make_unique<file_size_limit>(c.size_limit);
      }
      result = convert_source_file(run.run, source(c.source), no_report_);
    }
    EXPECT_EQ(result, not_converted);
    EXPECT_EQ(names_in(folder.file("out")), std::vector<std::string>{});
    EXPECT_EQ(names_in(folder.file("tmp")), std::vector<std::string>{});
    EXPECT_EQ(run.state.files_count, 0u);
    EXPECT_EQ(run.messages.messages().size(), 1u);
    for (const std::string& message : run.messages.messages()) {
      EXPECT_TRUE(message.starts_with("cannot write " + output + ": ")) << message;
    }
  }
}

// A join of a batch run that writes nothing (its target folder is missing,
// the disk is full, nothing listed can be read) still ends the walk, but the
// file that started it is reported as not converted, and no joined file stays.
TEST_F(ConversionFaults, JoinsThatWriteNothingAreNotConverted) {
  struct join_case {
    const char* what;
    int format_code;
    bool group4;
    const char* listed;  // names of sources, separated by blanks
    bool missing_target;
    std::function<void(fault_fs&)> arm;
    rlim_t size_limit;
    bool said;  // whether the failure is said beside the report
  };
  const auto none = [](fault_fs&) {};
  const auto disk_full = [](fault_fs& f) { f.fail_writes_after(500); };
  const auto close_fails = [](fault_fs& f) { f.fail_close("joined"); };
  const std::vector<join_case> cases = {
      {"PDF, target folder missing", kFormatPdf, false, "grey.tif two.tif", true, none, 0, true},
      {"PDF of drawn pages, disk full", kFormatPdf, false, "grey.tif two.tif", false, disk_full, 0,
       true},
      {"PDF of Group 4 data, disk full", kFormatPdf, true, "bilevel.tif", false, disk_full, 0,
       true},
      {"PDF, close fails", kFormatPdf, true, "bilevel.tif grey.tif", false, close_fails, 0, true},
      {"PDF, nothing listed can be read", kFormatPdf, false, "missing.tif", false, none, 0, false},
      {"TIFF, target folder missing", kFormatTiff, false, "grey.tif two.tif", true, none, 0, true},
      {"TIFF, file size limit", kFormatTiff, false, "grey.tif two.tif bilevel.tif", false, none,
       3000, true},
  };
  for (const join_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    fault_fs files;
    c.arm(files);
    test_run run(settings_in(folder, c.format_code), files);
    job_settings& job = run.settings.job;
    job.report_create_report = 1;
    job.pdf_adjoin = job.tiff_adjoin = 1;
    job.pdf_pdf_name = job.tiff_tif_name = "joined";
    job.pdf_compression_type = c.group4 ? 1 : 0;
    if (c.missing_target) {
      run.settings.target_folder = folder.file("gone");
    }
    std::string list = "[FILES]\r\n";
    std::istringstream names(c.listed);
    int key = 0;
    for (std::string name; names >> name; ++key) {
      list += std::to_string(key) + "=" + source(name) + "\r\n";
    }
    folder.write("tmp/z.log", list);
    const std::string trigger = source("grey.tif");
    report_stream report = open_report();
    converter_result result;
    {
      std::unique_ptr<file_size_limit> limit;
      if (c.size_limit != 0) {
        limit = std::make_unique<file_size_limit>(c.size_limit);
      }
      result = convert_batch_file(run.run, trigger, report);
    }
    report.close();
    EXPECT_EQ(result, stop);
    EXPECT_TRUE(report_text().ends_with("Could not convert " + trigger + "\r\n")) << report_text();
    EXPECT_EQ(report_text().find(" converted\r\n"), std::string::npos) << report_text();
    EXPECT_EQ(names_in(folder.file("out")), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(folder.file("gone")));
    EXPECT_EQ(run.messages.messages().size(), c.said ? 1u : 0u);
    for (const std::string& message : run.messages.messages()) {
      EXPECT_TRUE(message.starts_with("cannot write ")) << message;
    }
    fs::remove(folder.file("report.log"));
  }
}

// An output never replaces the file it is made from, whatever name reaches
// it: the file is refused, its bytes stay, the others are converted.
TEST_F(ConversionFaults, AnOutputNeverReplacesItsOwnSource) {
  struct own_case {
    const char* what;
    // Makes the target the run names, in `folder` which holds "in/a.tif".
    std::function<std::string(const scratch_folder&)> target;
  };
  const std::vector<own_case> cases = {
      {"the same path", [](const scratch_folder& d) { return d.file("in/a.tif"); }},
      {"another spelling", [](const scratch_folder& d) { return d.file("in/./a.tif"); }},
      {"a hard link",
       [](const scratch_folder& d) {
         fs::create_directories(d.file("links"));
         fs::create_hard_link(d.file("in/a.tif"), d.file("links/a.tif"));
         return d.file("links/a.tif");
       }},
      {"a symbolic link",
       [](const scratch_folder& d) {
         fs::create_directories(d.file("links"));
         fs::create_symlink(d.file("in/a.tif"), d.file("links/a.tif"));
         return d.file("links/a.tif");
       }},
      {"through a linked folder",
       [](const scratch_folder& d) {
         fs::create_directory_symlink(d.file("in"), d.file("same"));
         return d.file("same/a.tif");
       }},
  };
  for (const own_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    fs::create_directories(folder.file("in"));
    fs::copy_file(source("two.tif"), folder.file("in/a.tif"));
    const std::string original = bytes_of(folder.file("in/a.tif"));
    test_run run(settings_in(folder, kFormatTiff));
    run.settings.job.report_create_report = 1;
    run.settings.job.tiff_compression_type = 2;
    name_target(run.settings, c.target(folder));
    report_stream report = open_report();
    EXPECT_EQ(convert_source_to_target(run.run, folder.file("in/a.tif"), report), not_converted);
    report.close();
    EXPECT_EQ(bytes_of(folder.file("in/a.tif")), original);
    EXPECT_EQ(report_text(), "Could not convert " + folder.file("in/a.tif") + "\r\n");
    EXPECT_EQ(run.messages.messages(),
              std::vector<std::string>{"cannot write " + run.settings.target_file +
                                       ": the output would replace its own source"});
    EXPECT_EQ(run.state.files_count, 0u);
    fs::remove(folder.file("report.log"));
  }
}

// A batch run whose target folder is its source folder, with TIFF output:
// the one-page file would be written over itself and is refused; the pages of
// the two-page file get names of their own and are converted.
TEST_F(ConversionFaults, BatchIntoItsOwnSourceFolderConvertsTheOthers) {
  fs::create_directories(folder_.file("in"));
  fs::copy_file(source("grey.tif"), folder_.file("in/a.tif"));
  fs::copy_file(source("two.tif"), folder_.file("in/b.tif"));
  const std::string original = bytes_of(folder_.file("in/a.tif"));
  test_run run(settings_in(folder_, kFormatTiff));
  engine_settings& settings = run.settings;
  settings.source_folder = settings.target_folder = folder_.file("in");
  settings.search_pattern = folder_.file("in/*.tif");
  settings.job.report_create_report = 1;
  settings.job.params_extract_all = 1;
  settings.job.tiff_compression_type = 6;
  report_stream report = open_report();
  EXPECT_FALSE(walk_source_folder(run.run, report));
  report.close();
  EXPECT_EQ(report_text(), "Could not convert " + folder_.file("in/a.tif") + "\r\n" +
                               folder_.file("in/b.tif") + " converted\r\n");
  EXPECT_EQ(bytes_of(folder_.file("in/a.tif")), original);
  EXPECT_EQ(names_in(folder_.file("in")),
            (std::vector<std::string>{"a.tif", "b.tif", "b_1.tif", "b_2.tif"}));
  EXPECT_EQ(run.messages.messages(),
            std::vector<std::string>{"cannot write " + folder_.file("in/a.tif") +
                                     ": the output would replace its own source"});
}

// A join whose output is one of the files it reads would replace that file:
// refused, nothing changed. An old joined PDF in the list, which is no source
// the engine reads, is replaced as every earlier output is.
TEST_F(ConversionFaults, AJoinNeverReplacesAFileItJoins) {
  struct join_case {
    const char* what;
    int format_code;
    const char* name;    // pdf_name or tif_name
    const char* output;  // in the folder of the listed files
    bool refused;
  };
  const std::vector<join_case> cases = {
      {"TIFF over a listed TIFF", kFormatTiff, "a", "a.tif", true},
      {"PDF named like a listed TIFF", kFormatPdf, "a.tif", "a.tif", true},
      {"PDF over an earlier joined PDF", kFormatPdf, "old", "old.pdf", false},
  };
  for (const join_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    fs::create_directories(folder.file("in"));
    fs::copy_file(source("grey.tif"), folder.file("in/a.tif"));
    fs::copy_file(source("two.tif"), folder.file("in/b.tif"));
    folder.write("in/old.pdf", "%PDF-1.4 an earlier join\n");
    const std::string output = folder.file(std::string("in/") + c.output);
    const std::string original = bytes_of(output);
    test_run run(settings_in(folder, c.format_code));
    job_settings& job = run.settings.job;
    run.settings.target_folder = folder.file("in");
    job.report_create_report = 1;
    job.pdf_adjoin = job.tiff_adjoin = 1;
    job.pdf_pdf_name = job.tiff_tif_name = c.name;
    folder.write("tmp/z.log", "[FILES]\r\n0=" + folder.file("in/old.pdf") +
                                  "\r\n1=" + folder.file("in/a.tif") +
                                  "\r\n2=" + folder.file("in/b.tif") + "\r\n");
    report_stream report = open_report();
    EXPECT_EQ(c.format_code == kFormatPdf ? assemble_pdf(run.run, report)
                                          : assemble_tiff(run.run, report),
              !c.refused);
    report.close();
    EXPECT_EQ(names_in(folder.file("in")), (std::vector<std::string>{"a.tif", "b.tif", "old.pdf"}));
    if (c.refused) {
      EXPECT_EQ(bytes_of(output), original);
      EXPECT_EQ(run.messages.messages(),
                std::vector<std::string>{"cannot write " + output +
                                         ": the output would replace the listed file " +
                                         folder.file("in/a.tif")});
    } else {
      EXPECT_NE(bytes_of(output), original);
      EXPECT_EQ(run.messages.messages(), std::vector<std::string>{});
      EXPECT_NE(command_output("pdfinfo '" + output + "'").find("Pages:           3"),
                std::string::npos);
    }
  }
}

// Only regular files are read as sources. A FIFO, a link to one, a device:
// each gets its "cannot be read" lines with the reason, none is ever opened
// (a FIFO would wait for a writer for ever), and the walk goes on. Bounded:
// a walk that hangs on the FIFO is released and fails the test.
TEST_F(ConversionFaults, SourcesThatAreNoFilesAreNeverOpened) {
  fs::create_directories(folder_.file("in"));
  fs::copy_file(source("grey.tif"), folder_.file("in/a.tif"));
  const std::string fifo = folder_.file("in/b.tif");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(fifo, folder_.file("in/c.tif"));
  fs::create_symlink("/dev/null", folder_.file("in/d.tif"));
  fs::create_symlink(folder_.file("in/a.tif"), folder_.file("in/e.tif"));

  test_run run(settings_in(folder_, kFormatPng));
  engine_settings& settings = run.settings;
  settings.source_folder = folder_.file("in");
  settings.search_pattern = folder_.file("in/*.tif");
  settings.job.report_create_report = 1;
  report_stream report = open_report();
  std::future<bool> walked =
      std::async(std::launch::async, [&] { return walk_source_folder(run.run, report); });
  const bool finished = walked.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  while (walked.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    // Lets a reader stuck on the FIFO see its end.
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) {
      ::close(writer);
    }
  }
  EXPECT_TRUE(finished) << "the walk waited on the FIFO";
  EXPECT_FALSE(walked.get());
  report.close();
  const auto unreadable = [&](const char* name) {
    const std::string path = folder_.file(std::string("in/") + name);
    return "The file " + path + " cannot be read by Zembrit_Quarnel\r\n\tnot a regular file\r\n" +
           "Could not convert " + path + "\r\n";
  };
  EXPECT_EQ(report_text(), folder_.file("in/a.tif") + " converted\r\n" + unreadable("b.tif") +
                               unreadable("c.tif") + unreadable("d.tif") +
                               folder_.file("in/e.tif") + " converted\r\n");
  EXPECT_EQ(names_in(folder_.file("out")), (std::vector<std::string>{"a.png", "e.png"}));
}

// A FIFO among the files a join reads is passed over like any file that
// cannot be read; the others are joined.
TEST_F(ConversionFaults, AJoinPassesOverAFifo) {
  const std::string fifo = folder_.file("in/f.tif");
  fs::create_directories(folder_.file("in"));
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const int format_code : {kFormatPdf, kFormatTiff}) {
    SCOPED_TRACE(format_code);
    test_run run(settings_in(folder_, format_code));
    run.settings.job.pdf_pdf_name = run.settings.job.tiff_tif_name = "joined";
    folder_.write("tmp/z.log",
                  "[FILES]\r\n0=" + fifo + "\r\n1=" + source("two.tif") + "\r\n2=" + fifo + "\r\n");
    std::future<bool> joined = std::async(std::launch::async, [&] {
      return format_code == kFormatPdf ? assemble_pdf(run.run, no_report_)
                                       : assemble_tiff(run.run, no_report_);
    });
    const bool finished = joined.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    while (joined.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) {
        ::close(writer);
      }
    }
    EXPECT_TRUE(finished) << "the join waited on the FIFO";
    EXPECT_TRUE(joined.get());
    const std::string output =
        folder_.file(format_code == kFormatPdf ? "out/joined.pdf" : "out/joined.tif");
    EXPECT_EQ(testing::frame_sizes(output, format_code),
              (std::vector<testing::frame_size>{{50, 20}, {50, 20}}));
  }
}

// Writes a TIFF of one bilevel page of `columns` x `rows` white pixels as
// Group 4 data (each row a single vertical-mode code against the white row
// above), at `dpi`: a page of any size in a few bytes a row, which the image
// library never has to hold.
void write_white_group4_tiff(const std::string& path, std::uint32_t columns, std::uint32_t rows,
                             std::uint32_t dpi) {
  std::string bytes = std::string("II*\0", 4);
  auto put16 = [&](std::uint32_t value) {
    bytes.push_back(static_cast<char>(value & 0xff));
    bytes.push_back(static_cast<char>((value >> 8) & 0xff));
  };
  auto put32 = [&](std::uint32_t value) {
    put16(value & 0xffff);
    put16(value >> 16);
  };
  put32(8);
  constexpr std::uint32_t kEntries = 13;
  const std::uint32_t rationals = 8 + 2 + kEntries * 12 + 4;
  const std::uint32_t data = rationals + 16;
  std::string strip((rows + 7) / 8, '\xff');
  strip += std::string("\x00\x10\x01", 3);  // end of facsimile block
  const auto length = static_cast<std::uint32_t>(strip.size());
  put16(kEntries);
  auto entry = [&](std::uint32_t tag, std::uint32_t type, std::uint32_t value) {
    put16(tag);
    put16(type);
    put32(1);
    if (type == 3) {
      put16(value);
      put16(0);
    } else {
      put32(value);
    }
  };
  entry(256, 4, columns);
  entry(257, 4, rows);
  entry(258, 3, 1);       // one bit a sample
  entry(259, 3, 4);       // Group 4
  entry(262, 3, 0);       // white is zero
  entry(273, 4, data);    // strip offset
  entry(277, 3, 1);       // one sample a pixel
  entry(278, 4, rows);    // one strip
  entry(279, 4, length);  // strip length
  entry(282, 5, rationals);
  entry(283, 5, rationals + 8);
  entry(284, 3, 1);  // one plane
  entry(296, 3, 2);  // per inch
  put32(0);
  for (int axis = 0; axis < 2; ++axis) {
    put32(dpi);
    put32(1);
  }
  bytes += strip;
  std::ofstream(path, std::ios::binary) << bytes;
}

// The page boxes and user unit of every page as qpdf reads them:
// "<width> <height> <unit>" per page, the boxes in the page's own units.
std::vector<std::string> page_measures(const std::string& pdf) {
  const std::string json = command_output("qpdf --json=2 --json-key=qpdf '" + pdf + "' 2>&1");
  std::vector<std::string> measures;
  // A page's keys come in name order: the box, then its type, then its unit.
  const std::regex page(
      "\"/MediaBox\": \\[\\s*0,\\s*0,\\s*([0-9.]+),\\s*([0-9.]+)\\s*\\][\\s\\S]*?"
      "\"/Type\": \"/Page\"(?:,\\s*\"/UserUnit\": ([0-9.]+))?");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), page); it != std::sregex_iterator();
       ++it) {
    measures.push_back((*it)[1].str() + " " + (*it)[2].str() + " " +
                       ((*it)[3].matched ? (*it)[3].str() : std::string("1")));
  }
  return measures;
}

// Pages larger than readers take (14400 units a side) keep their size in
// larger units: /UserUnit, with the boxes and the drawing scaled to match.
// Pages within the limit are written as before.
TEST_F(ConversionFaults, PagesBeyondTheReadersLimitAreMeasuredInLargerUnits) {
  struct page_case {
    const char* what;
    std::function<std::string(const scratch_folder&)> make;  // the source
    int compression;
    std::vector<std::string> pages;  // width, height, unit
  };
  const std::vector<page_case> cases = {
      {"100000 pixels square of Group 4 at 200 dpi",
       [](const scratch_folder& d) {
         write_white_group4_tiff(d.file("huge.tif"), 100000, 100000, 200);
         return d.file("huge.tif");
       },
       1,
       {"12000 12000 3"}},
      {"a wide drawn page at 1 dpi",
       [](const scratch_folder& d) {
         make_image("-size 300x10 xc:gray -depth 8 -units PixelsPerInch -density 1",
                    d.file("wide.tif"));
         return d.file("wide.tif");
       },
       0,
       {"10800 360 2"}},
      {"an ordinary Group 4 page",
       [](const scratch_folder& d) {
         write_white_group4_tiff(d.file("letter.tif"), 1700, 2200, 200);
         return d.file("letter.tif");
       },
       1,
       {"612 792 1"}},
  };
  for (const page_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    const std::string path = c.make(folder);
    test_run run(settings_in(folder, kFormatPdf));
    run.settings.job.pdf_compression_type = c.compression;
    EXPECT_EQ(convert_source_file(run.run, path, no_report_), converted);
    const std::vector<std::string> outputs = names_in(folder.file("out"));
    EXPECT_EQ(outputs.size(), 1u);
    if (outputs.size() != 1) {
      continue;
    }
    const std::string pdf = folder.file("out/" + outputs[0]);
    EXPECT_EQ(page_measures(pdf), c.pages);
    const std::string info = command_output("pdfinfo '" + pdf + "' 2>&1");
    EXPECT_EQ(info.find("Error"), std::string::npos) << info;
  }
}

// The reason that follows "cannot be read" is the reason alone: neither the
// file's name again nor the image library's place in its own source code,
// in a batch conversion and in a join alike.
TEST_F(ConversionFaults, UnreadableSourcesAreReportedWithTheReasonAlone) {
  folder_.write("in/text.tif", "not an image at all\n");
  const std::string whole = bytes_of(source("two.tif"));
  folder_.write("in/cut.tif", whole.substr(0, whole.size() / 3));
  folder_.write("in/magic.tif", std::string("II*\0\x08\0\0\0\xff\xff", 10));
  const struct {
    const char* name;
    const char* reason;  // nullptr: whatever the library says, without name or place
  } cases[] = {
      {"text.tif", "Not a TIFF or MDI file, bad magic number 28526 (0x6f6e)."},
      {"cut.tif", nullptr},
      {"magic.tif", nullptr},
  };
  for (const auto& c : cases) {
    for (const bool join : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (join ? " in a join" : ""));
      scratch_folder folder;
      test_run run(settings_in(folder, join ? kFormatTiff : kFormatPng));
      run.settings.job.report_create_report = 1;
      run.settings.job.params_extract_all = 1;
      const std::string path = folder_.file(std::string("in/") + c.name);
      report_stream report = testing::open_report(folder.file("report.log"));
      if (join) {
        folder.write("tmp/z.log", "[FILES]\r\n0=" + path + "\r\n");
        EXPECT_FALSE(assemble_tiff(run.run, report));
      } else {
        EXPECT_EQ(convert_source_file(run.run, path, report), not_converted);
      }
      report.close();
      const std::string text = folder.read("report.log");
      const std::string head =
          join ? "The file TIFF:" + path + " cannot be read by Zembrit\r\n\t"
               : "The file " + path + " cannot be read by Zembrit_Quarnel\r\n\t";
      EXPECT_TRUE(text.starts_with(head) && text.ends_with("\r\n")) << text;
      if (!text.starts_with(head)) {
        continue;
      }
      const std::string reason =
          text.substr(head.size(), text.find("\r\n", head.size()) - head.size());
      if (c.reason != nullptr) {
        EXPECT_EQ(reason, c.reason);
      }
      EXPECT_FALSE(reason.empty());
      EXPECT_EQ(reason.find(" @ "), std::string::npos) << reason;
      EXPECT_EQ(reason.find("error/"), std::string::npos) << reason;
      EXPECT_EQ(reason.find(path), std::string::npos) << reason;
    }
  }
}

// The shapes the image library's reasons come in, and the engine's own.
TEST(UnreadableReason, KeepsTheReasonAndItsCauseOnly) {
  const std::string path = "/in/a b.tif";
  const struct {
    const char* what;
    status failure;
    const char* expected;
  } cases[] = {
      {"name and place folded into the reason",
       status::error("Not a TIFF or MDI file, bad magic number 28526 (0x6f6e). `/in/a b.tif' @ "
                     "error/tiff.c/TIFFErrors/603"),
       "Not a TIFF or MDI file, bad magic number 28526 (0x6f6e)."},
      {"the name of the routine that failed, after libtiff's own naming of the file",
       status::error("/in/a b.tif: Can not read TIFF directory. `TIFFFetchDirectory' @ "
                     "error/tiff.c/TIFFErrors/603"),
       "Can not read TIFF directory."},
      {"a cause after the quoted name",
       status::error("unable to open image `/in/a b.tif': Permission denied @ "
                     "error/blob.c/OpenBlob/2924"),
       "unable to open image: Permission denied"},
      {"the name with a coder's prefix",
       status::error("unable to open image `TIFF:/in/a b.tif': No such file or directory @ "
                     "error/blob.c/OpenBlob/2924"),
       "unable to open image: No such file or directory"},
      {"a format name",
       status::error("no decode delegate for this image format `XYZ' @ "
                     "error/constitute.c/ReadImage/594"),
       "no decode delegate for this image format"},
      {"the detail apart", status::error("unable to open image", "`/in/a b.tif' @ error/x.c/y/1"),
       "unable to open image"},
      {"the engine's own", status::error("not a regular file", path), "not a regular file"},
      {"an '@' that is no place", status::error("mail me @ home"), "mail me @ home"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(unreadable_reason(c.failure, path), c.expected) << c.what;
  }
}

// A file that cannot be converted before any output is named (the run's
// format code names no format, the output's path would be too long) is
// refused in both kinds of run with the cause; nothing is written.
TEST_F(ConversionFaults, RefusalsBeforeAnyOutputNameTheirCause) {
  struct refusal_case {
    const char* what;
    int format_code;
    std::size_t target_folder_length;  // 0: the usual one
    std::string cause;
  };
  const std::string too_long =
      "its output's path would be longer than " + std::to_string(kMaxPathLength) + " bytes";
  const std::vector<refusal_case> cases = {
      {"no format known", -1, 0, "no format for the code -1"},
      {"one past the table", 13, 0, "no format for the code 13"},
      {"far outside", 42, 0, "no format for the code 42"},
      {"path too long", kFormatPng, kMaxPathLength, too_long},
  };
  for (const refusal_case& c : cases) {
    for (const bool single_file : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (single_file ? ", single file" : ", batch"));
      scratch_folder folder;
      test_run run(settings_in(folder, c.format_code));
      run.settings.job.report_create_report = 1;
      std::string target = folder.file("out/x.xyz");
      if (c.target_folder_length != 0) {
        run.settings.target_folder = "/" + std::string(c.target_folder_length, 'd');
        target = run.settings.target_folder + "/x.png";
      }
      report_stream report = testing::open_report(folder.file("report.log"));
      converter_result result;
      if (single_file) {
        name_target(run.settings, target);
        result = convert_source_to_target(run.run, source("grey.tif"), report);
      } else {
        result = convert_source_file(run.run, source("grey.tif"), report);
      }
      report.close();
      EXPECT_EQ(result, not_converted);
      EXPECT_EQ(run.messages.messages(),
                std::vector<std::string>{"cannot convert " + source("grey.tif") + ": " + c.cause});
      EXPECT_EQ(folder.read("report.log"),
                single_file ? "Could not convert " + source("grey.tif") + "\r\n" : "");
      EXPECT_EQ(names_in(folder.file("out")), std::vector<std::string>{});
    }
  }
}

// A page segment that cannot be made says what went wrong, past the step
// that failed: the cause the bitmap library or the system gave reaches the
// message.
TEST_F(ConversionFaults, PageSegmentFailuresNameTheirCause) {
  struct segment_case {
    const char* what;
    rlim_t size_limit;  // 0: none
    std::function<void(fault_fs&, const scratch_folder&)> arm;
    const char* cause;  // in the message
  };
  const std::vector<segment_case> cases = {
      {"the segment is cut short", 400, [](fault_fs&, const scratch_folder&) {},
       "the page segment could not be written: write error"},
      {"the segment's folder refused", 0,
       [](fault_fs& f, const scratch_folder& d) { f.fail_make_folder(d.file("out/")); },
       "Permission denied"},
  };
  for (const segment_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    fault_fs files;
    c.arm(files, folder);
    test_run run(settings_in(folder, kFormatPse), files);
    run.settings.job.params_extract_all = 1;
    converter_result result;
    {
      std::unique_ptr<file_size_limit> limit;
      if (c.size_limit != 0) {
        limit = std::make_unique<file_size_limit>(c.size_limit);
      }
      result = convert_source_file(run.run, source("two.tif"), no_report_);
    }
    EXPECT_EQ(result, not_converted);
    EXPECT_EQ(run.messages.messages().size(), 1u);
    for (const std::string& message : run.messages.messages()) {
      EXPECT_NE(message.find(c.cause), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace zq::engine
