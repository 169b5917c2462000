#include "engine/assembly.h"

#include <cstdio>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "engine/formats.h"
#include "engine/joined_output.h"
#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"
#include "engine/tiff_pages.h"
#include "platform/ini_file.h"

namespace zq::engine {
namespace {

using magick::image_ptr;
using magick::magick_status;

// The paths of the file list file, in key order up to the first missing or
// empty key. Every listed file is taken, however many there are.
std::vector<std::string> listed_files(const std::string& file_list_path) {
  std::unordered_map<std::string, std::string> values;
  for (auto& [key, value] : platform::ini_file::load(file_list_path).entries("FILES")) {
    values.emplace(key, std::move(value));  // the first of a key wins, as in find()
  }
  std::vector<std::string> files;
  for (std::size_t key = 0;; ++key) {
    const auto listed = values.find(std::to_string(key));
    if (listed == values.end() || listed->second.empty()) {
      return files;
    }
    files.push_back(std::move(listed->second));
  }
}

struct join_request {
  int format_code;
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
bool add_group4_pages(const std::string& path, double reading_density, joined_output& joined) {
  const std::size_t count = tiff_page_count(path);
  std::vector<std::pair<ccitt_page, tiff_resolution>> pages(count);
  for (std::size_t index = 0; index < count; ++index) {
    if (!find_embeddable_g4(path, static_cast<int>(index), pages[index].first,
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

// Joins every page of every readable input, in list order, a page at a time.
int join_files(engine_settings& settings, report_stream& report, const join_request& request,
               const std::vector<std::string>& files) {
  const bool reporting = settings.job.report_create_report == 1;
  const option_list list = join_list(settings, files, request);
  join_plan plan;
  if (!plan_join(list.elements(), reporting, report, plan)) {
    return 0;
  }
  magick::image_info reading;
  if (plan.reading_density) {
    reading.set_density(*plan.reading_density);
  }
  // The pages are written with the options' settings alone: the reading
  // density must not become the written pages' resolution.
  magick::image_info writing;
  writing.set_units_per_inch();
  writing.apply(plan.writing);

  std::string error;
  std::optional<joined_output> joined =
      joined_output::begin(request.format_code, &writing, request.output_path, error);
  if (!joined) {
    std::fprintf(stderr, "Zembrit_Quarnel: cannot write %s: %s\n", request.output_path.c_str(),
                 error.c_str());
    return 0;
  }
  // Pages that are Group 4 data already go into a Group 4 PDF unchanged,
  // unless the pages are resized.
  const bool copy_group4 = request.format_code == kFormatPdf && magick::asks_group4(writing) &&
                           settings.job.params_size.empty();
  const double reading_density = settings.job.params_density;

  std::string last_input = "(no file)";
  magick_status last_failure =
      magick_status::failed("no file in the file list", settings.file_list_path);
  for (const std::string& input : plan.inputs) {
    if (copy_group4 && add_group4_pages(listed_path(input), reading_density, *joined)) {
      continue;
    }
    magick_status read = reading.set_filename(input);
    const std::size_t count = read.is_ok() ? magick::ping_page_count(reading, read) : 0;
    for (std::size_t index = 0; index < count && read.is_ok(); ++index) {
      image_ptr page = magick::read_page(reading, index, read);
      if (!page) {
        break;
      }
      magick::mogrify_first(writing, plan.page_options, page);
      if (const magick_status added = joined->add_page(page.get()); !added.is_ok()) {
        std::fprintf(stderr, "Zembrit_Quarnel: cannot write %s: %s\n", request.output_path.c_str(),
                     added.text().c_str());
        return 0;
      }
    }
    if (!read.is_ok()) {
      last_input = input;
      last_failure = read;
    }
  }

  if (joined->page_count() == 0) {
    if (reporting) {
      report_unreadable_listed_file(report, last_input, last_failure.text());
    }
    return 0;
  }
  if (const magick_status written = joined->finish(); !written.is_ok()) {
    std::fprintf(stderr, "Zembrit_Quarnel: cannot write %s: %s\n", request.output_path.c_str(),
                 written.text().c_str());
    return 0;
  }
  return 1;
}

}  // namespace

int assemble_pdf(engine_settings& settings, report_stream& report) {
  const std::string& name = settings.job.pdf_pdf_name;
  std::string output =
      join_path(settings.target_folder, extension_of(name).empty() ? name + ".pdf" : name);
  normalize_by_rule(output);
  return join_files(
      settings, report,
      {kFormatPdf, pdf_compression_names(), settings.job.pdf_compression_type, output},
      listed_files(settings.file_list_path));
}

// An empty file list is reported as the PDF join reports it: the batch
// driver counts the file that started the join as converted, so without a
// line here a run that joined nothing would read as one that did.
int assemble_tiff(engine_settings& settings, report_stream& report) {
  return join_files(settings, report,
                    {kFormatTiff, tiff_compression_names(), settings.job.tiff_compression_type,
                     join_path(settings.target_folder, settings.job.tiff_tif_name + ".tif")},
                    listed_files(settings.file_list_path));
}

}  // namespace zq::engine
