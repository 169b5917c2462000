// Installations of the real build through the wizard into scratch folders,
// with HOME and the XDG base folders pointed there, and the installed engine
// run from its new place.
#include <sys/stat.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "common/paths.h"
#include "gui/core/recording_dialogs.h"
#include "gui/main_dialog.h"
#include "gui/processing_dialog.h"
#include "jobfile/formats.h"
#include "platform/system.h"
#include "wizard_test_support.h"

namespace zq::setup {
namespace {

const std::vector<std::string> kSevenFiles = {
    "Zembrite_Quarnel.html", "Quarnel_gui",        "Zembrit_Quarnel.ini", "Zembrit_Quarnel",
    "libzgraphb.so",         "libzq_pdf_pages.so", "whatsnew.txt"};

// The user's environment as the installer reads it, after pointing HOME and
// the base folders into `scratch`. The tests may run as root; they install
// as a user all the same, never into /opt.
user_environment scratch_user(const scratch_folder& scratch) {
  ::setenv("HOME", (scratch / "home").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
  user_environment user = current_user_environment();
  user.is_root = false;
  return user;
}

// The installer's folder, stocked with the files of the build's layout folder.
void stock_from_build(const driven_wizard& w) {
  std::filesystem::create_directories(w.scratch / "setup");
  for (const std::string& name : kSevenFiles) {
    std::filesystem::copy_file(std::string(ZQ_INSTALL_LAYOUT_DIR) + "/" + name,
                               w.scratch / "setup/" + name);
  }
}

std::string run_output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char chunk[512];
  for (std::size_t n; pipe && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    output.append(chunk, n);
  if (pipe) ::pclose(pipe);
  return output;
}

TEST(InstalledSystem, ReplacesAnEarlierInstallationKeepingDifferingSettings) {
  for (const bool group : {true, false}) {
    scratch_folder home;
    const user_environment user = scratch_user(home);
    ASSERT_EQ(data_home(user), home / "data");
    driven_wizard w(user);
    stock_from_build(w);
    // An earlier installation in a folder with a blank, with settings of its own.
    const std::string folder = w.scratch / "Zembrit Quarnel";
    const std::string mine = "[FOLDERS]\r\nsource=/home/me/scans\r\n";
    for (const std::string& name : kSevenFiles) write_file(folder + "/" + name, "old", 0600);
    write_file(folder + "/Zembrit_Quarnel.ini", mine, 0600);
    w.edges.chosen_folders = {folder};
    w.go_to(kDestinationPage);
    w.find<QAbstractButton>("browse_button")->click();
    w.go_to(kFinishPage, group);

    ASSERT_EQ(w.wizard->currentId(), kFinishPage);
    for (const std::string& name : kSevenFiles) {
      const std::string source = w.scratch / "setup/" + name, installed = folder + "/" + name;
      EXPECT_EQ(read_file(installed), read_file(source)) << name;
      EXPECT_EQ(mode_of(installed), mode_of(source)) << name;
    }
    EXPECT_EQ(read_file(folder + "/Zembrit_Quarnel.ini.old"), mine);
    EXPECT_NE(w.find<QLabel>("finish_kept_settings")->text().indexOf("Zembrit_Quarnel.ini.old"),
              -1);
    EXPECT_EQ(w.find("finish_items")->isVisible(), group);

    const std::string applications = home / "data/applications/";
    const std::string merge =
        home / "config/menus/applications-merged/zembrit_quarnel-zembrit_quarnel.menu";
    EXPECT_EQ(std::filesystem::exists(merge), group);
    EXPECT_EQ(std::filesystem::exists(applications), group);
    if (group) {
      for (const char* entry : {"zembrit_quarnel-zembrit_quarnel.desktop",
                                "zembrit_quarnel-setup.desktop", "zembrit_quarnel-help.desktop"}) {
        EXPECT_NE(read_file(merge).find(std::string("<Filename>") + entry + "</Filename>"),
                  std::string::npos)
            << entry;
        if (const auto said = validate(applications + entry)) {
          // Hints and warnings are lines too: none at all is the bar.
          EXPECT_EQ(*said, "") << entry;
        }
      }
      const std::string engine_entry =
          read_file(applications + "zembrit_quarnel-zembrit_quarnel.desktop");
      EXPECT_EQ(exec_arguments(*value_of(engine_entry, "Exec")),
                std::vector<std::string>{folder + "/Zembrit_Quarnel"});
      const std::string help = read_file(applications + "zembrit_quarnel-help.desktop");
      EXPECT_EQ(exec_arguments(*value_of(help, "Exec")),
                (std::vector<std::string>{"xdg-open", folder + "/Zembrite_Quarnel.html"}));
    }
    w.press(QWizard::FinishButton);
    EXPECT_EQ(w.endings, std::vector<int>{1});
  }
  if (!validate("/dev/null")) GTEST_SKIP() << kNoValidator;
}

TEST(InstalledSystem, AMissingFileStopsTheInstallationAtIt) {
  driven_wizard w;
  stock_from_build(w);
  std::filesystem::remove(w.scratch / "setup/libzq_pdf_pages.so");
  const std::string folder = w.scratch / "home/.local/share/Zembrit_Quarnel";
  for (const std::string& name : kSevenFiles) write_file(folder + "/" + name, "old", 0600);
  w.go_to(kReadyPage);
  w.edges.shown.clear();
  w.press(QWizard::NextButton);

  EXPECT_EQ(w.edges.shown,
            (std::vector<message_box>{{"Zembrit",
                                       "The installation of Zembrit_Quarnel has failed.\n\n"
                                       "Please run install again.",
                                       message_icon::error}}));
  EXPECT_EQ(w.endings, std::vector<int>{0});
  EXPECT_FALSE(w.wizard->isVisible());
  for (std::size_t i = 0; i < kSevenFiles.size(); ++i) {
    const std::string installed = read_file(folder + "/" + kSevenFiles[i]);
    EXPECT_EQ(installed == "old", i >= 5) << kSevenFiles[i];
  }
  EXPECT_TRUE(tree_of(w.scratch / "home/.local/share/applications").empty());
  EXPECT_TRUE(tree_of(w.scratch / "home/.config/menus").empty());
}

TEST(InstalledSystem, TheInstalledEngineConvertsWithItsOwnLibraries) {
  driven_wizard w;
  stock_from_build(w);
  w.go_to(kFinishPage);
  const std::string folder = w.wizard->destination_folder();
  const std::string engine = folder + "/Zembrit_Quarnel";
  // The engine reaches its bitmap library in its own folder, not the build's.
  EXPECT_NE(
      run_output("ldd '" + engine + "'").find("libzgraphb.so => " + folder + "/libzgraphb.so"),
      std::string::npos);
  const std::string work = w.scratch / "work";
  std::filesystem::create_directories(work + "/out");
  write_file(work + "/job.ini",
             "[FOLDERS]\r\nsource=" + work + "\r\ntarget=" + work + "/out\r\ntemp=" + work +
                 "\r\n[PARAMS]\r\nextract_all=1\r\n[PDF]\r\nadjoin=1\r\ncompression_type=1\r\n"
                 "[REPORT]\r\ncreate_report=1\r\n");
  const std::string sample = std::string(ZQ_EXAMPLES_DIR) + "/tiff/fax-3-pages.tif";
  const struct {
    std::string output;  // in work/out
    std::string check;   // a command whose output must hold `expected`
    std::string expected;
  } cases[] = {
      // One joined PDF of three pages: the PDF joiner was loaded from beside the engine.
      {"fax.pdf", "pdfinfo '" + work + "/out/fax.pdf' | awk '/^Pages:/ {print \"pages \" $2}'",
       "pages 3"},
      // Page segments are written by the bitmap library.
      {"fax.pse", "ls '" + work + "/out'", "fax_3.pse"},
  };
  for (const auto& c : cases) {
    int exit_code = -1;
    ASSERT_TRUE(platform::run_and_wait(
                    engine,
                    "G|" + sample + "|" + work + "/out/" + c.output + "|" + work + "/job.ini",
                    exit_code)
                    .is_ok());
    EXPECT_EQ(exit_code, 0) << c.output;
    EXPECT_NE(run_output(c.check + " 2>&1").find(c.expected), std::string::npos)
        << c.output << "\n"
        << read_file(work + "/Zembrit_Quarnel.log");
  }
}

// The settings program of the installation, as it starts from its own
// folder, launches the engine of that folder over the sample files.
TEST(InstalledSystem, TheInstalledFrontEndStartsTheInstalledEngine) {
  driven_wizard w;
  stock_from_build(w);
  w.go_to(kFinishPage);
  const std::string folder = w.wizard->destination_folder();
  const std::string work = w.scratch / "work";
  for (const char* made : {"/out", "/temp"}) std::filesystem::create_directories(work + made);

  class no_opener final : public gui::desktop_opener {
   public:
    bool open(const std::string&) override { return false; }
  } opener;
  gui::recording_dialogs ui;
  gui::main_dialog dialog(ui, opener, folder);
  // Real processes, with the program of each start written down.
  class noting_starter final : public gui::engine_starter {
   public:
    void start(const std::string& program, const std::string& argument,
               std::function<void(status)> ended) override {
      programs.insert(program);
      real.start(program, argument, std::move(ended));
    }
    gui::process_starter real;
    std::set<std::string> programs;
  } starter;
  dialog.set_engine_starter(starter);
  dialog.findChild<QLineEdit*>("job_file_edit")->setText(from_path(work + "/job.ini"));
  gui::dialog_values values = dialog.values();
  values.source_folder = std::string(ZQ_EXAMPLES_DIR) + "/tiff";
  values.target_folder = work + "/out";
  values.temp_folder = work + "/temp";
  values.target_format = zq::kFormatPdf;
  values.create_report = true;
  values.use_tiff_name = values.reproduce_source_path = false;
  // One PDF per page: the joins would ask for a name first.
  values.pdf_single_file = values.pcx_multi_file = values.tiff_multi_page = false;
  values.gif_multi_page = false;
  dialog.set_values(values);
  QTest::mouseClick(dialog.findChild<QPushButton*>("launch_button"), Qt::LeftButton);

  for (const auto& box : ui.boxes()) ADD_FAILURE() << "shown: " << box.text;
  const std::string report = read_file(work + "/temp/Zembrit_Quarnel.log");
  for (const char* sample : {"colour-scan", "fax-3-pages"}) {
    EXPECT_NE(report.find(std::string(ZQ_EXAMPLES_DIR) + "/tiff/" + sample + ".tif converted"),
              std::string::npos)
        << sample << "\n"
        << report;
  }
  EXPECT_FALSE(tree_of(work + "/out").empty());
  EXPECT_EQ(starter.programs, std::set<std::string>{folder + "/Zembrit_Quarnel"});
}

}  // namespace
}  // namespace zq::setup
