#include "platform/system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_folder.h"

namespace zq::platform {
namespace {

TEST(System, WildcardMatchesAsWindowsFindDoes) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {{"*.tif", "a.tif", true},      {"*.tif", "B.TIF", true},
               {"*.TIF", "a.tif", true},      {"*.tif", "c.tiff", true},
               {"*.tif", "d.tifx", true},     {"*.tif", "a.b.TIFF", true},
               {"a.tif", "A.tiff", true},     {"*.tif", "e.ti", false},
               {"*.tif", "f.tif.bak", false}, {"*.tif", "tiff", false},
               {"x*.tif", "y.tiff", false},   {"*.ti?", "x.tiff", false},
               {"*.jpeg", "x.jpegx", false},  {"*.*", "noext", true},
               {"*.*", ".hidden", true},      {"a.*", "a", true},
               {"a.*", "ab", false},          {"?.tif", "a.tif", true},
               {"?.tif", "ab.tif", false},    {"a*b*c", "aXbYc", true},
               {"a*b*c", "aXbYcd", false},    {"*ab", "aab", true},
               {"a**?", "ab", true},          {"abc", "ABC", true},
               {"abc", "abcd", false},        {"\xC3\xA9*", "\xC3\x89x", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
  }
}

TEST(System, EnumeratesOneFolderSortedWithoutFollowingLinks) {
  test_folder folder;
  for (const char* name : {"b.tif", "a.tif", "B.TIF", "_first.tif", "c.tiff", "d.tifx", "e.ti",
                           "noext", "\xC3\xA9.tif"}) {
    write_bytes(folder / name, "");
  }
  ASSERT_EQ(::mkdir((folder / "sub.tif").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("sub.tif", (folder / "link.tif").c_str()), 0);

  std::vector<folder_entry> entries;
  ASSERT_TRUE(enumerate_folder(folder.path(), "*.tif", entries).is_ok());
  std::vector<std::pair<std::string, bool>> found;
  for (const folder_entry& entry : entries) {
    found.emplace_back(entry.name, entry.is_directory);
  }
  const std::vector<std::pair<std::string, bool>> expected = {
      {"_first.tif", false}, {"a.tif", false},  {"B.TIF", false},
      {"b.tif", false},      {"c.tiff", false}, {"d.tifx", false},
      {"link.tif", false},   {"sub.tif", true}, {"\xC3\xA9.tif", false}};
  EXPECT_EQ(found, expected);

  ASSERT_TRUE(enumerate_folder(folder.path() + "/", "*.*", entries).is_ok());
  EXPECT_EQ(entries.size(), 11u);

  const std::string missing = folder / "missing";
  const status failed = enumerate_folder(missing, "*.*", entries);
  EXPECT_FALSE(failed.is_ok());
  EXPECT_NE(failed.reason().find(missing), std::string::npos) << failed.reason();
  EXPECT_TRUE(entries.empty());
}

TEST(System, OpensForWritingOnlyRegularFilesNeverThroughLinks) {
  test_folder folder;
  const mode_t old_umask = ::umask(022);
  for (open_mode mode : {open_mode::truncate, open_mode::append}) {
    std::FILE* file = open_for_writing(folder / "out", mode);
    ASSERT_NE(file, nullptr);
    std::fputs(mode == open_mode::truncate ? "one" : "two", file);
    std::fclose(file);
  }
  ::umask(old_umask);
  EXPECT_EQ(read_bytes(folder / "out"), "onetwo");
  struct stat info;
  ASSERT_EQ(::stat((folder / "out").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);

  write_bytes(folder / "victim", "keep");
  ASSERT_EQ(::symlink("victim", (folder / "link").c_str()), 0);
  ASSERT_EQ(::symlink("planted", (folder / "dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const std::pair<std::string, std::string> refused[] = {
      {folder / "link", "symbolic link"},
      {folder / "dangling", "symbolic link"},
      {folder / "fifo", "not a regular file"},
      {"/dev/null", "not a regular file"},
      {folder / "missing/out", std::strerror(ENOENT)},
  };
  for (open_mode mode : {open_mode::truncate, open_mode::append}) {
    for (const auto& [path, reason] : refused) {
      std::string error;
      EXPECT_EQ(open_for_writing(path, mode, &error), nullptr) << path;
      EXPECT_NE(error.find(path), std::string::npos) << error;
      EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
  }
  EXPECT_EQ(read_bytes(folder / "victim"), "keep");
  EXPECT_FALSE(file_exists(folder / "planted"));
}

TEST(System, RemovesFilesAndTellsKindsApart) {
  test_folder folder;
  write_bytes(folder / "file", "x");
  ASSERT_EQ(::mkdir((folder / "dir").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("dir", (folder / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const struct {
    const char* name;
    bool is_file;
    bool is_folder;
  } kinds[] = {{"file", true, false},
               {"dir", false, true},
               {"link", false, true},
               {"fifo", false, false},
               {"missing", false, false}};
  for (const auto& k : kinds) {
    EXPECT_EQ(file_exists(folder / k.name), k.is_file) << k.name;
    EXPECT_EQ(folder_exists(folder / k.name), k.is_folder) << k.name;
  }

  EXPECT_TRUE(remove_file(folder / "file").is_ok());
  EXPECT_FALSE(file_exists(folder / "file"));
  EXPECT_TRUE(remove_file(folder / "file").is_ok());
  const status failed = remove_file(folder / "dir");
  EXPECT_FALSE(failed.is_ok());
  EXPECT_NE(failed.reason().find(folder / "dir"), std::string::npos) << failed.reason();
  EXPECT_TRUE(folder_exists(folder / "dir"));
}

TEST(System, RunsAProgramWithOneUntouchedArgument) {
  test_folder folder;
  ASSERT_EQ(::mkdir((folder / "with space").c_str(), 0777), 0);
  const std::string program = folder / "with space/report args";
  write_bytes(program,
              "#!/bin/sh\n"
              "printf '%s\\n' \"$#\" \"$1\" > \"$0.out\"\n"
              "[ \"$1\" = kill ] && kill -TERM $$\n"
              "exit 7\n");
  ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
  const std::pair<std::string, int> cases[] = {
      {"G|/src dir/a b.tif|/out dir|job file.ini", 7},
      {"", 7},
      {"$(touch x) * \"q\" 'q' \\", 7},
      {"kill", 128 + SIGTERM},
  };
  for (const auto& [argument, expected_code] : cases) {
    int exit_code = -1;
    const status ran = run_and_wait(program, argument, exit_code);
    ASSERT_TRUE(ran.is_ok()) << ran.reason();
    EXPECT_EQ(exit_code, expected_code) << argument;
    EXPECT_EQ(read_bytes(program + ".out"), "1\n" + argument + "\n");
  }
  int exit_code = -1;
  const status failed = run_and_wait(folder / "none", "x", exit_code);
  EXPECT_FALSE(failed.is_ok());
  EXPECT_NE(failed.reason().find(folder / "none"), std::string::npos) << failed.reason();
}

TEST(System, FindsTemporaryAndOwnFolders) {
  test_folder folder;
  write_bytes(folder / "file", "");
  const char* saved = std::getenv("TMPDIR");
  const std::optional<std::string> original =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "/tmp/"},
      {"", "/tmp/"},
      {folder.path(), folder.path() + "/"},
      {folder.path() + "//", folder.path() + "/"},
      {folder / "missing", "/tmp/"},
      {folder / "file", "/tmp/"},
  };
  for (const auto& [tmpdir, expected] : cases) {
    if (tmpdir) {
      ::setenv("TMPDIR", tmpdir->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    EXPECT_EQ(system_temp_path(), expected) << tmpdir.value_or("(unset)");
  }
  if (original) {
    ::setenv("TMPDIR", original->c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }

  const std::string own = own_folder();
  EXPECT_TRUE(file_exists(own + "platform_tests")) << own;
}

TEST(System, FindsSymbolsOfLibrariesLoadedOnDemand) {
  void* address = nullptr;
  ASSERT_TRUE(find_library_symbol("libm.so.6", "cos", address).is_ok());
  EXPECT_EQ(reinterpret_cast<double (*)(double)>(address)(0.0), 1.0);

  test_folder folder;
  const status missing = find_library_symbol(folder / "libnone.so", "cos", address);
  EXPECT_FALSE(missing.is_ok());
  EXPECT_NE(missing.reason().find(folder / "libnone.so"), std::string::npos) << missing.reason();

  write_bytes(folder / "libtext.so", "not a library");
  const status damaged = find_library_symbol(folder / "libtext.so", "cos", address);
  EXPECT_FALSE(damaged.is_ok());
  EXPECT_NE(damaged.reason().find("libtext.so"), std::string::npos) << damaged.reason();

  const status no_symbol = find_library_symbol("libm.so.6", "zq_no_such_call", address);
  EXPECT_FALSE(no_symbol.is_ok());
  EXPECT_NE(no_symbol.reason().find("zq_no_such_call"), std::string::npos) << no_symbol.reason();
}

}  // namespace
}  // namespace zq::platform
