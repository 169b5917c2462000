// The output path the front end hands to the engine for one source file, and
// the folders that will hold it.
#pragma once

#include <string>

#include "gui/core/dialog_settings.h"
#include "platform/file_system.h"

namespace zq::gui {

// The flat output path of `source` for the run (target folder, base name,
// the format's extension; ".dcx" for a multi-file PCX), after creating every
// folder above it through `files`, so that a target folder removed since the
// check is there again before the engine starts. Empty, and nothing created,
// when no format is chosen or the path would be longer than the platform
// allows; the engine then gets too few fields and converts nothing.
std::string compute_output_path(const run_settings& run, const std::string& source,
                                platform::file_system& files = platform::real_file_system());

}  // namespace zq::gui
