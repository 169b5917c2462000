// Every key of the job file, defined once: where it lives, what form its value
// takes, the engine's default and the front end's default. The engine's reader
// and the default job file both walk this table in its order, which is the
// order the engine reads the keys in.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "common/status.h"
#include "engine/engine_settings.h"

namespace zq::platform {
class ini_file;
}

namespace zq::engine {

enum class key_form { folder, flag, number, code, size, name };

// Where the engine keeps a key's value, or monostate for keys the engine reads
// at a special step (the folders, image_type) or never (the dialog's own keys).
using engine_field = std::variant<std::monostate, int job_settings::*, std::string job_settings::*>;

struct job_key {
  std::string_view section;
  std::string_view key;
  key_form form;
  engine_field field;
  // The engine's default for integer keys (text keys default to "").
  int engine_default;
  // What the front end shows, and saves, when the key is missing. nullptr: the
  // front end never writes the key.
  const char* front_end_default;
  // For a name that is written only together with its section's adjoin flag.
  bool written_with_adjoin;
};

std::span<const job_key> job_keys();

// Longest text the engine takes from a text key; a longer value is refused.
std::size_t max_value_length(key_form form);

// Step 10 of start-up: every key the engine reads into `settings`, in table
// order, through one parsed job file. Density 0 becomes 150. A text value that
// does not fit is refused with a reason naming the key.
status read_job_settings(const platform::ini_file& job_file, job_settings& settings);

// The default job file: every key the front end writes, with its front-end
// default; folders empty but the temp folder, which is `temp_path`.
status write_default_job_file(const std::string& path, const std::string& temp_path);

}  // namespace zq::engine
