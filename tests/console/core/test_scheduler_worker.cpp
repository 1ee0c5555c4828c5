// The scheduler worker: reschedule rules, the log block, passes over a real schedule file with a
// fixed clock and a fake library, and the merge with the operator's edits.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/qt_gui_test_app.h"
#include "console/core/scheduler_worker.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

LocalDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  LocalDateTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// ---- rules ---------------------------------------------------------------------------------------

TEST(SchedulerRules, RescheduleTable) {
  struct Case {
    const char* what;
    const char* once;
    std::int32_t every, unit;
    LocalDateTime start;
    bool deactivate;
    const char* next;
    bool parked;
  };
  const Case cases[] = {
      {"run once", "1", 1, -1, At(2024, 5, 1, 10), true, "", false},
      {"days", "0", 1, 0, At(2024, 1, 31, 10), false, "2024-02-01 10:00:00", false},
      {"days across a leap day", "0", 2, 0, At(2024, 2, 28, 8, 5, 7), false, "2024-03-01 08:05:07", false},
      {"hours across a year", "0", 2, 1, At(2024, 12, 31, 23, 30), false, "2025-01-01 01:30:00", false},
      {"minutes", "", 90, 2, At(2024, 3, 1, 23, 0), false, "2024-03-02 00:30:00", false},
      {"midnight leaves the time out", "0", 1, 0, At(2024, 2, 29), false, "2024-03-01", false},
      {"months clamp the day", "0", 1, 3, At(2024, 1, 31, 10), false, "2024-02-29 10:00:00", false},
      {"the clamped day sticks", "0", 1, 3, At(2024, 2, 29, 10), false, "2024-03-29 10:00:00", false},
      {"months in a common year", "0", 1, 3, At(2023, 1, 31, 10), false, "2023-02-28 10:00:00", false},
      {"12 months", "0", 12, 3, At(2024, 2, 29, 6), false, "2025-02-28 06:00:00", false},
      {"count missing", "0", -1, 0, At(2024, 1, 1, 10), false, "9999-12-31 00:00:00", false},
      {"unit missing", "0", 5, -1, At(2024, 1, 1, 10), false, "9999-12-31 00:00:00", false},
      {"count 0 parks", "0", 0, 0, At(2024, 1, 1, 10), false, "9999-12-31 00:00:00", true},
      {"negative count parks", "0", -7, 1, At(2024, 1, 1, 10), false, "9999-12-31 00:00:00", true},
      {"unknown unit parks", "0", 1, 4, At(2024, 1, 1, 10), false, "9999-12-31 00:00:00", true},
      {"unit below -1 parks", "0", 1, -2, At(2024, 1, 1, 10), false, "9999-12-31 00:00:00", true},
      {"a day past 9999 parks", "0", 1, 0, At(9999, 12, 31, 10), false, "9999-12-31 00:00:00", true},
      {"a month past 9999 parks", "0", 1, 3, At(9999, 12, 15, 10), false, "9999-12-31 00:00:00", true},
      {"once other than 1 is recurring", "yes", 1, 2, At(2024, 1, 1, 10), false, "2024-01-01 10:01:00", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const NextSchedule next = Reschedule(c.once, c.every, c.unit, c.start);
    EXPECT_EQ(next.deactivate, c.deactivate);
    EXPECT_EQ(next.start, c.next);
    EXPECT_EQ(next.parked, c.parked);
  }
}

TEST(SchedulerRules, PeriodNumbersAndProtocol) {
  const std::pair<const char*, std::int32_t> numbers[] = {
      {"5", 5},    {"999", 999}, {"0", 0},   {"-3", -3}, {"+2", 2},           {"", -1},
      {"abc", -1}, {"5x", -1},   {" 5", -1}, {"-", -1},  {"99999999999", -1}, {"2147483647", 2147483647},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(ReadPeriodNumber(text), value) << text;
  EXPECT_EQ(ProtocolIndexOf("Remote Exec"), 0);
  for (const char* other : {"Remote Shell", "", "remote exec", "Remote Exec "}) {
    EXPECT_EQ(ProtocolIndexOf(other), 1) << other;
  }
}

TEST(SchedulerLog, BlockBytes) {
  const std::string stars(37, '*');
  const std::string rule(37, '-');
  EXPECT_EQ(FormatLogBlock("2024-05-01 10:00:02", "Nightly", "0"),
            stars + "\r\n2024-05-01 10:00:02\r\nSchedule Job Name: Nightly\r\n" + rule +
                "\r\nJob Start Successfully.\r\nView Job log in Output file\r\n" + rule + "\r\n");
  // Any other result stands in place of the two lines, unchanged, line breaks and all.
  EXPECT_EQ(FormatLogBlock("2024-05-01", "N", "Host not found\r\nsecond"),
            stars + "\r\n2024-05-01\r\nSchedule Job Name: N\r\n" + rule + "\r\nHost not found\r\nsecond\r\n" +
                rule + "\r\n");
  EXPECT_EQ(FormatLogBlock("t", "N", ""),
            stars + "\r\nt\r\nSchedule Job Name: N\r\n" + rule + "\r\n\r\n" + rule + "\r\n");
}

// ---- passes --------------------------------------------------------------------------------------

struct RunCall {
  std::string environment, job, directory;
  std::int32_t protocolIndex;
  std::string parameterValues;
};

class SchedulerPass : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    directory_ = dir_.path().toStdString();
    InitStoredValueManager(cipher_);
    clock_ = std::make_shared<FixedClock>(At(2024, 5, 1, 10, 0, 0));
  }

  std::string SchedulePath() const { return directory_ + "/CorvaneSchd.ini"; }
  std::string LogPath() const { return directory_ + "/log.txt"; }

  // Writes plain values (encrypted as stored values) into the schedule file.
  void Put(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values) {
    IniFile file(SchedulePath());
    for (const auto& [key, value] : values) stored_.Write(file, section, key, value);
    file.WriteBack();
  }
  std::string Get(const std::string& section, const std::string& key) const {
    return stored_.Read(IniFile(SchedulePath()), section, key);
  }

  // A recurring job due at `start`.
  void PutJob(const std::string& section, const std::string& start, const std::string& once = "0",
              const std::string& every = "1", const std::string& time = "0") {
    Put(section, {{"active", "1"},
                  {"once", once},
                  {"start", start},
                  {"every", every},
                  {"time", time},
                  {"job", "job-" + section},
                  {"envir", "env-" + section},
                  {"prot", "Remote Exec"}});
  }

  SchedulerWorker MakeWorker() {
    SchedulerHooks hooks;
    hooks.run = [this](const std::string& env, const std::string& job, std::int32_t prot, const std::string& dir,
                       const std::string& parameterValues) {
      runs_.push_back({env, job, dir, prot, parameterValues});
      if (onRun_) onRun_();
      if (!failure_.empty()) throw std::runtime_error(failure_);
      return result_;
    };
    hooks.stopRequested = [this] { return stop_.load(); };
    hooks.pause = [this](std::chrono::milliseconds ms) { pauses_.push_back(ms); };
    hooks.reloadEditor = [this] { ++reloads_; };
    hooks.warn = [this](const std::string& text) { warnings_.push_back(text); };
    return SchedulerWorker(directory_, std::move(hooks), clock_);
  }

  QTemporaryDir dir_;
  std::string directory_;
  TCipherManager cipher_;
  StoredValues stored_{cipher_};
  std::shared_ptr<FixedClock> clock_;
  std::vector<RunCall> runs_;
  std::vector<std::chrono::milliseconds> pauses_;
  std::vector<std::string> warnings_;
  std::function<void()> onRun_;
  std::string result_ = "0";
  std::string failure_;
  int reloads_ = 0;
  std::atomic<bool> stop_{false};
};

TEST_F(SchedulerPass, DueJobRunsLogsAndMovesOn) {
  PutJob("Nightly", "2024-05-01 09:59:59");
  Put("Nightly", {{"prot", "Remote Shell"}});
  WriteBytes(LogPath(), "earlier\r\n");
  SchedulerWorker worker = MakeWorker();
  EXPECT_TRUE(worker.RunPass());

  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].environment, "env-Nightly");
  EXPECT_EQ(runs_[0].job, "job-Nightly");
  EXPECT_EQ(runs_[0].directory, directory_);
  EXPECT_EQ(runs_[0].protocolIndex, 1);
  // Appended after what was there; the date-time is the clock's at the time of writing.
  EXPECT_EQ(ReadBytes(LogPath()), "earlier\r\n" + FormatLogBlock("2024-05-01 10:00:00", "Nightly", "0"));
  EXPECT_EQ(Get("Nightly", "start"), "2024-05-02 09:59:59");
  EXPECT_EQ(Get("Nightly", "active"), "1");
  EXPECT_EQ(Get("Nightly", "last"), "2024-05-01 10:00:00");
  EXPECT_EQ(reloads_, 1);
  EXPECT_EQ(pauses_, std::vector<std::chrono::milliseconds>{kSchedulerPause});
  EXPECT_TRUE(warnings_.empty());
  // The key order: `last` is appended at the first run.
  EXPECT_EQ(
      IniFile(SchedulePath()).Keys("Nightly"),
      (std::vector<std::string>{"active", "once", "start", "every", "time", "job", "envir", "prot", "last"}));
}

TEST_F(SchedulerPass, StartEqualToNowIsNotDueOneSecondLaterItIs) {
  PutJob("A", "2024-05-01 10:00:00");
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  EXPECT_TRUE(runs_.empty());
  clock_->Set(At(2024, 5, 1, 10, 0, 1));
  worker.RunPass();
  EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(SchedulerPass, NothingDueLeavesTheFileByteIdentical) {
  PutJob("Future", "2024-05-01 10:00:01");
  Put("Inactive", {{"active", "0"}, {"start", "2020-01-01 00:00:01"}, {"once", "1"}});
  Put("NoStart", {{"active", "1"}, {"start", ""}, {"once", "1"}});
  Put("NoActive", {{"start", "2020-01-01 00:00:01"}, {"once", "1"}});
  // A comment that a rewrite would drop.
  WriteBytes(SchedulePath(), "; hand-made\r\n" + ReadBytes(SchedulePath()));
  const std::string before = ReadBytes(SchedulePath());
  SchedulerWorker worker = MakeWorker();
  EXPECT_TRUE(worker.RunPass());
  EXPECT_TRUE(runs_.empty());
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
  EXPECT_FALSE(std::filesystem::exists(LogPath()));
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(reloads_, 0);
}

TEST_F(SchedulerPass, MissingScheduleFileDoesNothing) {
  SchedulerWorker worker = MakeWorker();
  EXPECT_TRUE(worker.RunPass());
  EXPECT_TRUE(runs_.empty());
  EXPECT_FALSE(std::filesystem::exists(SchedulePath()));
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(SchedulerPass, BadSectionIsSkippedWithOneWarningAndTheNextRuns) {
  PutJob("BadText", "2024-01-01 00:00:01");
  {
    IniFile file(SchedulePath());
    file.Write("BadText", "envir", "not*base64!");
    file.WriteBack();
  }
  PutJob("BadStart", "01.01.2024 10:00");
  PutJob("Good", "2024-05-01 09:00:00");
  SchedulerWorker worker = MakeWorker();
  EXPECT_TRUE(worker.RunPass());
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].job, "job-Good");
  ASSERT_EQ(warnings_.size(), 2u);
  EXPECT_NE(warnings_[0].find("BadText"), std::string::npos);
  EXPECT_NE(warnings_[1].find("BadStart"), std::string::npos);
  // The next pass says nothing new about them.
  worker.RunPass();
  EXPECT_EQ(warnings_.size(), 2u);
}

TEST_F(SchedulerPass, MissedPeriodsRunOncePerPass) {
  // Three days and one hour in the past.
  PutJob("Daily", "2024-04-28 09:00:00");
  SchedulerWorker worker = MakeWorker();
  const char* starts[] = {"2024-04-29 09:00:00", "2024-04-30 09:00:00", "2024-05-01 09:00:00",
                          "2024-05-02 09:00:00"};
  for (const char* expected : starts) {
    worker.RunPass();
    EXPECT_EQ(Get("Daily", "start"), expected);
  }
  EXPECT_EQ(runs_.size(), 4u);
  worker.RunPass();
  EXPECT_EQ(runs_.size(), 4u);
  // Four blocks in the log.
  const std::string log = ReadBytes(LogPath());
  EXPECT_EQ(log, FormatLogBlock("2024-05-01 10:00:00", "Daily", "0") +
                     FormatLogBlock("2024-05-01 10:00:00", "Daily", "0") +
                     FormatLogBlock("2024-05-01 10:00:00", "Daily", "0") +
                     FormatLogBlock("2024-05-01 10:00:00", "Daily", "0"));
}

TEST_F(SchedulerPass, RunOnceIsSwitchedOff) {
  PutJob("Once", "2024-05-01", "1", "1", "-1");
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  worker.RunPass();
  EXPECT_EQ(runs_.size(), 1u);
  EXPECT_EQ(Get("Once", "active"), "0");
  EXPECT_EQ(Get("Once", "start"), "");
  EXPECT_EQ(IniFile(SchedulePath()).Read("Once", "start", "missing"), "");
  EXPECT_EQ(Get("Once", "last"), "2024-05-01 10:00:00");
}

TEST_F(SchedulerPass, FailedRunIsLoggedAndRescheduledNotRepeated) {
  PutJob("A", "2024-05-01 09:00:00", "0", "", "0");  // count missing: parked after the run
  PutJob("B", "2024-05-01 09:00:00", "0", "1", "1");
  result_ = "Host name is empty";
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  EXPECT_EQ(Get("A", "start"), "9999-12-31 00:00:00");
  EXPECT_EQ(Get("B", "start"), "2024-05-01 10:00:00");
  EXPECT_EQ(ReadBytes(LogPath()), FormatLogBlock("2024-05-01 10:00:00", "A", "Host name is empty") +
                                      FormatLogBlock("2024-05-01 10:00:00", "B", "Host name is empty"));
  // A library that throws: its message is the result.
  failure_ = "no result buffer";
  clock_->Set(At(2024, 5, 1, 10, 0, 1));
  worker.RunPass();
  EXPECT_EQ(runs_.size(), 3u);
  EXPECT_EQ(Get("B", "start"), "2024-05-01 11:00:00");
  EXPECT_NE(ReadBytes(LogPath()).find("\r\nno result buffer\r\n"), std::string::npos);
}

TEST_F(SchedulerPass, BrokenPeriodIsParkedNotFiredEveryPass) {
  PutJob("Zero", "2024-05-01 09:00:00", "0", "0", "0");
  PutJob("Unit9", "2024-05-01 09:00:00", "0", "1", "9");
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  worker.RunPass();
  EXPECT_EQ(runs_.size(), 2u);
  EXPECT_EQ(Get("Zero", "start"), "9999-12-31 00:00:00");
  EXPECT_EQ(Get("Unit9", "start"), "9999-12-31 00:00:00");
  EXPECT_EQ(warnings_.size(), 2u);
}

TEST_F(SchedulerPass, UnwritableLogStillReschedules) {
  std::filesystem::create_directory(LogPath());  // a directory cannot be opened for writing
  PutJob("A", "2024-05-01 09:00:00");
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  worker.RunPass();
  EXPECT_EQ(runs_.size(), 1u);
  EXPECT_EQ(Get("A", "start"), "2024-05-02 09:00:00");
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("log"), std::string::npos);
}

TEST_F(SchedulerPass, RunGetsTheScheduledJobsOwnParameterValues) {
  PutJob("Plain", "2024-05-01 09:00:00");
  PutJob("Valued", "2024-05-01 09:00:00");
  // In file order xa comes first; an empty value is none (the job's own value stands).
  Put("Valued", {{"\xA7xa", "5"},
                 {"\xA7"
                  "a",
                  "1"},
                 {"\xA7who", "sched"},
                 {"\xA7"
                  "b",
                  ""}});
  // Variables of the job and its environment that "who=" would otherwise reach keep their own
  // values (the job's first); "c" is reached by nothing.
  IniFile jobs;
  stored_.Write(jobs, "job-Valued", "Command", "echo");
  stored_.Write(jobs, "job-Valued", "o", "job-o");
  stored_.Write(jobs, "job-Valued", "c", "job-c");
  jobs.WriteBack(directory_ + "/CorvaneJob.ini");
  IniFile environments;
  stored_.Write(environments, "env-Valued", "ho", "env-ho");
  stored_.Write(environments, "env-Valued", "o", "env-o");
  environments.WriteBack(directory_ + "/CorvaneEnv.ini");
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  ASSERT_EQ(runs_.size(), 2u);
  EXPECT_EQ(runs_[0].parameterValues, "");
  EXPECT_EQ(runs_[1].parameterValues, "a=1&o=job-o&ho=env-ho&xa=5&who=sched");
}

TEST_F(SchedulerPass, ValuesThatCannotBePassedAreLoggedNotRunAndRescheduled) {
  PutJob("Amp", "2024-05-01 09:00:00");
  Put("Amp", {{"\xA7"
               "a",
               "x&y"}});  // a hand-edited file: the editor refuses it
  PutJob("Cycle", "2024-05-01 09:00:00");
  Put("Cycle", {{"\xA7"
                 "a",
                 "b=1"},
                {"\xA7"
                 "b",
                 "a=2"}});
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  EXPECT_TRUE(runs_.empty());
  EXPECT_EQ(ReadBytes(LogPath()), FormatLogBlock("2024-05-01 10:00:00", "Amp", kUnpassableValuesResult) +
                                      FormatLogBlock("2024-05-01 10:00:00", "Cycle", kUnpassableValuesResult));
  EXPECT_EQ(Get("Amp", "start"), "2024-05-02 09:00:00");
  EXPECT_EQ(Get("Cycle", "start"), "2024-05-02 09:00:00");
}

// A FIFO log.txt is refused at once instead of holding the pass in open(); the failure is
// reported once, not per run, and every run is still rescheduled.
TEST_F(SchedulerPass, FifoLogHoldsNoPassAndIsReportedOnce) {
  ASSERT_EQ(::mkfifo(LogPath().c_str(), 0600), 0);
  PutJob("A", "2024-05-01 09:00:00");
  PutJob("B", "2024-05-01 09:30:00");
  SchedulerWorker worker = MakeWorker();
  EXPECT_TRUE(worker.RunPass());
  EXPECT_EQ(runs_.size(), 2u);
  EXPECT_EQ(Get("A", "start"), "2024-05-02 09:00:00");
  EXPECT_EQ(Get("B", "start"), "2024-05-02 09:30:00");
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("Cannot open log file \"" + LogPath() + "\""), std::string::npos) << warnings_[0];
  // Once the log can be written again, a new failure is reported again.
  ASSERT_TRUE(std::filesystem::remove(LogPath()));
  PutJob("C", "2024-05-01 09:45:00");
  worker.RunPass();
  EXPECT_EQ(warnings_.size(), 1u);
  std::filesystem::remove(LogPath());
  std::filesystem::create_directory(LogPath());
  PutJob("D", "2024-05-01 09:50:00");
  worker.RunPass();
  EXPECT_EQ(warnings_.size(), 2u);
}

// A new log file is its owner's alone; a link to a regular file is followed.
TEST_F(SchedulerPass, NewLogIsCreatedForItsOwnerAndALinkIsFollowed) {
  PutJob("A", "2024-05-01 09:00:00");
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  struct stat info {};
  ASSERT_EQ(::stat(LogPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  const std::string target = directory_ + "/kept-log.txt";
  std::filesystem::rename(LogPath(), target);
  std::filesystem::create_symlink(target, LogPath());
  PutJob("B", "2024-05-01 09:30:00");
  worker.RunPass();
  EXPECT_EQ(ReadBytes(target),
            FormatLogBlock("2024-05-01 10:00:00", "A", "0") + FormatLogBlock("2024-05-01 10:00:00", "B", "0"));
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(SchedulerPass, OperatorEditsDuringARunAreKept) {
  PutJob("Removed", "2024-05-01 09:00:00");
  PutJob("Restarted", "2024-05-01 09:00:00", "1", "1", "-1");
  PutJob("Other", "2024-06-01 09:00:00");
  PutJob("Later", "2024-05-01 09:30:00");
  SchedulerWorker worker = MakeWorker();
  onRun_ = [this] {
    onRun_ = nullptr;  // only during the first run
    // While "Removed" runs, the operator removes it, gives "Restarted" a new start, edits
    // "Other" and switches "Later" off.
    IniFile file(SchedulePath());
    file.EraseSection("Removed");
    file.WriteBack();
    Put("Restarted", {{"start", "2024-07-01 08:00:00"}});
    Put("Other", {{"envir", "changed"}, {"\xA7user", "alice"}});
    Put("Later", {{"active", "0"}});
  };
  // Let "Restarted" be due too: it runs after the edit and keeps the operator's start.
  worker.RunPass();
  IniFile after(SchedulePath());
  EXPECT_FALSE(after.SectionExists("Removed"));
  EXPECT_EQ(Get("Other", "envir"), "changed");
  EXPECT_EQ(Get("Other", "\xA7user"), "alice");
  EXPECT_EQ(Get("Later", "active"), "0");
  EXPECT_EQ(Get("Later", "start"), "2024-05-01 09:30:00");
  // "Restarted" was judged on the file as it was after the first write-back: not due any more.
  EXPECT_EQ(Get("Restarted", "start"), "2024-07-01 08:00:00");
  EXPECT_EQ(Get("Restarted", "active"), "1");
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].job, "job-Removed");
}

TEST_F(SchedulerPass, OperatorStartChangeDuringItsOwnRunStands) {
  PutJob("Once", "2024-05-01 09:00:00", "1", "1", "-1");
  onRun_ = [this] { Put("Once", {{"start", "2024-08-01 10:00:00"}, {"job", "other"}}); };
  SchedulerWorker worker = MakeWorker();
  worker.RunPass();
  EXPECT_EQ(Get("Once", "start"), "2024-08-01 10:00:00");
  EXPECT_EQ(Get("Once", "active"), "1");
  EXPECT_EQ(Get("Once", "job"), "other");
  EXPECT_EQ(Get("Once", "last"), "2024-05-01 10:00:00");
}

TEST_F(SchedulerPass, StopBeforeARunRunsNothing) {
  PutJob("A", "2024-05-01 09:00:00");
  const std::string before = ReadBytes(SchedulePath());
  stop_ = true;
  SchedulerWorker worker = MakeWorker();
  EXPECT_FALSE(worker.RunPass());
  EXPECT_TRUE(runs_.empty());
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
}

TEST_F(SchedulerPass, StopDuringARunStillRecordsItButSkipsTheReload) {
  PutJob("A", "2024-05-01 09:00:00");
  PutJob("B", "2024-05-01 09:00:00");
  onRun_ = [this] { stop_ = true; };
  SchedulerWorker worker = MakeWorker();
  EXPECT_FALSE(worker.RunPass());
  EXPECT_EQ(runs_.size(), 1u);
  EXPECT_EQ(Get("A", "start"), "2024-05-02 09:00:00");
  EXPECT_EQ(reloads_, 0);
  EXPECT_EQ(Get("B", "start"), "2024-05-01 09:00:00");
}

TEST_F(SchedulerPass, LoopPausesBeforeEachPassAndEndsWhenAPauseEndsOnTheStop) {
  // The pause is where the loop waits for the stop request: when the third pause ends because
  // the stop came, the loop returns without another pass.
  PutJob("A", "2024-05-01 09:00:00");
  SchedulerHooks hooks;
  hooks.stopRequested = [this] { return stop_.load(); };
  std::vector<std::chrono::milliseconds> pauses;
  hooks.pause = [&](std::chrono::milliseconds ms) {
    pauses.push_back(ms);
    if (pauses.size() == 3) stop_ = true;
  };
  int runs = 0;
  hooks.run = [&runs](const std::string&, const std::string&, std::int32_t, const std::string&,
                      const std::string&) {
    ++runs;
    return std::string("0");
  };
  SchedulerWorker worker(directory_, std::move(hooks), clock_);
  worker.Run();
  // Pause, pass (runs A, pauses after the run), pause (stop): A ran once.
  EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>(3, kSchedulerPause));
  EXPECT_EQ(runs, 1);
}

TEST_F(SchedulerPass, StopRequestAndPauseAreRequired) {
  SchedulerHooks noPause;
  noPause.stopRequested = [] { return false; };
  SchedulerHooks noStop;
  noStop.pause = [](std::chrono::milliseconds) {};
  EXPECT_THROW(SchedulerWorker(directory_, std::move(noPause), clock_), std::invalid_argument);
  EXPECT_THROW(SchedulerWorker(directory_, std::move(noStop), clock_), std::invalid_argument);
}

}  // namespace
}  // namespace corvane
