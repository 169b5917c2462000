// One output file holding many pages (a multi-page PDF or TIFF, a multi-image
// GIF, a DCX), written a page at a time: each processed page is encoded on its
// own into a private folder beside the output, and the encoded pages are then
// put together by the container's own library. However long the document, at
// most one page is in the image library's pixel cache.
//
// Bilevel pages bound for a PDF with Group 4 compression are encoded as Group 4
// TIFF data and embedded as they are, which is what the PDF writer would have
// produced, at a fraction of its cost; a PDF of such pages alone is written by
// the engine itself (group4_pdf.h). Fax pages bound for a Group 3 or Group
// 4 TIFF can skip the image library altogether (add_fax_pages).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "engine/format_routes.h"
#include "engine/group4_pdf.h"
#include "engine/magick.h"
#include "engine/pdf_pages.h"
#include "engine/tiff_pages.h"
#include "platform/staged_output.h"

namespace zq::engine {

class joined_output {
 public:
  // `route` is one whose pages can go into one file: PDF, TIFF, GIF or PCX
  // (written as DCX). Every file is made through `files`, which must outlive
  // this object. Fails when the private folder cannot be made.
  static result<joined_output> begin(platform::file_system& files, const format_route& route,
                                     const std::string& output);

  // Encodes one page, already processed by the caller, with the writing
  // settings `write_info`. For a PDF, the first page that is not Group 4
  // data loads the joiner's library, and fails when it cannot be loaded.
  status add_page(const magick::image_info& write_info, _Image* page);

  // PDF only: a page whose Group 4 data goes in as it stands, laid out at
  // `resolution` (dots per inch).
  status add_encoded(ccitt_page page, magick::pdf_resolution resolution);

  // TIFF only: pages that go in without the image library (find_fax_pages),
  // read from their file when the output is put together, so the file must
  // stay in place until finish().
  void add_fax_pages(std::vector<fax_page> pages);

  std::size_t page_count() const { return pages_; }

  // Puts the pages together under the output's name; the file appears only
  // when it is complete.
  status finish();

 private:
  joined_output(platform::file_system& files, const format_route& route, std::string output,
                platform::staged_output pages_folder);

  bool is_pdf() const { return route_->join_pages == nullptr; }
  std::string next_page_file(std::string_view extension) const;
  status add_pdf_page(const magick::image_info& write_info, _Image* page, const std::string& file);
  status append_ccitt(const ccitt_page& page);
  status start_joiner();
  status write_pdf(const std::string& path);

  platform::file_system* files_;
  const format_route* route_;
  std::string output_;
  platform::staged_output pages_folder_;  // never committed: removed with its pages
  std::vector<std::string> page_files_;   // TIFF, GIF, DCX: joined by the route's join_pages
  std::vector<tiff_part> tiff_parts_;     // TIFF: the pages in order, fax pages among them
  bool has_fax_pages_ = false;
  // PDF: the pages as they come, written by the engine while they are all
  // Group 4 data, else by the joiner's library.
  group4_pdf group4_;
  std::unique_ptr<pdf_page_builder> joiner_;
  std::size_t pages_ = 0;
};

}  // namespace zq::engine
