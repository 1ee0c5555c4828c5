// The background worker of `executeA`: runs one remote command on a thread of its own and appends
// its block to the output file of the data directory.
#pragma once

#include <chrono>
#include <memory>

#include "remote/job_expansion.h"
#include "settings/date_time_text.h"

namespace corvane {

class BackgroundJobWorker {
 public:
  // `clock` gives the date-time line of the block (the system clock when null).
  explicit BackgroundJobWorker(RunRequest fields, RemotePorts ports = {}, std::shared_ptr<const Clock> clock = nullptr,
                               RunLimits limits = {});
  BackgroundJobWorker(const BackgroundJobWorker&) = delete;
  BackgroundJobWorker& operator=(const BackgroundJobWorker&) = delete;

  const RunRequest& Fields() const noexcept { return fields_; }

  // The thread body. An empty command ends it at once (no run, no file access). Otherwise it
  // takes the date-time text, runs the command, and appends one block holding the converted
  // output or the run's failure message. The output goes to an unnamed temporary file in the
  // data directory while it arrives and is copied into the block under the output file's lock,
  // so the worker's memory stays small whatever the output's size; output past the limit ends
  // the run, and the block's result then ends with the limit line. A block that cannot be
  // written is reported on the standard error stream.
  void Execute() noexcept;

  // Starts the worker on a thread of its own, which owns it and frees it when the body ends;
  // nothing waits for it. Throws std::system_error when no thread can be started (the worker is
  // then freed).
  static void Start(std::unique_ptr<BackgroundJobWorker> worker);

  // Workers started and not yet finished in this process.
  static int Running() noexcept;
  // Waits until no worker runs, at most `limit`; true when none runs.
  static bool WaitUntilIdle(std::chrono::milliseconds limit);

 private:
  RunRequest fields_;
  RemotePorts ports_;
  std::shared_ptr<const Clock> clock_;
  RunLimits limits_;
};

}  // namespace corvane
