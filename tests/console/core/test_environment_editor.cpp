#include "console/core/environment_editor.h"

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

class EnvironmentEditorTest : public test::StoredFileTest {
 protected:
  EnvironmentEditorTest() : editor_(cipher_, dialogs_) {}

  // prod: LLogin, RHost (stored values); test: RHost.
  void WriteSampleFile() {
    std::filesystem::remove(path_);
    IniFile file(path_);
    StoredValues values(cipher_);
    values.Write(file, "prod", "LLogin", "alice");
    values.Write(file, "prod", "RHost", "old.example");
    values.Write(file, "test", "RHost", "test.example");
    file.WriteBack();
  }

  std::string path_ = Path("CorvaneEnv.ini");
  EnvironmentEditor editor_;
};

TEST_F(EnvironmentEditorTest, ShowListsSortedSectionsAndSelectsNothing) {
  WriteBytes(path_, "; comment\r\n[zeta]\r\n[Alpha]\r\n[beta]\r\nRHost=\r\n");
  editor_.Load(path_);
  EXPECT_EQ(editor_.Environments(), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
  EXPECT_TRUE(editor_.Variables().empty());
  EXPECT_FALSE(editor_.CurrentEnvironment());
  EXPECT_FALSE(editor_.CurrentVariable());
  EXPECT_EQ(editor_.Value(), "");

  editor_.SelectEnvironment("beta");
  EXPECT_EQ(editor_.Variables(), (std::vector<std::string>{"RHost"}));
  EXPECT_EQ(editor_.CurrentEnvironment(), "beta");
}

// Every way of leaving a typed value stores it, encrypted, at the next close; removing its
// variable or its environment drops it.
TEST_F(EnvironmentEditorTest, WaysToLeaveATypedValue) {
  struct Case {
    const char* how;
    std::function<void(EnvironmentEditor&, test::ScriptedDialogs&)> leave;
    bool stored;
  };
  const Case cases[] = {
      {"another variable", [](auto& e, auto&) { e.SelectVariable("LLogin"); }, true},
      {"another environment", [](auto& e, auto&) { e.SelectEnvironment("test"); }, true},
      {"New variable",
       [](auto& e, auto& d) {
         d.Answer("Extra");
         e.NewVariable();
       },
       true},
      {"New environment",
       [](auto& e, auto& d) {
         d.Answer("stage");
         e.NewEnvironment();
       },
       true},
      {"Close", [](auto&, auto&) {}, true},
      {"the variable removed", [](auto& e, auto&) { e.RemoveVariable(); }, false},
      {"the environment removed", [](auto& e, auto&) { e.RemoveEnvironment(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    WriteSampleFile();
    editor_.Load(path_);
    editor_.SelectEnvironment("prod");
    editor_.SelectVariable("RHost");
    ASSERT_EQ(editor_.Value(), "old.example");
    editor_.SetValue("new.example");
    c.leave(editor_, dialogs_);
    ASSERT_TRUE(editor_.Close());

    const std::string bytes = ReadBytes(path_);
    const IniFile file(path_);
    EXPECT_EQ(bytes.find("new.example"), std::string::npos) << "stored in plain text";
    if (c.stored) {
      EXPECT_EQ(file.Read("prod", "RHost"), Stored("new.example"));
      EXPECT_EQ(Plain(file, "prod", "LLogin"), "alice");
    } else {
      EXPECT_EQ(bytes.find(Stored("new.example")), std::string::npos) << bytes;
      EXPECT_FALSE(file.KeyExists("prod", "RHost"));
    }
    EXPECT_EQ(Plain(file, "test", "RHost"), "test.example");
  }
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(EnvironmentEditorTest, NewEnvironmentWritesTheFourKeysInOrderAtTheEnd) {
  WriteSampleFile();
  editor_.Load(path_);
  dialogs_.Answer("Backup");
  editor_.NewEnvironment();

  ASSERT_EQ(dialogs_.asked.size(), 1u);
  EXPECT_EQ(dialogs_.asked[0].caption, "New Environment");
  EXPECT_EQ(dialogs_.asked[0].prompt, "Please enter the new environment name");
  EXPECT_EQ(editor_.Environments(), (std::vector<std::string>{"Backup", "prod", "test"}));
  EXPECT_EQ(editor_.CurrentEnvironment(), "Backup");
  EXPECT_EQ(editor_.Variables(), (std::vector<std::string>{"LLogin", "RHost", "RLogin", "RPwd"}));

  const auto mainList = editor_.Close();
  ASSERT_TRUE(mainList);
  EXPECT_EQ(*mainList, (std::vector<std::string>{"prod", "test", "Backup"}));  // file order
  const std::string bytes = ReadBytes(path_);
  const std::string block = "[Backup]\r\nLLogin=\r\nRLogin=\r\nRPwd=\r\nRHost=\r\n\r\n";
  ASSERT_GE(bytes.size(), block.size());
  EXPECT_EQ(bytes.substr(bytes.size() - block.size()), block);
}

TEST_F(EnvironmentEditorTest, NewNamesThatAreRefusedOrIgnored) {
  struct Case {
    const char* what;
    bool variable;                       // New variable (in "prod") instead of New environment
    std::optional<TypedName> answer;     // nothing: cancelled
    std::optional<std::string> message;  // nothing: no message
  };
  const Case cases[] = {
      {"duplicate environment, other case", false, TypedName{"PROD"}, "This name already exists"},
      {"duplicate environment once read back", false, TypedName{" prod "}, "This name already exists"},
      {"empty environment", false, TypedName{""}, std::nullopt},
      {"cancelled environment", false, std::nullopt, std::nullopt},
      {"environment with a line break", false, TypedName{"a\r\nb"}, std::string(kNameHasControl)},
      {"environment outside Latin-1", false, TypedName{"x", false}, std::string(kNameNotLatin1)},
      {"duplicate variable, other case", true, TypedName{"rhost"}, "This name already exists"},
      {"empty variable", true, TypedName{""}, std::nullopt},
      {"cancelled variable", true, std::nullopt, std::nullopt},
      {"variable with \"=\"", true, TypedName{"a=b"}, std::string(kNameHasEquals)},
      {"variable read as a comment", true, TypedName{"  ;x"}, std::string(kNameStartsWithSemicolon)},
      {"variable with a tab", true, TypedName{"a\tb"}, std::string(kNameHasControl)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSampleFile();
    const std::string before = ReadBytes(path_);
    dialogs_.messages.clear();
    editor_.Load(path_);
    editor_.SelectEnvironment("prod");
    if (c.answer) {
      dialogs_.AnswerTyped(*c.answer);
    } else {
      dialogs_.Answer(std::nullopt);
    }
    if (c.variable) {
      editor_.NewVariable();
    } else {
      editor_.NewEnvironment();
    }
    EXPECT_TRUE(dialogs_.AllAnswersUsed());
    if (c.message) {
      EXPECT_EQ(dialogs_.messages, std::vector<std::string>{*c.message});
    } else {
      EXPECT_TRUE(dialogs_.messages.empty());
    }
    EXPECT_EQ(editor_.Environments(), (std::vector<std::string>{"prod", "test"}));
    EXPECT_EQ(editor_.Variables(), (std::vector<std::string>{"LLogin", "RHost"}));
    EXPECT_EQ(editor_.CurrentEnvironment(), "prod");
    ASSERT_TRUE(editor_.Close());
    EXPECT_EQ(ReadBytes(path_), before);
  }
}

TEST_F(EnvironmentEditorTest, NamesWithBlanksAndSectionSignAreStoredAsTyped) {
  WriteSampleFile();
  editor_.Load(path_);
  dialogs_.Answer("\xA7 lab=1");  // a section name may hold "=" and the section sign
  editor_.NewEnvironment();
  dialogs_.Answer(" Port ");
  editor_.NewVariable();
  EXPECT_EQ(editor_.CurrentVariable(), " Port ");
  editor_.SetValue("2222");
  ASSERT_TRUE(editor_.Close());

  const IniFile file(path_);
  EXPECT_EQ(file.Sections(), (std::vector<std::string>{"prod", "test", "\xA7 lab=1"}));
  EXPECT_EQ(Plain(file, "\xA7 lab=1", "Port"), "2222");  // blanks around a name vanish on reading
}

TEST_F(EnvironmentEditorTest, NewVariableNeedsAnEnvironment) {
  WriteSampleFile();
  editor_.Load(path_);
  editor_.NewVariable();
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"You must select a Environment name before"});
  EXPECT_TRUE(dialogs_.asked.empty());

  dialogs_.messages.clear();
  editor_.SelectEnvironment("prod");
  dialogs_.Answer("Zone");
  editor_.NewVariable();
  ASSERT_EQ(dialogs_.asked.size(), 1u);
  EXPECT_EQ(dialogs_.asked[0].caption, "New Environment Variable");
  EXPECT_EQ(dialogs_.asked[0].prompt, "Please enter the new environment variable name");
  EXPECT_EQ(editor_.Variables(), (std::vector<std::string>{"LLogin", "RHost", "Zone"}));
  EXPECT_EQ(editor_.CurrentVariable(), "Zone");
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(IniFile(path_).Keys("prod"), (std::vector<std::string>{"LLogin", "RHost", "Zone"}));
}

TEST_F(EnvironmentEditorTest, RemoveWithNothingSelectedDoesNothing) {
  WriteSampleFile();
  const std::string before = ReadBytes(path_);
  editor_.Load(path_);
  editor_.RemoveEnvironment();
  editor_.RemoveVariable();
  editor_.SelectEnvironment("prod");
  editor_.RemoveVariable();
  EXPECT_EQ(editor_.Variables().size(), 2u);
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(ReadBytes(path_), before);
}

TEST_F(EnvironmentEditorTest, StandardVariablesCanBeRemovedAndAddedAgain) {
  WriteSampleFile();
  editor_.Load(path_);
  editor_.SelectEnvironment("prod");
  editor_.SelectVariable("LLogin");
  editor_.RemoveVariable();
  EXPECT_FALSE(editor_.CurrentVariable());
  EXPECT_EQ(editor_.Value(), "");
  EXPECT_EQ(editor_.Variables(), std::vector<std::string>{"RHost"});
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(IniFile(path_).Keys("prod"), std::vector<std::string>{"RHost"});

  editor_.Load(path_);
  editor_.SelectEnvironment("prod");
  dialogs_.Answer("LLogin");
  editor_.NewVariable();
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(IniFile(path_).Keys("prod"), (std::vector<std::string>{"RHost", "LLogin"}));
}

TEST_F(EnvironmentEditorTest, EachShowStartsFromTheFileAndCloseAlwaysRewrites) {
  WriteSampleFile();
  editor_.Load(path_);
  editor_.SelectEnvironment("prod");
  editor_.RemoveEnvironment();  // never closed: not saved
  EXPECT_EQ(editor_.Environments(), std::vector<std::string>{"test"});

  WriteBytes(path_, "; note\r\n[solo]\r\n  RHost =  \r\n");
  editor_.Load(path_);
  EXPECT_EQ(editor_.Environments(), std::vector<std::string>{"solo"});
  ASSERT_TRUE(editor_.Close());
  EXPECT_EQ(ReadBytes(path_), "[solo]\r\nRHost=\r\n\r\n");
}

TEST_F(EnvironmentEditorTest, ValueThatCannotBeDecryptedKeepsTheFieldWithItsVariable) {
  StoredValues values(cipher_);
  IniFile file(path_);
  values.Write(file, "prod", "LLogin", "alice");
  file.Write("prod", "RHost", "plain.text");
  file.WriteBack();

  editor_.Load(path_);
  editor_.SelectEnvironment("prod");
  editor_.SelectVariable("LLogin");
  editor_.SetValue("bob");
  EXPECT_THROW(editor_.SelectVariable("RHost"), EStringFormat);
  EXPECT_EQ(editor_.CurrentVariable(), "LLogin");
  EXPECT_EQ(editor_.Value(), "bob");
  ASSERT_TRUE(editor_.Close());
  const IniFile saved(path_);
  EXPECT_EQ(Plain(saved, "prod", "LLogin"), "bob");
  EXPECT_EQ(saved.Read("prod", "RHost"), "plain.text");
}

TEST_F(EnvironmentEditorTest, FailedSaveLeavesTheFileAndTheEditorAsTheyWere) {
  WriteSampleFile();
  const std::string before = ReadBytes(path_);
  editor_.Load(path_);
  editor_.SelectEnvironment("prod");
  editor_.SelectVariable("RHost");
  editor_.SetValue("new.example");
  {
    test::FileSizeLimit full(8);  // as a full disk would
    EXPECT_THROW(editor_.Close(), std::system_error);
  }
  EXPECT_EQ(ReadBytes(path_), before);
  EXPECT_EQ(editor_.CurrentVariable(), "RHost");
  EXPECT_EQ(editor_.Value(), "new.example");
  ASSERT_TRUE(editor_.Close());  // the next try succeeds
  EXPECT_EQ(Plain(IniFile(path_), "prod", "RHost"), "new.example");
}

TEST_F(EnvironmentEditorTest, FileThatCannotBeReadIsNeverOverwritten) {
  std::filesystem::create_directory(path_);  // something that exists but cannot be read as a file
  EXPECT_THROW(editor_.Load(path_), std::system_error);
  EXPECT_FALSE(editor_.Loaded());
  editor_.NewEnvironment();  // asks nothing
  editor_.NewVariable();
  EXPECT_TRUE(dialogs_.asked.empty());
  EXPECT_FALSE(editor_.Close());
  EXPECT_TRUE(std::filesystem::is_directory(path_));
}

}  // namespace
}  // namespace corvane
