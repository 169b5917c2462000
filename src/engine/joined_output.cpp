#include "engine/joined_output.h"

#include "common/paths.h"
#include "engine/formats.h"
#include "engine/image_join.h"
#include "engine/tiff_pages.h"

namespace zq::engine {
namespace {

using magick::magick_status;

magick_status failed(const status& result) {
  return result.is_ok() ? magick_status::ok() : magick_status::failed(result.reason());
}

// The container library that puts each format's encoded pages together.
struct page_joiner {
  int format_code;
  status (*join)(const std::vector<std::string>& pages, const std::string& output);
};
// PDF pages go to a pdf_page_builder instead.
constexpr page_joiner kPageJoiners[] = {
    {kFormatTiff, join_tiff_files},
    {kFormatGif, join_gif_files},
    {kFormatPcx, join_dcx_files},
};

}  // namespace

std::optional<joined_output> joined_output::begin(int format_code,
                                                  const magick::image_info* write_info,
                                                  const std::string& output, std::string& error) {
  join_function join = nullptr;
  for (const page_joiner& joiner : kPageJoiners) {
    if (joiner.format_code == format_code) {
      join = joiner.join;
    }
  }
  std::unique_ptr<pdf_page_builder> pdf;
  if (join == nullptr) {
    const status made = make_pdf_page_builder(pdf);
    if (!made.is_ok()) {
      error = made.reason();
      return std::nullopt;
    }
  }
  std::optional<staged_output> folder =
      staged_output::begin(join_path(folder_of(output), "pages"), error);
  if (!folder) {
    return std::nullopt;
  }
  return joined_output(format_code, write_info, output, std::move(*folder), join, std::move(pdf));
}

joined_output::joined_output(int format_code, const magick::image_info* write_info,
                             std::string output, staged_output pages_folder, join_function join,
                             std::unique_ptr<pdf_page_builder> pdf)
    : format_code_(format_code),
      write_info_(write_info),
      output_(std::move(output)),
      pages_folder_(std::move(pages_folder)),
      join_(join),
      pdf_(std::move(pdf)) {}

std::string joined_output::next_page_file(const char* extension) {
  return folder_of(pages_folder_.path()) + std::to_string(pages_) + extension;
}

magick_status joined_output::add_page(_Image* page) {
  const target_format& format = *find_format(format_code_);
  // DCX pages are PCX files; every other format's pages are files of its own.
  const std::string file = next_page_file(format.extension.data());
  magick_status added = pdf_ ? add_pdf_page(page, file)
                             : magick::write_images(*write_info_, page, file,
                                                    magick::coder_for_extension(format.extension));
  if (added.is_ok()) {
    if (!pdf_) {
      page_files_.push_back(file);
    }
    ++pages_;
  }
  return added;
}

magick_status joined_output::add_pdf_page(_Image* page, const std::string& file) {
  if (magick::asks_group4(*write_info_) && magick::is_bilevel(page)) {
    // The PDF writer would store this page as Group 4 data; the TIFF writer
    // makes the same data far faster, and it goes into the PDF unchanged.
    magick::image_info group4 = write_info_->clone();
    magick::image_info_changes changes;
    changes.compression = magick::compression_choice::group4;
    group4.apply(changes);
    const std::string tiff = file + ".tif";
    const magick_status written = magick::write_images(group4, page, tiff, "TIFF");
    ccitt_page encoded;
    tiff_resolution ignored;
    if (written.is_ok() && find_embeddable_g4(tiff, 0, encoded, ignored)) {
      const magick::pdf_resolution resolution = magick::pdf_page_resolution(*write_info_, page);
      encoded.x_resolution = resolution.x;
      encoded.y_resolution = resolution.y;
      return failed(pdf_->append_ccitt(encoded));
    }
  }
  const magick_status written = magick::write_images(*write_info_, page, file, "PDF");
  return written.is_ok() ? failed(pdf_->append_pdf(file)) : written;
}

magick_status joined_output::add_encoded(ccitt_page page, magick::pdf_resolution resolution) {
  page.x_resolution = resolution.x;
  page.y_resolution = resolution.y;
  const magick_status added = failed(pdf_->append_ccitt(page));
  if (added.is_ok()) {
    ++pages_;
  }
  return added;
}

magick_status joined_output::finish() {
  std::string error;
  std::optional<staged_output> staged = staged_output::begin(output_, error);
  if (!staged) {
    return magick_status::failed(error, output_);
  }
  status joined = pdf_ ? pdf_->write(staged->path()) : join_(page_files_, staged->path());
  if (joined.is_ok()) {
    joined = staged->commit();
  }
  return failed(joined);
}

}  // namespace zq::engine
