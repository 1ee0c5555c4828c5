// One Execute of the main window on a thread of its own, so that the GUI thread goes on serving
// the window (painting, the desktop's pings, the library's operator prompt) while the library runs
// the job.  The outcome comes back to the GUI thread as a queued call.
//
// Threads: an ExecuteRun is made, asked and destroyed on the thread of its receiver (the GUI
// thread).  The run thread uses only what it was given (its own share of the library facade and a
// copy of the request) and reaches the receiver only through the queued call.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "console/core/library_facade.h"

namespace corvane {

// How a run ended: its text for the output memo, or the failure that left the library call (an
// undecodable stored value, no result buffer).
struct ExecuteOutcome {
  ExecuteResult result;
  std::optional<std::string> failure;
};

class ExecuteRun {
 public:
  using Done = std::function<void(const ExecuteOutcome& outcome)>;

  // Starts RunExecute(*library, request) on a new thread.  `done` runs on `receiver`'s thread
  // once the run has ended, unless the ExecuteRun or the receiver is gone by then.  Throws
  // std::system_error when the system refuses the thread.
  ExecuteRun(std::shared_ptr<LibraryFacade> library, ExecuteRequest request, QObject* receiver, Done done);
  // A run that has ended is joined.  A run that is still in the library (the operator quit
  // without waiting for it) is let go: it ends by itself when the library returns, or with the
  // process; its outcome is dropped.
  ~ExecuteRun();
  ExecuteRun(const ExecuteRun&) = delete;
  ExecuteRun& operator=(const ExecuteRun&) = delete;

  // Whether the library call has returned.
  bool Ended() const;

 private:
  struct Channel;
  std::shared_ptr<Channel> channel_;
  std::thread thread_;
};

}  // namespace corvane
