// The program's start-up and end: the application, the services (ConsoleServices, built once),
// then the main window (shown at once, so its first show runs before any other window exists),
// then the secondary windows created hidden in this order: Preferences, About, Environment, Job,
// Command, Scheduler, Date, and the signals that tie them together, all connected here.  Closing
// the main window (which closes the open secondary windows as their Close buttons do) ends the
// message loop; then the scheduler worker is stopped and waited for while the GUI thread's events
// are served, and the windows are destroyed.  SIGTERM, SIGINT, SIGHUP and the session manager's
// commit-data request end the program the same way, asking nothing (MainWindow::EndUnattended).
#pragma once

#include <memory>

#include "console/core/library_facade.h"
#include "console/windows/about_window.h"
#include "console/windows/command_window.h"
#include "console/windows/console_services.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/environment_window.h"
#include "console/windows/job_window.h"
#include "console/windows/main_window.h"
#include "console/windows/preferences_window.h"
#include "console/windows/scheduler_window.h"

namespace corvane {

// Everything the program is built from.  Empty entries take the real ones.
struct ProgramSetup {
  std::unique_ptr<LibraryFacade> library;  // required
  std::unique_ptr<UiServices> ui;
  SchedulerLoop schedulerLoop;  // none: the scheduler worker on the program's data
};

// The windows the main window's menu items and tool buttons open and that closing it closes.
// An empty entry makes its menu item and tool button do nothing.
struct MainWindowTargets {
  SecondaryWindow* preferences = nullptr;
  SecondaryWindow* about = nullptr;
  SecondaryWindow* environment = nullptr;
  SecondaryWindow* job = nullptr;
  SecondaryWindow* command = nullptr;
  SecondaryWindow* scheduler = nullptr;
  SecondaryWindow* datePicker = nullptr;
};

// Connects the main window's requests to the windows they open (each opened by present(), a
// failure shown by `ui` over the main window), and gives it the order in which closing it closes
// them: the date picker and the command editor before the editors they write into.
void ConnectMainWindow(MainWindow& mainWindow, UiServices& ui, const MainWindowTargets& windows);
// Connects the Preferences window's changes to the main window's output and tray icon.
void ConnectPreferences(PreferencesWindow& preferences, MainWindow& mainWindow);
// Connects the scheduler editor's "..." to the date picker.
void ConnectDatePicker(SchedulerWindow& scheduler, DatePickerWindow& picker, UiServices& ui);
// Connects the scheduler service's reload request to `editor`: an open editor reloads (a failure
// shown by `ui`); a hidden one is left as it is.
void ConnectSchedulerReload(SchedulerService& scheduler, SecondaryWindow& editor, UiServices& ui);

// The secondary windows of a running program, owned here, in the order of their creation.
class ConsoleWindows {
 public:
  // Creates every secondary window for `mainWindow` (hidden) over `services`, and connects them
  // to the main window, to each other and to the scheduler service.
  ConsoleWindows(MainWindow& mainWindow, ConsoleServices& services);
  ~ConsoleWindows();
  ConsoleWindows(const ConsoleWindows&) = delete;
  ConsoleWindows& operator=(const ConsoleWindows&) = delete;

  PreferencesWindow& Preferences() const { return *preferences_; }
  AboutWindow& About() const { return *about_; }
  EnvironmentWindow& Environment() const { return *environment_; }
  JobWindow& Job() const { return *job_; }
  CommandWindow& Command() const { return *command_; }
  SchedulerWindow& Scheduler() const { return *scheduler_; }
  DatePickerWindow& DatePicker() const { return *datePicker_; }

 private:
  // Destroyed in reverse order of their creation.
  std::unique_ptr<PreferencesWindow> preferences_;
  std::unique_ptr<AboutWindow> about_;
  std::unique_ptr<EnvironmentWindow> environment_;
  std::unique_ptr<JobWindow> job_;
  std::unique_ptr<CommandWindow> command_;
  std::unique_ptr<SchedulerWindow> scheduler_;
  std::unique_ptr<DatePickerWindow> datePicker_;
};

// Sets the application's names, title and icon (QApplication must exist).
void SetUpApplication();

// Runs the program with `setup` on an existing QApplication; answers the exit code.
int RunConsole(ProgramSetup setup);

}  // namespace corvane
