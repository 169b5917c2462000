// What the engine does differently for each target format, one row per format
// beside the shared row of jobfile/formats.h: how its option list is built,
// how its sources are read and its pages written, how pages go into one file.
// The conversion and the joins dispatch on these columns, never on codes.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "engine/engine_settings.h"
#include "engine/magick.h"
#include "engine/option_list.h"
#include "jobfile/formats.h"

namespace zq::engine {

class report_stream;

// What a converter tells the batch walk.
enum class converter_result {
  not_converted,  // the reason is in the report already
  converted,
  stop,  // a join consumed the whole file list: the walk ends
  // A join consumed the file list but wrote nothing (its reason is said or
  // reported already): the walk ends, and the file is not converted.
  stop_not_converted,
};

enum class write_route {
  image_library,  // the image library writes each output with the format's coder
  pdf_pages,      // through the PDF page builder (bilevel Group 4 pages as they stand)
  page_segment,   // a temporary bitmap, then the bitmap library
};

struct format_route {
  const target_format& format;
  // Appends the format's own options to the list (the size option is common).
  void (*append_options)(const engine_settings& settings, const run_state& state,
                         option_list& list);
  // Changes to the reading settings before the first read, or nullptr.
  void (*setup_reading)(magick::image_info& reading);
  // Changes to the writing settings after the option list's, or nullptr.
  void (*setup_writing)(const job_settings& job, magick::image_info& writing);
  write_route route;
  // How the encoded pages of one source go into one file (TIFF, GIF, DCX);
  // nullptr for PDF, whose pages go to the PDF page builder, and for formats
  // that never write one file for all pages.
  status (*join_pages)(platform::file_system& files, const std::vector<std::string>& pages,
                       const std::string& output);
  // The join of every listed file into one output in a batch run (PDF,
  // TIFF), or nullptr.
  bool (*assemble)(engine_run& run, report_stream& report);
  // Whether a flat batch run with that join lists the source folder itself
  // (PDF); otherwise the join reads the list the front end wrote (TIFF).
  bool lists_source_folder;
};

// The row of `code`, or nullptr for -1 and every code outside the table.
const format_route* find_route(int code);

}  // namespace zq::engine
