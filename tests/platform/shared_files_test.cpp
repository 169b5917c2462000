// Files whose names runs share in a temp folder that other users can write
// to: writes that never cut or enter someone else's file, appends that never
// overwrite another writer's, and the locks that keep a reader, an appender
// and a run that cuts or deletes the file apart.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"
#include "test_folder.h"

namespace zq::platform {
namespace {

using std::chrono::milliseconds;

// The user that planted files belong to. Only root can make such a file.
constexpr uid_t kStranger = 65534;

bool give_away(const std::string& path) {
  return ::chown(path.c_str(), kStranger, kStranger) == 0 && ::chmod(path.c_str(), 0666) == 0;
}

void expect_refused(const status& failure, const std::string& path, const std::string& why) {
  EXPECT_FALSE(failure.is_ok());
  EXPECT_NE(failure.reason().find(path), std::string::npos) << failure.reason();
  EXPECT_NE(failure.reason().find(why), std::string::npos) << failure.reason();
}

std::unique_ptr<writable_file> opened(file_system& fs, const std::string& path, open_mode mode) {
  result<std::unique_ptr<writable_file>> file = fs.open_for_write(path, mode);
  EXPECT_TRUE(file.is_ok()) << file.status().reason();
  return file.is_ok() ? std::move(file).value() : nullptr;
}

// A file of another user is refused before anything is done to it: not cut
// by a truncating open, not written by an appending one.
TEST(SharedFiles, AStrangersFileIsRefusedUntouched) {
  test_folder folder;
  write_bytes(folder / "theirs", "their bytes");
  if (!give_away(folder / "theirs")) {
    GTEST_SKIP() << "only root can give a file to another user";
  }
  for (const open_mode mode : {open_mode::truncate, open_mode::append}) {
    expect_refused(real_file_system().open_for_write(folder / "theirs", mode).status(),
                   folder / "theirs", "belongs to another user");
  }
  EXPECT_EQ(read_bytes(folder / "theirs"), "their bytes");
}

// Two writers of one file, one of them opened to replace it: each write goes
// to the end, so neither overwrites what the other appended.
TEST(SharedFiles, WritersAppendWhateverTheOpenMode) {
  test_folder folder;
  write_bytes(folder / "log", "old\n");
  file_system& fs = real_file_system();
  std::unique_ptr<writable_file> replacing = opened(fs, folder / "log", open_mode::truncate);
  std::unique_ptr<writable_file> appending = opened(fs, folder / "log", open_mode::append);
  ASSERT_TRUE(replacing && appending);
  EXPECT_EQ(read_bytes(folder / "log"), "");
  EXPECT_TRUE(replacing->append("one\n").is_ok());
  EXPECT_TRUE(appending->append("two\n").is_ok());
  EXPECT_TRUE(replacing->append("three\n").is_ok());
  EXPECT_TRUE(replacing->close().is_ok());
  EXPECT_TRUE(appending->close().is_ok());
  EXPECT_EQ(read_bytes(folder / "log"), "one\ntwo\nthree\n");
}

// Shared locks sit side by side; an exclusive one is had only alone; a wait
// ends at its patience; truncate() cuts what was there. The fault-injecting
// file system passes all of it through.
TEST(SharedFiles, LocksOnOpenFilesAndTheirPatience) {
  test_folder folder;
  fault_injecting_file_system faulty;
  for (file_system* fs : {&real_file_system(), static_cast<file_system*>(&faulty)}) {
    write_bytes(folder / "log", "before\n");
    std::unique_ptr<writable_file> first = opened(*fs, folder / "log", open_mode::append);
    std::unique_ptr<writable_file> second = opened(*fs, folder / "log", open_mode::append);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->lock(file_lock::shared, milliseconds::zero()).value());
    EXPECT_TRUE(second->lock(file_lock::shared, milliseconds::zero()).value());
    EXPECT_FALSE(second->lock(file_lock::exclusive, milliseconds::zero()).value());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(second->lock(file_lock::exclusive, milliseconds(200)).value());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, milliseconds(200));
    EXPECT_LT(waited, milliseconds(5000));

    EXPECT_TRUE(first->close().is_ok());  // closing drops its lock
    EXPECT_TRUE(second->lock(file_lock::exclusive, milliseconds::zero()).value());
    EXPECT_TRUE(second->truncate().is_ok());
    EXPECT_TRUE(second->append("after\n").is_ok());
    EXPECT_TRUE(second->close().is_ok());
    EXPECT_EQ(read_bytes(folder / "log"), "after\n");
  }
}

// Only this user's regular files are locked for reading or deleting; the
// refusal names the file and why, and a FIFO never holds the caller.
TEST(SharedFiles, OnlyOwnRegularFilesAreLockedForReading) {
  test_folder folder;
  file_system& fs = real_file_system();
  write_bytes(folder / "mine", "[FILES]\r\n");
  write_bytes(folder / "elsewhere", "[FILES]\r\n");
  ASSERT_EQ(::symlink((folder / "elsewhere").c_str(), (folder / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((folder / "dir").c_str(), 0700), 0);

  EXPECT_TRUE(fs.lock_own_file(folder / "mine", file_lock::shared, milliseconds::zero()).is_ok());
  const struct {
    const char* name;
    const char* why;
  } refused[] = {
      {"link", "symbolic link"},
      {"fifo", "not a regular file"},
      {"dir", "not a regular file"},
      {"missing", std::strerror(ENOENT)},
  };
  ::alarm(10);  // a FIFO that held the open would end the test here
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    expect_refused(
        fs.lock_own_file(folder / c.name, file_lock::shared, milliseconds::zero()).status(),
        folder / c.name, c.why);
  }
  ::alarm(0);
  EXPECT_EQ(fs.stat(folder / "missing").kind, file_kind::missing);

  write_bytes(folder / "theirs", "[FILES]\r\n");
  if (give_away(folder / "theirs")) {
    expect_refused(
        fs.lock_own_file(folder / "theirs", file_lock::shared, milliseconds::zero()).status(),
        folder / "theirs", "belongs to another user");
  }
}

// A deleter's exclusive lock waits for a reader's shared one, and gives up
// after its patience, naming the file.
TEST(SharedFiles, ADeleterWaitsForTheReader) {
  test_folder folder;
  file_system& fs = real_file_system();
  write_bytes(folder / "list", "[FILES]\r\n");
  result<std::unique_ptr<held_lock>> reader =
      fs.lock_own_file(folder / "list", file_lock::shared, milliseconds::zero());
  ASSERT_TRUE(reader.is_ok()) << reader.status().reason();
  EXPECT_TRUE(fs.lock_own_file(folder / "list", file_lock::shared, milliseconds::zero()).is_ok());
  expect_refused(fs.lock_own_file(folder / "list", file_lock::exclusive, milliseconds(50)).status(),
                 folder / "list", "another process holds it");
  reader = status::error("the reader is done");
  EXPECT_TRUE(
      fs.lock_own_file(folder / "list", file_lock::exclusive, milliseconds::zero()).is_ok());
}

}  // namespace
}  // namespace zq::platform
