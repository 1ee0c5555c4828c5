#include "remote/background_job_worker.h"

#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <list>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "posix/descriptor.h"
#include "remote/output_file.h"
#include "remote/never_destroyed.h"
#include "remote/output_sink.h"

namespace corvane {

namespace {

// The soft descriptor limit is raised to the hard one when the library is loaded: every run holds
// a handful of descriptors while it lasts, and 1024 (the usual soft limit) holds few runs.
[[maybe_unused]] const bool descriptor_limit_raised = [] {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return false;
  limit.rlim_cur = limit.rlim_max;
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}();

// The background runs of this process: runs wait in `queue` until one of at most
// BackgroundRunSlots() threads takes them. Never destroyed: threads may outlive the exit handlers.
// Lists, which hold no memory while they are empty: an idle library leaves no heap block behind
// when it is unloaded.
struct RunQueue {
  std::mutex mutex;
  std::condition_variable idle;
  std::list<std::unique_ptr<BackgroundJobWorker>> queue;
  int threads = 0;  // threads taking runs from the queue
  int pending = 0;  // runs queued or being executed
  std::list<const BackgroundJobWorker*> executing;
  std::list<const BackgroundJobWorker*> reportedAtExit;  // executing when the process ended
  bool closing = false;  // the process is ending: queued runs are not started any more
};

// Never destroyed: no heap block that a leak checker could see orphaned once the library is
// unloaded.
RunQueue& Runs() { return NeverDestroyed<RunQueue>(); }

void FinishedOne(const BackgroundJobWorker* worker) {
  RunQueue& r = Runs();
  std::lock_guard lock(r.mutex);
  std::erase(r.executing, worker);
  if (--r.pending == 0) r.idle.notify_all();
}

// True when the end of the process has reported the run already.
bool ReportedAtExit(const BackgroundJobWorker* worker) {
  RunQueue& r = Runs();
  std::lock_guard lock(r.mutex);
  return std::find(r.reportedAtExit.begin(), r.reportedAtExit.end(), worker) != r.reportedAtExit.end();
}

// Takes runs from the queue until it is empty.
void TakeRuns() noexcept {
  RunQueue& r = Runs();
  for (;;) {
    std::unique_ptr<BackgroundJobWorker> worker;
    {
      std::lock_guard lock(r.mutex);
      if (r.queue.empty() || r.closing) {
        --r.threads;
        return;
      }
      worker = std::move(r.queue.front());
      r.queue.pop_front();
      r.executing.push_back(worker.get());
    }
    worker->Execute();
    FinishedOne(worker.get());
    worker.reset();
  }
}

void ReportToSystemLog(const std::string& line) noexcept {
  static std::once_flag opened;
  std::call_once(opened, [] { ::openlog("CorvaneDll", LOG_PID, LOG_USER); });
  ::syslog(LOG_ERR, "%s", line.c_str());
}

// The normal end of the process reports the runs that will write no block: those still waiting
// for their turn, and those still running once the appends in progress have been finished.
class ReportUnfinishedRunsAtExit {
 public:
  ~ReportUnfinishedRunsAtExit() {
    EndAppendsForExit();
    try {
      Report();
    } catch (...) {
      // Out of memory at the very end: the runs go unreported.
    }
  }

 private:
  static void Report() {
    RunQueue& r = Runs();
    std::list<std::unique_ptr<BackgroundJobWorker>> waiting;
    {
      std::lock_guard lock(r.mutex);
      r.closing = true;
      waiting.swap(r.queue);
      r.pending -= static_cast<int>(waiting.size());
      if (r.pending == 0) r.idle.notify_all();
    }
    for (const auto& worker : waiting) {
      ReportLostBlock(worker->Fields().CommandText, "the process ended before the run started");
    }
    // A run that has just finished its append leaves the list within moments; one still running
    // can append nothing any more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    std::vector<std::string> running;
    for (;;) {
      {
        std::lock_guard lock(r.mutex);
        if (r.executing.empty() || std::chrono::steady_clock::now() >= deadline) {
          for (const BackgroundJobWorker* worker : r.executing) running.push_back(worker->Fields().CommandText);
          r.reportedAtExit = r.executing;
          break;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (const std::string& command : running) {
      ReportLostBlock(command, "the process ended while the run was still running");
    }
  }
};
ReportUnfinishedRunsAtExit report_unfinished_runs_at_exit;

}  // namespace

int BackgroundRunSlots() noexcept {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
  constexpr rlim_t kMost = 1 << 20;
  const rlim_t soft = std::min(limit.rlim_cur, kMost);
  // Room is kept for the rest of the process (its windows, files, the foreground run) and for
  // the one append of this process that holds the output file and its record.
  const rlim_t reserved = 64 + soft / 8 + 4;
  if (soft <= reserved + kDescriptorsPerRun) return 1;
  return static_cast<int>((soft - reserved) / kDescriptorsPerRun);
}

void ReportLostBlock(std::string_view head, std::string_view reason) noexcept {
  try {
    // Which run: the date-time, command and host lines of the head (or the command alone).
    std::string run;
    for (std::size_t at = 0; at <= head.size();) {
      std::size_t end = head.find("\r\n", at);
      if (end == std::string_view::npos) end = head.size();
      const std::string_view line = head.substr(at, end - at);
      if (!line.empty() && line != kOutputBlockStars && line != kOutputBlockRule && line != "Result: ") {
        if (!run.empty()) run += ", ";
        run += line;
      }
      at = end + 2;
    }
    std::string line = "the output block of a background run was not written (";
    line += run;
    line += "): ";
    line += reason;
    ReportToSystemLog(line);
    line = "CorvaneDll: " + line + '\n';
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  } catch (...) {
    constexpr std::string_view kShort = "the output block of a background run was not written";
    ::syslog(LOG_ERR, "%s", kShort.data());
    const std::string line = "CorvaneDll: " + std::string(kShort) + '\n';
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  }
}

BackgroundJobWorker::BackgroundJobWorker(RunRequest fields, RemotePorts ports, std::shared_ptr<const Clock> clock,
                                         RunLimits limits)
    : fields_(std::move(fields)), ports_(ports), clock_(std::move(clock)), limits_(limits) {}

namespace {

// Appends a block whose result is `failure`; reports it when even that cannot be written (unless
// the end of the process has reported the run already).
void AppendFailureBlock(const BackgroundJobWorker* worker, const std::string& path, const std::string& head,
                        std::string_view failure, std::string_view earlier_failure = {}) noexcept {
  try {
    AppendOutputBlock(path, head + std::string(failure) + OutputBlockTail());
  } catch (const std::exception& e) {
    std::string reason = e.what();
    if (!earlier_failure.empty() && earlier_failure != reason) {
      reason = std::string(earlier_failure) + "; then " + reason;
    }
    if (!ReportedAtExit(worker)) ReportLostBlock(head, reason);
  } catch (...) {
    if (!ReportedAtExit(worker)) ReportLostBlock(head, "unknown failure");
  }
}

}  // namespace

void BackgroundJobWorker::Execute() noexcept {
  if (fields_.CommandText.empty()) return;
  std::string head;
  try {
    const std::string date_time = clock_ ? NowText(*clock_) : NowText(SystemClock());
    head = FormatOutputBlockHead(date_time, fields_.CommandText, fields_.RemoteHost);
  } catch (const std::exception& e) {
    ReportLostBlock(fields_.CommandText, e.what());
    return;
  }
  const std::string path = OutputFilePath(fields_.DataDir);
  // The output streams to a temporary file of the data directory; where none can be made there,
  // it is kept in memory (within the same limit).
  std::optional<CrLfFileOutput> file_output;
  std::optional<CrLfOutput> memory_output;
  std::optional<std::string> failure;
  bool cut = false;
  try {
    try {
      file_output.emplace(fields_.DataDir, limits_.outputLimit);
    } catch (const std::system_error&) {
      memory_output.emplace(limits_.outputLimit);
    }
    OutputSink& sink = file_output ? static_cast<OutputSink&>(*file_output) : *memory_output;
    cut = !RunRemoteCommand(fields_, ports_, limits_, sink);
    if (cut && file_output) file_output->Append(OutputLimitSuffix(file_output->End(), limits_.outputLimit));
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown failure";
  }
  if (failure) {
    // The temporary file gives its space back before the failure is written (a full disk).
    file_output.reset();
    memory_output.reset();
    AppendFailureBlock(this, path, head, *failure);
    return;
  }
  try {
    if (file_output) {
      AppendOutputBlock(path, head, file_output->Descriptor(), file_output->Size(), OutputBlockTail());
    } else {
      const std::string_view kept = memory_output->Buffer().View();
      std::string tail = cut ? OutputLimitSuffix(kept.substr(kept.size() - std::min<std::size_t>(kept.size(), 2)),
                                                 limits_.outputLimit)
                             : std::string();
      tail += OutputBlockTail();
      AppendOutputBlock(path, head, kept, tail);
    }
  } catch (const std::exception& e) {
    // The block with the output could not be written: the output's space is given back and the
    // failure is written in its place.
    const std::string reason = e.what();
    file_output.reset();
    memory_output.reset();
    AppendFailureBlock(this, path, head, "The output of the run could not be written: " + reason, reason);
  }
}

void BackgroundJobWorker::Start(std::unique_ptr<BackgroundJobWorker> worker) {
  RunQueue& r = Runs();
  BackgroundJobWorker* const queued = worker.get();
  {
    std::lock_guard lock(r.mutex);
    if (r.closing) posix::ThrowErrno(ECANCELED, "The process is ending");
    r.queue.push_back(std::move(worker));
    ++r.pending;
    if (r.threads >= BackgroundRunSlots()) return;  // a busy thread takes it when it is free
    ++r.threads;
  }
  try {
    std::thread(TakeRuns).detach();
  } catch (...) {
    std::unique_lock lock(r.mutex);
    --r.threads;
    if (r.threads > 0) return;  // a running thread takes it
    // No thread runs at all: this run is taken back and the caller told; runs that others queued
    // meanwhile for this thread to take are reported as lost.
    std::list<std::unique_ptr<BackgroundJobWorker>> orphaned;
    orphaned.swap(r.queue);
    r.pending -= static_cast<int>(orphaned.size());
    if (r.pending == 0) r.idle.notify_all();
    lock.unlock();
    bool ours_taken_back = false;
    for (auto& w : orphaned) {
      if (w.get() == queued) {
        ours_taken_back = true;
      } else {
        ReportLostBlock(w->Fields().CommandText, "no thread could be started for the run");
      }
    }
    if (ours_taken_back) throw;
  }
}

int BackgroundJobWorker::Running() noexcept {
  RunQueue& r = Runs();
  std::lock_guard lock(r.mutex);
  return r.pending;
}

bool BackgroundJobWorker::WaitUntilIdle(std::chrono::milliseconds limit) {
  RunQueue& r = Runs();
  std::unique_lock lock(r.mutex);
  return r.idle.wait_for(lock, limit, [&] { return r.pending == 0; });
}

}  // namespace corvane
