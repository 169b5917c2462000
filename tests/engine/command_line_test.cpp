#include "engine/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zq::engine {
namespace {

using fields = std::vector<std::string>;

TEST(SplitCommandLine, SeparatorsQuotesAndFieldLimit) {
  const struct {
    const char* text;
    fields expected;
  } cases[] = {
      {"", {}},
      {"|||", {}},
      {"\"\"", {}},
      {"G|/in/a.tif|/out/a.pdf|/jobs/x.ini", {"G", "/in/a.tif", "/out/a.pdf", "/jobs/x.ini"}},
      // One pair of outer quotes goes; quotes elsewhere stay.
      {"\"C|/jobs/x.ini\"", {"C", "/jobs/x.ini"}},
      {"\"C|/jobs/\"x\".ini\"", {"C", "/jobs/\"x\".ini"}},
      {"C|/jobs/x.ini\"", {"C", "/jobs/x.ini"}},
      // Runs of separators count as one, ends are ignored, blanks are kept.
      {"|G||/in/a b.tif|||/job.ini|", {"G", "/in/a b.tif", "/job.ini"}},
      {" G | x ", {" G ", " x "}},
      {"1|2|3|4|5|6|7|8|9|10|11|12", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(split_command_line(c.text), c.expected) << c.text;
  }
}

TEST(CommandLineText, ArgumentsJoinedWithSingleBlanks) {
  const char* quoted[] = {"Zembrit_Quarnel", "G|/in/my file.tif|/out/x.pdf|/j.ini"};
  const char* unquoted[] = {"Zembrit_Quarnel", "G|/in/my", "file.tif|/out/x.pdf|/j.ini"};
  EXPECT_EQ(command_line_text(2, quoted), command_line_text(3, unquoted));
  const char* none[] = {"Zembrit_Quarnel"};
  EXPECT_EQ(command_line_text(1, none), "");
}

TEST(RunModes, FirstCharacterChoosesCaseSensitively) {
  const struct {
    fields in;
    char letter;
    run_kind kind;
    bool default_job_file;
  } cases[] = {
      {{}, '\0', run_kind::batch, true},
      {{"C", "j"}, 'C', run_kind::batch, false},
      {{"Go", "s", "t", "j"}, 'G', run_kind::single_file, false},
      {{"Q"}, 'Q', run_kind::single_file, false},
      {{"P", "s"}, 'P', run_kind::single_file, true},
      {{"g", "s", "t", "j"}, '?', run_kind::batch, false},
      {{"x"}, '?', run_kind::batch, false},
  };
  for (const auto& c : cases) {
    const run_mode& mode = choose_run_mode(c.in);
    EXPECT_EQ(mode.letter, c.letter);
    EXPECT_EQ(mode.kind, c.kind);
    EXPECT_EQ(mode.uses_default_job_file, c.default_job_file);
  }
}

TEST(SyntaxMessage, CountThenReceivedFields) {
  EXPECT_EQ(syntax_message(1, {"Q", "/in/a.tif", "/out/a.pdf"}),
            "Uncorrect syntax.\r\n1 parameter(s) missing!\r\n\r\nReceived Parameters:\r\n"
            "Q\r\n/in/a.tif\r\n/out/a.pdf\r\n");
}

}  // namespace
}  // namespace zq::engine
