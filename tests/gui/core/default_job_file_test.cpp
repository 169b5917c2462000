#include "gui/core/default_job_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "../../platform/test_folder.h"

namespace zq::gui {
namespace {

using platform::read_bytes;
using platform::test_folder;
using platform::write_bytes;

TEST(DefaultJobFile, InstalledFileOrTheUsersCopy) {
  const struct {
    const char* name;
    bool installed;
    bool writable;
    const char* existing_copy;  // nullptr: none yet
    const char* config;         // below the test folder; "" for no configuration folder
    const char* expected;       // below the test folder
    const char* bytes;          // what the chosen file holds; nullptr: not there
  } cases[] = {
      {"nothing installed", false, false, nullptr, "/config", "/prog/Zembrit_Quarnel.ini", nullptr},
      {"writable", true, true, nullptr, "/config", "/prog/Zembrit_Quarnel.ini", "installed"},
      {"first start", true, false, nullptr, "/config",
       "/config/Zembrit_Quarnel/Zembrit_Quarnel.ini", "installed"},
      {"copy kept", true, false, "mine", "/config", "/config/Zembrit_Quarnel/Zembrit_Quarnel.ini",
       "mine"},
      {"no configuration folder", true, false, nullptr, "", "/prog/Zembrit_Quarnel.ini",
       "installed"},
  };
  for (const auto& c : cases) {
    test_folder folder;
    std::filesystem::create_directory(folder / "prog");
    if (c.installed) {
      write_bytes(folder / "prog/Zembrit_Quarnel.ini", "installed");
    }
    if (c.existing_copy != nullptr) {
      std::filesystem::create_directories(folder / "config/Zembrit_Quarnel");
      write_bytes(folder / "config/Zembrit_Quarnel/Zembrit_Quarnel.ini", c.existing_copy);
    }
    const std::string config = *c.config == '\0' ? "" : folder.path() + c.config;
    const job_file_choice choice =
        default_job_file(folder / "prog/", config, [&](const std::string&) { return c.writable; });
    EXPECT_EQ(choice.path, folder.path() + c.expected) << c.name;
    EXPECT_EQ(choice.per_user, choice.path.find("/config/") != std::string::npos) << c.name;
    EXPECT_TRUE(choice.copy.is_ok()) << c.name << ": " << choice.copy.reason();
    if (c.bytes == nullptr) {
      EXPECT_FALSE(std::filesystem::exists(choice.path)) << c.name;
    } else {
      EXPECT_EQ(read_bytes(choice.path), c.bytes) << c.name;
    }
  }
}

// When the copy cannot be made the installed file is still shown, and why.
TEST(DefaultJobFile, CopyThatCannotBeMade) {
  test_folder folder;
  std::filesystem::create_directory(folder / "prog");
  write_bytes(folder / "prog/Zembrit_Quarnel.ini", "installed");
  write_bytes(folder / "config", "a file where the folder should be");
  const job_file_choice choice = default_job_file(folder / "prog", folder / "config",
                                                  [](const std::string&) { return false; });
  EXPECT_EQ(choice.path, folder / "prog/Zembrit_Quarnel.ini");
  EXPECT_FALSE(choice.per_user);
  EXPECT_NE(choice.copy.reason().find(folder / "config/Zembrit_Quarnel/Zembrit_Quarnel.ini"),
            std::string::npos)
      << choice.copy.reason();
}

TEST(DefaultJobFile, UserConfigHome) {
  const char* saved_xdg = std::getenv("XDG_CONFIG_HOME");
  const char* saved_home = std::getenv("HOME");
  const std::string xdg = saved_xdg ? saved_xdg : "";
  const std::string home = saved_home ? saved_home : "";
  const struct {
    const char* xdg;  // nullptr: unset
    const char* home;
    std::string expected;
  } cases[] = {
      {"/x/conf", "/home/u", "/x/conf"},
      {"relative/conf", "/home/u/", "/home/u/.config"},
      {"", "/home/u", "/home/u/.config"},
      {nullptr, "/home/u", "/home/u/.config"},
      {nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    c.xdg ? ::setenv("XDG_CONFIG_HOME", c.xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
    c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
    EXPECT_EQ(user_config_home(), c.expected) << (c.xdg ? c.xdg : "(unset)");
  }
  saved_xdg ? ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  saved_home ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace zq::gui
