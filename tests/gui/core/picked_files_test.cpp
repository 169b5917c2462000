#include "gui/core/picked_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "../../platform/test_folder.h"
#include "launch_test_support.h"

namespace zq::gui {
namespace {

using platform::test_folder;
using strings = std::vector<std::string>;

// The paths below `prefix`, in order.
strings below(const std::vector<std::string>& paths, const std::string& prefix) {
  strings relative;
  for (const std::string& path : paths) {
    relative.push_back(path.substr(prefix.size() + 1));
  }
  return relative;
}

// Opening files: the rows put the newest on top, the list keeps the order of
// adding; only names that pass the TIFF test are listed, once whatever their case.
TEST(FilePicker, OpeningListsTiffFilesOnce) {
  test_folder folder;
  for (const char* name : {"a.tif", "b.TIFF", "x.tifx", "x.ti", "x.tf", "noext", "c.Tif"}) {
    make_file(folder / name, 10);
  }
  make_file(folder / "empty.tif", 0);
  picked_file_list list;
  picked_rows rows;
  file_picker picker(list, &rows);

  EXPECT_TRUE(picker.add_opened_files(folder.path(), {"a.tif", "b.TIFF"}).empty());
  EXPECT_EQ(below(rows.paths(), folder.path()), (strings{"b.TIFF", "a.tif"}));
  EXPECT_EQ(below(list, folder.path()), (strings{"a.tif", "b.TIFF"}));

  picker.add_opened_files(folder.path(), {"x.tifx", "x.ti", "x.tf", "noext", "A.TIF", "B.tiff"});
  EXPECT_TRUE(picker.add_opened_files("/elsewhere", {folder / "c.Tif", folder / "C.TIF"}).empty());
  picker.add_opened_files(folder.path(), {"empty.tif"});
  EXPECT_EQ(below(list, folder.path()),
            (strings{"a.tif", "b.TIFF", "x.tifx", "c.Tif", "empty.tif"}));
  EXPECT_EQ(rows.size(), list.size());
  EXPECT_EQ(rows[0].size, 0u) << "an empty file opened on its own is listed";
  EXPECT_EQ(picker.find_listed_file(folder / "X.TIFX"), 2);
  EXPECT_EQ(picker.find_listed_file(folder / "x.ti"), -1);

  // What cannot be listed is named with the reason; the rest goes in.
  const std::vector<status> refused =
      picker.add_opened_files(folder.path(), {"gone.tif", "late.tif"});
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused[0].reason(),
            "Cannot add " + (folder / "gone.tif") + ": it cannot be found or read");
  EXPECT_EQ(list.size(), 5u);
}

TEST(FilePicker, FlatAndTreeWalks) {
  test_folder folder;
  const std::string root = folder / "scans";
  make_file(root + "/a.tif", 5);
  make_file(root + "/m/s.tif", 5);
  make_file(root + "/m/deeper/t.TIFF", 5);
  make_file(root + "/n.tifx", 5);
  make_file(root + "/n.txt", 5);
  make_file(root + "/zero.tif", 0);
  make_file(root + "/.hidden.tif", 5);
  make_file(root + "/.dot/d.tif", 5);
  std::filesystem::create_directory_symlink(root + "/m", root + "/link");
  std::filesystem::create_directory_symlink(root + "/m", root + "/link.tif");

  const struct {
    bool tree;
    bool picker_open;
    strings listed;
  } cases[] = {
      {false, true, {"a.tif", "n.tifx"}},
      {true, true, {"a.tif", "m/deeper/t.TIFF", "m/s.tif", "n.tifx"}},
      // The launch lists the source folder the same way with the picker closed.
      {true, false, {"a.tif", "m/deeper/t.TIFF", "m/s.tif", "n.tifx"}},
  };
  for (const auto& c : cases) {
    picked_file_list list;
    picked_rows rows;
    file_picker picker(list, c.picker_open ? &rows : nullptr);
    const std::size_t added =
        c.tree ? picker.add_folder_tree_files(root + "/") : picker.add_folder_files(root);
    EXPECT_EQ(below(list, root), c.listed) << c.tree;
    EXPECT_EQ(added, c.listed.size());
    EXPECT_EQ(rows.size(), c.picker_open ? c.listed.size() : 0u);
    // A second walk finds everything listed already.
    if (c.picker_open) {
      EXPECT_EQ(picker.add_folder_tree_files(root), c.tree ? 0u : 2u);
    }
  }

  picked_file_list list;
  file_picker picker(list, nullptr);
  EXPECT_EQ(picker.add_folder_tree_files(folder / "no such folder"), 0u);
}

TEST(PickedRows, SortsAscendingByEachColumn) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  test_folder folder;
  // 01/15/2007 10:00 and 02/01/2006 09:00 and 03/07/2006 14:05, in UTC.
  make_file(folder / "b.tif", 300, 1168855200);
  make_file(folder / "A.tif", 20, 1138784400);
  make_file(folder / "c.tif", 10, 1141740300);
  picked_file_list list;
  picked_rows rows;
  file_picker picker(list, &rows);
  picker.add_opened_files(folder.path(), {"c.tif", "b.tif", "A.tif"});
  EXPECT_EQ(rows[0].date, "02/01/2006 09:00");
  EXPECT_EQ(rows[2].date, "03/07/2006 14:05");

  const struct {
    picked_column column;
    strings order;
  } cases[] = {
      {picked_column::size, {"c.tif", "A.tif", "b.tif"}},
      {picked_column::file, {"A.tif", "b.tif", "c.tif"}},
      {picked_column::date, {"A.tif", "c.tif", "b.tif"}},  // 2006 before 2007
      {picked_column::size, {"c.tif", "A.tif", "b.tif"}},
  };
  for (const auto& c : cases) {
    rows.sort(c.column);
    EXPECT_EQ(below(rows.paths(), folder.path()), c.order) << static_cast<int>(c.column);
  }
  EXPECT_EQ(below(list, folder.path()), (strings{"c.tif", "b.tif", "A.tif"}))
      << "the list keeps the order of adding";
  ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace zq::gui
