// The whole program over a temporary program folder (offscreen): the services with the fake
// library and a scripted UI, the main window shown and every secondary window made; the folder
// seeded with an environment, a job and a scheduled job, and helpers that write and read its
// stored values.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/console_fixture.h"
#include "console/scripted_ui.h"
#include "console/windows/app.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane::test {

class ProgramFixture : public ::testing::Test {
 protected:
  using Values = std::vector<std::pair<std::string, std::string>>;

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InitStoredValueManager(cipher_);
    SeedProgramFolder();
    if (HasFatalFailure()) return;
    auto ui = std::make_unique<ScriptedUi>();
    ui->confirmAnswer = confirmAnswer_;
    ui->inputMustBeScripted = inputMustBeScripted_;
    ui_ = ui.get();
    services_ = std::make_unique<ConsoleServices>(ServicesIn(dir_.path(), library_, std::move(ui), MakeTray()));
    mainWindow_ = std::make_unique<MainWindow>(*services_);
    QObject::connect(mainWindow_.get(), &MainWindow::Closed, [this] { closed_ = true; });
    mainWindow_->show();
    windows_ = std::make_unique<ConsoleWindows>(*mainWindow_, *services_);
  }
  void TearDown() override {
    windows_.reset();
    mainWindow_.reset();
    services_.reset();
  }

  // The files of the program folder before the program starts: the environment "prod", the job
  // "backup" and the scheduled job "nightly" (once, inactive) that runs it there.
  virtual void SeedProgramFolder() {
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
  }
  // The notification area the program sees.
  virtual std::unique_ptr<TrayBackend> MakeTray() { return std::make_unique<NoTray>(); }

  std::string EnvPath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneEnv.ini"); }
  std::string JobPath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneJob.ini"); }
  std::string SchedulePath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneSchd.ini"); }
  void Write(const std::string& path, std::string_view section, const Values& values) {
    IniFile file(path);
    for (const auto& [key, value] : values) StoredValues(cipher_).Write(file, section, key, value);
    file.WriteBack();
  }
  void Write(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
    Write(path, section, {{std::string(key), std::string(value)}});
  }
  // A value in the program's preference store.
  void Store(const char* name, const QString& value) {
    QSettings store(dir_.path() + "/config/Corvane.conf", QSettings::IniFormat);
    store.setValue(name, value);
  }
  std::string Plain(const std::string& path, std::string_view section, std::string_view key) {
    return StoredValues(cipher_).Read(IniFile(path), section, key);
  }
  template <typename Window>
  Window& Get(Window& (ConsoleWindows::*entry)() const) {
    return ((*windows_).*entry)();
  }

  // How the scripted UI answers; set before SetUp.
  bool confirmAnswer_ = true;
  bool inputMustBeScripted_ = true;

  Watchdog watchdog_;
  QTemporaryDir dir_;
  TCipherManager cipher_;
  std::shared_ptr<LibraryLog> library_ = std::make_shared<LibraryLog>();
  ScriptedUi* ui_ = nullptr;
  bool closed_ = false;                        // the main window has closed
  std::unique_ptr<ConsoleServices> services_;  // outlives the windows
  std::unique_ptr<MainWindow> mainWindow_;
  std::unique_ptr<ConsoleWindows> windows_;
};

}  // namespace corvane::test
