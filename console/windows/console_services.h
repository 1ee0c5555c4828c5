// The services the program's windows share, built once at start-up (RunConsole) and handed to
// each window that needs them: the library facade, the dialogs and shell calls, the preference
// store, the program's paths, the cipher manager of stored values and the scheduler service.
// Tests build them with fakes in place of the library, the dialogs, the notification area and
// the preference store.
//
// The services outlive every window. Threads: the GUI thread's, except what the scheduler
// service runs on its worker (its loop holds its own share of the library, and its worker makes
// its own cipher manager).
#pragma once

#include <QString>

#include <memory>

#include "cipher/base/managers.h"
#include "console/components/scheduler_service.h"
#include "console/components/tray_icon.h"
#include "console/core/library_facade.h"
#include "console/core/preferences.h"
#include "console/core/program_paths.h"
#include "console/windows/secondary_window.h"

namespace corvane {

struct ConsoleServices {
  std::shared_ptr<LibraryFacade> library;    // required; shared with a run in progress
  std::unique_ptr<UiServices> ui;            // none: the real dialogs and shell
  std::unique_ptr<Preferences> preferences;  // none: the per-user store
  ProgramPaths paths;
  QString autostartDir;  // empty: the desktop's autostart folder
  // The cipher manager of stored values: "IDEA", cmCTS, the fixed key once the main window's
  // first show has set it up. GUI thread only.
  std::unique_ptr<TCipherManager> storedValueCipher;
  // none: a scheduler whose worker idles until it is stopped.
  std::unique_ptr<SchedulerService> scheduler;
  // The notification area, taken by the main window's tray icon. none: the real one.
  std::unique_ptr<TrayBackend> trayBackend;

  // Puts the real services (or the idle scheduler) where none were given. Throws
  // std::invalid_argument without a library.
  void Complete();
};

}  // namespace corvane
