// The thirteen target formats, one row each, with everything the programs
// share about a format: its code, extension, names, when its pages go into one
// file, and the lines it adds to the report header. Every consumer (extension
// lookup, output naming, the report header, the front end's list, the
// engine's own per-format routes) reads this table; nothing else spells a
// format's extension or name.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "jobfile/job_keys.h"
#include "jobfile/job_settings.h"

namespace zq {

enum format_code_value : int {
  kFormatNone = -1,
  kFormatBmp = 0,
  kFormatEps = 1,
  kFormatGif = 2,
  kFormatJpeg = 3,
  kFormatPcl = 4,
  kFormatPcx = 5,
  kFormatPdf = 6,
  kFormatPng = 7,
  kFormatPsd = 8,
  kFormatPse = 9,
  kFormatTga = 10,
  kFormatTiff = 11,
  kFormatYuv = 12,
};

// A line of the report header: a label and the value of one job-file key.
struct report_line {
  std::string_view label;
  job_key_id key;
  bool only_when_one;  // written only when the value is 1
};

struct target_format {
  int code;
  std::string_view extension;    // ".bmp": looked up and written
  std::string_view report_name;  // name in the report header
  std::string_view label;        // entry of the front end's format list
  // The adjoin flag under which all pages of a source go into one file;
  // nothing when the format always writes one file per page.
  std::optional<job_key_id> single_output_flag;
  // Extension of that one file when it differs from the plain one (PCX -> DCX).
  std::string_view single_output_extension;
  // Whether that one file, in a batch run, joins all the files of the run
  // (PDF, TIFF) rather than the pages of each source (GIF, DCX).
  bool joins_batch;
  // Whether the image library writes a temporary bitmap in the temp folder
  // that the bitmap library then turns into the output (PSE).
  bool written_through_bitmap;
  std::span<const report_line> report_lines;  // after the "image_type" line
};

std::span<const target_format> target_formats();

// The row of `code`, or nullptr for -1 and every code outside the table.
const target_format* find_format(int code);

// Compares the first four characters of `extension` (dot included, ASCII case
// ignored) with each format's extension in table order: ".tiff" gives TIFF,
// ".jpeg" gives -1, and anything shorter than four characters matches nothing.
int format_code_for_extension(std::string_view extension);

// Whether this run writes all pages of a source into one file.
bool is_single_output(const target_format& format, const job_settings& job);

// The extension of the files written for `format` in this run.
std::string_view output_extension(const target_format& format, const job_settings& job);

}  // namespace zq
