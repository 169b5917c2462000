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

namespace zq::platform {
class writable_file;
}

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

// The PDF joiner lives in a library of its own beside the engine, loaded on
// the first join: qpdf brings a TLS stack with it whose loading would cost
// every run of the engine a third of its start-up, and most runs never join a
// PDF.
class pdf_page_builder {
 public:
  virtual ~pdf_page_builder() = default;

  // Every page of a PDF file, in order. The file must stay until write().
  virtual status append_pdf(const std::string& pdf_file) = 0;

  // One image page drawn over the whole page, as ImageMagick lays it out: the
  // page measures columns x rows at the page's resolution, in points. The file
  // must stay until write().
  //
  // A page larger than readers take (14400 units a side) keeps its size: it
  // is measured in larger units (/UserUnit), with its boxes and drawing scaled
  // to match; copied pages alike. Only a page too large even for those fails.
  virtual status append_ccitt(const ccitt_page& page) = 0;

  // Writes the whole document through `output`, checking every write; the
  // caller closes it (and checks that too) and renames the file into place.
  virtual status write_to(platform::writable_file& output) = 0;

  // Writes the document into the file `output`, made or replaced; on failure
  // nothing is left there.
  status write(const std::string& output);
};

// A new, empty document; fails when the joiner's library cannot be loaded.
status make_pdf_page_builder(std::unique_ptr<pdf_page_builder>& builder);

// The joiner library's file name and the one call it exports, which returns a
// new builder owned by the caller.
inline constexpr const char* kPdfJoinerLibrary = "libzq_pdf_pages.so";
inline constexpr const char* kPdfJoinerFactory = "zq_new_pdf_page_builder";

}  // namespace zq::engine
