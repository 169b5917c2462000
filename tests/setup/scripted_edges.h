// A stand-in for the wizard's edges: it records every box, beep and browse,
// answers questions and the folder browser from queues, and never waits.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "setup/wizard_edges.h"

namespace zq::setup {

class scripted_edges final : public wizard_edges {
 public:
  std::vector<message_box> shown;  // boxes and questions, in order
  int beeps = 0;
  std::vector<QString> browse_titles;
  std::deque<bool> answers;                               // for ask_yes_no; empty: No
  std::deque<std::optional<std::string>> chosen_folders;  // empty: cancelled

  void show(QWidget*, const message_box& box) override { shown.push_back(box); }
  bool ask_yes_no(const message_box& question) override {
    shown.push_back(question);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  void beep() override { ++beeps; }
  std::optional<std::string> choose_folder(QWidget*, const QString& title,
                                           const std::string&) override {
    browse_titles.push_back(title);
    if (chosen_folders.empty()) return std::nullopt;
    std::optional<std::string> folder = chosen_folders.front();
    chosen_folders.pop_front();
    return folder;
  }
};

}  // namespace zq::setup
