// The background worker of `executeA`: runs one remote command on a thread of its own and appends
// its block to the output file of the data directory.
#pragma once

#include <chrono>
#include <memory>
#include <string_view>

#include "remote/job_expansion.h"
#include "settings/date_time_text.h"

namespace corvane {

// Descriptors that one run holds at most while it lasts (connection, back-channel listener and
// connection, the back-channel reader's wake-up, the temporary output file).
inline constexpr int kDescriptorsPerRun = 6;

// The background runs this process can hold at once under its current soft descriptor limit (the
// library raises it to the hard limit when it is loaded), at least 1.
int BackgroundRunSlots() noexcept;

// Reports a block that could not be written on the standard error stream and in the system log:
// `head` (the block's first lines, or the command) says which run, `reason` why.
void ReportLostBlock(std::string_view head, std::string_view reason) noexcept;

class BackgroundJobWorker {
 public:
  // `clock` gives the date-time line of the block (the system clock when null).
  explicit BackgroundJobWorker(RunRequest fields, RemotePorts ports = {},
                               std::shared_ptr<const Clock> clock = nullptr, RunLimits limits = {});
  BackgroundJobWorker(const BackgroundJobWorker&) = delete;
  BackgroundJobWorker& operator=(const BackgroundJobWorker&) = delete;

  const RunRequest& Fields() const noexcept { return fields_; }

  // The run. An empty command ends it at once (no run, no file access). Otherwise it takes the
  // date-time text, runs the command (always, whatever the state of the data directory), and
  // appends one block holding the converted output or the run's failure message. The output goes
  // to an unnamed temporary file in the data directory while it arrives and is copied into the
  // block under the output file's lock, so the worker's memory stays small whatever the output's
  // size; where no temporary file can be made, the output is kept in memory instead. Output past
  // the limit ends the run, and the block's result then ends with the limit line. The temporary
  // file is given back before a failure block is written; a block with the output that cannot be
  // written is replaced by a block naming the failure; a block that cannot be written at all is
  // reported by ReportLostBlock().
  void Execute() noexcept;

  // Hands the worker to the background runs, which own it and free it when it has run; nothing
  // waits for it. At most BackgroundRunSlots() runs are executed at once, each on a thread of its
  // own; later ones wait for a free thread. Throws std::system_error when no thread can be started
  // and none runs (the worker is then freed).
  static void Start(std::unique_ptr<BackgroundJobWorker> worker);

  // Workers started and not yet finished (queued or running) in this process.
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
