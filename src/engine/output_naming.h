// Where every output file of a conversion goes: folder, base name, page number
// and extension, plus the temporary bitmap of a PSE conversion. The one place
// that decides output names; the conversion calls it once per file it writes,
// before writing, because it also creates the folders.
#pragma once

#include <string>

#include "engine/engine_settings.h"

namespace zq::engine {

// Builds the path of the file to write for page `page_index` (1-based; -1 when
// all pages go into one file) of `source_path`, which has `page_count` pages.
//
// `explicit_target` is the target file named on a single-file run's command
// line, or nullptr. Its folder replaces settings.target_folder for the rest of
// the run and its base name replaces the source's (for PSE too, so that every
// page of a multi-page source gets its own page segment beside the target);
// its extension plays no part, the file always gets its format's own extension.
//
// The name carries "_<page>" only when every page is written on its own
// (extract_all set, more than one page, no adjoin for the format). With
// reproduce_path the source's whole folder is rebuilt under the target folder.
// For PSE, settings.pse_bitmap_file receives the bitmap's path in the temp
// folder, shaped like the output name.
//
// The folders above the returned path are created (failures are ignored; a
// folder that cannot be made shows up as a write failure).
//
// An empty result means no file may be written, and the caller reports the
// source as not converted:
//  - settings.format_code names no format (nothing is created);
//  - the output path or the PSE bitmap path would be longer than
//    zq::kMaxPathLength; such a path is never cut, nothing is created and,
//    for PSE, settings.pse_bitmap_file is emptied so no stale bitmap is used.
std::string build_output_path(engine_settings& settings, int page_count, int page_index,
                              const std::string& source_path, const std::string* explicit_target);

}  // namespace zq::engine
