#include "setup/core/destination_check.h"

#include <gtest/gtest.h>

#include "platform/fault_injecting_file_system.h"
#include "setup_test_support.h"

namespace zq::setup {
namespace {

// Answers with a scripted answer and keeps what it was asked.
class scripted_questions final : public question_asker {
 public:
  explicit scripted_questions(std::optional<bool> answer) : answer_(answer) {}
  bool ask_yes_no(const message_box& question) override {
    asked.push_back(question);
    return answer_.value_or(false);
  }
  std::vector<message_box> asked;

 private:
  std::optional<bool> answer_;
};

TEST(CheckDestination, RefusesAsksAndCreatesAsTheDestinationPageDoes) {
  const std::string kLong = "/" + std::string(4095, 'a');
  const struct {
    std::string text;      // under the scratch folder unless empty or kLong
    std::string existing;  // a folder ("/x") or a file ("/x=") made before
    bool unwritable;       // the write test fails in the text's folder
    std::optional<bool> answer;
    std::string accepted;  // the folder gone on with, "" for staying on the page
    std::string refusal;   // the message shown with a beep
  } cases[] = {
      {"", "", false, std::nullopt, "", "Please select the install folder"},
      {kLong, "", false, std::nullopt, "",
       "The install folder is longer than 4095 bytes: " + kLong},
      {"/dest", "/dest", false, std::nullopt, "/dest", ""},
      {"//dest//", "/dest", false, std::nullopt, "/dest/", ""},
      {"/a/b/c", "", false, false, "", ""},
      {"/a//b/c", "", false, true, "/a/b/c", ""},
      {"/ro", "/ro", true, false, "", ""},
      {"/ro", "/ro", true, true, "/ro", ""},
      {"/file/x", "/file=", false, true, "/file/x", ""},  // Yes goes on whatever creating achieved
  };
  for (const auto& c : cases) {
    scratch_folder scratch;
    const std::string text = c.text.empty() || c.text == kLong ? c.text : scratch.path() + c.text;
    if (c.existing.ends_with("=")) {
      write_file(scratch.path() + c.existing.substr(0, c.existing.size() - 1), "x");
    } else if (!c.existing.empty()) {
      std::filesystem::create_directories(scratch.path() + c.existing);
    }
    platform::fault_injecting_file_system fs;
    if (c.unwritable) fs.fail_make_folder(text + "H");
    scripted_questions questions(c.answer);
    const destination_answer answer = check_destination(fs, text, questions);

    EXPECT_EQ(answer.accepted, !c.accepted.empty()) << text;
    EXPECT_EQ(answer.folder, c.accepted.empty() ? "" : scratch.path() + c.accepted) << text;
    EXPECT_EQ(answer.beep, !c.refusal.empty()) << text;
    const std::optional<message_box> refusal =
        c.refusal.empty()
            ? std::nullopt
            : std::optional(message_box{"Zembrit_Quarnel", c.refusal, message_icon::error});
    EXPECT_EQ(answer.message, refusal) << text;
    std::vector<message_box> asked;
    if (c.answer) {
      asked.push_back({"Zembrit_Quarnel", text + " does not exists.\nDo you want to create it?",
                       message_icon::question});
    }
    EXPECT_EQ(questions.asked, asked) << text;
    // An accepted folder is there (unless a file is in the way), and the
    // write test left nothing in it.
    if (answer.accepted && c.existing != "/file=") {
      EXPECT_TRUE(std::filesystem::is_directory(answer.folder)) << text;
      EXPECT_TRUE(tree_of(answer.folder).empty()) << text;
    }
    if (!answer.accepted && !c.existing.empty()) {
      EXPECT_TRUE(tree_of(scratch.path() + c.existing).empty()) << text;
    }
  }
}

}  // namespace
}  // namespace zq::setup
