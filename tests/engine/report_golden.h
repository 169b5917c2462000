// Golden report bytes: the date and time of a block vary from run to run, so
// tests compare reports with every date replaced by "<date>".
#pragma once

#include <string>
#include <string_view>

namespace zq::engine::testing {

inline const std::string kRule(81, '-');

inline std::string mask_dates(const std::string& report) {
  // 'A' an upper-case letter, 'a' a lower-case one, '0' a digit, others as they are.
  static constexpr std::string_view kShape = "Aaa Aaa 00 00:00:00 0000";
  auto is_date_at = [&](std::size_t at) {
    for (std::size_t i = 0; i < kShape.size(); ++i) {
      const char c = report[at + i];
      const bool fits = kShape[i] == 'A'   ? c >= 'A' && c <= 'Z'
                        : kShape[i] == 'a' ? c >= 'a' && c <= 'z'
                        : kShape[i] == '0' ? c >= '0' && c <= '9'
                                           : c == kShape[i];
      if (!fits) {
        return false;
      }
    }
    return true;
  };
  std::string masked;
  std::size_t at = 0;
  while (at < report.size()) {
    if (at + kShape.size() <= report.size() && is_date_at(at)) {
      masked += "<date>";
      at += kShape.size();
    } else {
      masked += report[at++];
    }
  }
  return masked;
}

inline std::string golden_footer(unsigned count) {
  return kRule + "\r\n\r\nprocess finished\r\n<date>\r\nconverted files: " + std::to_string(count) +
         "\r\n";
}

}  // namespace zq::engine::testing
