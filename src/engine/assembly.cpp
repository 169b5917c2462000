#include "engine/assembly.h"

#include <cstdio>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/paths.h"
#include "engine/formats.h"
#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"
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

// Walks the list like a command-line converter: inputs are read with the
// settings of the options before them, options change the settings. Every page
// of every readable input is gathered, in list order.
int join_files(engine_settings& settings, report_stream& report, const join_request& request,
               const std::vector<std::string>& files) {
  const bool reporting = settings.job.report_create_report == 1;
  const option_list list = join_list(settings, files, request);
  const std::span<const std::string> elements = list.elements();
  const std::size_t output_index = elements.size() - 1;

  magick::image_info info;
  info.set_units_per_inch();
  image_ptr gathered;
  std::string last_input = "(no file)";
  magick_status last_failure =
      magick_status::failed("no file in the file list", settings.file_list_path);
  for (std::size_t index = 1; index < output_index;) {
    const std::string& element = elements[index];
    if (!is_option_element(element)) {
      magick_status read = info.set_filename(element);
      image_ptr pages = read.is_ok() ? magick::read_images(info, read) : nullptr;
      if (pages) {
        // Only the program name and inputs come before an input in these
        // lists, so the pages need no options of their own here.
        magick::append_images(gathered, std::move(pages));
      } else {
        last_input = element;
        last_failure = read;
      }
      ++index;
      continue;
    }
    magick::image_info_changes changes;
    const option_step step =
        interpret_option(elements, index, interpreter_form::join, magick::is_geometry, changes);
    if (step.failure) {
      if (reporting && !step.failure->empty()) {
        report_bad_argument(report, *step.failure);
      }
      return 0;
    }
    info.apply(changes);
    index = step.next;
  }

  if (!gathered) {
    if (reporting) {
      report_unreadable_listed_file(report, last_input, last_failure.text());
    }
    return 0;
  }
  if (is_option_element(elements[output_index - 1])) {
    magick::mogrify_all(info, list, static_cast<int>(output_index), gathered);
  }
  const target_format* format = find_format(request.format_code);
  const magick_status written = magick::write_images(
      info, gathered.get(), request.output_path, magick::coder_for_extension(format->extension));
  if (!written.is_ok()) {
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

int assemble_tiff(engine_settings& settings, report_stream& report) {
  const std::vector<std::string> files = listed_files(settings.file_list_path);
  if (files.empty()) {
    return 0;
  }
  return join_files(settings, report,
                    {kFormatTiff, tiff_compression_names(), settings.job.tiff_compression_type,
                     join_path(settings.target_folder, settings.job.tiff_tif_name + ".tif")},
                    files);
}

}  // namespace zq::engine
