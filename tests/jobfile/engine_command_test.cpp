#include "jobfile/engine_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zq {
namespace {

using fields = std::vector<std::string>;

TEST(SplitCommandLine, FieldsAsTheEngineTakesThem) {
  const struct {
    std::string text;
    fields expected;
  } cases[] = {
      {"", {}},
      {"|||", {}},
      {"\"\"", {}},
      {"C|/jobs/a.ini", {"C", "/jobs/a.ini"}},
      {"\"G|/in/a b.tif|/out/a b.jpg|/j.ini\"", {"G", "/in/a b.tif", "/out/a b.jpg", "/j.ini"}},
      {"|G||/in/a.tif|||/j.ini|", {"G", "/in/a.tif", "/j.ini"}},  // later fields move up
      {" Q | a |  ", {" Q ", " a ", "  "}},                       // blanks are characters
      {"\"C|a.ini", {"C", "a.ini"}},                              // each outer quote on its own
      {"C|a.ini\"", {"C", "a.ini"}},
      {"\"\"C|\"a\".ini\"\"", {"\"C", "\"a\".ini\""}},  // only one quote at each end goes
      {"1|2|3|4|5|6|7|8|9|10|11|12", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
      {"1||2|3|4|5|6|7|8|9||10|11", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(split_command_line(c.text), c.expected) << c.text;
  }
}

TEST(SingleFileCommand, SplitsBackIntoItsFields) {
  EXPECT_EQ(single_file_command("/in/a b.tif", "/out/a b.jpg", "/home/u/job.ini"),
            "G|/in/a b.tif|/out/a b.jpg|/home/u/job.ini");
  const struct {
    std::string source, target, job_file;
  } cases[] = {
      {"/in/a.tif", "/out/a.pdf", "/j.ini"},
      {" /in/two  blanks.tif ", "/out/x=y.tif", "/home/u/Zembrit_Quarnel.ini"},
      {"/in/\xe9t\xe9/\xff.tif", "/out/\xe9t\xe9/\xff.png", "/j\x80.ini"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(split_command_line(single_file_command(c.source, c.target, c.job_file)),
              (fields{"G", c.source, c.target, c.job_file}))
        << c.source;
  }
  // No output path (no format chosen) leaves three fields, too few for "G".
  EXPECT_EQ(split_command_line(single_file_command("/in/a.tif", "", "/j.ini")),
            (fields{"G", "/in/a.tif", "/j.ini"}));
}

}  // namespace
}  // namespace zq
