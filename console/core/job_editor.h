// What the job editor and the command editor show and do, without the windows.
//
// The job editor keeps its own copy of the job file: the sorted job list, the command field of
// the chosen job, the sorted list of its variables, and the value field and Display flag of the
// chosen variable. Nothing is stored while the operator types or ticks: the command goes into the
// copy (key "Command", encrypted) when the operator leaves the job (another job, New, Close); a
// variable's value and its display flag ("\xA7" + name, "Y" or "N", encrypted) go in together
// when the operator leaves the variable (another variable, New, another job, Close). The file is
// written only on Close, as a whole.
//
// The window pushes its fields into SetCommand()/SetValue()/SetDisplay() before each handler and
// shows the state afterwards; the lists' selections always equal CurrentJob() and
// CurrentJobVariable(). A handler that throws leaves the selection as it was, so the fields
// always belong to the job and variable shown.
//
// The command editor shows the command one command per line; CommandLines() and
// JoinCommandLines() are its two directions.
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

// The key of a job's command text.
inline constexpr std::string_view kCommandKey = "Command";
// The first byte of a display flag key (the section sign).
inline constexpr char kFlagKeyPrefix = '\xA7';

namespace job_text {
inline constexpr std::string_view kNewJobCaption = "New Job";
inline constexpr std::string_view kNewJobPrompt = "Please enter the new job name";
inline constexpr std::string_view kNewVariableCaption = "New Job Variable";
inline constexpr std::string_view kNewVariablePrompt = "Please enter the new job variable name";
inline constexpr std::string_view kSelectJob = "You must select a job name before.";
inline constexpr std::string_view kSectionSignInvalid = "\"\xA7\" is an invalid value";
inline constexpr std::string_view kCommandInvalid = "\"Command\" is an invalid job parameter name";
}  // namespace job_text

// The display flag key of a job variable.
std::string DisplayFlagKey(std::string_view variable);

// A job's variables in file order: the keys of its section less "Command" and less every key
// whose first byte is the section sign.
std::vector<std::string> JobVariables(const IniFile& file, std::string_view job);

// The command text as the command editor shows it: every ";" (and every line break) ends a line,
// and lines that are exactly empty are left out. Lines of blanks stay.
std::vector<std::string> CommandLines(std::string_view command);

// The command editor's lines as a command text: each line without its leading and trailing
// blanks, empty lines left out, every command followed by ";". No lines give "".
std::string JoinCommandLines(const std::vector<std::string>& lines);

class JobEditor {
 public:
  // `cipher` encrypts and decrypts the values (prepared for stored values); both are borrowed.
  JobEditor(TCipherManager& cipher, EditorDialogs& dialogs) noexcept : values_(cipher), dialogs_(dialogs) {}

  // ---- state as the window shows it -------------------------------------------------------
  const std::vector<std::string>& Jobs() const noexcept { return jobs_; }
  const std::vector<std::string>& Variables() const noexcept { return variables_; }
  const std::optional<std::string>& CurrentJob() const noexcept { return currentJob_; }
  const std::optional<std::string>& CurrentJobVariable() const noexcept { return currentJobVariable_; }
  const std::string& Command() const noexcept { return command_; }
  const std::string& Value() const noexcept { return value_; }
  bool Display() const noexcept { return display_; }
  void SetCommand(std::string command) { command_ = std::move(command); }
  void SetValue(std::string value) { value_ = std::move(value); }
  void SetDisplay(bool display) noexcept { display_ = display; }
  // False when the file could not be read at the last show: nothing can be changed then, and
  // closing writes nothing.
  bool Loaded() const noexcept { return loaded_; }
  const IniFile& Copy() const noexcept { return copy_; }

  // ---- handlers ----------------------------------------------------------------------------
  // Window shown: a fresh copy of the file at `path`, nothing selected. Throws when the file
  // exists but cannot be read (the editor then stays unloaded).
  void Load(const std::string& path);
  // A job chosen in the list.
  void SelectJob(std::string_view job);
  // A job variable chosen in the list.
  void SelectVariable(std::string_view variable);
  // "New" job.
  void NewJob();
  // "Remove" job.
  void RemoveJob();
  // "New" job variable.
  void NewVariable();
  // "Remove" job variable.
  void RemoveVariable();
  // "...": the lines the command editor opens with; nothing when no job is selected.
  std::optional<std::vector<std::string>> CommandEditorLines() const;
  // Window closing: stores the shown command, value and flag, writes the file back whole and
  // answers the section names of the copy in file order (for the main window's list). Nothing
  // when the editor is not loaded. Throws when the file cannot be written; the file then keeps
  // its old contents.
  std::optional<std::vector<std::string>> Close();

 private:
  void StorePendingCommand();
  void StorePendingVariable();
  void ResetSelection();

  StoredValues values_;
  EditorDialogs& dialogs_;
  IniFile copy_;
  bool loaded_ = false;
  std::vector<std::string> jobs_;
  std::vector<std::string> variables_;
  std::optional<std::string> currentJob_;
  std::optional<std::string> currentJobVariable_;
  std::string command_;
  std::string value_;
  bool display_ = false;
};

}  // namespace corvane
