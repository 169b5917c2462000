// The engine's settings record and the state of one run. The settings are
// filled once at start-up from the command line and the job file and only
// read afterwards; what changes while files are converted lives in
// run_state, next to the services every stage of a run uses.
#pragma once

#include <csignal>
#include <string>

#include "jobfile/job_settings.h"

namespace zq {
class diagnostics;
}
namespace zq::platform {
class file_system;
}

namespace zq::engine {

struct engine_settings {
  std::string job_file;       // empty when the mode letter was not recognised
  std::string temp_folder;    // [FOLDERS] temp, or the system temporary path
  std::string source_folder;  // [FOLDERS] source (batch runs)
  // [FOLDERS] target; in a single-file run the folder of the target file.
  std::string target_folder;
  std::string source_file;  // single-file run
  std::string target_file;  // single-file run, as the command line named it
  // Single-file run: the base name every output takes from the target file,
  // and for a page segment the options for the bitmap library that followed
  // a comma in the target.
  std::string output_base_name;
  std::string segment_options;
  bool single_file = false;
  int format_code = -1;        // -1 when no format is known
  std::string search_pattern;  // the flat walk's pattern: source_folder + "/*.tif"
  std::string file_list_path;  // temp_folder + "/z.log", batch runs only
  // The run's own folder inside the temp folder, for working files that no
  // other run may see (PSE bitmaps, the list of a joined PDF); made at the
  // start of a run that needs one and removed at its end. Empty otherwise.
  std::string work_folder;

  job_settings job;
};

// What changes while a run converts files.
struct run_state {
  unsigned files_count = 0;  // the report's converted-files count
  std::string current_file;  // the file handed to the converter last
  int page_count = 0;        // pages of the source being converted
  // The resolution of the source just read, for the PDF options.
  double source_x_resolution = 0;
  double source_y_resolution = 0;
  // The number of the signal that asked the process to stop, 0 until one
  // does; the run ends early when it sees one. Null: nothing can ask.
  const volatile std::sig_atomic_t* stop_signal = nullptr;
  // A report the run wanted was not written whole (already said); the run
  // ends with exit code 1.
  bool report_failed = false;
};

// One run: its settings, its changing state and the services it writes
// through. Every stage of a run takes this.
struct engine_run {
  const engine_settings& settings;
  run_state& state;
  platform::file_system& files;
  diagnostics& messages;
};

}  // namespace zq::engine
