// Joining every file of the file list file into one multi-page PDF or TIFF.
#pragma once

#include "engine/engine_settings.h"
#include "engine/report.h"

namespace zq::engine {

// Return 1 after writing the joined file, 0 when no listed file could be read,
// an option failed, or the write failed (each reported).
int assemble_pdf(engine_settings& settings, report_stream& report);
int assemble_tiff(engine_settings& settings, report_stream& report);

}  // namespace zq::engine
