// A failure travels as a value: ok, or an error with the reason a user will read.
// It becomes a report line, an error-file line or an exit code only at the edge.
#pragma once

#include <string>
#include <utility>

namespace zq {

class status {
 public:
  static status ok() { return status(); }
  static status error(std::string reason) { return status(std::move(reason)); }

  bool is_ok() const { return !failed_; }
  const std::string& reason() const { return reason_; }

 private:
  status() = default;
  explicit status(std::string reason) : failed_(true), reason_(std::move(reason)) {}

  bool failed_ = false;
  std::string reason_;
};

}  // namespace zq
