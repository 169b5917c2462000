#include "jobfile/formats.h"

#include <array>

#include "common/ascii.h"

namespace zq {
namespace {

using enum job_key_id;

constexpr std::array kBmpLines = {report_line{"compress:\t", bmp_compress, false}};
constexpr std::array kGifLines = {report_line{"compress:\t", gif_compress, false}};
constexpr std::array kJpegLines = {report_line{"jpeg_quality:\t", jpeg_quality, false}};
constexpr std::array kPclLines = {report_line{"dpi:\t", pcl_dpi, false}};
constexpr std::array kPcxLines = {report_line{"adjoin:\t\t", pcx_adjoin, true}};
constexpr std::array kPdfLines = {report_line{"letter type:\t", pdf_letter_type, false},
                                  report_line{"compression type:\t", pdf_compression_type, false}};
constexpr std::array kPngLines = {report_line{"png_quality:\t", png_quality, false}};
constexpr std::span<const report_line> kNoLines;

// code, extension, report name, list label, adjoin flag, its extension, joins the batch,
// through a bitmap, report lines
constexpr std::array kFormats = {
    target_format{kFormatBmp, ".bmp", "BMP", "BMP", {}, "", false, false, kBmpLines},
    target_format{kFormatEps, ".eps", "EPS", "EPS", {}, "", false, false, kNoLines},
    target_format{kFormatGif, ".gif", "GIF", "GIF", gif_adjoin, "", false, false, kGifLines},
    target_format{kFormatJpeg, ".jpg", "JPEG", "JPEG", {}, "", false, false, kJpegLines},
    target_format{kFormatPcl, ".pcl", "PCL", "PCL", {}, "", false, false, kPclLines},
    target_format{kFormatPcx, ".pcx", "PCX", "PCX", pcx_adjoin, ".dcx", false, false, kPcxLines},
    target_format{kFormatPdf, ".pdf", "PDF", "PDF", pdf_adjoin, "", true, false, kPdfLines},
    target_format{kFormatPng, ".png", "PNG", "PNG", {}, "", false, false, kPngLines},
    target_format{kFormatPsd, ".psd", "PSD", "PSD", {}, "", false, false, kNoLines},
    target_format{kFormatPse, ".pse", "PSE", "PSE - IBM PSEG", {}, "", false, true, kNoLines},
    target_format{kFormatTga, ".tga", "TGA", "TGA", {}, "", false, false, kNoLines},
    target_format{kFormatTiff, ".tif", "TIFF", "TIFF", tiff_adjoin, "", true, false, kNoLines},
    target_format{
        kFormatYuv, ".yuv", "Y, U, V files", "Y, U, V files", {}, "", false, false, kNoLines},
};

constexpr bool every_code_at_its_position() {
  for (std::size_t i = 0; i < kFormats.size(); ++i) {
    if (static_cast<std::size_t>(kFormats[i].code) != i) {
      return false;
    }
  }
  return kFormats.size() == kFormatYuv + 1;
}
static_assert(every_code_at_its_position(), "one row per format code, in code order");

}  // namespace

std::span<const target_format> target_formats() { return kFormats; }

const target_format* find_format(int code) {
  if (code < 0 || static_cast<std::size_t>(code) >= kFormats.size()) {
    return nullptr;
  }
  return &kFormats[static_cast<std::size_t>(code)];
}

int format_code_for_extension(std::string_view extension) {
  constexpr std::size_t kCompared = 4;
  if (extension.size() < kCompared) {
    return kFormatNone;
  }
  for (const target_format& format : kFormats) {
    if (equals_ignoring_ascii_case(extension.substr(0, kCompared), format.extension)) {
      return format.code;
    }
  }
  return kFormatNone;
}

bool is_single_output(const target_format& format, const job_settings& job) {
  return format.single_output_flag && int_value(job, *format.single_output_flag) != 0;
}

std::string_view output_extension(const target_format& format, const job_settings& job) {
  if (!format.single_output_extension.empty() && is_single_output(format, job)) {
    return format.single_output_extension;
  }
  return format.extension;
}

}  // namespace zq
