// Files that appear whole or not at all: outputs, job files, file lists. A
// writer writes into a private staging folder beside the final place; only a
// complete write is moved over, so a failed or interrupted write never leaves
// an empty or partial file under the final name, and a file it replaces stays
// as it was until then. Everything a writer makes in the staging folder is
// moved, so writers that split one output into several files (YUV planes)
// are covered.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"
#include "common/status.h"
#include "platform/file_system.h"

namespace zq::platform {

class staged_output {
 public:
  // Creates the staging folder in the folder of `final_path` (the same file
  // system, so the move is a rename). The writer writes path(): `staged_name`
  // inside the staging folder, by default the final file name, so that names
  // a writer derives from it are right once moved. `fs` must outlive this.
  static result<staged_output> begin(file_system& fs, const std::string& final_path,
                                     std::string_view staged_name = {});

  staged_output(staged_output&& other) noexcept;
  staged_output& operator=(staged_output&&) = delete;
  staged_output(const staged_output&) = delete;
  staged_output& operator=(const staged_output&) = delete;
  // Removes the staging folder and whatever is still in it.
  ~staged_output();

  // Where to write.
  const std::string& path() const { return path_; }

  // Moves every file of the staging folder into the final folder: path()
  // becomes the final path, every other file keeps its name. Replaces files
  // of the same names. Fails when the writer made no file at all.
  status commit();

 private:
  staged_output(file_system& fs, std::string folder, std::string final_path, std::string path)
      : fs_(&fs),
        folder_(std::move(folder)),
        final_path_(std::move(final_path)),
        path_(std::move(path)) {}

  file_system* fs_;
  std::string folder_;  // the staging folder; empty once moved from
  std::string final_path_;
  std::string path_;
};

// Replaces the file at `path` with `contents` through a staged_output, so that
// it holds either the old bytes or all the new ones. A file it replaces keeps
// its permission bits; a new one gets 0666 minus the umask. The folder must
// exist. A failure names `path` and says why.
status write_file_atomically(file_system& fs, const std::string& path, std::string_view contents);

// The same, giving the new file `permissions` whatever it replaces, and
// staging it under its final name (so a fault aimed at that name hits it).
status write_file_atomically(file_system& fs, const std::string& path, std::string_view contents,
                             unsigned permissions);

}  // namespace zq::platform
