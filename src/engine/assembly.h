// Joining every file of the file list file into one multi-page PDF or TIFF.
#pragma once

#include "engine/engine_settings.h"
#include "engine/report.h"

namespace zq::engine {

// True after writing the joined file; false when no listed file could be
// read, an option failed, or the write failed (each reported).
bool assemble_pdf(engine_run& run, report_stream& report);
bool assemble_tiff(engine_run& run, report_stream& report);

}  // namespace zq::engine
