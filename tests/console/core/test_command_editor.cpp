// The command editor's two directions: a command text opened as one command per line, and the
// edited lines taken back as a command text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/core/job_editor.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

TEST(CommandEditor, OpeningSplitsAtEverySeparator) {
  struct Case {
    std::string command;
    Lines lines;
  };
  const Case cases[] = {
      {"a;b;", {"a", "b"}},
      {"a; b", {"a", " b"}},
      {"ls -l /tmp ; df -h;", {"ls -l /tmp ", " df -h"}},
      {"a;;b;", {"a", "b"}},       // exactly empty lines are left out
      {"a; ;b", {"a", " ", "b"}},  // lines of blanks stay
      {"", {}},
      {";;;", {}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CommandLines(c.command), c.lines) << c.command;
  }
}

TEST(CommandEditor, OkTrimsDropsEmptyLinesAndEndsEveryCommand) {
  struct Case {
    Lines lines;
    std::string command;
  };
  const Case cases[] = {
      {{"a", "b"}, "a;b;"},
      {{"  ls -l  /tmp\t", "", "   ", "df"}, "ls -l  /tmp;df;"},  // blanks inside stay
      {{}, ""},
      {{"", "  "}, ""},
      {{"echo a;echo b"}, "echo a;echo b;"},  // a typed ";" stays inside its line
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JoinCommandLines(c.lines), c.command);
  }
}

TEST(CommandEditor, RoundTrips) {
  struct Case {
    std::string command;
    std::string back;
  };
  const Case cases[] = {
      {"a;b;", "a;b;"}, {"a; b", "a;b;"}, {"uname -a;  ;\tuptime ;", "uname -a;uptime;"},
      {"", ""},         {"one", "one;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JoinCommandLines(CommandLines(c.command)), c.back) << c.command;
  }
  // A line holding a ";" stays one line on OK and opens as two lines next time.
  const std::string text = JoinCommandLines({"echo a; echo b"});
  EXPECT_EQ(CommandLines(text), (Lines{"echo a", " echo b"}));
}

}  // namespace
}  // namespace corvane
