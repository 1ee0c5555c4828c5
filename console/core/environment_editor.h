// What the environment editor window shows and does, without the window: its own copy of the
// environment file, the two sorted lists (environments, variables of the chosen environment), the
// value field, and the handlers the window's buttons and lists run.
//
// A typed value is not stored while the operator types. It goes into the copy, encrypted, when
// the operator leaves its variable (another variable, another environment, New, Close); the file
// is written only on Close, as a whole. The window pushes the value field into SetValue() before
// each handler and shows the state afterwards, so the lists' selections always equal
// CurrentEnvironment() and CurrentVariable().
//
// A handler that throws (a stored value that is not valid stored text, a file that cannot be
// written) leaves the selection as it was before the handler, so the value field always belongs
// to the variable shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/base/managers.h"
#include "console/core/name_rules.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {

// The four variables of a new environment, in the order they are written.
inline constexpr std::string_view kNewEnvironmentKeys[] = {"LLogin", "RLogin", "RPwd", "RHost"};

namespace env_text {
inline constexpr std::string_view kNewEnvironmentCaption = "New Environment";
inline constexpr std::string_view kNewEnvironmentPrompt = "Please enter the new environment name";
inline constexpr std::string_view kNewVariableCaption = "New Environment Variable";
inline constexpr std::string_view kNewVariablePrompt = "Please enter the new environment variable name";
inline constexpr std::string_view kNameExists = "This name already exists";
inline constexpr std::string_view kSelectEnvironment = "You must select a Environment name before";
}  // namespace env_text

class EnvironmentEditor {
 public:
  // `cipher` encrypts and decrypts the values (prepared for stored values); both are borrowed.
  EnvironmentEditor(TCipherManager& cipher, EditorDialogs& dialogs) noexcept
      : values_(cipher), dialogs_(dialogs) {}

  // ---- state as the window shows it -------------------------------------------------------
  const std::vector<std::string>& Environments() const noexcept { return environments_; }
  const std::vector<std::string>& Variables() const noexcept { return variables_; }
  const std::optional<std::string>& CurrentEnvironment() const noexcept { return currentEnvironment_; }
  const std::optional<std::string>& CurrentVariable() const noexcept { return currentVariable_; }
  const std::string& Value() const noexcept { return value_; }
  // The value field as the operator left it (plain bytes).
  void SetValue(std::string value) { value_ = std::move(value); }
  // False when the file could not be read at the last show: nothing can be changed then, and
  // closing writes nothing.
  bool Loaded() const noexcept { return loaded_; }
  const IniFile& Copy() const noexcept { return copy_; }

  // ---- handlers ----------------------------------------------------------------------------
  // Window shown: a fresh copy of the file at `path`, nothing selected. Throws when the file
  // exists but cannot be read (the editor then stays unloaded).
  void Load(const std::string& path);
  // An environment chosen in the list.
  void SelectEnvironment(std::string_view environment);
  // A variable chosen in the list.
  void SelectVariable(std::string_view variable);
  // "New" environment.
  void NewEnvironment();
  // "Remove" environment.
  void RemoveEnvironment();
  // "New" variable.
  void NewVariable();
  // "Remove" variable.
  void RemoveVariable();
  // Window closing: stores the shown value, writes the file back whole and answers the section
  // names of the copy in file order (for the main window's list). Nothing when the editor is not
  // loaded. Throws when the file cannot be written; the file then keeps its old contents.
  std::optional<std::vector<std::string>> Close();

 private:
  void StorePendingValue();

  StoredValues values_;
  EditorDialogs& dialogs_;
  IniFile copy_;
  bool loaded_ = false;
  std::vector<std::string> environments_;
  std::vector<std::string> variables_;
  std::optional<std::string> currentEnvironment_;
  std::optional<std::string> currentVariable_;
  std::string value_;
};

}  // namespace corvane
