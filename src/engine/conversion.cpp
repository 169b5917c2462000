#include "engine/conversion.h"

#include <cstdio>
#include <fstream>
#include <optional>

#include "engine/assembly.h"
#include "engine/formats.h"
#include "engine/joined_output.h"
#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"
#include "engine/output_naming.h"
#include "engine/pse_step.h"
#include "engine/tiff_pages.h"
#include "platform/system.h"

namespace zq::engine {
namespace {

using magick::image_ptr;
using magick::magick_status;

// Raw fax data, not a TIFF: the fax reader has to be named for it.
bool has_fax_signature(const std::string& path) {
  std::ifstream source(path, std::ios::binary);
  char bytes[2] = {};
  return source.read(bytes, sizeof bytes) && static_cast<unsigned char>(bytes[0]) == 0xBB &&
         static_cast<unsigned char>(bytes[1]) == 0x01;
}

std::string density_text(int density) {
  return std::to_string(density) + "x" + std::to_string(density);
}

// One source file converted into the run's format: one conversion object per
// call of the two entry points.
class source_conversion {
 public:
  source_conversion(engine_settings& settings, const std::string& source, const std::string* target,
                    report_stream& report)
      : settings_(settings),
        source_(source),
        report_(report),
        format_(find_format(settings.format_code)) {
    if (target != nullptr) {
      // For PSE the text after a comma is for the bitmap library.
      const path_with_options split = split_options(*target);
      target_ = settings.format_code == kFormatPse ? split.path : *target;
      segment_options_ = settings.format_code == kFormatPse ? split.options : std::string();
    }
  }

  int run() {
    if (const magick_status named = read_setup(); !named.is_ok()) {
      return not_readable(named);
    }
    if (std::optional<int> copied = convert_group4_as_it_stands()) {
      return counted(*copied);
    }
    magick_status read;
    image_ptr first = magick::read_page(info_, 0, read);
    if (!first) {
      return not_readable(read);
    }
    settings_.source_x_resolution = magick::x_resolution(first.get());
    settings_.source_y_resolution = magick::y_resolution(first.get());
    options_ = build_option_list(settings_);

    if (batch() && single_output() &&
        (settings_.format_code == kFormatPdf || settings_.format_code == kFormatTiff)) {
      // The first source of the walk only triggers the join of the whole list.
      first.reset();
      (void)(settings_.format_code == kFormatPdf ? assemble_pdf(settings_, report_)
                                                 : assemble_tiff(settings_, report_));
      return kStopResult;
    }

    prepare_write_settings();
    return counted(single_output() ? convert_to_one_file(std::move(first))
                                   : convert_page_by_page(std::move(first)));
  }

 private:
  bool batch() const { return !target_.has_value(); }
  const std::string* explicit_target() const { return target_ ? &*target_ : nullptr; }
  bool all_pages() const { return settings_.job.params_extract_all != 0; }
  bool single_output() const {
    return format_ != nullptr && is_single_output(*format_, settings_.job);
  }

  // A single-file run counts its own success.
  int counted(int result) {
    if (result == kConverted && !batch()) {
      ++settings_.files_count;
    }
    return result;
  }

  magick_status read_setup() {
    fax_ = has_fax_signature(source_);
    magick_status named = info_.set_filename(fax_ ? "FAX:" + source_ : source_);
    info_.set_density(density_text(settings_.job.params_density));
    if (settings_.format_code == kFormatPse) {
      info_.set_dither();
      info_.set_monochrome();
    }
    return named;
  }

  // The writing settings: those of the read, then the option list's. Kept
  // apart from the reading settings so every page is read alike.
  void prepare_write_settings() {
    write_info_ = info_.clone();
    (void)apply_option_settings(options_, *write_info_);
    if (settings_.format_code == kFormatPse) {
      write_info_->set_depth(1);
    }
    if (settings_.format_code == kFormatPcl) {
      // The PCL writer takes its resolution from here, not from the image.
      write_info_->set_density(std::to_string(settings_.job.pcl_dpi));
    }
  }

  // DCX, a multi-image GIF, and in a single-file run also PDF and TIFF with
  // adjoin: every page goes into one file, with the options on every page.
  // Pages are read, processed and encoded one at a time, then joined.
  int convert_to_one_file(image_ptr first) {
    const std::size_t count = all_pages() ? counted_pages() : 1;
    if (count == 0) {
      return kNotConverted;
    }
    settings_.page_count = static_cast<int>(count);
    const std::string output = output_path(-1);
    std::optional<joined_output> joined = begin_joined(output);
    if (!joined) {
      return kNotConverted;
    }
    const int processed = process_pages(std::move(first), count, [&](image_ptr& page, std::size_t) {
      const magick_status added = joined->add_page(page.get());
      return added.is_ok() ? static_cast<int>(kConverted) : not_written(output, added);
    });
    return processed == kConverted ? finish(*joined, output) : processed;
  }

  // PDF with Group 4 from a TIFF whose pages are Group 4 data already: the
  // data goes into the PDF as it stands, without decoding a pixel, which is
  // exactly what reading, processing and writing them would give. Nothing
  // when the source or the settings do not allow it.
  std::optional<int> convert_group4_as_it_stands() {
    const job_settings& job = settings_.job;
    if (settings_.format_code != kFormatPdf || (batch() && single_output()) ||
        !job.params_size.empty() || job.pdf_compression_type != kPdfGroup4 || fax_) {
      return std::nullopt;
    }
    const std::size_t count = all_pages() ? tiff_page_count(source_) : 1;
    if (count == 0) {
      return std::nullopt;
    }
    std::vector<ccitt_page> pages(count);
    tiff_resolution resolution;
    for (std::size_t index = 0; index < count; ++index) {
      tiff_resolution page_resolution;
      if (!find_embeddable_g4(source_, static_cast<int>(index), pages[index], page_resolution)) {
        return std::nullopt;
      }
      if (index == 0) {
        resolution = page_resolution;
      }
    }
    // The resolution the image library would report: the page's own, or the
    // reading density for a page without one. Every page is laid out at the
    // density the option list gives for the first.
    const double reading = job.params_density;
    settings_.source_x_resolution = resolution.x > 0 ? resolution.x : reading;
    settings_.source_y_resolution = resolution.y > 0 ? resolution.y : reading;
    const pdf_density density = pdf_page_density(settings_);
    const magick::pdf_resolution layout =
        magick::pdf_page_resolution(density.x, density.y, resolution.per_centimetre);
    settings_.page_count = static_cast<int>(count);

    // Pages [first, last) into one output file.
    auto write = [&](std::size_t first, std::size_t last, int page_index) {
      const std::string output = output_path(page_index);
      std::optional<joined_output> joined = begin_joined(output);
      if (!joined) {
        return static_cast<int>(kNotConverted);
      }
      for (std::size_t index = first; index < last; ++index) {
        if (const magick_status added = joined->add_encoded(pages[index], layout); !added.is_ok()) {
          return not_written(output, added);
        }
      }
      return finish(*joined, output);
    };
    if (single_output()) {
      return write(0, count, -1);
    }
    for (std::size_t index = 0; index < count; ++index) {
      if (write(index, index + 1, static_cast<int>(index) + 1) != kConverted) {
        return kNotConverted;
      }
    }
    page_by_page_done();
    return kConverted;
  }

  // Reads pages 0 to count - 1 one at a time (`first` is page 0, already
  // read), applies the options and hands each to `use`; stops at the first
  // page that cannot be read (reported) or that `use` does not convert.
  template <typename Use>
  int process_pages(image_ptr first, std::size_t count, Use use) {
    for (std::size_t index = 0; index < count; ++index) {
      magick_status read;
      image_ptr page = index == 0 ? std::move(first) : magick::read_page(info_, index, read);
      if (!page) {
        return not_readable(read);
      }
      magick::mogrify_first(*write_info_, options_, page);
      if (const int used = use(page, index); used != kConverted) {
        return used;
      }
    }
    return kConverted;
  }

  // The number of pages, from the file's headers; 0 after reporting a file
  // that cannot be read.
  std::size_t counted_pages() {
    magick_status counted;
    const std::size_t count = magick::ping_page_count(info_, counted);
    if (!counted.is_ok()) {
      (void)not_readable(counted);
      return 0;
    }
    return count;
  }

  std::string output_path(int page_index) {
    std::string output =
        build_output_path(settings_, settings_.page_count, page_index, source_, explicit_target());
    settings_.target_file = output;
    return output;
  }

  std::optional<joined_output> begin_joined(const std::string& output) {
    if (output.empty()) {
      (void)not_written(output, magick_status::failed("no output path for this file"));
      return std::nullopt;
    }
    std::string error;
    std::optional<joined_output> joined = joined_output::begin(
        settings_.format_code, write_info_ ? &*write_info_ : nullptr, output, error);
    if (!joined) {
      (void)not_written(output, magick_status::failed(error, output));
    }
    return joined;
  }

  int finish(joined_output& joined, const std::string& output) {
    const magick_status finished = joined.finish();
    return finished.is_ok() ? kConverted : not_written(output, finished);
  }

  void page_by_page_done() const {
    if (batch()) {
      std::fputs("OK\n\n", stdout);
      std::fflush(stdout);
    }
  }

  // One output per page. Pages are read one at a time, so a long document
  // needs the memory of one page.
  int convert_page_by_page(image_ptr first) {
    const std::size_t count = all_pages() ? counted_pages() : 1;
    if (count == 0) {
      return kNotConverted;
    }
    settings_.page_count = static_cast<int>(count);
    const int processed =
        process_pages(std::move(first), count, [&](image_ptr& page, std::size_t index) {
          return write_output(page, static_cast<int>(index) + 1);
        });
    if (processed != kConverted) {
      return processed;
    }
    page_by_page_done();
    return kConverted;
  }

  // Writes one page's output file.
  int write_output(image_ptr& images, int page_index) {
    const std::string output = output_path(page_index);
    if (output.empty()) {
      return not_written(output, magick_status::failed("no output path for this file"));
    }
    if (settings_.format_code == kFormatPse) {
      return write_page_segment_of(images, output);
    }
    if (settings_.format_code == kFormatPdf) {
      // A PDF page goes the way of joined pages, so a bilevel page keeps the
      // fast Group 4 route.
      std::optional<joined_output> joined = begin_joined(output);
      if (!joined) {
        return kNotConverted;
      }
      const magick_status added = joined->add_page(images.get());
      return added.is_ok() ? finish(*joined, output) : not_written(output, added);
    }
    const magick_status written = magick::write_images(
        *write_info_, images.get(), output,
        magick::coder_for_extension(output_extension(*format_, settings_.job)));
    return written.is_ok() ? kConverted : not_written(output, written);
  }

  // The page goes to a temporary bitmap, which becomes the segment. The page
  // is not negated: the bitmap library takes ink from the bitmap's palette,
  // so the page's dark pixels are ink as they are.
  int write_page_segment_of(image_ptr& page, const std::string& output) {
    const std::string bitmap = settings_.pse_bitmap_file;
    magick::prepare_bitmap(page.get());
    const magick_status written =
        magick::write_images(*write_info_, page.get(), bitmap,
                             magick::coder_for_extension(find_format(kFormatBmp)->extension));
    if (!written.is_ok()) {
      return not_written(bitmap, written);
    }
    const int segment =
        write_page_segment(settings_, bitmap, std::string(), output, segment_options_);
    (void)platform::remove_file(bitmap);
    return segment == 1 ? kConverted
                        : not_written(output, magick_status::failed("the page segment could "
                                                                    "not be written"));
  }

  // The source (or one of its pages) cannot be read.
  int not_readable(const magick_status& status) {
    if (settings_.job.report_create_report == 1) {
      // The single-file report names the file only; a PSE run's also says it
      // was not converted, as every failed PSE run does.
      const std::string reason = status.text();
      report_unreadable_source(report_, source_, batch() ? &reason : nullptr);
      if (!batch() && settings_.format_code == kFormatPse) {
        report_not_converted(report_, source_);
      }
    }
    return kNotConverted;
  }

  // An output could not be written: nothing of it is left. The batch wrapper
  // reports the file as not converted; in a single-file run that line is ours.
  int not_written(const std::string& output, const magick_status& status) {
    std::fprintf(stderr, "Zembrit_Quarnel: cannot write %s: %s\n", output.c_str(),
                 status.text().c_str());
    if (!batch() && settings_.job.report_create_report == 1) {
      report_not_converted(report_, source_);
    }
    return kNotConverted;
  }

  engine_settings& settings_;
  const std::string& source_;
  std::optional<std::string> target_;  // single-file runs only
  std::string segment_options_;
  report_stream& report_;
  const target_format* format_;
  magick::image_info info_;  // the reading settings
  std::optional<magick::image_info> write_info_;
  option_list options_;
  bool fax_ = false;  // raw fax data, read through the fax reader
};

}  // namespace

int convert_source_file(engine_settings& settings, const std::string& source,
                        report_stream& report) {
  return source_conversion(settings, source, nullptr, report).run();
}

int convert_source_to_target(engine_settings& settings, const std::string& source,
                             const std::string& target, report_stream& report) {
  return source_conversion(settings, source, &target, report).run();
}

}  // namespace zq::engine
