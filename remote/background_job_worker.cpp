#include "remote/background_job_worker.h"

#include <unistd.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "remote/output_file.h"
#include "remote/output_sink.h"
#include <optional>

namespace corvane {

namespace {

// The count of running workers. Never destroyed: workers may outlive the exit handlers.
struct WorkerCount {
  std::mutex mutex;
  std::condition_variable idle;
  int running = 0;
};

WorkerCount& Workers() {
  // In static storage and never destroyed: no heap block that a leak checker could see orphaned
  // once the library is unloaded.
  alignas(WorkerCount) static unsigned char storage[sizeof(WorkerCount)];
  static WorkerCount* const count = new (storage) WorkerCount;
  return *count;
}

void ChangeRunning(int delta) {
  WorkerCount& w = Workers();
  std::lock_guard lock(w.mutex);
  w.running += delta;
  if (w.running == 0) w.idle.notify_all();
}

void ReportLostBlock(const char* reason) noexcept {
  std::string line = "CorvaneDll: the output block was not written: ";
  line += reason;
  line += '\n';
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

BackgroundJobWorker::BackgroundJobWorker(RunRequest fields, RemotePorts ports, std::shared_ptr<const Clock> clock,
                                         RunLimits limits)
    : fields_(std::move(fields)), ports_(ports), clock_(std::move(clock)), limits_(limits) {}

void BackgroundJobWorker::Execute() noexcept {
  if (fields_.CommandText.empty()) return;
  try {
    const std::string date_time = clock_ ? NowText(*clock_) : NowText(SystemClock());
    const std::string head = FormatOutputBlockHead(date_time, fields_.CommandText, fields_.RemoteHost);
    const std::string path = OutputFilePath(fields_.DataDir);
    // A failure of the run (or of its temporary file) becomes the block's result.
    std::optional<CrLfFileOutput> output;
    std::optional<std::string> failure;
    bool cut = false;
    try {
      output.emplace(fields_.DataDir, limits_.output_limit);
      cut = !RunRemoteCommand(fields_, ports_, limits_, *output);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (!failure) {
      if (cut) output->Append(OutputLimitSuffix(output->End(), limits_.output_limit));
      AppendOutputBlock(path, head, output->Descriptor(), output->Size(), OutputBlockTail());
      return;
    }
    AppendOutputBlock(path, head + *failure + OutputBlockTail());
  } catch (const std::exception& e) {
    ReportLostBlock(e.what());
  } catch (...) {
    ReportLostBlock("unknown failure");
  }
}

void BackgroundJobWorker::Start(std::unique_ptr<BackgroundJobWorker> worker) {
  ChangeRunning(+1);
  try {
    std::thread([owned = std::move(worker)]() mutable {
      owned->Execute();
      owned.reset();
      ChangeRunning(-1);
    }).detach();
  } catch (...) {
    ChangeRunning(-1);
    throw;
  }
}

int BackgroundJobWorker::Running() noexcept {
  WorkerCount& w = Workers();
  std::lock_guard lock(w.mutex);
  return w.running;
}

bool BackgroundJobWorker::WaitUntilIdle(std::chrono::milliseconds limit) {
  WorkerCount& w = Workers();
  std::unique_lock lock(w.mutex);
  return w.idle.wait_for(lock, limit, [&] { return w.running == 0; });
}

}  // namespace corvane
