// ASCII-only case folding for names matched the Windows way (INI sections and
// keys, find patterns, extensions). The C library's tolower() would follow the
// locale the front end sets, and names here are bytes, not characters.
#pragma once

#include <cstddef>
#include <string_view>

namespace zq {

inline unsigned char ascii_lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

inline bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace zq
