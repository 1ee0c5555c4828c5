// The scheduler worker: runs the due scheduled jobs of the schedule file on its own, appends one
// block per run to the log file, moves each job to its next start (or switches a run-once job
// off), records the time of the run and writes the schedule file back.
//
// The core (SchedulerWorker) knows nothing of windows or threads: everything it needs from around
// it (the library call, the stop request, the pause, the editor's reload, a clock, a place for
// warnings) comes in through SchedulerHooks, so it runs the same on the scheduler thread and in a test.
//
// Soundness rules kept here:
//   - every read-modify-write of the schedule file holds the ScheduleFileLock; the write-back
//     after a run re-reads the file, writes only `start`, `active` and `last`, never brings back a
//     scheduled job the operator removed meanwhile, and leaves `start` and `active` alone when the
//     operator changed `start` meanwhile (the operator's new schedule wins);
//   - no lock is held across the library call, the log write or the editor's reload;
//   - a section that cannot be read (bad stored text, a start that is no date-time text) is
//     skipped with a warning; the other sections run as usual;
//   - a recurring job without a usable period (count below 1, unknown unit, or a step past the
//     year 9999) is parked at the far-future start instead of firing on every pass;
//   - a log block that cannot be written is reported (once, until a block is written again) and
//     the job is still rescheduled.
// The worker has a cipher manager of its own; it never shares the GUI thread's.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "cipher/base/managers.h"
#include "settings/date_time_text.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {

// ---- the log file ------------------------------------------------------------------------------

inline constexpr std::string_view kLogFileName = "log.txt";
inline constexpr std::string_view kLogStars = "*************************************";
inline constexpr std::string_view kLogRule = "-------------------------------------";
inline constexpr std::string_view kLogJobNamePrefix = "Schedule Job Name: ";
inline constexpr std::string_view kLogHandedOverLine = "Job Start Successfully.";
inline constexpr std::string_view kLogSeeOutputLine = "View Job log in Output file";

// `directory` + "/log.txt".
std::string LogFilePath(std::string_view directory);

// One block of the log file, CR LF after every line: 37 "*", the date-time text, the job line,
// 37 "-", the two hand-over lines when the result is exactly "0" (else the result unchanged),
// 37 "-".
std::string FormatLogBlock(std::string_view dateTimeText, std::string_view scheduledJob, std::string_view result);

// Appends `block` at the end of the file, holding an exclusive lock on it while writing. The file
// is opened as the settings files are: only a regular file (a link to one is followed), without
// waiting (a FIFO or a device is refused at once), created with mode 0600 when missing. A block
// is written whole or not at all. Throws std::system_error when the file cannot be opened,
// locked or written.
void AppendLogBlock(const std::string& path, std::string_view block);

// ---- the schedule rules ------------------------------------------------------------------------

// Period units as stored in `time`.
inline constexpr std::int32_t kUnitDays = 0;
inline constexpr std::int32_t kUnitHours = 1;
inline constexpr std::int32_t kUnitMinutes = 2;
inline constexpr std::int32_t kUnitMonths = 3;

// The decimal integer in `text` (an optional sign and digits, within 32 bits); -1 otherwise,
// the empty text included.
std::int32_t ReadPeriodNumber(std::string_view text) noexcept;

// 0 (rexec) when the text is exactly "Remote Exec", else 1 (rsh).
std::int32_t ProtocolIndexOf(std::string_view protocolText) noexcept;

// What a run leaves in the schedule file for the next time.
struct NextSchedule {
  bool deactivate = false;  // run once: `active` becomes "0"
  std::string start;        // the new `start` (plain text)
  bool parked = false;      // no usable period: parked at the far-future start
};

// The next start after a run that was due at `start`:
//   once exactly "1"           -> deactivate, empty start;
//   every or unit is -1        -> the far-future start;
//   every below 1, unit not 0..3, or a step past 9999 -> parked at the far-future start;
//   otherwise                  -> start plus every days / hours / minutes / calendar months
//                                 (months clamp the day to the target month's last day).
NextSchedule Reschedule(std::string_view once, std::int32_t every, std::int32_t unit, const LocalDateTime& start);

// The values of one scheduled job that is due.
struct DueJob {
  std::string name;         // section name
  std::string storedStart;  // `start` as stored, to notice an operator's change
  LocalDateTime start;
  std::string environment;
  std::string job;
  std::string once;
  std::int32_t every = -1;
  std::int32_t unit = -1;
  std::int32_t protocolIndex = 1;
  // The scheduled job's own parameter values as executeA's ParameterValues (with the job's own
  // value for any other variable they would otherwise shadow); nothing when they cannot be
  // passed (the run is then not made: kUnpassableValuesResult is logged instead).
  std::optional<std::string> parameterValues;
};

// What the log block says for a scheduled job whose stored parameter values cannot be passed to
// the job (a value holding "&", or values that hold each other's names followed by "="): the job
// is not run, as it would run with other values than those shown in the scheduler editor.
inline constexpr std::string_view kUnpassableValuesResult =
    "Not run: the parameter values of this scheduled job cannot be passed to the job (a value holds "
    "\"&\", or values hold each other's names followed by \"=\")";

// ---- the worker ----------------------------------------------------------------------------------

inline constexpr std::chrono::milliseconds kSchedulerPause{1000};

struct SchedulerHooks {
  // executeA(environment, job, protocol index, directory, parameter values) and its release: the
  // result text. The parameter values are the scheduled job's own, as "name=value" pairs joined
  // by "&" (schedule_parameters.h). An exception counts as a failed run whose result is the
  // exception's message.
  std::function<std::string(const std::string& environment, const std::string& job, std::int32_t protocolIndex,
                            const std::string& directory, const std::string& parameterValues)>
      run;
  // The worker's stop request. Required.
  std::function<bool()> stopRequested;
  // Waits the given time, returning early once the stop request is set (the scheduler thread
  // waits on its stop signal: no wake-ups in between). Required.
  std::function<void(std::chrono::milliseconds)> pause;
  // Makes an open scheduler editor reload from disk (a synchronised call); never called once the
  // stop request is set. May be empty.
  std::function<void()> reloadEditor;
  // A problem the worker went past (each distinct text once; a log that cannot be written once
  // until it can be again). Empty: standard error.
  std::function<void(const std::string&)> warn;
};

class SchedulerWorker {
 public:
  // `directory` holds the schedule file and the log file and is the library's DataDir. The
  // clock is shared with the caller (a test advances it); none means the system clock. Throws
  // std::invalid_argument when a required hook is missing.
  SchedulerWorker(std::string directory, SchedulerHooks hooks, std::shared_ptr<const Clock> clock = nullptr);

  // The loop: pause, one pass, again, until the stop request is seen.
  void Run();

  // One pass over the schedule file (read, then every due job in file order). Answers false
  // when it saw the stop request.
  bool RunPass();

  const std::string& SchedulePath() const { return schedulePath_; }
  const std::string& LogPath() const { return logPath_; }

 private:
  bool Stopping() const;
  void Pause(std::chrono::milliseconds duration);
  void Warn(const std::string& text);    // once per distinct text
  void Report(const std::string& text);  // every time
  std::optional<IniFile> ReadSchedule();
  std::optional<DueJob> Evaluate(const IniFile& copy, const std::string& name);
  // executeA's ParameterValues for the due job (schedule_parameters.h), or nothing when its
  // values cannot be passed.
  std::optional<std::string> RunParameterValues(const IniFile& copy, const DueJob& due);
  std::string RunJob(const DueJob& due);
  // Log block, reschedule, write-back; answers the file as written (or nothing).
  std::optional<IniFile> Record(const DueJob& due, const std::string& result);

  std::string directory_;
  std::string schedulePath_;
  std::string logPath_;
  SchedulerHooks hooks_;
  std::shared_ptr<const Clock> clock_;
  TCipherManager cipher_;
  StoredValues values_;
  std::set<std::string> warned_;
  bool logFailureReported_ = false;
};

}  // namespace corvane
