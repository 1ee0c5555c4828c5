// The scheduler editor window offscreen over real settings files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "console/console_fixture.h"
#include "console/core/scheduler_editor.h"
#include "console/editor_fixture.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/editor_ui.h"
#include "console/windows/app.h"
#include "console/windows/scheduler_window.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

using Keys = std::vector<std::string>;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ScriptedUi final : public UiServices {
 public:
  void Message(QWidget*, const QString& text) override {
    messages.push_back(text);
    if (onMessage) onMessage();
  }
  bool Confirm(QWidget*, const QString&) override { return true; }
  std::optional<QString> InputText(QWidget*, const QString& caption, const QString& prompt,
                                   const QString& preset) override {
    captions.push_back(caption + "|" + prompt + "|" + preset);
    if (onInput) onInput();
    if (inputs.empty()) return std::nullopt;
    std::optional<QString> next = inputs.front();
    inputs.pop_front();
    return next;
  }
  bool ChooseFont(QWidget*, QFont&) override { return false; }
  bool Open(QWidget*, const QUrl&) override { return true; }

  std::vector<QString> messages;
  std::vector<QString> captions;
  std::deque<std::optional<QString>> inputs;
  std::function<void()> onMessage;  // runs while the "message box" is open
  std::function<void()> onInput;    // runs while the "input dialog" is open
};

class SchedulerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InitStoredValueManager(cipher_);
    IniFile jobs;
    for (const auto& [job, keys] : std::vector<std::pair<std::string, Keys>>{
             {"Job1", {"Command", "user", "host", "\xA7user"}}, {"Job2", {"Command", "path"}}}) {
      for (const std::string& key : keys) values_.Write(jobs, job, key, key == "\xA7user" ? "Y" : "");
    }
    jobs.WriteBack(Path("CorvaneJob.ini"));
    IniFile envs;
    values_.Write(envs, "Env2", "RHost", "h2");
    values_.Write(envs, "Env1", "RHost", "h1");
    envs.WriteBack(Path("CorvaneEnv.ini"));

    auto ui = std::make_unique<ScriptedUi>();
    ui_ = ui.get();
    ConsoleServices& services = services_;
    services.library = std::make_unique<test::FakeLibrary>(std::make_shared<test::LibraryLog>());
    services.ui = std::move(ui);
    services.preferences = std::make_unique<Preferences>(dir_.path() + "/config/Corvane.conf");
    services.trayBackend = std::make_unique<test::NoTray>();
    services.paths = ProgramPaths::Resolve(dir_.path() + "/Corvane", dir_.path() + "/fallback");
    mainWindow_ = std::make_unique<MainWindow>(services);
    InitStoredValueManager(*services.storedValueCipher);  // as the first show does; the worker is not started
    scheduler_ = std::make_unique<SchedulerWindow>(mainWindow_.get(), *services.ui, *services.storedValueCipher,
                                                   services.paths);
    picker_ = std::make_unique<DatePickerWindow>(mainWindow_.get(), *services.ui, *scheduler_);
    ConnectDatePicker(*scheduler_, *picker_, *services.ui);
  }
  void TearDown() override {
    picker_.reset();
    scheduler_.reset();
    mainWindow_.reset();
  }

  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
  std::string SchedulePath() const { return Path("CorvaneSchd.ini"); }
  std::string Get(const std::string& section, const std::string& key) const {
    return values_.Read(IniFile(SchedulePath()), section, key);
  }
  void Put(const std::string& section, const std::vector<std::pair<std::string, std::string>>& pairs) {
    IniFile file(SchedulePath());
    for (const auto& [key, value] : pairs) values_.Write(file, section, key, value);
    file.WriteBack();
  }

  // The operator's choice in a list: the item, then its handler (as a click on it does).
  static void Choose(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
  SchedulerWindow& Shown() {
    scheduler_->present();
    return *scheduler_;
  }
  void New(const QString& name) {
    ui_->inputs.push_back(name);
    scheduler_->newButton_->click();
  }
  // A complete recurring scheduled job, saved by selecting another one.
  void MakeRecurring(const QString& name) {
    New(name);
    Choose(scheduler_->jobList_, "Job1");
    Choose(scheduler_->environmentList_, "Env1");
    scheduler_->SetStartDateText("2024-05-01 10:00:00");
    scheduler_->runOnceBox_->setChecked(false);
    scheduler_->countEdit_->SetText("2");
    Choose(scheduler_->unitList_, "Hour(s)");  // saves and reloads
    scheduler_->activeBox_->setChecked(true);
  }

  test::Watchdog watchdog_;
  QTemporaryDir dir_;
  TCipherManager cipher_;
  StoredValues values_{cipher_};
  ScriptedUi* ui_ = nullptr;
  ConsoleServices services_;  // outlives the windows
  std::unique_ptr<MainWindow> mainWindow_;
  std::unique_ptr<SchedulerWindow> scheduler_;
  std::unique_ptr<DatePickerWindow> picker_;
};

TEST_F(SchedulerWindowTest, ShowsItsControls) {
  SchedulerWindow& f = Shown();
  EXPECT_EQ(f.windowTitle(), "Corvane 2.0 - Scheduler");
  EXPECT_TRUE(f.runOnceBox_->isChecked());
  EXPECT_FALSE(f.activeBox_->isChecked());
  EXPECT_FALSE(f.countEdit_->isEnabled());
  EXPECT_FALSE(f.unitList_->isEnabled());
  EXPECT_TRUE(f.valueEdit_->isReadOnly());
  EXPECT_TRUE(f.startEdit_->isReadOnly());
  ASSERT_EQ(f.unitList_->count(), 4);
  EXPECT_EQ(f.unitList_->itemText(3), "Month(s)");
  ASSERT_EQ(f.protocolList_->count(), 2);
  EXPECT_EQ(f.protocolList_->itemText(0), "Remote Exec");
  // Sorted lists, nothing selected.
  ASSERT_EQ(f.environmentList_->count(), 2);
  EXPECT_EQ(f.environmentList_->itemText(0), "Env1");
  EXPECT_EQ(f.environmentList_->currentIndex(), -1);
}

TEST_F(SchedulerWindowTest, KeyOrderOnSelectionAndOnClose) {
  Shown();
  New("S1");
  EXPECT_EQ(ui_->captions.back(), "New Scheduled Job|Please enter the new Scheduled Job name|");
  EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("S1"));  // nothing written until a save
  Choose(scheduler_->jobList_, "Job1");
  Choose(scheduler_->environmentList_, "Env2");
  New("S2");  // saves S1 in the selection order
  EXPECT_EQ(IniFile(SchedulePath()).Keys("S1"),
            (Keys{"active", "once", "start", "every", "time", "job", "envir", "prot"}));
  EXPECT_EQ(Get("S1", "job"), "Job1");
  EXPECT_EQ(Get("S1", "envir"), "Env2");
  EXPECT_EQ(Get("S1", "prot"), "Remote Exec");
  EXPECT_EQ(Get("S1", "once"), "1");
  EXPECT_EQ(Get("S1", "every"), "1");
  EXPECT_EQ(Get("S1", "time"), "-1");
  EXPECT_EQ(Get("S1", "active"), "0");
  scheduler_->closeButton_->click();  // S2, created and closed at once
  EXPECT_FALSE(scheduler_->isVisible());
  EXPECT_EQ(IniFile(SchedulePath()).Keys("S2"),
            (Keys{"active", "once", "start", "every", "time", "prot", "envir", "job"}));
  EXPECT_EQ(Get("S2", "once"), "1");
  EXPECT_EQ(Get("S2", "active"), "0");
  EXPECT_EQ(Get("S2", "job"), "");
  // A name already listed (any case) and an empty one.
  Shown();
  New("s1");
  EXPECT_EQ(ui_->messages.back(), "This name already exists");
  const auto messages = ui_->messages.size();
  New("");
  EXPECT_EQ(ui_->messages.size(), messages);
  // Names the schedule file could not hold as typed are refused.
  New(QString::fromUtf8("\u0416ob"));
  EXPECT_EQ(ui_->messages.back().toStdString(), kNameNotLatin1);
  New("two\nlines");
  EXPECT_EQ(ui_->messages.back().toStdString(), kNameHasControl);
  EXPECT_EQ(scheduler_->scheduledJobList_->count(), 2);
}

TEST_F(SchedulerWindowTest, ActiveIsRefusedWithTheFirstMissingField) {
  Shown();
  New("S1");
  scheduler_->activeBox_->setChecked(true);
  EXPECT_EQ(ui_->messages.back(), "Select a Job Name");
  EXPECT_FALSE(scheduler_->activeBox_->isChecked());
  Choose(scheduler_->jobList_, "Job1");
  Choose(scheduler_->environmentList_, "Env1");
  scheduler_->activeBox_->setChecked(true);
  EXPECT_EQ(ui_->messages.back(), "Select a Start Date");
  scheduler_->SetStartDateText("2024-05-01");
  scheduler_->activeBox_->setChecked(true);
  EXPECT_TRUE(scheduler_->activeBox_->isChecked());
  // Unticking Run Once checks again: no unit yet.
  scheduler_->runOnceBox_->setChecked(false);
  EXPECT_EQ(ui_->messages.back(), "Select a Period");
  EXPECT_FALSE(scheduler_->activeBox_->isChecked());
  scheduler_->countEdit_->SetText("");
  scheduler_->unitList_->setCurrentIndex(0);
  scheduler_->activeBox_->setChecked(true);
  EXPECT_EQ(ui_->messages.back(), "Select a greater Frequency than 0");
}

TEST_F(SchedulerWindowTest, UnitChangeByTheOperatorSavesByCodeNot) {
  Shown();
  MakeRecurring("S1");
  EXPECT_EQ(Get("S1", "time"), "1");
  EXPECT_EQ(Get("S1", "every"), "2");
  EXPECT_EQ(Get("S1", "once"), "0");
  const std::string before = ReadBytes(SchedulePath());
  scheduler_->unitList_->setCurrentIndex(3);  // by code
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
  Choose(scheduler_->unitList_, "Day(s)");  // by the operator: saved at once, then reloaded
  EXPECT_EQ(Get("S1", "time"), "0");
  EXPECT_EQ(Get("S1", "active"), "1");
  EXPECT_EQ(scheduler_->unitList_->currentIndex(), 0);
  EXPECT_EQ(scheduler_->countEdit_->Text(), "2");
  EXPECT_TRUE(scheduler_->activeBox_->isChecked());
  // With no scheduled job shown, a unit change says so.
  scheduler_->removeButton_->click();
  scheduler_->runOnceBox_->setChecked(false);
  Choose(scheduler_->unitList_, "Hour(s)");
  EXPECT_EQ(ui_->messages.back(), "Please Select a Valid Scheduled Job Name");
}

TEST_F(SchedulerWindowTest, ParameterValuesAndAChangeOfJob) {
  Shown();
  New("S1");
  Choose(scheduler_->jobList_, "Job1");  // a job for a scheduled job that had none removes nothing
  ASSERT_EQ(scheduler_->parameterList_->count(), 2);
  EXPECT_EQ(scheduler_->parameterList_->itemText(0), "host");
  Choose(scheduler_->parameterList_, "user");
  EXPECT_FALSE(scheduler_->valueEdit_->isReadOnly());
  scheduler_->valueEdit_->setText("bob");
  Choose(scheduler_->parameterList_, "host");
  scheduler_->valueEdit_->setText("example");
  Choose(scheduler_->parameterList_, "user");
  EXPECT_EQ(scheduler_->valueEdit_->text(), "bob");  // the typed value, not yet saved
  New("S2");
  EXPECT_EQ(Get("S1", "\xA7user"), "bob");
  EXPECT_EQ(Get("S1", "\xA7host"), "example");
  // Back to S1: stored values show; another job removes them from the file at once.
  Choose(scheduler_->scheduledJobList_, "S1");
  Choose(scheduler_->parameterList_, "host");
  EXPECT_EQ(scheduler_->valueEdit_->text(), "example");
  Choose(scheduler_->jobList_, "Job2");
  EXPECT_FALSE(IniFile(SchedulePath()).KeyExists("S1", "\xA7user"));
  EXPECT_FALSE(IniFile(SchedulePath()).KeyExists("S1", "\xA7host"));
  ASSERT_EQ(scheduler_->parameterList_->count(), 1);
  EXPECT_EQ(scheduler_->parameterList_->itemText(0), "path");
  // A job chosen with no scheduled job current.
  scheduler_->removeButton_->click();
  Choose(scheduler_->jobList_, "Job1");
  EXPECT_EQ(ui_->messages.back(), "Please Select a Valid Scheduled Job Name");
  EXPECT_EQ(scheduler_->jobList_->currentIndex(), -1);
}

// A scheduled job whose values cannot be loaded is reported and nothing is current, so nothing
// of another scheduled job is saved into it; it stays selected, and Remove removes it.
TEST_F(SchedulerWindowTest, FailedLoadSavesNothingIntoTheJobAndRemoveRemovesIt) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> stored;  // plain values
    std::vector<std::pair<std::string, std::string>> raw;     // bytes as they stand in the file
    QString message;
  };
  const std::vector<Case> cases = {
      {"a value that is not stored text",
       {{"active", "1"}, {"once", "1"}},
       {{"job", "!broken!"}},
       "Input is not an valid MIME Base 64 Format."},
      {"a time that is not a number",
       {{"active", "1"}, {"once", "0"}, {"every", "2"}, {"time", "x1"}},
       {},
       "'x1' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(SchedulePath());
    Put("Bad", c.stored);
    {
      IniFile file(SchedulePath());
      for (const auto& [key, bytes] : c.raw) file.Write("Bad", key, bytes);
      file.WriteBack();
    }
    Shown();
    MakeRecurring("Good");
    const auto messages = ui_->messages.size();
    Choose(scheduler_->scheduledJobList_, "Bad");
    ASSERT_EQ(ui_->messages.size(), messages + 1);
    EXPECT_EQ(ui_->messages.back(), c.message);
    EXPECT_TRUE(scheduler_->CurrentSchedule().empty());
    EXPECT_FALSE(scheduler_->activeBox_->isChecked());
    EXPECT_EQ(scheduler_->startEdit_->text(), "");
    EXPECT_EQ(scheduler_->scheduledJobList_->currentText(), "Bad");
    // A reload after a run does not load it again (nor report it again).
    scheduler_->ReloadFromDisk();
    EXPECT_EQ(ui_->messages.size(), messages + 1);
    // "Good" was saved on leaving it; "Bad" got nothing of it.
    EXPECT_EQ(Get("Good", "active"), "1");
    scheduler_->removeButton_->click();
    EXPECT_EQ(ui_->messages.size(), messages + 1);
    EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("Bad"));
    EXPECT_EQ(scheduler_->scheduledJobList_->count(), 1);
    EXPECT_EQ(scheduler_->scheduledJobList_->currentIndex(), -1);
    scheduler_->closeButton_->click();
    EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("Bad"));
    EXPECT_EQ(Get("Good", "every"), "2");
  }
}

// A damaged scheduled job left alone is not changed by leaving it or by closing.
TEST_F(SchedulerWindowTest, FailedLoadLeavesTheDamagedJobAsItWas) {
  Put("Bad", {{"active", "1"}, {"once", "1"}});
  {
    IniFile file(SchedulePath());
    file.Write("Bad", "job", "!broken!");
    file.WriteBack();
  }
  Shown();
  MakeRecurring("Good");
  Choose(scheduler_->scheduledJobList_, "Bad");
  ASSERT_FALSE(ui_->messages.empty());
  Choose(scheduler_->scheduledJobList_, "Good");
  Choose(scheduler_->scheduledJobList_, "Bad");
  scheduler_->closeButton_->click();
  IniFile after(SchedulePath());
  EXPECT_EQ(after.Keys("Bad"), (Keys{"active", "once", "job"}));
  EXPECT_EQ(after.Read("Bad", "job"), "!broken!");
  EXPECT_EQ(Get("Good", "active"), "1");
}

// A parameter value the file cannot hold stays in the field as typed and is refused with a
// message wherever it would be stored (another parameter, another scheduled job, Close); the
// Active checks do not look at it.
TEST_F(SchedulerWindowTest, TypedValueIsKeptOrRefusedNeverCut) {
  Shown();
  New("S1");
  New("S2");
  Choose(scheduler_->jobList_, "Job1");
  Choose(scheduler_->environmentList_, "Env1");
  scheduler_->SetStartDateText("2024-05-01 10:00:00");
  Choose(scheduler_->parameterList_, "user");
  const QString typed = QString::fromUtf8("echo \u041f\u0440\u0438\u0432\u0435\u0442 \u20acuro");
  test::TypeText(scheduler_->valueEdit_, typed);
  ASSERT_EQ(scheduler_->valueEdit_->text(), typed);
  const std::string before = ReadBytes(SchedulePath());
  const QString refusal = QString::fromLatin1(kValueNotLatin1);

  Choose(scheduler_->parameterList_, "host");
  EXPECT_EQ(ui_->messages, std::vector<QString>{refusal});
  EXPECT_EQ(scheduler_->parameterList_->currentText(), "user");
  scheduler_->activeBox_->setChecked(true);  // all checks pass; the value plays no part
  EXPECT_TRUE(scheduler_->activeBox_->isChecked());
  Choose(scheduler_->scheduledJobList_, "S1");
  EXPECT_EQ(scheduler_->CurrentSchedule(), "S2");
  EXPECT_EQ(scheduler_->scheduledJobList_->currentText(), "S2");
  scheduler_->closeButton_->click();
  EXPECT_TRUE(scheduler_->isVisible());
  EXPECT_EQ(ui_->messages, (std::vector<QString>{refusal, refusal, refusal}));
  EXPECT_EQ(scheduler_->valueEdit_->text(), typed);
  EXPECT_EQ(ReadBytes(SchedulePath()), before);

  // Corrected, with Latin-1 letters: stored as typed.
  scheduler_->valueEdit_->clear();
  test::TypeText(scheduler_->valueEdit_, QString::fromUtf8("J\u00fcrgen"));
  scheduler_->closeButton_->click();
  EXPECT_FALSE(scheduler_->isVisible());
  EXPECT_EQ(Get("S2", "\xA7user"), "J\xFCrgen");
  EXPECT_EQ(Get("S2", "active"), "1");
  EXPECT_EQ(ui_->messages.size(), 3u);
}

// A value holding "&" cannot be passed to the scheduled run: refused wherever it would be stored,
// kept in the field as typed.
TEST_F(SchedulerWindowTest, ValueTheRunCannotPassIsRefusedAndKept) {
  Shown();
  New("S1");
  Choose(scheduler_->jobList_, "Job1");
  Choose(scheduler_->parameterList_, "user");
  test::TypeText(scheduler_->valueEdit_, QStringLiteral("bob&alice"));
  const std::string before = ReadBytes(SchedulePath());
  const QString refusal = QString::fromLatin1(kValueHasAmpersand.data(), kValueHasAmpersand.size());
  Choose(scheduler_->parameterList_, "host");
  EXPECT_EQ(ui_->messages, std::vector<QString>{refusal});
  EXPECT_EQ(scheduler_->parameterList_->currentText(), "user");
  scheduler_->closeButton_->click();
  EXPECT_TRUE(scheduler_->isVisible());
  EXPECT_EQ(ui_->messages, (std::vector<QString>{refusal, refusal}));
  EXPECT_EQ(scheduler_->valueEdit_->text(), "bob&alice");
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
  scheduler_->valueEdit_->setText("bob=alice");  // "=" in a value is carried
  scheduler_->closeButton_->click();
  EXPECT_FALSE(scheduler_->isVisible());
  EXPECT_EQ(Get("S1", "\xA7user"), "bob=alice");
}

// The date picker changes the start alone: the parameter shown and its typed value stay. A change
// of unit saves the scheduled job and loads it again, which shows no parameter.
TEST_F(SchedulerWindowTest, PickerKeepsTheParameterAUnitChangeStoresAndReloads) {
  Shown();
  New("S1");
  Choose(scheduler_->jobList_, "Job1");
  Choose(scheduler_->parameterList_, "user");
  scheduler_->valueEdit_->setText("bob");
  scheduler_->pickStartButton_->click();
  ASSERT_TRUE(picker_->isVisible());
  picker_->okButton_->click();
  EXPECT_FALSE(picker_->isVisible());
  EXPECT_NE(scheduler_->startEdit_->text(), "");
  EXPECT_EQ(scheduler_->parameterList_->currentText(), "user");
  EXPECT_EQ(scheduler_->valueEdit_->text(), "bob");
  scheduler_->runOnceBox_->setChecked(false);
  Choose(scheduler_->unitList_, "Day(s)");
  EXPECT_EQ(Get("S1", "\xA7user"), "bob");
  EXPECT_EQ(scheduler_->parameterList_->currentIndex(), -1);
  EXPECT_EQ(scheduler_->valueEdit_->text(), "");
  Choose(scheduler_->parameterList_, "user");
  EXPECT_EQ(scheduler_->valueEdit_->text(), "bob");
}

// New pressed while the worker runs the shown scheduled job: its reload waits for the input
// dialog, and the save that New makes then keeps what the worker wrote (start, active, last) and
// takes only what the operator changed.
TEST_F(SchedulerWindowTest, NewDuringARunKeepsWhatTheWorkerWrote) {
  struct Case {
    const char* what;
    bool once;
  };
  for (const Case& c : {Case{"recurring", false}, Case{"run once", true}}) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(SchedulePath());
    Put("S", {{"active", "1"},
              {"once", c.once ? "1" : "0"},
              {"start", "2024-05-01 10:00:00"},
              {"every", "2"},
              {"time", "1"},
              {"job", "Job1"},
              {"envir", "Env1"},
              {"prot", "Remote Exec"}});
    Shown();
    Choose(scheduler_->scheduledJobList_, "S");
    ASSERT_TRUE(scheduler_->activeBox_->isChecked());
    Choose(scheduler_->environmentList_, "Env2");  // the operator's change, not yet saved
    ui_->onInput = [&] {
      ui_->onInput = nullptr;
      // The worker's run of S: the next start (a recurring job) or inactive (a run-once job),
      // the last run, and its request for a reload.
      if (c.once) {
        Put("S", {{"active", "0"}, {"last", "2024-05-01 10:00:02"}});
      } else {
        Put("S", {{"start", "2024-05-01 12:00:00"}, {"last", "2024-05-01 10:00:02"}});
      }
      scheduler_->ReloadFromDisk();
    };
    New("T");
    EXPECT_EQ(scheduler_->CurrentSchedule(), "T");
    EXPECT_EQ(Get("S", "start"), c.once ? "2024-05-01 10:00:00" : "2024-05-01 12:00:00");
    EXPECT_EQ(Get("S", "active"), c.once ? "0" : "1");
    EXPECT_EQ(Get("S", "last"), "2024-05-01 10:00:02");
    EXPECT_EQ(Get("S", "envir"), "Env2");
    EXPECT_EQ(Get("S", "job"), "Job1");
    EXPECT_EQ(Get("S", "every"), c.once ? "1" : "2");  // a run-once job shows and saves a count of 1
    // The postponed reload runs afterwards (it is queued): it drops what is unsaved on screen.
    Choose(scheduler_->environmentList_, "Env1");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(scheduler_->environmentList_->currentIndex(), -1);
    // Closing saves T and leaves S as it is.
    scheduler_->closeButton_->click();
    EXPECT_EQ(Get("S", "active"), c.once ? "0" : "1");
    EXPECT_EQ(Get("S", "start"), c.once ? "2024-05-01 10:00:00" : "2024-05-01 12:00:00");
    EXPECT_TRUE(IniFile(SchedulePath()).SectionExists("T"));
    EXPECT_TRUE(ui_->messages.empty());
  }
}

// Every save starts from the file as it is on disk: what the worker wrote into another scheduled
// job since the editor last read the file stays.
TEST_F(SchedulerWindowTest, SavesStartFromTheFileOnDisk) {
  Shown();
  MakeRecurring("S1");
  New("S2");                                                                       // saves S1
  Put("S1", {{"start", "2024-05-01 12:00:00"}, {"last", "2024-05-01 10:00:01"}});  // a run meanwhile
  Choose(scheduler_->jobList_, "Job1");
  New("S3");  // saves S2
  EXPECT_EQ(Get("S1", "start"), "2024-05-01 12:00:00");
  Put("S1", {{"start", "2024-05-01 14:00:00"}});
  scheduler_->closeButton_->click();  // saves S3
  EXPECT_EQ(Get("S1", "start"), "2024-05-01 14:00:00");
  EXPECT_EQ(Get("S1", "last"), "2024-05-01 10:00:01");
  EXPECT_EQ(Get("S2", "job"), "Job1");
  EXPECT_TRUE(IniFile(SchedulePath()).SectionExists("S3"));
}

// The picker's OK goes to the scheduled job it was opened for: after the editor moved on to
// another one it is refused with a message (a reload of the same one after a run is no move).
TEST_F(SchedulerWindowTest, PickerOkOnlyForTheScheduledJobItWasOpenedFor) {
  Shown();
  New("S1");
  New("S2");
  Choose(scheduler_->scheduledJobList_, "S1");
  scheduler_->pickStartButton_->click();
  ASSERT_TRUE(picker_->isVisible());
  Choose(scheduler_->scheduledJobList_, "S2");
  picker_->okButton_->click();
  ASSERT_FALSE(ui_->messages.empty());
  EXPECT_EQ(ui_->messages.back(), QString::fromLatin1(kDateJobChanged).arg("S1"));
  EXPECT_TRUE(picker_->isVisible());
  EXPECT_EQ(scheduler_->startEdit_->text(), "");
  Choose(scheduler_->scheduledJobList_, "S1");
  scheduler_->ReloadFromDisk();
  picker_->okButton_->click();
  EXPECT_FALSE(picker_->isVisible());
  EXPECT_NE(scheduler_->startEdit_->text(), "");
}

// A show that cannot read its files reports it and leaves nothing of the last show current, so
// closing cannot save stale fields over what the worker wrote since; it writes nothing at all.
TEST_F(SchedulerWindowTest, ShowThatCannotReadItsFilesLeavesNothingToSave) {
  Shown();
  MakeRecurring("S1");
  scheduler_->closeButton_->click();
  Put("S1", {{"start", "2024-05-01 12:00:00"}});  // the worker ran S1 meanwhile
  std::filesystem::remove(Path("CorvaneJob.ini"));
  std::filesystem::create_directory(Path("CorvaneJob.ini"));  // exists, but cannot be read
  const std::string before = ReadBytes(SchedulePath());
  const auto messages = ui_->messages.size();
  Shown();
  EXPECT_EQ(ui_->messages.size(), messages + 1);
  EXPECT_TRUE(scheduler_->CurrentSchedule().empty());
  EXPECT_EQ(scheduler_->scheduledJobList_->currentIndex(), -1);
  EXPECT_EQ(scheduler_->startEdit_->text(), "");
  scheduler_->closeButton_->click();
  EXPECT_FALSE(scheduler_->isVisible());
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
}

// A save that fails (full disk) shows its message and leaves the file as it was; the window
// keeps showing the scheduled job and the job the fields belong to, so nothing typed for one can
// later be saved into another.
TEST_F(SchedulerWindowTest, FailedSavesKeepTheFileAndTheShownJob) {
  Shown();
  New("S1");
  New("S2");
  Choose(scheduler_->jobList_, "Job1");
  Choose(scheduler_->parameterList_, "user");
  scheduler_->valueEdit_->setText("bob");
  Choose(scheduler_->scheduledJobList_, "S1");  // saves S2
  Choose(scheduler_->scheduledJobList_, "S2");
  ASSERT_EQ(Get("S2", "\xA7user"), "bob");
  const std::string before = ReadBytes(SchedulePath());
  const auto messages = ui_->messages.size();
  {
    test::FileSizeLimit full(8);
    Choose(scheduler_->scheduledJobList_, "S1");  // the save of S2 fails
    Choose(scheduler_->jobList_, "Job2");         // removing S2's parameter values fails
    scheduler_->closeButton_->click();            // the save on closing fails
  }
  ASSERT_EQ(ui_->messages.size(), messages + 3);
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
  EXPECT_TRUE(scheduler_->isVisible());
  EXPECT_EQ(scheduler_->CurrentSchedule(), "S2");
  EXPECT_EQ(scheduler_->scheduledJobList_->currentText(), "S2");
  EXPECT_EQ(scheduler_->jobList_->currentText(), "Job1");
  EXPECT_EQ(scheduler_->parameterList_->itemText(0), "host");
  // With room again the close goes through, into S2.
  scheduler_->closeButton_->click();
  EXPECT_FALSE(scheduler_->isVisible());
  EXPECT_EQ(Get("S2", "job"), "Job1");
  EXPECT_EQ(Get("S2", "\xA7user"), "bob");
  EXPECT_EQ(Get("S1", "job"), "");
}

TEST_F(SchedulerWindowTest, RemoveAndTheWorkersReload) {
  Shown();
  MakeRecurring("S1");
  New("S2");
  // The worker ran S1 and moved it on; the editor shows what is on disk after its reload.
  Choose(scheduler_->scheduledJobList_, "S1");
  scheduler_->countEdit_->SetText("7");  // unsaved edit, dropped by the reload
  Put("S1", {{"start", "2024-05-01 12:00:00"}, {"last", "2024-05-01 10:00:01"}});
  scheduler_->ReloadFromDisk();
  EXPECT_EQ(scheduler_->startEdit_->text(), "2024-05-01 12:00:00");
  EXPECT_EQ(scheduler_->lastExecutionEdit_->text(), "2024-05-01 10:00:01");
  EXPECT_EQ(scheduler_->countEdit_->Text(), "2");
  EXPECT_EQ(scheduler_->CurrentSchedule(), "S1");
  EXPECT_EQ(Get("S1", "every"), "2");
  // Remove: the section is gone, the fields keep what they showed.
  const auto messages = ui_->messages.size();
  scheduler_->removeButton_->click();
  EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("S1"));
  EXPECT_TRUE(IniFile(SchedulePath()).SectionExists("S2"));
  EXPECT_EQ(scheduler_->scheduledJobList_->count(), 1);
  EXPECT_EQ(scheduler_->scheduledJobList_->currentIndex(), -1);
  EXPECT_TRUE(scheduler_->CurrentSchedule().empty());
  EXPECT_TRUE(scheduler_->runOnceBox_->isChecked());
  EXPECT_EQ(scheduler_->startEdit_->text(), "2024-05-01 12:00:00");
  EXPECT_EQ(scheduler_->environmentList_->currentText(), "Env1");
  // A reload with nothing shown says nothing; close does not bring S1 back.
  scheduler_->ReloadFromDisk();
  EXPECT_EQ(ui_->messages.size(), messages);
  scheduler_->closeButton_->click();
  EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("S1"));
}

TEST_F(SchedulerWindowTest, ReloadDuringAHandlerWaitsForIt) {
  Shown();
  New("S1");
  Put("S1", {{"start", "2024-06-01 09:00:00"}});
  // The worker's reload arrives while a message of the editor is on screen.
  bool reloadedInside = true;
  ui_->onMessage = [&] {
    ui_->onMessage = nullptr;
    scheduler_->ReloadFromDisk();
    reloadedInside = scheduler_->startEdit_->text() == "2024-06-01 09:00:00";
  };
  scheduler_->activeBox_->setChecked(true);  // "Select a Job Name"
  EXPECT_EQ(ui_->messages.back(), "Select a Job Name");
  EXPECT_FALSE(reloadedInside);
  // Done right after the handler.
  EXPECT_TRUE(test::PumpUntil([&] { return scheduler_->startEdit_->text() == "2024-06-01 09:00:00"; }));
}

}  // namespace
}  // namespace corvane
