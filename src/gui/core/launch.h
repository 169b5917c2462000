// Launching the engine from the front end: the checks before a launch, the
// run of one engine process per file behind the processing dialog, and the
// "Last log" command. The processes are started through `engine_starter`, so
// the dialog uses a real process and tests record the command lines; the run
// itself (`conversion_run`) is driven by the starter's end notices and never
// waits, so the dialog that shows it keeps painting.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "gui/core/desktop_opener.h"
#include "gui/core/dialog_settings.h"
#include "gui/core/picked_files.h"
#include "gui/core/user_dialogs.h"
#include "platform/file_system.h"

namespace zq::gui {

// The engine, installed beside the front end.
inline constexpr const char* kEngineProgramName = "Zembrit_Quarnel";
// The report of single-file runs, in the temp folder of their job file.
inline constexpr const char* kReportFileName = "Zembrit_Quarnel.log";

inline constexpr const char* kNoJobFileMessage = "Please enter the name of the ini file to use.";
inline constexpr const char* kNotLaunchedMessage = "Cannot save setup, process not launched!";
inline constexpr const char* kNoLogMessage = "No log file found in your temp folder";

// Starts one engine process at a time.
class engine_starter {
 public:
  virtual ~engine_starter() = default;

  // Starts `program` with exactly one argument, no shell, and returns at once.
  // `ended` is called exactly once: with ok when the process has ended,
  // however it ended, or with the reason when it could not be started. It may
  // be called before start() returns.
  virtual void start(const std::string& program, const std::string& argument,
                     std::function<void(status)> ended) = 0;
};

// The "Launch" command up to the processing dialog and after it: the job-file
// field must name a file, the settings are saved into it and checked again;
// then `run_dialog` runs the processing dialog with the checked settings, and
// the picked-file list is emptied, so that the next launch converts the
// source folder unless files are picked again. Nothing is started, and the
// list is kept, when a step before the dialog fails (said through `ui`).
// `run_dialog` returns the files the run could not hand to the engine
// (conversion_run::not_handed_over); they are named in one error box after
// the dialog has closed. Returns whether the dialog ran.
bool launch_conversion(const dialog_values& values, const std::string& job_file,
                       picked_file_list& picked, user_dialogs& ui,
                       const std::function<std::vector<status>(const run_settings&)>& run_dialog,
                       platform::file_system& files = platform::real_file_system());

// The engine's path: `folder` (the front end's own) joined with its name.
std::string engine_path(const std::string& folder);

// The conversions of one launch, one engine process at a time in list order.
class conversion_run {
 public:
  struct events {
    std::function<void(const std::string& source)> file_started;  // before its engine starts
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Every file is done, or a stop was asked for and the running engine has
    // ended: the dialog may close.
    std::function<void()> finished;
    // The engine could not be started for the file on show: nothing more is
    // started and the dialog stays until the user closes it.
    std::function<void(const status& why)> stuck;
  };

  // Every reference must outlive the run.
  conversion_run(const run_settings& run, picked_file_list& picked, std::string job_file,
                 std::string engine, engine_starter& starter, events on,
                 platform::file_system& files = platform::real_file_system());

  // Lists the source folder when nothing was picked (with its subfolders for
  // a recursive search), reports the total and starts the first file.
  void begin();
  // Starts nothing more; the engine running now ends its file normally and
  // `finished` follows.
  void stop();

  std::size_t total() const { return picked_.size(); }
  std::size_t done() const { return done_; }
  bool running() const { return running_; }
  bool stop_requested() const { return stop_requested_; }
  // The files that were not handed to the engine, with the reason: no
  // output path (no format chosen, a path too long), or a path holding the
  // engine's field separator, which would split its command line elsewhere.
  // The run goes on with the next file.
  const std::vector<status>& not_handed_over() const { return not_handed_over_; }

 private:
  std::optional<std::string> engine_argument(const std::string& source, status& refused);
  void start_next();
  void ended(const status& outcome);

  const run_settings run_;
  picked_file_list& picked_;
  const std::string job_file_;
  const std::string engine_;
  engine_starter& starter_;
  const events on_;
  platform::file_system& files_;
  std::size_t done_ = 0;
  bool running_ = false;
  bool stop_requested_ = false;
  bool starting_ = false;
  bool start_again_ = false;
  std::vector<status> not_handed_over_;
};

// Where the last report is: in the temp folder of the job file on screen,
// where the engine writes it, else in the system temporary folder; nothing
// when neither holds one.
std::optional<std::string> find_last_log(
    const std::string& job_temp_folder,
    platform::file_system& files = platform::real_file_system());

// "Last log": opens the report found by find_last_log, or says that there is
// none. A report that no program could be started for is named in an error box.
void show_last_log(const std::string& job_temp_folder, desktop_opener& opener, user_dialogs& ui,
                   platform::file_system& files = platform::real_file_system());

}  // namespace zq::gui
