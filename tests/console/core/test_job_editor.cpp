#include "console/core/job_editor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <system_error>

#include "cipher/formats/formats.h"
#include "console/editor_fixture.h"

namespace corvane {
namespace {

using test::ReadBytes;
using test::WriteBytes;

const std::string kFlagHost =
    "\xA7"
    "Host";

class JobEditorTest : public test::StoredFileTest {
 protected:
  JobEditorTest() : editor_(cipher_, dialogs_) {}

  // backup: Command, Host (flag "Y"), Dir (no flag); clean: Command.
  void WriteSampleFile() {
    std::filesystem::remove(path_);
    IniFile file(path_);
    StoredValues values(cipher_);
    values.Write(file, "backup", "Command", "tar czf /tmp/x.tgz %Dir%;ls;");
    values.Write(file, "backup", "Host", "h1");
    values.Write(file, "backup", kFlagHost, "Y");
    values.Write(file, "backup", "Dir", "/srv");
    values.Write(file, "clean", "Command", "rm -f /tmp/x.tgz;");
    file.WriteBack();
  }

  std::string path_ = Path("CorvaneJob.ini");
  JobEditor editor_;
};

TEST_F(JobEditorTest, SelectingAJobShowsItsCommandAndVariables) {
  WriteSampleFile();
  editor_.Load(path_);
  EXPECT_EQ(editor_.Jobs(), (std::vector<std::string>{"backup", "clean"}));
  editor_.SelectJob("backup");
  EXPECT_EQ(editor_.Command(), "tar czf /tmp/x.tgz %Dir%;ls;");
  EXPECT_EQ(editor_.Variables(), (std::vector<std::string>{"Dir", "Host"}));  // no Command, no flag keys
  EXPECT_FALSE(editor_.CurrentJobVariable());

  editor_.SelectVariable("Host");
  EXPECT_EQ(editor_.Value(), "h1");
  EXPECT_TRUE(editor_.Display());
  editor_.SelectVariable("Dir");
  EXPECT_EQ(editor_.Value(), "/srv");
  EXPECT_FALSE(editor_.Display());  // a missing flag key reads as "N"
}

TEST_F(JobEditorTest, FlagCountsOnlyWhenItDecryptsToExactlyY) {
  for (const char* flag : {"y", "Y ", "YES", "N", ""}) {
    SCOPED_TRACE(flag);
    IniFile file(path_);
    StoredValues(cipher_).Write(file, "j", "Command", "");
    StoredValues(cipher_).Write(file, "j", "v", "");
    StoredValues(cipher_).Write(file, "j", "\xA7v", flag);
    file.WriteBack();
    editor_.Load(path_);
    editor_.SelectJob("j");
    editor_.SelectVariable("v");
    EXPECT_FALSE(editor_.Display());
  }
}

// The command and the shown variable's value and flag reach the file when the operator leaves
// them; removing the variable or the job drops them.
TEST_F(JobEditorTest, WaysToLeaveTypedFields) {
  struct Case {
    const char* how;
    std::function<void(JobEditor&, test::ScriptedDialogs&)> leave;
    bool jobKept;
    bool variableStored;
  };
  const Case cases[] = {
      {"another variable", [](auto& e, auto&) { e.SelectVariable("Dir"); }, true, true},
      {"New variable",
       [](auto& e, auto& d) {
         d.Answer("Port");
         e.NewVariable();
       },
       true, true},
      {"another job", [](auto& e, auto&) { e.SelectJob("clean"); }, true, true},
      {"New job",
       [](auto& e, auto& d) {
         d.Answer("deploy");
         e.NewJob();
       },
       true, true},
      {"Close", [](auto&, auto&) {}, true, true},
      {"the variable removed", [](auto& e, auto&) { e.RemoveVariable(); }, true, false},
      {"the job removed", [](auto& e, auto&) { e.RemoveJob(); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    WriteSampleFile();
    editor_.Load(path_);
    editor_.SelectJob("backup");
    editor_.SelectVariable("Host");
    editor_.SetCommand("uptime;");
    editor_.SetValue("h2");
    editor_.SetDisplay(false);
    c.leave(editor_, dialogs_);
    ASSERT_TRUE(editor_.Close());

    const IniFile file(path_);
    const std::string bytes = ReadBytes(path_);
    if (!c.jobKept) {
      EXPECT_FALSE(file.SectionExists("backup"));
      EXPECT_EQ(bytes.find(Stored("h2")), std::string::npos);
      continue;
    }
    EXPECT_EQ(file.Read("backup", "Command"), Stored("uptime;"));
    if (c.variableStored) {
      EXPECT_EQ(file.Read("backup", "Host"), Stored("h2"));
      EXPECT_EQ(file.Read("backup", kFlagHost), Stored("N"));
    } else {
      EXPECT_FALSE(file.KeyExists("backup", "Host"));
      EXPECT_FALSE(file.KeyExists("backup", kFlagHost));  // the flag goes with the variable
      EXPECT_EQ(bytes.find(Stored("h2")), std::string::npos);
    }
    EXPECT_EQ(Plain(file, "backup", "Dir"), "/srv");
    EXPECT_EQ(Plain(file, "clean", "Command"), "rm -f /tmp/x.tgz;");
  }
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(JobEditorTest, NewVariableNames) {
  struct Case {
    std::optional<TypedName> answer;  // nothing: cancelled
    std::optional<std::string> message;
    bool added;
  };
  const Case cases[] = {
      {TypedName{" command "}, "\"Command\" is an invalid job parameter name", false},
      {TypedName{"COMMAND"}, "\"Command\" is an invalid job parameter name", false},
      {TypedName{"\tCommand"}, "\"Command\" is an invalid job parameter name", false},
      {TypedName{"\xA7x"}, "\"\xA7\" is an invalid value", false},
      {TypedName{"x\xA7"}, "\"\xA7\" is an invalid value", false},
      {TypedName{"host"}, std::nullopt, false},  // duplicate of Host: silently ignored
      {TypedName{"Dir "}, std::nullopt, false},  // reads back as Dir
      {TypedName{""}, std::nullopt, false},
      {std::nullopt, std::nullopt, false},
      {TypedName{"a=b"}, std::string(kNameHasEquals), false},
      {TypedName{";x"}, std::string(kNameStartsWithSemicolon), false},
      {TypedName{"a\nb"}, std::string(kNameHasControl), false},
      {TypedName{"x", false}, std::string(kNameNotLatin1), false},
      {TypedName{"Commands"}, std::nullopt, true},
      {TypedName{"MyCommand"}, std::nullopt, true},
      {TypedName{" Port "}, std::nullopt, true},
  };
  for (const Case& c : cases) {
    const std::string name = c.answer ? c.answer->bytes : "(cancel)";
    SCOPED_TRACE(name);
    WriteSampleFile();
    dialogs_.messages.clear();
    dialogs_.asked.clear();
    editor_.Load(path_);
    editor_.SelectJob("backup");
    if (c.answer) {
      dialogs_.AnswerTyped(*c.answer);
    } else {
      dialogs_.Answer(std::nullopt);
    }
    editor_.NewVariable();
    ASSERT_EQ(dialogs_.asked.size(), 1u);
    EXPECT_EQ(dialogs_.asked[0].caption, "New Job Variable");
    EXPECT_EQ(dialogs_.asked[0].prompt, "Please enter the new job variable name");
    if (c.message) {
      EXPECT_EQ(dialogs_.messages, std::vector<std::string>{*c.message});
    } else {
      EXPECT_TRUE(dialogs_.messages.empty());
    }
    ASSERT_TRUE(editor_.Close());
    const IniFile file(path_);
    if (c.added) {
      EXPECT_EQ(editor_.CurrentJobVariable(), c.answer->bytes);
      EXPECT_EQ(editor_.Variables().size(), 3u);
      EXPECT_TRUE(file.KeyExists("backup", StrippedName(c.answer->bytes)));
    } else {
      EXPECT_EQ(editor_.Variables(), (std::vector<std::string>{"Dir", "Host"}));
      EXPECT_EQ(file.Keys("backup").size(), 4u);
    }
  }
}

TEST_F(JobEditorTest, NewVariableNeedsAJob) {
  WriteSampleFile();
  editor_.Load(path_);
  editor_.NewVariable();
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"You must select a job name before."});
  EXPECT_TRUE(dialogs_.asked.empty());
}

TEST_F(JobEditorTest, FlagKeyIsWrittenAtTheVariablesFirstSave) {
  WriteSampleFile();
  editor_.Load(path_);
  editor_.SelectJob("clean");
  dialogs_.Answer("Target");
  editor_.NewVariable();
  // Added with an empty value and no flag key yet.
  EXPECT_EQ(editor_.Copy().Keys("clean"), (std::vector<std::string>{"Command", "Target"}));
  dialogs_.Answer("Mode");
  editor_.NewVariable();  // leaves Target: its value and flag are stored now
  EXPECT_EQ(editor_.Copy().Keys("clean"), (std::vector<std::string>{"Command", "Target", "Mode", "\xA7Target"}));
  editor_.SetDisplay(true);  // ticking stores nothing by itself
  EXPECT_EQ(editor_.Copy().Keys("clean").size(), 4u);
  ASSERT_TRUE(editor_.Close());  // Mode gets its flag at closing

  const IniFile file(path_);
  EXPECT_EQ(file.Keys("clean"), (std::vector<std::string>{"Command", "Target", "Mode", "\xA7Target", "\xA7Mode"}));
  EXPECT_EQ(Plain(file, "clean", "\xA7Target"), "N");
  EXPECT_EQ(Plain(file, "clean", "\xA7Mode"), "Y");
}

TEST_F(JobEditorTest, NewJobAndDuplicates) {
  WriteSampleFile();
  editor_.Load(path_);
  for (const char* duplicate : {"BACKUP", "clean ", ""}) {
    dialogs_.Answer(duplicate);
    editor_.NewJob();
  }
  dialogs_.Answer(std::nullopt);
  editor_.NewJob();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(editor_.Jobs(), (std::vector<std::string>{"backup", "clean"}));
  ASSERT_EQ(dialogs_.asked.size(), 4u);
  EXPECT_EQ(dialogs_.asked[0].caption, "New Job");
  EXPECT_EQ(dialogs_.asked[0].prompt, "Please enter the new job name");

  dialogs_.Answer("Archive");
  editor_.NewJob();
  EXPECT_EQ(editor_.Jobs(), (std::vector<std::string>{"Archive", "backup", "clean"}));
  EXPECT_EQ(editor_.CurrentJob(), "Archive");
  EXPECT_EQ(editor_.Command(), "");
  const auto mainList = editor_.Close();
  ASSERT_TRUE(mainList);
  EXPECT_EQ(*mainList, (std::vector<std::string>{"backup", "clean", "Archive"}));
  EXPECT_EQ(IniFile(path_).Keys("Archive"), std::vector<std::string>{"Command"});
}

TEST_F(JobEditorTest, RemoveVariableDeletesItsFlagAndRemoveWithNothingSelectedDoesNothing) {
  WriteSampleFile();
  const std::string before = ReadBytes(path_);
  editor_.Load(path_);
  editor_.RemoveJob();
  editor_.RemoveVariable();
  EXPECT_FALSE(editor_.CommandEditorLines());
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(ReadBytes(path_), before);

  editor_.Load(path_);
  editor_.SelectJob("backup");
  editor_.SelectVariable("Host");
  ASSERT_TRUE(editor_.Display());
  editor_.RemoveVariable();
  EXPECT_FALSE(editor_.CurrentJobVariable());
  EXPECT_FALSE(editor_.Display());
  EXPECT_EQ(editor_.Value(), "");
  EXPECT_EQ(editor_.Variables(), std::vector<std::string>{"Dir"});
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(IniFile(path_).Keys("backup"), (std::vector<std::string>{"Command", "Dir"}));
}

TEST_F(JobEditorTest, UndecryptableCommandKeepsTheFieldsWithTheirJob) {
  WriteSampleFile();
  IniFile file(path_);
  file.Write("broken", "Command", "plain.text");
  file.WriteBack();

  editor_.Load(path_);
  editor_.SelectJob("backup");
  editor_.SetCommand("df;");
  EXPECT_THROW(editor_.SelectJob("broken"), EStringFormat);
  EXPECT_EQ(editor_.CurrentJob(), "backup");
  EXPECT_EQ(editor_.Command(), "df;");
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(Plain(IniFile(path_), "backup", "Command"), "df;");
}

TEST_F(JobEditorTest, FailedSaveLeavesTheFileAndTheEditorAsTheyWere) {
  WriteSampleFile();
  const std::string before = ReadBytes(path_);
  editor_.Load(path_);
  editor_.SelectJob("backup");
  editor_.SetCommand("whoami;");
  {
    test::FileSizeLimit full(8);
    EXPECT_THROW(editor_.Close(), std::system_error);
  }
  EXPECT_EQ(ReadBytes(path_), before);
  EXPECT_EQ(editor_.CurrentJob(), "backup");
  EXPECT_EQ(editor_.Command(), "whoami;");
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(Plain(IniFile(path_), "backup", "Command"), "whoami;");
}

TEST_F(JobEditorTest, FileThatCannotBeReadIsNeverOverwritten) {
  std::filesystem::create_directory(path_);
  EXPECT_THROW(editor_.Load(path_), std::system_error);
  editor_.NewJob();
  EXPECT_TRUE(dialogs_.asked.empty());
  EXPECT_FALSE(editor_.Close());
  EXPECT_TRUE(std::filesystem::is_directory(path_));
}

}  // namespace
}  // namespace corvane
