#include "setup/core/file_copy.h"

#include <memory>

#include "platform/staged_output.h"

namespace zq::setup {
namespace {

status write_copy(platform::file_system& fs, const std::string& from, const std::string& to) {
  result<std::string> bytes = fs.read_file(from, kMaxCopiedFileSize);
  if (!bytes.is_ok()) {
    return bytes.status();
  }
  // Taken after the read, so the bits belong to the bytes that were copied
  // even when the file was replaced in between.
  const platform::file_info source = fs.stat_target(from);
  if (source.kind != platform::file_kind::regular) {
    return status::error("Cannot read " + from + ": it went away while it was copied", from);
  }
  result<platform::staged_output> staged = platform::staged_output::begin(fs, to);
  if (!staged.is_ok()) {
    return staged.status();
  }
  result<std::unique_ptr<platform::writable_file>> file =
      fs.open_for_write(staged->path(), platform::open_mode::truncate);
  if (!file.is_ok()) {
    return file.status();
  }
  platform::writable_file& out = **file;
  status written = out.append(*bytes);
  if (written.is_ok()) {
    written = out.sync();
  }
  if (written.is_ok()) {
    written = out.close();
  }
  if (written.is_ok()) {
    written = fs.set_permissions(staged->path(), source.permissions);
  }
  return written.is_ok() ? staged->commit() : written;
}

}  // namespace

status copy_file_keeping_mode(platform::file_system& fs, const std::string& from,
                              const std::string& to) {
  const status copied = write_copy(fs, from, to);
  // Lead with the two names the caller knows: the staging names inside the
  // reason mean nothing on their own.
  return copied.is_ok()
             ? copied
             : status::error("Cannot copy " + from + " to " + to + ": " + copied.reason(), to);
}

}  // namespace zq::setup
