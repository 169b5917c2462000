#include "engine/pdf_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace zq::engine {
namespace {

constexpr double kLargestSide = 14400;  // the PDF reference's limit, which readers keep to
constexpr double kLargestUnit = 75000;  // the largest unit Acrobat takes, in points

}  // namespace

double unit_for(double width, double height) {
  const double side = std::max(width, height);
  if (side <= kLargestSide) {
    return 1;
  }
  const double unit = std::ceil(side / kLargestSide);
  return unit <= kLargestUnit ? unit : 0;
}

status too_large(const std::string& what, double width, double height) {
  char size[96];
  std::snprintf(size, sizeof size, "%.0f x %.0f points", width, height);
  return status::error(what + ": a page of " + size + " is too large for a PDF");
}

std::string pdf_number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

result<ccitt_layout> lay_out(const ccitt_page& page) {
  if (page.columns == 0 || page.rows == 0 || page.x_resolution <= 0 || page.y_resolution <= 0) {
    return status::error(page.file + ": page has no size or no resolution");
  }
  std::error_code error;
  const std::uint64_t file_size = std::filesystem::file_size(page.file, error);
  if (error || page.offset > file_size || page.length > file_size - page.offset) {
    return status::error(page.file + ": page data is not in the file");
  }
  const double page_width = page.columns * 72.0 / page.x_resolution;
  const double page_height = page.rows * 72.0 / page.y_resolution;
  const double unit = unit_for(page_width, page_height);
  if (unit == 0) {
    return too_large(page.file, page_width, page_height);
  }
  return ccitt_layout{pdf_number(page_width / unit), pdf_number(page_height / unit),
                      static_cast<long long>(unit)};
}

std::string ccitt_page_content(const ccitt_layout& layout) {
  return "q\n" + layout.width + " 0 0 " + layout.height + " 0 0 cm\n/Im0 Do\nQ\n";
}

}  // namespace zq::engine
