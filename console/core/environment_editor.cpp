#include "console/core/environment_editor.h"

namespace corvane {

void EnvironmentEditor::Load(const std::string& path) {
  loaded_ = false;
  copy_ = IniFile();
  environments_.clear();
  variables_.clear();
  currentEnvironment_.reset();
  currentVariable_.reset();
  value_.clear();

  copy_ = IniFile(path);
  environments_ = SortedNames(copy_.Sections());
  loaded_ = true;
}

void EnvironmentEditor::StorePendingValue() {
  if (!currentEnvironment_ || !currentVariable_) return;
  values_.Write(copy_, *currentEnvironment_, *currentVariable_, value_);
}

void EnvironmentEditor::SelectEnvironment(std::string_view environment) {
  if (!loaded_) return;
  StorePendingValue();
  variables_ = SortedNames(copy_.Keys(environment));
  currentEnvironment_ = std::string(environment);
  currentVariable_.reset();
  value_.clear();
}

void EnvironmentEditor::SelectVariable(std::string_view variable) {
  if (!loaded_ || !currentEnvironment_) return;
  StorePendingValue();
  // A value that cannot be decrypted throws here; the field then still belongs to the variable
  // that was shown before.
  std::string plain = values_.Read(copy_, *currentEnvironment_, variable);
  value_ = std::move(plain);
  currentVariable_ = std::string(variable);
}

void EnvironmentEditor::NewEnvironment() {
  if (!loaded_) return;
  const std::optional<TypedName> typed =
      dialogs_.AskName(env_text::kNewEnvironmentCaption, env_text::kNewEnvironmentPrompt);
  if (!typed) return;
  if (!typed->latin1) {
    dialogs_.Message(kNameNotLatin1);
    return;
  }
  if (NameListed(environments_, typed->bytes)) {
    dialogs_.Message(env_text::kNameExists);
    return;
  }
  if (typed->bytes.empty()) return;
  if (const auto problem = SectionNameProblem(*typed)) {
    dialogs_.Message(*problem);
    return;
  }
  const std::string& name = typed->bytes;
  InsertSorted(environments_, name);
  for (const std::string_view key : kNewEnvironmentKeys) values_.Write(copy_, name, key, {});
  SelectEnvironment(name);
}

void EnvironmentEditor::RemoveEnvironment() {
  if (!loaded_ || !currentEnvironment_) return;
  copy_.EraseSection(*currentEnvironment_);
  environments_ = SortedNames(copy_.Sections());
  variables_.clear();
  value_.clear();
  currentVariable_.reset();
  currentEnvironment_.reset();
}

void EnvironmentEditor::NewVariable() {
  if (!loaded_) return;
  if (!currentEnvironment_) {
    dialogs_.Message(env_text::kSelectEnvironment);
    return;
  }
  const std::optional<TypedName> typed =
      dialogs_.AskName(env_text::kNewVariableCaption, env_text::kNewVariablePrompt);
  if (!typed) return;
  if (!typed->latin1) {
    dialogs_.Message(kNameNotLatin1);
    return;
  }
  if (NameListed(variables_, typed->bytes)) {
    dialogs_.Message(env_text::kNameExists);
    return;
  }
  if (typed->bytes.empty()) return;
  if (const auto problem = KeyNameProblem(*typed)) {
    dialogs_.Message(*problem);
    return;
  }
  const std::string& name = typed->bytes;
  InsertSorted(variables_, name);
  values_.Write(copy_, *currentEnvironment_, name, {});
  SelectVariable(name);
}

void EnvironmentEditor::RemoveVariable() {
  if (!loaded_ || !currentEnvironment_ || !currentVariable_) return;
  value_.clear();
  copy_.DeleteKey(*currentEnvironment_, *currentVariable_);
  variables_ = SortedNames(copy_.Keys(*currentEnvironment_));
  currentVariable_.reset();
}

std::optional<std::vector<std::string>> EnvironmentEditor::Close() {
  if (!loaded_) return std::nullopt;
  StorePendingValue();
  copy_.WriteBack();
  return copy_.Sections();
}

}  // namespace corvane
