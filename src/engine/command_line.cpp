#include "engine/command_line.h"

#include <array>

namespace zq::engine {
namespace {

using enum run_kind;

// letter, needed, silent, kind, job file, source, target, default job file
constexpr run_mode kNoField{'\0', 0, false, batch, 0, 0, 0, true};
constexpr run_mode kUnknownLetter{'?', 0, false, batch, 0, 0, 0, false};
constexpr std::array kRunModes = {
    run_mode{'C', 2, false, batch, 2, 0, 0, false},
    run_mode{'G', 4, true, single_file, 4, 2, 3, false},
    run_mode{'Q', 4, false, single_file, 4, 2, 3, false},
    run_mode{'P', 2, false, single_file, 0, 2, 3, true},
};

}  // namespace

std::string command_line_text(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) {
      text.push_back(' ');
    }
    text += argv[i];
  }
  return text;
}

const run_mode& choose_run_mode(const std::vector<std::string>& fields) {
  if (fields.empty()) {
    return kNoField;
  }
  for (const run_mode& mode : kRunModes) {
    if (fields.front().front() == mode.letter) {
      return mode;
    }
  }
  return kUnknownLetter;
}

std::string syntax_message(std::size_t missing, const std::vector<std::string>& fields) {
  std::string text = "Uncorrect syntax.\r\n" + std::to_string(missing) +
                     " parameter(s) missing!\r\n\r\nReceived Parameters:\r\n";
  for (const std::string& field : fields) {
    text += field + "\r\n";
  }
  return text;
}

}  // namespace zq::engine
