// The main window with the real libCorvaneDll.so against Debian's real rexec server: a job stored
// in the settings files runs from Execute, in the foreground (its output in the memo) and in the
// background (handed over, its output appended to output.txt).
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

#ifdef CORVANE_WITH_DLL

#include <QComboBox>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "remote/real_peers.h"
#include "remote/stored_settings.h"

namespace corvane {
namespace {

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
    MainWindowServices services;
    services.library = MakeCorvaneDllFacade();
    services.ui = std::make_unique<test::FakeUi>(ui_);
    services.preferences = std::make_unique<Preferences>(dir + "/config/Corvane.conf");
    services.trayBackend = std::make_unique<test::NoTray>();
    services.paths = ProgramPaths::Resolve(dir + "/Corvane", dir + "/fallback");
    services.autostartDir = dir + "/autostart";
    form_ = std::make_unique<MainWindow>(std::move(services));
    form_->show();
    ASSERT_EQ(form_->environmentList_->count(), 1);
    ASSERT_EQ(form_->jobList_->count(), 1);
    form_->environmentList_->setCurrentIndex(0);
    form_->jobList_->setCurrentIndex(0);
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
  std::unique_ptr<MainWindow> form_;
};

TEST_F(EndToEndTest, ForegroundRunShowsTheRemoteOutput) {
  test::ExecuteAndWait(*form_);
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(form_->output_->toPlainText(), "corvane-e2e\nhello from the environment\n");
  EXPECT_TRUE(form_->menuBar()->isEnabled());
}

TEST_F(EndToEndTest, BackgroundRunIsHandedOverAndWritesTheOutputFile) {
  form_->WriteKeyint(pref::EXECBACK, 1);
  test::ExecuteAndWait(*form_);
  EXPECT_EQ(form_->output_->toPlainText(), "Job was sent to server");
  const std::string output = test::WaitForBlocks(dir_.File("output.txt"), 1);
  EXPECT_NE(output.find("corvane-e2e\r\nhello from the environment\r\n"), std::string::npos) << output;
}

TEST_F(EndToEndTest, ACheckFailureIsShownInTheMemo) {
  test::WriteEnvironment(dir_, "Env1", {{"RPwd", ""}});
  test::ExecuteAndWait(*form_);
  EXPECT_EQ(form_->output_->toPlainText(), "Error: Invalid Remote Host Password (RPwd)");
}

}  // namespace
}  // namespace corvane

#else

TEST(EndToEnd, NeedsTheSharedLibrary) { GTEST_SKIP() << "libCorvaneDll.so is not part of this build"; }

#endif
