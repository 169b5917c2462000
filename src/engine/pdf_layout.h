// How image pages are laid out on PDF pages, shared by the engine's own
// Group 4 PDF writer and the PDF joiner's library, which must lay out a page
// alike whichever of them writes it.
#pragma once

#include <string>

#include "common/result.h"
#include "engine/pdf_pages.h"

namespace zq::engine {

// The unit, in points, in which a page of `width` x `height` points is
// measured: 1, the default, for every page within the readers' limit (14400
// units a side); else the smallest whole number of points that brings its
// longer side within it. 0 for a page too large even in the largest unit
// readers take.
double unit_for(double width, double height);

// The failure for a page too large for any unit.
status too_large(const std::string& what, double width, double height);

// Numbers in content streams and boxes: enough digits for the page size in
// points, no exponent.
std::string pdf_number(double value);

// A Group 4 page drawn over its whole page: the page's size in its own units,
// as written, and the unit.
struct ccitt_layout {
  std::string width;
  std::string height;
  long long unit = 1;
};

// Fails for a page without size or resolution, whose data is not in its file,
// or too large for a PDF.
result<ccitt_layout> lay_out(const ccitt_page& page);

// The drawing of a page laid out so: the image Im0 over the whole page.
std::string ccitt_page_content(const ccitt_layout& layout);

}  // namespace zq::engine
