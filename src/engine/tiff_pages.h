// TIFF pages handled as encoded data, through libtiff: joining files into one
// multi-page TIFF, and finding Group 4 data that can go into a PDF unchanged.
// Nothing here decodes or re-encodes pixels, so the cost is file copying,
// whatever the number of pages, and memory stays at one strip at a time.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "engine/pdf_pages.h"

namespace zq::platform {
class file_system;
}

namespace zq::engine {

// Writes every page of `inputs`, in order, into `output` (created or replaced;
// the caller writes to a temporary name and renames). Each page gets its
// position and the total in its page-number tag, as an adjoined write does.
// Fails, naming the file and the library's reason, when an input cannot be
// read or the output cannot be written; the output is then incomplete and
// the caller removes it. libtiff reads and writes the files by name; `files`
// answers what is asked of them beside that.
status join_tiff_files(platform::file_system& files, const std::vector<std::string>& inputs,
                       const std::string& output);

// Number of pages of a TIFF file as libtiff reads it; 0 when it cannot be read.
std::size_t tiff_page_count(const std::string& tiff_file);

// A page's resolution tags; 0 when the page has none (a reader then uses its
// own reading density).
struct tiff_resolution {
  double x = 0;
  double y = 0;
  bool per_centimetre = false;
};

// The Group 4 data of page `page_index` (0-based) of `tiff_file`, when it can
// be embedded in a PDF as it stands: one bilevel sample, Group 4, one strip,
// most significant bit first, both resolution tags or neither. Returns false
// for every other page, and for a file or page that cannot be read. The page's
// layout resolution is left to the caller; `resolution` receives its tags.
bool find_embeddable_g4(platform::file_system& files, const std::string& tiff_file, int page_index,
                        ccitt_page& page, tiff_resolution& resolution);

}  // namespace zq::engine
