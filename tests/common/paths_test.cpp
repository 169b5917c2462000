#include "common/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace zq {
namespace {

// The examples are written as Windows users write them; the helpers run them
// with this platform's separator.
std::string sep(std::string path) {
  std::replace(path.begin(), path.end(), '\\', kPathSeparator);
  return path;
}

TEST(NormalizePath, CollapsesEveryRunOfSeparators) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"a", "a"},
      {"\\\\out\\\\\\new\\", "\\out\\new\\"},
      {"C:\\tmp\\\\error.txt", "C:\\tmp\\error.txt"},
      {"\\\\srv\\share", "\\srv\\share"},  // the leading pair collapses too
      {"a\\\\\\\\", "a\\"},
  };
  for (const auto& c : cases) {
    std::string path = sep(c.in);
    EXPECT_EQ(normalize_path(path), std::string(c.out).size()) << c.in;
    EXPECT_EQ(path, sep(c.out)) << c.in;
  }
}

TEST(NormalizeUncPath, KeepsLeadingPairCollapsesTheRestAndUpperCases) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"\\\\srv\\share\\in\\a.tif", "\\\\SRV\\SHARE\\IN\\A.TIF"},
      {"\\\\srv\\\\share\\\\\\in", "\\\\SRV\\SHARE\\IN"},
      {"\\\\\\srv\\x", "\\\\SRV\\X"},  // a separator right after the pair is dropped
      {"\\\\d:\\out\\\\new", "\\\\D:\\OUT\\NEW"},
      {"\\\\\xc3\xa9t\xc3\xa9", "\\\\\xc3\xa9T\xc3\xa9"},  // only ASCII letters change
      {"\\\\", "\\\\"},
  };
  for (const auto& c : cases) {
    std::string path = sep(c.in);
    normalize_unc_path(path);
    EXPECT_EQ(path, sep(c.out)) << c.in;
  }
}

TEST(NormalizeByRule, NeverChangesCaseOnThisPlatform) {
  std::string path = "//srv//Share/a.TIF";
  normalize_by_rule(path);
  EXPECT_EQ(path, "/srv/Share/a.TIF");
}

TEST(PathPieces, SplitAtTheLastSeparatorAndTheLastDot) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
    const char* base;
    const char* extension;
  } cases[] = {
      {"/in/sub/a.b.tif", "/in/sub/", "a.b.tif", "a.b", ".tif"},
      {"/in.d/noext", "/in.d/", "noext", "noext", ""},
      {"a.TIFF", "", "a.TIFF", "a", ".TIFF"},
      {"/x/", "/x/", "", "", ""},
      {"/x/.hidden", "/x/", ".hidden", "", ".hidden"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(folder_of(c.path), c.folder) << c.path;
    EXPECT_EQ(file_name_of(c.path), c.name) << c.path;
    EXPECT_EQ(base_name_of(c.path), c.base) << c.path;
    EXPECT_EQ(extension_of(c.path), c.extension) << c.path;
  }
}

}  // namespace
}  // namespace zq
