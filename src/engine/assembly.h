// Joining every file of the file list file into one multi-page PDF or TIFF.
#pragma once

#include "engine/engine_settings.h"
#include "engine/report.h"

namespace zq::engine {

// True after writing the joined file; false, leaving nothing under the
// output's name, when no listed file could be read, an option failed, the
// output would replace a listed file it joins, or the write failed (each
// reported or said). Only regular files are read: anything else that is
// listed (a FIFO, a device) is passed over unopened, as an unreadable file.
bool assemble_pdf(engine_run& run, report_stream& report);
bool assemble_tiff(engine_run& run, report_stream& report);

}  // namespace zq::engine
