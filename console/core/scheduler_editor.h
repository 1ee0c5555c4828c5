// What the scheduler editor knows without its window: the texts it shows, the order in which it
// saves a scheduled job, how it loads one, the checks before a scheduled job may be active, the
// parameter values entered since the last save, and the changes it makes to the schedule file.
//
// Every change to the schedule file is a read-modify-write under the ScheduleFileLock: the file
// is read afresh, changed and written back while the lock is held, and the fresh copy is handed
// back. None of these functions shows anything, so no window is ever open while the lock is held.
//
// Names and values are 8-bit bytes; parameter value keys are "\xA7" + the parameter's name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cipher/base/managers.h"
#include "console/core/name_rules.h"
#include "console/core/schedule_parameters.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {

// ---- texts ---------------------------------------------------------------------------------------

inline constexpr char kSchedulerCaption[] = "Corvane 2.0 - Scheduler";
inline constexpr std::string_view kProtocolItems[] = {"Remote Exec", "Remote Shell"};
inline constexpr std::string_view kPeriodUnitItems[] = {"Day(s)", "Hour(s)", "Minute(s)", "Month(s)"};
// What a scheduled job without a `prot` key shows.
inline constexpr std::string_view kDefaultProtocol = "Remote Exec";
inline constexpr std::string_view kParameterKeyPrefix = "\xA7";

inline constexpr char kSelectScheduledJobMessage[] = "Please Select a Valid Scheduled Job Name";
inline constexpr char kSelectJobMessage[] = "Select a Job Name";
inline constexpr char kSelectEnvironmentMessage[] = "Select a Environment Name";
inline constexpr char kSelectStartMessage[] = "Select a Start Date";
inline constexpr char kSelectFrequencyMessage[] = "Select a greater Frequency than 0";
inline constexpr char kSelectPeriodMessage[] = "Select a Period";
inline constexpr char kNameExistsMessage[] = "This name already exists";
inline constexpr char kNewScheduledJobCaption[] = "New Scheduled Job";
inline constexpr char kNewScheduledJobPrompt[] = "Please enter the new Scheduled Job name";

// ---- what a save takes ---------------------------------------------------------------------------

// The fields of the shown scheduled job as they stand on screen.
struct ScheduleFields {
  bool active = false;      // "Active"
  bool once = true;         // "Run Once"
  std::string start;        // start date-time text
  std::string every = "1";  // the count field's text
  std::int32_t unit = -1;   // period unit item index, -1 none
  std::string job;          // selected job ("" none)
  std::string environment;  // selected environment ("" none)
  std::string protocol;     // selected protocol text ("" none)
  std::string parameter;    // the parameter list's text ("" none)
  std::string value;        // the value field's text
};

// Which order the three names take in a save.
enum class NameOrder {
  JobEnvironmentProtocol,  // save on selecting another scheduled job or changing the unit
  ProtocolEnvironmentJob,  // save on closing
};

// Parameter values entered since the last save, in the order first entered.
class EnteredValues {
 public:
  void Enter(std::string_view parameter, std::string value);
  const std::string* Find(std::string_view parameter) const;
  void Clear() { items_.clear(); }
  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

// What the schedule file held for a scheduled job when the editor loaded it: the plain text of
// each key a save writes (active, once, start, every, time, job, envir, prot) that was there and
// could be read. The scheduler worker rewrites start, active and last of a job after its run,
// also while the editor shows that job; a save leaves a key as the worker wrote it unless the
// screen holds something else than the load found there.
struct LoadedKeys {
  std::string section;
  std::vector<std::pair<std::string, std::string>> values;

  const std::string* Find(std::string_view key) const;
};

// The keys of `section` as the file holds them now.
LoadedKeys ReadLoadedKeys(const IniFile& file, const StoredValues& values, std::string_view section);

// Writes the scheduled job into `section`: active, once, start, every, time, the three names in
// `order`, every entered value, then the shown value under "\xA7" + the shown parameter. Empty
// parameter values are not written (the stored one stays). Throws std::invalid_argument, before
// anything is written, when an entered or shown value holds "&" or when the scheduled job's values
// together could not be passed to the job (schedule_parameters.h). With `loaded` (for the same section),
// a key that the file holds and whose text on screen equals what the load found is left as the
// file holds it: what the operator did not change never overwrites what was written meanwhile.
void WriteScheduledJob(IniFile& file, const StoredValues& values, std::string_view section,
                       const ScheduleFields& fields, const EnteredValues& entered, NameOrder order,
                       const LoadedKeys* loaded = nullptr);

// ---- what a load reads ---------------------------------------------------------------------------

struct LoadedSchedule {
  std::string job;
  std::string environment;
  std::string protocol;  // kDefaultProtocol when the key is missing
  std::string start;
  bool once = true;        // `once` other than "0"
  std::string every;       // recurring only
  std::int32_t unit = -1;  // recurring only; -1 for a missing or empty `time` and for -1
  bool active = false;     // `active` exactly "1"
  std::string last;
};

// Reads one scheduled job. Throws EStringFormat for a value that is not stored text and
// std::invalid_argument ("'<text>' is not a valid integer value") for a recurring job whose
// `time` is neither empty nor a decimal integer.
LoadedSchedule ReadScheduledJob(const IniFile& file, const StoredValues& values, std::string_view section);

// ---- the Active checks -----------------------------------------------------------------------------

// The message of the first failing check, in this order: a job is selected, an environment is
// selected, a start is given, and only when Run Once is off: the count read as an integer (0
// when it is none) is above 0, a unit is selected. Nothing when all pass.
std::optional<std::string_view> FirstFailingActiveCheck(const ScheduleFields& fields);

// ---- lists -------------------------------------------------------------------------------------------

// The parameters of a job: its keys less `Command` and less every key starting with "\xA7".
std::vector<std::string> JobParameters(const IniFile& jobs, std::string_view job);
// The parameter values stored for the scheduled job: each "\xA7" key with a value that is not
// empty, by the name after the "\xA7", in file order.
std::vector<ParameterPair> StoredParameterValues(const IniFile& schedule, const StoredValues& values,
                                                 std::string_view section);
// The stored value of a parameter of the scheduled job (empty when missing).
std::string StoredParameterValue(const IniFile& schedule, const StoredValues& values, std::string_view section,
                                 std::string_view parameter);

// ---- changes to the schedule file (each under the ScheduleFileLock) ---------------------------------

// Reads the file.
IniFile ReadScheduleFile(const std::string& path);
// Saves the shown scheduled job into `section` of a fresh read of the file (as WriteScheduledJob,
// over what `loaded` found at the load) and writes the file back. With an empty section nothing
// is saved, and the file is written back only when `writeAlways` is set.
IniFile SaveScheduleFile(const std::string& path, const StoredValues& values, std::string_view section,
                         const ScheduleFields& fields, const EnteredValues& entered, NameOrder order,
                         bool writeAlways, const LoadedKeys* loaded = nullptr);
// Removes the scheduled job and writes the file back.
IniFile RemoveScheduledJob(const std::string& path, std::string_view section);
// Deletes every parameter value key of the scheduled job and writes the file back.
IniFile DeleteParameterValues(const std::string& path, std::string_view section);

// ---- the editor -------------------------------------------------------------------------------------

// What the scheduler editor window shows and does, without the window: its copies of the
// schedule, job and environment files, the scheduled job shown and its job, the parameter shown,
// the parameter values entered since the last save and what the last load found (which a save
// merges over). The window reads the fields it shows into ScheduleFields, hands them to the
// handler and shows what the editor holds afterwards; which control shows what, and the order in
// which the check boxes' handlers run, stay the window's.
//
// A handler that throws (a file that cannot be read or written, a value the job cannot be
// passed) leaves the editor as it was before the handler, except where it says otherwise.
class SchedulerEditor {
 public:
  // The three files by their byte paths; `cipher` (prepared for stored values) and `dialogs` are
  // borrowed.
  SchedulerEditor(TCipherManager& cipher, EditorDialogs& dialogs, std::string schedulePath, std::string jobPath,
                  std::string environmentPath)
      : values_(cipher),
        dialogs_(dialogs),
        schedulePath_(std::move(schedulePath)),
        jobPath_(std::move(jobPath)),
        environmentPath_(std::move(environmentPath)) {}

  // ---- state as the window shows it -------------------------------------------------------
  const std::string& SchedulePath() const noexcept { return schedulePath_; }
  const std::string& CurrentSchedule() const noexcept { return currentSchedule_; }
  const std::string& ScheduleJobName() const noexcept { return scheduleJobName_; }
  const std::string& CurrentParameter() const noexcept { return currentParameter_; }
  const EnteredValues& Entered() const noexcept { return entered_; }
  // The section names of the copies, in file order.
  std::vector<std::string> ScheduledJobs() const { return schedule_.Sections(); }
  std::vector<std::string> Jobs() const { return jobs_.Sections(); }
  std::vector<std::string> Environments() const { return environments_.Sections(); }
  // The scheduled jobs the window lists, sorted without regard to letter case: the file's at the
  // show and after a Remove, and those taken by New since.
  const std::vector<std::string>& ScheduledJobNames() const noexcept { return scheduledJobNames_; }
  // Whether the last show read all three files.
  bool Loaded() const noexcept { return loaded_; }
  // Whether closing writes the schedule file back: the show read the files, or a scheduled job
  // was chosen since.
  bool SavesOnClose() const noexcept { return loaded_ || !currentSchedule_.empty(); }

  // ---- handlers ----------------------------------------------------------------------------
  // Window shown: nothing is shown and nothing is loaded any more (so that nothing of the last
  // show stays current when a file cannot be read).
  void Unload();
  // Then fresh copies of the three files. Throws when one cannot be read (the editor then stays
  // unloaded).
  void Load();
  // No scheduled job shown: no current scheduled job, job, parameter, entered value or loaded
  // keys.
  void ShowNone();
  // Another scheduled job chosen (also: the unit changed, New, a reload): the shown one is saved
  // with `fields` into a fresh copy of the file, then `chosen` is current with no parameter and
  // no value entered. A failed save leaves the shown one current.
  void Choose(const ScheduleFields& fields, std::string chosen);
  // The current scheduled job as the copy holds it; what a save later merges over is taken at
  // the same time. Throws when it cannot be read (the window then shows none).
  LoadedSchedule LoadCurrent();
  // The job the load selected in the job list (none when the file names no listed job).
  void TakeLoadedJob(std::string job) { scheduleJobName_ = std::move(job); }
  // A job chosen: another job than the one the scheduled job had drops the old job's parameter
  // values from the file (and the entered ones). Answers the chosen job's parameters.
  std::vector<std::string> ChooseJob(const std::string& job);
  // The value field's text for the parameter shown, before another parameter is chosen: answers
  // why it cannot be passed to the job (nothing entered then), or enters it and answers nothing.
  std::optional<std::string_view> EnterValue(std::string value);
  // A parameter chosen: it is current; answers its value, as entered or as the file holds it.
  std::string ChooseParameter(std::string parameter);
  // "New": asks for the name. A name with a character outside Latin-1, one listed already (letter
  // case ignored, as the file reads it back) or one the file cannot hold is refused with a
  // message; an empty name or a cancel does nothing. A taken name goes into ScheduledJobNames()
  // at its sorted place and is answered; the window then chooses it, which saves the one shown.
  std::optional<std::string> NewScheduledJob();
  // "Remove": the scheduled job leaves the file.
  void Remove(std::string_view scheduledJob);
  // The scheduler worker rewrote the file: the shown scheduled job is no longer current, so that
  // choosing it again loads it afresh without saving over what the worker wrote.
  void ForgetCurrent() { currentSchedule_.clear(); }
  // Window closing: the shown scheduled job is saved with `fields` and the file written back.
  void Close(const ScheduleFields& fields);

 private:
  StoredValues values_;
  EditorDialogs& dialogs_;
  std::string schedulePath_;
  std::string jobPath_;
  std::string environmentPath_;
  IniFile schedule_;
  IniFile jobs_;
  IniFile environments_;
  std::vector<std::string> scheduledJobNames_;
  std::string currentSchedule_;
  std::string scheduleJobName_;
  std::string currentParameter_;
  EnteredValues entered_;
  LoadedKeys loadedKeys_;  // what the file held for the current scheduled job at its load
  bool loaded_ = false;
};

}  // namespace corvane
