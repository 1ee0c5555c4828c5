#include "console/windows/scheduler_loop.h"

#include <QtGlobal>

#include <syslog.h>

#include <chrono>
#include <string>
#include <utility>

#include "console/components/background_thread.h"
#include "console/core/scheduler_worker.h"

namespace corvane {

SchedulerLoop MakeSchedulerLoop() {
  return [](MainWindow& mainWindow, BackgroundWorker& thread, void*& data) {
    SchedulerHooks hooks;
    hooks.stopRequested = [&thread] { return thread.Terminated(); };
    hooks.pause = [&thread](std::chrono::milliseconds duration) { thread.WaitForStop(duration); };
    LibraryFacade& library = mainWindow.Library();
    hooks.run = [&library](const std::string& environment, const std::string& job,
                           std::int32_t protocolIndex, const std::string& directory,
                           const std::string& parameterValues) {
      return library.ExecuteA(environment, job, protocolIndex, directory, parameterValues);
    };
    hooks.reloadEditor = [&mainWindow, &thread, &data] {
      thread.SynchronizeEvent(data, [&mainWindow](QObject* sender, BackgroundWorker* worker, void*& value) {
        mainWindow.reloadSchedulerEditor(sender, worker, value);
      });
    };
    // The scheduler has no window: what it went past goes to standard error and the system log.
    hooks.warn = [](const std::string& text) {
      qWarning("Corvane scheduler: %s", text.c_str());
      ::syslog(LOG_USER | LOG_WARNING, "Corvane scheduler: %s", text.c_str());
    };
    SchedulerWorker worker(mainWindow.Paths().DataDirBytes(), std::move(hooks));
    worker.Run();
  };
}

}  // namespace corvane
