#include "remote/job_expansion.h"

#include <exception>
#include <memory>

#include "cipher/base/support.h"

namespace corvane {

namespace {

bool IsTrimmed(char c) noexcept { return static_cast<unsigned char>(c) <= 32; }

// Shows the busy cursor for its lifetime.
class BusyScope {
 public:
  explicit BusyScope(RunUi& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~BusyScope() { ui_.SetBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  RunUi& ui_;
};

// The job's value of a variable, else the environment's.
std::string StoredVariable(StoredJob& job, std::string_view name) {
  std::string value = job.JobValue(name);
  if (value.empty()) value = job.EnvironmentValue(name);
  return value;
}

}  // namespace

std::string JobParameterPrompt(std::string_view name) {
  std::string prompt = "Enter Value for ";
  prompt += name;
  prompt += " parameter:";
  return prompt;
}

std::string TrimControls(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string SpaceSemicolons(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == ';') {
      out += " ; ";
    } else {
      out += c;
    }
  }
  return out;
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

Expansion ExpandCommand(std::string_view stored_command, VariableLookup& lookup) {
  const std::string prepared = SpaceSemicolons(TrimControls(stored_command));
  std::string_view rest = prepared;
  std::string expansion;
  while (!rest.empty()) {
    const std::size_t open = rest.find("@\"");
    if (open == std::string_view::npos) {
      expansion += rest;
      break;
    }
    expansion += rest.substr(0, open);
    rest.remove_prefix(open + 2);
    const std::size_t close = rest.find('"');
    if (close == std::string_view::npos) {
      std::string text = "\"";
      text += kMissingQuoteText;
      text += rest;
      return {Expansion::Outcome::kUnclosedReference, std::move(text)};
    }
    const std::string name = TrimControls(rest.substr(0, close));
    rest.remove_prefix(close + 1);
    std::optional<std::string> value = lookup.Value(name);
    if (!value) return {Expansion::Outcome::kCancelled, std::string(kJobCancelledText)};
    expansion += *value;
  }
  return {Expansion::Outcome::kExpanded, TrimControls(expansion)};
}

namespace {

// The value of the pair whose name + "=" occurrence starts at `at`.
std::string ValueAt(std::string_view parameter_values, std::size_t at) {
  std::string_view value = parameter_values.substr(at);
  value.remove_prefix(value.find('=') + 1);  // the "=" after the name is there at the latest
  return std::string(value.substr(0, value.find('&')));
}

}  // namespace

std::optional<std::string> ParameterValue(std::string_view parameter_values, std::string_view name) {
  std::string key(name);
  key += '=';
  const std::size_t at = parameter_values.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  return ValueAt(parameter_values, at);
}

std::optional<std::string> ParameterIndex::Value(std::string_view name) {
  // A short text is searched directly; so is an empty name.
  constexpr std::size_t kIndexedFrom = 4096;
  if (text_.size() < kIndexedFrom || name.empty()) return ParameterValue(text_, name);
  const std::size_t length = name.size();
  auto [slot, added] = firstByLength_.try_emplace(length);
  auto& first = slot->second;
  if (added) {
    const std::string_view text = text_;
    // Ascending "=" positions give ascending starts: the first occurrence of each text is kept.
    for (std::size_t eq = text.find('=', length); eq != std::string_view::npos; eq = text.find('=', eq + 1)) {
      first.try_emplace(text.substr(eq - length, length), eq - length);
    }
  }
  const auto hit = first.find(name);
  if (hit == first.end()) return std::nullopt;
  return ValueAt(text_, hit->second);
}

RunRequest::~RunRequest() { SecureWipe(RemotePassword); }

StoredJob::StoredJob(const JobCall& call)
    : call_(call),
      environment_(SettingsFilePath(call.dataDir, kEnvironmentFileName)),
      job_(SettingsFilePath(call.dataDir, kJobFileName)) {
  InitStoredValueManager(manager_);
}

std::string StoredJob::EnvironmentValue(std::string_view key) {
  return values_.Read(environment_, call_.environmentName, key);
}

std::string StoredJob::JobValue(std::string_view key) { return values_.Read(job_, call_.jobName, key); }

CheckedJob ReadAndCheck(StoredJob& job) {
  CheckedJob checked;
  RunRequest& r = checked.request;
  const std::int32_t protocol = job.Call().protocolIndex;
  r.ProtocolIndex = protocol;
  r.DataDir = job.Call().dataDir;

  // The values in the order they are read; the first one that is required and empty ends the
  // check with its failure, and what comes after it is not read.
  struct Value {
    std::string RunRequest::*field;
    std::string (StoredJob::*read)(std::string_view key);
    std::string_view key;
    bool required;
    std::string_view failure;
  };
  const Value values[] = {
      {&RunRequest::RemoteHost, &StoredJob::EnvironmentValue, "RHost", true, kInvalidHostText},
      {&RunRequest::RemoteUser, &StoredJob::EnvironmentValue, "RLogin", true, kInvalidRemoteUserText},
      {&RunRequest::LocalUser, &StoredJob::EnvironmentValue, "LLogin", protocol == 1, kInvalidLocalUserText},
      {&RunRequest::RemotePassword, &StoredJob::EnvironmentValue, "RPwd", protocol == 0,
       kInvalidRemotePasswordText},
      {&RunRequest::CommandText, &StoredJob::JobValue, "Command", true, kMissingCommandText},
  };
  for (const Value& v : values) {
    std::string& field = r.*v.field;
    field = (job.*v.read)(v.key);
    if (field.empty() && v.required) {
      checked.failure = std::string(v.failure);
      return checked;
    }
  }
  return checked;
}

std::optional<std::string> PromptingLookup::Value(std::string_view name) {
  std::string value = StoredVariable(job_, name);
  // A missing flag key never flags the variable, so it is read with an empty default.
  std::string flag_key(1, kDisplayFlagPrefix);
  flag_key += name;
  if (job_.JobValue(flag_key) != "Y") return value;
  std::string folded = FoldName(name);
  if (const auto asked = answers_.find(folded); asked != answers_.end()) return asked->second;
  std::optional<std::string> answer = ui_.AskValue(kJobParameterCaption, JobParameterPrompt(name), value);
  if (!answer) return std::nullopt;
  answers_.emplace(std::move(folded), *answer);
  return answer;
}

std::optional<std::string> ParameterLookup::Value(std::string_view name) {
  std::string value = StoredVariable(job_, name);
  if (std::optional<std::string> given = parameters_.Value(name)) return given;
  return value;
}

bool RunRemoteCommand(const RunRequest& request, const RemotePorts& ports, const RunLimits& limits,
                      OutputSink& output) {
  if (request.ProtocolIndex == 0) {
    RexecClient client;
    client.SetPort(ports.rexec);
    client.SetStatusWait(limits.statusWait);
    client.SetUsername(request.RemoteUser);
    client.SetPassword(request.RemotePassword);
    client.SetHost(request.RemoteHost);
    return client.RunCommand(request.CommandText, output);
  }
  RshClient client;
  client.SetPort(ports.rsh);
  client.SetStatusWait(limits.statusWait);
  client.SetClientUserName(request.LocalUser);
  client.SetHostUserName(request.RemoteUser);
  client.SetHost(request.RemoteHost);
  return client.RunCommand(request.CommandText, output);
}

ResultText ExecuteJobResult(const JobCall& call, RunUi& ui, const RemotePorts& ports, const RunLimits& limits) {
  StoredJob job(call);
  CheckedJob checked = ReadAndCheck(job);
  if (checked.failure) return ResultText(*checked.failure);
  PromptingLookup lookup(job, ui);
  Expansion expansion = ExpandCommand(checked.request.CommandText, lookup);
  if (expansion.outcome != Expansion::Outcome::kExpanded) return ResultText(expansion.text);
  if (expansion.text.empty()) return ResultText(kEmptyCommandResult);
  checked.request.CommandText = std::move(expansion.text);

  BusyScope busy(ui);
  try {
    CrLfOutput output(limits.outputLimit);
    if (!RunRemoteCommand(checked.request, ports, limits, output)) {
      ResultText& kept = output.Buffer();
      const std::string_view view = kept.View();
      kept.Append(
          OutputLimitSuffix(view.substr(view.size() - std::min<std::size_t>(view.size(), 2)), limits.outputLimit));
    }
    return std::move(output.Buffer());
  } catch (const std::exception& e) {
    return ResultText(e.what());
  }
}

std::string ExecuteJob(const JobCall& call, RunUi& ui, const RemotePorts& ports, const RunLimits& limits) {
  return std::string(ExecuteJobResult(call, ui, ports, limits).View());
}

std::string StartJob(const JobCall& call, std::string parameter_values, const WorkerStarter& start) {
  StoredJob job(call);
  CheckedJob checked = ReadAndCheck(job);
  if (checked.failure) return *checked.failure;
  ParameterLookup lookup(job, std::move(parameter_values));
  Expansion expansion = ExpandCommand(checked.request.CommandText, lookup);
  if (expansion.outcome != Expansion::Outcome::kExpanded) return expansion.text;
  checked.request.CommandText = std::move(expansion.text);
  start(std::move(checked.request));
  return std::string(kWorkerStartedResult);
}

}  // namespace corvane
