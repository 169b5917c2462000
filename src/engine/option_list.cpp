#include "engine/option_list.h"

#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "engine/formats.h"

namespace zq::engine {
namespace {

constexpr std::string_view kProgramPlaceholder = "Zembrit";

// Value tables of the job file's codes, indexed by the code itself.
constexpr std::array<std::string_view, 8> kPclPageNames = {"Executive", "Letter", "Legal", "Ledger",
                                                           "A4",        "A3",     "B5",    "B4"};
constexpr std::array<std::string_view, 5> kPdfCompressionNames = {"None", "GROUP4", "LZW", "JPEG",
                                                                  "ZIP"};
// The dialog's "Packbits" (4) and "RLE" (5) are both run-length coding here.
constexpr std::array<std::string_view, 7> kTiffCompressionNames = {"None", "FAX", "GROUP4", "JPEG",
                                                                   "RLE",  "RLE", "ZIP"};

void append_pair(option_list& list, std::string_view option, std::string_view value) {
  list.append(std::string(option));
  list.append(std::string(value));
}

// A code outside its table (above it, or -1 for a list saved with nothing
// selected) adds nothing: an option without its value would make the next
// element its value.
void append_named(option_list& list, std::string_view option,
                  std::span<const std::string_view> names, int code) {
  if (code >= 0 && std::cmp_less(code, names.size())) {
    append_pair(list, option, names[static_cast<std::size_t>(code)]);
  }
}

std::string density_text(int x, int y) { return std::to_string(x) + "x" + std::to_string(y); }

// Truncated toward zero. A value no int can hold (or not a number) is treated
// like a missing resolution rather than converted with undefined behaviour.
int whole_resolution(double resolution) {
  const double whole = std::trunc(resolution);
  if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())) {
    return 0;
  }
  return static_cast<int>(whole);
}

void append_progressive_and_quality(option_list& list, int progressive, int quality) {
  if (progressive != 0) {
    append_pair(list, "-interlace", "Plane");
  }
  append_pair(list, "-quality", std::to_string(quality));
}

void bmp_options(const engine_settings& settings, option_list& list) {
  if (settings.job.bmp_compress != 0) {
    append_pair(list, "-compress", "RLE");
  }
}

void no_options(const engine_settings&, option_list&) {}

void gif_options(const engine_settings& settings, option_list& list) {
  if (settings.job.gif_compress != 0) {
    append_pair(list, "-compress", "LZW");
  }
}

void jpeg_options(const engine_settings& settings, option_list& list) {
  const job_settings& job = settings.job;
  append_progressive_and_quality(list, job.jpeg_progressive, job.jpeg_quality);
  if (job.jpeg_colorspace == 0) {
    append_pair(list, "-colorspace", "CMYK");
  }
}

void pcl_options(const engine_settings& settings, option_list& list) {
  append_named(list, "-page", kPclPageNames, settings.job.pcl_page_type);
}

void pdf_options(const engine_settings& settings, option_list& list) {
  append_pair(list, "-colorspace", "rgb");
  const pdf_density density = pdf_page_density(settings);
  append_pair(list, "-density", density_text(density.x, density.y));
  append_named(list, "-compress", kPdfCompressionNames, settings.job.pdf_compression_type);
}

void png_options(const engine_settings& settings, option_list& list) {
  append_progressive_and_quality(list, settings.job.png_progressive, settings.job.png_quality);
}

void pse_options(const engine_settings&, option_list& list) { list.append("-monochrome"); }

void tiff_options(const engine_settings& settings, option_list& list) {
  const job_settings& job = settings.job;
  if (job.tiff_colorspace != 0) {
    append_pair(list, "-colorspace", "CMYK");
  }
  append_pair(list, "-density", density_text(job.tiff_dpi, job.tiff_dpi));
  append_named(list, "-compress", kTiffCompressionNames, job.tiff_compression_type);
}

void yuv_options(const engine_settings&, option_list& list) {
  append_pair(list, "-interlace", "partition");
}

struct format_options {
  int code;
  void (*append)(const engine_settings&, option_list&);
};

// One row per format code, looked up by position.
constexpr std::array kFormatOptions = {
    format_options{kFormatBmp, bmp_options}, format_options{kFormatEps, no_options},
    format_options{kFormatGif, gif_options}, format_options{kFormatJpeg, jpeg_options},
    format_options{kFormatPcl, pcl_options}, format_options{kFormatPcx, no_options},
    format_options{kFormatPdf, pdf_options}, format_options{kFormatPng, png_options},
    format_options{kFormatPsd, no_options},  format_options{kFormatPse, pse_options},
    format_options{kFormatTga, no_options},  format_options{kFormatTiff, tiff_options},
    format_options{kFormatYuv, yuv_options},
};

constexpr bool every_code_at_its_position() {
  for (std::size_t i = 0; i < kFormatOptions.size(); ++i) {
    if (std::cmp_not_equal(kFormatOptions[i].code, i)) {
      return false;
    }
  }
  return kFormatOptions.size() == kFormatYuv + 1;
}
static_assert(every_code_at_its_position(), "one row per format code, in code order");

}  // namespace

std::span<const std::string_view> pdf_compression_names() { return kPdfCompressionNames; }

std::span<const std::string_view> tiff_compression_names() { return kTiffCompressionNames; }

option_list::option_list() : elements_{std::string(kProgramPlaceholder)} {}

void option_list::append(std::string element) { elements_.push_back(std::move(element)); }

option_argv::option_argv(const option_list& list) {
  pointers_.reserve(list.elements().size() + 1);
  for (const std::string& element : list.elements()) {
    pointers_.push_back(element.c_str());
  }
  pointers_.push_back(nullptr);
}

pdf_density pdf_page_density(const engine_settings& settings) {
  // The PDF keeps the source's own resolution; a source without one gets 72.
  const int x = whole_resolution(settings.source_x_resolution);
  const int y = whole_resolution(settings.source_y_resolution);
  if (x == 0 || y == 0) {
    return {72, 72};
  }
  return {x, y};
}

option_list build_option_list(const engine_settings& settings) {
  option_list list;
  const int code = settings.format_code;
  if (code >= 0 && std::cmp_less(code, kFormatOptions.size())) {
    kFormatOptions[static_cast<std::size_t>(code)].append(settings, list);
  }
  const job_settings& job = settings.job;
  if (!job.params_size.empty()) {
    // Without keep_proportions the size is forced exactly, ignoring the aspect
    // ratio; one "!" is appended whatever the user typed.
    append_pair(list, "-sample",
                job.params_keep_proportions != 0 ? job.params_size : job.params_size + "!");
  }
  return list;
}

}  // namespace zq::engine
