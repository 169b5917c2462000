// Loading a job file into the dialog's values, checking them, and saving them
// back; and the values a launch needs. Every section and key comes from the
// shared key table (jobfile/job_keys.h); this module only knows which control
// holds which key and the order in which the front end writes and checks.
//
// The checks run between the writes: a save refused half-way has written
// exactly the keys before the failed check, and the job file on disk then
// holds them, as if each key had been written on its own. The writes go
// through the INI module, which keeps every byte it does not set (comments,
// unknown keys, the engine-only keys) and replaces the file whole.
#pragma once

#include <optional>
#include <string>

#include "common/status.h"
#include "gui/core/dialog_values.h"
#include "gui/core/user_dialogs.h"
#include "platform/file_system.h"

namespace zq::gui {

// What a launch needs, filled by collect_run_settings.
struct run_settings {
  std::string source_folder;  // as typed
  std::string temp_folder;    // after the folder check: normalised, created
  std::string target_folder;  // likewise
  int format_code = kNoSelection;
  bool multi_file_pcx = false;
  bool recursive = false;

  bool operator==(const run_settings&) const = default;
};

// Sets every control of `values` from the job file at `path`, parsed once;
// a missing key (and a missing file) gives the control its front-end default,
// the temp folder the system temporary path. The system temporary path comes
// from `files`.
void load_job_file(const std::string& path, dialog_values& values,
                   platform::file_system& files = platform::real_file_system());

enum class save_result {
  saved,        // every check passed and every key is on disk
  refused,      // a check failed or a question was declined; `refused` says which
  not_written,  // the job file could not be written; `failure` names it and says why
};

struct save_outcome {
  save_result result = save_result::saved;
  std::optional<refusal> refused;
  status failure = status::ok();

  bool saved() const { return result == save_result::saved; }
};

// Checks and writes `values` into the job file at `path`. A refusal is
// carried out through `ui` (and returned); so is a write that failed, as an
// error box naming the file and the reason. The folder checks ask `ui`
// whether to create a missing folder and create it through `files`. A job
// file the user has made read-only is not replaced.
save_outcome save_job_file(const dialog_values& values, const std::string& path, user_dialogs& ui,
                           platform::file_system& files = platform::real_file_system());

// The checks of save_job_file, in its order and with its refusals and folder
// questions, writing nothing; the values a launch needs, or nothing after a
// refusal (already carried out through `ui`).
std::optional<run_settings> collect_run_settings(
    const dialog_values& values, user_dialogs& ui,
    platform::file_system& files = platform::real_file_system());

// A number field's text as the job file gets it: leading blanks, then the
// decimal digits up to the first other character; no digit gives 0 (letters
// typed into the JPEG quality field save as 0). Larger values than a signed
// 32-bit number holds are clamped, so "%d" never writes a negative or wrapped
// value, whatever was pasted into a field.
int field_number(const std::string& text);

}  // namespace zq::gui
