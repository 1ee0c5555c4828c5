// Shared by the console tests: the Qt application of a test binary (of the kind its layer
// needs, headless unless the caller chose a platform), a watchdog that ends a hung test, a gate a
// thread waits at, and bounded waits, one of them serving the GUI thread's events while it waits
// for a condition. Needs Qt Core only; the application is registered by qt_gui_test_app.h (core
// tests) or qt_test_app.h (tests with widgets).
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace corvane::test {

// One application of type `App` (QGuiApplication, QApplication) for the whole test binary,
// named "console_test".
template <typename App>
class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<App>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "console_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<App> app_;
};

// For its scope, the temporary folders of a child process started meanwhile (a death test's run
// of this binary, which ends without destructors) are made inside `parentFolder`: the parent's
// own temporary folder removes them with itself. TMPDIR is restored at the end.
class ChildTemporaryFolders {
 public:
  explicit ChildTemporaryFolders(const QByteArray& parentFolder)
      : hadValue_(qEnvironmentVariableIsSet("TMPDIR")), saved_(qgetenv("TMPDIR")) {
    qputenv("TMPDIR", parentFolder);
  }
  ~ChildTemporaryFolders() {
    if (hadValue_) {
      qputenv("TMPDIR", saved_);
    } else {
      qunsetenv("TMPDIR");
    }
  }
  ChildTemporaryFolders(const ChildTemporaryFolders&) = delete;
  ChildTemporaryFolders& operator=(const ChildTemporaryFolders&) = delete;

 private:
  bool hadValue_;
  QByteArray saved_;
};

// Aborts the whole binary (with the test's name) when a test outlives its limit: a deadlock
// then fails the run instead of hanging it.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(60)) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "?";
    thread_ = std::thread([this, limit] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
        std::fprintf(stderr, "watchdog: %s did not finish in time\n", name_.c_str());
        std::fflush(stderr);
        std::abort();
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string name_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// A one-way gate a thread waits at until the test opens it (bounded, so a failing test ends).
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(30), [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// Serves the GUI thread's events until `done` holds or `limit` has passed; answers `done`.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(20000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits (without serving events) until `done` holds or `limit` has passed; answers `done`.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(20000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace corvane::test
