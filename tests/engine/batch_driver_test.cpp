#include "engine/batch_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "common/version.h"
#include "conversion_test_support.h"
#include "engine/conversion.h"
#include "engine/engine_entry.h"
#include "engine/magick.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"
#include "report_golden.h"

namespace zq::engine {
namespace {

using testing::golden_footer;
using testing::make_image;
using testing::mask_dates;
using testing::names_in;
using testing::open_report;
using testing::scratch_folder;
using testing::test_run;

// Stands in for the converter: records what a walk hands over (and what the
// walk has made the current file by then) and answers the stop result for
// one chosen file.
struct handed_files {
  std::vector<std::string> paths;
  std::string stop_at;

  batch_converter converter() {
    return [this](engine_run& run, const std::string& path, report_stream&) {
      EXPECT_EQ(run.state.current_file, path);
      paths.push_back(path);
      return path == stop_at ? converter_result::stop : converter_result::converted;
    };
  }
};

class BatchWalk : public ::testing::Test {
 protected:
  BatchWalk() {
    settings_.source_folder = source_folder();
    settings_.search_pattern = settings_.source_folder + "/*.tif";
    settings_.temp_folder = temp_.path();
    settings_.file_list_path = temp_.file("z.log");
  }

  // What the walks said; every test here expects silence unless it says so.
  const std::vector<std::string>& messages() const { return run_.messages.messages(); }

  std::string source_folder() const { return work_.file("in"); }
  std::string source(const std::string& name) const { return work_.file("in/" + name); }
  void add(const std::string& name) const { work_.write("in/" + name, "not read here"); }

  std::vector<std::string> sources(const std::vector<std::string>& names) const {
    std::vector<std::string> paths;
    for (const std::string& name : names) {
      paths.push_back(source(name));
    }
    return paths;
  }

  scratch_folder work_;
  scratch_folder temp_;
  test_run run_;
  engine_settings& settings_ = run_.settings;
  run_state& state_ = run_.state;
  report_stream none_;  // a run without a shared report
};

TEST_F(BatchWalk, EachWalkTakesItsFiles) {
  for (const char* name :
       {"a.tif", "b.TIF", "c.tiff", "d.tifx", ".dot.tif", "e.txt", "noext", "f.tif.bak", "tif",
        "g.tif/h.tif", "sub/y.TIFF", "sub/.deep/z.tif", ".hidden/x.tif", ".hidden.tif/w.tif"}) {
    add(name);
  }
  work_.write("elsewhere/v.tif", "outside the source folder");
  ASSERT_EQ(symlink(work_.file("elsewhere").c_str(), source("linked").c_str()), 0);

  {
    handed_files handed;
    EXPECT_FALSE(walk_source_folder(run_.run, none_, handed.converter()));
    // "*.tif" as the folder enumeration matches it: longer extensions too, no folders.
    EXPECT_EQ(handed.paths, sources({".dot.tif", "a.tif", "b.TIF", "c.tiff", "d.tifx"}));
    EXPECT_EQ(state_.files_count, 5u);
  }
  {
    state_.files_count = 0;
    handed_files handed;
    walk_folder_tree(run_.run, none_, source_folder(), handed.converter());
    // A folder whose name begins with a dot is never entered, but a name of that
    // kind is still taken for its extension (".hidden.tif"), as any file is.
    EXPECT_EQ(handed.paths, sources({".dot.tif", ".hidden.tif", "a.tif", "b.TIF", "c.tiff",
                                     "d.tifx", "g.tif/h.tif", "sub/y.TIFF"}));
    EXPECT_EQ(state_.files_count, 8u);
  }
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(BatchWalk, StopResultEndsTheFlatWalkButOnlyOneLevelOfTheTree) {
  for (const char* name : {"a.tif", "b.tif", "c.tif", "m/a.tif", "m/b.tif", "m/n/a.tif"}) {
    add(name);
  }
  {
    handed_files handed{{}, source("b.tif")};
    EXPECT_TRUE(walk_source_folder(run_.run, none_, handed.converter()));
    EXPECT_EQ(handed.paths, sources({"a.tif", "b.tif"}));
    EXPECT_EQ(state_.files_count, 2u);
  }
  {
    handed_files handed{{}, source("m/n/a.tif")};
    walk_folder_tree(run_.run, none_, source_folder() + "/", handed.converter());
    EXPECT_EQ(handed.paths,
              sources({"a.tif", "b.tif", "c.tif", "m/a.tif", "m/b.tif", "m/n/a.tif"}));
  }
  {
    handed_files handed{{}, source("m/a.tif")};
    walk_folder_tree(run_.run, none_, source_folder(), handed.converter());
    EXPECT_EQ(handed.paths, sources({"a.tif", "b.tif", "c.tif", "m/a.tif"}));
  }
}

TEST_F(BatchWalk, FoldersThatCannotBeReadHandOverNothing) {
  settings_.source_folder = work_.file("missing");
  settings_.search_pattern = settings_.source_folder + "/*.tif";
  handed_files handed;
  EXPECT_FALSE(walk_source_folder(run_.run, none_, handed.converter()));
  walk_folder_tree(run_.run, none_, settings_.source_folder, handed.converter());
  write_file_list(run_.run, settings_.source_folder);
  EXPECT_TRUE(handed.paths.empty());
  EXPECT_FALSE(temp_.exists("z.log"));
  EXPECT_EQ(state_.files_count, 0u);
  EXPECT_EQ(state_.current_file, "");
  // Each walk says which folder it could not read, and why.
  ASSERT_EQ(messages().size(), 3u);
  for (const std::string& message : messages()) {
    EXPECT_TRUE(message.starts_with("Cannot read folder " + settings_.source_folder)) << message;
    EXPECT_NE(message.find(std::strerror(ENOENT)), std::string::npos) << message;
  }
}

TEST_F(BatchWalk, FileListHoldsEveryFileAndKeepsAnEarlierWritersSurplus) {
  for (const char* name : {"b.tif", "A.txt", "sub/c.tif"}) {
    add(name);
  }
  temp_.write("z.log", "; picked\r\n[FILES]\r\n0=/old/0.tif\r\n1=/old/1.tif\r\n2=/old/2.tif\r\n");
  write_file_list(run_.run, source_folder());
  EXPECT_EQ(temp_.read("z.log"), "; picked\r\n[FILES]\r\n0=" + source("A.txt") +
                                     "\r\n1=" + source("b.tif") + "\r\n2=/old/2.tif\r\n");
  EXPECT_EQ(state_.current_file, source("b.tif"));

  std::filesystem::remove(temp_.file("z.log"));
  write_file_list(run_.run, work_.file("in/sub/"));
  EXPECT_EQ(temp_.read("z.log"), "[FILES]\r\n0=" + source("sub/c.tif") + "\r\n");

  // A folder without files writes nothing and leaves the current file alone.
  std::filesystem::remove(temp_.file("z.log"));
  std::filesystem::create_directories(work_.file("empty/sub"));
  write_file_list(run_.run, work_.file("empty"));
  EXPECT_FALSE(temp_.exists("z.log"));
  EXPECT_EQ(state_.current_file, source("sub/c.tif"));
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

// A list that cannot be written is said; the walk goes on to the join, which
// reads what the file holds.
TEST_F(BatchWalk, FileListThatCannotBeWrittenIsSaid) {
  add("a.tif");
  settings_.file_list_path = temp_.file("missing/z.log");
  write_file_list(run_.run, source_folder());
  EXPECT_EQ(state_.current_file, source("a.tif"));
  EXPECT_FALSE(temp_.exists("missing"));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(
      messages()[0].starts_with("cannot write the file list " + temp_.file("missing/z.log") + ": "))
      << messages()[0];
}

// The choice of walk and where the shared report gets its footer.
TEST_F(BatchWalk, ChoiceOfWalkAndFooter) {
  for (const char* name : {"a.tif", "b.tif", "notes.txt", "sub/c.tif"}) {
    add(name);
  }
  const struct {
    const char* what;
    int recurse;
    int format_code;
    int pdf_adjoin;
    const char* stop_at;
    std::vector<std::string> handed;
    unsigned files_count;
    bool footer;
    bool file_list;
  } cases[] = {
      {"flat walk", 0, kFormatPng, 0, "", {"a.tif", "b.tif"}, 2, true, false},
      {"flat walk stopped", 0, kFormatTiff, 0, "a.tif", {"a.tif"}, 1, false, false},
      {"tree", 1, kFormatPng, 0, "", {"a.tif", "b.tif", "sub/c.tif"}, 3, true, false},
      {"tree stopped", 1, kFormatPdf, 1, "a.tif", {"a.tif"}, 1, true, false},
      {"joined PDF", 0, kFormatPdf, 1, "notes.txt", {"notes.txt"}, 0, false, true},
      {"PDF one per file", 0, kFormatPdf, 0, "", {"a.tif", "b.tif"}, 2, true, false},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(temp_.file("z.log"));
    settings_.job.params_recurse = c.recurse;
    settings_.format_code = c.format_code;
    settings_.job.pdf_adjoin = c.pdf_adjoin;
    state_ = run_state();
    handed_files handed{{}, c.stop_at[0] != '\0' ? source(c.stop_at) : ""};
    {
      report_stream report = open_report(temp_.file("Zembrit_Quarnel.log"));
      run_batch_walk(run_.run, report, handed.converter());
      EXPECT_TRUE(report.failure().is_ok()) << c.what;
    }
    EXPECT_EQ(handed.paths, sources(c.handed)) << c.what;
    EXPECT_EQ(state_.files_count, c.files_count) << c.what;
    EXPECT_EQ(mask_dates(temp_.read("Zembrit_Quarnel.log")),
              c.footer ? golden_footer(c.files_count) : "")
        << c.what;
    EXPECT_EQ(temp_.exists("z.log"), c.file_list) << c.what;
  }
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(BatchWalk, JoinedPdfOfAnEmptyFolderHandsOverAnEmptyPath) {
  std::filesystem::create_directories(source_folder());
  settings_.format_code = kFormatPdf;
  settings_.job.pdf_adjoin = 1;
  handed_files handed;
  run_batch_walk(run_.run, none_, handed.converter());
  EXPECT_EQ(handed.paths, std::vector<std::string>{""});
}

// Whole engine runs with real conversions.
class EngineRun : public ::testing::Test {
 protected:
  EngineRun() : environment_{temp_.path(), temp_.path()} {}

  // A job file converting `source` into `target` (folders of the work
  // folder), its temp folder in the work folder too, with `more` appended.
  std::string job(const std::string& more, const std::string& name = "job.ini") {
    work_.write(name, "[FOLDERS]\r\nsource=" + work_.file("in") + "\r\ntarget=" +
                          work_.file("out") + "\r\ntemp=" + work_.file("temp") + "\r\n" + more);
    std::filesystem::create_directories(work_.file("in"));
    std::filesystem::create_directories(work_.file("out"));
    std::filesystem::create_directories(work_.file("temp"));
    return work_.file(name);
  }

  std::string in(const std::string& name) const { return work_.file("in/" + name); }
  // A small grey TIFF of `pages` pages.
  void tiff(const std::string& name, int pages = 1) const {
    std::string images;
    for (int page = 0; page < pages; ++page) {
      images += " xc:gray" + std::to_string(20 + 30 * page);
    }
    make_image("-size 8x6" + images, in(name));
  }
  void not_a_tiff(const std::string& name) const {
    work_.write("in/" + name, "II*\0 but no directory follows");
  }

  // One engine run, with its messages kept for the test until the next.
  int run(const std::string& command, platform::file_system& files = platform::real_file_system()) {
    messages_ = recorded_diagnostics();
    return run_engine(command, environment_, files, messages_);
  }
  const std::vector<std::string>& messages() const { return messages_.messages(); }
  const std::string& progress() const { return messages_.progress_text(); }

  // A report with its dates and the image library's reasons (the lines that
  // begin with a tab) masked.
  std::string report(const std::string& name = "Zembrit_Quarnel.log") const {
    std::string text = mask_dates(work_.read("temp/" + name));
    for (std::size_t at = text.find("\n\t"); at != std::string::npos;
         at = text.find("\n\t", at + 1)) {
      const std::size_t end = text.find("\r\n", at);
      if (end == std::string::npos) {
        break;
      }
      text.replace(at + 2, end - at - 2, "<reason>");
    }
    return text;
  }

  std::vector<std::string> outputs() const { return names_in(work_.file("out")); }

  // The header of the file form or, with no source, the folder form.
  std::string header(const std::string& job_file, const std::string& block,
                     const std::string& source = "", const std::string& target = "",
                     int use_tiff_name = 0) const {
    const std::string files =
        source.empty()
            ? "source path:\t" + work_.file("in") + "\r\ntarget path:\t" + work_.file("out")
            : "source file:\t" + source + "\r\ntarget file:\t" + target;
    return "\r\n" + testing::kRule + "\r\n" + kVersionText + "\r\n<date>\r\n" + testing::kRule +
           "\r\n\r\nini file used:\t" + job_file + "\r\n" + files + "\r\ntemp path:\t" +
           work_.file("temp") +
           "\r\nrecurse:\t\t0\r\nreproduce path:\t0\r\ndensity:\t\t150\r\nsize:\t\t\t\r\n\r\n"
           "usr tiff name:\t" +
           std::to_string(use_tiff_name) + "\r\n\r\n" + block + "\r\n" + testing::kRule + "\r\n";
  }

  std::string unreadable(const std::string& path) const {
    return "The file " + path + " cannot be read by Zembrit_Quarnel\r\n\t<reason>\r\n";
  }

  scratch_folder temp_;  // the system temporary folder: the error file
  scratch_folder work_;
  engine_environment environment_;
  recorded_diagnostics messages_;
};

TEST_F(EngineRun, BatchOverThreeTiffsOneUnreadable) {
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\n");
  tiff("a.tif");
  not_a_tiff("b.tif");
  tiff("c.tif", 2);
  EXPECT_EQ(run("C|" + ini), 0);
  EXPECT_EQ(report(), in("a.tif") + " converted\r\n" + unreadable(in("b.tif")) +
                          "Could not convert " + in("b.tif") + "\r\n" + in("c.tif") +
                          " converted\r\n" + golden_footer(3));
  EXPECT_EQ(outputs(), (std::vector<std::string>{"a.png", "c.png"}));
  EXPECT_TRUE(temp_.exists("error.txt"));
  EXPECT_EQ(temp_.read("error.txt"), "");
  EXPECT_FALSE(work_.exists("temp/z.log"));
  // A caller watching the run sees each file converted page by page end.
  EXPECT_EQ(progress(), "OK\n\nOK\n\n");
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(EngineRun, EmptySourceFolderLeavesTheFiveLineReport) {
  EXPECT_EQ(run("C|" + job("")), 0);
  EXPECT_EQ(report(), golden_footer(0));
  EXPECT_EQ(progress(), "");
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

TEST_F(EngineRun, SharedReportThatCannotBeCreatedEndsWithExitCodeOne) {
  const std::string ini = job("");
  tiff("a.tif");
  std::filesystem::create_directories(work_.file("temp/Zembrit_Quarnel.log"));
  EXPECT_EQ(run("C|" + ini), 1);
  EXPECT_TRUE(outputs().empty());
  const std::string said = "cannot create the report " + work_.file("temp/Zembrit_Quarnel.log");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(messages()[0].starts_with(said + ": ")) << messages()[0];
  std::filesystem::remove(work_.file("temp/Zembrit_Quarnel.log"));

  // The same for a report the file system refuses, a full disk say.
  platform::fault_injecting_file_system files;
  files.fail_open_for_write("Zembrit_Quarnel.log", ENOSPC);
  EXPECT_EQ(run("C|" + ini, files), 1);
  EXPECT_TRUE(outputs().empty());
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(messages()[0].starts_with(said + ": ")) << messages()[0];
  EXPECT_NE(messages()[0].find(std::strerror(ENOSPC)), std::string::npos) << messages()[0];
  EXPECT_FALSE(work_.exists("temp/Zembrit_Quarnel.log"));
}

// A report that runs out of room costs the report, never a conversion: every
// file is still converted, and the run's exit code says the report is not whole.
TEST_F(EngineRun, FullDiskForTheReportStopsNoConversion) {
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\n");
  tiff("a.tif");
  tiff("b.tif");
  platform::fault_injecting_file_system files;
  files.fail_writes_after(12, ENOSPC);
  EXPECT_EQ(run("C|" + ini, files), 1);
  EXPECT_EQ(outputs(), (std::vector<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(work_.read("temp/Zembrit_Quarnel.log"), (in("a.tif") + " converted\r\n").substr(0, 12));
  EXPECT_EQ(progress(), "OK\n\nOK\n\n");
}

TEST_F(EngineRun, SingleFileRunsAppendCompleteBlocks) {
  const std::string ini = job("[PARAMS]\r\nimage_type=3\r\n[JPEG]\r\nquality=80\r\n");
  tiff("a.tif");
  not_a_tiff("b.tif");
  work_.write("temp/z.log", "[FILES]\r\n0=/picked.tif\r\n");
  const std::string jpeg = "image_type:\tJPEG\r\njpeg_quality:\t80\r\n";
  const std::string a_target = work_.file("out/a.jpg");
  const std::string b_target = work_.file("out/b.jpg");
  EXPECT_EQ(run("G|" + in("a.tif") + "|" + a_target + "|" + ini), 0);
  EXPECT_EQ(run("G|" + in("b.tif") + "|" + b_target + "|" + ini), 0);
  // The single-file conversion names only the source it could not read.
  EXPECT_EQ(report(), header(ini, jpeg, in("a.tif"), a_target) + in("a.tif") + " converted\r\n" +
                          golden_footer(1) + header(ini, jpeg, in("b.tif"), b_target) +
                          "The file " + in("b.tif") + " cannot be read by Zembrit_Quarnel\r\n" +
                          golden_footer(0));
  EXPECT_EQ(outputs(), std::vector<std::string>{"a.jpg"});
  EXPECT_EQ(work_.read("temp/z.log"), "[FILES]\r\n0=/picked.tif\r\n");
  EXPECT_EQ(temp_.read("error.txt"), "");
  // The page-by-page progress is the batch run's only.
  EXPECT_EQ(progress(), "");

  // A batch run with the same settings starts the report afresh.
  EXPECT_EQ(run("C|" + ini), 0);
  EXPECT_TRUE(report().starts_with(in("a.tif") + " converted\r\n"));
  EXPECT_FALSE(work_.exists("temp/z.log"));
}

TEST_F(EngineRun, ReportsNamedAfterTheirSources) {
  const std::string ini = job("[PARAMS]\r\nimage_type=10\r\n[REPORT]\r\nuse_tiff_name=1\r\n");
  tiff("a.tif");
  not_a_tiff("b.tif");
  EXPECT_EQ(run("C|" + ini), 0);
  const std::string tga = "image_type:\tTGA\r\n";
  // Each report counts the files handed over before its own.
  EXPECT_EQ(report("a.log"),
            header(ini, tga, "", "", 1) + in("a.tif") + " converted\r\n" + golden_footer(0));
  EXPECT_EQ(report("b.log"), header(ini, tga, "", "", 1) + unreadable(in("b.tif")) +
                                 "Could not convert " + in("b.tif") + "\r\n" + golden_footer(1));
  EXPECT_FALSE(work_.exists("temp/Zembrit_Quarnel.log"));

  // A single-file run appends its block to the report of its source.
  const std::string target = work_.file("out/a.tga");
  EXPECT_EQ(run("G|" + in("a.tif") + "|" + target + "|" + ini), 0);
  EXPECT_EQ(report("a.log"), header(ini, tga, "", "", 1) + in("a.tif") + " converted\r\n" +
                                 golden_footer(0) + header(ini, tga, in("a.tif"), target, 1) +
                                 in("a.tif") + " converted\r\n" + golden_footer(1));
  EXPECT_FALSE(work_.exists("temp/Zembrit_Quarnel.log"));
}

TEST_F(EngineRun, SameBaseNameInTwoFoldersKeepsTheLaterReport) {
  const std::string ini =
      job("[PARAMS]\r\nimage_type=10\r\nrecurse=1\r\n[REPORT]\r\nuse_tiff_name=1\r\n");
  tiff("a.tif");
  tiff("sub/a.tif");
  EXPECT_EQ(run("C|" + ini), 0);
  const std::string block = report("a.log");
  EXPECT_NE(block.find(in("sub/a.tif") + " converted\r\n"), std::string::npos) << block;
  EXPECT_EQ(block.find(in("a.tif") + " converted"), std::string::npos) << block;
  EXPECT_TRUE(block.ends_with(golden_footer(1)));
}

TEST_F(EngineRun, JoinedPdfOfTheSourceFolder) {
  const std::string ini = job("[PARAMS]\r\nimage_type=6\r\nextract_all=1\r\n[PDF]\r\nadjoin=1\r\n");
  tiff("a.tif");
  tiff("b.tif", 2);
  tiff("c.tif");
  EXPECT_EQ(run("C|" + ini), 0);
  // One PDF of every page, the last listed file's line, and no footer.
  const std::vector<std::string> written = outputs();
  ASSERT_EQ(written.size(), 1u);
  const std::string pdf = work_.file("out/" + *written.begin());
  EXPECT_TRUE(pdf.ends_with(".pdf"));
  EXPECT_EQ(testing::command_output("qpdf --show-npages '" + pdf + "'"), "4\n");
  EXPECT_EQ(report(), in("c.tif") + " converted\r\n");
  EXPECT_FALSE(work_.exists("temp/z.log"));
  EXPECT_EQ(temp_.read("error.txt"), "");
  EXPECT_EQ(progress(), "");
  EXPECT_EQ(messages(), std::vector<std::string>{});
}

// Real-world files: every one ends with its line, none ends the run, and each
// line is on disk before the next file is handed over.
TEST_F(EngineRun, CorpusBatchReportsEveryFileAsItGoes) {
  const std::string corpus = std::string(ZQ_TEST_DATA_DIR) + "/corpus";
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\nextract_all=1\r\n");
  std::filesystem::remove(work_.file("in"));
  std::filesystem::create_directory_symlink(corpus, work_.file("in"));
  std::optional<engine_settings> settings =
      start_engine("C|" + ini, environment_, platform::real_file_system(), messages_);
  ASSERT_TRUE(settings);
  test_run corpus_run(*settings);
  report_stream shared = open_report(shared_report_path(corpus_run.settings));
  std::vector<std::string> handed;
  run_batch_walk(corpus_run.run, shared,
                 [&](engine_run& r, const std::string& path, report_stream& report) {
                   if (!handed.empty()) {
                     const std::string so_far = work_.read("temp/Zembrit_Quarnel.log");
                     EXPECT_TRUE(so_far.ends_with(handed.back() + " converted\r\n") ||
                                 so_far.ends_with("Could not convert " + handed.back() + "\r\n"))
                         << path;
                   }
                   handed.push_back(path);
                   return convert_batch_file(r, path, report);
                 });
  EXPECT_FALSE(shared.is_open());  // the footer closed it
  EXPECT_TRUE(shared.failure().is_ok()) << shared.failure().reason();
  EXPECT_GE(handed.size(), 20u);
  const std::string text = work_.read("temp/Zembrit_Quarnel.log");
  for (const std::string& path : handed) {
    EXPECT_TRUE(text.find(path + " converted\r\n") != std::string::npos ||
                text.find("Could not convert " + path + "\r\n") != std::string::npos)
        << path;
  }
  EXPECT_TRUE(mask_dates(text).ends_with(golden_footer(static_cast<unsigned>(handed.size()))));
}

// The times a PNG or TIFF writer takes from the clock, blanked: the tIME chunk
// and the "date:" text chunks of a PNG, the date-time tag of a TIFF.
std::string mask_write_times(std::string bytes) {
  auto blank_after = [&](std::string_view marker, std::size_t length) {
    for (std::size_t at = bytes.find(marker); at != std::string::npos;
         at = bytes.find(marker, at + 1)) {
      const std::size_t from = std::min(bytes.size(), at + marker.size());
      bytes.replace(from, std::min(length, bytes.size() - from), std::string(std::min(length, bytes.size() - from), '#'));
    }
  };
  blank_after("tIME", 11);
  blank_after(std::string_view("date:create\0", 12), 29);
  blank_after(std::string_view("date:modify\0", 12), 29);
  blank_after(std::string_view("date:timestamp\0", 15), 29);
  return bytes;
}

// Every file of a folder, by path under it, with its bytes.
std::map<std::string, std::string> files_under(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      files[std::filesystem::relative(entry.path(), folder).string()] =
          mask_write_times(mask_dates(std::string(std::istreambuf_iterator<char>(in), {})));
    }
  }
  return files;
}

// Files converted several at a time leave exactly what one at a time leaves:
// the same outputs byte for byte (among them names two sources both write:
// "a.tif" page 2 and "a_2.tif" make "a_2.png"; "sub/" is taken after the
// folder's own files), the same report lines in the same order, count and
// messages.
TEST_F(EngineRun, WorkersLeaveWhatOneAtATimeLeaves) {
  const std::string corpus = std::string(ZQ_TEST_DATA_DIR) + "/corpus";
  std::filesystem::create_directories(in("sub"));
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::filesystem::copy_file(entry.path(), in(entry.path().filename().string()));
  }
  tiff("a.tif", 3);
  make_image("-size 9x7 xc:red", in("a_2.tif"));
  tiff("sub/testfax4.tiff", 2);
  std::filesystem::copy_file(corpus + "/testfax4.tiff", in("sub/a.tif"));

  const struct {
    const char* what;
    const char* params;
    bool on_threads_too;
  } cases[] = {
      {"PNG, pages apart, shared report", "image_type=7\r\nextract_all=1\r\n", true},
      {"TIFF, folder tree, reports per file",
       "image_type=11\r\nrecurse=1\r\nreproduce_path=1\r\n[REPORT]\r\nuse_tiff_name=1\r\n",
       true},
      // The JPEG writer optimises its coding only when the library's memory
      // account allows: threads of one process share that account, so the
      // large pages came out coded otherwise than one at a time. Processes
      // each have their own.
      {"JPEG, pages apart", "image_type=3\r\nextract_all=1\r\n", false},
  };
  struct outcome {
    int exit_code;
    std::map<std::string, std::string> outputs;
    std::map<std::string, std::string> reports;
    std::vector<std::string> messages;
  };
  auto convert = [&](const char* params, int jobs) {
    std::filesystem::remove_all(work_.file("out"));
    std::filesystem::remove_all(work_.file("temp"));
    const std::string ini = job("[PARAMS]\r\njobs=" + std::to_string(jobs) + "\r\n" + params);
    const int exit_code = run("C|" + ini);
    return outcome{exit_code, files_under(work_.file("out")), files_under(work_.file("temp")),
                   messages()};
  };
  // Workers convert in processes of their own until this process has started
  // the image library itself (the runs one at a time do), then on threads.
  ASSERT_FALSE(magick::has_worked_on_images());
  std::vector<outcome> in_processes;
  for (const auto& c : cases) {
    in_processes.push_back(convert(c.params, 4));
  }
  EXPECT_FALSE(magick::has_worked_on_images());
  for (std::size_t index = 0; index < std::size(cases) * 2; ++index) {
    const auto& c = cases[index % std::size(cases)];
    if (index >= std::size(cases) && !c.on_threads_too) {
      continue;
    }
    const outcome alone = convert(c.params, 1);
    const outcome together =
        index < std::size(cases) ? in_processes[index] : convert(c.params, 4);
    EXPECT_EQ(together.exit_code, alone.exit_code) << c.what;
    EXPECT_GT(alone.outputs.size(), 30u) << c.what;
    // Compared file by file: a difference names the file without printing it.
    for (const auto* files : {&alone.outputs, &alone.reports, &together.outputs, &together.reports}) {
      const auto& other = files == &alone.outputs      ? together.outputs
                          : files == &alone.reports    ? together.reports
                          : files == &together.outputs ? alone.outputs
                                                       : alone.reports;
      for (const auto& [name, bytes] : *files) {
        const auto found = other.find(name);
        EXPECT_TRUE(found != other.end() && found->second == bytes) << c.what << ": " << name;
      }
    }
    EXPECT_EQ(together.messages, alone.messages) << c.what;
    // Lines of converted and of refused files both had their order kept.
    std::string lines;
    for (const auto& [name, text] : alone.reports) {
      lines += text;
    }
    EXPECT_NE(lines.find(" converted\r\n"), std::string::npos) << c.what;
    EXPECT_NE(lines.find("cannot be read"), std::string::npos) << c.what;
  }
}

// The sample job of the demo: the fax, the colour scan and the raw fax.
TEST_F(EngineRun, SampleJobConvertsTheSamples) {
  const std::string samples = std::string(ZQ_TEST_DATA_DIR) + "/../../examples/tiff";
  const std::string ini = job("[PARAMS]\r\nimage_type=7\r\nextract_all=1\r\n");
  std::filesystem::remove(work_.file("in"));
  std::filesystem::create_directory_symlink(samples, work_.file("in"));
  EXPECT_EQ(run("C|" + ini), 0);
  EXPECT_EQ(report(), in("colour-scan.tif") + " converted\r\n" + in("fax-3-pages.tif") +
                          " converted\r\n" + in("raw-fax.tif") + " converted\r\n" +
                          golden_footer(3));
  EXPECT_EQ(outputs(),
            (std::vector<std::string>{"colour-scan.png", "fax-3-pages_1.png", "fax-3-pages_2.png",
                                      "fax-3-pages_3.png", "raw-fax.png"}));
}

}  // namespace
}  // namespace zq::engine
