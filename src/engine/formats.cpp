#include "engine/formats.h"

#include <array>

namespace zq::engine {
namespace {

using js = job_settings;
using enum format_writer;

const std::array kFormats = {
    target_format{kFormatBmp, ".bmp", "BMP", "BMP", nullptr, "", image_library},
    target_format{kFormatEps, ".eps", "EPS", "EPS", nullptr, "", image_library},
    target_format{kFormatGif, ".gif", "GIF", "GIF", &js::gif_adjoin, "", image_library},
    target_format{kFormatJpeg, ".jpg", "JPEG", "JPEG", nullptr, "", image_library},
    target_format{kFormatPcl, ".pcl", "PCL", "PCL", nullptr, "", image_library},
    target_format{kFormatPcx, ".pcx", "PCX", "PCX", &js::pcx_adjoin, ".dcx", image_library},
    target_format{kFormatPdf, ".pdf", "PDF", "PDF", &js::pdf_adjoin, "", image_library},
    target_format{kFormatPng, ".png", "PNG", "PNG", nullptr, "", image_library},
    target_format{kFormatPsd, ".psd", "PSD", "PSD", nullptr, "", image_library},
    target_format{kFormatPse, ".pse", "PSE", "PSE - IBM PSEG", nullptr, "", page_segment_step},
    target_format{kFormatTga, ".tga", "TGA", "TGA", nullptr, "", image_library},
    target_format{kFormatTiff, ".tif", "TIFF", "TIFF", &js::tiff_adjoin, "", image_library},
    target_format{kFormatYuv, ".yuv", "Y, U, V files", "Y, U, V files", nullptr, "",
                  image_library},
};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::span<const target_format> target_formats() { return kFormats; }

const target_format* find_format(int code) {
  for (const target_format& format : kFormats) {
    if (format.code == code) {
      return &format;
    }
  }
  return nullptr;
}

int format_code_for_extension(std::string_view extension) {
  constexpr std::size_t kCompared = 4;
  if (extension.size() < kCompared) {
    return kFormatNone;
  }
  for (const target_format& format : kFormats) {
    bool same = true;
    for (std::size_t i = 0; i < kCompared && same; ++i) {
      same = ascii_lower(extension[i]) == format.extension[i];
    }
    if (same) {
      return format.code;
    }
  }
  return kFormatNone;
}

bool is_single_output(const target_format& format, const job_settings& job) {
  return format.single_output_flag != nullptr && job.*format.single_output_flag != 0;
}

std::string_view output_extension(const target_format& format, const job_settings& job) {
  if (!format.single_output_extension.empty() && is_single_output(format, job)) {
    return format.single_output_extension;
  }
  return format.extension;
}

}  // namespace zq::engine
