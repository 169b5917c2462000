#include "jobfile/flat_output_path.h"

#include "common/paths.h"
#include "jobfile/formats.h"

namespace zq {

std::string flat_output_path(const std::string& target_folder, const std::string& source_path,
                             int format_code, bool multi_file_pcx) {
  const target_format* format = find_format(format_code);
  if (format == nullptr) {
    return std::string();
  }
  const std::string_view extension = multi_file_pcx && !format->single_output_extension.empty()
                                         ? format->single_output_extension
                                         : format->extension;
  std::string path = join_path(target_folder, base_name_of(source_path) + std::string(extension));
  normalize_by_rule(path);
  return path.size() > kMaxPathLength ? std::string() : path;
}

}  // namespace zq
