#include "console/environment_editor.h"

namespace corvane {

void EnvironmentEditor::FormShow(const std::string& path) {
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

void EnvironmentEditor::ComboBox1Change(std::string_view environment) {
  if (!loaded_) return;
  StorePendingValue();
  variables_ = SortedNames(copy_.Keys(environment));
  currentEnvironment_ = std::string(environment);
  currentVariable_.reset();
  value_.clear();
}

void EnvironmentEditor::ComboBox2Change(std::string_view variable) {
  if (!loaded_ || !currentEnvironment_) return;
  StorePendingValue();
  // A value that cannot be decrypted throws here; the field then still belongs to the variable
  // that was shown before.
  std::string plain = values_.Read(copy_, *currentEnvironment_, variable);
  value_ = std::move(plain);
  currentVariable_ = std::string(variable);
}

void EnvironmentEditor::Button2Click() {
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
  ComboBox1Change(name);
}

void EnvironmentEditor::Button4Click() {
  if (!loaded_ || !currentEnvironment_) return;
  copy_.EraseSection(*currentEnvironment_);
  environments_ = SortedNames(copy_.Sections());
  variables_.clear();
  value_.clear();
  currentVariable_.reset();
  currentEnvironment_.reset();
}

void EnvironmentEditor::Button3Click() {
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
  ComboBox2Change(name);
}

void EnvironmentEditor::Button5Click() {
  if (!loaded_ || !currentEnvironment_ || !currentVariable_) return;
  value_.clear();
  copy_.DeleteKey(*currentEnvironment_, *currentVariable_);
  variables_ = SortedNames(copy_.Keys(*currentEnvironment_));
  currentVariable_.reset();
}

std::optional<std::vector<std::string>> EnvironmentEditor::FormClose() {
  if (!loaded_) return std::nullopt;
  StorePendingValue();
  copy_.WriteBack();
  return copy_.Sections();
}

}  // namespace corvane
