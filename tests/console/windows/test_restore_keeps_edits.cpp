// The program's windows in and out of the notification area (offscreen, over a notification area
// that takes the icon): restoring the program brings every open window back as the operator left
// it.  What each editor then saves proves that no unsaved edit was lost.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include <deque>
#include <memory>
#include <optional>

#include "console/console_fixture.h"
#include "console/main_window_parts.h"
#include "console/windows/app.h"
#include "console/windows/command_window.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/environment_window.h"
#include "console/windows/job_window.h"
#include "console/windows/scheduler_window.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

// Answers the input dialogs (the names of new entries) from a queue; records the messages.
class ScriptedUi final : public UiServices {
 public:
  void Message(QWidget*, const QString& text) override { messages.push_back(text); }
  bool Confirm(QWidget*, const QString&) override { return true; }
  std::optional<QString> InputText(QWidget*, const QString& caption, const QString&, const QString&) override {
    if (names.empty()) {
      ADD_FAILURE() << "unexpected input dialog " << caption.toStdString();
      return std::nullopt;
    }
    QString name = names.front();
    names.pop_front();
    return name;
  }
  bool ChooseFont(QWidget*, QFont&) override { return false; }
  bool Open(QWidget*, const QUrl&) override { return true; }

  QStringList messages;
  std::deque<QString> names;
};

using test::Choose;

class RestoreKeepsEditsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InitStoredValueManager(cipher_);
    Write(EnvPath(), "prod", {{"RHost", "old.example"}, {"RLogin", "ops"}});
    Write(JobPath(), "backup", {{"Command", "ls;"}});
    Write(SchedulePath(), "nightly",
          {{"active", "0"},
           {"once", "1"},
           {"start", "2024-05-01 10:00:00"},
           {"every", "1"},
           {"time", "-1"},
           {"job", "backup"},
           {"envir", "prod"},
           {"prot", "Remote Exec"}});

    auto ui = std::make_unique<ScriptedUi>();
    ui_ = ui.get();
    services_ = std::make_unique<ConsoleServices>(test::ServicesIn(
        dir_.path(), std::make_shared<test::LibraryLog>(), std::move(ui), std::make_unique<test::SilentTray>()));
    mainWindow_ = std::make_unique<MainWindow>(*services_);
    mainWindow_->show();
    windows_ = std::make_unique<ConsoleWindows>(*mainWindow_, *services_);
    mainWindow_->SetMinimizeToTray(true);
  }
  void TearDown() override {
    windows_.reset();
    mainWindow_.reset();
    services_.reset();
  }

  std::string EnvPath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneEnv.ini"); }
  std::string JobPath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneJob.ini"); }
  std::string SchedulePath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneSchd.ini"); }
  void Write(const std::string& path, std::string_view section,
             const std::vector<std::pair<std::string, std::string>>& values) {
    IniFile file(path);
    for (const auto& [key, value] : values) StoredValues(cipher_).Write(file, section, key, value);
    file.WriteBack();
  }
  std::string Plain(const std::string& path, std::string_view section, std::string_view key) {
    return StoredValues(cipher_).Read(IniFile(path), section, key);
  }

  template <typename Window>
  Window& Get(Window& (ConsoleWindows::*entry)() const) {
    return ((*windows_).*entry)();
  }

  // Minimises the program into the notification area and restores it from there.
  void ThroughTheTray(const std::vector<QWidget*>& open) {
    mainWindow_->setWindowState(mainWindow_->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(mainWindow_->Tray().Shown());
    EXPECT_FALSE(mainWindow_->isVisible());
    for (QWidget* window : open) EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
    mainWindow_->Tray().Restore();
    EXPECT_FALSE(mainWindow_->Tray().Shown());
    EXPECT_TRUE(mainWindow_->isVisible());
    for (QWidget* window : open) EXPECT_TRUE(window->isVisible()) << window->windowTitle().toStdString();
  }

  test::Watchdog watchdog_;
  QTemporaryDir dir_;
  TCipherManager cipher_;
  ScriptedUi* ui_ = nullptr;
  std::unique_ptr<ConsoleServices> services_;  // outlives the windows
  std::unique_ptr<MainWindow> mainWindow_;
  std::unique_ptr<ConsoleWindows> windows_;
};

TEST_F(RestoreKeepsEditsTest, EnvironmentAndJobEditorsAndTheCommandEditor) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  auto& jobs = Get<JobWindow>(&ConsoleWindows::Job);
  auto& commandEditor = Get<CommandWindow>(&ConsoleWindows::Command);

  // Environment editor: a typed value of a stored environment, and a new environment with a
  // typed value still in the field.
  test::Action(*mainWindow_, "environmentAction")->trigger();
  Choose(environments.environmentList_, "prod");
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText("new.example");
  ui_->names.push_back("Alpha");
  environments.newEnvironmentButton_->click();
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText("alpha.example");

  // Job editor: a new variable with its typed value; the command editor with an edited command.
  test::Action(*mainWindow_, "jobAction")->trigger();
  Choose(jobs.jobList_, "backup");
  ui_->names.push_back("Target");
  jobs.newVariableButton_->click();
  jobs.valueEdit_->setText("/srv");
  jobs.editCommandButton_->click();
  ASSERT_TRUE(commandEditor.isVisible());
  commandEditor.commandText_->setPlainText("uptime\ndf -h");

  ThroughTheTray({&environments, &jobs, &commandEditor});
  EXPECT_EQ(environments.environmentList_->currentText(), "Alpha");
  EXPECT_EQ(environments.valueEdit_->text(), "alpha.example");
  EXPECT_EQ(jobs.variableList_->currentText(), "Target");
  EXPECT_EQ(commandEditor.commandText_->toPlainText(), "uptime\ndf -h");

  // Twice: the second round finds the windows as the first one left them.
  ThroughTheTray({&environments, &jobs, &commandEditor});

  commandEditor.okButton_->click();
  EXPECT_FALSE(commandEditor.isVisible());
  jobs.closeButton_->click();
  environments.closeButton_->click();
  EXPECT_FALSE(jobs.isVisible());
  EXPECT_FALSE(environments.isVisible());
  EXPECT_TRUE(ui_->messages.isEmpty()) << ui_->messages.join("|").toStdString();
  EXPECT_EQ(Plain(JobPath(), "backup", "Command"), "uptime;df -h;");
  EXPECT_EQ(Plain(JobPath(), "backup", "Target"), "/srv");
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "new.example");
  EXPECT_EQ(Plain(EnvPath(), "Alpha", "RHost"), "alpha.example");
}

TEST_F(RestoreKeepsEditsTest, SchedulerEditorAndDatePicker) {
  auto& scheduler = Get<SchedulerWindow>(&ConsoleWindows::Scheduler);
  auto& picker = Get<DatePickerWindow>(&ConsoleWindows::DatePicker);

  // Scheduler editor: the shown scheduled job made recurring every 3 days; the date picker
  // opened on it with another month and year in its fields.
  test::Action(*mainWindow_, "schedulerButton")->trigger();
  Choose(scheduler.scheduledJobList_, "nightly");
  scheduler.runOnceBox_->setChecked(false);
  scheduler.countEdit_->SetText("3");
  scheduler.pickStartButton_->click();
  ASSERT_TRUE(picker.isVisible());
  picker.monthEdit_->setValue(7);
  picker.yearEdit_->setValue(2031);
  picker.hourEdit_->setValue(6);
  picker.minuteEdit_->setValue(15);

  ThroughTheTray({&scheduler, &picker});
  EXPECT_EQ(picker.yearEdit_->value(), 2031);
  EXPECT_EQ(scheduler.scheduledJobList_->currentText(), "nightly");

  picker.okButton_->click();
  EXPECT_FALSE(picker.isVisible());
  EXPECT_EQ(scheduler.StartDateText(), "2031-07-01 06:15:00");
  scheduler.closeButton_->click();
  EXPECT_FALSE(scheduler.isVisible());
  EXPECT_TRUE(ui_->messages.isEmpty()) << ui_->messages.join("|").toStdString();
  EXPECT_EQ(Plain(SchedulePath(), "nightly", "start"), "2031-07-01 06:15:00");
  EXPECT_EQ(Plain(SchedulePath(), "nightly", "once"), "0");
  EXPECT_EQ(Plain(SchedulePath(), "nightly", "every"), "3");
}

// Ending the program while it is in the notification area: the editors it hid are open windows,
// and save as their Close buttons do (through the tray icon's Quit, and at an end from outside).
TEST_F(RestoreKeepsEditsTest, EndingFromTheTraySavesTheHiddenEditors) {
  for (const bool fromOutside : {false, true}) {
    SCOPED_TRACE(fromOutside ? "end from outside" : "the tray icon's Quit");
    if (fromOutside) {
      TearDown();
      SetUp();
    }
    auto& editor = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
    bool closed = false;
    QObject::connect(mainWindow_.get(), &MainWindow::Closed, [&closed] { closed = true; });
    test::Action(*mainWindow_, "environmentAction")->trigger();
    Choose(editor.environmentList_, "prod");
    Choose(editor.variableList_, "RHost");
    const std::string typed = fromOutside ? "outside.example" : "tray.example";
    editor.valueEdit_->setText(QString::fromStdString(typed));
    mainWindow_->setWindowState(mainWindow_->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(mainWindow_->Tray().Shown());
    ASSERT_FALSE(editor.isVisible());
    if (fromOutside) {
      mainWindow_->EndUnattended();
    } else {
      test::Action(*mainWindow_, "trayQuitAction")->trigger();
    }
    EXPECT_TRUE(closed);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), typed);
  }
}

}  // namespace
}  // namespace corvane
