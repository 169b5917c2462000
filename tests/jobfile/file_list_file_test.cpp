#include "jobfile/file_list_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "../platform/test_folder.h"
#include "platform/file_system.h"

namespace zq {
namespace {

using platform::read_bytes;
using platform::test_folder;
using platform::write_bytes;
using paths = std::vector<std::string>;

// Blanks, '=' signs and bytes that are not UTF-8 are all plain path bytes.
const paths kAwkwardPaths = {"/in/two  blanks/a b.tif", "/in/x=y/a==b.tif",
                             "/in/\xe9t\xe9/\xff\xfe.tif"};

// The picker replaces whatever was there, a longer list included.
TEST(FileListFile, PickerWritesTheWholeFile) {
  test_folder folder;
  const std::string list = folder / kFileListName;
  write_bytes(list, file_list_text({"/old/0.tif", "/old/1.tif", "/old/2.tif", "/old/3.tif"}));
  ASSERT_TRUE(write_file_list_file(platform::real_file_system(), list, kAwkwardPaths).is_ok());
  EXPECT_EQ(read_bytes(list),
            "[FILES]\r\n0=/in/two  blanks/a b.tif\r\n1=/in/x=y/a==b.tif\r\n"
            "2=/in/\xe9t\xe9/\xff\xfe.tif\r\n");
  ASSERT_TRUE(write_file_list_file(platform::real_file_system(), list, {}).is_ok());
  EXPECT_EQ(read_bytes(list), "[FILES]\r\n");
  EXPECT_EQ(folder.names(), (std::set<std::string>{kFileListName}));

  const std::string nowhere = folder / "missing/z.log";
  const status refused = write_file_list_file(platform::real_file_system(), nowhere, {"/a.tif"});
  EXPECT_FALSE(refused.is_ok());
  EXPECT_NE(refused.text().find(nowhere), std::string::npos) << refused.text();
}

// The engine's writer sets its keys and leaves the rest of an earlier file
// alone: keys beyond its last one stay and are read as part of the list.
TEST(FileListFile, EngineWriterKeepsLaterKeysOfAnEarlierWriter) {
  test_folder folder;
  const std::string list = folder / kFileListName;
  write_bytes(list, "[FILES]\r\n0=/old/0.tif\r\n1=/old/1.tif\r\n2=/old/2.tif\r\n");
  ASSERT_TRUE(update_file_list_file(list, {"/new/0.tif", "/new/1.tif"}).is_ok());
  EXPECT_EQ(read_bytes(list), "[FILES]\r\n0=/new/0.tif\r\n1=/new/1.tif\r\n2=/old/2.tif\r\n");
  EXPECT_EQ(read_file_list_file(list), (paths{"/new/0.tif", "/new/1.tif", "/old/2.tif"}));

  ASSERT_TRUE(update_file_list_file(list, {}).is_ok());
  EXPECT_EQ(read_bytes(list), "[FILES]\r\n0=/new/0.tif\r\n1=/new/1.tif\r\n2=/old/2.tif\r\n");

  const std::string fresh = folder / "fresh.log";
  ASSERT_TRUE(update_file_list_file(fresh, {}).is_ok());
  EXPECT_EQ(folder.names(), (std::set<std::string>{kFileListName}));
  ASSERT_TRUE(update_file_list_file(fresh, {"/a.tif"}).is_ok());
  EXPECT_EQ(read_bytes(fresh), "[FILES]\r\n0=/a.tif\r\n");
}

TEST(FileListFile, ReaderTakesKeysFromZeroUntilTheFirstGap) {
  test_folder folder;
  const std::string list = folder / kFileListName;
  EXPECT_EQ(read_file_list_file(list), paths{}) << "no file";
  const struct {
    std::string body;
    paths expected;
  } cases[] = {
      {"", {}},
      {"[FILES]\r\n", {}},
      {"[FILES]\r\n1=/b\r\n2=/c\r\n", {}},
      {"[FILES]\r\n0=/a\r\n1=/b\r\n3=/d\r\n", {"/a", "/b"}},
      {"[FILES]\r\n0=/a\r\n1=\r\n2=/c\r\n", {"/a"}},
      {"[FILES]\r\n1=/b\r\n0=/a\r\n", {"/a", "/b"}},
      {"[FILES]\r\n0=/a\r\n0=/x\r\n1=/b\r\n", {"/a", "/b"}},
      {"; picked\n[files]\n0=/a\n", {"/a"}},
      {"[OTHER]\r\n0=/x\r\n[FILES]\r\n0=/a\r\n[NEXT]\r\n1=/b\r\n", {"/a"}},
  };
  for (const auto& c : cases) {
    write_bytes(list, c.body);
    EXPECT_EQ(read_file_list_file(list), c.expected) << c.body;
  }
}

TEST(FileListFile, EveryWriterRoundTripsAwkwardPaths) {
  test_folder folder;
  const std::string list = folder / kFileListName;
  ASSERT_TRUE(write_file_list_file(platform::real_file_system(), list, kAwkwardPaths).is_ok());
  EXPECT_EQ(read_file_list_file(list), kAwkwardPaths);

  const std::string updated = folder / "updated.log";
  ASSERT_TRUE(update_file_list_file(updated, kAwkwardPaths).is_ok());
  EXPECT_EQ(read_bytes(updated), file_list_text(kAwkwardPaths));
  EXPECT_EQ(read_file_list_file(updated), kAwkwardPaths);
}

}  // namespace
}  // namespace zq
