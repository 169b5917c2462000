// Converting one source TIFF into the run's target format: read, count pages,
// build the option list, name and write each output; PSE output through a
// temporary bitmap per page and the page-segment library (pse_step.h).
#pragma once

#include <string>

#include "engine/engine_settings.h"
#include "engine/report.h"

namespace zq::engine {

// What a converter tells the batch walk.
enum converter_result : int {
  kNotConverted = 0,  // the reason is in the report already
  kConverted = 1,
  kStopResult = -1,  // a join consumed the whole file list: the walk ends
};

// One file of a batch run. Returns kConverted, kNotConverted or kStopResult.
int convert_source_file(engine_settings& settings, const std::string& source,
                        report_stream& report);

// The one file of a single-file run, into the named target. Returns kConverted
// or kNotConverted.
int convert_source_to_target(engine_settings& settings, const std::string& source,
                             const std::string& target, report_stream& report);

}  // namespace zq::engine
