#include "engine/format_routes.h"

#include <array>

#include "engine/assembly.h"
#include "engine/image_join.h"
#include "engine/tiff_pages.h"

namespace zq::engine {
namespace {

using enum write_route;

std::string density_text(int x, int y) { return std::to_string(x) + "x" + std::to_string(y); }

void append_progressive_and_quality(option_list& list, int progressive, int quality) {
  if (progressive != 0) {
    list.append_pair("-interlace", "Plane");
  }
  list.append_pair("-quality", std::to_string(quality));
}

void no_options(const engine_settings&, const run_state&, option_list&) {}

void bmp_options(const engine_settings& settings, const run_state&, option_list& list) {
  if (settings.job.bmp_compress != 0) {
    list.append_pair("-compress", "RLE");
  }
}

void gif_options(const engine_settings& settings, const run_state&, option_list& list) {
  if (settings.job.gif_compress != 0) {
    list.append_pair("-compress", "LZW");
  }
}

void jpeg_options(const engine_settings& settings, const run_state&, option_list& list) {
  const job_settings& job = settings.job;
  append_progressive_and_quality(list, job.jpeg_progressive, job.jpeg_quality);
  if (job.jpeg_colorspace == 0) {
    list.append_pair("-colorspace", "CMYK");
  }
}

void pcl_options(const engine_settings& settings, const run_state&, option_list& list) {
  list.append_named("-page", pcl_page_names(), settings.job.pcl_page_type);
}

void pdf_options(const engine_settings& settings, const run_state& state, option_list& list) {
  list.append_pair("-colorspace", "rgb");
  const pdf_density density = pdf_page_density(state);
  list.append_pair("-density", density_text(density.x, density.y));
  list.append_named("-compress", pdf_compression_names(), settings.job.pdf_compression_type);
}

void png_options(const engine_settings& settings, const run_state&, option_list& list) {
  append_progressive_and_quality(list, settings.job.png_progressive, settings.job.png_quality);
}

void pse_options(const engine_settings&, const run_state&, option_list& list) {
  list.append("-monochrome");
}

void tiff_options(const engine_settings& settings, const run_state&, option_list& list) {
  const job_settings& job = settings.job;
  if (job.tiff_colorspace != 0) {
    list.append_pair("-colorspace", "CMYK");
  }
  list.append_pair("-density", density_text(job.tiff_dpi, job.tiff_dpi));
  list.append_named("-compress", tiff_compression_names(), job.tiff_compression_type);
}

void yuv_options(const engine_settings&, const run_state&, option_list& list) {
  list.append_pair("-interlace", "partition");
}

// The page segment is made from a bilevel bitmap, so its pages are read
// dithered to black and white and written one bit deep.
void read_bilevel(magick::image_info& reading) {
  reading.set_dither();
  reading.set_monochrome();
}

void write_one_bit(const job_settings&, magick::image_info& writing) { writing.set_depth(1); }

// The PCL writer takes its resolution from the writing settings, not from
// the image.
void write_pcl_resolution(const job_settings& job, magick::image_info& writing) {
  writing.set_density(std::to_string(job.pcl_dpi));
}

const target_format& shared(int code) { return *find_format(code); }

}  // namespace

const format_route* find_route(int code) {
  // format, options, reading, writing, route, pages of one source, join of a batch,
  // whether that join lists the source folder
  static const std::array kRoutes = {
      format_route{shared(kFormatBmp), bmp_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
      format_route{shared(kFormatEps), no_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
      format_route{shared(kFormatGif), gif_options, nullptr, nullptr, image_library, join_gif_files,
                   nullptr, false},
      format_route{shared(kFormatJpeg), jpeg_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
      format_route{shared(kFormatPcl), pcl_options, nullptr, write_pcl_resolution, image_library,
                   nullptr, nullptr, false},
      format_route{shared(kFormatPcx), no_options, nullptr, nullptr, image_library, join_dcx_files,
                   nullptr, false},
      format_route{shared(kFormatPdf), pdf_options, nullptr, nullptr, pdf_pages, nullptr,
                   assemble_pdf, true},
      format_route{shared(kFormatPng), png_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
      format_route{shared(kFormatPsd), no_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
      format_route{shared(kFormatPse), pse_options, read_bilevel, write_one_bit, page_segment,
                   nullptr, nullptr, false},
      format_route{shared(kFormatTga), no_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
      format_route{shared(kFormatTiff), tiff_options, nullptr, nullptr, image_library,
                   join_tiff_files, assemble_tiff, false},
      format_route{shared(kFormatYuv), yuv_options, nullptr, nullptr, image_library, nullptr,
                   nullptr, false},
  };
  static_assert(kRoutes.size() == kFormatYuv + 1, "one row per format code, in code order");
  if (find_format(code) == nullptr) {
    return nullptr;
  }
  return &kRoutes[static_cast<std::size_t>(code)];
}

}  // namespace zq::engine
