// The output path the front end hands to the engine for one source file:
// always flat, the target folder, the source's base name and the format's
// extension. The engine derives the names it really writes from it (page
// numbers, the reproduced source folder, joins), so nothing of that is added
// here: a path that already held the source folder would get it twice.
#pragma once

#include <string>

namespace zq {

// "<target folder>/<base name><extension>", normalised by the two-separator
// rule; ".dcx" instead of ".pcx" when `multi_file_pcx`. Empty for a format
// code outside the table (no format chosen) and for a path longer than the
// platform allows, which is never cut.
std::string flat_output_path(const std::string& target_folder, const std::string& source_path,
                             int format_code, bool multi_file_pcx);

}  // namespace zq
