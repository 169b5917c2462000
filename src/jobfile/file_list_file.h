// The file list file "z.log": the paths a join reads, in section [FILES] under
// the keys "0", "1", ... . The front end's picker writes it whole; the engine
// writes its own for a joined PDF of a batch run, key by key, leaving keys of
// an earlier writer beyond its last one in place; the joins read it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/result.h"
#include "common/status.h"

namespace zq::platform {
class file_system;
}

namespace zq {

inline constexpr const char* kFileListName = "z.log";

// The largest list file read whole: as large as the INI module reads.
inline constexpr std::size_t kMaxFileListSize = std::size_t{64} << 20;

// The whole file as the picker writes it: "[FILES]\r\n", then "<n>=<path>\r\n"
// for each path in order. Only "[FILES]\r\n" for an empty list.
std::string file_list_text(const std::vector<std::string>& paths);

// Writes file_list_text(paths) to `path`, whole or not at all.
status write_file_list_file(platform::file_system& files, const std::string& path,
                            const std::vector<std::string>& paths);

// Sets the keys "0".."n-1" of `path` through the INI module, keeping every
// other byte of an existing file (the engine's way). Writes nothing for an
// empty list.
status update_file_list_file(const std::string& path, const std::vector<std::string>& paths);

// The listed paths, in key order up to the first missing or empty key. The
// list usually lies in a temp folder that other users can write to, so only a
// regular file of this user's is read, never through a symbolic link, and
// under a shared lock, so that a run deleting it (under the exclusive lock)
// waits until the read is over. A missing file is an empty list; any other
// file at the name is refused, naming it and why.
result<std::vector<std::string>> read_own_file_list(platform::file_system& files,
                                                    const std::string& path);

// read_own_file_list through the real file system, with a refused file read
// as an empty list; whoever needs to say why asks read_own_file_list.
std::vector<std::string> read_file_list_file(const std::string& path);

}  // namespace zq
