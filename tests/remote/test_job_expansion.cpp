// Reading, checking and expanding stored jobs: the check order and texts, the expansion rules,
// the parameter values of executeA, the operator prompt through a fake RunUi, and execute's body
// against Debian's real rexec and rsh servers.
#include "remote/job_expansion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <map>
#include <memory>
#include <system_error>

#include "cipher/formats/formats.h"
#include "remote/fake_server.h"
#include "remote/real_peers.h"
#include "remote/stored_settings.h"

namespace corvane {
namespace {

using test::KeyValues;
using test::TempDataDir;

TEST(JobText, TrimSemicolonsAndLineEnds) {
  EXPECT_EQ(TrimControls("  \t\r\n ls \x01\x1f"), "ls");
  EXPECT_EQ(TrimControls("\xA0x\xFF"), "\xA0x\xFF") << "bytes above 127 are not blanks";
  EXPECT_EQ(TrimControls(" \x20\x7f "), "\x7f");
  EXPECT_EQ(TrimControls(" \t "), "");
  EXPECT_EQ(SpaceSemicolons("a;b;;c;"), "a ; b ;  ; c ; ");
  EXPECT_EQ(ToCrLf("a\r\nb\n"), "a\r\r\nb\r\n");
  EXPECT_EQ(ToCrLf("\n\nx"), "\r\n\r\nx");
  EXPECT_EQ(JobParameterPrompt("port"), "Enter Value for port parameter:");
}

// Answers from a map and remembers every name it was asked for; "!cancel" cancels.
class MapLookup final : public VariableLookup {
 public:
  explicit MapLookup(std::map<std::string, std::string> values) : values_(std::move(values)) {}
  std::optional<std::string> Value(std::string_view name) override {
    names.emplace_back(name);
    const auto it = values_.find(std::string(name));
    if (it == values_.end()) return std::string();
    if (it->second == "!cancel") return std::nullopt;
    return it->second;
  }
  std::vector<std::string> names;

 private:
  std::map<std::string, std::string> values_;
};

struct ExpansionCase {
  const char* stored;
  std::map<std::string, std::string> values;
  Expansion::Outcome outcome;
  std::string text;
  std::vector<std::string> names;
};

TEST(ExpandCommand, Cases) {
  using O = Expansion::Outcome;
  const std::vector<ExpansionCase> cases = {
      {"  ls;pwd \t", {}, O::kExpanded, "ls ; pwd", {}},
      {"\x01\x1f ls\xA0 \n", {}, O::kExpanded, "ls\xA0", {}},
      {"a;@\"x;y\"", {{"x ; y", "V"}}, O::kExpanded, "a ; V", {"x ; y"}},
      {"echo @\" port \"", {{"port", "8080"}}, O::kExpanded, "echo 8080", {"port"}},
      {"echo @\"nothere\" end", {}, O::kExpanded, "echo  end", {"nothere"}},
      {"echo @@\"a\"", {{"a", "1"}}, O::kExpanded, "echo @1", {"a"}},
      {"a@\"x\"b@\"x\"", {{"x", "-"}}, O::kExpanded, "a-b-", {"x", "x"}},
      {"@\"v\"", {{"v", "1;2 @\"x\""}}, O::kExpanded, "1;2 @\"x\"", {"v"}},
      {"echo @\"v\"", {{"v", " tail \t"}}, O::kExpanded, "echo  tail", {"v"}},
      {"@\"v\"", {{"v", " "}}, O::kExpanded, "", {"v"}},
      {"@\"\"", {}, O::kExpanded, "", {""}},
      {"echo \"q\" @ \"x\"", {}, O::kExpanded, "echo \"q\" @ \"x\"", {}},
      {"echo @\"abc", {}, O::kUnclosedReference, "\" missing after parameter abc", {}},
      {"echo @\"a\" @\"b;c ", {{"a", "1"}}, O::kUnclosedReference, "\" missing after parameter b ; c", {"a"}},
      {"echo @\"", {}, O::kUnclosedReference, "\" missing after parameter ", {}},
      {"x @\"a\" @\"b\" @\"c\"", {{"b", "!cancel"}}, O::kCancelled, "The Job was cancelled", {"a", "b"}},
  };
  for (const ExpansionCase& c : cases) {
    SCOPED_TRACE(c.stored);
    MapLookup lookup(c.values);
    const Expansion e = ExpandCommand(c.stored, lookup);
    EXPECT_EQ(e.outcome, c.outcome);
    EXPECT_EQ(e.text, c.text);
    EXPECT_EQ(lookup.names, c.names);
  }
}

TEST(ParameterValue, Cases) {
  struct Case {
    const char* values;
    const char* name;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"a=1&b=2", "b", "2"},          {"a=1&b=2", "a", "1"},     {"a=&b=2", "a", ""},
      {"xa=5&a=1", "a", "5"},  // a plain substring search: "xa=" holds "a="
      {"a=1&b=2", "c", std::nullopt}, {"", "a", std::nullopt},   {"a", "a", std::nullopt},
      {"a=x=y&b=1", "a", "x=y"},      {"a=%20+1", "a", "%20+1"},  // no decoding
      {"A=1", "a", std::nullopt},                                 // case-sensitive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.values) + " / " + c.name);
    EXPECT_EQ(ParameterValue(c.values, c.name), c.expected);
  }
}

// A long text goes through the index; every answer must be the direct search's.
TEST(ParameterValue, TheIndexAnswersAsTheDirectSearchOnLongTexts) {
  std::string padding;
  for (int i = 0; padding.size() < 8192; ++i) padding += "qq" + std::to_string(i) + "=z" + std::to_string(i) + "&";
  const std::vector<std::string> texts = {padding + "a=1&b=2", "xa=5&" + padding + "a=1", padding + "a=&b=2&a=3",
                                          "a=x=y&" + padding};
  const std::vector<std::string> names = {"a", "b", "c", "qq17", "q17", "17", "qq", "z", "a=x", "x", "qq999"};
  for (const std::string& text : texts) {
    ParameterIndex index(text);
    for (const std::string& name : names) {
      SCOPED_TRACE(text.substr(0, 12) + " / " + name);
      EXPECT_EQ(index.Value(name), ParameterValue(text, name));
    }
  }
  EXPECT_EQ(ParameterIndex(texts[1]).Value("a"), "5");
  EXPECT_EQ(ParameterIndex(texts[0]).Value("q17"), "z17");
}

// A data directory with one environment "Env1" and one job "Job1".
class StoredJobTest : public ::testing::Test {
 protected:
  JobCall Call(std::int32_t protocol) const { return JobCall{"Env1", "Job1", protocol, dir_.Path()}; }

  // executeA's body with a starter that only records the request.
  std::string Start(std::int32_t protocol, std::string parameters = {}) {
    started_.reset();
    return StartJob(Call(protocol), std::move(parameters), [this](RunRequest r) { started_ = std::move(r); });
  }

  TempDataDir dir_;
  std::optional<RunRequest> started_;
};

TEST_F(StoredJobTest, ChecksInOrderWithTheirTexts) {
  struct Case {
    const char* what;
    KeyValues environment;
    KeyValues job;
    std::int32_t protocol;
    std::string_view expected;
  };
  const KeyValues job = {{"Command", "true"}};
  const Case cases[] = {
      {"nothing", {}, job, 0, kInvalidHostText},
      {"empty host", {{"RHost", ""}, {"RLogin", "u"}, {"RPwd", "p"}}, job, 0, kInvalidHostText},
      {"no remote user", {{"RHost", "h"}, {"LLogin", "l"}, {"RPwd", "p"}}, job, 0, kInvalidRemoteUserText},
      {"rsh without local user", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}}, job, 1, kInvalidLocalUserText},
      {"rexec without password",
       {{"RHost", "h"}, {"RLogin", "u"}, {"LLogin", "l"}},
       job,
       0,
       kInvalidRemotePasswordText},
      {"local user comes first", {{"RHost", "h"}, {"RLogin", "u"}}, job, 1, kInvalidLocalUserText},
      {"no command", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}}, {}, 0, kMissingCommandText},
      {"empty command",
       {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}},
       {{"Command", ""}},
       0,
       kMissingCommandText},
      {"rexec needs no local user",
       {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}},
       job,
       0,
       kWorkerStartedResult},
      {"rsh needs no password", {{"RHost", "h"}, {"RLogin", "u"}, {"LLogin", "l"}}, job, 1, kWorkerStartedResult},
      {"protocol 2 needs neither", {{"RHost", "h"}, {"RLogin", "u"}}, job, 2, kWorkerStartedResult},
      {"protocol -1 needs neither", {{"RHost", "h"}, {"RLogin", "u"}}, job, -1, kWorkerStartedResult},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir_.File("CorvaneEnv.ini"));
    std::filesystem::remove(dir_.File("CorvaneJob.ini"));
    test::WriteEnvironment(dir_, "Env1", c.environment);
    test::WriteJob(dir_, "Job1", c.job);
    EXPECT_EQ(Start(c.protocol), c.expected);
    EXPECT_EQ(started_.has_value(), c.expected == kWorkerStartedResult);
    if (started_) {
      EXPECT_EQ(started_->ProtocolIndex, c.protocol);
    }
  }
}

TEST_F(StoredJobTest, MissingFilesReadAsEmpty) {
  EXPECT_EQ(Start(0), kInvalidHostText);
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}});
  EXPECT_EQ(Start(0), kMissingCommandText) << "no job file";
  test::WriteJob(dir_, "Other", {{"Command", "true"}});
  EXPECT_EQ(Start(0), kMissingCommandText) << "no such job";
  EXPECT_EQ(StartJob(JobCall{"env1", "other", 0, dir_.Path()}, "", [](RunRequest) {}), kWorkerStartedResult)
      << "section names match without regard to case";
}

TEST_F(StoredJobTest, LaterValuesAreNotReadOnceACheckFails) {
  const std::string corrupt = "corrupt!value";  // "!" is outside the MIME base64 alphabet
  test::WriteEnvironment(dir_, "Env1", {{"RHost", ""}});
  test::WriteRaw(dir_.File("CorvaneEnv.ini"), "Env1", "RLogin", corrupt);
  EXPECT_EQ(Start(0), kInvalidHostText);
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "h"}});
  EXPECT_THROW(Start(0), EStringFormat) << "RLogin is read once RHost passes";
}

TEST_F(StoredJobTest, RequestHoldsTheDecryptedValuesAndTheExpandedCommand) {
  test::WriteEnvironment(
      dir_, "Env1",
      {{"RHost", "host.example"}, {"RLogin", "ru"}, {"LLogin", "lu"}, {"RPwd", "pw"}, {"port", "22"}});
  test::WriteJob(dir_, "Job1", {{"Command", " \trun @\"port\";@\" mode\" \r\n"}, {"mode", "fast"}, {"port", ""}});
  ASSERT_EQ(Start(1), kWorkerStartedResult);
  ASSERT_TRUE(started_);
  EXPECT_EQ(started_->CommandText, "run 22 ; fast") << "an empty job value falls back to the environment's";
  EXPECT_EQ(started_->RemoteHost, "host.example");
  EXPECT_EQ(started_->RemoteUser, "ru");
  EXPECT_EQ(started_->LocalUser, "lu");
  EXPECT_EQ(started_->RemotePassword, "pw");
  EXPECT_EQ(started_->DataDir, dir_.Path());
  EXPECT_EQ(started_->ProtocolIndex, 1);
}

TEST_F(StoredJobTest, ParameterValuesReplaceStoredValuesAndFlagsAreIgnored) {
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}});
  test::WriteJob(dir_, "Job1",
                 {{"Command", "echo @\"a\"/@\"b\""},
                  {"a", "job-a"},
                  {"b", "job-b"},
                  {"\xA7"
                   "a",
                   "Y"}});
  struct Case {
    const char* parameters;
    const char* command;
  };
  const Case cases[] = {
      {"", "echo job-a/job-b"},     {"a=1&b=2", "echo 1/2"},           {"a=&b=2", "echo /2"},
      {"xa=5&a=1", "echo 5/job-b"}, {"b=@\"a\"", "echo job-a/@\"a\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters);
    ASSERT_EQ(Start(0, c.parameters), kWorkerStartedResult);
    ASSERT_TRUE(started_);
    EXPECT_EQ(started_->CommandText, c.command);
  }
}

TEST_F(StoredJobTest, ExecuteAStartsAWorkerEvenForAnEmptyCommandButNotForAnUnclosedReference) {
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}});
  test::WriteJob(dir_, "Job1", {{"Command", " @\"none\" "}});
  ASSERT_EQ(Start(0), kWorkerStartedResult);
  ASSERT_TRUE(started_);
  EXPECT_EQ(started_->CommandText, "");
  test::WriteJob(dir_, "Job1", {{"Command", "echo @\"none"}});
  EXPECT_EQ(Start(0), "\" missing after parameter none");
  EXPECT_FALSE(started_);
}

TEST_F(StoredJobTest, AStarterThatCannotStartFailsTheCall) {
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}});
  test::WriteJob(dir_, "Job1", {{"Command", "true"}});
  EXPECT_THROW(StartJob(Call(0), "",
                        [](RunRequest) {
                          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
                        }),
               std::system_error);
}

// Records prompts and busy changes; answers from a script (nullopt: cancel).
class FakeRunUi final : public RunUi {
 public:
  struct Ask {
    std::string caption, prompt, preset;
  };
  std::optional<std::string> AskValue(std::string_view caption, std::string_view prompt,
                                      std::string_view preset) override {
    asks.push_back({std::string(caption), std::string(prompt), std::string(preset)});
    if (asks.size() > answers.size()) return std::nullopt;
    return answers[asks.size() - 1];
  }
  void SetBusy(bool busy) override { busy_changes.push_back(busy); }

  std::vector<std::optional<std::string>> answers;
  std::vector<Ask> asks;
  std::vector<bool> busy_changes;
};

TEST_F(StoredJobTest, FlaggedVariablesAreAskedOncePerNameWithTheFoundValuePreset) {
  test::WriteEnvironment(dir_, "Env1", {{"port", "22"}});
  test::WriteJob(dir_, "Job1",
                 {{"\xA7"
                   "port",
                   "Y"},
                  {"other", "o"},
                  {"\xA7"
                   "other",
                   "y"},
                  {"user", "root"},
                  {"\xA7"
                   "USER",
                   "Y"}});
  StoredJob job(Call(0));
  FakeRunUi ui;
  ui.answers = {std::string(" 2 2 "), std::string("")};
  PromptingLookup lookup(job, ui);
  const Expansion e = ExpandCommand("x @\"Port\"-@\"PORT\" @\"other\" @\"missing\" @\"user\"|@\"port\"", lookup);
  EXPECT_EQ(e.outcome, Expansion::Outcome::kExpanded);
  EXPECT_EQ(e.text, "x  2 2 - 2 2  o  | 2 2");
  ASSERT_EQ(ui.asks.size(), 2u);
  EXPECT_EQ(ui.asks[0].caption, "Job Parameter");
  EXPECT_EQ(ui.asks[0].prompt, "Enter Value for Port parameter:");
  EXPECT_EQ(ui.asks[0].preset, "22") << "the job holds no port, the environment does";
  EXPECT_EQ(ui.asks[1].prompt, "Enter Value for user parameter:");
  EXPECT_EQ(ui.asks[1].preset, "root");
  EXPECT_TRUE(ui.busy_changes.empty());
}

TEST_F(StoredJobTest, ExecuteEndsWithoutRunningOnCancelEmptyOrUnclosed) {
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "127.0.0.1"}, {"RLogin", "u"}, {"RPwd", "p"}});
  struct Case {
    const char* command;
    std::string expected;
    std::size_t asks;
  };
  const Case cases[] = {
      {"echo @\"v\" @\"w", "The Job was cancelled", 1},
      {"echo @\"w", "\" missing after parameter w", 0},
      {" @\"none\" ", " ", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    test::WriteJob(dir_, "Job1", {{"Command", c.command}, {"\xA7v", "Y"}});
    FakeRunUi ui;  // cancels every prompt
    EXPECT_EQ(ExecuteJob(Call(0), ui, RemotePorts{1, 1}), c.expected);
    EXPECT_EQ(ui.asks.size(), c.asks);
    EXPECT_TRUE(ui.busy_changes.empty()) << "nothing ran";
  }
}

// A settings file that is a FIFO or a link to a device ends the call with its reason at once.
TEST_F(StoredJobTest, ASettingsFileThatIsNoRegularFileFailsTheCallAtOnce) {
  const std::string environment = dir_.File("CorvaneEnv.ini");
  const std::string job = dir_.File("CorvaneJob.ini");
  ASSERT_EQ(::mkfifo(environment.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", job.c_str()), 0);
  for (const std::string& file : {environment, job}) {
    SCOPED_TRACE(file);
    try {
      Start(0);
      ADD_FAILURE() << "the call went on";
    } catch (const std::system_error& e) {
      EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
    FakeRunUi ui;
    EXPECT_THROW(ExecuteJob(Call(0), ui, RemotePorts{1, 1}), std::system_error);
    std::filesystem::remove(file);
  }
}

// execute's body against a server that never answers and one that sends without end: bounded by
// the status wait and by the output limit, with the limit line at the end of the result.
TEST_F(StoredJobTest, ExecuteIsBoundedBySilentAndEndlessServers) {
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "127.0.0.1"}, {"RLogin", "u"}, {"RPwd", "p"}});
  test::WriteJob(dir_, "Job1", {{"Command", "yes"}});
  constexpr std::size_t kLimit = 1000000;
  const RunLimits limits{std::chrono::milliseconds(300), kLimit};
  {
    std::promise<void> done;
    test::FakeServer silent([wait = done.get_future().share()](Socket& c) {
      test::ReadRequestHeader(c);
      wait.wait();
    });
    FakeRunUi ui;
    EXPECT_EQ(ExecuteJob(Call(0), ui, RemotePorts{silent.Port(), silent.Port()}, limits),
              "Socket Error # 10060\r\nConnection timed out.");
    done.set_value();
  }
  test::FakeServer endless([](Socket& c) {
    test::ReadRequestHeader(c);
    c.SendAll(std::string(1, '\0'));
    try {
      for (;;) c.SendAll(std::string(4096, '\n'));
    } catch (const SocketError&) {
    }
  });
  FakeRunUi ui;
  const std::string result = ExecuteJob(Call(0), ui, RemotePorts{endless.Port(), endless.Port()}, limits);
  endless.Join();
  std::string kept;
  for (std::size_t i = 0; i < kLimit / 2; ++i) kept += "\r\n";
  EXPECT_TRUE(result == kept + OutputLimitLine(kLimit))
      << result.substr(result.size() - std::min<std::size_t>(100, result.size()));
  EXPECT_EQ(ui.busy_changes, (std::vector<bool>{true, false}));
}

// The cost of a lookup does not grow with the number of variables: a job of 60 000 variables, each
// referenced once, expands in both exports' ways (a quadratic expansion would take hours here).
TEST_F(StoredJobTest, SixtyThousandVariablesExpandWhole) {
  constexpr int kVariables = 60000;
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "h"}, {"RLogin", "u"}, {"RPwd", "p"}, {"v7", "env"}});
  KeyValues values;
  std::string command = "run";
  std::string parameters;
  std::string expected_prompting = "run";
  std::string expected_parameters = "run";
  FakeRunUi ui;
  for (int i = 0; i < kVariables; ++i) {
    const std::string n = std::to_string(i);
    const std::string name = "v" + n;
    command += " @\"" + name + "\"";
    if (i != 7) values.emplace_back(name, "j" + n);
    const std::string stored = i == 7 ? "env" : "j" + n;
    if (i % 2 == 0) {
      values.emplace_back("\xA7" + name, "Y");
      ui.answers.push_back("a" + n);
      expected_prompting += " a" + n;
    } else {
      expected_prompting += " " + stored;
    }
    if (i % 3 == 0) {
      parameters += name + "=p" + n + "&";
      expected_parameters += " p" + n;
    } else {
      expected_parameters += " " + stored;
    }
  }
  command += " @\"V0\"";  // asked already: the same answer, not asked again
  expected_prompting += " a0";
  expected_parameters += " j0";  // the parameter search is case-sensitive, the job lookup is not
  values.emplace_back("Command", command);
  test::WriteJob(dir_, "Job1", values);

  StoredJob job(Call(0));
  PromptingLookup prompting(job, ui);
  const Expansion e = ExpandCommand(command, prompting);
  EXPECT_EQ(e.outcome, Expansion::Outcome::kExpanded);
  EXPECT_TRUE(e.text == expected_prompting) << "the expansion differs";
  EXPECT_EQ(ui.asks.size(), static_cast<std::size_t>(kVariables / 2));

  ASSERT_EQ(Start(0, parameters), "0");
  ASSERT_TRUE(started_.has_value());
  EXPECT_TRUE(started_->CommandText == expected_parameters) << "the expansion differs";
}

// execute's body against the real servers, on their own loopback ports.
class RealServersTest : public StoredJobTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::PrepareRealPeers(), "");
    servers_ = std::make_unique<test::RealServers>();
    ports_ = RemotePorts{servers_->rexec.Port(), servers_->rsh.Port()};
    test::WriteEnvironment(dir_, "Env1", test::PeerEnvironment({{"greeting", "hello"}}));
  }
  void TearDown() override {
    if (servers_ != nullptr) {
      EXPECT_EQ(servers_->Failure(), "");
    }
  }

  std::unique_ptr<test::RealServers> servers_;
  RemotePorts ports_;
};

TEST_F(RealServersTest, RexecOutputComesBackWithCrLfAndTheBusyCursorAroundTheRun) {
  test::WriteJob(dir_, "Job1", {{"Command", "printf 'a\\r\\nb\\n';printf @\"greeting\""}});
  FakeRunUi ui;
  EXPECT_EQ(ExecuteJob(Call(0), ui, ports_), "a\r\r\nb\r\nhello");
  EXPECT_EQ(ui.busy_changes, (std::vector<bool>{true, false}));
}

TEST_F(RealServersTest, RshRunsForProtocolOneAndForAnyOtherValue) {
  test::WriteJob(dir_, "Job1", {{"Command", "echo @\"greeting\";id -un"}});
  for (const std::int32_t protocol : {1, 2, 7}) {
    SCOPED_TRACE(protocol);
    FakeRunUi ui;
    EXPECT_EQ(ExecuteJob(Call(protocol), ui, RemotePorts{1, ports_.rsh}), "hello\r\ncorvrx\r\n")
        << "the rexec port is unusable here, so this went through rsh";
  }
}

TEST_F(RealServersTest, ARunFailureBecomesTheResultText) {
  test::WriteJob(dir_, "Job1", {{"Command", "echo x"}});
  Socket closed = Socket::Create(AF_INET);
  closed.Bind(SocketAddress::Numeric("127.0.0.1", 0));
  const std::uint16_t refusing = closed.LocalAddress().Port();
  closed.Close();
  FakeRunUi ui;
  EXPECT_EQ(ExecuteJob(Call(0), ui, RemotePorts{refusing, refusing}),
            "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(ui.busy_changes, (std::vector<bool>{true, false}));
  test::WriteEnvironment(dir_, "Env1", {{"RPwd", "wrong-pw"}});
  EXPECT_EQ(ExecuteJob(Call(0), ui, ports_), "Connection Closed Gracefully.");
}

}  // namespace
}  // namespace corvane
