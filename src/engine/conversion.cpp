#include "engine/conversion.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "common/diagnostics.h"
#include "common/paths.h"
#include "engine/joined_output.h"
#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"
#include "engine/output_naming.h"
#include "engine/pse_step.h"
#include "engine/tiff_pages.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

using enum converter_result;
using magick::image_ptr;

// Raw fax data, not a TIFF: the fax reader has to be named for it.
bool has_fax_signature(platform::file_system& files, const std::string& path) {
  const result<std::string> head = files.read_head(path, 2);
  return head.is_ok() && head->size() == 2 && static_cast<unsigned char>((*head)[0]) == 0xBB &&
         static_cast<unsigned char>((*head)[1]) == 0x01;
}

std::string density_text(int density) {
  return std::to_string(density) + "x" + std::to_string(density);
}

// One source file converted into the run's format: one conversion object per
// call of the two entry points.
class source_conversion {
 public:
  source_conversion(engine_run& run, const std::string& source, bool batch, report_stream& report)
      : run_(run),
        settings_(run.settings),
        source_(source),
        batch_(batch),
        report_(report),
        route_(find_route(settings_.format_code)) {}

  converter_result run() {
    if (const status kind = check_source_kind(); !kind.is_ok()) {
      return not_readable(kind);
    }
    if (route_ == nullptr) {
      return refused(
          status::error("no format for the code " + std::to_string(settings_.format_code)));
    }
    fax_ = has_fax_signature(run_.files, source_);
    if (std::optional<converter_result> copied = convert_group4_as_it_stands()) {
      return counted(*copied);
    }
    if (std::optional<converter_result> copied = convert_fax_pages_directly()) {
      return counted(*copied);
    }
    if (starts_join() && reads_as_fax_pages()) {
      return join_every_listed_file();
    }
    if (const status named = read_setup(); !named.is_ok()) {
      return not_readable(named);
    }
    result<image_ptr> first = magick::read_page(*info_, 0);
    if (!first.is_ok()) {
      return not_readable(first.status());
    }
    run_.state.source_x_resolution = magick::x_resolution(first->get());
    run_.state.source_y_resolution = magick::y_resolution(first->get());
    options_ = build_option_list(settings_, run_.state);

    if (starts_join()) {
      first->reset();
      return join_every_listed_file();
    }

    prepare_write_settings();
    return counted(single_output() ? convert_to_one_file(std::move(*first))
                                   : convert_page_by_page(std::move(*first)));
  }

 private:
  bool all_pages() const { return settings_.job.params_extract_all != 0; }
  bool single_output() const {
    return route_ != nullptr && is_single_output(route_->format, settings_.job);
  }
  bool routed(write_route route) const { return route_ != nullptr && route_->route == route; }
  // A batch run's join of every listed file (PDF, TIFF), which the first
  // source the walk reads starts.
  bool starts_join() const { return batch_ && single_output() && route_->assemble != nullptr; }

  // The first source of the walk only triggers the join of the whole list;
  // a join that wrote nothing leaves that file not converted.
  converter_result join_every_listed_file() {
    return route_->assemble(run_, report_) ? stop : stop_not_converted;
  }

  // Whether the source is a TIFF of fax pages that libtiff decodes without a
  // complaint (find_fax_pages), which the image library reads alike: the
  // image library need not read it to know. The run's state then takes the
  // first page's resolution, as that read would.
  bool reads_as_fax_pages() {
    std::vector<fax_page> pages;
    if (fax_ || !find_fax_pages(source_, fax_coding::group4, settings_.job.params_density, pages) ||
        !pages.front().per_inch) {
      return false;
    }
    take_resolution_of(pages.front());
    return true;
  }

  // What the image library would report of a fax page read in inches: its
  // own resolution, or the reading density for a page without one.
  void take_resolution_of(const fax_page& page) {
    run_.state.source_x_resolution = page.x_resolution;
    run_.state.source_y_resolution = page.y_resolution;
  }

  // A single-file run counts its own success.
  converter_result counted(converter_result outcome) {
    if (outcome == converted && !batch_) {
      ++run_.state.files_count;
    }
    return outcome;
  }

  // Only a regular file is read, once links are followed: a FIFO would keep
  // the reader waiting for a writer for ever, and a device may never end.
  // Anything else is refused without being opened. A name that leads nowhere
  // is left to the reader, whose reason says why.
  status check_source_kind() {
    source_info_ = run_.files.stat_target(source_);
    const platform::file_kind kind = source_info_.kind;
    if (kind == platform::file_kind::regular || kind == platform::file_kind::missing) {
      return status::ok();
    }
    return status::error("not a regular file", source_);
  }

  // The reading settings, made only when the image library reads: a page
  // copied as it stands never starts it.
  status read_setup() {
    info_.emplace();
    status named = info_->set_filename(fax_ ? "FAX:" + source_ : source_);
    info_->set_density(density_text(settings_.job.params_density));
    if (route_ != nullptr && route_->setup_reading != nullptr) {
      route_->setup_reading(*info_);
    }
    return named;
  }

  // The writing settings: those of the read, then the option list's. Kept
  // apart from the reading settings so every page is read alike.
  void prepare_write_settings() {
    write_info_ = info_->clone();
    (void)apply_option_settings(options_, *write_info_);
    if (route_ != nullptr && route_->setup_writing != nullptr) {
      route_->setup_writing(settings_.job, *write_info_);
    }
  }

  // DCX, a multi-image GIF, and in a single-file run also PDF and TIFF with
  // adjoin: every page goes into one file, with the options on every page.
  // Pages are read, processed and encoded one at a time, then joined.
  converter_result convert_to_one_file(image_ptr first) {
    const std::size_t count = all_pages() ? counted_pages() : 1;
    if (count == 0) {
      return not_converted;
    }
    run_.state.page_count = static_cast<int>(count);
    const std::optional<output_names> names = writable_output(-1);
    if (!names) {
      return not_converted;
    }
    const std::string& output = names->output;
    std::optional<joined_output> joined = begin_joined(output);
    if (!joined) {
      return not_converted;
    }
    const converter_result processed =
        process_pages(std::move(first), count, [&](image_ptr& page, std::size_t) {
          const status added = joined->add_page(*write_info_, page.get());
          return added.is_ok() ? converted : not_written(output, added);
        });
    return processed == converted ? finish(*joined, output) : processed;
  }

  // PDF with Group 4 from a TIFF whose pages are Group 4 data already: the
  // data goes into the PDF as it stands, without decoding a pixel, which is
  // exactly what reading, processing and writing them would give. Nothing
  // when the source or the settings do not allow it.
  std::optional<converter_result> convert_group4_as_it_stands() {
    const job_settings& job = settings_.job;
    if (!routed(write_route::pdf_pages) || starts_join() || !job.params_size.empty() ||
        job.pdf_compression_type != kPdfGroup4 || fax_) {
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
      if (!find_embeddable_g4(run_.files, source_, static_cast<int>(index), pages[index],
                              page_resolution)) {
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
    run_.state.source_x_resolution = resolution.x > 0 ? resolution.x : reading;
    run_.state.source_y_resolution = resolution.y > 0 ? resolution.y : reading;
    const pdf_density density = pdf_page_density(run_.state);
    const magick::pdf_resolution layout =
        magick::pdf_page_resolution(density.x, density.y, resolution.per_centimetre);
    run_.state.page_count = static_cast<int>(count);
    return write_encoded(count, [&](joined_output& joined, std::size_t index) {
      return joined.add_encoded(pages[index], layout);
    });
  }

  // A TIFF of fax pages bound for a Group 3 or Group 4 TIFF whose options
  // change nothing but the resolution: the pages go in as libtiff copies or
  // recodes them (find_fax_pages), which is what reading, processing and
  // writing them would give, without the image library. Nothing when the
  // source or the settings do not allow it.
  std::optional<converter_result> convert_fax_pages_directly() {
    const job_settings& job = settings_.job;
    if (route_->join_pages != join_tiff_files || starts_join() || fax_ ||
        !job.params_size.empty() || job.tiff_dpi <= 0) {
      return std::nullopt;
    }
    magick::image_info_changes writing;
    if (!interpret_option_list(build_option_list(settings_, run_.state), writing)) {
      return std::nullopt;
    }
    const std::optional<fax_coding> coding = fax_coding_for(writing);
    if (!coding) {
      return std::nullopt;
    }
    std::vector<fax_page> pages;
    if (!find_fax_pages(source_, *coding, job.params_density, pages) ||
        !std::ranges::all_of(pages, &fax_page::per_inch)) {
      return std::nullopt;
    }
    if (!all_pages()) {
      pages.resize(1);
    }
    take_resolution_of(pages.front());
    run_.state.page_count = static_cast<int>(pages.size());
    for (fax_page& page : pages) {
      page.x_resolution = page.y_resolution = job.tiff_dpi;
      page.own_file = !single_output();
    }
    return write_encoded(pages.size(), [&](joined_output& joined, std::size_t index) {
      joined.add_fax_pages({pages[index]});
      return status::ok();
    });
  }

  // Pages 0 to count - 1, encoded already, into one output file, or into one
  // each; `add` puts page `index` into the output being made.
  template <typename Add>
  converter_result write_encoded(std::size_t count, Add add) {
    // Pages [first, last) into one output file.
    auto write = [&](std::size_t first, std::size_t last, int page_index) {
      const std::optional<output_names> names = writable_output(page_index);
      if (!names) {
        return not_converted;
      }
      const std::string& output = names->output;
      std::optional<joined_output> joined = begin_joined(output);
      if (!joined) {
        return not_converted;
      }
      for (std::size_t index = first; index < last; ++index) {
        if (const status added = add(*joined, index); !added.is_ok()) {
          return not_written(output, added);
        }
      }
      return finish(*joined, output);
    };
    if (single_output()) {
      return write(0, count, -1);
    }
    for (std::size_t index = 0; index < count; ++index) {
      if (write(index, index + 1, static_cast<int>(index) + 1) != converted) {
        return not_converted;
      }
    }
    page_by_page_done();
    return converted;
  }

  // Hands pages 0 to count - 1 in order to `use` (`first` is page 0, already
  // read; the others come a batch at a time), each with the options applied;
  // stops at the first page that cannot be read (reported) or processed, or
  // that `use` does not convert.
  template <typename Use>
  converter_result process_pages(image_ptr first, std::size_t count, Use use) {
    magick::page_sequence rest(*info_, 1, count);
    for (std::size_t index = 0; index < count; ++index) {
      image_ptr page;
      if (index == 0) {
        page = std::move(first);
      } else {
        result<image_ptr> read = rest.next();
        if (!read.is_ok()) {
          return not_readable(read.status());
        }
        page = std::move(*read);
      }
      if (const status applied = magick::mogrify_first(*write_info_, options_, page);
          !applied.is_ok()) {
        return not_written(source_, applied);
      }
      if (const converter_result used = use(page, index); used != converted) {
        return used;
      }
    }
    return converted;
  }

  // The number of pages, from the file's headers; 0 after reporting a file
  // that cannot be read.
  std::size_t counted_pages() {
    const result<std::size_t> count = magick::ping_page_count(*info_);
    if (!count.is_ok()) {
      (void)not_readable(count.status());
      return 0;
    }
    return *count;
  }

  // The names of one output, once it is known that they may be written;
  // nothing, after saying why, when they may not. An output never replaces
  // the file it is made from, whatever name reaches that file (a target named
  // after its source, a batch whose target folder is its source folder, a
  // link): the output is written whole before it is moved into place, so it
  // would not harm the pages being read, but the original would be gone. The
  // folders above the output are made here (one that cannot be made shows up
  // as a failed write).
  std::optional<output_names> writable_output(int page_index) {
    output_names names = build_output_path(settings_, run_.state.page_count, page_index, source_);
    if (names.output.empty()) {
      (void)refused(status::error("its output's path would be longer than " +
                                  std::to_string(kMaxPathLength) + " bytes"));
      return std::nullopt;
    }
    for (const std::string* path : {&names.output, &names.bitmap}) {
      if (!path->empty() && platform::same_file(run_.files.stat_target(*path), source_info_)) {
        (void)not_written(*path, status::error("the output would replace its own source"));
        return std::nullopt;
      }
    }
    platform::create_folder_chain(run_.files, names.output);
    return names;
  }

  std::optional<joined_output> begin_joined(const std::string& output) {
    result<joined_output> joined = joined_output::begin(run_.files, *route_, output);
    if (!joined.is_ok()) {
      (void)not_written(output, joined.status());
      return std::nullopt;
    }
    return std::move(*joined);
  }

  converter_result finish(joined_output& joined, const std::string& output) {
    const status finished = joined.finish();
    return finished.is_ok() ? converted : not_written(output, finished);
  }

  void page_by_page_done() const {
    if (batch_) {
      run_.messages.progress("OK\n\n");
    }
  }

  // One output per page. Pages are read one at a time, so a long document
  // needs the memory of one page.
  converter_result convert_page_by_page(image_ptr first) {
    const std::size_t count = all_pages() ? counted_pages() : 1;
    if (count == 0) {
      return not_converted;
    }
    run_.state.page_count = static_cast<int>(count);
    const converter_result processed =
        process_pages(std::move(first), count, [&](image_ptr& page, std::size_t index) {
          return write_output(page, static_cast<int>(index) + 1);
        });
    if (processed != converted) {
      return processed;
    }
    page_by_page_done();
    return converted;
  }

  // Writes one page's output file.
  converter_result write_output(image_ptr& images, int page_index) {
    const std::optional<output_names> writable = writable_output(page_index);
    if (!writable) {
      return not_converted;
    }
    const output_names& names = *writable;
    switch (route_->route) {
      case write_route::page_segment:
        return write_page_segment_of(images, names);
      case write_route::pdf_pages: {
        // A PDF page goes the way of joined pages, so a bilevel page keeps
        // the fast Group 4 route.
        std::optional<joined_output> joined = begin_joined(names.output);
        if (!joined) {
          return not_converted;
        }
        const status added = joined->add_page(*write_info_, images.get());
        return added.is_ok() ? finish(*joined, names.output) : not_written(names.output, added);
      }
      case write_route::image_library:
        break;
    }
    const status written = magick::write_images(
        run_.files, *write_info_, images.get(), names.output,
        magick::coder_for_extension(output_extension(route_->format, settings_.job)));
    return written.is_ok() ? converted : not_written(names.output, written);
  }

  // The page goes to a temporary bitmap, which becomes the segment. The page
  // is not negated: the bitmap library takes ink from the bitmap's palette,
  // so the page's dark pixels are ink as they are.
  converter_result write_page_segment_of(image_ptr& page, const output_names& names) {
    magick::prepare_bitmap(page.get());
    const status written =
        magick::write_images(run_.files, *write_info_, page.get(), names.bitmap,
                             magick::coder_for_extension(find_format(kFormatBmp)->extension));
    if (!written.is_ok()) {
      return not_written(names.bitmap, written);
    }
    const status segment =
        write_page_segment(run_.files, settings_.job, names.bitmap, std::string(), names.output,
                           settings_.segment_options);
    (void)run_.files.remove(names.bitmap);
    return segment.is_ok() ? converted : not_written(names.output, segment);
  }

  // The source (or one of its pages) cannot be read.
  converter_result not_readable(const status& failure) {
    if (settings_.job.report_create_report == 1) {
      // The single-file report names the file only; a PSE run's also says it
      // was not converted, as every failed PSE run does. The line under the
      // name holds the reason alone: the image library's description repeats
      // the name and adds the place in its own source that raised it.
      const std::string reason = unreadable_reason(failure, source_);
      report_unreadable_source(report_, source_, batch_ ? &reason : nullptr);
      if (!batch_ && routed(write_route::page_segment)) {
        report_not_converted(report_, source_);
      }
    }
    return not_converted;
  }

  // The source cannot be converted at all, before any output is named.
  converter_result refused(const status& failure) {
    run_.messages.say("cannot convert " + source_ + ": " + failure.text());
    if (!batch_ && settings_.job.report_create_report == 1) {
      report_not_converted(report_, source_);
    }
    return not_converted;
  }

  // An output could not be written: nothing of it is left. The batch wrapper
  // reports the file as not converted; in a single-file run that line is ours.
  converter_result not_written(const std::string& output, const status& failure) {
    run_.messages.say("cannot write " + output + ": " + failure.text());
    if (!batch_ && settings_.job.report_create_report == 1) {
      report_not_converted(report_, source_);
    }
    return not_converted;
  }

  engine_run& run_;
  const engine_settings& settings_;
  const std::string& source_;
  bool batch_;
  report_stream& report_;
  const format_route* route_;
  std::optional<magick::image_info> info_;  // the reading settings
  std::optional<magick::image_info> write_info_;
  option_list options_;
  bool fax_ = false;                 // raw fax data, read through the fax reader
  platform::file_info source_info_;  // what the source's name leads to
};

// Whether `text` is a place in the image library's source: "error/tiff.c/TIFFErrors/603".
bool is_source_location(std::string_view text) {
  std::size_t slashes = 0;
  for (const char c : text) {
    if (c == ' ') {
      return false;
    }
    slashes += c == '/' ? 1 : 0;
  }
  const std::size_t last = text.rfind('/');
  return slashes == 3 && last + 1 < text.size() &&
         text.find_first_not_of("0123456789", last + 1) == std::string_view::npos;
}

}  // namespace

std::string unreadable_reason(const status& failure, const std::string& path) {
  std::string reason = failure.reason();
  if (const std::size_t at = reason.rfind(" @ ");
      at != std::string::npos && is_source_location(std::string_view(reason).substr(at + 3))) {
    reason.erase(at);
  }
  if (const std::size_t quote = reason.rfind(" `");
      quote != std::string::npos && reason.ends_with('\'')) {
    reason.erase(quote);  // a description that is one quoted name
  }
  // The file's name quoted in the middle, as it was handed to the library
  // (with the prefix of a coder) or as it is.
  for (std::size_t at = 0; (at = reason.find(" `", at)) != std::string::npos;) {
    const std::size_t end = reason.find('\'', at + 2);
    if (end == std::string::npos) {
      break;
    }
    const std::string_view quoted = std::string_view(reason).substr(at + 2, end - at - 2);
    const std::size_t colon = quoted.find(':');
    if (quoted == path || (colon != std::string_view::npos && quoted.substr(colon + 1) == path)) {
      reason.erase(at, end + 1 - at);
    } else {
      at = end;
    }
  }
  if (const std::string named = path + ": "; reason.starts_with(named)) {
    reason.erase(0, named.size());
  }
  return reason.empty() ? failure.reason() : reason;
}

converter_result convert_source_file(engine_run& run, const std::string& source,
                                     report_stream& report) {
  return source_conversion(run, source, true, report).run();
}

converter_result convert_source_to_target(engine_run& run, const std::string& source,
                                          report_stream& report) {
  return source_conversion(run, source, false, report).run();
}

}  // namespace zq::engine
