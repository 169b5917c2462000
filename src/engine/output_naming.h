// Where every output file of a conversion goes: folder, base name, page number
// and extension, plus the temporary bitmap of a PSE conversion. The one place
// that decides output names. Pure: the caller creates the folders above the
// output before writing it.
#pragma once

#include <string>

#include "engine/engine_settings.h"

namespace zq::engine {

struct output_names {
  std::string output;
  std::string bitmap;  // PSE only: the bitmap the page segment is made from
};

// The names for page `page_index` (1-based; -1 when all pages go into one
// file) of `source_path`, which has `page_count` pages.
//
// In a single-file run the target file has already given settings.target_folder
// and settings.output_base_name (for PSE too, so that every page of a
// multi-page source gets its own page segment beside the target); its
// extension plays no part, the file always gets its format's own extension.
// In a batch run the base name is the source's.
//
// The name carries "_<page>" only when every page is written on its own
// (extract_all set, more than one page, no adjoin for the format). With
// reproduce_path the source's whole folder is rebuilt under the target folder.
// The PSE bitmap goes into the run's work folder (the temp folder when the
// run has none), shaped like the output name.
//
// An empty output means no file may be written, and the caller reports the
// source as not converted: settings.format_code names no format, or a path
// would be longer than zq::kMaxPathLength (never cut).
output_names build_output_path(const engine_settings& settings, int page_count, int page_index,
                               const std::string& source_path);

}  // namespace zq::engine
