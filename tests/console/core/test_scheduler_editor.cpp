// The scheduler editor's rules without the window: save order, load, Active checks, entered
// values and the lists; the editor's handlers over its files.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/core/name_rules.h"
#include "console/core/scheduler_editor.h"
#include "console/editor_fixture.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

using Keys = std::vector<std::string>;

class SchedulerEditorRules : public ::testing::Test {
 protected:
  void SetUp() override { InitStoredValueManager(cipher_); }
  TCipherManager cipher_;
  StoredValues values_{cipher_};
};

// A save over the keys its load found: a key unchanged on screen keeps what the file holds now
// (the worker's rewrite after a run); a key changed on screen, one the load did not find, and one
// the file no longer holds are written.
TEST_F(SchedulerEditorRules, SaveKeepsWhatChangedOnlyInTheFile) {
  struct Case {
    const char* what;
    std::string atLoad;    // "" : the key was missing at the load
    std::string now;       // what the file holds at the save ("" : missing)
    std::string onScreen;  // the start field at the save
    std::string saved;
  };
  const std::vector<Case> cases = {
      {"written meanwhile, unchanged on screen", "2024-05-01 10:00:00", "2024-05-01 12:00:00",
       "2024-05-01 10:00:00", "2024-05-01 12:00:00"},
      {"changed on screen", "2024-05-01 10:00:00", "2024-05-01 12:00:00", "2024-06-01 08:00:00",
       "2024-06-01 08:00:00"},
      {"missing at the load", "", "2024-05-01 12:00:00", "2024-06-01 08:00:00", "2024-06-01 08:00:00"},
      {"missing now", "2024-05-01 10:00:00", "", "2024-05-01 10:00:00", "2024-05-01 10:00:00"},
      {"nothing changed anywhere", "2024-05-01 10:00:00", "2024-05-01 10:00:00", "2024-05-01 10:00:00",
       "2024-05-01 10:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IniFile file;
    values_.Write(file, "S", "active", "1");
    values_.Write(file, "S", "job", "Job1");
    if (!c.atLoad.empty()) values_.Write(file, "S", "start", c.atLoad);
    const LoadedKeys loaded = ReadLoadedKeys(file, values_, "S");
    ASSERT_EQ(loaded.Find("start") != nullptr, !c.atLoad.empty());
    // The worker runs the job meanwhile.
    values_.Write(file, "S", "active", "0");
    if (c.now.empty()) {
      file.DeleteKey("S", "start");
    } else {
      values_.Write(file, "S", "start", c.now);
    }
    ScheduleFields fields;
    fields.active = true;  // as loaded
    fields.job = "Job2";   // the operator's change
    fields.start = c.onScreen;
    WriteScheduledJob(file, values_, "S", fields, {}, NameOrder::JobEnvironmentProtocol, &loaded);
    EXPECT_EQ(values_.Read(file, "S", "start"), c.saved);
    EXPECT_EQ(values_.Read(file, "S", "active"), "0");
    EXPECT_EQ(values_.Read(file, "S", "job"), "Job2");
    EXPECT_EQ(values_.Read(file, "S", "once"), "1");  // missing at the load: written
    // What the load found for another scheduled job plays no part.
    WriteScheduledJob(file, values_, "T", fields, {}, NameOrder::JobEnvironmentProtocol, &loaded);
    EXPECT_EQ(values_.Read(file, "T", "active"), "1");
  }
}

TEST_F(SchedulerEditorRules, SaveOrdersAndParameterValues) {
  ScheduleFields fields;
  fields.active = true;
  fields.once = false;
  fields.start = "2024-05-01 10:00:00";
  fields.every = "3";
  fields.unit = 1;
  fields.job = "Job1";
  fields.environment = "Env1";
  fields.protocol = "Remote Shell";
  fields.parameter = "host";
  fields.value = "alpha";
  EnteredValues entered;
  entered.Enter("user", "bob");
  entered.Enter("empty", "");
  entered.Enter("user", "carol");  // the later entry wins, in the first place

  IniFile select;
  WriteScheduledJob(select, values_, "S", fields, entered, NameOrder::JobEnvironmentProtocol);
  EXPECT_EQ(select.Keys("S"),
            (Keys{"active", "once", "start", "every", "time", "job", "envir", "prot", "\xA7user", "\xA7host"}));
  IniFile close;
  WriteScheduledJob(close, values_, "S", fields, entered, NameOrder::ProtocolEnvironmentJob);
  EXPECT_EQ(close.Keys("S"),
            (Keys{"active", "once", "start", "every", "time", "prot", "envir", "job", "\xA7user", "\xA7host"}));
  EXPECT_EQ(values_.Read(close, "S", "active"), "1");
  EXPECT_EQ(values_.Read(close, "S", "once"), "0");
  EXPECT_EQ(values_.Read(close, "S", "time"), "1");
  EXPECT_EQ(values_.Read(close, "S", "\xA7user"), "carol");
  EXPECT_EQ(values_.Read(close, "S", "\xA7host"), "alpha");

  // Empty values are never written: a stored one stays.
  fields.value.clear();
  entered.Clear();
  entered.Enter("host", "");
  WriteScheduledJob(close, values_, "S", fields, entered, NameOrder::ProtocolEnvironmentJob);
  EXPECT_EQ(values_.Read(close, "S", "\xA7host"), "alpha");
  // A value typed with no parameter shown goes under the prefix alone.
  fields.parameter.clear();
  fields.value = "x";
  WriteScheduledJob(close, values_, "T", fields, {}, NameOrder::JobEnvironmentProtocol);
  EXPECT_EQ(values_.Read(close, "T", "\xA7"), "x");
}

// Values the scheduled run could not pass to the job are refused before anything is written.
TEST_F(SchedulerEditorRules, SaveRefusesValuesTheRunCannotPass) {
  IniFile file;
  values_.Write(file, "S", "job", "Job1");
  values_.Write(file, "S",
                "\xA7"
                "b",
                "a=2");
  const std::string before = file.ToBytes();
  ScheduleFields fields;
  fields.job = "Job1";
  const auto refusal = [&](const ScheduleFields& f, const EnteredValues& entered) -> std::string {
    try {
      WriteScheduledJob(file, values_, "S", f, entered, NameOrder::JobEnvironmentProtocol);
    } catch (const std::invalid_argument& e) {
      return e.what();
    }
    return "";
  };
  fields.parameter = "who";
  fields.value = "x&y";
  EXPECT_EQ(refusal(fields, {}), kValueHasAmpersand);
  EnteredValues entered;
  entered.Enter("who", "1&2");
  fields.value = "fine";
  fields.parameter = "other";
  EXPECT_EQ(refusal(fields, entered), kValueHasAmpersand);
  // a = "b=1" against the stored b = "a=2": neither order reads both back.
  fields.parameter = "a";
  fields.value = "b=1";
  EXPECT_EQ(refusal(fields, {}), kValuesCannotBeOrdered);
  EXPECT_EQ(file.ToBytes(), before);
  // Replacing the stored b (letter case as the file folds it) makes the set passable again.
  entered.Clear();
  entered.Enter("B", "3");
  EXPECT_EQ(refusal(fields, entered), "");
  EXPECT_EQ(values_.Read(file, "S",
                         "\xA7"
                         "a"),
            "b=1");
  EXPECT_EQ(values_.Read(file, "S",
                         "\xA7"
                         "b"),
            "3");
}

TEST_F(SchedulerEditorRules, ActiveChecksInOrder) {
  struct Case {
    const char* job;
    const char* environment;
    const char* start;
    bool once;
    const char* every;
    std::int32_t unit;
    const char* message;  // nullptr: all pass
  };
  const Case cases[] = {
      {"", "", "", true, "1", -1, "Select a Job Name"},
      {"J", "", "", true, "1", -1, "Select a Environment Name"},
      {"J", "E", "", false, "0", -1, "Select a Start Date"},
      {"J", "E", "2024-05-01", true, "0", -1, nullptr},  // run once: count and unit untested
      {"J", "E", "2024-05-01", false, "", 0, "Select a greater Frequency than 0"},
      {"J", "E", "2024-05-01", false, "abc", 0, "Select a greater Frequency than 0"},
      {"J", "E", "2024-05-01", false, "-2", 0, "Select a greater Frequency than 0"},
      {"J", "E", "2024-05-01", false, "2", -1, "Select a Period"},
      {"J", "E", "2024-05-01", false, "2", 3, nullptr},
  };
  for (const Case& c : cases) {
    ScheduleFields f;
    f.job = c.job;
    f.environment = c.environment;
    f.start = c.start;
    f.once = c.once;
    f.every = c.every;
    f.unit = c.unit;
    const auto failure = FirstFailingActiveCheck(f);
    if (c.message == nullptr) {
      EXPECT_FALSE(failure.has_value()) << *failure;
    } else {
      ASSERT_TRUE(failure.has_value()) << c.message;
      EXPECT_EQ(*failure, c.message);
    }
  }
}

TEST_F(SchedulerEditorRules, LoadDefaultsAndBadTime) {
  IniFile file;
  values_.Write(file, "S", "once", "0");
  values_.Write(file, "S", "every", "4");
  values_.Write(file, "S", "time", "2");
  values_.Write(file, "S", "active", "1");
  LoadedSchedule loaded = ReadScheduledJob(file, values_, "S");
  EXPECT_EQ(loaded.protocol, "Remote Exec");  // no `prot` key
  EXPECT_FALSE(loaded.once);
  EXPECT_EQ(loaded.every, "4");
  EXPECT_EQ(loaded.unit, 2);
  EXPECT_TRUE(loaded.active);
  // A missing `once` shows Run Once; a missing `time` no unit.
  loaded = ReadScheduledJob(file, values_, "Missing");
  EXPECT_TRUE(loaded.once);
  EXPECT_EQ(loaded.unit, -1);
  EXPECT_FALSE(loaded.active);
  values_.Write(file, "S", "time", "x");
  EXPECT_THROW(ReadScheduledJob(file, values_, "S"), std::invalid_argument);
  file.Write("S", "job", "*not stored text*");
  EXPECT_ANY_THROW(ReadScheduledJob(file, values_, "S"));
}

TEST(SchedulerEditorLists, ParametersAndSorting) {
  const IniFile jobs =
      IniFile::FromBytes("[Job1]\r\nCommand=x\r\nzeta=\r\n\xA7zeta=\r\nalpha=\r\ncommand =y\r\n\r\n");
  EXPECT_EQ(JobParameters(jobs, "job1"), (Keys{"zeta", "alpha"}));
  EXPECT_TRUE(JobParameters(jobs, "").empty());
  EXPECT_EQ(SortedNames({"beta", "Alpha", "alpha", "Gamma"}), (Keys{"Alpha", "alpha", "beta", "Gamma"}));
}

// ---- the editor's handlers over its files ------------------------------------------------------

class SchedulerEditorHandlers : public test::StoredFileTest {
 protected:
  SchedulerEditorHandlers() {
    IniFile jobs;
    for (const auto& [job, keys] :
         std::vector<std::pair<std::string, Keys>>{{"Job1", {"Command", "user"}}, {"Job2", {"Command", "path"}}}) {
      for (const std::string& key : keys) StoredValues(cipher_).Write(jobs, job, key, "");
    }
    jobs.WriteBack(Path("CorvaneJob.ini"));
    IniFile schedule;
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"once", "1"},
                                                          {"start", "2024-05-01 10:00:00"},
                                                          {"job", "Job1"},
                                                          {"envir", "Env1"},
                                                          {"\xA7user", "ops"}}) {
      StoredValues(cipher_).Write(schedule, "S1", key, value);
    }
    schedule.WriteBack(Path("CorvaneSchd.ini"));
  }
  std::string Schedule(std::string_view section, std::string_view key) {
    return Plain(IniFile(Path("CorvaneSchd.ini")), section, key);
  }
  // What the window shows for S1 as loaded.
  static ScheduleFields LoadedFields() {
    ScheduleFields fields;
    fields.start = "2024-05-01 10:00:00";
    fields.job = "Job1";
    fields.environment = "Env1";
    fields.protocol = "Remote Exec";
    return fields;
  }
  SchedulerEditor editor_{cipher_, dialogs_, Path("CorvaneSchd.ini"), Path("CorvaneJob.ini"),
                          Path("CorvaneEnv.ini")};
};

TEST_F(SchedulerEditorHandlers, ChoosingSavesTheShownOneAndALoadTakesItsJob) {
  editor_.Unload();
  EXPECT_FALSE(editor_.SavesOnClose());
  editor_.Load();
  EXPECT_TRUE(editor_.SavesOnClose());
  EXPECT_EQ(editor_.ScheduledJobs(), (Keys{"S1"}));
  EXPECT_EQ(editor_.Jobs(), (Keys{"Job1", "Job2"}));
  editor_.Choose(ScheduleFields(), "S1");  // nothing shown yet: nothing saved
  EXPECT_EQ(Schedule("S1", "start"), "2024-05-01 10:00:00");
  const LoadedSchedule loaded = editor_.LoadCurrent();
  EXPECT_EQ(loaded.job, "Job1");
  editor_.TakeLoadedJob(loaded.job);
  EXPECT_EQ(editor_.ChooseJob("Job1"), (Keys{"user"}));  // its own job: the values stay
  EXPECT_EQ(editor_.ChooseParameter("user"), "ops");

  // Another scheduled job: the shown one is saved first, with what was entered.
  ASSERT_EQ(editor_.EnterValue("dev"), std::nullopt);
  ScheduleFields shown = LoadedFields();
  shown.start = "2024-06-01 08:00:00";
  shown.parameter = "user";
  editor_.Choose(shown, "S2");
  EXPECT_EQ(Schedule("S1", "start"), "2024-06-01 08:00:00");
  EXPECT_EQ(Schedule("S1", "\xA7user"), "dev");
  EXPECT_EQ(editor_.CurrentSchedule(), "S2");
  EXPECT_EQ(editor_.CurrentParameter(), "");
  EXPECT_TRUE(editor_.Entered().Items().empty());
}

TEST_F(SchedulerEditorHandlers, ValuesTheRunCannotPassAreRefusedAndAFailedSaveKeepsTheShownOne) {
  editor_.Load();
  editor_.Choose(ScheduleFields(), "S1");
  editor_.TakeLoadedJob(editor_.LoadCurrent().job);
  editor_.ChooseParameter("user");
  EXPECT_TRUE(editor_.EnterValue("a&b").has_value());
  EXPECT_TRUE(editor_.Entered().Items().empty());
  // The value field itself holds what cannot be passed: the save is refused, S1 stays shown.
  ScheduleFields shown = LoadedFields();
  shown.parameter = "user";
  shown.value = "x&y";
  EXPECT_THROW(editor_.Choose(shown, "S2"), std::invalid_argument);
  EXPECT_EQ(editor_.CurrentSchedule(), "S1");
  EXPECT_EQ(Schedule("S1", "\xA7user"), "ops");
}

TEST_F(SchedulerEditorHandlers, AnotherJobDropsTheOldJobsValuesAndCloseWritesBack) {
  editor_.Load();
  editor_.Choose(ScheduleFields(), "S1");
  editor_.TakeLoadedJob(editor_.LoadCurrent().job);
  EXPECT_EQ(editor_.ChooseJob("Job2"), (Keys{"path"}));
  EXPECT_EQ(editor_.ScheduleJobName(), "Job2");
  EXPECT_FALSE(IniFile(Path("CorvaneSchd.ini")).KeyExists("S1", "\xA7user"));

  // The worker rewrote the file: the shown one is chosen again without being saved over it.
  IniFile file(Path("CorvaneSchd.ini"));
  StoredValues(cipher_).Write(file, "S1", "start", "2024-07-01 00:00:00");
  file.WriteBack();
  editor_.ForgetCurrent();
  editor_.Choose(LoadedFields(), "S1");
  EXPECT_EQ(Schedule("S1", "start"), "2024-07-01 00:00:00");
  EXPECT_EQ(editor_.LoadCurrent().start, "2024-07-01 00:00:00");

  ScheduleFields shown = LoadedFields();
  shown.start = "2024-07-01 00:00:00";
  shown.job = "Job2";
  editor_.Close(shown);
  EXPECT_EQ(Schedule("S1", "job"), "Job2");
  editor_.Remove("S1");
  EXPECT_TRUE(editor_.ScheduledJobs().empty());
  EXPECT_TRUE(IniFile(Path("CorvaneSchd.ini")).Sections().empty());
}

// New: the checks in their order (Latin-1, listed, empty, storable), each refusal with its message;
// a taken name joins the sorted list and the file stays as it was until a save.
TEST_F(SchedulerEditorHandlers, NewTakesOrRefusesTheTypedName) {
  struct Case {
    const char* what;
    std::optional<TypedName> answer;     // nothing: cancelled
    std::optional<std::string> message;  // nothing: no message
    std::optional<std::string> taken;    // nothing: no name taken
    Keys names;                          // the list afterwards
  };
  const Case cases[] = {
      {"before the listed one", TypedName{"Backup"}, std::nullopt, "Backup", {"Backup", "S1"}},
      {"after it, letter case ignored", TypedName{"s2"}, std::nullopt, "s2", {"S1", "s2"}},
      {"with blanks and the section sign", TypedName{" \xA7 x "}, std::nullopt, " \xA7 x ", {" \xA7 x ", "S1"}},
      {"listed, other case", TypedName{"s1"}, kNameExistsMessage, std::nullopt, {"S1"}},
      {"listed once read back", TypedName{" S1 "}, kNameExistsMessage, std::nullopt, {"S1"}},
      {"listed before it is refused for its line break",
       TypedName{"S1\r\n"},
       kNameExistsMessage,
       std::nullopt,
       {"S1"}},
      {"line break", TypedName{"a\r\nb"}, std::string(kNameHasControl), std::nullopt, {"S1"}},
      {"outside Latin-1 before listed", TypedName{"S1", false}, std::string(kNameNotLatin1), std::nullopt, {"S1"}},
      {"outside Latin-1 before empty", TypedName{"", false}, std::string(kNameNotLatin1), std::nullopt, {"S1"}},
      {"empty", TypedName{""}, std::nullopt, std::nullopt, {"S1"}},
      {"cancelled", std::nullopt, std::nullopt, std::nullopt, {"S1"}},
  };
  const std::string before = test::ReadBytes(Path("CorvaneSchd.ini"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dialogs_.messages.clear();
    dialogs_.asked.clear();
    editor_.Unload();
    editor_.Load();
    if (c.answer) {
      dialogs_.AnswerTyped(*c.answer);
    } else {
      dialogs_.Answer(std::nullopt);
    }
    EXPECT_EQ(editor_.NewScheduledJob(), c.taken);
    EXPECT_TRUE(dialogs_.AllAnswersUsed());
    ASSERT_EQ(dialogs_.asked.size(), 1u);
    EXPECT_EQ(dialogs_.asked[0].caption, kNewScheduledJobCaption);
    EXPECT_EQ(dialogs_.asked[0].prompt, kNewScheduledJobPrompt);
    if (c.message) {
      EXPECT_EQ(dialogs_.messages, Keys{*c.message});
    } else {
      EXPECT_TRUE(dialogs_.messages.empty());
    }
    EXPECT_EQ(editor_.ScheduledJobNames(), c.names);
    EXPECT_EQ(editor_.CurrentSchedule(), "");
    EXPECT_EQ(test::ReadBytes(Path("CorvaneSchd.ini")), before);
  }
}

// A name taken by New is listed before anything is saved; the list is the file's again after a
// Remove and empty after an unload.
TEST_F(SchedulerEditorHandlers, NewNamesStayListedUntilTheListIsReadAgain) {
  editor_.Load();
  dialogs_.Answer("T");
  ASSERT_EQ(editor_.NewScheduledJob(), "T");
  dialogs_.Answer("t");
  EXPECT_EQ(editor_.NewScheduledJob(), std::nullopt);
  EXPECT_EQ(dialogs_.messages, Keys{kNameExistsMessage});
  EXPECT_EQ(editor_.ScheduledJobNames(), (Keys{"S1", "T"}));

  editor_.Remove("S1");
  EXPECT_TRUE(editor_.ScheduledJobNames().empty());
  dialogs_.Answer("U");
  ASSERT_EQ(editor_.NewScheduledJob(), "U");
  editor_.Unload();
  EXPECT_TRUE(editor_.ScheduledJobNames().empty());
}

}  // namespace
}  // namespace corvane
