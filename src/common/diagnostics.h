// Where library code says what a user should read beside the files a run
// writes (standard error for the programs). Library code never prints: the
// entry point owns a sink and hands it down, and tests hand in one that
// records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zq {

class diagnostics {
 public:
  virtual ~diagnostics() = default;
  // One message, without a line end; the sink adds what its medium needs.
  virtual void say(std::string_view message) = 0;
};

// Keeps every message, for tests and for callers that decide later.
class recorded_diagnostics final : public diagnostics {
 public:
  void say(std::string_view message) override { messages_.emplace_back(message); }
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::vector<std::string> messages_;
};

}  // namespace zq
