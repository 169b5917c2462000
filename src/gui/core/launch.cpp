#include "gui/core/launch.h"

#include <utility>

#include "common/paths.h"
#include "gui/core/output_path.h"
#include "jobfile/engine_command.h"
#include "jobfile/formats.h"

namespace zq::gui {

bool launch_conversion(const dialog_values& values, const std::string& job_file,
                       picked_file_list& picked, user_dialogs& ui,
                       const std::function<std::vector<status>(const run_settings&)>& run_dialog,
                       platform::file_system& files) {
  if (job_file.empty()) {
    ui.error(kNoJobFileMessage, dialog_control::job_file);
    return false;
  }
  if (job_file.find(kFieldSeparator) != std::string::npos) {
    ui.error("Cannot launch with the job file " + job_file + ": its path holds \"" +
                 kFieldSeparator + "\", which the engine's command line cannot carry",
             dialog_control::job_file);
    return false;
  }
  if (!save_job_file(values, job_file, ui, files).saved()) {
    ui.error(kNotLaunchedMessage);
    return false;
  }
  const std::optional<run_settings> run = collect_run_settings(values, ui, files);
  if (!run) {
    return false;
  }
  const std::vector<status> not_handed_over = run_dialog(*run);
  picked.clear();
  if (!not_handed_over.empty()) {
    ui.error(reasons_text(not_handed_over));
  }
  return true;
}

std::string engine_path(const std::string& folder) {
  return join_normalized(folder, kEngineProgramName);
}

conversion_run::conversion_run(const run_settings& run, picked_file_list& picked,
                               std::string job_file, std::string engine, engine_starter& starter,
                               events on, platform::file_system& files)
    : run_(run),
      picked_(picked),
      job_file_(std::move(job_file)),
      engine_(std::move(engine)),
      starter_(starter),
      on_(std::move(on)),
      files_(files) {}

void conversion_run::begin() {
  if (picked_.empty()) {
    file_picker walk(picked_, nullptr, files_);
    if (run_.recursive) {
      walk.add_folder_tree_files(run_.source_folder);
    } else {
      walk.add_folder_files(run_.source_folder);
    }
  }
  on_.progress(0, picked_.size());
  start_next();
}

void conversion_run::stop() { stop_requested_ = true; }

std::optional<std::string> conversion_run::engine_argument(const std::string& source,
                                                           status& refused) {
  const std::string output = compute_output_path(run_, source, files_);
  if (output.empty()) {
    refused = status::error(
        "Not converted: " + source +
            (find_format(run_.format_code) == nullptr ? ": no target format is chosen"
                                                      : ": its output path would be too long"),
        source);
    return std::nullopt;
  }
  for (const std::string* field : {&source, &output}) {
    if (field->find(kFieldSeparator) != std::string::npos) {
      refused =
          status::error("Not converted: " + source + ": the path " + *field + " holds \"" +
                            kFieldSeparator + "\", which the engine's command line cannot carry",
                        source);
      return std::nullopt;
    }
  }
  std::string argument = single_file_command(source, output, job_file_);
  normalize_path(argument);
  return argument;
}

void conversion_run::start_next() {
  if (starting_) {
    // An engine that ended before start() returned: the loop below goes on.
    start_again_ = true;
    return;
  }
  starting_ = true;
  do {
    start_again_ = false;
    if (stop_requested_ || done_ >= picked_.size()) {
      starting_ = false;
      on_.finished();
      return;
    }
    const std::string& source = picked_[done_];
    on_.file_started(source);
    status refused = status::ok();
    const std::optional<std::string> argument = engine_argument(source, refused);
    if (!argument) {
      // Handing such a file over would convert nothing, or the wrong file;
      // it is named after the run instead.
      not_handed_over_.push_back(std::move(refused));
      ++done_;
      on_.progress(done_, picked_.size());
      start_again_ = true;
      continue;
    }
    running_ = true;
    starter_.start(engine_, *argument, [this](status outcome) { ended(outcome); });
  } while (start_again_);
  starting_ = false;
}

void conversion_run::ended(const status& outcome) {
  running_ = false;
  if (!outcome.is_ok()) {
    on_.stuck(outcome);
    return;
  }
  ++done_;
  on_.progress(done_, picked_.size());
  start_next();
}

std::optional<std::string> find_last_log(const std::string& job_temp_folder,
                                         platform::file_system& files) {
  for (const std::string& folder : {job_temp_folder, files.temp_path()}) {
    if (folder.empty()) {
      continue;
    }
    std::string path = join_normalized(folder, kReportFileName);
    if (files.stat_target(path).kind == platform::file_kind::regular) {
      return path;
    }
  }
  return std::nullopt;
}

void show_last_log(const std::string& job_temp_folder, desktop_opener& opener, user_dialogs& ui,
                   platform::file_system& files) {
  const std::optional<std::string> log = find_last_log(job_temp_folder, files);
  if (!log) {
    ui.information(kNoLogMessage);
    return;
  }
  if (!opener.open(*log)) {
    ui.error("Cannot open " + *log + ": no program could be started for it");
  }
}

}  // namespace zq::gui
