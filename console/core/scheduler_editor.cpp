#include "console/core/scheduler_editor.h"

#include <algorithm>
#include <stdexcept>

#include "console/core/schedule_file_lock.h"
#include "console/core/scheduler_worker.h"

namespace corvane {
namespace {

bool StartsWithParameterPrefix(std::string_view key) noexcept {
  return !key.empty() && key.front() == kParameterKeyPrefix.front();
}

std::string ParameterKey(std::string_view parameter) {
  std::string key(kParameterKeyPrefix);
  key += parameter;
  return key;
}

// The count field read as an integer, 0 when it is none.
std::int64_t CountValue(std::string_view text) noexcept {
  const std::int32_t n = ReadPeriodNumber(text);
  if (n == -1 && text != "-1") return 0;
  return n;
}

}  // namespace

void EnteredValues::Enter(std::string_view parameter, std::string value) {
  for (auto& [name, text] : items_) {
    if (name == parameter) {
      text = std::move(value);
      return;
    }
  }
  items_.emplace_back(std::string(parameter), std::move(value));
}

const std::string* EnteredValues::Find(std::string_view parameter) const {
  for (const auto& [name, text] : items_) {
    if (name == parameter) return &text;
  }
  return nullptr;
}

const std::string* LoadedKeys::Find(std::string_view key) const {
  for (const auto& [name, text] : values) {
    if (name == key) return &text;
  }
  return nullptr;
}

LoadedKeys ReadLoadedKeys(const IniFile& file, const StoredValues& values, std::string_view section) {
  LoadedKeys loaded;
  loaded.section = std::string(section);
  for (const char* key : {"active", "once", "start", "every", "time", "job", "envir", "prot"}) {
    if (!file.KeyExists(section, key)) continue;
    try {
      loaded.values.emplace_back(key, values.Read(file, section, key));
    } catch (const std::exception&) {
      // Not readable: left out, so a save writes what the screen holds.
    }
  }
  return loaded;
}

namespace {

// The scheduled run passes the stored values to the job in one text; a save that would store
// values it cannot pass is refused while the operator can still correct them.
void RefuseUnpassableValues(const IniFile& file, const StoredValues& values, std::string_view section,
                            const ScheduleFields& fields, const EnteredValues& entered) {
  std::vector<ParameterPair> pairs = StoredParameterValues(file, values, section);
  // A value stored before values were checked is left to the scheduled run to report.
  std::erase_if(pairs, [](const ParameterPair& pair) { return ParameterValueProblem(pair.second).has_value(); });
  const auto put = [&pairs](const std::string& name, const std::string& value) {
    if (value.empty()) return;  // not written: the stored one stays
    if (const std::optional<std::string_view> problem = ParameterValueProblem(value)) {
      throw std::invalid_argument(std::string(*problem));
    }
    const auto same = std::find_if(pairs.begin(), pairs.end(), [&name](const ParameterPair& pair) {
      return NamesEqualIgnoringCase(pair.first, name);
    });
    if (same != pairs.end()) {
      same->second = value;
    } else {
      pairs.emplace_back(name, value);
    }
  };
  for (const auto& [parameter, value] : entered.Items()) put(parameter, value);
  put(fields.parameter, fields.value);
  if (!JoinParameterValues(std::move(pairs))) throw std::invalid_argument(std::string(kValuesCannotBeOrdered));
}

}  // namespace

void WriteScheduledJob(IniFile& file, const StoredValues& values, std::string_view section,
                       const ScheduleFields& fields, const EnteredValues& entered, NameOrder order,
                       const LoadedKeys* loaded) {
  if (loaded != nullptr && loaded->section != section) loaded = nullptr;
  RefuseUnpassableValues(file, values, section, fields, entered);
  const auto write = [&](std::string_view key, std::string_view text) {
    if (loaded != nullptr && file.KeyExists(section, key)) {
      const std::string* found = loaded->Find(key);
      if (found != nullptr && *found == text) return;  // unchanged on screen: the file's stays
    }
    values.Write(file, section, key, text);
  };
  write("active", fields.active ? "1" : "0");
  write("once", fields.once ? "1" : "0");
  write("start", fields.start);
  write("every", fields.every);
  write("time", std::to_string(fields.unit));
  if (order == NameOrder::JobEnvironmentProtocol) {
    write("job", fields.job);
    write("envir", fields.environment);
    write("prot", fields.protocol);
  } else {
    write("prot", fields.protocol);
    write("envir", fields.environment);
    write("job", fields.job);
  }
  for (const auto& [parameter, value] : entered.Items()) {
    if (!value.empty()) values.Write(file, section, ParameterKey(parameter), value);
  }
  if (!fields.value.empty()) values.Write(file, section, ParameterKey(fields.parameter), fields.value);
}

LoadedSchedule ReadScheduledJob(const IniFile& file, const StoredValues& values, std::string_view section) {
  LoadedSchedule loaded;
  loaded.job = values.Read(file, section, "job");
  loaded.environment = values.Read(file, section, "envir");
  loaded.protocol =
      file.KeyExists(section, "prot") ? values.Read(file, section, "prot") : std::string(kDefaultProtocol);
  loaded.start = values.Read(file, section, "start");
  loaded.once = values.Read(file, section, "once") != "0";
  if (!loaded.once) {
    loaded.every = values.Read(file, section, "every");
    const std::string time = values.Read(file, section, "time");
    if (!time.empty()) {
      loaded.unit = ReadPeriodNumber(time);
      if (loaded.unit == -1 && time != "-1") {
        throw std::invalid_argument("'" + time + "' is not a valid integer value");
      }
    }
  }
  loaded.active = values.Read(file, section, "active") == "1";
  loaded.last = values.Read(file, section, "last");
  return loaded;
}

std::optional<std::string_view> FirstFailingActiveCheck(const ScheduleFields& fields) {
  if (fields.job.empty()) return kSelectJobMessage;
  if (fields.environment.empty()) return kSelectEnvironmentMessage;
  if (fields.start.empty()) return kSelectStartMessage;
  if (!fields.once) {
    if (CountValue(fields.every) <= 0) return kSelectFrequencyMessage;
    if (fields.unit < 0) return kSelectPeriodMessage;
  }
  return std::nullopt;
}

std::vector<std::string> JobParameters(const IniFile& jobs, std::string_view job) {
  std::vector<std::string> parameters;
  if (job.empty()) return parameters;
  for (std::string& key : jobs.Keys(job)) {
    if (NamesEqualIgnoringCase(key, "Command") || StartsWithParameterPrefix(key)) continue;
    parameters.push_back(std::move(key));
  }
  return parameters;
}

std::vector<ParameterPair> StoredParameterValues(const IniFile& schedule, const StoredValues& values,
                                                 std::string_view section) {
  std::vector<ParameterPair> pairs;
  for (const std::string& key : schedule.Keys(section)) {
    if (!StartsWithParameterPrefix(key)) continue;
    std::string value = values.Read(schedule, section, key);
    if (!value.empty()) pairs.emplace_back(key.substr(kParameterKeyPrefix.size()), std::move(value));
  }
  return pairs;
}

std::string StoredParameterValue(const IniFile& schedule, const StoredValues& values, std::string_view section,
                                 std::string_view parameter) {
  return values.Read(schedule, section, ParameterKey(parameter));
}

IniFile ReadScheduleFile(const std::string& path) {
  ScheduleFileLock lock;
  return IniFile(path);
}

IniFile SaveScheduleFile(const std::string& path, const StoredValues& values, std::string_view section,
                         const ScheduleFields& fields, const EnteredValues& entered, NameOrder order,
                         bool writeAlways, const LoadedKeys* loaded) {
  ScheduleFileLock lock;
  IniFile file(path);
  if (!section.empty()) WriteScheduledJob(file, values, section, fields, entered, order, loaded);
  if (!section.empty() || writeAlways) file.WriteBack();
  return file;
}

IniFile RemoveScheduledJob(const std::string& path, std::string_view section) {
  ScheduleFileLock lock;
  IniFile file(path);
  file.EraseSection(section);
  file.WriteBack();
  return file;
}

IniFile DeleteParameterValues(const std::string& path, std::string_view section) {
  ScheduleFileLock lock;
  IniFile file(path);
  for (const std::string& key : file.Keys(section)) {
    if (StartsWithParameterPrefix(key)) file.DeleteKey(section, key);
  }
  file.WriteBack();
  return file;
}

void SchedulerEditor::Unload() {
  loaded_ = false;
  scheduledJobNames_.clear();
  ShowNone();
}

void SchedulerEditor::Load() {
  schedule_ = ReadScheduleFile(schedulePath_);
  jobs_ = IniFile(jobPath_);
  environments_ = IniFile(environmentPath_);
  scheduledJobNames_ = SortedNames(schedule_.Sections());
  loaded_ = true;
}

void SchedulerEditor::ShowNone() {
  currentParameter_.clear();
  currentSchedule_.clear();
  loadedKeys_ = LoadedKeys();
  scheduleJobName_.clear();
  entered_.Clear();
}

void SchedulerEditor::Choose(const ScheduleFields& fields, std::string chosen) {
  schedule_ = SaveScheduleFile(schedulePath_, values_, currentSchedule_, fields, entered_,
                               NameOrder::JobEnvironmentProtocol, false, &loadedKeys_);
  currentSchedule_ = std::move(chosen);
  currentParameter_.clear();
  entered_.Clear();
}

LoadedSchedule SchedulerEditor::LoadCurrent() {
  LoadedSchedule loaded = ReadScheduledJob(schedule_, values_, currentSchedule_);
  loadedKeys_ = ReadLoadedKeys(schedule_, values_, currentSchedule_);
  return loaded;
}

std::vector<std::string> SchedulerEditor::ChooseJob(const std::string& job) {
  // Another job: the parameter values of the old one are gone at once.
  if (!scheduleJobName_.empty() && scheduleJobName_ != job) {
    schedule_ = DeleteParameterValues(schedulePath_, currentSchedule_);
    entered_.Clear();
    currentParameter_.clear();
  }
  std::vector<std::string> parameters = JobParameters(jobs_, job);
  scheduleJobName_ = job;
  return parameters;
}

std::optional<std::string_view> SchedulerEditor::EnterValue(std::string value) {
  if (const std::optional<std::string_view> problem = ParameterValueProblem(value)) return problem;
  entered_.Enter(currentParameter_, std::move(value));
  return std::nullopt;
}

std::string SchedulerEditor::ChooseParameter(std::string parameter) {
  currentParameter_ = std::move(parameter);
  if (const std::string* value = entered_.Find(currentParameter_)) return *value;
  return StoredParameterValue(schedule_, values_, currentSchedule_, currentParameter_);
}

std::optional<std::string> SchedulerEditor::NewScheduledJob() {
  const std::optional<TypedName> typed = dialogs_.AskName(kNewScheduledJobCaption, kNewScheduledJobPrompt);
  if (!typed) return std::nullopt;
  if (!typed->latin1) {
    dialogs_.Message(kNameNotLatin1);
    return std::nullopt;
  }
  if (NameListed(scheduledJobNames_, typed->bytes)) {
    dialogs_.Message(kNameExistsMessage);
    return std::nullopt;
  }
  if (typed->bytes.empty()) return std::nullopt;
  if (const std::optional<std::string> problem = SectionNameProblem(*typed)) {
    dialogs_.Message(*problem);
    return std::nullopt;
  }
  InsertSorted(scheduledJobNames_, typed->bytes);
  return typed->bytes;
}

void SchedulerEditor::Remove(std::string_view scheduledJob) {
  schedule_ = RemoveScheduledJob(schedulePath_, scheduledJob);
  scheduledJobNames_ = SortedNames(schedule_.Sections());
}

void SchedulerEditor::Close(const ScheduleFields& fields) {
  schedule_ = SaveScheduleFile(schedulePath_, values_, currentSchedule_, fields, entered_,
                               NameOrder::ProtocolEnvironmentJob, true, &loadedKeys_);
}

}  // namespace corvane
