// The page-segment step of a PSE conversion: the temporary bitmap that the
// image library wrote becomes the page segment, through the bitmap library.
#pragma once

#include <string>

#include "common/status.h"
#include "jobfile/job_settings.h"

namespace zq::platform {
class file_system;
}

namespace zq::engine {

// Writes the page segment `output` from `bitmap`. Both paths are taken whole;
// options for the bitmap library come apart. The segment appears only when it
// was written completely; a failure names its cause. The bitmap stays where
// it is.
status write_page_segment(platform::file_system& files, const job_settings& job,
                          const std::string& bitmap, const std::string& bitmap_options,
                          const std::string& output, const std::string& output_options);

// A path whose text after its first comma is options for the bitmap library:
// the path before it and the options (empty without a comma).
struct path_with_options {
  std::string path;
  std::string options;
};
path_with_options split_options(const std::string& text);

}  // namespace zq::engine
