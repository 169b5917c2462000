#include "engine/engine_entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "common/version.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

using testing::scratch_folder;

constexpr const char* kSyntaxHead = "Uncorrect syntax.\r\n";

// What the run says of a refusal: the error file's text without its last
// line end.
std::string said(std::string error_file_text) {
  while (error_file_text.ends_with("\r\n")) {
    error_file_text.resize(error_file_text.size() - 2);
  }
  return error_file_text;
}

class EngineEntry : public ::testing::Test {
 protected:
  EngineEntry() : environment_{temp_.path(), own_.path()} {}

  // A job file in the scratch folder with the given body; returns its path.
  std::string job(const std::string& name, const std::string& body) {
    own_.write(name, body);
    return own_.file(name);
  }

  std::string folders_job() {
    return job("folders.ini", "[FOLDERS]\r\nsource=" + own_.file("in") +
                                  "\r\ntarget=" + own_.file("out") + "\r\n");
  }

  // Each run and start-up says its messages afresh.
  int run(const std::string& text, platform::file_system& files = platform::real_file_system()) {
    messages_ = recorded_diagnostics();
    return run_engine(text, environment_, files, messages_);
  }
  std::optional<engine_settings> start(const std::string& text) {
    messages_ = recorded_diagnostics();
    return start_engine(text, environment_, platform::real_file_system(), messages_);
  }
  std::string error_file() const { return temp_.read("error.txt"); }
  const std::vector<std::string>& messages() const { return messages_.messages(); }

  scratch_folder temp_;  // the system temporary folder of the run
  scratch_folder own_;   // the engine's own folder
  engine_environment environment_;
  recorded_diagnostics messages_;
};

TEST_F(EngineEntry, ErrorFileOfEveryRunMode) {
  const std::string ok_job = folders_job();
  const std::string no_source = job("nosource.ini", "[FOLDERS]\r\ntarget=/out\r\n");
  const std::string empty_source = job("empty.ini", "[FOLDERS]\r\nsource=\r\ntarget=/o\r\n");
  const std::string no_target = job("notarget.ini", "[FOLDERS]\r\nsource=/in\r\n");
  const std::string source_missing = "Source key not found\r\n()\r\n";
  // The messages of the runs that are not refused: the batch run finds no
  // source folder, and the front end's mode says why it ends quietly.
  const std::vector<std::string> no_source_folder = {"Cannot read folder " + own_.file("in") +
                                                     "/: " + std::strerror(ENOENT)};
  const std::vector<std::string> too_few = {"too few fields for a single-file run"};
  const std::vector<std::string> none;
  const struct {
    std::string text;
    std::string error_file;
    std::vector<std::string> messages;  // of a run that is not refused
  } cases[] = {
      // No field: batch run with the default job file, which is missing here.
      {"", source_missing, {}},
      {"C",
       std::string(kSyntaxHead) + "1 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nC\r\n",
       {}},
      {"C|" + ok_job, "", no_source_folder},
      {"\"C|" + ok_job + "\"", "", no_source_folder},
      {"C|" + no_source, source_missing, {}},
      {"C|" + empty_source, source_missing, {}},
      {"C|" + no_target, "Target key not found\r\n()\r\n", {}},
      {"C|/no/such/job.ini", source_missing, {}},
      // Too few fields for the front end's mode end quietly.
      {"G|/in/a.tif|/out/a.pdf", "", too_few},
      {"G|/in/a.tif||" + ok_job, "", too_few},
      // A source that cannot be read is the report's to say.
      {"G|/in/a.tif|/out/a.pdf|" + ok_job, "", none},
      {"Go|/in/a.tif|/out/a.pdf|/no/job.ini", "", none},
      {"Q|/in/a.tif|/out/a.pdf",
       std::string(kSyntaxHead) + "1 parameter(s) missing!\r\n\r\nReceived "
                                  "Parameters:\r\nQ\r\n/in/a.tif\r\n/out/a.pdf\r\n",
       {}},
      {"Q",
       std::string(kSyntaxHead) + "3 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nQ\r\n",
       {}},
      {"Q|/in/a.tif|/out/a.pdf|/no/job.ini", "", none},
      {"P",
       std::string(kSyntaxHead) + "1 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nP\r\n",
       {}},
      {"P|/in/a.tif|/out/a.pdf", "", none},
      // Any other first letter, lower-case mode letters included, has no job file.
      {"g|/in/a.tif|/out/a.pdf|" + ok_job, source_missing, {}},
      {"X", source_missing, {}},
  };
  for (const auto& c : cases) {
    temp_.write("error.txt", "left over from an earlier run");
    EXPECT_EQ(run(c.text), 0) << c.text;
    EXPECT_EQ(error_file(), c.error_file) << c.text;
    // A refusal is said as the error file words it.
    EXPECT_EQ(messages(),
              c.error_file.empty() ? c.messages : std::vector<std::string>{said(c.error_file)})
        << c.text;
  }
}

TEST_F(EngineEntry, SettingsFromCommandLineAndJobFile) {
  const std::string ini =
      job("job.ini",
          "; hand-written\n[params]\nIMAGE_TYPE = 7\nDensity=0\nSize=\"640x480\"\n"
          "[Jpeg]\nquality=85\n[FOLDERS]\nsource=/in\ntarget=/out\n");
  {
    auto settings = start("G|/in/a.tif|/out/a.TIFF|" + ini);
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->single_file);
    EXPECT_EQ(settings->format_code, kFormatTiff);  // from the extension, four characters
    EXPECT_EQ(settings->source_file, "/in/a.tif");
    EXPECT_EQ(settings->target_file, "/out/a.TIFF");
    EXPECT_EQ(settings->job_file, ini);
    EXPECT_EQ(settings->temp_folder, temp_.path());  // no [FOLDERS] temp
    EXPECT_EQ(settings->job.params_density, 150);
    EXPECT_EQ(settings->job.params_size, "640x480");
    EXPECT_EQ(settings->job.jpeg_quality, 85);
    EXPECT_EQ(settings->file_list_path, "");  // single-file runs never touch it
    EXPECT_TRUE(settings->source_folder.empty());
    // The outputs go where the target says, under its base name.
    EXPECT_EQ(settings->target_folder, "/out/");
    EXPECT_EQ(settings->output_base_name, "a");
    EXPECT_EQ(settings->segment_options, "");
    EXPECT_TRUE(messages().empty());
  }
  {
    // ".jpeg" names no format: the job file's image_type decides.
    auto settings = start("G|/in/a.tif|/out/a.jpeg|" + ini);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->format_code, kFormatPng);
  }
  {
    auto settings = start("C|" + ini);
    ASSERT_TRUE(settings);
    EXPECT_FALSE(settings->single_file);
    EXPECT_EQ(settings->source_folder, "/in");
    EXPECT_EQ(settings->target_folder, "/out");
    EXPECT_EQ(settings->search_pattern, "/in/*.tif");
    EXPECT_EQ(settings->file_list_path, temp_.path() + "z.log");
    EXPECT_EQ(settings->output_base_name, "");  // a batch run names outputs after sources
  }
}

// A single-file run takes its target apart once, at start-up: the folder
// replaces the job file's target folder, the base name every output takes,
// and for a page segment the options after a comma. The target's extension
// chooses the format only.
TEST_F(EngineEntry, TargetFileGivesFolderBaseNameAndSegmentOptions) {
  const std::string ini =
      job("job.ini", "[PARAMS]\nimage_type=7\n[FOLDERS]\nsource=/in\ntarget=/elsewhere\n");
  const struct {
    std::string target;
    int format_code;
    const char* folder;
    const char* base_name;
    const char* segment_options;
  } cases[] = {
      {"/x/y/out.pdf", kFormatPdf, "/x/y/", "out", ""},
      {"/x/y/scan.v2.jpeg", kFormatPng, "/x/y/", "scan.v2", ""},
      {"/seg/b.pse,compress=1", kFormatPse, "/seg/", "b", "compress=1"},
      {"/seg/b.pse", kFormatPse, "/seg/", "b", ""},
      // Only a page segment's target has options; elsewhere a comma is a name's.
      {"/x/a,b.png", kFormatPng, "/x/", "a,b", ""},
      // A bare name is a file in the working folder, never in the root.
      {"report.pdf", kFormatPdf, ".", "report", ""},
  };
  for (const auto& c : cases) {
    auto settings = start("G|/in/a.tif|" + c.target + "|" + ini);
    ASSERT_TRUE(settings) << c.target;
    EXPECT_TRUE(settings->single_file) << c.target;
    EXPECT_EQ(settings->target_file, c.target);
    EXPECT_EQ(settings->format_code, c.format_code) << c.target;
    EXPECT_EQ(settings->target_folder, c.folder) << c.target;
    EXPECT_EQ(settings->output_base_name, c.base_name) << c.target;
    EXPECT_EQ(settings->segment_options, c.segment_options) << c.target;
  }
}

TEST_F(EngineEntry, ModePWithoutTargetDerivesTheFrontEndsTarget) {
  job("Zembrit_Quarnel.ini", "[FOLDERS]\r\ntarget=/out//sub/\r\n");
  auto settings = start("P|/scans/letter.v2.tif");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->target_file, "/out/sub/letter.v2.eps");  // image_type missing: EPS
  EXPECT_EQ(settings->format_code, kFormatEps);
  EXPECT_EQ(settings->target_folder, "/out/sub/");
  EXPECT_EQ(settings->output_base_name, "letter.v2");

  job("Zembrit_Quarnel.ini", "[PARAMS]\r\nimage_type=42\r\n[FOLDERS]\r\ntarget=/out\r\n");
  EXPECT_FALSE(start("P|/scans/a.tif"));
  EXPECT_EQ(error_file(), "No target format for [PARAMS] image_type 42\r\n");
  EXPECT_EQ(messages(), std::vector<std::string>{"No target format for [PARAMS] image_type 42"});

  job("Zembrit_Quarnel.ini", "[PARAMS]\r\nimage_type=6\r\n");
  EXPECT_FALSE(start("P|/scans/a.tif"));
  EXPECT_EQ(error_file(), "Target key not found\r\n()\r\n");
  EXPECT_EQ(messages(), std::vector<std::string>{"Target key not found\r\n()"});
}

TEST_F(EngineEntry, OversizedInputIsRefusedNeverCut) {
  const std::string ini = folders_job();
  const std::string long_path = "/" + std::string(5000, 'p') + ".tif";
  EXPECT_EQ(run("G|" + long_path + "|/out/a.pdf|" + ini), 0);
  EXPECT_EQ(error_file(), "Command-line field too long: 5005 bytes, at most 4095\r\n");
  EXPECT_EQ(messages(),
            std::vector<std::string>{"Command-line field too long: 5005 bytes, at most 4095"});

  EXPECT_EQ(run(std::string(20000, 'C')), 0);
  EXPECT_EQ(error_file(), "Command line too long: 20000 bytes, at most 16383\r\n");
  EXPECT_EQ(messages(),
            std::vector<std::string>{"Command line too long: 20000 bytes, at most 16383"});

  const std::string big_size = job(
      "size.ini", "[FOLDERS]\nsource=/i\ntarget=/o\n[PARAMS]\nsize=" + std::string(60, '9') + "\n");
  EXPECT_EQ(run("C|" + big_size), 0);
  EXPECT_EQ(error_file(), "[PARAMS] size too long: 60 bytes, at most 49\r\n");
  EXPECT_EQ(messages(), std::vector<std::string>{"[PARAMS] size too long: 60 bytes, at most 49"});
}

TEST_F(EngineEntry, BatchRunRemovesTheFileListSingleFileRunKeepsIt) {
  const std::string ini =
      job("job.ini", "[FOLDERS]\nsource=/in\ntarget=/out\ntemp=" + own_.file("work") + "\n");
  own_.write("work/z.log", "[FILES]\r\n0=/in/a.tif\r\n");
  platform::fault_injecting_file_system files;
  run("G|/in/a.tif|/out/a.pdf|" + ini, files);
  EXPECT_TRUE(own_.exists("work/z.log"));
  run("C|" + ini, files);
  EXPECT_FALSE(own_.exists("work/z.log"));
  EXPECT_EQ(error_file(), "");
  // Removed through the run's file system, as every file the run touches.
  const std::vector<std::string>& calls = files.calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "remove " + own_.file("work/z.log")),
            calls.end());
}

TEST_F(EngineEntry, ErrorFileIsNotWrittenThroughASymbolicLink) {
  own_.write("victim.txt", "precious");
  ASSERT_EQ(symlink(own_.file("victim.txt").c_str(), temp_.file("error.txt").c_str()), 0);
  run("C");
  EXPECT_EQ(own_.read("victim.txt"), "precious");
  // The refusal is said all the same.
  EXPECT_EQ(messages(),
            std::vector<std::string>{std::string(kSyntaxHead) + "1 parameter(s) missing!\r\n\r\n"
                                                                "Received Parameters:\r\nC"});
}

// An error file that cannot be written (a full disk, a read-only folder)
// costs the file, never the refusal's message nor the run.
TEST_F(EngineEntry, ErrorFileThatCannotBeWrittenLosesOnlyTheFile) {
  for (const bool refused_open : {true, false}) {
    SCOPED_TRACE(refused_open ? "open refused" : "disk full");
    platform::fault_injecting_file_system files;
    if (refused_open) {
      files.fail_open_for_write("error.txt", EROFS);
    } else {
      files.fail_writes_after(10, ENOSPC);
    }
    temp_.write("error.txt", "left over");
    EXPECT_EQ(run("Q", files), 0);
    EXPECT_EQ(messages(),
              std::vector<std::string>{std::string(kSyntaxHead) + "3 parameter(s) missing!\r\n\r\n"
                                                                  "Received Parameters:\r\nQ"});
    EXPECT_EQ(error_file(), refused_open ? "left over" : std::string(kSyntaxHead).substr(0, 10));
  }
}

// The program itself: one quoted argument and a plain shell call are the same
// command text, and every refusal ends with exit code 0.
TEST(EngineProgram, ExitCodesAndStandardStreams) {
  scratch_folder temp;
  const std::string program = std::string(ZQ_INSTALL_LAYOUT_DIR) + "/Zembrit_Quarnel";
  auto run = [&](const std::string& arguments, std::string* out = nullptr) {
    const std::string command =
        "TMPDIR=" + temp.path() + " " + program + " " + arguments + " 2>" + temp.file("stderr.txt");
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      text += buffer;
    }
    if (out != nullptr) {
      *out = text;
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };

  std::string out;
  EXPECT_EQ(run("--version", &out), 0);
  EXPECT_EQ(out, std::string(kVersionText) + "\n");
  EXPECT_EQ(std::string(kVersionText), std::string("Zembrit_Quarnel version ") + kVersion);
  EXPECT_EQ(run("--help", &out), 0);
  EXPECT_NE(out.find("Usage: Zembrit_Quarnel"), std::string::npos);

  EXPECT_EQ(run("Q\\|/in/my file.tif\\|/out/x.pdf"), 0);
  const std::string unquoted = temp.read("error.txt");
  EXPECT_EQ(run("'Q|/in/my file.tif|/out/x.pdf'"), 0);
  EXPECT_EQ(temp.read("error.txt"), unquoted);
  EXPECT_NE(unquoted.find("/in/my file.tif\r\n"), std::string::npos);
  // Refusals reach standard error too, named after the program, with one
  // line end of its own.
  EXPECT_EQ(temp.read("stderr.txt"), "Zembrit_Quarnel: " + said(unquoted) + "\n");
}

}  // namespace
}  // namespace zq::engine
