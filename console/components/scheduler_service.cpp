#include "console/components/scheduler_service.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QtGlobal>

#include <syslog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "console/core/scheduler_worker.h"

namespace corvane {
namespace {

// How long ending the program waits for the scheduler worker.
constexpr std::chrono::milliseconds kStopLimit{10000};
// How long each round of that wait blocks before the GUI thread's events are served again.
constexpr int kStopWaitRoundMs = 20;
// How long an idle worker sleeps in one stop wait (the stop request wakes it at once).
constexpr std::chrono::hours kIdleWait{1};

}  // namespace

SchedulerService::SchedulerService(SchedulerLoop loop, QObject* parent)
    : QObject(parent), loop_(std::move(loop)), thread_(new BackgroundThread(this)) {
  thread_->OnExecute = [this](QObject*, BackgroundWorker* thread, void*& data) { RunLoop(*thread, data); };
}

SchedulerService::~SchedulerService() { Shutdown(); }

void SchedulerService::RunLoop(BackgroundWorker& thread, void*& data) {
  if (loop_) {
    loop_(*this, thread, data);
    return;
  }
  while (!thread.Terminated()) thread.WaitForStop(kIdleWait);
}

void SchedulerService::Start() {
  if (thread_ != nullptr) thread_->Start();
}

void SchedulerService::Stop() {
  if (thread_ != nullptr) thread_->Stop();
}

void SchedulerService::Shutdown() {
  if (thread_ == nullptr) return;
  // The worker sees the stop request at its next step (its pause wakes at once, a synchronised
  // call still waiting is dropped); one that has not ended within the limit is stuck in a call
  // that never returns, and the program ends without it rather than hang.
  thread_->Stop();
  const QDeadlineTimer limit(kStopLimit);
  // The GUI thread's events are served meanwhile: a synchronised call the worker waits in is only
  // dropped once the GUI thread takes it from its queue. (Serving them may also take back the
  // ended worker, so it is looked up afresh each round.)
  for (;;) {
    BackgroundWorker* worker = thread_->Worker();
    if (worker == nullptr || worker->wait(QDeadlineTimer(kStopWaitRoundMs))) break;
    if (limit.hasExpired()) {
      const char* text = "Corvane: the scheduler did not end within 10 s; the program ends without it";
      std::fprintf(stderr, "%s\n", text);
      std::fflush(nullptr);
      ::syslog(LOG_USER | LOG_WARNING, "%s", text);
      std::_Exit(EXIT_FAILURE);
    }
    if (QCoreApplication::instance() != nullptr)
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  BackgroundThread* thread = std::exchange(thread_, nullptr);
  delete thread;  // the worker has ended: takes back what is left of it, serving the GUI thread's events
}

void SchedulerService::RequestEditorReload(BackgroundWorker& thread, void*& data) {
  thread.SynchronizeEvent(data, [this](QObject*, BackgroundWorker*, void*&) { emit editorReloadRequested(); });
}

SchedulerLoop MakeSchedulerLoop(std::shared_ptr<LibraryFacade> library, std::string dataDir) {
  return [library = std::move(library), dataDir = std::move(dataDir)](SchedulerService& service,
                                                                      BackgroundWorker& thread, void*& data) {
    SchedulerHooks hooks;
    hooks.stopRequested = [&thread] { return thread.Terminated(); };
    hooks.pause = [&thread](std::chrono::milliseconds duration) { thread.WaitForStop(duration); };
    hooks.run = [&library](const std::string& environment, const std::string& job, std::int32_t protocolIndex,
                           const std::string& directory, const std::string& parameterValues) {
      return library->ExecuteA(environment, job, protocolIndex, directory, parameterValues);
    };
    hooks.reloadEditor = [&service, &thread, &data] { service.RequestEditorReload(thread, data); };
    hooks.warn = [](const std::string& text) {
      qWarning("Corvane scheduler: %s", text.c_str());
      ::syslog(LOG_USER | LOG_WARNING, "Corvane scheduler: %s", text.c_str());
    };
    SchedulerWorker worker(dataDir, std::move(hooks));
    worker.Run();
  };
}

}  // namespace corvane
