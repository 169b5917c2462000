// Outputs that appear whole or not at all. A writer writes into a private
// staging folder beside the final place; only a complete write is moved over,
// so a failed or interrupted write never leaves an empty or partial file under
// the final name. Everything a writer makes of the one name is moved, so
// writers that split one output into several files (YUV planes) are covered.
#pragma once

#include <optional>
#include <string>

#include "common/status.h"

namespace zq::engine {

class staged_output {
 public:
  // Creates the staging folder in the folder of `final_path` (same file
  // system, so the move is a rename). Nothing when it cannot be created;
  // `error` says why.
  static std::optional<staged_output> begin(const std::string& final_path, std::string& error);

  staged_output(staged_output&& other) noexcept;
  staged_output& operator=(staged_output&&) = delete;
  staged_output(const staged_output&) = delete;
  staged_output& operator=(const staged_output&) = delete;
  // Removes the staging folder and whatever is still in it.
  ~staged_output();

  // Where to write: the final file name inside the staging folder.
  const std::string& path() const { return path_; }

  // Moves every file of the staging folder into the final folder, replacing
  // files of the same names. Fails when the writer made no file at all.
  status commit();

 private:
  staged_output(std::string folder, std::string final_folder, std::string path)
      : folder_(std::move(folder)),
        final_folder_(std::move(final_folder)),
        path_(std::move(path)) {}

  std::string folder_;        // the staging folder; empty once moved from
  std::string final_folder_;  // with a trailing separator
  std::string path_;
};

}  // namespace zq::engine
