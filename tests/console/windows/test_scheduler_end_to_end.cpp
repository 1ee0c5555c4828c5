// The scheduler end to end: a scheduled job that is due now runs through the real
// libCorvaneDll.so against Debian's real rexec server; log.txt and output.txt get their blocks and
// the job is rescheduled in the schedule file.
//
// The library connects to the fixed rexec port 512 on 127.0.0.1. So that the run needs no port of
// the machine (the rsh tests hold the reserved ports), the test runs itself again inside a network
// namespace of its own (unshare --net), where its server (the remote tests' DaemonServer) listens
// on 127.0.0.1:512; the outer test checks that run. The library is loaded from the build tree.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <net/if.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "console/console_fixture.h"
#include "console/core/scheduler_worker.h"
#include "console/components/scheduler_service.h"
#include "remote/real_peers.h"
#include "settings/stored_values.h"

extern char** environ;

namespace corvane {
namespace {

constexpr const char* kChildVariable = "CORVANE_SCHEDULER_E2E_DIR";
const std::string kLibraryPath = std::string(CORVANE_BINARY_DIR) + "/console/libCorvaneDll.so";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// ---- the outer test ------------------------------------------------------------------------------

// Runs this test binary again, in a network namespace of its own, running only the inner test
// `inner` on `directory`; fails unless that test ran and passed.
void RunInsideOwnNetwork(const std::string& inner, const std::string& directory) {
  ASSERT_EQ(test::PrepareRealPeers(), "");
  ASSERT_EQ(::access(test::DaemonPath(test::kRexecDaemon).c_str(), X_OK), 0) << "in.rexecd is missing";
  ASSERT_EQ(::access(kLibraryPath.c_str(), R_OK), 0) << kLibraryPath << " is not built";
  const std::string report = directory + "/child.txt";

  // This test binary again, in a network namespace of its own, running only the inner test.
  std::string self(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  ASSERT_GT(length, 0);
  self.resize(static_cast<std::size_t>(length));
  std::vector<std::string> args = {"unshare", "--net", self, "--gtest_also_run_disabled_tests",
                                   "--gtest_filter=SchedulerEndToEndInside." + inner};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env = {std::string(kChildVariable) + "=" + directory};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, kChildVariable, std::strlen(kChildVariable)) != 0) env.emplace_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, "unshare", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_EQ(rc, 0) << "cannot start unshare";

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      FAIL() << "the inner run did not end in time:\n" << ReadBytes(report);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::string output = ReadBytes(report);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  // The inner test really ran (and was not filtered away).
  ASSERT_NE(output.find("[       OK ] SchedulerEndToEndInside." + inner), std::string::npos) << output;
}

TEST(SchedulerEndToEnd, DueJobRunsAgainstTheRealRexecServer) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string directory = dir.path().toStdString();
  RunInsideOwnNetwork("DISABLED_RunsAndRecords", directory);
  if (HasFatalFailure()) return;

  // What it left behind.
  const std::string log = ReadBytes(directory + "/log.txt");
  EXPECT_EQ(Count(log, std::string(37, '*') + "\r\n"), 1u) << log;
  EXPECT_NE(log.find("\r\nSchedule Job Name: Nightly\r\n" + std::string(37, '-') +
                     "\r\nJob Start Successfully.\r\nView Job log in Output file\r\n" + std::string(37, '-') +
                     "\r\n"),
            std::string::npos)
      << log;
  const std::string out = ReadBytes(directory + "/output.txt");
  EXPECT_NE(out.find("corvane-42\r\n"), std::string::npos) << out;
}

// The scheduled job's own parameter values reach the remote command, each name with its own value
// although "a" is the ending of "xa" and the file holds xa before a; a value holding "=" is
// carried as it is, and a parameter without a value of its own keeps the job's, also b, which
// "zb=7" would otherwise give the value 7.
TEST(SchedulerEndToEnd, ScheduledRunUsesItsOwnParameterValues) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string directory = dir.path().toStdString();
  RunInsideOwnNetwork("DISABLED_PassesItsOwnValues", directory);
  if (HasFatalFailure()) return;
  const std::string out = ReadBytes(directory + "/output.txt");
  EXPECT_NE(out.find("who=sched a=1 xa=5 b=job-b zb=7 opt=--level=3\r\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("world"), std::string::npos) << out;
}

// ---- the inner test: inside its own network namespace -----------------------------------------------

// A loopback interface that is up.
void BringUpLoopback() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot read the flags of lo");
  }
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
  const int rc = ::ioctl(fd, SIOCSIFFLAGS, &request);
  ::close(fd);
  if (rc != 0) throw std::runtime_error("cannot bring lo up");
}

// The library's three exports, loaded from the build tree.
class LoadedLibrary final : public LibraryFacade {
 public:
  LoadedLibrary() {
    handle_ = ::dlopen(kLibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
    execute_ = reinterpret_cast<Execute>(::dlsym(handle_, "execute"));
    executeA_ = reinterpret_cast<ExecuteA>(::dlsym(handle_, "executeA"));
    release_ = reinterpret_cast<Release>(::dlsym(handle_, "releasebuffer"));
    if (execute_ == nullptr || executeA_ == nullptr || release_ == nullptr) {
      throw std::runtime_error("the library lacks an export");
    }
  }
  // The library stays loaded: its background workers may still be ending.
  char* execute(const char* e, const char* j, std::int32_t p, const char* d, std::uintptr_t o) override {
    return execute_(e, j, p, d, o);
  }
  char* executeA(const char* e, const char* j, std::int32_t p, const char* d, const char* v) override {
    return executeA_(e, j, p, d, v);
  }
  void releasebuffer(char* buffer) override { release_(buffer); }

 private:
  using Execute = char* (*)(const char*, const char*, std::int32_t, const char*, std::uintptr_t);
  using ExecuteA = char* (*)(const char*, const char*, std::int32_t, const char*, const char*);
  using Release = void (*)(char*);
  void* handle_ = nullptr;
  Execute execute_ = nullptr;
  ExecuteA executeA_ = nullptr;
  Release release_ = nullptr;
};

// The services of the program in `directory` over the real library and a scheduler worker that
// runs due jobs; `ui` records what the program would show.
ConsoleServices RealProgramIn(const std::string& directory, std::shared_ptr<test::UiLog> ui) {
  ConsoleServices services;
  services.library = std::make_unique<LoadedLibrary>();
  services.ui = std::make_unique<test::FakeUi>(std::move(ui));
  const QString dir = QString::fromStdString(directory);
  services.preferences = std::make_unique<Preferences>(dir + "/config/Corvane.conf");
  services.trayBackend = std::make_unique<test::NoTray>();
  services.paths = ProgramPaths::Resolve(dir + "/Corvane", dir + "/fallback");
  services.autostartDir = dir + "/autostart";
  services.scheduler =
      std::make_unique<SchedulerService>(MakeSchedulerLoop(services.library, services.paths.DataDirBytes()));
  return services;
}

// The environment "Env1": the peer account on this host's loopback address.
void WriteLoopbackEnvironment(const StoredValues& values, const std::string& directory) {
  IniFile environments;
  values.Write(environments, "Env1", "RHost", "127.0.0.1");
  values.Write(environments, "Env1", "RLogin", test::kPeerUser);
  values.Write(environments, "Env1", "RPwd", test::kPeerPassword);
  environments.WriteBack(directory + "/CorvaneEnv.ini");
}

// The start of the minute before `now`: a start there is due at once.
LocalDateTime TheMinuteBefore(LocalDateTime now) {
  now.second = 0;
  now.millisecond = 0;
  return AddMinutes(now, -1);
}

// Once the program's output file holds `marker`, ends the program as closing its window does;
// the server then saw one sound connection and the program showed no message.
void ExpectOutputThenEnd(const std::string& directory, const std::string& marker, std::unique_ptr<MainWindow> form,
                         test::DaemonServer& server, const test::UiLog& ui) {
  EXPECT_TRUE(
      test::PumpUntil([&] { return ReadBytes(directory + "/output.txt").find(marker) != std::string::npos; },
                      std::chrono::seconds(30)))
      << ReadBytes(directory + "/output.txt");
  form->close();
  form->ShutdownWorker();
  form.reset();
  EXPECT_EQ(server.Connections(), 1u);
  EXPECT_EQ(server.Failure(), "");
  EXPECT_TRUE(ui.messages.empty());
}

TEST(SchedulerEndToEndInside, DISABLED_RunsAndRecords) {
  const char* where = std::getenv(kChildVariable);
  ASSERT_NE(where, nullptr) << "runs only inside the outer test";
  const std::string directory = where;
  BringUpLoopback();
  test::DaemonServer server(test::kRexecDaemon, 512);  // in.rexecd on 127.0.0.1:512

  TCipherManager cipher;
  InitStoredValueManager(cipher);
  const StoredValues values(cipher);
  WriteLoopbackEnvironment(values, directory);
  IniFile jobs;
  values.Write(jobs, "Job1", "Command", "echo corvane-$((6*7));");
  jobs.WriteBack(directory + "/CorvaneJob.ini");
  // Due now: started a minute ago, every day.
  const LocalDateTime start = TheMinuteBefore(SystemClock().Now());
  const std::string startText = FormatDateTimeText(start);
  const std::string nextText = FormatDateTimeText(AddDays(start, 1));
  const std::string schedulePath = directory + "/CorvaneSchd.ini";
  IniFile schedule;
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{{"active", "1"},
                                                                                   {"once", "0"},
                                                                                   {"start", startText},
                                                                                   {"every", "1"},
                                                                                   {"time", "0"},
                                                                                   {"job", "Job1"},
                                                                                   {"envir", "Env1"},
                                                                                   {"prot", "Remote Exec"}}) {
    values.Write(schedule, "Nightly", key, value);
  }
  schedule.WriteBack(schedulePath);

  auto ui = std::make_shared<test::UiLog>();
  ConsoleServices services = RealProgramIn(directory, ui);
  auto form = std::make_unique<MainWindow>(services);
  form->show();  // starts the scheduler worker

  // Rescheduled in the file, then the library's worker appends the remote output.
  ASSERT_TRUE(test::PumpUntil([&] { return values.Read(IniFile(schedulePath), "Nightly", "start") == nextText; },
                              std::chrono::seconds(30)));
  EXPECT_FALSE(values.Read(IniFile(schedulePath), "Nightly", "last").empty());
  EXPECT_EQ(values.Read(IniFile(schedulePath), "Nightly", "active"), "1");
  ExpectOutputThenEnd(directory, "corvane-42", std::move(form), server, *ui);
}

TEST(SchedulerEndToEndInside, DISABLED_PassesItsOwnValues) {
  const char* where = std::getenv(kChildVariable);
  ASSERT_NE(where, nullptr) << "runs only inside the outer test";
  const std::string directory = where;
  BringUpLoopback();
  test::DaemonServer server(test::kRexecDaemon, 512);

  TCipherManager cipher;
  InitStoredValueManager(cipher);
  const StoredValues values(cipher);
  WriteLoopbackEnvironment(values, directory);
  IniFile jobs;
  values.Write(jobs, "Job2", "Command", "echo who=@\"who\" a=@\"a\" xa=@\"xa\" b=@\"b\" zb=@\"zb\" opt=@\"opt\"");
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{{"who", "world"},
                                                                                    {"a", "job-a"},
                                                                                    {"xa", "job-xa"},
                                                                                    {"b", "job-b"},
                                                                                    {"zb", "job-zb"},
                                                                                    {"opt", "none"}}) {
    values.Write(jobs, "Job2", name, value);
  }
  jobs.WriteBack(directory + "/CorvaneJob.ini");
  const LocalDateTime start = TheMinuteBefore(SystemClock().Now());
  const std::string schedulePath = directory + "/CorvaneSchd.ini";
  IniFile schedule;
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"active", "1"},
                                                        {"once", "1"},
                                                        {"start", FormatDateTimeText(start)},
                                                        {"job", "Job2"},
                                                        {"envir", "Env1"},
                                                        {"prot", "Remote Exec"},
                                                        {"\xA7who", "sched"},
                                                        {"\xA7xa", "5"},
                                                        {"\xA7"
                                                         "a",
                                                         "1"},
                                                        {"\xA7opt", "--level=3"},
                                                        {"\xA7zb", "7"}}) {
    values.Write(schedule, "Values", key, value);
  }
  schedule.WriteBack(schedulePath);

  auto ui = std::make_shared<test::UiLog>();
  ConsoleServices services = RealProgramIn(directory, ui);
  auto form = std::make_unique<MainWindow>(services);
  form->show();

  ASSERT_TRUE(test::PumpUntil([&] { return values.Read(IniFile(schedulePath), "Values", "active") == "0"; },
                              std::chrono::seconds(30)));
  ExpectOutputThenEnd(directory, "who=", std::move(form), server, *ui);
}

}  // namespace
}  // namespace corvane
