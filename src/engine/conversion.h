// Converting one source TIFF into the run's target format: read, count pages,
// build the option list, name and write each output; PSE output through a
// temporary bitmap per page and the page-segment library (pse_step.h).
#pragma once

#include <string>

#include "common/status.h"
#include "engine/engine_settings.h"
#include "engine/format_routes.h"
#include "engine/report.h"

namespace zq::engine {

// One file of a batch run: converted, not converted, or the stop result when
// it started the join of the whole file list.
converter_result convert_source_file(engine_run& run, const std::string& source,
                                     report_stream& report);

// The one file of a single-file run, into the outputs the run's target file
// names (settings.target_folder and settings.output_base_name). Converted or
// not converted.
converter_result convert_source_to_target(engine_run& run, const std::string& source,
                                          report_stream& report);

// The reason a report line gives under "cannot be read" for `path`: the
// failure's reason alone. The image library folds its description into the
// reason it gives: the file's name in quotes, or the name of the routine that
// failed, and the place in its own source that raised the error ("... `/in/a.tif'
// @ error/tiff.c/TIFFErrors/603"); libtiff starts some reasons with the file's
// name. The report names the file on the line above, so all of that goes. A
// cause that follows the quoted name ("`/in/a.tif': Permission denied") stays.
std::string unreadable_reason(const status& failure, const std::string& path);

}  // namespace zq::engine
