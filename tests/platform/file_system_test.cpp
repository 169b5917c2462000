#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/paths.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/ini_file.h"
#include "platform/staged_output.h"
#include "test_folder.h"

namespace zq::platform {
namespace {

// A FIFO that nobody writes would hang a read or an open that waits on it:
// the alarm turns that hang into a failure that names itself.
class hang_guard {
 public:
  hang_guard() { ::alarm(10); }
  ~hang_guard() { ::alarm(0); }
  hang_guard(const hang_guard&) = delete;
  hang_guard& operator=(const hang_guard&) = delete;
};

void expect_names(const status& failure, const std::string& path, const std::string& why) {
  EXPECT_FALSE(failure.is_ok());
  EXPECT_NE(failure.reason().find(path), std::string::npos) << failure.reason();
  EXPECT_NE(failure.reason().find(why), std::string::npos) << failure.reason();
}

TEST(RealFileSystem, TellsKindsApartWithoutFollowingLinks) {
  test_folder folder;
  write_bytes(folder / "file", "12345");
  ASSERT_EQ(::chmod((folder / "file").c_str(), 0640), 0);
  ASSERT_EQ(::mkdir((folder / "dir").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("dir", (folder / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const struct {
    const char* name;
    file_kind kind;
  } cases[] = {{"file", file_kind::regular},    {"dir", file_kind::folder},
               {"link", file_kind::symlink},    {"fifo", file_kind::other},
               {"missing", file_kind::missing}, {"file/below", file_kind::missing}};
  file_system& fs = real_file_system();
  for (const auto& c : cases) {
    EXPECT_EQ(fs.stat(folder / c.name).kind, c.kind) << c.name;
  }
  const file_info file = fs.stat(folder / "file");
  EXPECT_EQ(file.size, 5u);
  EXPECT_EQ(file.permissions, 0640u);
  EXPECT_TRUE(file.owned_by_user);
  EXPECT_NE(file.modified, 0);
}

TEST(RealFileSystem, WritesRegularFilesOnlyNeverThroughALink) {
  test_folder folder;
  file_system& fs = real_file_system();
  for (const open_mode mode : {open_mode::truncate, open_mode::append}) {
    result<std::unique_ptr<writable_file>> file = fs.open_for_write(folder / "out", mode);
    ASSERT_TRUE(file.is_ok()) << file.status().reason();
    EXPECT_TRUE((*file)->append(mode == open_mode::truncate ? "one" : "two").is_ok());
    EXPECT_TRUE((*file)->close().is_ok());
  }
  EXPECT_EQ(read_bytes(folder / "out"), "onetwo");

  write_bytes(folder / "victim", "keep");
  ASSERT_EQ(::symlink("victim", (folder / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const hang_guard guard;
  expect_names(fs.open_for_write(folder / "link", open_mode::truncate).status(), folder / "link",
               "symbolic link");
  expect_names(fs.open_for_write(folder / "fifo", open_mode::append).status(), folder / "fifo",
               "not a regular file");
  EXPECT_EQ(read_bytes(folder / "victim"), "keep");
}

TEST(RealFileSystem, ReadsOnlyRegularFilesWithinTheLimit) {
  test_folder folder;
  write_bytes(folder / "ten", "0123456789");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((folder / "dir").c_str(), 0777), 0);
  file_system& fs = real_file_system();
  const hang_guard guard;

  EXPECT_EQ(fs.read_file(folder / "ten", 10).value(), "0123456789");
  EXPECT_EQ(fs.read_head(folder / "ten", 2).value(), "01");
  EXPECT_EQ(fs.read_head(folder / "ten", 99).value(), "0123456789");

  const struct {
    const char* name;
    std::size_t limit;
    std::string why;
  } refused[] = {{"ten", 9, "larger than 9 bytes"},
                 {"fifo", 100, "not a regular file"},
                 {"dir", 100, "not a regular file"},
                 {"missing", 100, std::strerror(ENOENT)}};
  for (const auto& r : refused) {
    expect_names(fs.read_file(folder / r.name, r.limit).status(), folder / r.name, r.why);
  }
  expect_names(fs.read_head(folder / "fifo", 2).status(), folder / "fifo", "not a regular file");
}

TEST(RealFileSystem, MakesAndRemovesFolders) {
  test_folder folder;
  file_system& fs = real_file_system();
  ASSERT_EQ(::mkdir((folder / "dir").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("dir", (folder / "link").c_str()), 0);
  write_bytes(folder / "file", "");
  EXPECT_TRUE(fs.make_folder(folder / "new").is_ok());
  EXPECT_TRUE(fs.make_folder(folder / "dir").is_ok());
  EXPECT_TRUE(fs.make_folder(folder / "link").is_ok());
  expect_names(fs.make_folder(folder / "file"), folder / "file", std::strerror(EEXIST));

  result<std::string> made = fs.make_private_folder(folder.path() + "/", ".p-");
  ASSERT_TRUE(made.is_ok()) << made.status().reason();
  EXPECT_EQ(folder_of(*made), folder.path() + "/");
  EXPECT_TRUE(file_name_of(*made).starts_with(".p-"));
  EXPECT_EQ(fs.stat(*made).permissions, 0700u);

  // A link inside the tree goes, the folder it points to stays.
  write_bytes(folder / "dir/kept", "x");
  ASSERT_EQ(::symlink("../dir", (*made + "/link").c_str()), 0);
  write_bytes(*made + "/file", "x");
  EXPECT_TRUE(fs.remove_tree(*made).is_ok());
  EXPECT_EQ(fs.stat(*made).kind, file_kind::missing);
  EXPECT_EQ(read_bytes(folder / "dir/kept"), "x");
  EXPECT_TRUE(fs.remove_tree(*made).is_ok());
}

TEST(CreateFolderChain, CreatesEveryFolderAboveTheLastSeparatorOnly) {
  test_folder folder;
  const std::string root = folder.path();
  create_folder_chain(real_file_system(), root + "/a/b//c/out.pdf");
  EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b/c"));
  EXPECT_FALSE(std::filesystem::exists(root + "/a/b/c/out.pdf"));

  // Existing folders and a file in the way are ignored, not fatal.
  create_folder_chain(real_file_system(), root + "/a/b/c/out.pdf");
  write_bytes(root + "/a/file", "x");
  create_folder_chain(real_file_system(), root + "/a/file/x/y");
  EXPECT_TRUE(std::filesystem::is_regular_file(root + "/a/file"));

  // A folder that cannot be made does not stop the ones after it being tried.
  fault_injecting_file_system fake;
  fake.fail_make_folder("/q/r");
  create_folder_chain(fake, "/q/r/s/t");
  EXPECT_EQ(fake.calls(),
            (std::vector<std::string>{"make_folder /q", "make_folder /q/r", "make_folder /q/r/s"}));
}

TEST(FaultInjectingFileSystem, AFullDiskTakesWhatFitsThenRefuses) {
  test_folder folder;
  fault_injecting_file_system fake;
  fake.fail_writes_after(7);
  result<std::unique_ptr<writable_file>> file =
      fake.open_for_write(folder / "f", open_mode::truncate);
  ASSERT_TRUE(file.is_ok());
  EXPECT_TRUE((*file)->append("abc").is_ok());
  expect_names((*file)->append("defgh"), folder / "f", std::strerror(ENOSPC));
  expect_names((*file)->append("i"), folder / "f", std::strerror(ENOSPC));
  EXPECT_TRUE((*file)->close().is_ok());
  EXPECT_EQ(read_bytes(folder / "f"), "abcdefg");
}

TEST(StagedOutput, MovesEveryFileTheWriterMadeOrNone) {
  test_folder folder;
  file_system& fs = real_file_system();
  {
    result<staged_output> staged = staged_output::begin(fs, folder / "out.yuv");
    ASSERT_TRUE(staged.is_ok()) << staged.status().reason();
    EXPECT_EQ(file_name_of(staged->path()), "out.yuv");
    write_bytes(staged->path(), "yuv");
    write_bytes(folder_of(staged->path()) + "out.Y", "luma");
    ASSERT_TRUE(staged->commit().is_ok());
  }
  EXPECT_EQ(folder.names(), (std::set<std::string>{"out.Y", "out.yuv"}));
  EXPECT_EQ(read_bytes(folder / "out.Y"), "luma");

  // A writer that made nothing replaces nothing.
  {
    result<staged_output> staged = staged_output::begin(fs, folder / "out.yuv");
    ASSERT_TRUE(staged.is_ok());
    expect_names(staged->commit(), folder / "out.yuv", "made no file");
  }
  EXPECT_EQ(folder.names(), (std::set<std::string>{"out.Y", "out.yuv"}));
  EXPECT_EQ(read_bytes(folder / "out.yuv"), "yuv");
}

// Each way a write can fail part-way leaves the old file as it was (or no
// file at all), no staging folder, and a reason that names the file.
struct write_fault {
  const char* what;
  std::function<void(fault_injecting_file_system&)> arm;
  int error;
};

const std::vector<write_fault>& write_faults() {
  static const std::vector<write_fault> faults = {
      {"disk full mid-file", [](auto& fs) { fs.fail_writes_after(4); }, ENOSPC},
      {"staging folder refused", [](auto& fs) { fs.fail_make_folder(".zq-staging-"); }, EACCES},
      {"file refused", [](auto& fs) { fs.fail_open_for_write("", EROFS); }, EROFS},
      {"close fails", [](auto& fs) { fs.fail_close(""); }, EIO},
      {"rename fails", [](auto& fs) { fs.fail_rename("target"); }, EXDEV},
  };
  return faults;
}

TEST(WriteFileAtomically, FailureLeavesNothingHalfWritten) {
  for (const write_fault& fault : write_faults()) {
    for (const bool replacing : {false, true}) {
      SCOPED_TRACE(std::string(fault.what) + (replacing ? ", replacing" : ", new file"));
      test_folder folder;
      const std::string target = folder / "target";
      if (replacing) {
        write_bytes(target, "old");
      }
      const std::set<std::string> before = folder.names();
      fault_injecting_file_system fake;
      fault.arm(fake);
      expect_names(write_file_atomically(fake, target, "new contents"), target,
                   std::strerror(fault.error));
      EXPECT_EQ(folder.names(), before);
      if (replacing) {
        EXPECT_EQ(read_bytes(target), "old");
      }
    }
  }
}

TEST(WriteFileAtomically, ReplacesThroughAStagingFolderItRemoves) {
  test_folder folder;
  write_bytes(folder / "target", "old");
  fault_injecting_file_system fake;
  ASSERT_TRUE(write_file_atomically(fake, folder / "target", "new").is_ok());
  EXPECT_EQ(read_bytes(folder / "target"), "new");
  EXPECT_EQ(folder.names(), std::set<std::string>{"target"});
  ASSERT_EQ(fake.calls().size(), 5u);
  const std::string staging = fake.calls()[0].substr(std::strlen("make_private_folder "));
  EXPECT_EQ(fake.calls()[4], "remove_tree " + staging);
  EXPECT_EQ(fake.calls()[3], "rename " + staging + "/new -> " + (folder / "target"));
}

TEST(IniFile, FailedSaveKeepsTheOldFile) {
  for (const write_fault& fault : write_faults()) {
    SCOPED_TRACE(fault.what);
    test_folder folder;
    const std::string path = folder / "target.ini";
    write_bytes(path, "[s]\r\nk=1\r\n");
    ini_file file = ini_file::load(path);
    file.set("s", "k", "2");
    fault_injecting_file_system fake;
    fault.arm(fake);
    const status saved = file.save(fake);
    EXPECT_FALSE(saved.is_ok());
    EXPECT_NE(saved.reason().find(path), std::string::npos) << saved.reason();
    EXPECT_EQ(read_bytes(path), "[s]\r\nk=1\r\n");
    EXPECT_EQ(folder.names(), std::set<std::string>{"target.ini"});
  }
}

}  // namespace
}  // namespace zq::platform
