// Bytes on their way to a file, handed over in large pieces: the PDF writers
// produce a document in many small strings, and each would otherwise be a
// system call. The first write that fails is kept and everything after it
// dropped, so that the caller reports the file system's own reason.
#pragma once

#include <string>
#include <string_view>

#include "common/status.h"
#include "platform/file_system.h"

namespace zq::engine {

class pieced_output {
 public:
  explicit pieced_output(platform::writable_file& file) : file_(file) {}

  void put(std::string_view bytes) {
    if (!failure_.is_ok()) {
      return;
    }
    pending_.append(bytes);
    if (pending_.size() >= kPiece) {
      flush();
    }
  }

  // Hands over what is pending; the first failure, if any.
  status finish() {
    flush();
    return failure_;
  }

 private:
  static constexpr std::size_t kPiece = 256 * 1024;

  void flush() {
    if (failure_.is_ok() && !pending_.empty()) {
      failure_ = file_.append(pending_);
    }
    pending_.clear();
  }

  platform::writable_file& file_;
  std::string pending_;
  status failure_ = status::ok();
};

}  // namespace zq::engine
