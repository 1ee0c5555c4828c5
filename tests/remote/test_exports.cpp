// The three C exports of libCorvaneDll.so, called through the shared library itself: the exported
// symbols, result buffers, failures as result texts (a corrupt stored value among them), execute
// and executeA end to end against Debian's real rexec and rsh servers, concurrent background runs,
// and the operator prompt through the real QInputDialog (QT_QPA_PLATFORM=offscreen).
//
// The library connects to the protocols' fixed ports 512 and 514. The real servers of this test
// listen on ports of their own, so this executable defines connect(): the library's calls reach it
// first, and it sends connections to 127.0.0.1:512 and :514 on to the servers' ports. Everything
// else goes to the next connect() unchanged.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdio.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "remote/corvane_dll.h"

namespace {
std::atomic<std::uint16_t> g_rexec_port{0};
std::atomic<std::uint16_t> g_rsh_port{0};
std::atomic<int> g_redirected{0};
std::atomic<int> g_cursor_at_connect{-2};  // set by the prompt test: the override cursor's shape
std::atomic<bool> g_watch_cursor{false};
int OverrideCursorShape();
}  // namespace

extern "C" int connect(int fd, const struct sockaddr* address, socklen_t size) {
  using Connect = int (*)(int, const struct sockaddr*, socklen_t);
  static const Connect next = reinterpret_cast<Connect>(::dlsym(RTLD_NEXT, "connect"));
  if (g_watch_cursor.load()) g_cursor_at_connect = OverrideCursorShape();
  if (address != nullptr && address->sa_family == AF_INET && size >= sizeof(sockaddr_in)) {
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof in);
    if (ntohl(in.sin_addr.s_addr) == INADDR_LOOPBACK) {
      const std::uint16_t port = ntohs(in.sin_port);
      const std::uint16_t to = port == 512 ? g_rexec_port.load() : port == 514 ? g_rsh_port.load() : 0;
      if (to != 0) {
        in.sin_port = htons(to);
        ++g_redirected;
        return next(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in);
      }
    }
  }
  return next(fd, address, size);
}

#ifdef CORVANE_DLL_FILE

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "cipher/formats/formats.h"
#include "remote/fake_server.h"
#include "remote/real_peers.h"
#include "remote/stored_settings.h"
#include "settings/date_time_text.h"

namespace {

int OverrideCursorShape() {
  if (QCoreApplication::instance() == nullptr) return -1;
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor != nullptr ? static_cast<int>(cursor->shape()) : -1;
}

}  // namespace

namespace corvane {
namespace {

using test::KeyValues;
using test::TempDataDir;

// The text of a result buffer, which is handed back.
std::string Take(char* buffer) {
  EXPECT_NE(buffer, nullptr);
  if (buffer == nullptr) return "<null>";
  std::string text(buffer);
  releasebuffer(buffer);
  return text;
}

std::string Execute(const std::string& environment, const std::string& job, std::int32_t protocol,
                    const std::string& dir, std::uintptr_t owner = 0) {
  return Take(execute(environment.c_str(), job.c_str(), protocol, dir.c_str(), owner));
}

std::string ExecuteA(const std::string& environment, const std::string& job, std::int32_t protocol,
                     const std::string& dir, const std::string& parameters) {
  return Take(executeA(environment.c_str(), job.c_str(), protocol, dir.c_str(), parameters.c_str()));
}

TEST(ExportedSymbols, ExactlyTheThreeExports) {
  const std::string command = std::string("nm -D --defined-only '") + CORVANE_DLL_FILE + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  ASSERT_TRUE(pipe);
  std::string listing;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) listing += line;
  std::set<std::string> names;
  std::istringstream lines(listing);
  for (std::string entry; std::getline(lines, entry);) {
    const std::size_t blank = entry.rfind(' ');
    names.insert(blank == std::string::npos ? entry : entry.substr(blank + 1));
  }
  EXPECT_EQ(names, (std::set<std::string>{"execute", "executeA", "releasebuffer"})) << listing;
}

TEST(ResultBuffers, NullArgumentsReadAsEmptyAndNullIsReleasedSafely) {
  // An empty data directory names "/CorvaneEnv.ini", which does not exist: no host.
  EXPECT_EQ(Take(execute(nullptr, nullptr, 0, nullptr, 0)), "Error: Invalid Host Name (RHost)");
  EXPECT_EQ(Take(executeA(nullptr, nullptr, 0, nullptr, nullptr)), "Error: Invalid Host Name (RHost)");
  releasebuffer(nullptr);
}

// The application of a test that shows the library's real dialogs: offscreen unless the
// environment names a platform.
class TestApplication {
 public:
  TestApplication() : app_(PlatformChosen(), argv_) {}

 private:
  static int& PlatformChosen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    return argc;
  }

  char name_[20] = "remote_test_exports";
  char* argv_[2] = {name_, nullptr};
  QApplication app_;
};

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::PrepareRealPeers(), "");
    servers_ = std::make_unique<test::RealServers>();
    g_rexec_port = servers_->rexec.Port();
    g_rsh_port = servers_->rsh.Port();
    test::WriteEnvironment(dir_, "Env1", test::PeerEnvironment({{"greeting", "hello"}}));
  }
  void TearDown() override {
    if (servers_ != nullptr) {
      EXPECT_EQ(servers_->Failure(), "");
    }
  }

  std::string Dir() const { return dir_.Path(); }
  std::string OutputPath() const { return dir_.File("output.txt"); }

  TempDataDir dir_;
  std::unique_ptr<test::RealServers> servers_;
};

TEST_F(ExportsTest, ChecksComeBackAsTheirTextsFromBothExports) {
  struct Case {
    KeyValues environment;
    KeyValues job;
    std::int32_t protocol;
    const char* expected;
  };
  const Case cases[] = {
      {{{"RHost", ""}}, {{"Command", "true"}}, 0, "Error: Invalid Host Name (RHost)"},
      {{{"RHost", "h"}, {"RLogin", ""}}, {{"Command", "true"}}, 0, "Error: Invalid Remote User Name (RLogin)"},
      {{{"RLogin", "u"}, {"LLogin", ""}}, {{"Command", "true"}}, 1, "Error: Invalid Local User Name (LLogin)"},
      {{{"LLogin", "l"}, {"RPwd", ""}}, {{"Command", "true"}}, 0, "Error: Invalid Remote Host Password (RPwd)"},
      {{{"RPwd", "p"}}, {{"Command", ""}}, 0, "Unable to find the Remote Host Job Command"},
      {{}, {{"Command", "echo @\"x"}}, 0, "\" missing after parameter x"},
  };
  // Each case changes the files of the one before it.
  TempDataDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    test::WriteEnvironment(dir, "E", c.environment);
    test::WriteJob(dir, "J", c.job);
    EXPECT_EQ(Execute("E", "J", c.protocol, dir.Path()), c.expected);
    EXPECT_EQ(ExecuteA("E", "J", c.protocol, dir.Path(), ""), c.expected);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("output.txt")));
}

TEST_F(ExportsTest, ExecuteReturnsTheRemoteOutputWithCrLf) {
  test::WriteJob(dir_, "Job1", {{"Command", " printf 'a\\r\\nb\\n';echo @\"greeting\" "}});
  g_redirected = 0;
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir()), "a\r\r\nb\r\nhello\r\n");
  EXPECT_EQ(g_redirected.load(), 1) << "the library's connection went past this test's connect()";
  test::WriteJob(dir_, "Job2", {{"Command", "id -un;echo @\"greeting\" >&2;echo done"}});
  EXPECT_EQ(Execute("Env1", "Job2", 1, Dir()), "corvrx\r\ndone\r\n") << "rsh; stderr stays out of the result";
  EXPECT_EQ(Execute("env1", "JOB2", 2, Dir()), "corvrx\r\ndone\r\n") << "protocol 2 runs rsh too";
}

TEST_F(ExportsTest, ACommandThatReadsItsInputEndsInBothExports) {
  test::WriteJob(dir_, "Cat", {{"Command", "cat;echo after-cat"}});
  test::WriteJob(dir_, "Read", {{"Command", "read x;echo got $x"}});
  EXPECT_EQ(Execute("Env1", "Cat", 0, Dir()), "after-cat\r\n");
  EXPECT_EQ(Execute("Env1", "Read", 1, Dir()), "got\r\n");
  EXPECT_EQ(ExecuteA("Env1", "Read", 0, Dir(), ""), "0");
  const std::vector<std::string> blocks = test::SplitBlocks(test::WaitForBlocks(OutputPath(), 1));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_NE(blocks[0].find("\r\nResult: \r\ngot\r\n\r\n"), std::string::npos) << blocks[0];
}

// A result buffer handed back twice, or a pointer the library never gave, is ignored and reported;
// the large results of later runs (which reuse the mapping of an earlier one) are whole.
TEST_F(ExportsTest, AWrongReleaseIsIgnoredAndLaterLargeResultsAreWhole) {
  test::WriteJob(dir_, "Large", {{"Command", "seq 1 300000"}});
  test::WriteJob(dir_, "Small", {{"Command", "echo small"}});
  std::string expected;
  for (int i = 1; i <= 300000; ++i) expected += std::to_string(i) + "\r\n";
  char foreign[64];
  std::memset(foreign, 0x7F, sizeof foreign);
  for (const char* job : {"Large", "Small"}) {
    SCOPED_TRACE(job);
    char* result = execute("Env1", job, 0, Dir().c_str(), 0);
    ASSERT_NE(result, nullptr);
    releasebuffer(result);
    for (char* wrong : {result, foreign + 32}) {
      ::testing::internal::CaptureStderr();
      releasebuffer(wrong);
      const std::string report = ::testing::internal::GetCapturedStderr();
      EXPECT_NE(report.find("releasebuffer ignored"), std::string::npos) << report;
    }
    for (int run = 0; run < 2; ++run) {
      const std::string large = Execute("Env1", "Large", 0, Dir());
      EXPECT_EQ(large.size(), expected.size());
      EXPECT_TRUE(large == expected);
    }
  }
}

TEST_F(ExportsTest, ExecuteReturnsARunFailureAsItsText) {
  test::WriteJob(dir_, "Job1", {{"Command", "echo x"}});
  Socket closed = Socket::Create(AF_INET);
  closed.Bind(SocketAddress::Numeric("127.0.0.1", 0));
  g_rexec_port = closed.LocalAddress().Port();
  closed.Close();
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir()), "Socket Error # 10061\r\nConnection refused.");
  test::WriteJob(dir_, "Job2", {{"Command", " @\"nothing\" "}});
  EXPECT_EQ(Execute("Env1", "Job2", 0, Dir()), " ");
}

TEST_F(ExportsTest, ACorruptStoredValueReturnsItsErrorTextAndTheProcessLives) {
  std::string expected;
  try {
    TCipherManager manager;
    InitStoredValueManager(manager);
    manager.DecryptText("corrupt!value");
  } catch (const EStringFormat& e) {
    expected = e.what();
  }
  ASSERT_EQ(expected, "Input is not an valid MIME Base 64 Format.");
  test::WriteJob(dir_, "Job1", {{"Command", "echo @\"v\""}});
  test::WriteRaw(dir_.File("CorvaneJob.ini"), "Job1", "v", "corrupt!value");
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir()), expected);
  EXPECT_EQ(ExecuteA("Env1", "Job1", 0, Dir(), ""), expected);
  test::WriteRaw(dir_.File("CorvaneEnv.ini"), "Env1", "RHost", "corrupt!value");
  EXPECT_EQ(Execute("Env1", "Job1", 1, Dir()), expected);
  // The library goes on serving calls.
  test::WriteEnvironment(dir_, "Env1", {{"RHost", "127.0.0.1"}});
  test::WriteJob(dir_, "Job1", {{"v", "fine"}});
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir()), "fine\r\n");
}

// The block with its date-time line (line 2) replaced by "<date>", which must be a date-time text.
std::string WithoutDateLine(const std::string& block) {
  const std::size_t first = block.find("\r\n");
  const std::size_t second = first == std::string::npos ? first : block.find("\r\n", first + 2);
  if (second == std::string::npos) return "<no date line> " + block;
  const std::string date = block.substr(first + 2, second - first - 2);
  EXPECT_TRUE(TryParseDateTimeText(date).has_value()) << date;
  return block.substr(0, first + 2) + "<date>" + block.substr(second);
}

std::string ExpectedBlock(std::string_view command, std::string_view line7) {
  return "*************************************\r\n<date>\r\nCommand: " + std::string(command) +
         "\r\nHost: 127.0.0.1\r\n-------------------------------------\r\nResult: \r\n" + std::string(line7) +
         "\r\n*************************************\r\n\r\n";
}

TEST_F(ExportsTest, ExecuteAReturnsZeroAndTheWorkerAppendsItsBlock) {
  test::WriteJob(dir_, "Job1", {{"Command", "printf '%s\\n' @\"a\" @\"b\";printf 'c\\r\\n'"}, {"a", "stored"}});
  EXPECT_EQ(ExecuteA("Env1", "Job1", 0, Dir(), "b=2&a=1"), "0");
  const std::vector<std::string> first = test::SplitBlocks(test::WaitForBlocks(OutputPath(), 1));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(WithoutDateLine(first[0]),
            ExpectedBlock("printf '%s\\n' 1 2 ; printf 'c\\r\\n'", "1\r\n2\r\nc\r\r\n"));

  // A second run over rsh, whose connection fails, goes to the end of the file.
  Socket closed = Socket::Create(AF_INET);
  closed.Bind(SocketAddress::Numeric("127.0.0.1", 0));
  g_rsh_port = closed.LocalAddress().Port();
  closed.Close();
  EXPECT_EQ(ExecuteA("Env1", "Job1", 1, Dir(), "a=&b=x"), "0");
  const std::vector<std::string> both = test::SplitBlocks(test::WaitForBlocks(OutputPath(), 2));
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0], first[0]);
  EXPECT_EQ(WithoutDateLine(both[1]),
            ExpectedBlock("printf '%s\\n'  x ; printf 'c\\r\\n'", "Socket Error # 10061\r\nConnection refused."));
}

TEST_F(ExportsTest, EightConcurrentExecuteACallsGiveEightWholeUnmixedBlocks) {
  test::WriteJob(dir_, "Job1", {{"Command", "for i in $(seq 1 400);do echo \"run @\"n\" line $i\";done"}});
  constexpr int kRuns = 8;
  std::vector<std::string> results(kRuns);
  std::vector<std::thread> callers;
  for (int n = 0; n < kRuns; ++n) {
    callers.emplace_back(
        [&, n] { results[n] = ExecuteA("Env1", "Job1", n % 2, Dir(), "n=" + std::to_string(n)); });
  }
  for (std::thread& t : callers) t.join();
  for (const std::string& r : results) EXPECT_EQ(r, "0");
  const std::vector<std::string> blocks = test::SplitBlocks(test::WaitForBlocks(OutputPath(), kRuns));
  std::multiset<std::string> got;
  for (const std::string& b : blocks) got.insert(WithoutDateLine(b));
  std::multiset<std::string> expected;
  for (int n = 0; n < kRuns; ++n) {
    std::string output;
    for (int i = 1; i <= 400; ++i) output += "run " + std::to_string(n) + " line " + std::to_string(i) + "\r\n";
    expected.insert(
        ExpectedBlock("for i in $(seq 1 400) ; do echo \"run " + std::to_string(n) + " line $i\" ; done", output));
  }
  EXPECT_EQ(blocks.size(), static_cast<std::size_t>(kRuns));
  EXPECT_TRUE(got == expected) << "blocks were torn, mixed or lost";
}

// A fake rexec server for many runs: answers each connection in turn with a NUL status byte and
// "ran " + the command, and never connects back. Its listener is made at construction, its thread
// only by Serve(), so that a child can be forked before it runs.
class ManyRunsServer {
 public:
  ManyRunsServer() : listener_(Socket::Create(AF_INET)) {
    listener_.Bind(SocketAddress::Numeric("127.0.0.1", 0));
    listener_.Listen(4096);
    port_ = listener_.LocalAddress().Port();
    stop_.Reset(::eventfd(0, EFD_CLOEXEC));
  }
  ~ManyRunsServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_.Get(), &one, sizeof one);
    if (thread_.joinable()) thread_.join();
  }
  ManyRunsServer(const ManyRunsServer&) = delete;
  ManyRunsServer& operator=(const ManyRunsServer&) = delete;

  std::uint16_t Port() const { return port_; }
  void Serve() {
    thread_ = std::thread([this] {
      for (;;) {
        pollfd fds[2] = {{listener_.Handle(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
          if (errno == EINTR) continue;
          return;
        }
        if (fds[1].revents != 0) return;
        const int fd = ::accept4(listener_.Handle(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Socket connection{posix::Descriptor(fd)};
        connection.SetTimeout(std::chrono::seconds(20));
        try {
          const test::RequestHeader header = test::ReadRequestHeader(connection);
          connection.SendAll(std::string(1, '\0') + "ran " + header.command + "\n");
        } catch (const std::exception&) {
        }
      }
    });
  }

 private:
  Socket listener_;
  std::uint16_t port_ = 0;
  posix::Descriptor stop_;
  std::thread thread_;
};

// 10 000 executeA calls at once, in a process whose soft descriptor limit is 1024, give 10 000
// whole blocks: runs beyond what the process can hold wait for their turn instead of failing.
TEST(ManyRuns, TenThousandConcurrentExecuteACallsUnderA1024DescriptorLimitGiveTenThousandBlocks) {
  constexpr int kRuns = 10000;
  TempDataDir dir;
  test::WriteEnvironment(dir, "Env1", test::PeerEnvironment());
  test::WriteJob(dir, "Job1", {{"Command", "echo run @\"n\""}});
  const std::string output = dir.File("output.txt");
  ManyRunsServer server;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(2);
    limit.rlim_cur = 1024;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(2);
    g_rexec_port = server.Port();
    int refused = 0;
    for (int n = 0; n < kRuns; ++n) {
      const std::string parameters = "n=" + std::to_string(n);
      char* result = executeA("Env1", "Job1", 0, dir.Path().c_str(), parameters.c_str());
      if (result == nullptr || std::string_view(result) != "0") ++refused;
      releasebuffer(result);
    }
    // Bounded wait for the blocks; the parent checks them.
    test::WaitForBlocks(output, kRuns, std::chrono::seconds(150));
    ::_exit(refused == 0 ? 0 : 3);
  }
  server.Serve();
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  pid_t ended = 0;
  while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the runs did not end";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "2: no descriptor limit could be set; 3: an executeA call did not return \"0\"";
  const std::vector<std::string> blocks = test::SplitBlocks(test::ReadWholeFile(output).value_or(""));
  EXPECT_EQ(blocks.size(), static_cast<std::size_t>(kRuns));
  std::multiset<std::string> got;
  for (const std::string& b : blocks) got.insert(WithoutDateLine(b));
  std::multiset<std::string> expected;
  for (int n = 0; n < kRuns; ++n) {
    const std::string command = "echo run " + std::to_string(n);
    expected.insert(ExpectedBlock(command, "ran " + command + "\r\n"));
  }
  EXPECT_TRUE(got == expected) << "blocks were lost, torn or mixed";
}

TEST_F(ExportsTest, WithoutAQApplicationAFlaggedVariableCountsAsCancelled) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  test::WriteJob(dir_, "Job1", {{"Command", "echo @\"v\""}, {"v", "x"}, {"\xA7v", "Y"}});
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir()), "The Job was cancelled");
  EXPECT_EQ(ExecuteA("Env1", "Job1", 0, Dir(), ""), "0") << "executeA asks nobody";
  EXPECT_EQ(test::SplitBlocks(test::WaitForBlocks(OutputPath(), 1)).size(), 1u);
}

// Answers the next modal input dialog from within its own event loop.
struct DialogAnswer {
  QString title, label, preset;
  QWidget* parent = nullptr;
  bool seen = false;
};

void AnswerNextDialog(DialogAnswer& seen, const QString& typed, bool accept) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &seen, typed, accept] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    timer->stop();
    timer->deleteLater();
    seen.seen = true;
    seen.title = dialog->windowTitle();
    seen.label = dialog->labelText();
    seen.preset = dialog->textValue();
    seen.parent = dialog->parentWidget();
    if (accept) {
      dialog->setTextValue(typed);
      dialog->accept();
    } else {
      dialog->reject();
    }
  });
  timer->start();
}

TEST_F(ExportsTest, ThePromptIsARealInputDialogOwnedByTheCallersWindow) {
  const TestApplication app;
  QWidget owner;
  owner.setWindowTitle("owner");
  owner.show();
  const auto handle = static_cast<std::uintptr_t>(owner.winId());
  ASSERT_EQ(QWidget::find(owner.winId()), &owner);

  test::WriteJob(dir_, "Job1",
                 {{"Command", "echo @\"Value\";echo @\"VALUE\" @\"other\""},
                  {"value", "pre set"},
                  {"\xA7value", "Y"},
                  {"other", "o"}});
  DialogAnswer seen;
  AnswerNextDialog(seen, QString::fromLatin1("typed \xE9 text"), true);
  g_watch_cursor = true;
  g_cursor_at_connect = -2;
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir(), handle), "typed \xE9 text\r\ntyped \xE9 text o\r\n");
  g_watch_cursor = false;
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, QStringLiteral("Job Parameter"));
  EXPECT_EQ(seen.label, QStringLiteral("Enter Value for Value parameter:"));
  EXPECT_EQ(seen.preset, QStringLiteral("pre set"));
  EXPECT_EQ(seen.parent, &owner);
  EXPECT_EQ(g_cursor_at_connect.load(), static_cast<int>(Qt::WaitCursor)) << "no wait cursor during the run";
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the cursor was not restored";

  DialogAnswer cancelled;
  AnswerNextDialog(cancelled, {}, false);
  EXPECT_EQ(Execute("Env1", "Job1", 0, Dir(), handle), "The Job was cancelled");
  EXPECT_TRUE(cancelled.seen);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  // Called from another thread, the prompt still opens on the GUI thread, owned by the window.
  DialogAnswer from_thread;
  AnswerNextDialog(from_thread, QStringLiteral("worker"), true);
  std::atomic<bool> done{false};
  std::string result;
  std::thread caller([&] {
    result = Execute("Env1", "Job1", 0, Dir(), handle);
    done = true;
  });
  for (int i = 0; i < 12000 && !done; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  caller.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(result, "worker\r\nworker o\r\n");
  EXPECT_TRUE(from_thread.seen);
  EXPECT_EQ(from_thread.parent, &owner);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the cursor was not restored";
}

// Answers the modal windows of the prompt in turn, from within their own event loops: each input
// dialog takes the next answer (none: Cancel), each message box is noted and closed with OK.
class PromptScript {
 public:
  explicit PromptScript(std::vector<std::optional<QString>> answers) : answers_(std::move(answers)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(10);
  }

  std::vector<QString> presets;   // the field's text each time the question came up
  std::vector<QString> messages;  // "title: text" of each message box
  std::vector<QWidget*> message_parents;

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      messages.push_back(box->windowTitle() + QStringLiteral(": ") + box->text());
      message_parents.push_back(box->parentWidget());
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
      } else {
        box->reject();
      }
      return;
    }
    auto* dialog = qobject_cast<QInputDialog*>(modal);
    if (dialog == nullptr || next_ >= answers_.size()) return;
    presets.push_back(dialog->textValue());
    const std::optional<QString>& answer = answers_[next_++];
    if (answer) {
      dialog->setTextValue(*answer);
      dialog->accept();
    } else {
      dialog->reject();
    }
  }

  std::vector<std::optional<QString>> answers_;
  std::size_t next_ = 0;
  QTimer timer_;
};

TEST_F(ExportsTest, AnAnswerOutsideLatin1IsRefusedAndAskedAgain) {
  const TestApplication app;
  QWidget owner;
  owner.show();
  const auto handle = static_cast<std::uintptr_t>(owner.winId());
  test::WriteJob(dir_, "Job1",
                 {{"Command", "echo @\"file\""},
                  {"file", "a.txt"},
                  {"\xA7"
                   "file",
                   "Y"}});
  const QString cyrillic = QString::fromUtf8("\xD1\x84.txt");  // "ф.txt"
  const QString refusal =
      QStringLiteral("Job Parameter: The value may only hold characters of the Latin-1 character set");

  {
    PromptScript script({cyrillic, QString::fromLatin1("f\xE9.txt")});
    EXPECT_EQ(Execute("Env1", "Job1", 0, Dir(), handle), "f\xE9.txt\r\n");
    EXPECT_EQ(script.presets, (std::vector<QString>{QStringLiteral("a.txt"), cyrillic}))
        << "asked again with the text as typed";
    EXPECT_EQ(script.messages, std::vector<QString>{refusal});
    EXPECT_EQ(script.message_parents, std::vector<QWidget*>{&owner});
  }
  {
    PromptScript script({cyrillic, cyrillic, std::nullopt});
    EXPECT_EQ(Execute("Env1", "Job1", 0, Dir(), handle), "The Job was cancelled");
    EXPECT_EQ(script.presets, (std::vector<QString>{QStringLiteral("a.txt"), cyrillic, cyrillic}));
    EXPECT_EQ(script.messages, (std::vector<QString>{refusal, refusal}));
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace corvane

#else  // built without the Qt parts: there is no shared library to test

namespace {
int OverrideCursorShape() { return -1; }
}  // namespace

TEST(Exports, NeedTheSharedLibrary) { GTEST_SKIP() << "libCorvaneDll.so is built only with CORVANE_GUI"; }

#endif
