// Converting one source TIFF into the run's target format: read, count pages,
// build the option list, name and write each output; PSE output through a
// temporary bitmap and the page-segment library.
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

// Turns the temporary bitmap of a PSE conversion into the page segment at
// `output` (text after a comma in either path is handed to the library as
// options). Returns 1 or 0; a failed write leaves no output file.
int convert_bitmap_to_pse(const engine_settings& settings, const std::string& bitmap,
                          const std::string& output);

}  // namespace zq::engine
