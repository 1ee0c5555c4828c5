// The scheduler editor: the rules without the window (save order, load, Active checks, entered
// values) and the window itself offscreen over real settings files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
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
#include "console/date_window.h"
#include "console/editor_fixture.h"
#include "console/scheduler_editor.h"
#include "console/scheduler_window.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

using Keys = std::vector<std::string>;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- without the window ------------------------------------------------------------------------------

class SchedulerEditorRules : public ::testing::Test {
 protected:
  void SetUp() override { InitStoredValueManager(cipher_); }
  TCipherManager cipher_;
  StoredValues values_{cipher_};
};

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
  EXPECT_EQ(select.Keys("S"), (Keys{"active", "once", "start", "every", "time", "job", "envir", "prot",
                                    "\xA7user", "\xA7host"}));
  IniFile close;
  WriteScheduledJob(close, values_, "S", fields, entered, NameOrder::ProtocolEnvironmentJob);
  EXPECT_EQ(close.Keys("S"), (Keys{"active", "once", "start", "every", "time", "prot", "envir", "job",
                                   "\xA7user", "\xA7host"}));
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
  const IniFile jobs = IniFile::FromBytes(
      "[Job1]\r\nCommand=x\r\nzeta=\r\n\xA7zeta=\r\nalpha=\r\ncommand =y\r\n\r\n");
  EXPECT_EQ(JobParameters(jobs, "job1"), (Keys{"zeta", "alpha"}));
  EXPECT_TRUE(JobParameters(jobs, "").empty());
  EXPECT_EQ(SortedNames({"beta", "Alpha", "alpha", "Gamma"}), (Keys{"Alpha", "alpha", "beta", "Gamma"}));
}

// ---- the window ----------------------------------------------------------------------------------------

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
    if (inputs.empty()) return std::nullopt;
    std::optional<QString> next = inputs.front();
    inputs.pop_front();
    return next;
  }
  bool ChooseFont(QWidget*, QFont&) override { return false; }
  void Open(QWidget*, const QUrl&) override {}

  std::vector<QString> messages;
  std::vector<QString> captions;
  std::deque<std::optional<QString>> inputs;
  std::function<void()> onMessage;  // runs while the "message box" is open
};

class SchedulerWindow : public ::testing::Test {
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
    MainWindowServices services;
    services.library = std::make_unique<test::FakeLibrary>(std::make_shared<test::LibraryLog>());
    services.ui = std::move(ui);
    services.preferences = std::make_unique<Preferences>(dir_.path() + "/config/Corvane.conf");
    services.trayBackend = std::make_unique<test::NoTray>();
    services.paths = ProgramPaths::Resolve(dir_.path() + "/Corvane", dir_.path() + "/fallback");
    form1_ = std::make_unique<TForm1>(std::move(services));
    InitStoredValueManager(form1_->c1);  // as the first show does; the worker is not started
    form8_ = std::make_unique<TForm8>(*form1_);
    form9_ = std::make_unique<TForm9>(*form1_);
  }
  void TearDown() override {
    form9_.reset();
    form8_.reset();
    form1_.reset();
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
  TForm8& Shown() {
    form8_->present();
    return *form8_;
  }
  void New(const QString& name) {
    ui_->inputs.push_back(name);
    form8_->Button2->click();
  }
  // A complete recurring scheduled job, saved by selecting another one.
  void MakeRecurring(const QString& name) {
    New(name);
    Choose(form8_->ComboBox2, "Job1");
    Choose(form8_->ComboBox6, "Env1");
    form8_->SetStartDateText("2024-05-01 10:00:00");
    form8_->CheckBox1->setChecked(false);
    form8_->SpinEdit1->SetText("2");
    Choose(form8_->ComboBox4, "Hour(s)");  // saves and reloads
    form8_->cb1->setChecked(true);
  }

  test::Watchdog watchdog_;
  QTemporaryDir dir_;
  TCipherManager cipher_;
  StoredValues values_{cipher_};
  ScriptedUi* ui_ = nullptr;
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm8> form8_;
  std::unique_ptr<TForm9> form9_;
};

TEST_F(SchedulerWindow, ShowsItsControls) {
  TForm8& f = Shown();
  EXPECT_EQ(f.windowTitle(), "Corvane 2.0 - Scheduler");
  EXPECT_TRUE(f.CheckBox1->isChecked());
  EXPECT_FALSE(f.cb1->isChecked());
  EXPECT_FALSE(f.SpinEdit1->isEnabled());
  EXPECT_FALSE(f.ComboBox4->isEnabled());
  EXPECT_TRUE(f.Edit1->isReadOnly());
  EXPECT_TRUE(f.startdate->isReadOnly());
  ASSERT_EQ(f.ComboBox4->count(), 4);
  EXPECT_EQ(f.ComboBox4->itemText(3), "Month(s)");
  ASSERT_EQ(f.ComboBox5->count(), 2);
  EXPECT_EQ(f.ComboBox5->itemText(0), "Remote Exec");
  // Sorted lists, nothing selected.
  ASSERT_EQ(f.ComboBox6->count(), 2);
  EXPECT_EQ(f.ComboBox6->itemText(0), "Env1");
  EXPECT_EQ(f.ComboBox6->currentIndex(), -1);
}

TEST_F(SchedulerWindow, KeyOrderOnSelectionAndOnClose) {
  Shown();
  New("S1");
  EXPECT_EQ(ui_->captions.back(), "New Scheduled Job|Please enter the new Scheduled Job name|");
  EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("S1"));  // nothing written until a save
  Choose(form8_->ComboBox2, "Job1");
  Choose(form8_->ComboBox6, "Env2");
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
  form8_->Button1->click();  // S2, created and closed at once
  EXPECT_FALSE(form8_->isVisible());
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
  EXPECT_EQ(form8_->ComboBox1->count(), 2);
}

TEST_F(SchedulerWindow, ActiveIsRefusedWithTheFirstMissingField) {
  Shown();
  New("S1");
  form8_->cb1->setChecked(true);
  EXPECT_EQ(ui_->messages.back(), "Select a Job Name");
  EXPECT_FALSE(form8_->cb1->isChecked());
  Choose(form8_->ComboBox2, "Job1");
  Choose(form8_->ComboBox6, "Env1");
  form8_->cb1->setChecked(true);
  EXPECT_EQ(ui_->messages.back(), "Select a Start Date");
  form8_->SetStartDateText("2024-05-01");
  form8_->cb1->setChecked(true);
  EXPECT_TRUE(form8_->cb1->isChecked());
  // Unticking Run Once checks again: no unit yet.
  form8_->CheckBox1->setChecked(false);
  EXPECT_EQ(ui_->messages.back(), "Select a Period");
  EXPECT_FALSE(form8_->cb1->isChecked());
  form8_->SpinEdit1->SetText("");
  form8_->ComboBox4->setCurrentIndex(0);
  form8_->cb1->setChecked(true);
  EXPECT_EQ(ui_->messages.back(), "Select a greater Frequency than 0");
}

TEST_F(SchedulerWindow, UnitChangeByTheOperatorSavesByCodeNot) {
  Shown();
  MakeRecurring("S1");
  EXPECT_EQ(Get("S1", "time"), "1");
  EXPECT_EQ(Get("S1", "every"), "2");
  EXPECT_EQ(Get("S1", "once"), "0");
  const std::string before = ReadBytes(SchedulePath());
  form8_->ComboBox4->setCurrentIndex(3);  // by code
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
  Choose(form8_->ComboBox4, "Day(s)");  // by the operator: saved at once, then reloaded
  EXPECT_EQ(Get("S1", "time"), "0");
  EXPECT_EQ(Get("S1", "active"), "1");
  EXPECT_EQ(form8_->ComboBox4->currentIndex(), 0);
  EXPECT_EQ(form8_->SpinEdit1->Text(), "2");
  EXPECT_TRUE(form8_->cb1->isChecked());
  // With no scheduled job shown, a unit change says so.
  form8_->Button4->click();
  form8_->CheckBox1->setChecked(false);
  Choose(form8_->ComboBox4, "Hour(s)");
  EXPECT_EQ(ui_->messages.back(), "Please Select a Valid Scheduled Job Name");
}

TEST_F(SchedulerWindow, ParameterValuesAndAChangeOfJob) {
  Shown();
  New("S1");
  Choose(form8_->ComboBox2, "Job1");  // a job for a scheduled job that had none removes nothing
  ASSERT_EQ(form8_->ComboBox3->count(), 2);
  EXPECT_EQ(form8_->ComboBox3->itemText(0), "host");
  Choose(form8_->ComboBox3, "user");
  EXPECT_FALSE(form8_->Edit1->isReadOnly());
  form8_->Edit1->setText("bob");
  Choose(form8_->ComboBox3, "host");
  form8_->Edit1->setText("example");
  Choose(form8_->ComboBox3, "user");
  EXPECT_EQ(form8_->Edit1->text(), "bob");  // the typed value, not yet saved
  New("S2");
  EXPECT_EQ(Get("S1", "\xA7user"), "bob");
  EXPECT_EQ(Get("S1", "\xA7host"), "example");
  // Back to S1: stored values show; another job removes them from the file at once.
  Choose(form8_->ComboBox1, "S1");
  Choose(form8_->ComboBox3, "host");
  EXPECT_EQ(form8_->Edit1->text(), "example");
  Choose(form8_->ComboBox2, "Job2");
  EXPECT_FALSE(IniFile(SchedulePath()).KeyExists("S1", "\xA7user"));
  EXPECT_FALSE(IniFile(SchedulePath()).KeyExists("S1", "\xA7host"));
  ASSERT_EQ(form8_->ComboBox3->count(), 1);
  EXPECT_EQ(form8_->ComboBox3->itemText(0), "path");
  // A job chosen with no scheduled job current.
  form8_->Button4->click();
  Choose(form8_->ComboBox2, "Job1");
  EXPECT_EQ(ui_->messages.back(), "Please Select a Valid Scheduled Job Name");
  EXPECT_EQ(form8_->ComboBox2->currentIndex(), -1);
}

TEST_F(SchedulerWindow, FailedLoadClearsTheCurrentJob) {
  Put("Bad", {{"active", "1"}, {"once", "1"}});
  {
    IniFile file(SchedulePath());
    file.Write("Bad", "job", "!broken!");
    file.WriteBack();
  }
  Shown();
  MakeRecurring("Good");
  const std::string badBefore = IniFile(SchedulePath()).ToBytes();
  Choose(form8_->ComboBox1, "Bad");
  ASSERT_FALSE(ui_->messages.empty());
  EXPECT_TRUE(form8_->CurrentSchedule().empty());
  EXPECT_FALSE(form8_->cb1->isChecked());
  EXPECT_EQ(form8_->ComboBox1->currentIndex(), -1);
  form8_->Button1->click();
  // "Good" was saved on leaving it; "Bad" got nothing of it.
  IniFile after(SchedulePath());
  EXPECT_EQ(after.Keys("Bad"), (Keys{"active", "once", "job"}));
  EXPECT_EQ(after.Read("Bad", "job"), "!broken!");
  EXPECT_EQ(Get("Good", "active"), "1");
}

// Every save starts from the file as it is on disk: what the worker wrote into another scheduled
// job since the editor last read the file stays.
TEST_F(SchedulerWindow, SavesStartFromTheFileOnDisk) {
  Shown();
  MakeRecurring("S1");
  New("S2");  // saves S1
  Put("S1", {{"start", "2024-05-01 12:00:00"}, {"last", "2024-05-01 10:00:01"}});  // a run meanwhile
  Choose(form8_->ComboBox2, "Job1");
  New("S3");  // saves S2
  EXPECT_EQ(Get("S1", "start"), "2024-05-01 12:00:00");
  Put("S1", {{"start", "2024-05-01 14:00:00"}});
  form8_->Button1->click();  // saves S3
  EXPECT_EQ(Get("S1", "start"), "2024-05-01 14:00:00");
  EXPECT_EQ(Get("S1", "last"), "2024-05-01 10:00:01");
  EXPECT_EQ(Get("S2", "job"), "Job1");
  EXPECT_TRUE(IniFile(SchedulePath()).SectionExists("S3"));
}

// The picker's OK goes to the scheduled job it was opened for: after the editor moved on to
// another one it is refused with a message (a reload of the same one after a run is no move).
TEST_F(SchedulerWindow, PickerOkOnlyForTheScheduledJobItWasOpenedFor) {
  Shown();
  New("S1");
  New("S2");
  Choose(form8_->ComboBox1, "S1");
  form8_->Button3->click();
  ASSERT_TRUE(form9_->isVisible());
  Choose(form8_->ComboBox1, "S2");
  form9_->Button2->click();
  ASSERT_FALSE(ui_->messages.empty());
  EXPECT_EQ(ui_->messages.back(), QString::fromLatin1(kDateJobChanged).arg("S1"));
  EXPECT_TRUE(form9_->isVisible());
  EXPECT_EQ(form8_->startdate->text(), "");
  Choose(form8_->ComboBox1, "S1");
  form8_->ReloadFromDisk();
  form9_->Button2->click();
  EXPECT_FALSE(form9_->isVisible());
  EXPECT_NE(form8_->startdate->text(), "");
}

// A show that cannot read its files reports it and leaves nothing of the last show current, so
// closing cannot save stale fields over what the worker wrote since; it writes nothing at all.
TEST_F(SchedulerWindow, ShowThatCannotReadItsFilesLeavesNothingToSave) {
  Shown();
  MakeRecurring("S1");
  form8_->Button1->click();
  Put("S1", {{"start", "2024-05-01 12:00:00"}});  // the worker ran S1 meanwhile
  std::filesystem::remove(Path("CorvaneJob.ini"));
  std::filesystem::create_directory(Path("CorvaneJob.ini"));  // exists, but cannot be read
  const std::string before = ReadBytes(SchedulePath());
  const auto messages = ui_->messages.size();
  Shown();
  EXPECT_EQ(ui_->messages.size(), messages + 1);
  EXPECT_TRUE(form8_->CurrentSchedule().empty());
  EXPECT_EQ(form8_->ComboBox1->currentIndex(), -1);
  EXPECT_EQ(form8_->startdate->text(), "");
  form8_->Button1->click();
  EXPECT_FALSE(form8_->isVisible());
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
}

// A save that fails (full disk) shows its message and leaves the file as it was; the window
// keeps showing the scheduled job and the job the fields belong to, so nothing typed for one can
// later be saved into another.
TEST_F(SchedulerWindow, FailedSavesKeepTheFileAndTheShownJob) {
  Shown();
  New("S1");
  New("S2");
  Choose(form8_->ComboBox2, "Job1");
  Choose(form8_->ComboBox3, "user");
  form8_->Edit1->setText("bob");
  Choose(form8_->ComboBox1, "S1");  // saves S2
  Choose(form8_->ComboBox1, "S2");
  ASSERT_EQ(Get("S2", "\xA7user"), "bob");
  const std::string before = ReadBytes(SchedulePath());
  const auto messages = ui_->messages.size();
  {
    test::FileSizeLimit full(8);
    Choose(form8_->ComboBox1, "S1");   // the save of S2 fails
    Choose(form8_->ComboBox2, "Job2");  // removing S2's parameter values fails
    form8_->Button1->click();           // the save on closing fails
  }
  ASSERT_EQ(ui_->messages.size(), messages + 3);
  EXPECT_EQ(ReadBytes(SchedulePath()), before);
  EXPECT_TRUE(form8_->isVisible());
  EXPECT_EQ(form8_->CurrentSchedule(), "S2");
  EXPECT_EQ(form8_->ComboBox1->currentText(), "S2");
  EXPECT_EQ(form8_->ComboBox2->currentText(), "Job1");
  EXPECT_EQ(form8_->ComboBox3->itemText(0), "host");
  // With room again the close goes through, into S2.
  form8_->Button1->click();
  EXPECT_FALSE(form8_->isVisible());
  EXPECT_EQ(Get("S2", "job"), "Job1");
  EXPECT_EQ(Get("S2", "\xA7user"), "bob");
  EXPECT_EQ(Get("S1", "job"), "");
}

TEST_F(SchedulerWindow, RemoveAndTheWorkersReload) {
  Shown();
  MakeRecurring("S1");
  New("S2");
  // The worker ran S1 and moved it on; the editor shows what is on disk after its reload.
  Choose(form8_->ComboBox1, "S1");
  form8_->SpinEdit1->SetText("7");  // unsaved edit, dropped by the reload
  Put("S1", {{"start", "2024-05-01 12:00:00"}, {"last", "2024-05-01 10:00:01"}});
  form8_->ReloadFromDisk();
  EXPECT_EQ(form8_->startdate->text(), "2024-05-01 12:00:00");
  EXPECT_EQ(form8_->Edit2->text(), "2024-05-01 10:00:01");
  EXPECT_EQ(form8_->SpinEdit1->Text(), "2");
  EXPECT_EQ(form8_->CurrentSchedule(), "S1");
  EXPECT_EQ(Get("S1", "every"), "2");
  // Remove: the section is gone, the fields keep what they showed.
  const auto messages = ui_->messages.size();
  form8_->Button4->click();
  EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("S1"));
  EXPECT_TRUE(IniFile(SchedulePath()).SectionExists("S2"));
  EXPECT_EQ(form8_->ComboBox1->count(), 1);
  EXPECT_EQ(form8_->ComboBox1->currentIndex(), -1);
  EXPECT_TRUE(form8_->CurrentSchedule().empty());
  EXPECT_TRUE(form8_->CheckBox1->isChecked());
  EXPECT_EQ(form8_->startdate->text(), "2024-05-01 12:00:00");
  EXPECT_EQ(form8_->ComboBox6->currentText(), "Env1");
  // A reload with nothing shown says nothing; close does not bring S1 back.
  form8_->ReloadFromDisk();
  EXPECT_EQ(ui_->messages.size(), messages);
  form8_->Button1->click();
  EXPECT_FALSE(IniFile(SchedulePath()).SectionExists("S1"));
}

TEST_F(SchedulerWindow, ReloadDuringAHandlerWaitsForIt) {
  Shown();
  New("S1");
  Put("S1", {{"start", "2024-06-01 09:00:00"}});
  // The worker's reload arrives while a message of the editor is on screen.
  bool reloadedInside = true;
  ui_->onMessage = [&] {
    ui_->onMessage = nullptr;
    form8_->ReloadFromDisk();
    reloadedInside = form8_->startdate->text() == "2024-06-01 09:00:00";
  };
  form8_->cb1->setChecked(true);  // "Select a Job Name"
  EXPECT_EQ(ui_->messages.back(), "Select a Job Name");
  EXPECT_FALSE(reloadedInside);
  // Done right after the handler.
  EXPECT_TRUE(test::PumpUntil([&] { return form8_->startdate->text() == "2024-06-01 09:00:00"; }));
}

}  // namespace
}  // namespace corvane
