// Joins single-page files that ImageMagick wrote into one multi-image DCX or
// GIF file, copying the encoded pages as they stand, so that a document of any
// length is written with one page in memory at a time. Every file is read and
// written through `files`.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"

namespace zq::platform {
class file_system;
}

namespace zq::engine {

// DCX: a directory of page offsets followed by the PCX pages. At most 1023
// pages fit the directory; more is refused.
status join_dcx_files(platform::file_system& files, const std::vector<std::string>& pcx_pages,
                      const std::string& output);

// GIF: every frame of every input in order, each keeping its own colour table
// (the inputs' global tables become the frames' local ones), after one logical
// screen as large as the largest frame and the loop extension that multi-image
// GIFs carry.
status join_gif_files(platform::file_system& files, const std::vector<std::string>& gif_pages,
                      const std::string& output);

}  // namespace zq::engine
