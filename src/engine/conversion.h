// Converting one source TIFF into the run's target format: read, count pages,
// build the option list, name and write each output; PSE output through a
// temporary bitmap per page and the page-segment library (pse_step.h).
#pragma once

#include <string>

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

}  // namespace zq::engine
