// The desktop habits of the program's windows (offscreen, every window over a temporary program
// folder, the keys played by QtTest): Escape closes a secondary window as its Close button does
// (Cancel where the window has one); after a refusal the operator is back in the field to correct,
// a refused name in its input dialog; a window larger than the screen is fitted into it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <memory>
#include <optional>

#include "console/console_fixture.h"
#include "console/main_window_parts.h"
#include "console/program_fixture.h"
#include "console/windows/about_window.h"
#include "console/windows/app.h"
#include "console/windows/command_window.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/environment_window.h"
#include "console/windows/help_window.h"
#include "console/windows/job_window.h"
#include "console/windows/preferences_window.h"
#include "console/windows/scheduler_window.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

using test::Choose;

// Questions are refused and an input dialog with nothing scripted is cancelled; the program
// folder holds a help file.
class DesktopHabitsTest : public test::ProgramFixture {
 protected:
  DesktopHabitsTest() {
    confirmAnswer_ = false;
    inputMustBeScripted_ = false;
  }
  void SeedProgramFolder() override {
    Write(EnvPath(), "prod", "RHost", "old.example");
    Write(JobPath(), "backup", "Command", "ls;");
    Write(SchedulePath(), "nightly", "start", "2024-05-01 10:00:00");
    QFile help(dir_.path() + "/CORVANE.HLP");
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("Help\r\n");
    help.close();
  }
};

TEST_F(DesktopHabitsTest, EscapeClosesEverySecondaryWindowAsItsCloseButtonDoes) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  auto& jobs = Get<JobWindow>(&ConsoleWindows::Job);
  auto& commandEditor = Get<CommandWindow>(&ConsoleWindows::Command);
  auto& scheduler = Get<SchedulerWindow>(&ConsoleWindows::Scheduler);
  auto& picker = Get<DatePickerWindow>(&ConsoleWindows::DatePicker);

  // Every window, with Escape pressed in one of its controls (the key goes from there to the
  // window) or on the window itself.
  struct Case {
    const char* what;
    QAction* opener;
    SecondaryWindow* window;
    std::function<QWidget*()> keyTarget;
  };
  const std::vector<Case> cases{
      {"Preferences", test::Action(*mainWindow_, "preferencesAction"),
       &Get<PreferencesWindow>(&ConsoleWindows::Preferences), nullptr},
      {"About", test::Action(*mainWindow_, "aboutAction"), &Get<AboutWindow>(&ConsoleWindows::About), nullptr},
      {"Help", test::Action(*mainWindow_, "helpAction"), &mainWindow_->Help(), nullptr},
      {"Environment", test::Action(*mainWindow_, "environmentAction"), &environments,
       [&] { return environments.valueEdit_; }},
      {"Job", test::Action(*mainWindow_, "jobAction"), &jobs, [&] { return jobs.jobList_; }},
      {"Scheduler", test::Action(*mainWindow_, "schedulerAction"), &scheduler,
       [&] { return scheduler.scheduledJobList_; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.opener->trigger();
    ASSERT_TRUE(c.window->isVisible());
    QTest::keyClick(c.keyTarget ? c.keyTarget() : c.window, Qt::Key_Escape);
    EXPECT_FALSE(c.window->isVisible());
  }

  // The environment editor saves on Escape as on Close: a typed value reaches the file.
  test::Action(*mainWindow_, "environmentAction")->trigger();
  Choose(environments.environmentList_, "prod");
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText("new.example");
  QTest::keyClick(environments.valueEdit_, Qt::Key_Escape);
  EXPECT_FALSE(environments.isVisible());
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "new.example");

  // The command editor: Escape is Cancel (the text is dropped, the command field unchanged).
  test::Action(*mainWindow_, "jobAction")->trigger();
  Choose(jobs.jobList_, "backup");
  jobs.editCommandButton_->click();
  ASSERT_TRUE(commandEditor.isVisible());
  commandEditor.commandText_->setPlainText("rm -rf /tmp/x");
  QTest::keyClick(commandEditor.commandText_, Qt::Key_Escape);
  EXPECT_FALSE(commandEditor.isVisible());
  EXPECT_EQ(commandEditor.commandText_->toPlainText(), "");
  EXPECT_EQ(jobs.commandEdit_->text(), "ls;");
  EXPECT_TRUE(jobs.isVisible());

  // The date picker: Escape is Cancel (the start stays as it was).
  test::Action(*mainWindow_, "schedulerAction")->trigger();
  Choose(scheduler.scheduledJobList_, "nightly");
  scheduler.pickStartButton_->click();
  ASSERT_TRUE(picker.isVisible());
  picker.yearEdit_->setValue(2031);
  QTest::keyClick(picker.yearEdit_, Qt::Key_Escape);
  EXPECT_FALSE(picker.isVisible());
  EXPECT_EQ(scheduler.StartDateText(), "2024-05-01 10:00:00");
  EXPECT_TRUE(scheduler.isVisible());
  EXPECT_TRUE(ui_->messages.isEmpty()) << ui_->messages.join("|").toStdString();
}

TEST_F(DesktopHabitsTest, ARefusedTextLeavesTheFocusInItsField) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  auto& jobs = Get<JobWindow>(&ConsoleWindows::Job);
  auto& commandEditor = Get<CommandWindow>(&ConsoleWindows::Command);
  auto& scheduler = Get<SchedulerWindow>(&ConsoleWindows::Scheduler);
  const QString euro = QString::fromUtf8("\u20ac.example");  // the euro sign is not Latin-1
  test::Action(*mainWindow_, "environmentAction")->trigger();
  Choose(environments.environmentList_, "prod");
  Choose(environments.variableList_, "RHost");
  test::Action(*mainWindow_, "jobAction")->trigger();
  Choose(jobs.jobList_, "backup");
  test::Action(*mainWindow_, "schedulerAction")->trigger();
  Choose(scheduler.scheduledJobList_, "nightly");
  Choose(scheduler.protocolList_, "Remote Shell");  // the value field takes text from here on
  struct Case {
    const char* what;
    QWidget* window;
    QWidget* field;
    std::function<void()> type;
    QPushButton* button;  // pressed with the text in the field
    const char* refusal;
  };
  const std::vector<Case> cases{
      {"environment value", &environments, environments.valueEdit_,
       [&] { environments.valueEdit_->setText(euro); }, environments.closeButton_, kValueNotLatin1},
      {"job command", &jobs, jobs.commandEdit_, [&] { jobs.commandEdit_->setText(euro); }, jobs.closeButton_,
       kCommandNotLatin1},
      {"scheduler value", &scheduler, scheduler.valueEdit_, [&] { scheduler.valueEdit_->setText(euro); },
       scheduler.closeButton_, kValueNotLatin1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui_->messages.clear();
    c.type();
    c.button->setFocus();
    c.button->click();
    EXPECT_TRUE(c.window->isVisible());
    EXPECT_EQ(ui_->messages, QStringList{QString::fromLatin1(c.refusal)});
    EXPECT_EQ(c.window->focusWidget(), c.field);
  }
  // The command editor's OK.
  ui_->messages.clear();
  jobs.commandEdit_->setText("ls;");
  jobs.editCommandButton_->click();
  ASSERT_TRUE(commandEditor.isVisible());
  commandEditor.commandText_->setPlainText(euro);
  commandEditor.okButton_->setFocus();
  commandEditor.okButton_->click();
  EXPECT_TRUE(commandEditor.isVisible());
  EXPECT_EQ(ui_->messages, QStringList{QString::fromLatin1(kCommandNotLatin1)});
  EXPECT_EQ(commandEditor.focusWidget(), commandEditor.commandText_);
}

TEST_F(DesktopHabitsTest, ARefusedNameComesBackInItsInputDialogToBeCorrected) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  auto& jobs = Get<JobWindow>(&ConsoleWindows::Job);
  auto& scheduler = Get<SchedulerWindow>(&ConsoleWindows::Scheduler);
  test::Action(*mainWindow_, "environmentAction")->trigger();
  test::Action(*mainWindow_, "jobAction")->trigger();
  test::Action(*mainWindow_, "schedulerAction")->trigger();
  Choose(jobs.jobList_, "backup");
  const QString euro = QString::fromUtf8("caf\u00e9 \u20ac");
  struct Case {
    const char* what;
    QPushButton* newButton;
    QString refused;
    QString refusal;
    QString corrected;
    std::function<QString()> selected;
  };
  const std::vector<Case> cases{
      {"an environment that exists", environments.newEnvironmentButton_, "PROD", "This name already exists",
       "Beta", [&] { return environments.environmentList_->currentText(); }},
      {"a variable not in Latin-1", environments.newVariableButton_, euro,
       QString::fromLatin1(kNameNotLatin1.data(), kNameNotLatin1.size()), QString::fromUtf8("caf\u00e9"),
       [&] { return environments.variableList_->currentText(); }},
      {"a job variable named Command", jobs.newVariableButton_, " command ",
       "\"Command\" is an invalid job parameter name", "commander",
       [&] { return jobs.variableList_->currentText(); }},
      {"a scheduled job that exists", scheduler.newButton_, "Nightly", "This name already exists", "Weekly",
       [&] { return scheduler.scheduledJobList_->currentText(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui_->messages.clear();
    ui_->presets.clear();
    ui_->answers = {c.refused, c.corrected};
    c.newButton->click();
    EXPECT_EQ(ui_->messages, QStringList{c.refusal});
    // Asked twice: empty, then holding the refused name.
    EXPECT_EQ(ui_->presets, (QStringList{QString(), c.refused}));
    EXPECT_EQ(c.selected(), c.corrected);
    // Cancelled on the second asking, nothing is added.
    ui_->presets.clear();
    ui_->answers = {c.refused, std::nullopt};
    c.newButton->click();
    EXPECT_EQ(ui_->presets, (QStringList{QString(), c.refused}));
    EXPECT_EQ(c.selected(), c.corrected);
  }
}

TEST(FittedGeometryTest, AWindowIsMovedAndShrunkIntoTheArea) {
  const QRect area(0, 24, 640, 456);  // a small screen less a panel at its top
  struct Case {
    const char* what;
    QRect geometry;
    QRect fitted;
  };
  const Case cases[] = {
      {"inside stays", QRect(10, 40, 300, 200), QRect(10, 40, 300, 200)},
      {"above the panel comes down", QRect(100, 0, 300, 200), QRect(100, 24, 300, 200)},
      {"off the right and bottom comes back", QRect(500, 400, 300, 200), QRect(340, 280, 300, 200)},
      {"off the left comes back", QRect(-50, 100, 300, 200), QRect(0, 100, 300, 200)},
      {"larger than the area fills it", QRect(-100, -50, 1408, 972), QRect(0, 24, 640, 456)},
      {"only too tall", QRect(20, 30, 300, 900), QRect(20, 24, 300, 456)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FittedGeometry(c.geometry, area), c.fitted);
  }
  // No area known: unchanged.
  EXPECT_EQ(FittedGeometry(QRect(5, 5, 10, 10), QRect()), QRect(5, 5, 10, 10));
}

}  // namespace
}  // namespace corvane
