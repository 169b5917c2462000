#include "engine/engine_entry.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/diagnostics.h"
#include "common/paths.h"
#include "engine/batch_driver.h"
#include "engine/command_line.h"
#include "engine/engine_settings.h"
#include "engine/pse_step.h"
#include "engine/report.h"
#include "jobfile/engine_command.h"
#include "jobfile/file_list_file.h"
#include "jobfile/formats.h"
#include "jobfile/job_keys.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace zq::engine {
namespace {

// Start-up messages. The file gets exactly the bytes it always had; standard
// error gets the same text so that a script sees why nothing happened.
class error_file {
 public:
  error_file(platform::file_system& files, const std::string& path, diagnostics& messages)
      : messages_(messages) {
    // A file that cannot be created loses the start-up messages, never the run.
    if (auto opened = files.open_for_write(path, platform::open_mode::truncate); opened.is_ok()) {
      file_ = std::move(*opened);
    }
  }

  void write(const std::string& text) {
    std::string message = text;
    while (message.ends_with("\r\n")) {
      message.resize(message.size() - 2);
    }
    if (!message.empty()) {
      messages_.say(message);
    }
    if (file_) {
      (void)file_->append(text);
    }
  }

 private:
  diagnostics& messages_;
  std::unique_ptr<platform::writable_file> file_;
};

std::string too_long(const std::string& what, std::size_t length, std::size_t limit) {
  return what + " too long: " + std::to_string(length) + " bytes, at most " +
         std::to_string(limit) + "\r\n";
}

// A refusal of the run: the text for the error file, nothing when the run
// simply ends.
using refusal = std::optional<std::string>;

// A job file is a few kilobytes; anything near this is not one, and is never
// read into memory.
constexpr std::uint64_t kMaxJobFileSize = std::uint64_t{1} << 20;

class engine_start {
 public:
  engine_start(const engine_environment& environment, platform::file_system& files,
               diagnostics& messages)
      : environment_(environment),
        files_(files),
        messages_(messages),
        errors_(files, join_normalized(environment.system_temp_path, "error.txt"), messages) {}

  std::optional<engine_settings> run(const std::string& command_text) {
    if (refusal refused = start(command_text)) {
      errors_.write(*refused);
      return std::nullopt;
    }
    return std::move(settings_);
  }

 private:
  refusal start(const std::string& command_text) {
    const std::string default_job_file =
        join_normalized(environment_.own_folder, "Zembrit_Quarnel.ini");
    if (command_text.size() > kMaxCommandLineLength) {
      return too_long("Command line", command_text.size(), kMaxCommandLineLength);
    }
    const std::vector<std::string> fields = split_command_line(command_text);
    const run_mode& mode = choose_run_mode(fields);
    if (fields.size() < mode.fields_needed) {
      if (mode.silent_when_short) {
        // The front end's own mode ends quietly: the error file stays empty.
        messages_.say("too few fields for a single-file run");
        return std::string();
      }
      return syntax_message(mode.fields_needed - fields.size(), fields);
    }
    for (const std::string& field : fields) {
      if (field.size() > kMaxPathLength) {
        return too_long("Command-line field", field.size(), kMaxPathLength);
      }
    }
    auto field = [&](std::size_t number) {
      return number != 0 && number <= fields.size() ? fields[number - 1] : std::string();
    };
    settings_.job_file = mode.uses_default_job_file ? default_job_file : field(mode.job_file_field);
    if (refusal refused = check_job_file()) {
      return refused;
    }
    const platform::ini_file job_file = platform::ini_file::load(settings_.job_file, files_);

    if (mode.kind == run_kind::single_file) {
      settings_.single_file = true;
      settings_.source_file = field(mode.source_field);
      settings_.target_file = field(mode.target_field);
      if (settings_.target_file.empty()) {
        if (refusal refused = derive_target_file(job_file)) {
          return refused;
        }
      }
      settings_.format_code = format_code_for_extension(extension_of(settings_.target_file));
    }

    if (refusal refused = read_folder(job_file, "temp", settings_.temp_folder)) {
      return refused;
    }
    if (settings_.temp_folder.empty()) {
      settings_.temp_folder = environment_.system_temp_path;
    }
    if (mode.kind == run_kind::batch) {
      if (refusal refused =
              read_required_folder(job_file, "source", "Source", settings_.source_folder)) {
        return refused;
      }
      if (refusal refused =
              read_required_folder(job_file, "target", "Target", settings_.target_folder)) {
        return refused;
      }
    }
    settings_.search_pattern = join_path(settings_.source_folder, "*.tif");
    normalize_by_rule(settings_.search_pattern);

    if (status read = read_job_settings(job_file, settings_.job); !read.is_ok()) {
      return read.reason() + "\r\n";
    }
    if (settings_.format_code == kFormatNone) {
      settings_.format_code = settings_.job.params_image_type;
    }
    if (mode.kind == run_kind::batch) {
      settings_.file_list_path = join_normalized(settings_.temp_folder, kFileListName);
    } else {
      take_explicit_target();
    }
    return std::nullopt;
  }

  // A single-file run writes where its target file says: the target's folder
  // replaces the target folder and its base name the source's. For a page
  // segment the text after a comma is for the bitmap library.
  void take_explicit_target() {
    std::string target = settings_.target_file;
    if (const target_format* format = find_format(settings_.format_code);
        format != nullptr && format->written_through_bitmap) {
      path_with_options split = split_options(target);
      target = std::move(split.path);
      settings_.segment_options = std::move(split.options);
    }
    settings_.target_folder = folder_of(target);
    if (settings_.target_folder.empty()) {
      // A bare file name names a file in the working folder, not in the root.
      settings_.target_folder = ".";
    }
    settings_.output_base_name = base_name_of(target);
  }

  // A missing job file is one without keys; but a FIFO would
  // hold the run for ever and a device or a huge file fill the memory, and a
  // run on defaults would convert with settings nobody chose.
  refusal check_job_file() {
    const std::string& path = settings_.job_file;
    const platform::file_info found = files_.stat_target(path);
    if (found.kind == platform::file_kind::missing) {
      return std::nullopt;
    }
    if (found.kind != platform::file_kind::regular) {
      return "Job file " + path + " is not a regular file\r\n";
    }
    if (found.size > kMaxJobFileSize) {
      return "Job file " + path + " too large: " + std::to_string(found.size) + " bytes, at most " +
             std::to_string(kMaxJobFileSize) + "\r\n";
    }
    return std::nullopt;
  }

  refusal read_folder(const platform::ini_file& job_file, const char* key, std::string& folder) {
    folder = job_file.read_string("FOLDERS", key);
    if (folder.size() > kMaxPathLength) {
      return too_long(std::string("[FOLDERS] ") + key, folder.size(), kMaxPathLength);
    }
    return std::nullopt;
  }

  refusal read_required_folder(const platform::ini_file& job_file, const char* key,
                               const char* label, std::string& folder) {
    if (refusal refused = read_folder(job_file, key, folder)) {
      return refused;
    }
    if (folder.empty()) {
      // The value read is always empty here; the line keeps its old form.
      return std::string(label) + " key not found\r\n()\r\n";
    }
    return std::nullopt;
  }

  // A "P" run that names no target: the front end's target for this source,
  // the target folder, the source's base name and the format's extension.
  refusal derive_target_file(const platform::ini_file& job_file) {
    std::string folder;
    if (refusal refused = read_required_folder(job_file, "target", "Target", folder)) {
      return refused;
    }
    // Such a run has no format from its target: it takes the one the front
    // end would show for the job file.
    const job_key& image_type = key_of(job_key_id::params_image_type);
    const int code =
        job_file.read_int(std::string(image_type.section), std::string(image_type.key),
                          platform::parse_profile_int(std::string(image_type.front_end_default)));
    const target_format* format = find_format(code);
    if (format == nullptr) {
      return "No target format for [PARAMS] image_type " + std::to_string(code) + "\r\n";
    }
    settings_.target_file = join_normalized(
        folder, base_name_of(settings_.source_file) + std::string(format->extension));
    return std::nullopt;
  }

  const engine_environment& environment_;
  platform::file_system& files_;
  diagnostics& messages_;
  error_file errors_;
  engine_settings settings_;
};

bool stop_asked(const volatile std::sig_atomic_t* stop_signal) {
  return stop_signal != nullptr && *stop_signal != 0;
}

// The file system as a run that may be asked to stop sees it: once asked, no
// new output is begun. Every output is staged in a folder of its own first,
// so a conversion in the middle of a document fails at its next page, as a
// full disk would make it fail, and its staging folders go as it unwinds.
class stoppable_file_system final : public platform::forwarding_file_system {
 public:
  stoppable_file_system(platform::file_system& base, const volatile std::sig_atomic_t* stop_signal)
      : forwarding_file_system(base), stop_signal_(stop_signal) {}

  result<std::string> make_private_folder(const std::string& folder,
                                          const std::string& prefix) override {
    if (stop_asked(stop_signal_)) {
      return status::error("Nothing more is written in " + folder + ": the run was asked to stop",
                           folder);
    }
    return forwarding_file_system::make_private_folder(folder, prefix);
  }

 private:
  const volatile std::sig_atomic_t* stop_signal_;
};

// Hidden, so that a walk over the temp folder never takes it for a source.
constexpr const char* kWorkFolderPrefix = ".zq-run-";

// The run's own folder in the temp folder, for the working files that two
// runs sharing a temp folder must never share: the bitmaps of page
// segments, the list of a joined PDF. Removed with everything in it when the
// run ends, however it ends short of the process being killed.
class work_folder {
 public:
  work_folder(platform::file_system& files, const engine_settings& settings, diagnostics& messages)
      : files_(files) {
    const target_format* format = find_format(settings.format_code);
    const bool needed = (format != nullptr && format->written_through_bitmap) ||
                        (!settings.single_file && writes_own_file_list(settings));
    if (!needed) {
      return;
    }
    result<std::string> made = files.make_private_folder(settings.temp_folder, kWorkFolderPrefix);
    if (!made.is_ok()) {
      // The working files then go into the temp folder itself, where they
      // most likely cannot be written either; each failure is reported.
      messages.say("cannot make the run's own folder: " + made.status().reason());
      return;
    }
    path_ = std::move(made).value();
  }
  ~work_folder() {
    if (!path_.empty()) {
      (void)files_.remove_tree(path_);
    }
  }
  work_folder(const work_folder&) = delete;
  work_folder& operator=(const work_folder&) = delete;

  const std::string& path() const { return path_; }

 private:
  platform::file_system& files_;
  std::string path_;
};

// The end of a batch run deletes the file list, whoever wrote it, once a run
// still reading it (the join of another run) is done with it.
void remove_file_list(platform::file_system& files, const std::string& path,
                      diagnostics& messages) {
  const result<std::unique_ptr<platform::held_lock>> held =
      files.lock_own_file(path, platform::file_lock::exclusive, platform::kLockPatience);
  if (const status removed = files.remove(path); !removed.is_ok()) {
    messages.say(removed.reason());
  }
}

std::string signal_name(int number) {
  switch (number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "signal " + std::to_string(number);
  }
}

}  // namespace

std::optional<engine_settings> start_engine(const std::string& command_text,
                                            const engine_environment& environment,
                                            platform::file_system& files, diagnostics& messages) {
  // The error file is closed when start-up ends, refused or not.
  return engine_start(environment, files, messages).run(command_text);
}

int run_engine(const std::string& command_text, const engine_environment& environment,
               platform::file_system& base_files, diagnostics& messages) {
  std::optional<engine_settings> started =
      start_engine(command_text, environment, base_files, messages);
  if (!started) {
    return 0;
  }
  stoppable_file_system files(base_files, environment.stop_signal);
  engine_settings settings = std::move(*started);
  const work_folder work(files, settings, messages);
  settings.work_folder = work.path();

  run_state state;
  state.stop_signal = environment.stop_signal;
  engine_run run{settings, state, files, messages};
  int exit_code = 0;
  if (settings.single_file) {
    convert_single_file(run);
  } else {
    report_stream report;
    const std::string path = shared_report_path(settings);
    if (uses_shared_report(settings.job)) {
      result<report_stream> created =
          report_stream::open(files, path, platform::open_mode::truncate);
      if (!created.is_ok()) {
        // Ends the run before any file: a batch without its account.
        messages.say("cannot create the report " + path + ": " + created.status().reason());
        return 1;
      }
      report = std::move(*created);
    }
    run_batch_walk(run, report, convert_batch_file, batch_workers(settings));
    // Still open when a join or a stop ended the run without a footer.
    report.close();
    check_report_written(run, report, path);
    // Batch runs leave no file list behind, whoever wrote it.
    if (!settings.file_list_path.empty()) {
      remove_file_list(files, settings.file_list_path, messages);
    }
  }
  if (state.report_failed) {
    exit_code = 1;
  }
  if (stop_requested(state)) {
    const int number = *state.stop_signal;
    messages.say("stopped by " + signal_name(number) +
                 ": no file or page was begun after the signal");
    exit_code = 128 + number;
  }
  return exit_code;
}

}  // namespace zq::engine
