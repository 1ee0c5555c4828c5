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

#include <memory>
#include <optional>

#include "console/console_fixture.h"
#include "console/main_window_parts.h"
#include "console/program_fixture.h"
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

using test::Choose;

// Over a notification area that takes the icon, the program minimising into it.
class RestoreKeepsEditsTest : public test::ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    if (HasFatalFailure()) return;
    mainWindow_->SetMinimizeToTray(true);
  }
  std::unique_ptr<TrayBackend> MakeTray() override { return std::make_unique<test::SilentTray>(); }

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
  ui_->answers.push_back("Alpha");
  environments.newEnvironmentButton_->click();
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText("alpha.example");

  // Job editor: a new variable with its typed value; the command editor with an edited command.
  test::Action(*mainWindow_, "jobAction")->trigger();
  Choose(jobs.jobList_, "backup");
  ui_->answers.push_back("Target");
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
