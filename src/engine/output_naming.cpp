#include "engine/output_naming.h"

#include "common/paths.h"
#include "jobfile/formats.h"

namespace zq::engine {

output_names build_output_path(const engine_settings& settings, int page_count, int page_index,
                               const std::string& source_path) {
  const target_format* format = find_format(settings.format_code);
  if (format == nullptr) {
    return {};
  }
  const job_settings& job = settings.job;
  const std::string base_name =
      settings.single_file ? settings.output_base_name : base_name_of(source_path);
  const bool plain =
      job.params_extract_all == 0 || page_count == 1 || is_single_output(*format, job);
  const std::string name = plain ? base_name : base_name + "_" + std::to_string(page_index);

  // The source folder (no drive part on this platform: the whole folder from
  // the root) is joined with a separator of its own, so that a relative
  // source folder lands under the target folder instead of being glued onto
  // its last name; for an absolute one the doubled separator collapses below.
  const std::string folder = job.params_reproduce_path != 0
                                 ? join_path(settings.target_folder, folder_of(source_path))
                                 : settings.target_folder;
  output_names names;
  names.output = join_path(folder, name + std::string(output_extension(*format, job)));
  normalize_by_rule(names.output);
  if (format->written_through_bitmap) {
    // The bitmap is a working file: it never gets the source's folder, and
    // it goes into the run's own folder, since another run converting a
    // source of the same name into the same temp folder would otherwise
    // replace it before it became a segment.
    const std::string& folder =
        settings.work_folder.empty() ? settings.temp_folder : settings.work_folder;
    names.bitmap = join_normalized(folder, name + std::string(find_format(kFormatBmp)->extension));
  }
  // A path the system cannot hold is refused whole, never cut.
  if (names.output.size() > kMaxPathLength || names.bitmap.size() > kMaxPathLength) {
    return {};
  }
  return names;
}

}  // namespace zq::engine
