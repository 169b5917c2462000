// A failure travels as a value: ok, or an error with the reason a user will
// read and, where there is one, the detail it is about (the file, the
// library's own description). It becomes a report line, an error-file line,
// a message or an exit code only at the edge.
#pragma once

#include <string>
#include <utility>

namespace zq {

class status {
 public:
  static status ok() { return status(); }
  static status error(std::string reason, std::string detail = std::string()) {
    return status(std::move(reason), std::move(detail));
  }

  bool is_ok() const { return !failed_; }
  const std::string& reason() const { return reason_; }
  const std::string& detail() const { return detail_; }

  // The reason, followed by the detail in the image library's own quoting
  // ("unable to open image `a.tif'") when there is one.
  std::string text() const { return detail_.empty() ? reason_ : reason_ + " `" + detail_ + "'"; }

 private:
  status() = default;
  status(std::string reason, std::string detail)
      : failed_(true), reason_(std::move(reason)), detail_(std::move(detail)) {}

  bool failed_ = false;
  std::string reason_;
  std::string detail_;
};

}  // namespace zq
