#include "console/core/job_editor.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr std::string_view kFlagSet = "Y";
constexpr std::string_view kFlagClear = "N";

// Blanks as the command editor strips them: every byte up to and including the space.
std::string_view TrimBlanks(std::string_view line) noexcept {
  std::size_t begin = 0;
  std::size_t end = line.size();
  while (begin < end && static_cast<unsigned char>(line[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(line[end - 1]) <= 0x20) --end;
  return line.substr(begin, end - begin);
}

bool IsCommandName(std::string_view name) {
  std::string upper(StrippedName(name));
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; });
  return upper == "COMMAND";
}

}  // namespace

std::string DisplayFlagKey(std::string_view variable) {
  std::string key(1, kFlagKeyPrefix);
  key.append(variable);
  return key;
}

std::vector<std::string> JobVariables(const IniFile& file, std::string_view job) {
  std::vector<std::string> variables;
  for (std::string& key : file.Keys(job)) {
    if (NamesEqualIgnoringCase(key, kCommandKey)) continue;
    if (!key.empty() && key.front() == kFlagKeyPrefix) continue;
    variables.push_back(std::move(key));
  }
  return variables;
}

std::vector<std::string> CommandLines(std::string_view command) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= command.size(); ++i) {
    if (i < command.size() && command[i] != ';' && command[i] != '\r' && command[i] != '\n') continue;
    if (i > start) lines.emplace_back(command.substr(start, i - start));
    start = i + 1;
  }
  return lines;
}

std::string JoinCommandLines(const std::vector<std::string>& lines) {
  std::string command;
  for (const std::string& line : lines) {
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty()) continue;
    command.append(trimmed);
    command += ';';
  }
  return command;
}

// ---- the job editor ------------------------------------------------------------------------------

void JobEditor::ResetSelection() {
  variables_.clear();
  currentJob_.reset();
  currentJobVariable_.reset();
  command_.clear();
  value_.clear();
  display_ = false;
}

void JobEditor::Load(const std::string& path) {
  loaded_ = false;
  copy_ = IniFile();
  jobs_.clear();
  ResetSelection();

  copy_ = IniFile(path);
  jobs_ = SortedNames(copy_.Sections());
  loaded_ = true;
}

void JobEditor::StorePendingCommand() {
  if (!currentJob_) return;
  values_.Write(copy_, *currentJob_, kCommandKey, command_);
}

void JobEditor::StorePendingVariable() {
  if (!currentJob_ || !currentJobVariable_) return;
  values_.Write(copy_, *currentJob_, *currentJobVariable_, value_);
  values_.Write(copy_, *currentJob_, DisplayFlagKey(*currentJobVariable_), display_ ? kFlagSet : kFlagClear);
}

void JobEditor::SelectJob(std::string_view job) {
  if (!loaded_) return;
  StorePendingCommand();
  StorePendingVariable();
  // A command that cannot be decrypted throws here; the fields then still belong to the job
  // that was shown before.
  std::string command = values_.Read(copy_, job, kCommandKey);
  variables_ = SortedNames(JobVariables(copy_, job));
  command_ = std::move(command);
  value_.clear();
  display_ = false;
  currentJobVariable_.reset();
  currentJob_ = std::string(job);
}

void JobEditor::SelectVariable(std::string_view variable) {
  if (!loaded_ || !currentJob_) return;
  StorePendingVariable();
  std::string value = values_.Read(copy_, *currentJob_, variable);
  const bool display = values_.Read(copy_, *currentJob_, DisplayFlagKey(variable)) == kFlagSet;
  value_ = std::move(value);
  display_ = display;
  currentJobVariable_ = std::string(variable);
}

void JobEditor::NewJob() {
  if (!loaded_) return;
  const std::optional<TypedName> typed = dialogs_.AskName(job_text::kNewJobCaption, job_text::kNewJobPrompt);
  if (!typed || (typed->latin1 && typed->bytes.empty())) return;
  if (!typed->latin1) {
    dialogs_.Message(kNameNotLatin1);
    return;
  }
  if (NameListed(jobs_, typed->bytes)) return;
  if (const auto problem = SectionNameProblem(*typed)) {
    dialogs_.Message(*problem);
    return;
  }
  const std::string& name = typed->bytes;
  InsertSorted(jobs_, name);
  values_.Write(copy_, name, kCommandKey, {});
  SelectJob(name);
}

void JobEditor::RemoveJob() {
  if (!loaded_ || !currentJob_) return;
  copy_.EraseSection(*currentJob_);
  jobs_ = SortedNames(copy_.Sections());
  ResetSelection();
}

void JobEditor::NewVariable() {
  if (!loaded_) return;
  if (!currentJob_) {
    dialogs_.Message(job_text::kSelectJob);
    return;
  }
  const std::optional<TypedName> typed =
      dialogs_.AskName(job_text::kNewVariableCaption, job_text::kNewVariablePrompt);
  if (!typed || (typed->latin1 && typed->bytes.empty())) return;
  if (!typed->latin1) {
    dialogs_.Message(kNameNotLatin1);
    return;
  }
  const std::string& name = typed->bytes;
  if (NameListed(variables_, name)) return;
  if (name.find(kFlagKeyPrefix) != std::string::npos) {
    dialogs_.Message(job_text::kSectionSignInvalid);
    return;
  }
  if (IsCommandName(name)) {
    dialogs_.Message(job_text::kCommandInvalid);
    return;
  }
  if (const auto problem = KeyNameProblem(*typed)) {
    dialogs_.Message(*problem);
    return;
  }
  InsertSorted(variables_, name);
  values_.Write(copy_, *currentJob_, name, {});
  SelectVariable(name);
}

void JobEditor::RemoveVariable() {
  if (!loaded_ || !currentJob_ || !currentJobVariable_) return;
  const std::string variable = *currentJobVariable_;
  currentJobVariable_.reset();
  copy_.DeleteKey(*currentJob_, variable);
  copy_.DeleteKey(*currentJob_, DisplayFlagKey(variable));
  variables_ = SortedNames(JobVariables(copy_, *currentJob_));
  value_.clear();
  display_ = false;
}

std::optional<std::vector<std::string>> JobEditor::CommandEditorLines() const {
  if (!loaded_ || !currentJob_) return std::nullopt;
  return CommandLines(command_);
}

std::optional<std::vector<std::string>> JobEditor::Close() {
  if (!loaded_) return std::nullopt;
  StorePendingCommand();
  StorePendingVariable();
  copy_.WriteBack();
  return copy_.Sections();
}

}  // namespace corvane
