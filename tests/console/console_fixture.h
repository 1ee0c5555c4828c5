// Shared by the main-window tests: a temporary program directory, a fake library that keeps
// track of its result buffers, fake dialogs and shell, a fake notification area, and a main
// window built over them.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QThread>
#include <QTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/qt_test_app.h"
#include "console/windows/main_window.h"

namespace corvane::test {

struct LibraryCall {
  std::string exportName;  // "execute" or "executeA"
  std::string environment, job, dataDir, parameters;
  std::int32_t protocolIndex = 0;
  std::uintptr_t ownerWindow = 0;
  bool parametersNull = false;
};

// Answers every run with `result` (or throws `failure`, or answers no buffer), and checks that
// each buffer it handed out comes back exactly once.
struct LibraryLog {
  std::string result = "output";
  std::string failure;    // non-empty: the call throws this
  bool noBuffer = false;  // the call answers a null buffer
  std::vector<LibraryCall> calls;
  std::atomic<int> callCount{0};  // calls begun, for a test that watches another thread's calls
  // Runs inside each call, on the caller's thread, before it answers (a test blocks a run here).
  std::function<void(std::uintptr_t ownerWindow)> duringRun;
  std::set<char*> outstanding;
  int releases = 0;
  int foreignReleases = 0;  // buffers released that were not outstanding
};

class FakeLibrary final : public LibraryFacade {
 public:
  explicit FakeLibrary(std::shared_ptr<LibraryLog> log) : log_(std::move(log)) {}
  char* execute(const char* env, const char* job, std::int32_t protocol, const char* dataDir,
                std::uintptr_t owner) override {
    log_->calls.push_back({"execute", env, job, dataDir, "", protocol, owner, false});
    ++log_->callCount;
    if (log_->duringRun) log_->duringRun(owner);
    return Answer();
  }
  char* executeA(const char* env, const char* job, std::int32_t protocol, const char* dataDir,
                 const char* parameters) override {
    log_->calls.push_back({"executeA", env, job, dataDir, parameters != nullptr ? parameters : "", protocol, 0,
                           parameters == nullptr});
    ++log_->callCount;
    if (log_->duringRun) log_->duringRun(0);
    return Answer();
  }
  void releasebuffer(char* buffer) override {
    ++log_->releases;
    if (log_->outstanding.erase(buffer) == 0) {
      ++log_->foreignReleases;
      return;
    }
    delete[] buffer;
  }

 private:
  char* Answer() {
    if (!log_->failure.empty()) throw std::runtime_error(log_->failure);
    if (log_->noBuffer) return nullptr;
    char* buffer = new char[log_->result.size() + 1];
    std::memcpy(buffer, log_->result.c_str(), log_->result.size() + 1);
    log_->outstanding.insert(buffer);
    return buffer;
  }
  std::shared_ptr<LibraryLog> log_;
};

struct UiLog {
  std::vector<QString> messages;
  std::vector<QUrl> opened;
  bool openAnswer = true;          // what Open answers: whether the desktop took the file
  std::vector<QString> questions;  // every Confirm, in order
  bool confirmAnswer = true;       // what Confirm answers
  bool realQuestion = false;       // Confirm shows the program's real question box instead
  std::function<bool(QFont&)> chooseFont = [](QFont&) { return false; };  // cancels
  int fontDialogs = 0;
  std::function<bool(QColor&)> chooseColor = [](QColor&) { return false; };  // cancels
  int colorDialogs = 0;
};

class FakeUi final : public UiServices {
 public:
  explicit FakeUi(std::shared_ptr<UiLog> log) : log_(std::move(log)) {}
  void Message(QWidget*, const QString& text) override { log_->messages.push_back(text); }
  bool Confirm(QWidget* parent, const QString& text) override {
    log_->questions.push_back(text);
    if (log_->realQuestion) return UiServices::Confirm(parent, text);
    return log_->confirmAnswer;
  }
  std::optional<QString> InputText(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  bool ChooseFont(QWidget*, QFont& font) override {
    ++log_->fontDialogs;
    return log_->chooseFont(font);
  }
  bool ChooseColor(QWidget*, QColor& color) override {
    ++log_->colorDialogs;
    return log_->chooseColor(color);
  }
  bool Open(QWidget*, const QUrl& target) override {
    log_->opened.push_back(target);
    return log_->openAnswer;
  }

 private:
  std::shared_ptr<UiLog> log_;
};

class NoTray final : public TrayBackend {
 public:
  bool Available() const override { return false; }
  void Add(const QIcon&, const QString&) override {}
  void Modify(const QIcon&, const QString&) override {}
  void Delete() override {}
};

// A notification area that takes the icon and shows nothing: minimizing with the tray enabled
// hides the program's windows, TrayIcon::Restore brings them back.  It keeps the context menu it
// was given and shows it itself, as the real ones do; Click() plays the operator's clicks.
class SilentTray final : public TrayBackend {
 public:
  bool Available() const override { return true; }
  void Add(const QIcon&, const QString&) override {}
  void Modify(const QIcon&, const QString&) override {}
  void Delete() override {}
  void SetContextMenu(QMenu* menu) override { contextMenu = menu; }
  bool ShowsContextMenu() const override { return true; }
  void Click(QSystemTrayIcon::ActivationReason reason) {
    ASSERT_TRUE(Activated);
    Activated(reason);
  }
  QMenu* contextMenu = nullptr;
};

// Answers the next modal input dialog (the library's operator prompt) from inside its own event
// loop, and records where and how it appeared.
class PromptAnswerer {
 public:
  // `answer`: the text to enter and accept; none: cancel.
  explicit PromptAnswerer(std::optional<QString> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(2);
  }

  bool shown = false;
  bool onGuiThread = false;  // made and shown on the application's thread
  bool modal = false;
  QWidget* parent = nullptr;
  QString title, label, preset;

 private:
  void Look() {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || shown) return;
    shown = true;
    onGuiThread = dialog->thread() == QThread::currentThread() && dialog->thread() == qApp->thread();
    modal = dialog->isModal();
    parent = dialog->parentWidget();
    title = dialog->windowTitle();
    label = dialog->labelText();
    preset = dialog->textValue();
    if (answer_) {
      dialog->setTextValue(*answer_);
      dialog->accept();
    } else {
      dialog->reject();
    }
  }
  std::optional<QString> answer_;
  QTimer timer_;
};

// The operator's choice in a list: the item, then its handler (as a click on it does).
inline void Choose(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  box->setCurrentIndex(index);
  emit box->activated(index);
}

// The services of a program in the folder `dir`: the fake library, `ui`, the preference store,
// the start-at-logon folder and the fallback data folder inside `dir`; the scheduler idles.
inline ConsoleServices ServicesIn(const QString& dir, std::shared_ptr<LibraryLog> library,
                                  std::unique_ptr<UiServices> ui, std::unique_ptr<TrayBackend> tray) {
  ConsoleServices services;
  services.library = std::make_unique<FakeLibrary>(std::move(library));
  services.ui = std::move(ui);
  services.preferences = std::make_unique<Preferences>(dir + QStringLiteral("/config/Corvane.conf"));
  services.trayBackend = std::move(tray);
  services.paths = ProgramPaths::Resolve(dir + QStringLiteral("/Corvane"), dir + QStringLiteral("/fallback"));
  services.autostartDir = dir + QStringLiteral("/autostart");
  return services;
}

// Execute from the main window, served until its output is shown.
inline void ExecuteAndWait(MainWindow& form) {
  form.onExecute();
  ASSERT_TRUE(PumpUntil([&form] { return !form.ExecuteRunning(); }));
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    library_ = std::make_shared<LibraryLog>();
    ui_ = std::make_shared<UiLog>();
  }
  void TearDown() override {
    DestroyWindows();
    EXPECT_TRUE(library_->outstanding.empty()) << "result buffers not handed back";
    EXPECT_EQ(library_->foreignReleases, 0);
  }

  QString Dir() const { return dir_.path(); }
  QString PrefsFile() const { return dir_.path() + QStringLiteral("/config/Corvane.conf"); }
  QString AutostartDir() const { return dir_.path() + QStringLiteral("/autostart"); }

  // The services of the main window (made with it).
  ConsoleServices& Services() {
    Window();
    return *services_;
  }
  // The thread of the scheduler service; none once it has been shut down.
  BackgroundThread* SchedulerThread() { return Services().scheduler->Thread(); }

  // The main window, not yet shown.
  MainWindow& Window() {
    if (!mainWindow_) {
      std::unique_ptr<TrayBackend> tray;
      if (trayAvailable_) {
        auto silent = std::make_unique<SilentTray>();
        tray_ = silent.get();
        tray = std::move(silent);
      } else {
        tray = std::make_unique<NoTray>();
      }
      services_ = std::make_unique<ConsoleServices>(
          ServicesIn(Dir(), library_, std::make_unique<FakeUi>(ui_), std::move(tray)));
      SchedulerLoop loop = schedulerLoop_;
      if (realScheduler_) loop = MakeSchedulerLoop(services_->library, services_->paths.DataDirBytes());
      services_->scheduler = std::make_unique<SchedulerService>(std::move(loop));
      mainWindow_ = std::make_unique<MainWindow>(*services_);
    }
    return *mainWindow_;
  }
  // The main window after its first show.
  MainWindow& Shown() {
    MainWindow& form = Window();
    if (!form.isVisible()) form.show();
    return form;
  }

  virtual void DestroyWindows() {
    mainWindow_.reset();
    services_.reset();
  }

  // Raw preference values as stored (no value: invalid).
  QVariant Stored(const char* name) const { return QSettings(PrefsFile(), QSettings::IniFormat).value(name); }
  QStringList StoredKeys() const { return QSettings(PrefsFile(), QSettings::IniFormat).allKeys(); }
  void Store(const char* name, const QString& value) {
    QSettings store(PrefsFile(), QSettings::IniFormat);
    store.setValue(name, value);
    store.sync();
  }

  void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(dir_.path() + QLatin1Char('/') + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  Watchdog watchdog_;
  QTemporaryDir dir_;
  std::shared_ptr<LibraryLog> library_;
  std::shared_ptr<UiLog> ui_;
  SchedulerLoop schedulerLoop_;
  bool realScheduler_ = false;                 // the program's scheduler loop instead of schedulerLoop_
  bool trayAvailable_ = false;                 // the main window gets a SilentTray instead of NoTray
  SilentTray* tray_ = nullptr;                 // that tray, owned by the main window's tray icon
  std::unique_ptr<ConsoleServices> services_;  // outlives the windows
  std::unique_ptr<MainWindow> mainWindow_;
};

}  // namespace corvane::test
