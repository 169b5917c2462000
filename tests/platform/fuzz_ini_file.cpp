// libFuzzer target for the INI module. The input's first line names what to
// touch, "section|key|value|section2|key2"; the rest is the file. Checked on
// every input: a load and an unchanged save give back the same bytes; a value
// that is set reads back, in memory and after save and reload, and one without
// a line end leaves every other key as it was; an integer written as text
// reads back as itself.
// A violation aborts, as a sanitizer finding does.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "platform/ini_file.h"

namespace {

using zq::platform::ini_file;
using zq::equals_ignoring_ascii_case;

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "ini_file: %s: %s\n", what, detail.c_str());
  std::abort();
}

// One file in a folder of its own, removed when the run ends.
const std::string& job_path() {
  static std::string folder;
  static const std::string path = [] {
    folder = (std::filesystem::temp_directory_path() / "zq-fuzz-ini-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
      fail("cannot create a folder", folder);
    }
    std::atexit([] { std::filesystem::remove_all(folder); });
    return folder + "/job.ini";
  }();
  return path;
}

void write_bytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    fail("cannot write", path);
  }
}

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr std::string_view kBlanks = " \t\r\v\f";

bool has_outer_blank(std::string_view text) {
  return !text.empty() && (kBlanks.find(text.front()) != std::string_view::npos ||
                           kBlanks.find(text.back()) != std::string_view::npos);
}

bool has_line_end(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Names a caller can write and find again: one line (CR, LF and CR LF all end
// one), no blanks at the ends, and a key that cannot be read as a comment, a
// section or a key with "=".
bool is_writable_section(std::string_view name) {
  return !name.empty() && !has_line_end(name) && !has_outer_blank(name);
}

bool is_writable_key(std::string_view name) {
  return is_writable_section(name) && name.find('=') == std::string_view::npos &&
         name.front() != ';' && name.front() != '[';
}

// A value that reads back as written: one line, no blanks at the ends, not
// wholly enclosed in quotes.
bool is_plain_value(std::string_view value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return !has_line_end(value) && !has_outer_blank(value) && !quoted;
}

std::vector<std::string> split_header(std::string_view header) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; parts.size() < 5;) {
    const std::size_t bar = header.find('|', start);
    parts.emplace_back(header.substr(start, bar - start));
    if (bar == std::string_view::npos) {
      break;
    }
    start = bar + 1;
  }
  parts.resize(5);
  return parts;
}

std::string describe(const std::optional<std::string>& value) {
  return value ? "\"" + *value + "\"" : "(missing)";
}

void expect_same(const char* what, const std::optional<std::string>& got,
                 const std::optional<std::string>& expected) {
  if (got != expected) {
    fail(what, describe(got) + " instead of " + describe(expected));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  if (newline == std::string_view::npos) {
    return 0;
  }
  const std::vector<std::string> names = split_header(input.substr(0, newline));
  const std::string& section = names[0];
  const std::string& key = names[1];
  const std::string& value = names[2];
  const std::string& other_section = names[3];
  const std::string& other_key = names[4];
  const std::string_view bytes = input.substr(newline + 1);
  const std::string& path = job_path();

  write_bytes(path, bytes);
  ini_file file = ini_file::load(path);
  if (!file.loaded()) {
    fail("not loaded", path);
  }
  if (!file.save().is_ok() || read_bytes(path) != bytes) {
    fail("an unchanged save changed the file", path);
  }
  if (!is_writable_section(section) || !is_writable_key(key)) {
    return 0;
  }

  const bool same_key = equals_ignoring_ascii_case(section, other_section) &&
                        equals_ignoring_ascii_case(key, other_key);
  const std::optional<std::string> other_before = file.find(other_section, other_key);
  file.set(section, key, value);
  const std::optional<std::string> written = file.find(section, key);
  if (is_plain_value(value)) {
    expect_same("value set", written, value);
  }
  // A value with a line end in it writes lines of its own, which may well be
  // other keys and sections.
  if (!same_key && !has_line_end(value)) {
    expect_same("other key after set", file.find(other_section, other_key), other_before);
  }

  if (!file.save().is_ok()) {
    fail("save failed", path);
  }
  const ini_file reloaded = ini_file::load(path);
  expect_same("value after reload", reloaded.find(section, key), written);
  expect_same("other key after reload", reloaded.find(other_section, other_key),
              file.find(other_section, other_key));

  // Any 32-bit integer, INT_MIN included, survives its decimal text.
  std::int32_t number = 0;
  std::memcpy(&number, value.data(), std::min(value.size(), sizeof number));
  file.set(section, key, std::to_string(number));
  const int read = file.read_int(section, key, number == 7 ? 8 : 7);
  if (read != number) {
    fail("integer", std::to_string(read) + " instead of " + std::to_string(number));
  }
  return 0;
}
