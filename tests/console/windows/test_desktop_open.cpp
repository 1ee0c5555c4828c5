// The desktop's "open" as the program makes it (UiServices::Open): through xdg-open, judged by
// its exit status, since QDesktopServices::openUrl answers true whenever xdg-open exists. Run with
// a PATH without xdg-open, with fake ones that succeed, fail or keep running, and with Debian's
// real xdg-open (xdg-utils) in a session that has no program for the file.
#include <gtest/gtest.h>

#include <signal.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <string>

#include "console/qt_test_app.h"
#include "console/windows/secondary_window.h"

namespace corvane {
namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
 public:
  void Set(const char* name, const QByteArray& value) {
    saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    qputenv(name, value);
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->wasSet) {
        qputenv(it->name, it->value);
      } else {
        qunsetenv(it->name);
      }
    }
  }

 private:
  struct Saved {
    const char* name;
    QByteArray value;
    bool wasSet;
  };
  std::vector<Saved> saved_;
};

class DesktopOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(QDir(dir_.path()).mkpath("bin"));
    file_ = dir_.path() + "/log.txt";
    QFile f(file_);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("block\r\n");
  }
  // A fake xdg-open in bin/, alone on the PATH.
  void FakeOpener(const QByteArray& body) {
    QFile script(dir_.path() + "/bin/xdg-open");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + body + "\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    env_.Set("PATH", QFile::encodeName(dir_.path() + "/bin"));
  }
  QString Read(const QString& name) {
    QFile f(dir_.path() + "/" + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
  }

  QTemporaryDir dir_;
  QString file_;
  ScopedEnvironment env_;
  UiServices ui_;
};

TEST_F(DesktopOpen, WithoutXdgOpenNothingOpens) {
  env_.Set("PATH", QFile::encodeName(dir_.path() + "/bin"));  // an empty folder
  EXPECT_FALSE(ui_.Open(nullptr, QUrl::fromLocalFile(file_)));
}

TEST_F(DesktopOpen, TheOpenersExitStatusDecides) {
  const QByteArray record = "echo \"$1\" > " + QFile::encodeName(dir_.path()) + "/argument\n";
  FakeOpener(record + "exit 0");
  EXPECT_TRUE(ui_.Open(nullptr, QUrl::fromLocalFile(file_)));
  EXPECT_EQ(Read("argument"), file_);  // the path itself, not a file:// address
  // What xdg-open does when no program takes the file: "no method available", status 3.
  FakeOpener(record + "echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3");
  EXPECT_FALSE(ui_.Open(nullptr, QUrl("https://example.invalid/")));
  EXPECT_EQ(Read("argument"), "https://example.invalid/");
}

// A program that runs under xdg-open for longer than the wait has taken the file: opened.
// xdg-open itself is ended, so nothing of the call is left running.
TEST_F(DesktopOpen, AnOpenerStillRunningHasOpenedAndIsEnded) {
  test::Watchdog watchdog;
  FakeOpener("echo $$ > " + QFile::encodeName(dir_.path()) + "/pid\nexec /bin/sleep 60");
  EXPECT_TRUE(ui_.Open(nullptr, QUrl::fromLocalFile(file_)));
  bool ok = false;
  const pid_t pid = Read("pid").toInt(&ok);
  ASSERT_TRUE(ok);
  EXPECT_NE(::kill(pid, 0), 0);  // ended and reaped
}

// Debian's xdg-open in a session with no program for text files and no browser.
TEST_F(DesktopOpen, RealXdgOpenWithoutAHandlerIsNotOpened) {
  ASSERT_TRUE(QFile::exists("/usr/bin/xdg-open")) << "xdg-utils is missing (scripts/install-deps.sh installs it)";
  const QByteArray home = QFile::encodeName(dir_.path());
  env_.Set("PATH", "/usr/bin:/bin");
  env_.Set("HOME", home);
  env_.Set("XDG_CONFIG_HOME", home + "/config");
  env_.Set("XDG_DATA_HOME", home + "/data");
  env_.Set("XDG_CONFIG_DIRS", home + "/config-dirs");
  env_.Set("XDG_DATA_DIRS", home + "/data-dirs");
  env_.Set("XDG_CURRENT_DESKTOP", "");
  env_.Set("BROWSER", "corvane-no-such-browser");
  EXPECT_FALSE(ui_.Open(nullptr, QUrl::fromLocalFile(file_)));
  EXPECT_FALSE(ui_.Open(nullptr, QUrl("https://example.invalid/")));
}

}  // namespace
}  // namespace corvane
