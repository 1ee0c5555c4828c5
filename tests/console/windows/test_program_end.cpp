// The end of the program with work open (offscreen, every window of the program over a temporary
// program folder): closing the main window, a signal and the end of the session close every open
// secondary window as its Close button does, so each editor saves what it shows; the end from
// outside asks nothing, cancels a dialog left open and lets a foreground run go; the worker is
// stopped and the start-at-logon entry written.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>
#include <optional>

#include "console/components/end_signals.h"
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

class ProgramEndTest : public test::ProgramFixture {
 protected:
  void SeedProgramFolder() override {
    ProgramFixture::SeedProgramFolder();
    Store("RUNSTART", "1");
  }

  QString AutostartEntry() const { return dir_.path() + "/autostart/Corvane.desktop"; }

  // Unsaved work in every editor: a new environment with a typed value, a typed value of a new
  // job variable and an edited command field, a scheduled job made recurring, the command editor
  // and the date picker open over them.
  void OpenWorkEverywhere() {
    ASSERT_NE(services_->scheduler->Thread()->Worker(), nullptr);
    ASSERT_FALSE(services_->scheduler->Thread()->Worker()->StopRequested());
    auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
    auto& jobs = Get<JobWindow>(&ConsoleWindows::Job);
    auto& scheduler = Get<SchedulerWindow>(&ConsoleWindows::Scheduler);
    test::Action(*mainWindow_, "environmentAction")->trigger();
    ui_->answers.push_back("Alpha");
    environments.newEnvironmentButton_->click();
    Choose(environments.variableList_, "RHost");
    environments.valueEdit_->setText("alpha.example");

    test::Action(*mainWindow_, "jobAction")->trigger();
    Choose(jobs.jobList_, "backup");
    jobs.commandEdit_->setText("uptime;");
    ui_->answers.push_back("Target");
    jobs.newVariableButton_->click();
    jobs.valueEdit_->setText("/srv");
    jobs.editCommandButton_->click();

    test::Action(*mainWindow_, "schedulerButton")->trigger();
    Choose(scheduler.scheduledJobList_, "nightly");
    scheduler.runOnceBox_->setChecked(false);
    scheduler.countEdit_->SetText("3");
    scheduler.pickStartButton_->click();
    ASSERT_TRUE(Get<DatePickerWindow>(&ConsoleWindows::DatePicker).isVisible());
    ASSERT_TRUE(Get<CommandWindow>(&ConsoleWindows::Command).isVisible());
  }

  // Whether the scheduler worker has been asked to stop (or has ended after being asked).
  bool WorkerAskedToStop() const {
    const BackgroundThread* thread = services_->scheduler->Thread();
    if (thread == nullptr) return true;
    const BackgroundWorker* worker = thread->Worker();
    return worker == nullptr || worker->StopRequested();
  }

  void ExpectWorkSaved() {
    EXPECT_EQ(Plain(EnvPath(), "Alpha", "RHost"), "alpha.example");
    EXPECT_EQ(Plain(JobPath(), "backup", "Command"), "uptime;");
    EXPECT_EQ(Plain(JobPath(), "backup", "Target"), "/srv");
    EXPECT_EQ(Plain(SchedulePath(), "nightly", "once"), "0");
    EXPECT_EQ(Plain(SchedulePath(), "nightly", "every"), "3");
    for (const SecondaryWindow* window : std::initializer_list<const SecondaryWindow*>{
             &windows_->Environment(), &windows_->Job(), &windows_->Scheduler(), &windows_->Command(),
             &windows_->DatePicker()}) {
      EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
    }
  }
};

TEST_F(ProgramEndTest, QuitSavesEveryOpenEditor) {
  OpenWorkEverywhere();
  test::Action(*mainWindow_, "quitAction")->trigger();
  EXPECT_TRUE(closed_);
  ExpectWorkSaved();
  EXPECT_TRUE(ui_->messages.isEmpty()) << ui_->messages.join("|").toStdString();
  EXPECT_TRUE(QFile::exists(AutostartEntry()));
  EXPECT_TRUE(WorkerAskedToStop());
}

TEST_F(ProgramEndTest, QuitWithAnEditorThatCannotSaveKeepsTheProgram) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  test::Action(*mainWindow_, "environmentAction")->trigger();
  Choose(environments.environmentList_, "prod");
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText(QString::fromUtf8("\u20ac.example"));  // the euro sign is not Latin-1
  test::Action(*mainWindow_, "quitAction")->trigger();
  EXPECT_FALSE(closed_);
  EXPECT_TRUE(mainWindow_->isVisible());
  EXPECT_TRUE(environments.isVisible());
  EXPECT_EQ(ui_->messages, QStringList{QString::fromLatin1(kValueNotLatin1)});
  EXPECT_FALSE(QFile::exists(AutostartEntry()));
  // Corrected, the next Quit saves it and ends.
  environments.valueEdit_->setText("euro.example");
  test::Action(*mainWindow_, "quitAction")->trigger();
  EXPECT_TRUE(closed_);
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "euro.example");
}

TEST_F(ProgramEndTest, EachEndSignalSavesEveryOpenEditorAndAsksNothing) {
  for (const int signalNumber : EndSignals::kSignals) {
    SCOPED_TRACE(signalNumber);
    if (closed_) {
      TearDown();
      closed_ = false;
      // A fresh start over the same files as before the first round.
      for (const std::string& path : {EnvPath(), JobPath(), SchedulePath()})
        QFile::remove(QFile::decodeName(path.c_str()));
      QFile::remove(AutostartEntry());
      SetUp();
    }
    OpenWorkEverywhere();
    EndSignals endSignals;
    QObject::connect(&endSignals, &EndSignals::Received, mainWindow_.get(),
                     [this](int) { mainWindow_->EndUnattended(); });
    ASSERT_EQ(::raise(signalNumber), 0);
    ASSERT_TRUE(test::PumpUntil([this] { return closed_; }));
    ExpectWorkSaved();
    EXPECT_TRUE(ui_->questions.isEmpty());
    EXPECT_TRUE(ui_->messages.isEmpty()) << ui_->messages.join("|").toStdString();
    EXPECT_TRUE(QFile::exists(AutostartEntry()));
    EXPECT_TRUE(WorkerAskedToStop());
  }
}

TEST_F(ProgramEndTest, EndFromOutsideGoesPastAnEditorThatCannotSaveAndReportsIt) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  auto& jobs = Get<JobWindow>(&ConsoleWindows::Job);
  test::Action(*mainWindow_, "environmentAction")->trigger();
  Choose(environments.environmentList_, "prod");
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText(QString::fromUtf8("\u20ac.example"));
  test::Action(*mainWindow_, "jobAction")->trigger();
  Choose(jobs.jobList_, "backup");
  jobs.commandEdit_->setText("uptime;");
  mainWindow_->EndUnattended();
  EXPECT_TRUE(closed_);
  EXPECT_TRUE(mainWindow_->Closing());
  // The job editor saved; the environment editor's text could not be stored, which is said.
  EXPECT_EQ(Plain(JobPath(), "backup", "Command"), "uptime;");
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "old.example");
  ASSERT_EQ(ui_->messages.size(), 2);
  EXPECT_EQ(ui_->messages[0], QString::fromLatin1(kValueNotLatin1));
  EXPECT_TRUE(ui_->messages[1].contains("Corvane 2.0 - Environment")) << ui_->messages[1].toStdString();
  EXPECT_TRUE(QFile::exists(AutostartEntry()));
}

TEST_F(ProgramEndTest, EndFromOutsideCancelsAnOpenDialogFirst) {
  auto& environments = Get<EnvironmentWindow>(&ConsoleWindows::Environment);
  test::Action(*mainWindow_, "environmentAction")->trigger();
  Choose(environments.environmentList_, "prod");
  Choose(environments.variableList_, "RHost");
  environments.valueEdit_->setText("new.example");
  // A modal dialog is open (its own event loop runs) when the end comes.
  bool ok = true;
  QTimer::singleShot(20, mainWindow_.get(), [this] { mainWindow_->EndUnattended(); });
  const QString typed =
      QInputDialog::getText(mainWindow_.get(), "Question", "Anyone there?", QLineEdit::Normal, QString(), &ok);
  EXPECT_FALSE(ok);
  ASSERT_TRUE(test::PumpUntil([this] { return closed_; }));
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "new.example");
  EXPECT_FALSE(environments.isVisible());
}

TEST(UnattendedDialogsTest, NothingWaitsForAnAnswerAndMessagesGoToStandardError) {
  test::Watchdog watchdog;
  // The real dialogs: one that were shown would wait here for ever (the watchdog would end it).
  UiServices ui;
  ui.SetUnattended(true);
  EXPECT_FALSE(ui.Confirm(nullptr, "Quit now?"));
  EXPECT_EQ(ui.InputText(nullptr, "New Environment", "Please enter the new environment name", "x"), std::nullopt);
  ::testing::internal::CaptureStderr();
  ui.Message(nullptr, QString::fromLatin1("caf\xE9 could not be saved"));
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(written.find("Corvane 2.0: caf"), std::string::npos) << written;
  EXPECT_NE(written.find("could not be saved\n"), std::string::npos) << written;
}

TEST(EndSignalsTest, TheEarlierHandlersComeBackAndOnlyOneInstanceAtATime) {
  struct sigaction mine {};
  mine.sa_handler = SIG_IGN;
  sigemptyset(&mine.sa_mask);
  struct sigaction saved {};
  ASSERT_EQ(::sigaction(SIGHUP, &mine, &saved), 0);
  {
    EndSignals endSignals;
    EXPECT_THROW(EndSignals second, std::logic_error);
    int received = 0;
    QObject::connect(&endSignals, &EndSignals::Received, [&received](int number) { received = number; });
    ASSERT_EQ(::raise(SIGHUP), 0);
    ASSERT_TRUE(test::PumpUntil([&received] { return received != 0; }));
    EXPECT_EQ(received, SIGHUP);
    // Once the end has begun, the earlier handler is back (here: the signal ignored).
    endSignals.RestorePreviousHandlers();
    struct sigaction during {};
    ASSERT_EQ(::sigaction(SIGHUP, nullptr, &during), 0);
    EXPECT_EQ(during.sa_handler, SIG_IGN);
  }
  struct sigaction now {};
  ASSERT_EQ(::sigaction(SIGHUP, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  ASSERT_EQ(::sigaction(SIGHUP, &saved, nullptr), 0);
  // A new instance can be made once the first is gone.
  EXPECT_NO_THROW(EndSignals again);
}

}  // namespace
}  // namespace corvane
