#include "engine/joined_output.h"

#include "common/paths.h"
#include "engine/tiff_pages.h"
#include "platform/file_system.h"

namespace zq::engine {

result<joined_output> joined_output::begin(platform::file_system& files, const format_route& route,
                                           const std::string& output) {
  result<platform::staged_output> folder =
      platform::staged_output::begin(files, folder_of(output) + "pages");
  if (!folder.is_ok()) {
    return folder.status();
  }
  return joined_output(files, route, output, std::move(folder).value());
}

joined_output::joined_output(platform::file_system& files, const format_route& route,
                             std::string output, platform::staged_output pages_folder)
    : files_(&files),
      route_(&route),
      output_(std::move(output)),
      pages_folder_(std::move(pages_folder)) {}

std::string joined_output::next_page_file(std::string_view extension) const {
  return folder_of(pages_folder_.path()) + std::to_string(pages_) + std::string(extension);
}

status joined_output::add_page(const magick::image_info& write_info, _Image* page) {
  // DCX pages are PCX files; every other format's pages are files of its own.
  const std::string_view extension = route_->format.extension;
  const std::string file = next_page_file(extension);
  status added = is_pdf() ? add_pdf_page(write_info, page, file)
                          : magick::write_images(*files_, write_info, page, file,
                                                 magick::coder_for_extension(extension));
  if (added.is_ok()) {
    if (!is_pdf()) {
      page_files_.push_back(file);
      tiff_parts_.emplace_back(file);
    }
    ++pages_;
  }
  return added;
}

void joined_output::add_fax_pages(std::vector<fax_page> pages) {
  pages_ += pages.size();
  has_fax_pages_ = has_fax_pages_ || !pages.empty();
  for (fax_page& page : pages) {
    tiff_parts_.emplace_back(std::move(page));
  }
}

status joined_output::add_pdf_page(const magick::image_info& write_info, _Image* page,
                                   const std::string& file) {
  if (magick::asks_group4(write_info) && magick::is_bilevel(page)) {
    // The PDF writer would store this page as Group 4 data; the TIFF writer
    // makes the same data far faster, and it goes into the PDF unchanged.
    magick::image_info group4 = write_info.clone();
    magick::image_info_changes changes;
    changes.compression = magick::compression_choice::group4;
    group4.apply(changes);
    const std::string tiff = file + ".tif";
    const status written = magick::write_images(*files_, group4, page, tiff, "TIFF");
    ccitt_page encoded;
    tiff_resolution ignored;
    if (written.is_ok() && find_embeddable_g4(*files_, tiff, 0, encoded, ignored)) {
      const magick::pdf_resolution resolution = magick::pdf_page_resolution(write_info, page);
      encoded.x_resolution = resolution.x;
      encoded.y_resolution = resolution.y;
      return append_ccitt(encoded);
    }
  }
  const status written = magick::write_images(*files_, write_info, page, file, "PDF");
  if (!written.is_ok()) {
    return written;
  }
  if (const status joiner = start_joiner(); !joiner.is_ok()) {
    return joiner;
  }
  return joiner_->append_pdf(file);
}

status joined_output::append_ccitt(const ccitt_page& page) {
  return joiner_ ? joiner_->append_ccitt(page) : group4_.append(page);
}

// The first page that is not Group 4 data hands the document to the joiner's
// library, with the pages so far.
status joined_output::start_joiner() {
  if (joiner_) {
    return status::ok();
  }
  std::unique_ptr<pdf_page_builder> joiner;
  if (const status made = make_pdf_page_builder(joiner); !made.is_ok()) {
    return made;
  }
  for (const ccitt_page& page : group4_.pages()) {
    if (const status added = joiner->append_ccitt(page); !added.is_ok()) {
      return added;
    }
  }
  group4_ = group4_pdf();
  joiner_ = std::move(joiner);
  return status::ok();
}

status joined_output::add_encoded(ccitt_page page, magick::pdf_resolution resolution) {
  page.x_resolution = resolution.x;
  page.y_resolution = resolution.y;
  const status added = append_ccitt(page);
  if (added.is_ok()) {
    ++pages_;
  }
  return added;
}

status joined_output::finish() {
  result<platform::staged_output> staged = platform::staged_output::begin(*files_, output_);
  if (!staged.is_ok()) {
    return staged.status();
  }
  // Fax pages are read from their sources only now, and only the TIFF joiner
  // knows them.
  if (status joined = is_pdf()         ? write_pdf(staged->path())
                      : has_fax_pages_ ? join_tiff_parts(*files_, tiff_parts_, staged->path())
                                       : route_->join_pages(*files_, page_files_, staged->path());
      !joined.is_ok()) {
    return joined;
  }
  return staged->commit();
}

// Through the run's file system, so that a write or a close that fails (a
// full disk) fails the output instead of leaving it short.
status joined_output::write_pdf(const std::string& path) {
  result<std::unique_ptr<platform::writable_file>> file =
      files_->open_for_write(path, platform::open_mode::truncate);
  if (!file.is_ok()) {
    return file.status();
  }
  const status written = joiner_ ? joiner_->write_to(**file) : group4_.write_to(**file);
  const status closed = (*file)->close();
  return written.is_ok() ? closed : written;
}

}  // namespace zq::engine
