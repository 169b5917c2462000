#include "gui/core/output_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../../platform/test_folder.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"

namespace zq::gui {
namespace {

using platform::test_folder;

TEST(ComputeOutputPath, FlatPathAndItsFolders) {
  test_folder folder;
  const std::string out = folder / "out";
  const struct {
    std::string target;  // below the test folder
    std::string source;
    int format;
    bool dcx;
    std::string expected;  // below the test folder; empty: no path
  } cases[] = {
      {"/out", "/in/scan.page1.tif", kFormatJpeg, false, "/out/scan.page1.jpg"},
      {"/out", "/in/a.tiff", kFormatTiff, false, "/out/a.tif"},
      {"/out", "/in/a.tif", kFormatPcx, true, "/out/a.dcx"},
      {"/out", "/in/a.tif", kFormatPcx, false, "/out/a.pcx"},
      {"/out/", "/in/a.tif", kFormatPdf, false, "/out/a.pdf"},
      {"/out//deep/er", "/other/a.tif", kFormatPdf, false, "/out/deep/er/a.pdf"},
      {"/none", "/in/a.tif", kFormatNone, false, ""},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(out);
    run_settings run;
    run.target_folder = folder.path() + c.target;
    run.format_code = c.format;
    run.multi_file_pcx = c.dcx;
    const std::string path = compute_output_path(run, c.source);
    EXPECT_EQ(path, c.expected.empty() ? "" : folder.path() + c.expected) << c.source;
    if (c.expected.empty()) {
      EXPECT_EQ(folder.names(), std::set<std::string>{}) << "nothing made for no path";
    } else {
      // The target folder, removed since the check, is there again; the
      // output file itself is left to the engine.
      EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(path).parent_path()));
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
}

// A folder that cannot be made does not stop the path: the engine's report
// says what went wrong with the file.
TEST(ComputeOutputPath, FolderFailuresAreLeftToTheEngine) {
  test_folder folder;
  platform::fault_injecting_file_system files;
  files.fail_make_folder("/locked");
  run_settings run;
  run.target_folder = folder / "locked";
  run.format_code = kFormatPng;
  EXPECT_EQ(compute_output_path(run, "a.tif", files), folder / "locked/a.png");
  EXPECT_EQ(files.calls().back(), "make_folder " + (folder / "locked"));
  EXPECT_FALSE(std::filesystem::exists(folder / "locked"));
}

}  // namespace
}  // namespace zq::gui
