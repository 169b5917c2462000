// Copying one file: the copy appears under its name whole or not at all, with
// the source's permission bits, and a file it replaces stays as it was until
// the copy is complete, so that an installation that fails half-way never
// costs the user a program of the earlier one.
#pragma once

#include <cstddef>
#include <string>

#include "common/status.h"
#include "platform/file_system.h"

namespace zq::platform {

// The largest file copied. The programs and libraries are a few megabytes;
// a file far larger is not one of them, and is refused before it is read.
inline constexpr std::size_t kMaxCopiedFileSize = std::size_t{1} << 30;

// Copies the regular file `from` (links followed) to `to`, replacing a file
// of that name. The folder of `to` must exist. A failure names both files.
status copy_file_keeping_mode(file_system& fs, const std::string& from, const std::string& to);

}  // namespace zq::platform
