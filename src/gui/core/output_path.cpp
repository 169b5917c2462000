#include "gui/core/output_path.h"

#include "jobfile/flat_output_path.h"

namespace zq::gui {

std::string compute_output_path(const run_settings& run, const std::string& source,
                                platform::file_system& files) {
  std::string path =
      flat_output_path(run.target_folder, source, run.format_code, run.multi_file_pcx);
  if (!path.empty()) {
    platform::create_folder_chain(files, path);
  }
  return path;
}

}  // namespace zq::gui
