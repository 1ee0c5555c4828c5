// The main window with the real libCorvaneDll.so against Debian's real rexec server: a job stored
// in the settings files runs from Execute, in the foreground (its output in the memo) and in the
// background (handed over, its output appended to output.txt); the library's prompt for a flagged
// job variable appears over the main window while the run waits for it on its own thread; and
// against a server that accepts and stays silent the window goes on serving until the run ends.
//
// The library connects to the protocol's fixed port 512; the server of this test listens on a port
// of its own, so this executable defines connect() and sends connections to 127.0.0.1:512 on to
// the server's port.  Everything else goes to the next connect() unchanged.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>

namespace {
std::atomic<std::uint16_t> g_rexec_port{0};
}  // namespace

extern "C" int connect(int fd, const struct sockaddr* address, socklen_t size) {
  using Connect = int (*)(int, const struct sockaddr*, socklen_t);
  static const Connect next = reinterpret_cast<Connect>(::dlsym(RTLD_NEXT, "connect"));
  if (address != nullptr && address->sa_family == AF_INET && size >= sizeof(sockaddr_in)) {
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof in);
    const std::uint16_t to = g_rexec_port.load();
    if (ntohl(in.sin_addr.s_addr) == INADDR_LOOPBACK && ntohs(in.sin_port) == 512 && to != 0) {
      in.sin_port = htons(to);
      return next(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in);
    }
  }
  return next(fd, address, size);
}

#include "console/console_fixture.h"
#include "console/main_window_parts.h"

#ifdef CORVANE_WITH_DLL

#include <QComboBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolBar>

#include "remote/fake_server.h"
#include "remote/remote_command_client.h"

#include "remote/real_peers.h"
#include "remote/stored_settings.h"

namespace corvane {
namespace {

// The real library, with the result buffers it hands out counted as they come back.
class CountingFacade final : public LibraryFacade {
 public:
  explicit CountingFacade(std::shared_ptr<std::atomic<int>> releases)
      : library_(MakeCorvaneDllFacade()), releases_(std::move(releases)) {}
  char* execute(const char* environment, const char* job, std::int32_t protocol, const char* dataDir,
                std::uintptr_t owner) override {
    return library_->execute(environment, job, protocol, dataDir, owner);
  }
  char* executeA(const char* environment, const char* job, std::int32_t protocol, const char* dataDir,
                 const char* parameters) override {
    return library_->executeA(environment, job, protocol, dataDir, parameters);
  }
  void releasebuffer(char* buffer) override {
    ++*releases_;
    library_->releasebuffer(buffer);
  }

 private:
  std::unique_ptr<LibraryFacade> library_;
  std::shared_ptr<std::atomic<int>> releases_;
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::PrepareRealPeers(), "");
    rexec_ = std::make_unique<test::DaemonServer>(test::kRexecDaemon);
    g_rexec_port = rexec_->Port();
    test::WriteEnvironment(dir_, "Env1",
                           {{"RHost", "127.0.0.1"},
                            {"RLogin", test::kPeerUser},
                            {"RPwd", test::kPeerPassword},
                            {"greeting", "hello from the environment"}});
    test::WriteJob(dir_, "Job1", {{"Command", "echo corvane-e2e;echo @\"greeting\""}});
    ui_ = std::make_shared<test::UiLog>();

    const QString dir = QString::fromStdString(dir_.Path());
    ConsoleServices& services = *services_;
    services.library = std::make_unique<CountingFacade>(releases_);
    services.ui = std::make_unique<test::FakeUi>(ui_);
    services.preferences = std::make_unique<Preferences>(dir + "/config/Corvane.conf");
    services.trayBackend = std::make_unique<test::NoTray>();
    services.paths = ProgramPaths::Resolve(dir + "/Corvane", dir + "/fallback");
    services.autostartDir = dir + "/autostart";
    form_ = std::make_unique<MainWindow>(services);
    form_->show();
    ASSERT_EQ(test::EnvironmentList(*form_)->count(), 1);
    ASSERT_EQ(test::JobList(*form_)->count(), 1);
    test::EnvironmentList(*form_)->setCurrentIndex(0);
    test::JobList(*form_)->setCurrentIndex(0);
  }
  void TearDown() override {
    form_.reset();
    if (rexec_) {
      EXPECT_EQ(rexec_->Failure(), "");
    }
  }

  test::Watchdog watchdog_{std::chrono::seconds(150)};
  test::TempDataDir dir_;
  std::unique_ptr<test::DaemonServer> rexec_;
  std::shared_ptr<test::UiLog> ui_;
  std::shared_ptr<std::atomic<int>> releases_ = std::make_shared<std::atomic<int>>(0);
  std::unique_ptr<ConsoleServices> services_ = std::make_unique<ConsoleServices>();  // outlives the window
  std::unique_ptr<MainWindow> form_;
};

TEST_F(EndToEndTest, ForegroundRunShowsTheRemoteOutput) {
  test::ExecuteAndWait(*form_);
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(test::Output(*form_)->toPlainText(), "corvane-e2e\nhello from the environment\n");
  EXPECT_TRUE(form_->menuBar()->isEnabled());
  EXPECT_EQ(releases_->load(), 1);
}

TEST_F(EndToEndTest, TheLibrarysPromptAppearsOverTheWindowAndItsAnswerIsRun) {
  test::WriteJob(dir_, "Job1", {{"Command", "echo corvane-e2e;echo @\"greeting\""}, {"\xA7greeting", "Y"}});
  test::PromptAnswerer prompt(QString::fromLatin1("answered \xA7 here"));
  test::ExecuteAndWait(*form_);
  ASSERT_TRUE(prompt.shown);
  EXPECT_TRUE(prompt.onGuiThread);
  EXPECT_TRUE(prompt.modal);
  EXPECT_EQ(prompt.parent, form_.get());
  EXPECT_EQ(prompt.title, "Job Parameter");
  EXPECT_EQ(prompt.label, "Enter Value for greeting parameter:");
  EXPECT_EQ(prompt.preset, "hello from the environment");
  EXPECT_TRUE(ui_->messages.empty());
  // The answer's 0xA7 goes out as that byte and comes back as that byte: Latin-1 on screen.
  EXPECT_EQ(test::Output(*form_)->toPlainText(), QString::fromLatin1("corvane-e2e\nanswered \xA7 here\n"));
  EXPECT_EQ(releases_->load(), 1);
}

TEST_F(EndToEndTest, ASilentServerLeavesTheWindowServingUntilTheRunEnds) {
  // A server that takes the request and answers nothing until the test lets it close.
  test::Gate close;
  std::atomic<bool> requested{false};
  test::FakeServer silent([&](Socket& connection) {
    test::ReadRequestHeader(connection);
    requested = true;
    close.Wait();
  });
  g_rexec_port = silent.Port();
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  timer.start(1);
  form_->onExecute();
  ASSERT_TRUE(test::PumpUntil([&] { return requested.load() && ticks >= 20; }));
  EXPECT_TRUE(form_->ExecuteRunning());
  EXPECT_FALSE(form_->menuBar()->isEnabled());
  EXPECT_FALSE(test::ToolBar(*form_)->isEnabled());
  EXPECT_EQ(releases_->load(), 0);
  close.Open();
  ASSERT_TRUE(test::PumpUntil([&] { return !form_->ExecuteRunning(); }));
  silent.Join();
  EXPECT_EQ(silent.Failure(), "");
  EXPECT_EQ(test::Output(*form_)->toPlainText(), QString::fromLatin1(kConnectionClosedGracefullyText));
  EXPECT_TRUE(form_->menuBar()->isEnabled());
  EXPECT_EQ(releases_->load(), 1);
}

TEST_F(EndToEndTest, BackgroundRunIsHandedOverAndWritesTheOutputFile) {
  services_->preferences->WriteInteger(pref::EXECBACK, 1);
  test::ExecuteAndWait(*form_);
  EXPECT_EQ(test::Output(*form_)->toPlainText(), "Job was sent to server");
  const std::string output = test::WaitForBlocks(dir_.File("output.txt"), 1);
  EXPECT_NE(output.find("corvane-e2e\r\nhello from the environment\r\n"), std::string::npos) << output;
}

TEST_F(EndToEndTest, ACheckFailureIsShownInTheMemo) {
  test::WriteEnvironment(dir_, "Env1", {{"RPwd", ""}});
  test::ExecuteAndWait(*form_);
  EXPECT_EQ(test::Output(*form_)->toPlainText(), "Error: Invalid Remote Host Password (RPwd)");
}

TEST_F(EndToEndTest, QuittingDuringASilentRunLetsTheRunEndOnItsOwn) {
  test::Gate close;
  std::atomic<bool> requested{false};
  test::FakeServer silent([&](Socket& connection) {
    test::ReadRequestHeader(connection);
    requested = true;
    close.Wait();
  });
  g_rexec_port = silent.Port();
  form_->onExecute();
  ASSERT_TRUE(test::PumpUntil([&] { return requested.load(); }));
  ui_->confirmAnswer = true;  // "Quit now? Its output will be lost."
  EXPECT_TRUE(form_->close());
  ASSERT_EQ(ui_->questions.size(), 1u);
  form_.reset();  // returns although the library is still waiting for the server
  services_.reset();
  close.Open();
  silent.Join();
  // The run leaves the library when the connection closes, hands its buffer back and lets go of
  // the library facade.
  EXPECT_TRUE(test::WaitUntil([&] { return releases_.use_count() == 1; }));
  EXPECT_EQ(releases_->load(), 1);
}

}  // namespace
}  // namespace corvane

#else

TEST(EndToEnd, NeedsTheSharedLibrary) { GTEST_SKIP() << "libCorvaneDll.so is not part of this build"; }

#endif
