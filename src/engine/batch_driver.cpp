#include "engine/batch_driver.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "common/paths.h"
#include "engine/conversion.h"
#include "engine/formats.h"
#include "common/ascii.h"
#include "platform/ini_file.h"
#include "platform/system.h"

namespace zq::engine {
namespace {

std::string normalized_by_rule(std::string path) {
  normalize_by_rule(path);
  return path;
}

// Nothing fails silently, but a report that cannot be opened is no reason to
// leave a file unconverted: the reason goes to standard error instead.
report_stream open_report(const std::string& path, bool append) {
  std::string error;
  report_stream report =
      append ? report_stream::append(path, &error) : report_stream::create(path, &error);
  if (!report.is_open()) {
    std::fprintf(stderr, "Zembrit_Quarnel: cannot open the report %s: %s\n", path.c_str(),
                 error.c_str());
  }
  return report;
}

// Folder entries, or none when the folder cannot be read: a walk then has
// nothing to hand over there, and says why on standard error.
std::vector<platform::folder_entry> entries_of(const std::string& folder,
                                               const std::string& pattern) {
  std::vector<platform::folder_entry> entries;
  if (const status listed = platform::enumerate_folder(folder, pattern, entries); !listed.is_ok()) {
    std::fprintf(stderr, "Zembrit_Quarnel: %s\n", listed.reason().c_str());
  }
  return entries;
}

// The recursive walk takes "a.tif", "a.TIF", "a.tiff" and "a.tifx" alike.
bool has_tiff_extension(const std::string& name) {
  constexpr std::string_view kTiff = ".tif";
  const std::string extension = extension_of(name);
  return extension.size() >= kTiff.size() &&
         equals_ignoring_ascii_case(
             std::string_view(extension).substr(0, kTiff.size()), kTiff);
}

bool is_dot_name(const std::string& name) { return !name.empty() && name.front() == '.'; }

// Hands one file to the converter as every walk does: it becomes the current
// file and counts as handed over whatever the result.
int hand_over(engine_settings& settings, const std::string& path, report_stream& report,
              const batch_converter& convert) {
  settings.current_file = path;
  const int result = convert(settings, path, report);
  ++settings.files_count;
  return result;
}

}  // namespace

int convert_batch_file(engine_settings& settings, const std::string& path, report_stream& report) {
  report_stream per_file;
  const bool own_report = uses_per_file_reports(settings.job);
  if (own_report) {
    per_file = open_report(per_file_report_path(settings, path), false);
    write_report_header(per_file, settings, nullptr, nullptr);
  }
  report_stream& stream = own_report ? per_file : report;

  const int outcome = convert_source_file(settings, path, stream);
  if (settings.job.report_create_report == 1) {
    if (outcome != kNotConverted) {
      report_converted(stream, path);
    } else {
      report_not_converted(stream, path);
    }
  }
  if (own_report) {
    write_report_footer(per_file, settings);
  }
  return outcome == kStopResult ? kStopResult : kConverted;
}

bool walk_source_folder(engine_settings& settings, report_stream& report,
                        const batch_converter& convert) {
  const std::string& pattern = settings.search_pattern;
  for (const platform::folder_entry& entry :
       entries_of(folder_of(pattern), file_name_of(pattern))) {
    if (entry.is_directory) {
      continue;
    }
    const std::string path = normalized_by_rule(join_path(settings.source_folder, entry.name));
    if (hand_over(settings, path, report, convert) == kStopResult) {
      return true;
    }
  }
  return false;
}

void walk_folder_tree(engine_settings& settings, report_stream& report, const std::string& folder,
                      const batch_converter& convert) {
  for (const platform::folder_entry& entry : entries_of(folder, "*.*")) {
    if (entry.is_directory && !is_dot_name(entry.name)) {
      walk_folder_tree(settings, report, join_normalized(folder, entry.name), convert);
      continue;
    }
    if (!has_tiff_extension(entry.name)) {
      continue;
    }
    const std::string path = normalized_by_rule(join_path(folder, entry.name));
    if (hand_over(settings, path, report, convert) == kStopResult) {
      return;
    }
  }
}

int write_file_list(engine_settings& settings, const std::string& folder) {
  const std::vector<platform::folder_entry> entries = entries_of(folder, "*.*");
  // The list is set key by key and written once: nobody reads it before this
  // returns, and a run cut short half-way has no use for half a list.
  platform::ini_file list = platform::ini_file::load(settings.file_list_path);
  int number = 0;
  for (const platform::folder_entry& entry : entries) {
    if (entry.is_directory) {
      continue;
    }
    settings.current_file = normalized_by_rule(join_path(folder, entry.name));
    list.set("FILES", std::to_string(number++), settings.current_file);
  }
  if (number == 0) {
    return 1;
  }
  if (const status saved = list.save(); !saved.is_ok()) {
    std::fprintf(stderr, "Zembrit_Quarnel: cannot write the file list %s: %s\n",
                 settings.file_list_path.c_str(), saved.reason().c_str());
  }
  return 1;
}

void run_batch_walk(engine_settings& settings, report_stream& report,
                    const batch_converter& convert) {
  if (settings.job.params_recurse == 1) {
    walk_folder_tree(settings, report, settings.source_folder, convert);
  } else if (settings.format_code == kFormatPdf && settings.job.pdf_adjoin == 1) {
    // Reading the last listed file hands the whole list to the join, which
    // ends the batch; the files are not counted and no footer follows.
    write_file_list(settings, settings.source_folder);
    const std::string last_listed = settings.current_file;
    convert(settings, last_listed, report);
    return;
  } else if (walk_source_folder(settings, report, convert)) {
    return;
  }
  if (uses_shared_report(settings.job)) {
    write_report_footer(report, settings);
  }
}

int convert_single_file(engine_settings& settings, std::string source, std::string target) {
  const bool reporting = settings.job.report_create_report == 1;
  report_stream report;
  if (reporting) {
    // Appended, so that the runs the front end makes file by file stack their
    // blocks in one report.
    report =
        open_report(settings.job.report_use_tiff_name == 1 ? per_file_report_path(settings, source)
                                                           : shared_report_path(settings),
                    true);
    write_report_header(report, settings, &source, &target);
  }

  // A failure has its lines from the conversion already: the unreadable
  // source, or for a page segment or an output that could not be written,
  // "Could not convert".
  if (convert_source_to_target(settings, source, target, report) == kConverted && reporting) {
    report_converted(report, source);
  }

  if (reporting) {
    write_report_footer(report, settings);
  }
  return 1;
}

}  // namespace zq::engine
