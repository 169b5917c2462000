#include "engine/batch_driver.h"

#include <memory>
#include <string_view>
#include <vector>

#include "common/diagnostics.h"
#include "common/paths.h"
#include "engine/conversion.h"
#include "jobfile/file_list_file.h"
#include "platform/file_system.h"
#include "platform/staged_output.h"

namespace zq::engine {
namespace {

std::string normalized_by_rule(std::string path) {
  normalize_by_rule(path);
  return path;
}

// Nothing fails silently, but a report that cannot be opened is no reason to
// leave a file unconverted: the reason goes to standard error instead, and
// the run ends with the exit code of a failed report.
report_stream open_report(engine_run& run, const std::string& path, platform::open_mode mode) {
  result<report_stream> report = report_stream::open(run.files, path, mode);
  if (!report.is_ok()) {
    run.messages.say("cannot open the report " + path + ": " + report.status().reason());
    run.state.report_failed = true;
    return report_stream();
  }
  return std::move(*report);
}

// The joined PDF's own list starts as a copy of the list file that the front
// end may have left, so that the join takes that list's surplus keys as it
// always did. Only a list of this user's is copied.
void copy_file_list(engine_run& run, const std::string& from, const std::string& to) {
  const result<std::unique_ptr<platform::held_lock>> held =
      run.files.lock_own_file(from, platform::file_lock::shared, platform::kLockPatience);
  if (!held.is_ok()) {
    if (run.files.stat(from).kind != platform::file_kind::missing) {
      run.messages.say("the file list " + from + " is not read: " + held.status().reason());
    }
    return;
  }
  result<std::string> bytes = run.files.read_file(from, kMaxFileListSize);
  status copied = bytes.status();
  if (copied.is_ok()) {
    copied = platform::write_file_atomically(run.files, to, *bytes);
  }
  if (!copied.is_ok()) {
    run.messages.say("cannot copy the file list " + from + ": " + copied.reason());
  }
}

// A join of the list the front end wrote reads it itself; a list that is
// refused (someone else's, or no file at all) is said here, where the run
// can still say why the join finds nothing in it.
void check_shared_file_list(engine_run& run) {
  const std::string& path = run.settings.file_list_path;
  if (path.empty()) {
    return;
  }
  if (const result<std::vector<std::string>> listed = read_own_file_list(run.files, path);
      !listed.is_ok()) {
    run.messages.say("the file list " + path + " is not read: " + listed.status().reason());
  }
}

bool joins_file_list(const engine_settings& settings) {
  const format_route* route = find_route(settings.format_code);
  return route != nullptr && route->assemble != nullptr &&
         is_single_output(route->format, settings.job);
}

// Folder entries, or none when the folder cannot be read: a walk then has
// nothing to hand over there, and says why.
std::vector<platform::folder_entry> entries_of(engine_run& run, const std::string& folder,
                                               const std::string& pattern) {
  std::vector<platform::folder_entry> entries;
  if (const status listed = run.files.enumerate(folder, pattern, entries); !listed.is_ok()) {
    run.messages.say(listed.reason());
  }
  return entries;
}

bool is_dot_name(const std::string& name) { return !name.empty() && name.front() == '.'; }

// Hands one file to the converter as every walk does: it becomes the current
// file and counts as handed over whatever the result.
converter_result hand_over(engine_run& run, const std::string& path, report_stream& report,
                           const batch_converter& convert) {
  run.state.current_file = path;
  const converter_result outcome = convert(run, path, report);
  ++run.state.files_count;
  return outcome;
}

}  // namespace

converter_result convert_batch_file(engine_run& run, const std::string& path,
                                    report_stream& report) {
  const engine_settings& settings = run.settings;
  report_stream per_file;
  const bool own_report = uses_per_file_reports(settings.job);
  if (own_report) {
    per_file =
        open_report(run, per_file_report_path(settings, path), platform::open_mode::truncate);
    write_report_header(per_file, settings, nullptr, nullptr);
  }
  report_stream& stream = own_report ? per_file : report;

  const converter_result outcome = convert_source_file(run, path, stream);
  if (settings.job.report_create_report == 1) {
    if (outcome == converter_result::converted || outcome == converter_result::stop) {
      report_converted(stream, path);
    } else {
      report_not_converted(stream, path);
    }
  }
  if (own_report) {
    write_report_footer(per_file, run.state.files_count);
    check_report_written(run, per_file, per_file_report_path(settings, path));
  }
  const bool joined =
      outcome == converter_result::stop || outcome == converter_result::stop_not_converted;
  return joined ? converter_result::stop : converter_result::converted;
}

bool writes_own_file_list(const engine_settings& settings) {
  const format_route* route = find_route(settings.format_code);
  return settings.job.params_recurse != 1 && route != nullptr && route->lists_source_folder &&
         is_single_output(route->format, settings.job);
}

bool stop_requested(const run_state& state) {
  return state.stop_signal != nullptr && *state.stop_signal != 0;
}

void check_report_written(engine_run& run, const report_stream& report, const std::string& path) {
  if (!report.failure().is_ok()) {
    run.messages.say("the report " + path +
                     " could not be written whole: " + report.failure().reason());
    run.state.report_failed = true;
  }
}

bool walk_source_folder(engine_run& run, report_stream& report, const batch_converter& convert) {
  const std::string& pattern = run.settings.search_pattern;
  for (const platform::folder_entry& entry :
       entries_of(run, folder_of(pattern), file_name_of(pattern))) {
    if (stop_requested(run.state)) {
      return false;
    }
    if (entry.is_directory) {
      continue;
    }
    const std::string path = normalized_by_rule(join_path(run.settings.source_folder, entry.name));
    if (hand_over(run, path, report, convert) == converter_result::stop) {
      return true;
    }
  }
  return false;
}

void walk_folder_tree(engine_run& run, report_stream& report, const std::string& folder,
                      const batch_converter& convert) {
  for (const platform::folder_entry& entry : entries_of(run, folder, "*.*")) {
    if (stop_requested(run.state)) {
      return;
    }
    if (entry.is_directory && !is_dot_name(entry.name)) {
      walk_folder_tree(run, report, join_normalized(folder, entry.name), convert);
      continue;
    }
    if (!has_tiff_extension(entry.name)) {
      continue;
    }
    const std::string path = normalized_by_rule(join_path(folder, entry.name));
    if (hand_over(run, path, report, convert) == converter_result::stop) {
      return;
    }
  }
}

void write_file_list(engine_run& run, const std::string& folder) {
  std::vector<std::string> listed;
  for (const platform::folder_entry& entry : entries_of(run, folder, "*.*")) {
    if (!entry.is_directory) {
      listed.push_back(normalized_by_rule(join_path(folder, entry.name)));
    }
  }
  if (listed.empty()) {
    return;
  }
  run.state.current_file = listed.back();
  const std::string& path = run.settings.file_list_path;
  if (const status saved = update_file_list_file(path, listed); !saved.is_ok()) {
    run.messages.say("cannot write the file list " + path + ": " + saved.reason());
  }
}

void run_batch_walk(engine_run& run, report_stream& report, const batch_converter& convert) {
  const engine_settings& settings = run.settings;
  if (writes_own_file_list(settings)) {
    engine_settings own = settings;
    if (!settings.work_folder.empty()) {
      own.file_list_path = join_normalized(settings.work_folder, kFileListName);
      copy_file_list(run, settings.file_list_path, own.file_list_path);
    }
    engine_run own_run{own, run.state, run.files, run.messages};
    // Reading the last listed file hands the whole list to the join, which
    // ends the batch; the files are not counted and no footer follows.
    write_file_list(own_run, settings.source_folder);
    if (stop_requested(run.state)) {
      return;
    }
    const std::string last_listed = run.state.current_file;
    convert(own_run, last_listed, report);
    return;
  }
  if (joins_file_list(settings)) {
    check_shared_file_list(run);
  }
  if (settings.job.params_recurse == 1) {
    walk_folder_tree(run, report, settings.source_folder, convert);
  } else if (walk_source_folder(run, report, convert)) {
    return;
  }
  if (stop_requested(run.state)) {
    return;
  }
  if (uses_shared_report(settings.job)) {
    write_report_footer(report, run.state.files_count);
  }
}

void convert_single_file(engine_run& run) {
  const engine_settings& settings = run.settings;
  const std::string& source = settings.source_file;
  const bool reporting = settings.job.report_create_report == 1;
  report_stream report;
  const std::string report_path = settings.job.report_use_tiff_name == 1
                                      ? per_file_report_path(settings, source)
                                      : shared_report_path(settings);
  if (reporting) {
    // Appended, so that the runs the front end makes file by file stack their
    // blocks in one report.
    report = open_report(run, report_path, platform::open_mode::append);
    write_report_header(report, settings, &source, &settings.target_file);
  }

  // A failure has its lines from the conversion already: the unreadable
  // source, or for a page segment or an output that could not be written,
  // "Could not convert".
  if (convert_source_to_target(run, source, report) == converter_result::converted && reporting) {
    report_converted(report, source);
  }

  if (reporting) {
    write_report_footer(report, run.state.files_count);
    check_report_written(run, report, report_path);
  }
}

}  // namespace zq::engine
