#include "engine/engine_entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/formats.h"
#include "engine_test_support.h"

namespace zq::engine {
namespace {

using testing::scratch_folder;

constexpr const char* kSyntaxHead = "Uncorrect syntax.\r\n";

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

  int run(const std::string& text) { return run_engine(text, environment_); }
  std::string error_file() const { return temp_.read("error.txt"); }

  scratch_folder temp_;  // the system temporary folder of the run
  scratch_folder own_;   // the engine's own folder
  engine_environment environment_;
};

TEST_F(EngineEntry, ErrorFileOfEveryRunMode) {
  const std::string ok_job = folders_job();
  const std::string no_source = job("nosource.ini", "[FOLDERS]\r\ntarget=/out\r\n");
  const std::string empty_source = job("empty.ini", "[FOLDERS]\r\nsource=\r\ntarget=/o\r\n");
  const std::string no_target = job("notarget.ini", "[FOLDERS]\r\nsource=/in\r\n");
  const std::string source_missing = "Source key not found\r\n()\r\n";
  const struct {
    std::string text;
    std::string error_file;
  } cases[] = {
      // No field: batch run with the default job file, which is missing here.
      {"", source_missing},
      {"C", std::string(kSyntaxHead) + "1 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nC\r\n"},
      {"C|" + ok_job, ""},
      {"\"C|" + ok_job + "\"", ""},
      {"C|" + no_source, source_missing},
      {"C|" + empty_source, source_missing},
      {"C|" + no_target, "Target key not found\r\n()\r\n"},
      {"C|/no/such/job.ini", source_missing},
      // Too few fields for the front end's mode end quietly.
      {"G|/in/a.tif|/out/a.pdf", ""},
      {"G|/in/a.tif||" + ok_job, ""},
      {"G|/in/a.tif|/out/a.pdf|" + ok_job, ""},
      {"Go|/in/a.tif|/out/a.pdf|/no/job.ini", ""},
      {"Q|/in/a.tif|/out/a.pdf",
       std::string(kSyntaxHead) +
           "1 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nQ\r\n/in/a.tif\r\n/out/a.pdf\r\n"},
      {"Q", std::string(kSyntaxHead) + "3 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nQ\r\n"},
      {"Q|/in/a.tif|/out/a.pdf|/no/job.ini", ""},
      {"P", std::string(kSyntaxHead) + "1 parameter(s) missing!\r\n\r\nReceived Parameters:\r\nP\r\n"},
      {"P|/in/a.tif|/out/a.pdf", ""},
      // Any other first letter, lower-case mode letters included, has no job file.
      {"g|/in/a.tif|/out/a.pdf|" + ok_job, source_missing},
      {"X", source_missing},
  };
  for (const auto& c : cases) {
    temp_.write("error.txt", "left over from an earlier run");
    EXPECT_EQ(run(c.text), 0) << c.text;
    EXPECT_EQ(error_file(), c.error_file) << c.text;
  }
}

TEST_F(EngineEntry, SettingsFromCommandLineAndJobFile) {
  const std::string ini = job("job.ini",
                              "; hand-written\n[params]\nIMAGE_TYPE = 7\nDensity=0\nSize=\"640x480\"\n"
                              "[Jpeg]\nquality=85\n[FOLDERS]\nsource=/in\ntarget=/out\n");
  {
    auto settings = start_engine("G|/in/a.tif|/out/a.TIFF|" + ini, environment_);
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
  }
  {
    // ".jpeg" names no format: the job file's image_type decides.
    auto settings = start_engine("G|/in/a.tif|/out/a.jpeg|" + ini, environment_);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->format_code, kFormatPng);
  }
  {
    auto settings = start_engine("C|" + ini, environment_);
    ASSERT_TRUE(settings);
    EXPECT_FALSE(settings->single_file);
    EXPECT_EQ(settings->source_folder, "/in");
    EXPECT_EQ(settings->target_folder, "/out");
    EXPECT_EQ(settings->search_pattern, "/in/*.tif");
    EXPECT_EQ(settings->file_list_path, temp_.path() + "z.log");
  }
}

TEST_F(EngineEntry, ModePWithoutTargetDerivesTheFrontEndsTarget) {
  job("Zembrit_Quarnel.ini", "[FOLDERS]\r\ntarget=/out//sub/\r\n");
  auto settings = start_engine("P|/scans/letter.v2.tif", environment_);
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->target_file, "/out/sub/letter.v2.eps");  // image_type missing: EPS
  EXPECT_EQ(settings->format_code, kFormatEps);

  job("Zembrit_Quarnel.ini", "[PARAMS]\r\nimage_type=42\r\n[FOLDERS]\r\ntarget=/out\r\n");
  EXPECT_FALSE(start_engine("P|/scans/a.tif", environment_));
  EXPECT_EQ(error_file(), "No target format for [PARAMS] image_type 42\r\n");

  job("Zembrit_Quarnel.ini", "[PARAMS]\r\nimage_type=6\r\n");
  EXPECT_FALSE(start_engine("P|/scans/a.tif", environment_));
  EXPECT_EQ(error_file(), "Target key not found\r\n()\r\n");
}

TEST_F(EngineEntry, OversizedInputIsRefusedNeverCut) {
  const std::string ini = folders_job();
  const std::string long_path = "/" + std::string(5000, 'p') + ".tif";
  EXPECT_EQ(run("G|" + long_path + "|/out/a.pdf|" + ini), 0);
  EXPECT_EQ(error_file(), "Command-line field too long: 5005 bytes, at most 4095\r\n");

  EXPECT_EQ(run(std::string(20000, 'C')), 0);
  EXPECT_EQ(error_file(), "Command line too long: 20000 bytes, at most 16383\r\n");

  const std::string big_size = job("size.ini", "[FOLDERS]\nsource=/i\ntarget=/o\n[PARAMS]\nsize=" +
                                                   std::string(60, '9') + "\n");
  EXPECT_EQ(run("C|" + big_size), 0);
  EXPECT_EQ(error_file(), "[PARAMS] size too long: 60 bytes, at most 49\r\n");
}

TEST_F(EngineEntry, BatchRunRemovesTheFileListSingleFileRunKeepsIt) {
  const std::string ini = job("job.ini", "[FOLDERS]\nsource=/in\ntarget=/out\ntemp=" +
                                             own_.file("work") + "\n");
  own_.write("work/z.log", "[FILES]\r\n0=/in/a.tif\r\n");
  run("G|/in/a.tif|/out/a.pdf|" + ini);
  EXPECT_TRUE(own_.exists("work/z.log"));
  run("C|" + ini);
  EXPECT_FALSE(own_.exists("work/z.log"));
  EXPECT_EQ(error_file(), "");
}

TEST_F(EngineEntry, ErrorFileIsNotWrittenThroughASymbolicLink) {
  own_.write("victim.txt", "precious");
  ASSERT_EQ(symlink(own_.file("victim.txt").c_str(), temp_.file("error.txt").c_str()), 0);
  run("C");
  EXPECT_EQ(own_.read("victim.txt"), "precious");
}

// The program itself: one quoted argument and a plain shell call are the same
// command text, and every refusal ends with exit code 0.
TEST(EngineProgram, ExitCodesAndStandardStreams) {
  scratch_folder temp;
  const std::string program = std::string(ZQ_INSTALL_LAYOUT_DIR) + "/Zembrit_Quarnel";
  auto run = [&](const std::string& arguments, std::string* out = nullptr) {
    const std::string command = "TMPDIR=" + temp.path() + " " + program + " " + arguments +
                                " 2>" + temp.file("stderr.txt");
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
  EXPECT_EQ(out, "Zembrit_Quarnel version 1.44\n");
  EXPECT_EQ(run("--help", &out), 0);
  EXPECT_NE(out.find("Usage: Zembrit_Quarnel"), std::string::npos);

  EXPECT_EQ(run("Q\\|/in/my file.tif\\|/out/x.pdf"), 0);
  const std::string unquoted = temp.read("error.txt");
  EXPECT_EQ(run("'Q|/in/my file.tif|/out/x.pdf'"), 0);
  EXPECT_EQ(temp.read("error.txt"), unquoted);
  EXPECT_NE(unquoted.find("/in/my file.tif\r\n"), std::string::npos);
  EXPECT_EQ(temp.read("stderr.txt"), unquoted);  // refusals reach standard error too
}

}  // namespace
}  // namespace zq::engine
