// INI files with the private-profile semantics the job file and the file list
// file were written for:
// - section and key names match without regard to ASCII case; the first match wins;
// - blanks around names and values are trimmed; a value wholly enclosed in one
//   pair of double or single quotes loses them; lines beginning with ';' are comments;
// - CR LF, LF and a lone CR each end a line, in any mix;
// - a missing file, section or key gives the caller's default;
// - the integer reader takes optional blanks, an optional sign and decimal digits
//   and stops at the first other character; no digit gives 0.
// A file is parsed once when loaded; reads then come from memory. Writes keep
// every other byte of the file (comments, unknown keys, order, line ends) and
// replace the file atomically (write_file_atomically), so a crash or a full
// disk never leaves a half-written job file.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/status.h"
#include "platform/file_system.h"

namespace zq::platform {

class ini_file {
 public:
  // Parses the file at `path`. A missing or unreadable file, or anything that
  // is not a regular file, loads as empty; `loaded()` tells which.
  static ini_file load(const std::string& path, file_system& fs = real_file_system());

  const std::string& path() const { return path_; }
  bool loaded() const { return loaded_; }

  // The value of the first matching key, trimmed and unquoted, or nothing.
  std::optional<std::string> find(const std::string& section, const std::string& key) const;

  // Every key of the first matching section with its value (trimmed and
  // unquoted), in file order, in one pass: for lists with many keys, where a
  // find() per key would read the file once per key.
  std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;

  // GetPrivateProfileString: the value, or `fallback` when the key is missing.
  // A present but empty value reads as "".
  std::string read_string(const std::string& section, const std::string& key,
                          const std::string& fallback = std::string()) const;

  // GetPrivateProfileInt: the value's leading integer, or `fallback` when the
  // key is missing or its value empty.
  int read_int(const std::string& section, const std::string& key, int fallback) const;

  // Sets a value in memory: replaces the first matching key in place, adds a
  // missing key at the end of its section, a missing section at the end of the
  // file. New lines end with CR LF, or with CR alone in a file whose lines all
  // end that way. A name or value with a line end in it is written as given
  // and reads back as the lines it makes. Call save() to write the file.
  void set(const std::string& section, const std::string& key, const std::string& value);

  // Writes the file atomically, keeping the permissions of the file it
  // replaces. Creates the file, never its folder.
  status save(file_system& fs = real_file_system()) const;

 private:
  std::string bytes() const;

  std::string path_;
  bool loaded_ = false;
  std::vector<std::string> lines_;  // each line with its own line end, as read
};

// WritePrivateProfileString: load, set, save in one call.
status write_profile_string(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& value);

// The integer reader alone: optional blanks, optional sign, decimal digits.
int parse_profile_int(const std::string& text);

}  // namespace zq::platform
