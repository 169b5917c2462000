#include "engine/output_naming.h"

#include "common/paths.h"
#include "engine/formats.h"

namespace zq::engine {

std::string build_output_path(engine_settings& settings, int page_count, int page_index,
                              const std::string& source_path, const std::string* explicit_target) {
  // No drive part on this platform: the folder is the whole folder from the root.
  const std::string source_folder = folder_of(source_path);
  std::string base_name = base_name_of(source_path);
  if (explicit_target != nullptr) {
    settings.target_folder = folder_of(*explicit_target);
    if (settings.target_folder.empty()) {
      // A bare file name names a file in the working folder, not in the root.
      settings.target_folder = ".";
    }
    base_name = base_name_of(*explicit_target);
  }

  std::string output;
  std::string bitmap;
  if (const target_format* format = find_format(settings.format_code)) {
    const job_settings& job = settings.job;
    const bool plain =
        job.params_extract_all == 0 || page_count == 1 || is_single_output(*format, job);
    const std::string name = plain ? base_name : base_name + "_" + std::to_string(page_index);

    // The source folder is joined with a separator of its own, so that a
    // relative source folder lands under the target folder instead of being
    // glued onto its last name; for an absolute one the doubled separator
    // collapses below.
    const std::string folder = job.params_reproduce_path != 0
                                   ? join_path(settings.target_folder, source_folder)
                                   : settings.target_folder;
    output = join_path(folder, name + std::string(output_extension(*format, job)));

    if (format->code == kFormatPse) {
      // The bitmap is a working file: it never gets the source's folder.
      bitmap =
          join_path(settings.temp_folder, name + std::string(find_format(kFormatBmp)->extension));
      normalize_path(bitmap);
    }
  }
  normalize_by_rule(output);

  // A path the system cannot hold is refused whole, never cut.
  if (output.size() > kMaxPathLength || bitmap.size() > kMaxPathLength) {
    output.clear();
    bitmap.clear();
  }
  if (settings.format_code == kFormatPse) {
    settings.pse_bitmap_file = bitmap;
  }
  create_folder_chain(output);
  return output;
}

}  // namespace zq::engine
