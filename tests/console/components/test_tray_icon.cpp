// The notification-area icon component over a fake notification area (offscreen has none), and
// once over the real one.
#include "console/components/tray_icon.h"

#include "console/qt_test_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace corvane {
namespace {

struct TrayCall {
  std::string op;  // "add", "modify", "delete"
  QString tip;
  bool iconSet = false;
  bool operator==(const TrayCall& o) const { return op == o.op && tip == o.tip; }
};

// Outlives the component, so the destructor's calls can be checked.
struct TrayLog {
  bool available = true;
  std::vector<TrayCall> calls;
  std::function<void(QSystemTrayIcon::ActivationReason)>* activated = nullptr;
};

class FakeTrayBackend final : public TrayBackend {
 public:
  explicit FakeTrayBackend(std::shared_ptr<TrayLog> log) : log_(std::move(log)) { log_->activated = &Activated; }
  ~FakeTrayBackend() override { log_->activated = nullptr; }
  bool Available() const override { return log_->available; }
  void Add(const QIcon& icon, const QString& tip) override { log_->calls.push_back({"add", tip, !icon.isNull()}); }
  void Modify(const QIcon& icon, const QString& tip) override {
    log_->calls.push_back({"modify", tip, !icon.isNull()});
  }
  void Delete() override { log_->calls.push_back({"delete", {}, false}); }

 private:
  std::shared_ptr<TrayLog> log_;
};

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<QWidget>();
    window_->show();
    log_ = std::make_shared<TrayLog>();
    tray_ = new TrayIcon(window_.get(), std::make_unique<FakeTrayBackend>(log_));
    tray_->SetHint("Corvane 2.0");
  }
  void TearDown() override { window_.reset(); }  // takes the component with it

  void Click(QSystemTrayIcon::ActivationReason reason) {
    ASSERT_NE(log_->activated, nullptr);
    ASSERT_TRUE(*log_->activated);
    (*log_->activated)(reason);
  }
  void Minimize() { window_->setWindowState(window_->windowState() | Qt::WindowMinimized); }
  bool Minimized() const { return window_->windowState() & Qt::WindowMinimized; }

  test::Watchdog watchdog_;
  std::unique_ptr<QWidget> window_;
  std::shared_ptr<TrayLog> log_;
  TrayIcon* tray_ = nullptr;  // child of window_
};

TEST_F(TrayIconTest, MinimizeHidesInTheTrayAndDoubleClickRestores) {
  EXPECT_TRUE(tray_->Enabled());
  Minimize();
  EXPECT_TRUE(tray_->Shown());
  ASSERT_EQ(log_->calls.size(), 1u);
  EXPECT_EQ(log_->calls[0], (TrayCall{"add", "Corvane 2.0"}));
  EXPECT_TRUE(log_->calls[0].iconSet);
  EXPECT_FALSE(window_->isVisible());

  Click(QSystemTrayIcon::DoubleClick);
  EXPECT_FALSE(tray_->Shown());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(Minimized());
  ASSERT_EQ(log_->calls.size(), 2u);
  EXPECT_EQ(log_->calls[1].op, "delete");
}

TEST_F(TrayIconTest, MinimizeWhileDisabledStaysOnTheTaskbar) {
  tray_->SetEnabled(false);
  EXPECT_TRUE(log_->calls.empty());  // not minimized: only stored
  Minimize();
  EXPECT_FALSE(tray_->Shown());
  EXPECT_TRUE(log_->calls.empty());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(Minimized());
}

TEST_F(TrayIconTest, EnabledWrittenWhileMinimizedActsAtOnce) {
  tray_->SetEnabled(false);
  Minimize();
  tray_->SetEnabled(true);
  EXPECT_TRUE(tray_->Shown());
  EXPECT_FALSE(window_->isVisible());
  tray_->SetEnabled(true);  // same value: nothing
  tray_->SetEnabled(false);
  EXPECT_FALSE(tray_->Shown());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(Minimized());  // back on the taskbar, still minimized
  ASSERT_EQ(log_->calls.size(), 2u);
  EXPECT_EQ(log_->calls[0].op, "add");
  EXPECT_EQ(log_->calls[1].op, "delete");
}

TEST_F(TrayIconTest, ClicksRaiseTheirEventsOnlyWhileEnabled) {
  std::vector<std::string> raised;
  tray_->OnLeftClick = [&](QObject* sender) {
    EXPECT_EQ(sender, tray_);
    raised.push_back("left");
  };
  tray_->OnDblClick = [&](QObject*) { raised.push_back("double"); };
  tray_->OnRightClick = [&](QObject*) { raised.push_back("right"); };
  Click(QSystemTrayIcon::Trigger);
  Click(QSystemTrayIcon::DoubleClick);
  Click(QSystemTrayIcon::Context);
  Click(QSystemTrayIcon::MiddleClick);
  EXPECT_EQ(raised, (std::vector<std::string>{"left", "double", "right"}));

  tray_->SetEnabled(false);
  Click(QSystemTrayIcon::Trigger);
  Click(QSystemTrayIcon::DoubleClick);
  Click(QSystemTrayIcon::Context);
  EXPECT_EQ(raised.size(), 3u);
}

TEST_F(TrayIconTest, HintBecomesTheTipAndFollowsChangesWhileShown) {
  tray_->SetHint("");
  Minimize();
  ASSERT_EQ(log_->calls.size(), 1u);
  EXPECT_EQ(log_->calls[0], (TrayCall{"add", ""}));
  tray_->SetHint("Corvane 2.0 \xA7 jobs");  // 8-bit text: 0xA7 is the section sign
  ASSERT_EQ(log_->calls.size(), 2u);
  EXPECT_EQ(log_->calls[1], (TrayCall{"modify", QString::fromUtf8("Corvane 2.0 \u00A7 jobs")}));
  tray_->SetHint("Corvane 2.0 \xA7 jobs");  // unchanged: nothing
  EXPECT_EQ(log_->calls.size(), 2u);
  tray_->SetHint("");
  ASSERT_EQ(log_->calls.size(), 3u);
  EXPECT_EQ(log_->calls[2], (TrayCall{"modify", ""}));
  tray_->SetIcon(QIcon(":/corvane/resources/corvane.png"));
  ASSERT_EQ(log_->calls.size(), 4u);
  EXPECT_EQ(log_->calls[3].op, "modify");
}

TEST_F(TrayIconTest, LongHintIsCutTo63Bytes) {
  const std::string longHint(100, 'h');
  tray_->SetHint(longHint);
  EXPECT_EQ(tray_->Hint(), std::string(63, 'h'));
  Minimize();
  ASSERT_EQ(log_->calls.size(), 1u);
  EXPECT_EQ(log_->calls[0].tip.size(), 63);
}

TEST_F(TrayIconTest, IconFallsBackToTheProgramsPicture) {
  EXPECT_TRUE(tray_->Icon().isNull());
  ASSERT_TRUE(QFile::exists(":/corvane/resources/corvane.png"));  // linked in with the library
  EXPECT_FALSE(tray_->IconHandle().pixmap(32).isNull());
  const QIcon own(":/corvane/resources/corvane.png");
  tray_->SetIcon(own);
  EXPECT_EQ(tray_->IconHandle().cacheKey(), tray_->Icon().cacheKey());
}

// A notification area that shows the context menu itself gets it from the component, which
// then pops up nothing of its own on a right click.
TEST(TrayIconMenu, HandedToANotificationAreaThatShowsIt) {
  test::Watchdog watchdog;
  struct MenuTray final : TrayBackend {
    bool Available() const override { return true; }
    void Add(const QIcon&, const QString&) override {}
    void Modify(const QIcon&, const QString&) override {}
    void Delete() override {}
    void SetContextMenu(QMenu* menu) override { given->push_back(menu); }
    bool ShowsContextMenu() const override { return true; }
    std::vector<QMenu*>* given = nullptr;
  };
  std::vector<QMenu*> given;
  QWidget window;
  auto backend = std::make_unique<MenuTray>();
  backend->given = &given;
  MenuTray* tray = backend.get();
  TrayIcon icon(&window, std::move(backend));
  QMenu menu;
  icon.SetPopupMenu(&menu);
  ASSERT_EQ(given, (std::vector<QMenu*>{&menu}));
  tray->Activated(QSystemTrayIcon::Context);
  EXPECT_FALSE(menu.isVisible());
  icon.SetPopupMenu(nullptr);
  EXPECT_EQ(given.back(), nullptr);
}

TEST_F(TrayIconTest, RightClickPopsTheMenuAndForgetsADestroyedOne) {
  Click(QSystemTrayIcon::Context);  // no menu: nothing happens
  auto menu = std::make_unique<QMenu>();
  menu->addAction("Restore");
  tray_->SetPopupMenu(menu.get());
  Click(QSystemTrayIcon::Context);
  EXPECT_TRUE(menu->isVisible());
  menu->hide();
  menu.reset();
  EXPECT_EQ(tray_->PopupMenu(), nullptr);
  Click(QSystemTrayIcon::Context);
}

// The application's own windows (the main window and its child windows) go into the tray and
// come back; a top-level window of the process that is not the application's (an X11 tray's
// icon window is one) is left alone.
TEST_F(TrayIconTest, OwnWindowsHideAndReturnWithTheApplication) {
  QWidget editor(window_.get(), Qt::Window);
  editor.show();
  QWidget dialog(&editor, Qt::Dialog);  // a window of a window of the application
  dialog.show();
  QWidget hiddenBefore(window_.get(), Qt::Window);  // never shown: stays hidden after restoring
  QWidget foreign(nullptr, Qt::Window | Qt::FramelessWindowHint);
  foreign.show();
  Minimize();
  EXPECT_FALSE(editor.isVisible());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(foreign.isVisible());
  editor.setWindowState(Qt::WindowMinimized);  // as a window manager minimises a transient
  tray_->Restore();
  EXPECT_TRUE(editor.isVisible());
  EXPECT_FALSE(editor.windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(hiddenBefore.isVisible());
  EXPECT_TRUE(foreign.isVisible());
  EXPECT_FALSE(tray_->Shown());
}

TEST_F(TrayIconTest, NoNotificationAreaMeansNoHiding) {
  log_->available = false;
  Minimize();
  EXPECT_FALSE(tray_->Shown());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(log_->calls.empty());
  tray_->SetEnabled(false);
  tray_->SetEnabled(true);  // enabling while minimized: still nothing to hide into
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(log_->calls.empty());
}

TEST_F(TrayIconTest, DestroyingTheComponentRemovesTheIcon) {
  Minimize();
  ASSERT_TRUE(tray_->Shown());
  delete tray_;
  tray_ = nullptr;
  ASSERT_EQ(log_->calls.size(), 2u);
  EXPECT_EQ(log_->calls[1].op, "delete");
  // The window no longer follows a component that is gone.
  window_->setWindowState(Qt::WindowNoState);
  EXPECT_EQ(log_->calls.size(), 2u);
}

TEST(TrayIconRealBackend, OffscreenHasNoTrayAndMinimizeKeepsTheWindow) {
  test::Watchdog watchdog;
  if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a notification area";
  QWidget window;
  window.show();
  TrayIcon tray(&window);
  tray.SetHint("Corvane 2.0");
  window.setWindowState(Qt::WindowMinimized);
  EXPECT_FALSE(tray.Shown());
  EXPECT_TRUE(window.isVisible());
  window.setWindowState(Qt::WindowNoState);
  EXPECT_TRUE(window.isVisible());
}

// A real notification area: an X server (Xvfb) with a tray host (trayer).  The check runs in a
// child copy of this binary on that display, since this process is bound to its own platform.
constexpr char kTrayChildVariable[] = "CORVANE_TRAY_HOST_CHILD";

// Runs only as that child.
TEST(TrayIconTrayHostChild, IconDocksAndLeavesWithTheApplication) {
  if (!qEnvironmentVariableIsSet(kTrayChildVariable))
    GTEST_SKIP() << "runs only under TrayIconTrayHost.IconAppearsInARealNotificationArea";
  test::Watchdog watchdog;
  ASSERT_TRUE(test::PumpUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
      << "the tray host did not come up";
  QWidget window;
  window.show();
  TrayIcon tray(&window);
  tray.SetHint("Corvane 2.0");
  window.setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(tray.Shown());
  EXPECT_FALSE(window.isVisible());
  ASSERT_TRUE(test::PumpUntil([&] { return !tray.IconGeometry().isEmpty(); }))
      << "the icon never docked in the notification area";
  // The X11 tray embeds a window of this process that paints the icon: hiding the application
  // must leave it shown, or the tray shows an empty slot.
  int otherWindowsShown = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != &window && w->isVisible()) ++otherWindowsShown;
  EXPECT_GE(otherWindowsShown, 1) << "the tray's icon window was hidden with the application";
  tray.Restore();
  EXPECT_FALSE(tray.Shown());
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(tray.IconGeometry().isEmpty());
}

// Starts `program` and keeps it until the end of the scope.
class OwnProcess {
 public:
  OwnProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program, args);
    process_.waitForStarted(10000);
  }
  ~OwnProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  OwnProcess(const OwnProcess&) = delete;
  OwnProcess& operator=(const OwnProcess&) = delete;
  bool Running() const { return process_.state() == QProcess::Running; }

 private:
  QProcess process_;
};

TEST(TrayIconTrayHost, IconAppearsInARealNotificationArea) {
  if (qEnvironmentVariableIsSet(kTrayChildVariable)) GTEST_SKIP() << "inside the child";
  const QString xvfb = QStandardPaths::findExecutable("Xvfb");
  const QString trayer = QStandardPaths::findExecutable("trayer");
  if (xvfb.isEmpty() || trayer.isEmpty()) GTEST_SKIP() << "needs Xvfb and trayer";
  test::Watchdog watchdog(std::chrono::seconds(120));

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DBUS_SESSION_BUS_ADDRESS");  // the X11 tray protocol, not a desktop bus
  std::unique_ptr<OwnProcess> server;
  QString display;
  for (int n = 140; n < 200 && !server; ++n) {
    const QString socket = QString("/tmp/.X11-unix/X%1").arg(n);
    if (QFileInfo::exists(socket) || QFileInfo::exists(QString("/tmp/.X%1-lock").arg(n))) continue;
    auto candidate = std::make_unique<OwnProcess>(
        xvfb, QStringList{QString(":%1").arg(n), "-screen", "0", "640x480x24", "-nolisten", "tcp"}, env);
    if (test::WaitUntil([&] { return QFileInfo::exists(socket) || !candidate->Running(); },
                        std::chrono::milliseconds(10000)) &&
        candidate->Running()) {
      server = std::move(candidate);
      display = QString(":%1").arg(n);
    }
  }
  if (!server) GTEST_SKIP() << "no X display could be started";
  env.insert("DISPLAY", display);
  OwnProcess host(trayer, {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"}, env);
  ASSERT_TRUE(host.Running());

  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert(kTrayChildVariable, "1");
  // Under LeakSanitizer the xcb platform's D-Bus buffers would be reported as ours.
  const QString suppressions =
      QDir(QString::fromUtf8(CORVANE_TEST_DATA_DIR "/../console")).absoluteFilePath("lsan.supp");
  const QString lsan = env.value("LSAN_OPTIONS");
  env.insert("LSAN_OPTIONS", (lsan.isEmpty() ? QString() : lsan + ":") + "suppressions=" + suppressions);
  QProcess child;
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=TrayIconTrayHostChild.*"});
  ASSERT_TRUE(child.waitForFinished(90000));
  const QString output = QString::fromLocal8Bit(child.readAll());
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
  EXPECT_FALSE(output.contains("SKIPPED")) << output.toStdString();
}

}  // namespace
}  // namespace corvane
