// Where library code says what a user should read beside the files a run
// writes (standard error for the programs). Library code never prints: the
// entry point owns a sink and hands it down, and tests hand in one that
// records.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zq {

class diagnostics {
 public:
  virtual ~diagnostics() = default;
  // Why something failed or was refused: one message without a line end; the
  // sink adds what its medium needs (for the programs, their name and a line
  // end on standard error).
  virtual void say(std::string_view message) = 0;
  // Progress a caller watching the run relies on, as exact text (standard
  // output for the programs).
  virtual void progress(std::string_view text) = 0;
};

// Keeps everything, for tests.
class recorded_diagnostics final : public diagnostics {
 public:
  void say(std::string_view message) override { messages_.emplace_back(message); }
  void progress(std::string_view text) override { progress_ += text; }
  const std::vector<std::string>& messages() const { return messages_; }
  const std::string& progress_text() const { return progress_; }

 private:
  std::vector<std::string> messages_;
  std::string progress_;
};

// Keeps what is said, in order, until it is said again elsewhere: the work of
// one file in a batch whose files are converted concurrently speaks when the
// file is committed, not while it runs.
class held_diagnostics final : public diagnostics {
 public:
  void say(std::string_view message) override { held_.emplace_back(true, message); }
  void progress(std::string_view text) override { held_.emplace_back(false, text); }
  // What was said (true) or shown as progress (false), in order.
  const std::vector<std::pair<bool, std::string>>& held() const { return held_; }
  void replay(diagnostics& to) const {
    for (const auto& [said, text] : held_) {
      if (said) {
        to.say(text);
      } else {
        to.progress(text);
      }
    }
  }

 private:
  std::vector<std::pair<bool, std::string>> held_;  // true: said, false: progress
};

}  // namespace zq
