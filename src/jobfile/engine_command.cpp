#include "jobfile/engine_command.h"

namespace zq {

std::string single_file_command(const std::string& source, const std::string& target,
                                const std::string& job_file) {
  std::string text = "G";
  for (const std::string* field : {&source, &target, &job_file}) {
    text += kFieldSeparator;
    text += *field;
  }
  return text;
}

std::vector<std::string> split_command_line(std::string_view text) {
  if (!text.empty() && text.front() == '"') {
    text.remove_prefix(1);
  }
  if (!text.empty() && text.back() == '"') {
    text.remove_suffix(1);
  }
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start <= text.size() && fields.size() < kMaxFields) {
    const std::size_t bar = text.find(kFieldSeparator, start);
    const std::size_t end = bar == std::string_view::npos ? text.size() : bar;
    if (end > start) {
      fields.emplace_back(text.substr(start, end - start));
    }
    if (bar == std::string_view::npos) {
      break;
    }
    start = bar + 1;
  }
  return fields;
}

}  // namespace zq
