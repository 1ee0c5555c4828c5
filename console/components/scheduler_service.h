// The scheduler service: the thread that runs the scheduler worker, made once at start-up and
// handed to the main window, which starts it at its first show and stops it when it closes.
//
// The loop it runs is given at construction; nothing is installed later and nothing polls for
// one. Without a loop the worker sleeps until it is asked to stop. The running program's loop
// (MakeSchedulerLoop) is a SchedulerWorker on the program's data directory, running due jobs
// through the library; after each run it asks the GUI thread, through the worker's synchronised
// call, to emit editorReloadRequested, which the start-up code connects to the scheduler editor.
//
// Threads: the service lives on the GUI thread; the loop runs on the worker thread and reaches
// the GUI thread only through RequestEditorReload.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "console/components/background_thread.h"
#include "console/core/library_facade.h"

namespace corvane {

class SchedulerService;

// The body of the scheduler worker, run on the worker thread from Start until it sees the
// worker's stop request (thread.Terminated()).
using SchedulerLoop = std::function<void(SchedulerService& service, BackgroundWorker& thread, void*& data)>;

class SchedulerService final : public QObject {
  Q_OBJECT
 public:
  // `loop` none: the worker idles until it is stopped.
  explicit SchedulerService(SchedulerLoop loop, QObject* parent = nullptr);
  // Ends the worker as Shutdown does.
  ~SchedulerService() override;
  SchedulerService(const SchedulerService&) = delete;
  SchedulerService& operator=(const SchedulerService&) = delete;

  // Runs the worker (once: a running worker is left as it is). Throws when the system refuses
  // the thread.
  void Start();
  // Sets the worker's stop request and returns at once.
  void Stop();
  // Sets the worker's stop request and waits for the worker, at most 10 s, serving the GUI
  // thread's events (its pending synchronised calls among them); a worker that has not ended by
  // then is reported (standard error, system log) and the program ends at once with exit status 1
  // (every save is done by then). Afterwards Thread() is none.
  void Shutdown();

  // The thread component that runs the worker; none after Shutdown.
  BackgroundThread* Thread() const { return thread_; }

  // On the worker thread: emits editorReloadRequested on the GUI thread and waits until it has
  // been served (or the stop request drops the call).
  void RequestEditorReload(BackgroundWorker& thread, void*& data);

 signals:
  // The worker has rewritten the schedule file: an open scheduler editor shows it afresh.
  void editorReloadRequested();

 private:
  void RunLoop(BackgroundWorker& thread, void*& data);

  SchedulerLoop loop_;
  BackgroundThread* thread_;  // child of this service; none after Shutdown
};

// The running program's scheduler: a SchedulerWorker on `dataDir` (bytes), calling `library`,
// pausing on the worker's stop wait (it wakes at the end of the pause or at the stop request, not
// in between), stopping on its stop request, and asking for the editor's reload after each run.
// What it went past goes to standard error and the system log (the scheduler has no window).
SchedulerLoop MakeSchedulerLoop(std::shared_ptr<LibraryFacade> library, std::string dataDir);

}  // namespace corvane
