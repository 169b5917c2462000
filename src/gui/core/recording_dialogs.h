// A user_dialogs for tests: shows nothing, records every box in order, and
// answers questions from a queue that the test fills beforehand, as a test
// of the real dialog answers the next message box. A question asked with no
// answer queued is recorded and answered No, so a test that did not expect
// it fails on the record rather than hanging.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "gui/core/user_dialogs.h"

namespace zq::gui {

class recording_dialogs final : public user_dialogs {
 public:
  enum class kind { refusal, error, information, question };

  struct shown {
    kind what;
    std::string text;
    std::optional<dialog_control> focus;
    std::optional<panel_tab> tab;
    bool answer = false;  // questions only

    bool operator==(const shown&) const = default;
  };

  // The answer to the next question not yet answered.
  void set_next_answer(bool yes) { answers_.push_back(yes); }

  const std::vector<shown>& boxes() const { return boxes_; }
  // Answers queued but never asked for.
  std::size_t unused_answers() const { return answers_.size(); }
  void clear() {
    boxes_.clear();
    answers_.clear();
  }

  void refuse(const refusal& refused) override {
    boxes_.push_back({kind::refusal, refused.message, refused.focus, refused.tab});
  }
  void error(const std::string& message, std::optional<dialog_control> focus) override {
    boxes_.push_back({kind::error, message, focus, std::nullopt});
  }
  void information(const std::string& message) override {
    boxes_.push_back({kind::information, message, std::nullopt, std::nullopt});
  }
  bool question(const std::string& text) override {
    bool yes = false;
    if (!answers_.empty()) {
      yes = answers_.front();
      answers_.pop_front();
    }
    boxes_.push_back({kind::question, text, std::nullopt, std::nullopt, yes});
    return yes;
  }

 private:
  std::vector<shown> boxes_;
  std::deque<bool> answers_;
};

}  // namespace zq::gui
