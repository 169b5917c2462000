#include "setup/core/installation.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "platform/fault_injecting_file_system.h"
#include "setup/core/install_folders.h"
#include "setup_test_support.h"

namespace zq::setup {
namespace {

using names = std::vector<std::string>;
using faults = platform::fault_injecting_file_system;

// The order and modes written out here, not read from the code under test.
const names kOrder = {"Zembrite_Quarnel.html", "Quarnel_gui",   "Zembrit_Quarnel.ini",
                      "Zembrit_Quarnel",       "libzgraphb.so", "libzq_pdf_pages.so",
                      "whatsnew.txt"};
const unsigned kModes[] = {0644, 0755, 0664, 0750, 0755, 0700, 0444};

std::string fresh(const std::string& name) { return "new " + name + "\n"; }

// An installer's folder with every file, an install folder with a blank in
// its name, and menu roots, under one scratch folder.
struct installer {
  scratch_folder scratch;
  std::string destination = scratch / "Zembrit Quarnel";

  installer() {
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
      write_file(scratch / "setup/" + kOrder[i], fresh(kOrder[i]), kModes[i]);
    }
    std::filesystem::create_directories(destination);
  }
  // An earlier installation: old files of mode 0600, the job file as given.
  void install_earlier(const std::string& settings) {
    for (const std::string& name : kOrder) {
      write_file(destination + "/" + name, name == kJobFileName ? settings : "old\n", 0600);
    }
  }
  installation_outcome run(faults& fs, bool group = false,
                           std::function<void(const std::string&)> seen = {}) {
    return run_installation(
        fs, {scratch / "setup/", destination, group, {scratch / "share", scratch / "config"}},
        seen);
  }
  std::set<std::string> menu_files() const {
    std::set<std::string> files = tree_of(scratch / "share");
    for (const std::string& name : tree_of(scratch / "config")) files.insert("config/" + name);
    return files;
  }
};

TEST(RunInstallation, CopiesTheListInOrderKeepingEachMode) {
  installer setup;
  setup.install_earlier(fresh(kJobFileName));
  faults fs;
  names announced;
  const installation_outcome outcome =
      setup.run(fs, false, [&](const std::string& name) { announced.push_back(name); });

  ASSERT_TRUE(outcome.completed()) << outcome.failure->reason.reason();
  EXPECT_EQ(outcome.kept_settings, "");
  names moved;  // the final names, in the order the copies were completed
  for (const std::string& call : fs.calls()) {
    if (const auto at = call.find(" -> " + setup.destination + "/"); at != std::string::npos) {
      moved.push_back(call.substr(at + setup.destination.size() + 5));
    }
  }
  EXPECT_EQ(moved, kOrder);
  EXPECT_EQ(announced, kOrder);
  for (std::size_t i = 0; i < kOrder.size(); ++i) {
    EXPECT_EQ(read_file(setup.destination + "/" + kOrder[i]), fresh(kOrder[i])) << kOrder[i];
    EXPECT_EQ(mode_of(setup.destination + "/" + kOrder[i]), kModes[i]) << kOrder[i];
  }
  EXPECT_EQ(tree_of(setup.destination), std::set<std::string>(kOrder.begin(), kOrder.end()));
  EXPECT_TRUE(setup.menu_files().empty());  // no group asked for
}

TEST(RunInstallation, StopsAtTheFirstFailedCopyLeavingTheEarlierFiles) {
  const std::size_t three_files =
      fresh(kOrder[0]).size() + fresh(kOrder[1]).size() + fresh(kOrder[2]).size();
  const struct {
    std::function<void(installer&, faults&)> arm;
    std::size_t failing;  // in the copy list
    std::string reason;
  } cases[] = {
      {[](installer&, faults& fs) { fs.fail_make_folder(""); }, 0, "Permission denied"},
      {[](installer&, faults& fs) { fs.fail_open_for_write("/Quarnel_gui"); }, 1,
       "Permission denied"},
      {[&](installer&, faults& fs) { fs.fail_writes_after(three_files + 3); }, 3, "No space left"},
      {[](installer& s, faults&) { std::filesystem::remove(s.scratch / "setup/libzgraphb.so"); }, 4,
       "No such file"},
      {[](installer&, faults& fs) { fs.fail_rename("/libzq_pdf_pages.so"); }, 5, "cross-device"},
      {[](installer&, faults& fs) { fs.fail_close("/whatsnew.txt"); }, 6, "Input/output error"},
  };
  for (const auto& c : cases) {
    installer setup;
    setup.install_earlier(fresh(kJobFileName));
    faults fs;
    c.arm(setup, fs);
    const installation_outcome outcome = setup.run(fs, true);

    const std::string& failing = kOrder[c.failing];
    ASSERT_FALSE(outcome.completed()) << failing;
    EXPECT_EQ(
        outcome.failure->box,
        (message_box{"Zembrit",
                     "The installation of Zembrit_Quarnel has failed.\n\nPlease run install again.",
                     message_icon::error}));
    EXPECT_EQ(outcome.failure->exit_code, 0);
    const std::string& reason = outcome.failure->reason.reason();
    EXPECT_TRUE(reason.find(failing) != std::string::npos &&
                reason.find(c.reason) != std::string::npos)
        << reason;
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
      EXPECT_EQ(mode_of(setup.destination + "/" + kOrder[i]), i < c.failing ? kModes[i] : 0600u)
          << failing << " stopped, " << kOrder[i];
    }
    // Nothing half-written is left behind, and no group is made.
    EXPECT_EQ(tree_of(setup.destination), std::set<std::string>(kOrder.begin(), kOrder.end()))
        << failing;
    EXPECT_TRUE(setup.menu_files().empty()) << failing;
  }
}

TEST(RunInstallation, KeepsSettingsThatDifferFromTheNewDefault) {
  const std::string job = fresh(kJobFileName), mine = "[FOLDERS]\r\nsource=/home/u\r\n";
  const struct {
    std::optional<std::string> earlier, kept_before;
    bool refuse_keeping;
    std::optional<std::string> kept_after;  // nullopt: no .old afterwards
  } cases[] = {
      {std::nullopt, std::nullopt, false, std::nullopt},
      {job, std::nullopt, false, std::nullopt},
      {mine, std::nullopt, false, mine},
      {mine, "older\n", false, mine},
      {mine, std::nullopt, true, std::nullopt},  // the settings are not given up for a default
  };
  for (const auto& c : cases) {
    installer setup;
    const std::string installed = setup.destination + "/" + kJobFileName, kept = installed + ".old";
    if (c.earlier) write_file(installed, *c.earlier, 0600);
    if (c.kept_before) write_file(kept, *c.kept_before, 0644);
    faults fs;
    if (c.refuse_keeping) fs.fail_rename(".ini.old");
    const installation_outcome outcome = setup.run(fs);

    EXPECT_EQ(outcome.completed(), !c.refuse_keeping);
    EXPECT_EQ(read_file(installed), c.refuse_keeping ? *c.earlier : job);
    EXPECT_EQ(outcome.kept_settings, c.kept_after ? kept : "");
    EXPECT_EQ(read_file(kept), c.kept_after.value_or(c.kept_before.value_or("")));
    if (c.kept_after) {
      EXPECT_EQ(mode_of(kept), 0600u);
    }
    if (c.refuse_keeping) {
      EXPECT_NE(outcome.failure->reason.reason().find(kept), std::string::npos);
    }
  }
}

TEST(RunInstallation, MenuGroupForAnInstallFolderWithABlank) {
  installer setup;
  faults fs;
  ASSERT_TRUE(setup.run(fs, true).completed());
  const std::string& d = setup.destination;
  const auto entry = [&](const std::string& name, const std::string& exec,
                         const std::string& icon) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\nPath=" + d +
           "\nIcon=" + icon + "\nTerminal=false\nCategories=Graphics;\n";
  };
  const std::map<std::string, std::string> golden = {
      {"applications/zembrit_quarnel-zembrit_quarnel.desktop",
       entry("Zembrit_Quarnel", "\"" + d + "/Zembrit_Quarnel\"", "application-x-executable")},
      {"applications/zembrit_quarnel-setup.desktop",
       entry("Setup", "\"" + d + "/Quarnel_gui\"", "application-x-executable")},
      {"applications/zembrit_quarnel-help.desktop",
       entry("Help", "xdg-open \"" + d + "/Zembrite_Quarnel.html\"", "help-browser")},
      {"desktop-directories/zembrit_quarnel-zembrit_quarnel.directory",
       "[Desktop Entry]\nType=Directory\nName=Zembrit_Quarnel\nIcon=applications-graphics\n"},
      {"config/menus/applications-merged/zembrit_quarnel-zembrit_quarnel.menu",
       "<Menu>\n"
       "  <Name>Applications</Name>\n"
       "  <Menu>\n"
       "    <Name>Zembrit_Quarnel</Name>\n"
       "    <Directory>zembrit_quarnel-zembrit_quarnel.directory</Directory>\n"
       "    <Include>\n"
       "      <Filename>zembrit_quarnel-zembrit_quarnel.desktop</Filename>\n"
       "      <Filename>zembrit_quarnel-setup.desktop</Filename>\n"
       "      <Filename>zembrit_quarnel-help.desktop</Filename>\n"
       "    </Include>\n"
       "  </Menu>\n"
       "</Menu>\n"},
  };
  std::set<std::string> expected = {"applications", "desktop-directories", "config/menus",
                                    "config/menus/applications-merged"};
  for (const auto& [file, bytes] : golden) {
    const std::string path =
        file.starts_with("config/") ? setup.scratch / file : setup.scratch / "share/" + file;
    EXPECT_EQ(read_file(path), bytes) << file;
    expected.insert(file);
    if (const auto said = file.ends_with(".menu") ? std::nullopt : validate(path)) {
      EXPECT_EQ(*said, "") << file;
    }
  }
  EXPECT_EQ(setup.menu_files(), expected);
  EXPECT_EQ(
      exec_arguments(*value_of(golden.at("applications/zembrit_quarnel-setup.desktop"), "Exec")),
      (names{d + "/Quarnel_gui"}));
  if (!validate("/dev/null")) GTEST_SKIP() << kNoValidator;
}

TEST(RunInstallation, EachGroupCommandIsSentWhateverBecameOfTheOneBefore) {
  installer setup;
  faults fs;
  fs.fail_rename(
      "zembrit_quarnel-zembrit_quarnel.d");      // the group's folder entry and the engine's item
  ASSERT_TRUE(setup.run(fs, true).completed());  // a menu that cannot be made fails nothing
  EXPECT_EQ(
      tree_of(setup.scratch / "share"),
      (std::set<std::string>{"applications", "applications/zembrit_quarnel-setup.desktop",
                             "applications/zembrit_quarnel-help.desktop", "desktop-directories"}));
}

TEST(GroupCommands, NameTheInstallFolderAsTidied) {
  EXPECT_EQ(
      group_commands("/opt/Zembrit Quarnel"),
      (names{"[CreateGroup(Zembrit_Quarnel, 1)]",
             "[AddItem(\"/opt/Zembrit Quarnel/Zembrit_Quarnel\",Zembrit_Quarnel)]",
             "[AddItem(\"/opt/Zembrit Quarnel/Quarnel_gui\",Setup)]",
             "[AddItem(\"/opt/Zembrit Quarnel/Zembrite_Quarnel.html\",Help, help-browser, 1)]",
             "[ShowGroup(Zembrit_Quarnel)]"}));
  for (const std::string folder : {"/a\"b", "/a,b)", "/\"\"", "/x]["}) {
    const result<std::vector<progman_command>> parsed =
        parse_progman_commands(group_commands(folder)[2]);
    ASSERT_TRUE(parsed.is_ok()) << folder;
    EXPECT_EQ(parsed->front().arguments.front(), folder + "/Quarnel_gui");
  }
}

TEST(InstallFolders, FollowTheUserAndTheBaseFolderRules) {
  const struct {
    user_environment environment;
    std::string install_folder;
    menu_folders menus;
  } cases[] = {
      {{true, "/root", "/root/data", "/root/conf"},
       "/opt/Zembrit_Quarnel",
       {"/usr/local/share", "/etc/xdg"}},
      {{false, "/home/u", "", ""},
       "/home/u/.local/share/Zembrit_Quarnel",
       {"/home/u/.local/share", "/home/u/.config"}},
      {{false, "/home/u", "/x/data", "/x/conf"}, "/x/data/Zembrit_Quarnel", {"/x/data", "/x/conf"}},
      {{false, "/home/u/", "/x//data/", "/x/conf//"},
       "/x/data/Zembrit_Quarnel",
       {"/x/data", "/x/conf"}},
      // A relative base folder is ignored, as the base-folder rules say.
      {{false, "/home/u", "data", "./conf"},
       "/home/u/.local/share/Zembrit_Quarnel",
       {"/home/u/.local/share", "/home/u/.config"}},
      {{false, "", "/x/data", ""}, "/x/data/Zembrit_Quarnel", {"/x/data", ""}},
      {{false, "", "", ""}, "", {"", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(default_install_folder(c.environment), c.install_folder) << c.install_folder;
    EXPECT_EQ(menu_folders_for(c.environment), c.menus) << c.install_folder;
  }
}

}  // namespace
}  // namespace zq::setup
