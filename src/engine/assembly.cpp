#include "engine/assembly.h"

#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "common/diagnostics.h"
#include "common/paths.h"
#include "engine/conversion.h"
#include "engine/format_routes.h"
#include "engine/joined_output.h"
#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"
#include "engine/tiff_pages.h"
#include "jobfile/file_list_file.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

using magick::image_ptr;

struct join_request {
  const format_route& route;
  std::span<const std::string_view> compression_names;
  int compression_type;
  std::string output_path;
};

// The join's list, as a command line would give it: the inputs, forced to be
// read as TIFF, the options, the output path.
option_list join_list(const engine_settings& settings, const std::vector<std::string>& files,
                      const join_request& request) {
  option_list list;
  for (const std::string& file : files) {
    list.append("TIFF:" + file);
  }
  list.append("-colorspace");
  list.append("rgb");
  list.append("-density");
  list.append(std::to_string(settings.job.params_density) + "x" +
              std::to_string(settings.job.params_density));
  // A code outside the table adds no compression, so the writer's default
  // applies instead of the next option being taken for a compression name.
  const int code = request.compression_type;
  if (code >= 0 && static_cast<std::size_t>(code) < request.compression_names.size()) {
    list.append("-compress");
    list.append(std::string(request.compression_names[static_cast<std::size_t>(code)]));
  }
  if (!settings.job.params_size.empty()) {
    list.append("-sample");
    list.append(settings.job.params_size + "!");
  }
  list.append("-adjoin");
  list.append(request.output_path);
  return list;
}

// Settings of the join taken from its list: the inputs in order, the writing
// settings of every page, the reading density, and the options that process
// each page.
struct join_plan {
  std::vector<std::string> inputs;
  magick::image_info_changes writing;
  std::optional<std::string> reading_density;
  option_list page_options;
};

// Interprets the list's options; false after reporting an option that fails.
// The density is the resolution at which sources without one of their own are
// read, as in every other conversion; applied to the written pages it would
// replace the sources' own resolution and distort a fax of 204 x 98 dpi.
bool plan_join(std::span<const std::string> elements, bool reporting, report_stream& report,
               join_plan& plan) {
  const std::size_t output_index = elements.size() - 1;
  for (std::size_t index = 1; index < output_index;) {
    const std::string& element = elements[index];
    if (!is_option_element(element)) {
      plan.inputs.push_back(element);
      ++index;
      continue;
    }
    const option_step step = interpret_option(elements, index, interpreter_form::join,
                                              magick::is_geometry, plan.writing);
    if (step.failure) {
      if (reporting && !step.failure->empty()) {
        report_bad_argument(report, *step.failure);
      }
      return false;
    }
    if (plan.writing.density) {
      plan.reading_density = std::exchange(plan.writing.density, std::nullopt);
    } else {
      for (std::size_t taken = index; taken < step.next; ++taken) {
        plan.page_options.append(elements[taken]);
      }
    }
    index = step.next;
  }
  return true;
}

// The path a listed element names, without the reader's prefix.
std::string listed_path(const std::string& element) {
  constexpr std::string_view kPrefix = "TIFF:";
  return element.starts_with(kPrefix) ? element.substr(kPrefix.size()) : element;
}

// Adds every page of one listed TIFF whose pages are all Group 4 data that a
// PDF can hold as it stands; false, adding nothing, for any other file.
bool add_group4_pages(platform::file_system& files, const std::string& path, double reading_density,
                      joined_output& joined) {
  const std::size_t count = tiff_page_count(path);
  std::vector<std::pair<ccitt_page, tiff_resolution>> pages(count);
  for (std::size_t index = 0; index < count; ++index) {
    if (!find_embeddable_g4(files, path, static_cast<int>(index), pages[index].first,
                            pages[index].second)) {
      return false;
    }
  }
  for (auto& [page, resolution] : pages) {
    const bool own = resolution.x > 0;
    const magick::pdf_resolution layout = magick::pdf_page_resolution(
        own ? resolution.x : reading_density, own ? resolution.y : reading_density,
        own && resolution.per_centimetre);
    if (!joined.add_encoded(std::move(page), layout).is_ok()) {
      return false;
    }
  }
  return count > 0;
}

// The coding in which fax pages can go into a joined TIFF without the image
// library: the list asks for Group 3 or Group 4 and no colour change that
// could reach a black and white page (fax_coding_for; the join's list always
// asks for rgb), and no resizing. Nothing otherwise.
std::optional<fax_coding> fax_join_coding(const engine_settings& settings,
                                          const join_request& request, const join_plan& plan) {
  if (request.route.join_pages != join_tiff_files || !settings.job.params_size.empty() ||
      settings.job.params_density <= 0) {
    return std::nullopt;
  }
  return fax_coding_for(plan.writing);
}

// Joins every page of every readable input, in list order, a page at a time.
bool join_files(engine_run& run, report_stream& report, const join_request& request,
                const std::vector<std::string>& files) {
  const engine_settings& settings = run.settings;
  const bool reporting = settings.job.report_create_report == 1;
  const option_list list = join_list(settings, files, request);
  join_plan plan;
  if (!plan_join(list.elements(), reporting, report, plan)) {
    return false;
  }
  auto not_written = [&](const status& failure) {
    run.messages.say("cannot write " + request.output_path + ": " + failure.text());
    return false;
  };
  // The image library's reading and writing settings, made for the first
  // page that goes through it: a join of fax pages alone never starts it.
  std::optional<magick::image_info> reading;
  std::optional<magick::image_info> writing;
  auto library_settings = [&] {
    if (!reading) {
      reading.emplace();
      if (plan.reading_density) {
        reading->set_density(*plan.reading_density);
      }
      // The pages are written with the options' settings alone: the reading
      // density must not become the written pages' resolution.
      writing.emplace();
      writing->set_units_per_inch();
      writing->apply(plan.writing);
    }
  };

  result<joined_output> joined =
      joined_output::begin(run.files, request.route, request.output_path);
  if (!joined.is_ok()) {
    return not_written(joined.status());
  }
  // Pages that are Group 4 data already go into a Group 4 PDF unchanged,
  // unless the pages are resized.
  const bool copy_group4 = request.route.route == write_route::pdf_pages &&
                           magick::asks_group4(plan.writing) && settings.job.params_size.empty();
  const double reading_density = settings.job.params_density;
  // Fax pages that the writer would store with the same pixels go into a
  // Group 3 or Group 4 TIFF without being decoded into the pixel cache.
  const std::optional<fax_coding> fax = fax_join_coding(settings, request, plan);
  std::vector<fax_page> fax_pages;
  // What the output's name leads to now. A listed file that is that very file
  // would be gone once the join is moved into place, so the join is refused
  // when that file gives it pages; one that gives none (an earlier joined PDF,
  // which is never read) is replaced like any earlier output.
  const platform::file_info replaced = run.files.stat_target(request.output_path);

  std::string last_input = "(no file)";
  status last_failure = status::error("no file in the file list " + settings.file_list_path);
  for (const std::string& input : plan.inputs) {
    const std::string path = listed_path(input);
    const platform::file_info listed = run.files.stat_target(path);
    if (listed.kind != platform::file_kind::regular &&
        listed.kind != platform::file_kind::missing) {
      // Never opened: a FIFO would keep the join waiting for a writer for
      // ever, and a device may never end.
      last_input = input;
      last_failure = status::error("not a regular file", path);
      continue;
    }
    const std::size_t pages_before = joined->page_count();
    auto replaces_listed = [&] {
      return joined->page_count() > pages_before && platform::same_file(listed, replaced);
    };
    auto refuse = [&] {
      return not_written(status::error("the output would replace the listed file " + path));
    };
    if (copy_group4 && add_group4_pages(run.files, path, reading_density, *joined)) {
      if (replaces_listed()) {
        return refuse();
      }
      continue;
    }
    if (fax && listed.kind == platform::file_kind::regular &&
        find_fax_pages(path, *fax, reading_density, fax_pages)) {
      joined->add_fax_pages(std::move(fax_pages));
      fax_pages.clear();
      if (replaces_listed()) {
        return refuse();
      }
      continue;
    }
    library_settings();
    status read = reading->set_filename(input);
    std::size_t count = 0;
    if (read.is_ok()) {
      result<std::size_t> pinged = magick::ping_page_count(*reading);
      read = pinged.status();
      count = pinged.is_ok() ? *pinged : 0;
    }
    magick::page_sequence pages(*reading, 0, count);
    for (std::size_t index = 0; index < count && read.is_ok(); ++index) {
      result<image_ptr> page = pages.next();
      if (!page.is_ok()) {
        read = page.status();
        break;
      }
      if (const status applied = magick::mogrify_first(*writing, plan.page_options, *page);
          !applied.is_ok()) {
        return not_written(applied);
      }
      if (const status added = joined->add_page(*writing, page->get()); !added.is_ok()) {
        return not_written(added);
      }
    }
    if (replaces_listed()) {
      return refuse();
    }
    if (!read.is_ok()) {
      last_input = input;
      last_failure = read;
    }
  }

  if (joined->page_count() == 0) {
    if (reporting) {
      // The reason alone, as for every source that cannot be read.
      report_unreadable_listed_file(report, last_input,
                                    unreadable_reason(last_failure, listed_path(last_input)));
    }
    return false;
  }
  if (const status written = joined->finish(); !written.is_ok()) {
    return not_written(written);
  }
  return true;
}

}  // namespace

bool assemble_pdf(engine_run& run, report_stream& report) {
  const engine_settings& settings = run.settings;
  const std::string& name = settings.job.pdf_pdf_name;
  std::string output =
      join_path(settings.target_folder, extension_of(name).empty() ? name + ".pdf" : name);
  normalize_by_rule(output);
  return join_files(
      run, report,
      {*find_route(kFormatPdf), pdf_compression_names(), settings.job.pdf_compression_type, output},
      read_file_list_file(settings.file_list_path));
}

// An empty file list is reported as the PDF join reports it: the batch
// driver counts the file that started the join as converted, so without a
// line here a run that joined nothing would read as one that did.
bool assemble_tiff(engine_run& run, report_stream& report) {
  const engine_settings& settings = run.settings;
  return join_files(
      run, report,
      {*find_route(kFormatTiff), tiff_compression_names(), settings.job.tiff_compression_type,
       join_path(settings.target_folder, settings.job.tiff_tif_name + ".tif")},
      read_file_list_file(settings.file_list_path));
}

}  // namespace zq::engine
