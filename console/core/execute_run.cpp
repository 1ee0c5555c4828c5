#include "console/core/execute_run.h"

#include <QMetaObject>

#include <exception>
#include <mutex>
#include <utility>

namespace corvane {

// What the run thread and the ExecuteRun share.  The receiver is cleared (under the mutex) before
// the ExecuteRun goes away, and the outcome is posted under the same mutex, so nothing is ever
// posted to a receiver that is being destroyed.
struct ExecuteRun::Channel {
  std::mutex mutex;
  QObject* receiver = nullptr;  // guarded by mutex
  bool ended = false;           // guarded by mutex
  Done done;
};

namespace {

ExecuteOutcome Run(LibraryFacade& library, const ExecuteRequest& request) noexcept {
  ExecuteOutcome outcome;
  try {
    outcome.result = RunExecute(library, request);
  } catch (const std::exception& e) {
    outcome.failure = e.what();
  } catch (...) {
    outcome.failure = "Unknown failure";
  }
  return outcome;
}

}  // namespace

ExecuteRun::ExecuteRun(std::shared_ptr<LibraryFacade> library, ExecuteRequest request, QObject* receiver,
                       Done done)
    : channel_(std::make_shared<Channel>()) {
  channel_->receiver = receiver;
  channel_->done = std::move(done);
  thread_ =
      std::thread([channel = channel_, library = std::move(library), request = std::move(request)]() mutable {
        ExecuteOutcome outcome = Run(*library, request);
        library.reset();  // the run holds nothing of the caller's once the call has returned
        std::lock_guard<std::mutex> guard(channel->mutex);
        channel->ended = true;
        if (channel->receiver == nullptr) return;
        QMetaObject::invokeMethod(
            channel->receiver, [done = channel->done, outcome = std::move(outcome)] { done(outcome); },
            Qt::QueuedConnection);
      });
}

ExecuteRun::~ExecuteRun() {
  bool ended = false;
  {
    std::lock_guard<std::mutex> guard(channel_->mutex);
    channel_->receiver = nullptr;
    ended = channel_->ended;
  }
  if (ended) {
    thread_.join();  // past its last use of the channel: returns at once
  } else {
    thread_.detach();
  }
}

bool ExecuteRun::Ended() const {
  std::lock_guard<std::mutex> guard(channel_->mutex);
  return channel_->ended;
}

}  // namespace corvane
