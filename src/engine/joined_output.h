// One output file holding many pages (a multi-page PDF or TIFF, a multi-image
// GIF, a DCX), written a page at a time: each processed page is encoded on its
// own into a private folder beside the output, and the encoded pages are then
// put together by the container's own library. However long the document, at
// most one page is in the image library's pixel cache.
//
// Bilevel pages bound for a PDF with Group 4 compression are encoded as Group 4
// TIFF data and embedded as they are, which is what the PDF writer would have
// produced, at a fraction of its cost.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/magick.h"
#include "engine/pdf_pages.h"
#include "engine/staged_output.h"

namespace zq::engine {

class joined_output {
 public:
  // `format_code` is PDF, TIFF, GIF or PCX (written as DCX); every page is
  // written with `write_info`, which must outlive this object (nullptr when
  // only encoded pages are added). Nothing when the private folder cannot be
  // made or, for a PDF, the joiner library cannot be loaded.
  static std::optional<joined_output> begin(int format_code, const magick::image_info* write_info,
                                            const std::string& output, std::string& error);

  // Encodes one page, already processed by the caller.
  magick::magick_status add_page(_Image* page);

  // PDF only: a page whose Group 4 data goes in as it stands, laid out at
  // `resolution` (dots per inch).
  magick::magick_status add_encoded(ccitt_page page, magick::pdf_resolution resolution);

  std::size_t page_count() const { return pages_; }

  // Puts the pages together under the output's name; the file appears only
  // when it is complete.
  magick::magick_status finish();

 private:
  using join_function = status (*)(const std::vector<std::string>& pages,
                                   const std::string& output);

  joined_output(int format_code, const magick::image_info* write_info, std::string output,
                staged_output pages_folder, join_function join,
                std::unique_ptr<pdf_page_builder> pdf);

  std::string next_page_file(const char* extension);
  magick::magick_status add_pdf_page(_Image* page, const std::string& file);

  int format_code_;
  const magick::image_info* write_info_;
  std::string output_;
  staged_output pages_folder_;  // never committed: removed with its pages
  std::vector<std::string> page_files_;
  join_function join_ = nullptr;           // TIFF, GIF, DCX: joins page_files_
  std::unique_ptr<pdf_page_builder> pdf_;  // PDF: holds the pages as they come
  std::size_t pages_ = 0;
};

}  // namespace zq::engine
