#include "console/core/scheduler_worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "console/core/schedule_file_lock.h"
#include "posix/descriptor.h"
#include "posix/locked_append.h"
#include "console/core/schedule_parameters.h"
#include "console/core/scheduler_editor.h"

namespace corvane {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// How long a log block waits for another writer's lock before it fails: about a second.
constexpr posix::LockWait kLogLockWait =
    posix::LockWait::AtMost(std::chrono::seconds(1), std::chrono::milliseconds(10));

}  // namespace

// ---- the log file ------------------------------------------------------------------------------

std::string LogFilePath(std::string_view directory) {
  std::string path(directory);
  path += '/';
  path += kLogFileName;
  return path;
}

std::string FormatLogBlock(std::string_view dateTimeText, std::string_view scheduledJob, std::string_view result) {
  std::string block;
  block.reserve(160 + scheduledJob.size() + result.size());
  const auto line = [&block](std::string_view text) {
    block += text;
    block += kCrLf;
  };
  line(kLogStars);
  line(dateTimeText);
  block += kLogJobNamePrefix;
  line(scheduledJob);
  line(kLogRule);
  if (result == "0") {
    line(kLogHandedOverLine);
    line(kLogSeeOutputLine);
  } else {
    line(result);
  }
  line(kLogRule);
  return block;
}

void AppendLogBlock(const std::string& path, std::string_view block) {
  // Opened as the settings files are: never waits on a FIFO or a device, creates the file for
  // its owner only (its blocks name hosts and errors).
  const posix::Descriptor file =
      posix::OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, 0600, "Cannot open log file");
  // Nobody else writes while the block goes in; a holder that keeps the file locked for long
  // makes this block fail rather than stall the scheduler.
  const std::string quoted = " \"" + path + "\"";
  posix::LockedAppend(file.Get(), kLogLockWait, {"Cannot lock log file" + quoted, "Cannot read log file" + quoted},
                      [&](int fd, off_t&) { posix::WriteAll(fd, block, "Cannot write log file" + quoted); });
}

// ---- the schedule rules ------------------------------------------------------------------------

std::int32_t ReadPeriodNumber(std::string_view text) noexcept {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return -1;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1) return -1;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    return -1;
  }
  return static_cast<std::int32_t>(value);
}

std::int32_t ProtocolIndexOf(std::string_view protocolText) noexcept {
  return protocolText == "Remote Exec" ? 0 : 1;
}

NextSchedule Reschedule(std::string_view once, std::int32_t every, std::int32_t unit, const LocalDateTime& start) {
  NextSchedule next;
  if (once == "1") {
    next.deactivate = true;
    return next;
  }
  const auto park = [&next] {
    next.start = std::string(kFarFutureText);
    next.parked = true;
    return next;
  };
  if (every == -1 || unit == -1) {
    next.start = std::string(kFarFutureText);
    return next;
  }
  // A count below 1 would never move the start forward, an unknown unit would not move it at
  // all: the job would fire on every pass.
  if (every < 1 || unit < kUnitDays || unit > kUnitMonths) return park();
  try {
    LocalDateTime t;
    switch (unit) {
      case kUnitDays: t = AddDays(start, every); break;
      case kUnitHours: t = AddHours(start, every); break;
      case kUnitMinutes: t = AddMinutes(start, every); break;
      default: t = AddMonths(start, every); break;
    }
    next.start = FormatDateTimeText(t);
  } catch (const DateTimeTextError&) {
    return park();  // past the year 9999
  }
  return next;
}

// ---- the worker ----------------------------------------------------------------------------------

SchedulerWorker::SchedulerWorker(std::string directory, SchedulerHooks hooks, std::shared_ptr<const Clock> clock)
    : directory_(std::move(directory)),
      schedulePath_(SettingsFilePath(directory_, kScheduleFileName)),
      logPath_(LogFilePath(directory_)),
      hooks_(std::move(hooks)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      values_(cipher_) {
  if (!hooks_.stopRequested || !hooks_.pause) {
    throw std::invalid_argument("The scheduler worker needs its stop request and its pause");
  }
  InitStoredValueManager(cipher_);
}

bool SchedulerWorker::Stopping() const { return hooks_.stopRequested(); }

void SchedulerWorker::Pause(std::chrono::milliseconds duration) { hooks_.pause(duration); }

void SchedulerWorker::Warn(const std::string& text) {
  if (!warned_.insert(text).second) return;  // said once is enough; passes come every second
  Report(text);
}

void SchedulerWorker::Report(const std::string& text) {
  if (hooks_.warn) {
    hooks_.warn(text);
  } else {
    std::fprintf(stderr, "Corvane scheduler: %s\n", text.c_str());
  }
}

void SchedulerWorker::Run() {
  for (;;) {
    Pause(kSchedulerPause);
    if (Stopping()) return;
    if (!RunPass()) return;
    if (Stopping()) return;
  }
}

std::optional<IniFile> SchedulerWorker::ReadSchedule() {
  try {
    ScheduleFileLock lock;
    return IniFile(schedulePath_);
  } catch (const std::exception& e) {
    Warn(std::string("Cannot read the schedule file: ") + e.what());
    return std::nullopt;
  }
}

std::optional<DueJob> SchedulerWorker::Evaluate(const IniFile& copy, const std::string& name) {
  try {
    if (!copy.SectionExists(name)) return std::nullopt;
    if (values_.Read(copy, name, "active") != "1") return std::nullopt;
    DueJob due;
    due.name = name;
    due.storedStart = copy.Read(name, "start");
    const std::string start = values_.Decrypt(due.storedStart);
    due.environment = values_.Read(copy, name, "envir");
    due.once = values_.Read(copy, name, "once");
    due.every = ReadPeriodNumber(values_.Read(copy, name, "every"));
    due.unit = ReadPeriodNumber(values_.Read(copy, name, "time"));
    due.protocolIndex = ProtocolIndexOf(values_.Read(copy, name, "prot"));
    due.job = values_.Read(copy, name, "job");
    if (start.empty()) return std::nullopt;
    const std::optional<LocalDateTime> parsed = TryParseDateTimeText(start);
    if (!parsed) {
      Warn("Scheduled job \"" + name + "\" skipped: its start \"" + start + "\" is not a date and time");
      return std::nullopt;
    }
    due.start = *parsed;
    // Due only once the current time is strictly later than the start.
    if (!(clock_->Now() > due.start)) return std::nullopt;
    due.parameterValues = RunParameterValues(copy, due);
    return due;
  } catch (const std::exception& e) {
    Warn("Scheduled job \"" + name + "\" skipped: " + e.what());
    return std::nullopt;
  }
}

std::optional<std::string> SchedulerWorker::RunParameterValues(const IniFile& copy, const DueJob& due) {
  std::vector<ParameterPair> own = StoredParameterValues(copy, values_, due.name);
  if (own.empty()) return std::string();
  // The values the job uses for its other variables, read as the library reads them: the job's
  // own value, else the environment's.
  const IniFile jobs(SettingsFilePath(directory_, kJobFileName));
  const IniFile environments(SettingsFilePath(directory_, kEnvironmentFileName));
  std::vector<ParameterPair> others;
  const auto consider = [&](const std::string& key) {
    if (key.empty() || key.front() == kParameterKeyPrefix.front() || NamesEqualIgnoringCase(key, "Command"))
      return;
    for (const ParameterPair& seen : others) {
      if (NamesEqualIgnoringCase(seen.first, key)) return;
    }
    std::string value = values_.Read(jobs, due.job, key);
    if (value.empty()) value = values_.Read(environments, due.environment, key);
    others.emplace_back(key, std::move(value));
  };
  for (const std::string& key : jobs.Keys(due.job)) consider(key);
  for (const std::string& key : environments.Keys(due.environment)) consider(key);
  return ScheduledRunParameterValues(std::move(own), others);
}

std::string SchedulerWorker::RunJob(const DueJob& due) {
  if (!hooks_.run) return "No library to run the job";
  if (!due.parameterValues) return std::string(kUnpassableValuesResult);
  try {
    return hooks_.run(due.environment, due.job, due.protocolIndex, directory_, *due.parameterValues);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown failure";
  }
}

std::optional<IniFile> SchedulerWorker::Record(const DueJob& due, const std::string& result) {
  // The log block. A log that cannot be written must not keep the job due; it is reported once
  // (again only after it could be written in between), not once per run.
  try {
    AppendLogBlock(logPath_, FormatLogBlock(NowText(*clock_), due.name, result));
    logFailureReported_ = false;
  } catch (const std::exception& e) {
    if (!logFailureReported_) {
      logFailureReported_ = true;
      Report(std::string("Cannot write the log block of scheduled job \"") + due.name + "\" (the run is still " +
             "rescheduled; later blocks are not written while this lasts): " + e.what());
    }
  }

  // The next start and the time of the run.
  const NextSchedule next = Reschedule(due.once, due.every, due.unit, due.start);
  if (next.parked) {
    Warn("Scheduled job \"" + due.name + "\" has no usable period; it is parked at " +
         std::string(kFarFutureText));
  }
  const std::string last = NowText(*clock_);

  // The write-back, into the file as it is now.
  try {
    ScheduleFileLock lock;
    IniFile fresh(schedulePath_);
    if (!fresh.SectionExists(due.name)) return fresh;  // removed meanwhile: stays removed
    // A start that changed since the pass read it is the operator's new schedule: it stands.
    if (fresh.Read(due.name, "start") == due.storedStart) {
      if (next.deactivate) values_.Write(fresh, due.name, "active", "0");
      values_.Write(fresh, due.name, "start", next.start);
    }
    values_.Write(fresh, due.name, "last", last);
    fresh.WriteBack();
    return fresh;
  } catch (const std::exception& e) {
    Warn(std::string("Cannot write the schedule file: ") + e.what());
    return std::nullopt;
  }
}

bool SchedulerWorker::RunPass() {
  std::optional<IniFile> copy = ReadSchedule();
  if (!copy) return !Stopping();
  const std::vector<std::string> names = copy->Sections();
  for (const std::string& name : names) {
    if (const std::optional<DueJob> due = Evaluate(*copy, name)) {
      if (Stopping()) return false;
      const std::string result = RunJob(*due);
      if (std::optional<IniFile> written = Record(*due, result)) {
        // Later sections of this pass are judged on the file as it now is.
        copy = std::move(written);
      }
      if (!Stopping() && hooks_.reloadEditor) {
        try {
          hooks_.reloadEditor();
        } catch (const std::exception& e) {
          Warn(std::string("Reloading the scheduler editor failed: ") + e.what());
        }
      }
      Pause(kSchedulerPause);
    }
    if (Stopping()) return false;
  }
  return !Stopping();
}

}  // namespace corvane
