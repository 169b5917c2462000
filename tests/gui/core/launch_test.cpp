#include "gui/core/launch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../platform/test_folder.h"
#include "gui/core/recording_dialogs.h"
#include "jobfile/formats.h"
#include "launch_test_support.h"

namespace zq::gui {
namespace {

using platform::test_folder;
using platform::write_bytes;
using strings = std::vector<std::string>;
using kind = recording_dialogs::kind;

// What the processing dialog is told, in order.
struct seen_events {
  strings log;
  conversion_run::events events() {
    return {
        [this](const std::string& source) { log.push_back("file " + source); },
        [this](std::size_t done, std::size_t total) {
          log.push_back("progress " + std::to_string(done) + "/" + std::to_string(total));
        },
        [this] { log.push_back("finished"); },
        [this](const status& why) { log.push_back("stuck " + why.reason()); },
    };
  }
};

struct source_tree {
  test_folder folder;
  std::string source = folder / "in put";
  std::string target = folder / "out";
  source_tree() {
    for (const char* name : {"a.tif", "b.tif", "c.tif", "sub/d.tif", "sub/e.tif"}) {
      std::filesystem::create_directories(std::filesystem::path(source + "/" + name).parent_path());
      write_bytes(source + "/" + name, "II*");
    }
  }
  run_settings run(bool recursive) const {
    run_settings r;
    r.source_folder = source;
    r.target_folder = target;
    r.format_code = kFormatPdf;
    r.recursive = recursive;
    return r;
  }
};

TEST(ConversionRun, OneEngineAtATimeOverTheSourceFolder) {
  const source_tree tree;
  for (const bool recursive : {false, true}) {
    picked_file_list picked;
    recording_starter starter;
    seen_events seen;
    conversion_run run(tree.run(recursive), picked, "/prog/job.ini", "/prog/Zembrit_Quarnel",
                       starter, seen.events());
    run.begin();
    const std::size_t files = recursive ? 5 : 3;
    for (std::size_t i = 0; i < files; ++i) {
      EXPECT_EQ(starter.started.size(), i + 1);
      EXPECT_EQ(run.done(), i) << "the bar moves only when an engine has ended";
      starter.end_one();
    }
    EXPECT_EQ(starter.started.size(), files);
    EXPECT_EQ(seen.log.back(), "finished");
    EXPECT_EQ(seen.log[seen.log.size() - 2],
              "progress " + std::to_string(files) + "/" + std::to_string(files));
    // The source path keeps its blank inside its field; nothing is quoted.
    EXPECT_EQ(starter.started.front(), "/prog/Zembrit_Quarnel G|" + tree.source + "/a.tif|" +
                                           tree.target + "/a.pdf|/prog/job.ini");
    EXPECT_EQ(starter.started.back().substr(starter.started.back().find('|')),
              recursive ? "|" + tree.source + "/sub/e.tif|" + tree.target + "/e.pdf|/prog/job.ini"
                        : "|" + tree.source + "/c.tif|" + tree.target + "/c.pdf|/prog/job.ini");
  }
}

// No format, or a name the command line cannot carry: the file is named
// and the run goes on.
TEST(ConversionRun, FilesNotHandedOver) {
  const source_tree tree;
  picked_file_list picked{tree.folder / "odd/x|y.tif", tree.source + "/a.tif"};
  recording_starter starter;
  seen_events seen;
  run_settings settings = tree.run(false);
  conversion_run run(settings, picked, "/j.ini", "/p/e", starter, seen.events());
  run.begin();
  starter.end_one();
  EXPECT_EQ(starter.started.size(), 1u);
  EXPECT_EQ(seen.log.back(), "finished");
  ASSERT_EQ(run.not_handed_over().size(), 1u);
  EXPECT_EQ(run.not_handed_over()[0].reason(),
            "Not converted: " + picked[0] + ": the path " + picked[0] +
                " holds \"|\", which the engine's command line cannot carry");

  settings.format_code = kFormatNone;
  conversion_run none(settings, picked, "/j.ini", "/p/e", starter, seen.events());
  none.begin();
  EXPECT_EQ(starter.started.size(), 1u);
  EXPECT_EQ(none.not_handed_over().size(), 2u);
  EXPECT_EQ(none.not_handed_over()[1].reason(),
            "Not converted: " + picked[1] + ": no target format is chosen");
}

TEST(LaunchConversion, MessagesBeforeTheDialogAndTheListAfterIt) {
  test_folder folder;
  std::filesystem::create_directory(folder / "tmp");
  dialog_values values;
  values.source_folder = folder / "in";
  values.temp_folder = folder / "tmp";
  values.target_folder = folder / "tmp";
  values.target_format = kFormatPdf;
  const std::string job = folder / "job.ini";
  recording_dialogs ui;
  picked_file_list picked{"/x/a.tif"};
  int dialogs = 0;
  const auto dialog = [&](const run_settings& run) {
    ++dialogs;
    EXPECT_EQ(run.source_folder, values.source_folder);
    return std::vector<status>{};
  };

  EXPECT_FALSE(launch_conversion(values, "", picked, ui, dialog));
  EXPECT_EQ(ui.boxes(), (std::vector<recording_dialogs::shown>{
                            {kind::error, kNoJobFileMessage, dialog_control::job_file, {}}}));

  ui.clear();
  EXPECT_FALSE(launch_conversion(values, folder / "a|b.ini", picked, ui, dialog));
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].focus, dialog_control::job_file);
  EXPECT_FALSE(std::filesystem::exists(folder / "a|b.ini")) << "nothing saved";

  ui.clear();
  dialog_values no_source = values;
  no_source.source_folder.clear();
  EXPECT_FALSE(launch_conversion(no_source, job, picked, ui, dialog));
  ASSERT_EQ(ui.boxes().size(), 2u);
  EXPECT_EQ(ui.boxes()[0].text, "Please choose a source folder");
  EXPECT_EQ(ui.boxes()[1].what, kind::error);
  EXPECT_EQ(ui.boxes()[1].text, kNotLaunchedMessage);
  EXPECT_EQ(dialogs, 0);
  EXPECT_EQ(picked.size(), 1u) << "kept when nothing was launched";

  ui.clear();
  EXPECT_TRUE(launch_conversion(values, job, picked, ui, dialog));
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(picked.empty());
  EXPECT_TRUE(ui.boxes().empty());
  EXPECT_TRUE(std::filesystem::exists(job));

  // Files the run could not hand over are named after the dialog.
  EXPECT_TRUE(launch_conversion(values, job, picked, ui, [](const run_settings&) {
    return std::vector<status>{status::error("Not converted: /a|b.tif: why"),
                               status::error("Not converted: /c.tif: why")};
  }));
  EXPECT_EQ(
      ui.boxes(),
      (std::vector<recording_dialogs::shown>{
          {kind::error, "Not converted: /a|b.tif: why\nNot converted: /c.tif: why", {}, {}}}));
}

TEST(ShowLastLog, JobTempFolderFirstThenSystemTemp) {
  test_folder job_temp;
  test_folder system_temp;
  temp_in files(platform::real_file_system(), system_temp.path());

  const struct {
    bool in_job_temp;
    bool in_system_temp;
    std::string opened;  // empty: the information box
  } cases[] = {
      {false, false, ""},
      {false, true, system_temp / "Zembrit_Quarnel.log"},
      {true, true, job_temp / "Zembrit_Quarnel.log"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(job_temp / "Zembrit_Quarnel.log");
    std::filesystem::remove(system_temp / "Zembrit_Quarnel.log");
    if (c.in_job_temp) write_bytes(job_temp / "Zembrit_Quarnel.log", "x");
    if (c.in_system_temp) write_bytes(system_temp / "Zembrit_Quarnel.log", "x");
    recording_opener opener;
    recording_dialogs ui;
    show_last_log(job_temp.path() + "/", opener, ui, files);
    EXPECT_EQ(opener.opened, c.opened.empty() ? strings{} : strings{c.opened});
    EXPECT_EQ(ui.boxes().size(), c.opened.empty() ? 1u : 0u);
    if (c.opened.empty()) {
      EXPECT_EQ(ui.boxes()[0],
                (recording_dialogs::shown{kind::information, kNoLogMessage, {}, {}}));
    }
  }

  recording_opener broken;
  broken.works = false;
  recording_dialogs ui;
  show_last_log(job_temp.path(), broken, ui, files);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].text, "Cannot open " + (job_temp / "Zembrit_Quarnel.log") +
                                    ": no program could be started for it");
}

}  // namespace
}  // namespace zq::gui
