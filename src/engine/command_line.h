// The engine's side of its command line: the text it is given and the run
// mode its first field chooses. Splitting it is shared with the front end
// (jobfile/engine_command.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jobfile/engine_command.h"

namespace zq::engine {

// The text after the program name: the arguments joined with single blanks, so
// one quoted argument and an unquoted shell call give the same text.
std::string command_line_text(int argc, const char* const* argv);

enum class run_kind { batch, single_file };

// One row of the run-mode table.
struct run_mode {
  char letter;  // '\0': the command line held no field
  std::size_t fields_needed;
  bool silent_when_short;  // too few fields end the run without a word
  run_kind kind;
  // 1-based field numbers; 0 when the mode takes no such field.
  std::size_t job_file_field;
  std::size_t source_field;
  std::size_t target_field;
  bool uses_default_job_file;
};

// The row for the first field's first character, compared case-sensitively.
// Unknown letters give a batch run with no job file at all.
const run_mode& choose_run_mode(const std::vector<std::string>& fields);

// The syntax message for a command line with too few fields.
std::string syntax_message(std::size_t missing, const std::vector<std::string>& fields);

}  // namespace zq::engine
