#include "gui/core/dialog_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../../platform/test_folder.h"
#include "filled_values.h"
#include "gui/core/recording_dialogs.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/ini_file.h"
#include "platform/system.h"

namespace zq::gui {
namespace {

using platform::read_bytes;
using platform::test_folder;
using platform::write_bytes;
using kind = recording_dialogs::kind;

std::string lines(std::initializer_list<std::string> each) {
  std::string text;
  for (const std::string& line : each) {
    text += line + "\r\n";
  }
  return text;
}

// Every control set, none to its default, with folders that exist.
struct filled_dialog {
  test_folder folder;
  std::string job = folder / "job.ini";
  std::string temp = folder / "tmp";
  std::string target = folder / "out";
  dialog_values values;

  filled_dialog() {
    std::filesystem::create_directory(temp);
    std::filesystem::create_directory(target);
    values = filled_values(temp, target);
  }

  // A new job file as far as the save got, in the order the keys are
  // written: a section appears with its first key, later keys join it.
  std::string written(bool with_temp, bool with_target, const std::string& more_params,
                      const std::string& after_misc) const {
    return lines({"[FOLDERS]", "source=/scans in"}) + (with_temp ? lines({"temp=" + temp}) : "") +
           (with_target ? lines({"target=" + target}) : "") +
           lines({"[PARAMS]", "recurse=1", "extract_all=1", "image_type=6"}) + more_params +
           lines({"[MISC]", "tooltips=0"}) + after_misc;
  }
  static std::string report_to_pse() {
    return lines({"[REPORT]",        "create_report=1",
                  "use_tiff_name=0", "[BMP]",
                  "bmp_type=1",      "compress=1",
                  "[GIF]",           "compress=0",
                  "GIF87=1",         "adjoin=1",
                  "[JPEG]",          "quality=85",
                  "progressive=0",   "colorspace=0",
                  "[PCL]",           "page_type=4",
                  "dpi=300",         "[PCX]",
                  "adjoin=1",        "pcx_name=fax",
                  "[PDF]",           "compression_type=2",
                  "letter_type=3",   "pdf_name=all.pdf",
                  "adjoin=1",        "[PNG]",
                  "quality=60",      "progressive=1",
                  "[PSE]",           "horz_dpi=240",
                  "vert_dpi=120"});
  }
  // Everything up to a refusal between the PSE and the size keys, cut before `at`.
  std::string before(const std::string& at) const {
    const std::string all = written(true, true, lines({"reproduce_path=0"}), report_to_pse());
    return all.substr(0, all.find(at));
  }
  std::string before_tiff() const {
    return written(true, true, lines({"reproduce_path=0", "size=800x600", "keep_proportions=1"}),
                   report_to_pse());
  }
  std::string whole() const {
    return before_tiff() + lines({"[TIFF]", "tif_name=joined", "adjoin=1", "compression_type=2",
                                  "dpi=200", "colorspace=1"});
  }
};

TEST(SaveJobFile, NewFileHoldsEveryKeyInWritingOrder) {
  filled_dialog d;
  recording_dialogs ui;
  const save_outcome saved = save_job_file(d.values, d.job, ui);
  EXPECT_TRUE(saved.saved());
  EXPECT_TRUE(ui.boxes().empty());
  EXPECT_EQ(read_bytes(d.job), d.whole());
  EXPECT_EQ(d.folder.names(), (std::set<std::string>{"job.ini", "out", "tmp"}));  // no "H" left
}

// A refused save leaves exactly the keys written before the failed check.
TEST(SaveJobFile, RefusalLeavesTheKeysBeforeIt) {
  filled_dialog d;
  struct expected_refusal {
    const char* message;
    dialog_control focus;
    std::optional<panel_tab> tab;
  };
  const struct {
    const char* name;
    std::function<void(dialog_values&)> change;
    expected_refusal expected;
    std::string bytes;  // empty: no file at all
  } cases[] = {
      {"source",
       [](auto& v) { v.source_folder.clear(); },
       {"Please choose a source folder", dialog_control::source_folder, {}},
       ""},
      {"temp",
       [](auto& v) { v.temp_folder.clear(); },
       {"Please choose a temp folder", dialog_control::temp_folder, {}},
       d.written(false, false, "", "")},
      {"target",
       [](auto& v) { v.target_folder.clear(); },
       {"Please choose a target folder", dialog_control::target_folder, {}},
       d.written(true, false, "", "")},
      {"dcx",
       [](auto& v) { v.pcx_name.clear(); },
       {"Please enter the DCX name", dialog_control::pcx_name, panel_tab::pcx},
       d.before("[PCX]")},
      {"pdf",
       [](auto& v) { v.pdf_name.clear(); },
       {"Please enter the PDF name", dialog_control::pdf_name, panel_tab::pdf},
       d.before("pdf_name=")},
      {"size",
       [](auto& v) { v.height.clear(); },
       {"Please enter a correct size", dialog_control::height, {}},
       d.before("no such key")},
      {"tiff",
       [](auto& v) { v.tif_name.clear(); },
       {"Please enter the TIFF name", dialog_control::tif_name, panel_tab::tiff},
       d.before_tiff()},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(d.job);
    dialog_values values = d.values;
    c.change(values);
    recording_dialogs ui;
    const save_outcome outcome = save_job_file(values, d.job, ui);
    EXPECT_EQ(outcome.result, save_result::refused) << c.name;
    const refusal expected{c.expected.message, c.expected.focus, c.expected.tab};
    EXPECT_EQ(outcome.refused, expected) << c.name;
    ASSERT_EQ(ui.boxes().size(), 1u) << c.name;
    EXPECT_EQ(ui.boxes()[0], (recording_dialogs::shown{kind::refusal, expected.message,
                                                       expected.focus, expected.tab}))
        << c.name;
    EXPECT_EQ(std::filesystem::exists(d.job) ? read_bytes(d.job) : "", c.bytes) << c.name;
    EXPECT_FALSE(collect_run_settings(values, ui)) << c.name;
    EXPECT_EQ(ui.boxes().back().text, expected.message) << c.name;
  }
}

TEST(SaveJobFile, SizeFromWidthAndHeight) {
  const struct {
    std::string width, height;
    std::optional<std::string> size;  // nothing: refused
  } cases[] = {
      {"800", "600", "800x600"},
      {"", "600", ""},
      {"", "", ""},
      {"abc", "600", ""},
      {"0800", "06", "800x6"},
      {"800", "", std::nullopt},
      {"800", "0", std::nullopt},
      {"800", "x", std::nullopt},
  };
  filled_dialog d;
  for (const auto& c : cases) {
    d.values.width = c.width;
    d.values.height = c.height;
    write_bytes(d.job, "[PARAMS]\r\nsize=1x1\r\n");
    recording_dialogs ui;
    const save_outcome outcome = save_job_file(d.values, d.job, ui);
    EXPECT_EQ(outcome.saved(), c.size.has_value()) << c.width << "x" << c.height;
    const std::string written = platform::ini_file::load(d.job).read_string("PARAMS", "size");
    EXPECT_EQ(written, c.size.value_or("1x1")) << c.width << "x" << c.height;
  }
}

TEST(SaveJobFile, ValuesAsWritten) {
  const struct {
    const char* name;
    std::function<void(dialog_values&)> change;
    const char* section;
    const char* key;
    std::string expected;
  } cases[] = {
      {"no list selection", [](auto& v) { v.pdf_compression = kNoSelection; }, "PDF",
       "compression_type", "-1"},
      {"no format", [](auto& v) { v.target_format = kNoSelection; }, "PARAMS", "image_type", "-1"},
      {"letters in quality", [](auto& v) { v.jpeg_quality = "good"; }, "JPEG", "quality", "0"},
      {"too large a number", [](auto& v) { v.jpeg_quality = "99999999999"; }, "JPEG", "quality",
       "2147483647"},
      {"largest digit field", [](auto& v) { v.tiff_dpi = "999999999"; }, "TIFF", "dpi",
       "999999999"},
      {"no bmp button", [](auto& v) { v.bmp_type = bmp_colors::none; }, "BMP", "bmp_type", "2"},
      {"gif 89", [](auto& v) { v.gif_type = gif_version::gif89; }, "GIF", "GIF87", "0"},
      {"single tiff off", [](auto& v) { v.tiff_multi_page = false; }, "TIFF", "adjoin", "0"},
      {"single tiff off keeps the name", [](auto& v) { v.tiff_multi_page = false; }, "TIFF",
       "tif_name", "kept"},
      {"dcx off keeps the name", [](auto& v) { v.pcx_multi_file = false; }, "PCX", "pcx_name",
       "kept"},
      {"dcx off needs no name",
       [](auto& v) {
         v.pcx_multi_file = false;
         v.pcx_name.clear();
       },
       "PCX", "adjoin", "0"},
  };
  filled_dialog d;
  for (const auto& c : cases) {
    write_bytes(d.job, "[TIFF]\r\ntif_name=kept\r\n[PCX]\r\npcx_name=kept\r\n");
    dialog_values values = d.values;
    c.change(values);
    recording_dialogs ui;
    ASSERT_TRUE(save_job_file(values, d.job, ui).saved()) << c.name;
    EXPECT_EQ(platform::ini_file::load(d.job).read_string(c.section, c.key), c.expected) << c.name;
  }
}

TEST(FolderCheck, MissingFolderQuestion) {
  filled_dialog d;
  const std::string typed = d.folder.path() + "/made//new/";
  const struct {
    bool yes;
    dialog_control field;
  } cases[] = {{false, dialog_control::temp_folder},
               {false, dialog_control::target_folder},
               {true, dialog_control::temp_folder},
               {true, dialog_control::target_folder}};
  for (const auto& c : cases) {
    std::filesystem::remove_all(d.folder / "made");
    std::filesystem::remove(d.job);
    dialog_values values = d.values;
    (c.field == dialog_control::temp_folder ? values.temp_folder : values.target_folder) = typed;
    recording_dialogs ui;
    ui.set_next_answer(c.yes);
    const save_outcome outcome = save_job_file(values, d.job, ui);
    ASSERT_GE(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].what, kind::question);
    EXPECT_EQ(ui.boxes()[0].text, typed + " does not exists.\n\nDo you want to create it?");
    const platform::ini_file job = platform::ini_file::load(d.job);
    const char* key = c.field == dialog_control::temp_folder ? "temp" : "target";
    if (c.yes) {
      EXPECT_TRUE(outcome.saved());
      EXPECT_EQ(ui.boxes().size(), 1u);
      EXPECT_TRUE(std::filesystem::is_directory(d.folder / "made/new"));
      EXPECT_EQ(job.read_string("FOLDERS", key), d.folder.path() + "/made/new/");
    } else {
      // Declined: nothing more is said, only the field gets the focus.
      EXPECT_EQ(outcome.refused, (refusal{"", c.field, {}}));
      EXPECT_EQ(ui.boxes().back(), (recording_dialogs::shown{kind::refusal, "", c.field, {}}));
      EXPECT_FALSE(std::filesystem::exists(d.folder / "made"));
      EXPECT_FALSE(job.find("FOLDERS", key).has_value());
      EXPECT_EQ(job.read_string("MISC", "tooltips"), "0");  // written before the question
    }
  }
}

// A folder that exists but takes no new file is asked about as a missing one.
TEST(FolderCheck, UnwritableFolderIsAskedAbout) {
  filled_dialog d;
  platform::fault_injecting_file_system files;
  files.fail_make_folder(d.target + "H");  // the probe, not the folders above
  recording_dialogs ui;
  ui.set_next_answer(true);
  const std::optional<run_settings> run = collect_run_settings(d.values, ui, files);
  ASSERT_TRUE(run);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].text.substr(0, d.target.size() + 17), d.target + " does not exists.");
}

TEST(CollectRunSettings, FillsWhatALaunchNeedsWritingNothing) {
  filled_dialog d;
  recording_dialogs ui;
  d.values.target_folder = d.target + "//";
  std::optional<run_settings> run = collect_run_settings(d.values, ui);
  ASSERT_TRUE(run);
  EXPECT_EQ(*run, (run_settings{"/scans in", d.temp, d.target + "/", 6, true, true}));
  EXPECT_FALSE(std::filesystem::exists(d.job));
  EXPECT_TRUE(ui.boxes().empty());

  d.values.pcx_multi_file = d.values.recursive_search = false;
  d.values.target_format = kNoSelection;
  run = collect_run_settings(d.values, ui);
  ASSERT_TRUE(run);
  EXPECT_EQ(*run, (run_settings{"/scans in", d.temp, d.target + "/", kNoSelection, false, false}));
}

TEST(SaveJobFile, UnwritableJobFileIsNoSuccess) {
  const struct {
    const char* name;
    std::function<void(const test_folder&, platform::fault_injecting_file_system&)> arrange;
    std::string job;  // in the test folder
    std::string reason;
  } cases[] = {
      {"missing folder", [](auto&, auto&) {}, "gone/job.ini", "/gone/job.ini: Cannot create"},
      {"read-only file",
       [](const test_folder& f, auto&) {
         write_bytes(f / "job.ini", "[PARAMS]\r\nsize=1x1\r\n");
         ::chmod((f / "job.ini").c_str(), 0444);
       },
       "job.ini", "/job.ini: the file is read-only"},
      {"full disk",
       [](const test_folder& f, auto& files) {
         write_bytes(f / "job.ini", "[PARAMS]\r\nsize=1x1\r\n");
         files.fail_writes_after(10);
       },
       "job.ini", "No space left on device"},
      {"a folder in its place",
       [](const test_folder& f, auto&) { std::filesystem::create_directory(f / "job.ini"); },
       "job.ini", "/job.ini: Cannot read"},
  };
  for (const auto& c : cases) {
    filled_dialog d;
    platform::fault_injecting_file_system files;
    c.arrange(d.folder, files);
    const std::string job = d.folder / c.job;
    const std::string before = std::filesystem::is_regular_file(job) ? read_bytes(job) : "";
    recording_dialogs ui;
    const save_outcome outcome = save_job_file(d.values, job, ui, files);
    EXPECT_EQ(outcome.result, save_result::not_written) << c.name;
    EXPECT_NE(outcome.failure.reason().find(c.reason), std::string::npos)
        << c.name << ": " << outcome.failure.reason();
    EXPECT_EQ(outcome.failure.reason().rfind("Cannot write " + job, 0), 0u) << c.name;
    ASSERT_EQ(ui.boxes().size(), 1u) << c.name;
    EXPECT_EQ(ui.boxes()[0].what, kind::error) << c.name;
    EXPECT_EQ(ui.boxes()[0].text, outcome.failure.reason()) << c.name;
    if (std::filesystem::is_regular_file(job)) {
      EXPECT_EQ(read_bytes(job), before) << c.name;
    }
  }
}

TEST(LoadJobFile, ControlsFromKeys) {
  const std::string temp = platform::system_temp_path();
  const struct {
    std::string body;
    std::function<void(dialog_values&)> expected;  // changes from the defaults
  } cases[] = {
      {"[PARAMS]\r\nsize=640x480\r\n",
       [](auto& v) {
         v.width = "640";
         v.height = "480";
       }},
      {"[PARAMS]\r\nsize=640X480\r\n", [](auto&) {}},
      {"[PARAMS]\r\nsize=x480x2\r\n", [](auto& v) { v.height = "480x2"; }},
      {"[FOLDERS]\r\ntemp=\r\nsource=/in\r\n", [](auto& v) { v.source_folder = "/in"; }},
      {"[FOLDERS]\r\ntemp=/var/tmp/\r\n", [](auto& v) { v.temp_folder = "/var/tmp/"; }},
      {"[GIF]\r\nGIF87=1\r\n", [](auto& v) { v.gif_type = gif_version::gif87; }},
      {"[GIF]\r\nGIF87=yes\r\n", [](auto&) {}},
      {"[BMP]\r\nbmp_type=1\r\n", [](auto& v) { v.bmp_type = bmp_colors::colors_256; }},
      {"[BMP]\r\nbmp_type=7\r\n", [](auto& v) { v.bmp_type = bmp_colors::colors_16m; }},
      {"[PARAMS]\r\nimage_type=12\r\n", [](auto& v) { v.target_format = 12; }},
      {"[PARAMS]\r\nimage_type=13\r\n", [](auto& v) { v.target_format = kNoSelection; }},
      {"[JPEG]\r\ncolorspace=2\r\n", [](auto& v) { v.jpeg_colorspace = kNoSelection; }},
      {"[PDF]\r\nletter_type=-1\r\n", [](auto& v) { v.pdf_page_size = kNoSelection; }},
      {"[PCL]\r\npage_type=7\r\ndpi=0300\r\n",
       [](auto& v) {
         v.pcl_page_type = 7;
         v.pcl_dpi = "300";
       }},
      {"[TIFF]\r\ndpi=-1\r\nadjoin=0\r\ntif_name=t\r\n",
       [](auto& v) {
         v.tiff_dpi = "4294967295";  // shown unsigned
         v.tiff_multi_page = false;
         v.tif_name = "t";
       }},
      {"[REPORT]\r\ncreate_report=0\r\nuse_tiff_name=1\r\n",
       [](auto& v) {
         v.create_report = false;
         v.use_tiff_name = true;
       }},
  };
  test_folder folder;
  dialog_values defaults;
  load_job_file(folder / "none.ini", defaults);
  for (const auto& c : cases) {
    write_bytes(folder / "job.ini", c.body);
    dialog_values loaded;
    load_job_file(folder / "job.ini", loaded);
    dialog_values expected = defaults;
    c.expected(expected);
    EXPECT_EQ(loaded, expected) << c.body;
  }
}

TEST(LoadJobFile, MissingKeysShowTheirDefaultsOverEarlierValues) {
  test_folder folder;
  dialog_values defaults;
  defaults.temp_folder = platform::system_temp_path();
  defaults.extract_all_pages = defaults.create_report = defaults.tiff_multi_page = true;
  defaults.target_format = 1;
  defaults.bmp_type = bmp_colors::black_and_white;
  defaults.gif_type = gif_version::gif89;
  defaults.jpeg_quality = defaults.png_quality = defaults.pcl_dpi = "75";
  defaults.jpeg_colorspace = defaults.pdf_compression = defaults.pdf_page_size = 1;
  defaults.tiff_compression = 1;
  defaults.tiff_colorspace = defaults.pcl_page_type = 0;
  defaults.tiff_dpi = "72";
  defaults.pse_horz_dpi = defaults.pse_vert_dpi = "240";

  filled_dialog d;
  recording_dialogs ui;
  ASSERT_TRUE(save_job_file(d.values, d.job, ui).saved());
  dialog_values values;
  load_job_file(d.job, values);
  EXPECT_EQ(values, d.values);  // the round trip
  write_bytes(d.job, "");
  load_job_file(d.job, values);
  EXPECT_EQ(values, defaults);

  // The radio groups follow each file.
  for (const auto& [body, version] : {std::pair{"[GIF]\nGIF87=0\n", gif_version::gif89},
                                      std::pair{"[GIF]\nGIF87=1\n", gif_version::gif87},
                                      std::pair{"[GIF]\nGIF87=0\n", gif_version::gif89}}) {
    write_bytes(d.job, body);
    load_job_file(d.job, values);
    EXPECT_EQ(values.gif_type, version) << body;
  }
}

TEST(LoadJobFile, DefaultsSavedGiveTheSameDialog) {
  test_folder folder;
  dialog_values values;
  load_job_file(folder / "none.ini", values);
  values.source_folder = "/in";
  values.target_folder = folder.path();
  values.tif_name = "joined";  // the multi-page TIFF is on by default and needs one
  recording_dialogs ui;
  ASSERT_TRUE(save_job_file(values, folder / "job.ini", ui).saved());
  dialog_values again;
  load_job_file(folder / "job.ini", again);
  EXPECT_EQ(again, values);
  EXPECT_EQ(platform::ini_file::load(folder / "job.ini").read_string("FOLDERS", "temp"),
            platform::system_temp_path());
}

}  // namespace
}  // namespace zq::gui
