// One engine run from its command line to its exit code: the run mode, the
// job file, the temp folder, the refusals, then the run itself.
#pragma once

#include <csignal>
#include <optional>
#include <string>

#include "engine/engine_settings.h"

namespace zq::engine {

// What the run needs to know of the machine, passed in so that tests can point
// the error file and the default job file at folders of their own.
struct engine_environment {
  std::string system_temp_path;  // with a trailing separator
  std::string own_folder;        // the engine's folder, with a trailing separator
  // Where the process keeps the number of a signal that asks the run to stop
  // (0 until one does); null when nothing can ask.
  const volatile std::sig_atomic_t* stop_signal = nullptr;
};

// Start-up: recreates the error file, splits the command line, chooses the run
// mode, reads the job file into the settings. Returns the settings, or nothing
// when the run was refused or ends here (the error file and `messages` say
// why, if anything).
std::optional<engine_settings> start_engine(const std::string& command_text,
                                            const engine_environment& environment,
                                            platform::file_system& files, diagnostics& messages);

// Performs one run and returns the process exit code: 0 in every case but a
// report that cannot be created or written whole (1), and a run asked to
// stop (128 + the signal's number). A run asked to stop hands over no
// further file, begins no further output (so a document being converted
// ends at its next page), writes no footer into the shared report (it did
// not finish), and leaves no working file behind.
int run_engine(const std::string& command_text, const engine_environment& environment,
               platform::file_system& files, diagnostics& messages);

}  // namespace zq::engine
