// libFuzzer target for the command-line splitter and the run-mode choice.
// Checked on every input: at most ten fields, none empty, none holding the
// separator, and the fields are the text's own pieces in their order, apart
// from the separators and one pair of outer quotes. A violation aborts, as a
// sanitizer finding does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/command_line.h"

namespace {

void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "split_command_line: %s in \"%.*s\"\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> fields = zq::split_command_line(text);
  if (fields.size() > zq::kMaxFields) {
    fail("more than ten fields", text);
  }

  // Walk the text as the fields describe it: separators, a field, separators,
  // the next field... With fewer than ten fields nothing but separators and
  // the closing quote may follow the last one.
  std::string_view rest = text;
  if (rest.starts_with('"')) {
    rest.remove_prefix(1);
  }
  if (rest.ends_with('"')) {
    rest.remove_suffix(1);
  }
  for (const std::string& field : fields) {
    if (field.empty()) {
      fail("an empty field", text);
    }
    if (field.find('|') != std::string::npos) {
      fail("a separator inside a field", text);
    }
    const std::size_t start = rest.find_first_not_of('|');
    if (start == std::string_view::npos || !rest.substr(start).starts_with(field)) {
      fail("a field that is not the next piece of the text", text);
    }
    rest.remove_prefix(start + field.size());
    if (!rest.empty() && rest.front() != '|') {
      fail("a field cut short", text);
    }
  }
  if (fields.size() < zq::kMaxFields && rest.find_first_not_of('|') != std::string_view::npos) {
    fail("a piece of the text left out", text);
  }

  const zq::engine::run_mode& mode = zq::engine::choose_run_mode(fields);
  if (fields.empty() ? mode.letter != '\0' : mode.letter == '\0') {
    fail("a run mode that does not fit the fields", text);
  }
  if (fields.size() < mode.fields_needed) {
    const std::string message =
        zq::engine::syntax_message(mode.fields_needed - fields.size(), fields);
    for (const std::string& field : fields) {
      if (message.find(field + "\r\n") == std::string::npos) {
        fail("a received field missing from the syntax message", text);
      }
    }
  }
  return 0;
}
