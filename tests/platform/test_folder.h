// A fresh folder for each test, removed with everything in it afterwards, and
// the byte-level file helpers the platform tests compare with.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace zq::platform {

class test_folder {
 public:
  test_folder() {
    std::string name = ::testing::TempDir() + "zq_platform_XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed for " << name;
    }
    path_ = name;
  }
  ~test_folder() { std::filesystem::remove_all(path_); }
  test_folder(const test_folder&) = delete;
  test_folder& operator=(const test_folder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // The names in the folder: a temporary left behind shows up here.
  std::set<std::string> names() const {
    std::set<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      result.insert(entry.path().filename().string());
    }
    return result;
  }

 private:
  std::string path_;
};

inline void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace zq::platform
