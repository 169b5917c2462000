#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "platform/system.h"
#include "test_folder.h"

namespace zq::platform {
namespace {

struct read_case {
  std::string bytes;
  std::string section;
  std::string key;
  std::optional<std::string> value;
  int integer;  // read_int with 42 as the fallback, which an empty value keeps
};

TEST(IniFile, ReadsWithPrivateProfileRules) {
  const read_case cases[] = {
      {"[Folders]\r\nSource=/in dir\r\n", "FOLDERS", "source", "/in dir", 0},
      {"[a]\nk=-1\n", "A", "K", "-1", -1},
      {"  [ Spaced Name ]  \n  Key Name  =  two words  \n", "spaced name", "KEY NAME", "two words",
       0},
      {"[s]\nq=\" 12 \"\n", "s", "q", " 12 ", 12},
      {"[s]\nq='single'\n", "s", "q", "single", 0},
      {"[s]\nq=\"mixed'\n", "s", "q", "\"mixed'", 0},
      {"[s]\nq=\"\n", "s", "q", "\"", 0},
      {"[s]\nk=\n", "s", "k", "", 42},
      {"[s]\r\nk=   \r\n", "s", "k", "", 42},
      {"[s]\r\nk=a=b\r\n", "s", "k", "a=b", 0},
      {"[s]\nk=7 without line end", "s", "k", "7 without line end", 7},
      {"\xEF\xBB\xBF[s]\r\nk=5\r\n", "s", "k", "5", 5},
      {"[s]\nk=first\nK=second\n", "s", "k", "first", 0},
      {"[s]\r\nk=1\r\n[t]\r\nk=2\r\n", "T", "K", "2", 2},
      {"[s]\n;k=1\n  ; k=2\n", "s", "k", std::nullopt, 42},
      {"[s]\nx=1\n[S]\nk=2\n", "s", "k", std::nullopt, 42},
      {"k=3\n[s]\nx=1\n", "s", "k", std::nullopt, 42},
      {"[s]\nk\nk=\n", "s", "k", "", 42},
      {"[s]\nk=1\n", "t", "k", std::nullopt, 42},
  };
  test_folder folder;
  for (const read_case& c : cases) {
    SCOPED_TRACE(c.bytes);
    write_bytes(folder / "job.ini", c.bytes);
    const ini_file ini = ini_file::load(folder / "job.ini");
    EXPECT_TRUE(ini.loaded());
    EXPECT_EQ(ini.find(c.section, c.key), c.value);
    EXPECT_EQ(ini.read_string(c.section, c.key, "fallback"), c.value.value_or("fallback"));
    EXPECT_EQ(ini.read_int(c.section, c.key, 42), c.integer);
  }
  const ini_file missing = ini_file::load(folder / "missing.ini");
  EXPECT_FALSE(missing.loaded());
  EXPECT_EQ(missing.read_string("s", "k", "fallback"), "fallback");
  EXPECT_EQ(missing.read_int("s", "k", -3), -3);
}

// entries() sees a section as find() does, key by key.
TEST(IniFile, EntriesOfASectionAsFindSeesThem) {
  test_folder folder;
  write_bytes(folder / "list.ini",
              "[OTHER]\r\n0=/no\r\n[files]\n 0 = \"/a b\"\r\n;1=/commented\r\n1=/c\r\n0=/dup\r\n"
              "[FILES]\r\n2=/second section\r\n");
  const ini_file file = ini_file::load(folder / "list.ini");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"0", "/a b"}, {"1", "/c"}, {"0", "/dup"}};
  EXPECT_EQ(file.entries("FILES"), expected);
  EXPECT_EQ(file.find("FILES", "0"), "/a b");
  EXPECT_TRUE(file.entries("NONE").empty());
}

TEST(IniFile, ParsesLeadingIntegerAndSaturates) {
  const std::pair<std::string, int> cases[] = {{"-1", -1},
                                               {"12abc", 12},
                                               {"yes", 0},
                                               {" +7", 7},
                                               {"\t-0042x", -42},
                                               {"1 2", 1},
                                               {"0x10", 0},
                                               {"", 0},
                                               {"+", 0},
                                               {"- 5", 0},
                                               {"--5", 0},
                                               {"2147483647", INT_MAX},
                                               {"2147483648", INT_MAX},
                                               {"-2147483648", INT_MIN},
                                               {"-99999999999999999999999", INT_MIN},
                                               {"99999999999999999999999", INT_MAX}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parse_profile_int(text), expected) << '"' << text << '"';
  }
}

struct write_case {
  const char* what;
  std::optional<std::string> before;  // nothing: the file does not exist
  std::string section;
  std::string key;
  std::string value;
  std::string after;
};

TEST(IniFile, WritesKeepingEveryOtherByte) {
  const write_case cases[] = {
      {"replaces in place, keeping the key's spelling, blanks and LF",
       "; jobs\n[Sec]\nKeY = old  \n;c\n", "sEC", "key", "new", "; jobs\n[Sec]\nKeY = new\n;c\n"},
      {"replaces a quoted value, keeping CR LF", "[s]\r\nk=\"old\"\r\nother=1\r\n", "s", "k", "x y",
       "[s]\r\nk=x y\r\nother=1\r\n"},
      {"replaces the first of two keys only", "[s]\nk=1\nk=2\n", "s", "k", "9", "[s]\nk=9\nk=2\n"},
      {"fills an empty value", "[s]\nk=\n", "s", "k", "v", "[s]\nk=v\n"},
      {"adds a key after the section's last key", "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\ny=2\r\n",
       "a", "z", "3", "[A]\r\nx=1\r\nz=3\r\n\r\n; about B\r\n[B]\r\ny=2\r\n"},
      {"adds a key right after a keyless section line", "[A]\n\n[B]\n", "A", "k", "v",
       "[A]\nk=v\r\n\n[B]\n"},
      {"ends an unended last line before adding a key", "[A]\nx=1", "A", "z", "3",
       "[A]\nx=1\r\nz=3\r\n"},
      {"adds a section at the end", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\r\nk=v\r\n"},
      {"ends an unended last line before adding a section", "; only", "B", "k", "",
       "; only\r\n[B]\r\nk=\r\n"},
      {"finds a section behind a byte order mark", "\xEF\xBB\xBF[A]\nx=1\n", "a", "x", "2",
       "\xEF\xBB\xBF[A]\nx=2\n"},
      {"keeps bytes that are not UTF-8", "[s]\n\xFF=\xFE\n", "s", "k", "\xE9",
       "[s]\n\xFF=\xFE\nk=\xE9\r\n"},
      {"creates a missing file", std::nullopt, "S", "k", "v", "[S]\r\nk=v\r\n"},
  };
  for (const write_case& c : cases) {
    SCOPED_TRACE(c.what);
    test_folder folder;
    if (c.before) {
      write_bytes(folder / "job.ini", *c.before);
    }
    const status written = write_profile_string(folder / "job.ini", c.section, c.key, c.value);
    ASSERT_TRUE(written.is_ok()) << written.reason();
    EXPECT_EQ(read_bytes(folder / "job.ini"), c.after);
    EXPECT_EQ(folder.names(), std::set<std::string>{"job.ini"});
    EXPECT_EQ(ini_file::load(folder / "job.ini").find(c.section, c.key), c.value);
  }
}

struct line_end_case {
  const char* what;
  std::string before;
  std::string section;
  std::string key;
  std::optional<std::string> read;  // what the key reads before the write
  std::string value;
  std::string after;
};

// Old Mac editors and some Windows tools end lines with CR alone, and a file
// edited with several tools mixes all three line ends. Every kind ends a line;
// a new line takes CR alone in a file that uses nothing else, CR LF otherwise.
TEST(IniFile, LoneCrEndsALineAsCrLfAndLfDo) {
  const line_end_case cases[] = {
      {"replaces a value in a CR file", "[FOLDERS]\rsource=/in\rtarget=/out\r", "folders", "target",
       "/out", "/new", "[FOLDERS]\rsource=/in\rtarget=/new\r"},
      {"adds a key to a CR file with a CR", "[PARAMS]\rimage_type=3\r\r[TIFF]\radjoin=1\r",
       "PARAMS", "recurse", std::nullopt, "1",
       "[PARAMS]\rimage_type=3\rrecurse=1\r\r[TIFF]\radjoin=1\r"},
      {"adds a section to a CR file with CRs", "[A]\rx=1\r", "B", "k", std::nullopt, "v",
       "[A]\rx=1\r[B]\rk=v\r"},
      {"ends an unended last line of a CR file with a CR", "[A]\rx=1", "A", "z", std::nullopt, "3",
       "[A]\rx=1\rz=3\r"},
      {"finds a later section of a CR file", "[a]\rk=1\r[b]\rk=2\r", "B", "K", "2", "3",
       "[a]\rk=1\r[b]\rk=3\r"},
      {"sees a comment in a CR file", "[s]\r;k=1\rk=2\r", "s", "k", "2", "4", "[s]\r;k=1\rk=4\r"},
      {"finds a section behind a byte order mark in a CR file", "\xEF\xBB\xBF[s]\rk=5\r", "s", "k",
       "5", "6", "\xEF\xBB\xBF[s]\rk=6\r"},
      {"keeps all three line ends of a mixed file", "[s]\r\na=1\rb=2\nc=3\r\n", "s", "b", "2", "9",
       "[s]\r\na=1\rb=9\nc=3\r\n"},
      {"adds a key to a mixed file with CR LF", "[s]\r\na=1\r[t]\nb=2\n", "s", "z", std::nullopt,
       "5", "[s]\r\na=1\rz=5\r\n[t]\nb=2\n"},
      {"adds a key to a file of CRs and one LF with CR LF", "[s]\ra=1\rb=2\n", "s", "z",
       std::nullopt, "5", "[s]\ra=1\rb=2\nz=5\r\n"},
      {"keeps a CR that ends an empty line before CR LF", "[s]\r\r\nk=1\r\r\n", "s", "k", "1", "2",
       "[s]\r\r\nk=2\r\r\n"},
      {"takes LF then CR as two line ends", "[s]\n\rk=1\n", "s", "k", "1", "2", "[s]\n\rk=2\n"},
  };
  for (const line_end_case& c : cases) {
    SCOPED_TRACE(c.what);
    test_folder folder;
    write_bytes(folder / "job.ini", c.before);
    EXPECT_EQ(ini_file::load(folder / "job.ini").find(c.section, c.key), c.read);
    const status written = write_profile_string(folder / "job.ini", c.section, c.key, c.value);
    ASSERT_TRUE(written.is_ok()) << written.reason();
    EXPECT_EQ(read_bytes(folder / "job.ini"), c.after);
    EXPECT_EQ(ini_file::load(folder / "job.ini").find(c.section, c.key), c.value);
  }

  // The file list file, as a CR editor saves it.
  test_folder folder;
  write_bytes(folder / "list.ini", "[FILES]\r0=/a\r1=/b c\r");
  const std::vector<std::pair<std::string, std::string>> listed = {{"0", "/a"}, {"1", "/b c"}};
  EXPECT_EQ(ini_file::load(folder / "list.ini").entries("files"), listed);
}

// A value with a line end in it becomes more than one line once saved; the
// object must already answer as the saved file will, or a caller reads back a
// value the file does not hold.
TEST(IniFile, ValueWithALineEndReadsAsTheSavedFileWill) {
  test_folder folder;
  write_bytes(folder / "job.ini", "[s]\r\nk=1\r\nx=old\r\n");
  ini_file file = ini_file::load(folder / "job.ini");
  file.set("s", "k", "2\rx=injected");
  EXPECT_EQ(file.find("s", "k"), "2");
  EXPECT_EQ(file.find("s", "x"), "injected");
  ASSERT_TRUE(file.save().is_ok());
  EXPECT_EQ(read_bytes(folder / "job.ini"), "[s]\r\nk=2\rx=injected\r\nx=old\r\n");
  const ini_file reloaded = ini_file::load(folder / "job.ini");
  EXPECT_EQ(reloaded.find("s", "k"), "2");
  EXPECT_EQ(reloaded.find("s", "x"), "injected");
}

TEST(IniFile, SaveWithoutChangesKeepsEveryByte) {
  const std::string bytes =
      "\xEF\xBB\xBF; made by hand\r\n[Folders]\nsource = \"/in\"  \r\n\r\nunknown line\n"
      "[Other]\r\nx=1\r\n\r\n  ; trailing comment without line end";
  test_folder folder;
  write_bytes(folder / "job.ini", bytes);
  ASSERT_TRUE(ini_file::load(folder / "job.ini").save().is_ok());
  EXPECT_EQ(read_bytes(folder / "job.ini"), bytes);
}

TEST(IniFile, FailedSaveLeavesNoTemporaryAndNamesTheFile) {
  const std::string big_value(200, 'x');
  const struct {
    const char* what;
    std::string relative_path;
    std::function<void(const test_folder&)> arrange;
  } cases[] = {
      {"missing folder", "missing/job.ini", [](const test_folder&) {}},
      {"rename over a folder", "job.ini",
       [](const test_folder& f) { ASSERT_EQ(::mkdir((f / "job.ini").c_str(), 0777), 0); }},
      {"write beyond the file size limit", "job.ini",
       [](const test_folder& f) {
         write_bytes(f / "job.ini", "[s]\nk=1\n");
         ::signal(SIGXFSZ, SIG_IGN);
         rlimit limit;
         ::getrlimit(RLIMIT_FSIZE, &limit);
         limit.rlim_cur = 64;
         ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
       }},
  };
  rlimit original;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &original), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test_folder folder;
    c.arrange(folder);
    const std::string path = folder / c.relative_path;
    const std::set<std::string> names_before = folder.names();
    const bool had_file = file_exists(path);
    const std::string before = had_file ? read_bytes(path) : std::string();
    const status written = write_profile_string(path, "s", "k", big_value);
    ::setrlimit(RLIMIT_FSIZE, &original);
    EXPECT_FALSE(written.is_ok());
    EXPECT_NE(written.reason().find(path), std::string::npos) << written.reason();
    EXPECT_EQ(folder.names(), names_before);
    EXPECT_EQ(file_exists(path), had_file);
    if (had_file) {
      EXPECT_EQ(read_bytes(path), before);
    }
  }
  ::signal(SIGXFSZ, SIG_DFL);
}

TEST(IniFile, KeepsPermissionsAndHonoursUmask) {
  test_folder folder;
  const mode_t old_umask = ::umask(022);
  ASSERT_TRUE(write_profile_string(folder / "new.ini", "s", "k", "1").is_ok());
  write_bytes(folder / "old.ini", "[s]\nk=1\n");
  ASSERT_EQ(::chmod((folder / "old.ini").c_str(), 0600), 0);
  ASSERT_TRUE(write_profile_string(folder / "old.ini", "s", "k", "2").is_ok());
  ::umask(old_umask);
  struct stat info;
  ASSERT_EQ(::stat((folder / "new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  ASSERT_EQ(::stat((folder / "old.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(IniFile, WorksAtTheLongestPath) {
  test_folder folder;
  std::string path = folder.path();
  while (path.size() < 4095 - 250) {
    path += "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(path.c_str(), 0777), 0);
  }
  path += "/" + std::string(4095 - path.size() - 1, 'f');
  ASSERT_EQ(path.size(), 4095u);
  const status written = write_profile_string(path, "s", "k", "v");
  ASSERT_TRUE(written.is_ok()) << written.reason();
  EXPECT_EQ(ini_file::load(path).read_string("s", "k"), "v");
}

}  // namespace
}  // namespace zq::platform
