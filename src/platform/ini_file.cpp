#include "platform/ini_file.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string_view>
#include <utility>

#include "common/ascii.h"
#include "platform/staged_output.h"

namespace zq::platform {

namespace {

// Windows trims all ASCII white space.
constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kCr = "\r";

std::string_view trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) {
    return std::string_view();
  }
  return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// CR LF, LF and a lone CR each end a line, as they do for the Windows calls
// (a file from an editor that ends lines with CR alone would otherwise read as
// one line, and every key as missing). Each line keeps its own line end, so
// that a save gives back every byte.
std::size_t line_end_length(std::string_view line) {
  if (line.ends_with(kCrLf)) {
    return 2;
  }
  return line.ends_with('\n') || line.ends_with('\r') ? 1 : 0;
}

void split_lines(std::string_view bytes, std::vector<std::string>& lines) {
  for (std::size_t begin = 0; begin < bytes.size();) {
    std::size_t end = bytes.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
      end = bytes.size();
    } else {
      end += bytes.compare(end, kCrLf.size(), kCrLf) == 0 ? kCrLf.size() : 1;
    }
    lines.emplace_back(bytes.substr(begin, end - begin));
    begin = end;
  }
}

// The line end a new line takes. A file whose lines end with CR alone keeps to
// it, since the editors that write such files show a CR LF as a stray
// character or an extra blank line. Every other file gets CR LF, the job
// file's own line end, which every reader of LF files takes as well.
std::string_view new_line_end(const std::vector<std::string>& lines) {
  bool lone_cr = false;
  for (const std::string& line : lines) {
    if (line.ends_with('\n')) {
      return kCrLf;
    }
    lone_cr = lone_cr || line.ends_with('\r');
  }
  return lone_cr ? kCr : kCrLf;
}

void end_line(std::string& line, std::string_view line_end) {
  if (line_end_length(line) == 0) {
    line += line_end;
  }
}

enum class line_kind { other, section, key };

struct parsed_line {
  line_kind kind = line_kind::other;
  std::string_view name;  // trimmed section or key name
  // Key lines: the value's bytes, from after the blanks that follow '=' up to
  // the line end. Replacing exactly this range keeps the key's own spelling
  // and the line end.
  std::size_t value_begin = 0;
  std::size_t value_end = 0;
};

parsed_line parse_line(std::string_view line, bool first_line) {
  parsed_line parsed;
  const std::size_t end = line.size() - line_end_length(line);
  // An editor's byte order mark must not hide a section on the first line.
  const std::size_t begin =
      first_line && line.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  const std::string_view body = trim(line.substr(begin, end - begin));
  if (body.starts_with(';')) {
    return parsed;  // a commented-out "key=value" is no key
  }
  const std::size_t close = body.rfind(']');
  if (body.starts_with('[') && close != std::string_view::npos) {
    parsed.kind = line_kind::section;
    parsed.name = trim(body.substr(1, close - 1));
    return parsed;
  }
  const std::size_t equals = line.find('=', begin);
  if (equals >= end) {
    return parsed;
  }
  parsed.kind = line_kind::key;
  parsed.name = trim(line.substr(begin, equals - begin));
  parsed.value_begin = std::min(line.find_first_not_of(kBlanks, equals + 1), end);
  parsed.value_end = end;
  return parsed;
}

struct location {
  // The first matching key of the first matching section.
  std::optional<std::size_t> key_line;
  parsed_line key;
  // The last key line of the first matching section, or its section line when
  // it has no keys: a new key goes right after it, ahead of the blank lines and
  // comments that usually introduce the next section.
  std::optional<std::size_t> last_line;
};

location locate(const std::vector<std::string>& lines, std::string_view section,
                std::string_view key) {
  location found;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const parsed_line parsed = parse_line(lines[i], i == 0);
    if (parsed.kind == line_kind::section) {
      if (found.last_line) {
        break;
      }
      if (equals_ignoring_ascii_case(parsed.name, section)) {
        found.last_line = i;
      }
    } else if (parsed.kind == line_kind::key && found.last_line) {
      found.last_line = i;
      if (equals_ignoring_ascii_case(parsed.name, key)) {
        found.key_line = i;
        found.key = parsed;
        break;
      }
    }
  }
  return found;
}

// Far beyond any job or file list file: a larger file is not one of ours and
// is not read into memory.
constexpr std::size_t kLargestFile = std::size_t{64} << 20;

}  // namespace

ini_file ini_file::load(const std::string& path, file_system& fs) {
  ini_file file;
  file.path_ = path;
  result<std::string> read = fs.read_file(path, kLargestFile);
  file.loaded_ = read.is_ok();
  if (file.loaded_) {
    split_lines(read.value(), file.lines_);
  }
  return file;
}

std::optional<std::string> ini_file::find(const std::string& section,
                                          const std::string& key) const {
  const location found = locate(lines_, section, key);
  if (!found.key_line) {
    return std::nullopt;
  }
  const std::string_view line = lines_[*found.key_line];
  return std::string(unquote(
      trim(line.substr(found.key.value_begin, found.key.value_end - found.key.value_begin))));
}

std::vector<std::pair<std::string, std::string>> ini_file::entries(
    const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> found;
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const std::string_view line = lines_[i];
    const parsed_line parsed = parse_line(line, i == 0);
    if (parsed.kind == line_kind::section) {
      if (inside) {
        break;
      }
      inside = equals_ignoring_ascii_case(parsed.name, section);
    } else if (parsed.kind == line_kind::key && inside) {
      found.emplace_back(std::string(parsed.name),
                         std::string(unquote(trim(line.substr(
                             parsed.value_begin, parsed.value_end - parsed.value_begin)))));
    }
  }
  return found;
}

std::string ini_file::read_string(const std::string& section, const std::string& key,
                                  const std::string& fallback) const {
  return find(section, key).value_or(fallback);
}

int ini_file::read_int(const std::string& section, const std::string& key, int fallback) const {
  // An empty value counts as missing, as with the Windows call: a key saved
  // without a value keeps its default.
  const std::optional<std::string> value = find(section, key);
  return value && !value->empty() ? parse_profile_int(*value) : fallback;
}

void ini_file::set(const std::string& section, const std::string& key, const std::string& value) {
  const location found = locate(lines_, section, key);
  if (found.key_line) {
    lines_[*found.key_line].replace(found.key.value_begin,
                                    found.key.value_end - found.key.value_begin, value);
  } else {
    const std::string_view line_end = new_line_end(lines_);
    std::string key_line = key + "=" + value + std::string(line_end);
    if (found.last_line) {
      end_line(lines_[*found.last_line], line_end);
      lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*found.last_line + 1),
                    std::move(key_line));
    } else {
      if (!lines_.empty()) {
        end_line(lines_.back(), line_end);
      }
      lines_.push_back("[" + section + "]" + std::string(line_end));
      lines_.push_back(std::move(key_line));
    }
  }
  // Names and values are written as given, as the Windows call writes them.
  // One with a line end in it becomes several lines in the file; split them
  // here too, so that reads answer as a reload of the saved file would.
  const auto has_line_end = [](const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
  };
  if (has_line_end(section) || has_line_end(key) || has_line_end(value)) {
    const std::string joined = bytes();
    lines_.clear();
    split_lines(joined, lines_);
  }
}

std::string ini_file::bytes() const {
  std::string joined;
  for (const std::string& line : lines_) {
    joined += line;
  }
  return joined;
}

status ini_file::save(file_system& fs) const { return write_file_atomically(fs, path_, bytes()); }

status write_profile_string(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& value) {
  ini_file file = ini_file::load(path);
  file.set(section, key, value);
  return file.save();
}

int parse_profile_int(const std::string& text) {
  std::size_t i = text.find_first_not_of(kBlanks);
  if (i == std::string::npos) {
    return 0;
  }
  const bool negative = text[i] == '-';
  if (negative || text[i] == '+') {
    ++i;
  }
  // The magnitude saturates one past INT_MAX so that INT_MIN still reads
  // exactly and longer digit runs cannot overflow.
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
  }
  return static_cast<int>(negative ? -magnitude : std::min(magnitude, kLimit - 1));
}

}  // namespace zq::platform
