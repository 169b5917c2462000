// A PDF put together page by page without holding pages in ImageMagick's pixel
// cache: pages copied from single-page PDFs that ImageMagick wrote, and
// bilevel pages whose CCITT Group 4 data is embedded as it stands. Page data
// stays in its files until the document is written, so memory does not grow
// with the page count.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/status.h"

namespace zq::engine {

// One strip of Group 4 data in a file, and what a reader needs to decode it.
struct ccitt_page {
  std::string file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint32_t columns = 0;
  std::uint32_t rows = 0;
  bool black_is_1 = false;   // the coded "black" runs are white pixels (min-is-black data)
  double x_resolution = 72;  // dots per inch; the page size follows from them
  double y_resolution = 72;
};

class pdf_page_builder {
 public:
  pdf_page_builder();
  ~pdf_page_builder();
  pdf_page_builder(const pdf_page_builder&) = delete;
  pdf_page_builder& operator=(const pdf_page_builder&) = delete;

  // Every page of a PDF file, in order. The file must stay until write().
  status append_pdf(const std::string& pdf_file);

  // One image page drawn over the whole page, as ImageMagick lays it out: the
  // page measures columns x rows at the page's resolution, in points. The file
  // must stay until write().
  status append_ccitt(const ccitt_page& page);

  // Writes the document to `output` (the caller renames it into place).
  status write(const std::string& output);

 private:
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace zq::engine
