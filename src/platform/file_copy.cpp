#include "platform/file_copy.h"

#include "platform/staged_output.h"

namespace zq::platform {
namespace {

status write_copy(file_system& fs, const std::string& from, const std::string& to) {
  result<std::string> bytes = fs.read_file(from, kMaxCopiedFileSize);
  if (!bytes.is_ok()) {
    return bytes.status();
  }
  // Taken after the read, so the bits belong to the bytes that were copied
  // even when the file was replaced in between.
  const file_info source = fs.stat_target(from);
  if (source.kind != file_kind::regular) {
    return status::error("Cannot read " + from + ": it went away while it was copied", from);
  }
  return write_file_atomically(fs, to, *bytes, source.permissions);
}

}  // namespace

status copy_file_keeping_mode(file_system& fs, const std::string& from, const std::string& to) {
  const status copied = write_copy(fs, from, to);
  // Lead with the two names the caller knows: the staging names inside the
  // reason mean nothing on their own.
  return copied.is_ok()
             ? copied
             : status::error("Cannot copy " + from + " to " + to + ": " + copied.reason(), to);
}

}  // namespace zq::platform
