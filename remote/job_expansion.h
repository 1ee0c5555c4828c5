// Reading, checking and expanding a stored job for the library's two run exports.
//
// One call of `execute` or `executeA` reads the named environment and job afresh through a cipher
// manager of its own, checks the values in a fixed order, expands the job variables referenced in
// the command text (@"name") and then runs the command (execute) or hands it to a background
// worker (executeA). Everything here is Qt-free; the operator prompt and the busy cursor are
// reached through RunUi, which the shared library implements with Qt Widgets and tests fake.
//
// Texts are 8-bit bytes throughout (std::string as a byte string).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cipher/base/managers.h"
#include "remote/output_sink.h"
#include "remote/remote_command_client.h"
#include "remote/result_text.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {

// Result texts of the run exports.
inline constexpr std::string_view kInvalidHostText = "Error: Invalid Host Name (RHost)";
inline constexpr std::string_view kInvalidRemoteUserText = "Error: Invalid Remote User Name (RLogin)";
inline constexpr std::string_view kInvalidLocalUserText = "Error: Invalid Local User Name (LLogin)";
inline constexpr std::string_view kInvalidRemotePasswordText = "Error: Invalid Remote Host Password (RPwd)";
inline constexpr std::string_view kMissingCommandText = "Unable to find the Remote Host Job Command";
// An unclosed reference gives "\"" + kMissingQuoteText + the text after the opening @".
inline constexpr std::string_view kMissingQuoteText = " missing after parameter ";
inline constexpr std::string_view kJobCancelledText = "The Job was cancelled";
// What execute returns for a command that expands to nothing.
inline constexpr std::string_view kEmptyCommandResult = " ";
// What executeA returns once its worker runs.
inline constexpr std::string_view kWorkerStartedResult = "0";

// The operator prompt for a flagged job variable.
inline constexpr std::string_view kJobParameterCaption = "Job Parameter";
std::string JobParameterPrompt(std::string_view name);  // "Enter Value for <name> parameter:"

// The display flag of a job variable is the job key "§" + name ("§" is the byte 0xA7).
inline constexpr char kDisplayFlagPrefix = '\xA7';

// What a run needs of its caller's user interface.
class RunUi {
 public:
  virtual ~RunUi() = default;
  // Asks the operator for a value with `preset` in the edit field; nullopt when cancelled.
  virtual std::optional<std::string> AskValue(std::string_view caption, std::string_view prompt,
                                              std::string_view preset) = 0;
  // Shows (true) or takes back (false) the busy cursor.
  virtual void SetBusy(bool busy) = 0;
};

// Drops every byte of code 32 or less (taken unsigned) from both ends.
std::string TrimControls(std::string_view text);
// Replaces every ";" by " ; ".
std::string SpaceSemicolons(std::string_view text);
// Replaces every line feed by carriage return + line feed (a CR already in front stays).
std::string ToCrLf(std::string_view text);

// The value of a job variable during one expansion.
class VariableLookup {
 public:
  virtual ~VariableLookup() = default;
  // The value to insert for `name` (already trimmed); nullopt when the operator cancelled.
  virtual std::optional<std::string> Value(std::string_view name) = 0;
};

struct Expansion {
  enum class Outcome { kExpanded, kUnclosedReference, kCancelled };
  Outcome outcome = Outcome::kExpanded;
  // kExpanded: the command to run (trimmed, may be empty); otherwise the call's result text.
  std::string text;
};

// Trims the stored command, spaces its semicolons and replaces every @"name" reference by the
// variable's value. Inserted values are never scanned again.
Expansion ExpandCommand(std::string_view stored_command, VariableLookup& lookup);

// `ParameterValues` of executeA: the value given for `name`, or nullopt when none is given.
// The first occurrence of name + "=" anywhere in the text counts; the value runs from the first
// "=" of that occurrence to the next "&" (or the end). Values are taken as they stand.
std::optional<std::string> ParameterValue(std::string_view parameter_values, std::string_view name);

// The arguments of a run export.
struct JobCall {
  std::string environmentName;
  std::string jobName;
  std::int32_t protocolIndex = 0;  // 0 rexec, any other value rsh
  std::string dataDir;             // holds both settings files; no trailing separator
};

// Everything one remote run needs; the background worker keeps its own copy. The password is
// wiped when a copy goes away.
struct RunRequest {
  std::string CommandText;
  std::string RemoteUser;      // RLogin
  std::string LocalUser;       // LLogin
  std::string RemotePassword;  // RPwd
  std::string RemoteHost;      // RHost
  std::string DataDir;
  std::int32_t ProtocolIndex = 0;

  RunRequest() = default;
  RunRequest(const RunRequest&) = default;
  RunRequest(RunRequest&&) noexcept = default;
  RunRequest& operator=(const RunRequest&) = default;
  RunRequest& operator=(RunRequest&&) noexcept = default;
  ~RunRequest();
};

// The server ports of the two protocols (tests point them at servers of their own).
struct RemotePorts {
  std::uint16_t rexec = kRexecPort;
  std::uint16_t rsh = kRshPort;
};

// One call's view of the settings: a cipher manager of its own prepared for stored values, and the
// environment and job files (CorvaneEnv.ini, CorvaneJob.ini) read whole from `data_dir` (a missing
// file reads as empty).
class StoredJob {
 public:
  explicit StoredJob(const JobCall& call);
  StoredJob(const StoredJob&) = delete;
  StoredJob& operator=(const StoredJob&) = delete;

  const JobCall& Call() const noexcept { return call_; }
  // Decrypted values ("" for a missing key). A stored value that is not MIME base64 throws the
  // cipher library's EStringFormat.
  std::string EnvironmentValue(std::string_view key);
  std::string JobValue(std::string_view key);

 private:
  JobCall call_;
  TCipherManager manager_;
  StoredValues values_{manager_};
  IniFile environment_;
  IniFile job_;
};

// Reads the values in their fixed order, each just before its check; the first failing check
// gives its result text. On success the request holds the decrypted values, the call's data
// directory and protocol, and the stored (unexpanded) command.
struct CheckedJob {
  std::optional<std::string> failure;
  RunRequest request;
};
CheckedJob ReadAndCheck(StoredJob& job);

// execute's variables: the job's value, else the environment's; a variable whose display flag is
// exactly "Y" is asked of the operator once per call (names compared without regard to case),
// with the found value preset.
class PromptingLookup final : public VariableLookup {
 public:
  PromptingLookup(StoredJob& job, RunUi& ui) : job_(job), ui_(ui) {}
  std::optional<std::string> Value(std::string_view name) override;

 private:
  StoredJob& job_;
  RunUi& ui_;
  std::unordered_map<std::string, std::string> answers_;  // folded name -> answer
};

// ParameterValue() for many names over one text: for each name length, one pass over the text
// records where each text of that length followed by "=" first occurs, so a lookup costs the same
// whatever the number of pairs.
class ParameterIndex {
 public:
  explicit ParameterIndex(std::string parameter_values) : text_(std::move(parameter_values)) {}
  std::optional<std::string> Value(std::string_view name);

 private:
  std::string text_;
  std::unordered_map<std::size_t, std::unordered_map<std::string_view, std::size_t>> firstByLength_;
};

// executeA's variables: the job's value, else the environment's, replaced by a value given in
// `ParameterValues`; nobody is asked.
class ParameterLookup final : public VariableLookup {
 public:
  ParameterLookup(StoredJob& job, std::string parameter_values)
      : job_(job), parameters_(std::move(parameter_values)) {}
  std::optional<std::string> Value(std::string_view name) override;

 private:
  StoredJob& job_;
  ParameterIndex parameters_;
};

// Runs the request's command through rexec (protocol 0) or rsh (any other value); the output goes
// to `output`. Returns false when the output went past the sink's limit and the run was ended
// there. Failures of the run are thrown (their what() is the text to show).
bool RunRemoteCommand(const RunRequest& request, const RemotePorts& ports, const RunLimits& limits,
                      OutputSink& output);

// The body of `execute`: the remote output with line feeds turned into CR LF (ended by the limit
// line when the run was ended at the output limit), or a result text.
ResultText ExecuteJobResult(const JobCall& call, RunUi& ui, const RemotePorts& ports = {},
                            const RunLimits& limits = {});
// The same as a string.
std::string ExecuteJob(const JobCall& call, RunUi& ui, const RemotePorts& ports = {},
                       const RunLimits& limits = {});

// The body of `executeA`: reads, checks and expands, then hands a copy of the request to `start`
// (which starts the background worker and throws when it cannot) and returns "0"; or a result
// text.
using WorkerStarter = std::function<void(RunRequest)>;
std::string StartJob(const JobCall& call, std::string parameter_values, const WorkerStarter& start);

}  // namespace corvane
