#include "setup/core/program_manager.h"

#include <gtest/gtest.h>

#include "setup_test_support.h"

namespace zq::setup {
namespace {

using commands = std::vector<progman_command>;

// Menu roots under a scratch folder.
struct menu_root {
  scratch_folder scratch;
  menu_folders folders{scratch / "data", scratch / "config"};
  program_manager instance{platform::real_file_system(), folders};

  std::string entry(const std::string& name) const {
    return folders.data_folder + "/applications/zembrit_quarnel-" + name + ".desktop";
  }
  void send(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
      const status sent = send_progman_command(instance, text);
      ASSERT_TRUE(sent.is_ok()) << text << ": " << sent.reason();
    }
  }
};

// A path as a quoted command argument: a quote inside is doubled.
std::string quoted(const std::string& path) {
  std::string out = "\"";
  for (const char c : path) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

TEST(ParseProgmanCommands, GoodTextsAndMalformedOnes) {
  const struct {
    std::string text;
    commands expected;  // empty: refused, with `fault` in the reason
    std::string fault;
  } cases[] = {
      {"[CreateGroup(Zembrit_Quarnel, 1)]", {{"CreateGroup", {"Zembrit_Quarnel", "1"}}}, ""},
      {"[AddItem(\"/opt/Z Q/Zembrite_Quarnel.html\",Help, help-browser, 1)]",
       {{"AddItem", {"/opt/Z Q/Zembrite_Quarnel.html", "Help", "help-browser", "1"}}},
       ""},
      // Blanks around parts go; quoted arguments keep theirs, and commas,
      // brackets and doubled quotes.
      {"  [ showgroup ( a b ,  \" c \" ) ]  ", {{"showgroup", {"a b", " c "}}}, ""},
      {"[ShowGroup()][AddItem(,)]", {{"ShowGroup", {}}, {"AddItem", {"", ""}}}, ""},
      {"[AddItem(\"/a,b/(c)[d]\"\"e\")]", {{"AddItem", {"/a,b/(c)[d]\"e"}}}, ""},
      {"[CreateGroup(G)] [ShowGroup(G)]", {{"CreateGroup", {"G"}}, {"ShowGroup", {"G"}}}, ""},
      {"", {}, "no command"},
      {"CreateGroup(G)", {}, "must begin with ["},
      {"[(G)]", {}, "needs a name"},
      {"[CreateGroup G]", {}, "in parentheses"},
      {"[CreateGroup(G]", {}, "ends with ']'"},
      {"[CreateGroup(G)", {}, "must end with ]"},
      {"[CreateGroup(G", {}, "not closed with )"},
      {"[AddItem(\"/a b,Setup)]", {}, "quote is not closed"},
      {"[AddItem(\"/a\" b,Setup)]", {}, "ends with 'b'"},
      {"[AddItem(/a\"b\",Setup)]", {}, "ends with '\"'"},
      {"[AddItem(/a(b),Setup)]", {}, "ends with '('"},
      {std::string("[ShowGroup(G)]\0", 15), {}, "must begin with ["},
  };
  for (const auto& c : cases) {
    const result<commands> parsed = parse_progman_commands(c.text);
    if (c.fault.empty()) {
      ASSERT_TRUE(parsed.is_ok()) << c.text << ": " << parsed.status().reason();
      EXPECT_EQ(*parsed, c.expected) << c.text;
    } else {
      ASSERT_FALSE(parsed.is_ok()) << c.text;
      EXPECT_NE(parsed.status().reason().find(c.fault), std::string::npos)
          << c.text << ": " << parsed.status().reason();
    }
  }
}

TEST(SendProgmanCommand, RefusesWhatItCannotCarryOutWritingNothingForIt) {
  const struct {
    bool group_first;
    std::string text;  // "@" stands for the scratch folder
    std::string reason;
  } cases[] = {
      {false, "[AddItem(\"/bin/sh\",Shell)]", "No group was created"},
      {false, "[ShowGroup(G)]", "There is no group G"},
      {false, "[DeleteGroup(G)]", "Unknown group command DeleteGroup"},
      {false, "[CreateGroup()]", "needs a name"},
      {false, "[CreateGroup(a/b)]", "cannot hold a slash"},
      {false, "[CreateGroup(\"a\tb\")]", "line break or tab"},
      {false, "[CreateGroup(\xff)]", "not UTF-8"},
      {true, "[AddItem(bin/sh,Shell)]", "absolute path"},
      {true, "[AddItem(/bin/sh,\"\xc3\")]", "not UTF-8"},
      {true, "[AddItem(/bin/sh,Shell,\"\xe9\")]", "not UTF-8"},
      {true, "[AddItem(\"/a\x01\",Control)]", "control character"},
      {true, "[AddItem(@/a=b/prog,Prog)]", "cannot have \"=\""},
  };
  for (const auto& c : cases) {
    menu_root root;
    write_file(root.scratch / "a=b/prog", "#!/bin/sh\n", 0755);
    if (c.group_first) root.send({"[CreateGroup(G)]"});
    const std::set<std::string> before = tree_of(root.scratch.path());
    std::string text = c.text;
    if (const auto at = text.find('@'); at != std::string::npos)
      text.replace(at, 1, root.scratch.path());
    const status sent = send_progman_command(root.instance, text);
    ASSERT_FALSE(sent.is_ok()) << text;
    EXPECT_NE(sent.reason().find(c.reason), std::string::npos) << text << ": " << sent.reason();
    EXPECT_EQ(tree_of(root.scratch.path()), before) << text;
  }
}

TEST(SendProgmanCommand, EntriesRunProgramsAndOpenDocumentsInAnyFolder) {
  const bool validating = validate("/dev/null").has_value();
  for (const std::string name :
       {"Zembrit Quarnel", "two  blanks ", "a\"b", "a\\b", "a$HOME", "a`id`", "100%", "a;b#c~d'e",
        "a\tb\nc", "(a)&b|c<d>*?", "a=b", "\xc3\xa9t\xc3\xa9"}) {
    menu_root root;
    const std::string folder = root.scratch / "install/" + name;
    write_file(folder + "/prog", "#!/bin/sh\n", 0755);
    write_file(folder + "/read me.txt", "notes\n", 0644);
    root.send({"[CreateGroup(G)]", "[AddItem(" + quoted(folder + "/read me.txt") + ", \" Doc\")]"});
    if (name != "a=b") root.send({"[AddItem(" + quoted(folder + "/prog") + ",Prog)]"});
    const std::pair<std::string, std::vector<std::string>> entries[] = {
        {"_doc", {"xdg-open", folder + "/read me.txt"}}, {"prog", {folder + "/prog"}}};
    for (const auto& [entry, command] : entries) {
      if (entry == "prog" && name == "a=b") continue;
      const std::string text = read_file(root.entry(entry));
      EXPECT_EQ(exec_arguments(value_of(text, "Exec").value_or("")), command) << name;
      EXPECT_EQ(value_of(text, "Path"), folder) << name;
      EXPECT_EQ(value_of(text, "Name"), entry == "prog" ? "Prog" : " Doc") << name;
      if (validating) {
        EXPECT_EQ(validate(root.entry(entry)), "") << name;
      }
    }
  }
  if (!validating) GTEST_SKIP() << kNoValidator;
}

TEST(SendProgmanCommand, GroupKeepsItsItemsAcrossSessions) {
  menu_root root;
  const std::string tool = quoted(root.scratch / "app/tool");
  write_file(root.scratch / "app/tool", "#!/bin/sh\n", 0755);
  root.send({"[CreateGroup(My Tools & <Co>)]", "[AddItem(" + tool + ",Read me)]",
             "[AddItem(" + tool + ",\"\xc3\x9cn\xc3\xaf\")]"});
  program_manager second(platform::real_file_system(), root.folders);
  // The group's items are kept, one added twice is named once, and an item
  // without a name takes its file's.
  for (const std::string text :
       {"[createGROUP(My Tools & <Co>)]", "[ShowGroup(My Tools & <Co>)]"}) {
    EXPECT_TRUE(send_progman_command(second, text).is_ok()) << text;
  }
  EXPECT_TRUE(send_progman_command(second, "[AddItem(" + tool + ",Read me)][AddItem(" + tool + ")]")
                  .is_ok());
  EXPECT_FALSE(send_progman_command(second, "[ShowGroup(Other)]").is_ok());

  EXPECT_EQ(read_file(root.scratch /
                      "config/menus/applications-merged/zembrit_quarnel-my_tools____co_.menu"),
            "<Menu>\n"
            "  <Name>Applications</Name>\n"
            "  <Menu>\n"
            "    <Name>My Tools &amp; &lt;Co&gt;</Name>\n"
            "    <Directory>zembrit_quarnel-my_tools____co_.directory</Directory>\n"
            "    <Include>\n"
            "      <Filename>zembrit_quarnel-read_me.desktop</Filename>\n"
            "      <Filename>zembrit_quarnel-__n__.desktop</Filename>\n"
            "      <Filename>zembrit_quarnel-tool.desktop</Filename>\n"
            "    </Include>\n"
            "  </Menu>\n"
            "</Menu>\n");
  EXPECT_EQ(read_file(root.scratch /
                      "data/desktop-directories/zembrit_quarnel-my_tools____co_.directory"),
            "[Desktop Entry]\nType=Directory\nName=My Tools & <Co>\nIcon=applications-graphics\n");
  EXPECT_EQ(value_of(read_file(root.entry("__n__")), "Name"), "\xc3\x9cn\xc3\xaf");
  EXPECT_EQ(tree_of(root.scratch / "data/applications").size(), 3u);
}

}  // namespace
}  // namespace zq::setup
