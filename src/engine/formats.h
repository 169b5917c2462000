// The thirteen target formats, one row each. Every consumer (extension lookup,
// output naming, option lists, report header, the front end's list) reads this
// table; nothing else spells a format's extension or name.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/engine_settings.h"

namespace zq::engine {

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

enum class format_writer { image_library, page_segment_step };

struct target_format {
  int code;
  std::string_view extension;    // ".bmp": looked up and written
  std::string_view report_name;  // name in the report header
  std::string_view label;        // entry of the front end's format list
  // The adjoin flag under which all pages of a source go into one file, or
  // nullptr when the format always writes one file per page.
  int job_settings::*single_output_flag;
  // Extension of that one file when it differs from the plain one (PCX -> DCX).
  std::string_view single_output_extension;
  format_writer writer;
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

}  // namespace zq::engine
