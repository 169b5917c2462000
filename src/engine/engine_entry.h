// One engine run from its command line to its exit code: the run mode, the
// job file, the temp folder, the refusals, then the run itself.
#pragma once

#include <optional>
#include <string>

#include "engine/engine_settings.h"

namespace zq::engine {

// What the run needs to know of the machine, passed in so that tests can point
// the error file and the default job file at folders of their own.
struct engine_environment {
  std::string system_temp_path;  // with a trailing separator
  std::string own_folder;        // the engine's folder, with a trailing separator
};

// Start-up: recreates the error file, splits the command line, chooses the run
// mode, reads the job file into the settings. Returns the settings, or nothing
// when the run was refused or ends here (the error file and `messages` say
// why, if anything).
std::optional<engine_settings> start_engine(const std::string& command_text,
                                            const engine_environment& environment,
                                            platform::file_system& files, diagnostics& messages);

// Performs one run and returns the process exit code: 0 in every case but a
// shared report that cannot be created (1).
int run_engine(const std::string& command_text, const engine_environment& environment,
               platform::file_system& files, diagnostics& messages);

}  // namespace zq::engine
