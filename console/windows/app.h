// The program's start-up and end: the application, then the main window (shown at once, so its
// first show runs before any other window exists), then the secondary windows created hidden in
// this order: Preferences, About, Environment, Job, Command, Scheduler, Date.  Closing the main
// window (which closes the open secondary windows as their Close buttons do) ends the message
// loop; then the scheduler worker is stopped and waited for while the GUI thread's events are
// served, and the windows are destroyed.  SIGTERM, SIGINT, SIGHUP and the session manager's
// commit-data request end the program the same way, asking nothing (MainWindow::EndUnattended).
#pragma once

#include <memory>

#include "console/core/library_facade.h"
#include "console/windows/main_window.h"

namespace corvane {

// Everything the program is built from.  Empty entries take the real ones.
struct ProgramSetup {
  std::unique_ptr<LibraryFacade> library;  // required
  std::unique_ptr<UiServices> ui;
  SchedulerLoop schedulerLoop;
};

// The secondary windows of a running program, owned here, in the order of their creation.
class ConsoleWindows {
 public:
  // Creates every secondary window for `mainWindow` (hidden) and registers it in mainWindow.Windows().
  explicit ConsoleWindows(MainWindow& mainWindow);
  ~ConsoleWindows();
  ConsoleWindows(const ConsoleWindows&) = delete;
  ConsoleWindows& operator=(const ConsoleWindows&) = delete;

 private:
  std::vector<std::unique_ptr<SecondaryWindow>> windows_;  // destroyed in reverse order
};

// Sets the application's names, title and icon (QApplication must exist).
void SetUpApplication();

// Runs the program with `setup` on an existing QApplication; answers the exit code.
int RunConsole(ProgramSetup setup);

}  // namespace corvane
