// The main window of Corvane (Form1): the operator picks an environment, a job and a protocol,
// executes the job and reads the output.  It owns what the other windows share: the preference
// operations, the cipher manager c1 of stored values, the notification-area icon tray1, the
// thread component thread1 that runs the scheduler worker, the library facade, the program's
// paths and the registry of the secondary windows.
//
// Threads: everything here runs on the GUI thread, except thread1Execute (the worker) and what
// the scheduler loop calls from there.  c1 is the GUI thread's: a worker makes its own manager
// with MakeStoredValueCipher().
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/managers.h"
#include "console/bmd_thread.h"
#include "console/library_facade.h"
#include "console/preferences.h"
#include "console/program_paths.h"
#include "console/secondary_window.h"
#include "console/systray.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QShowEvent;
class QStatusBar;
class QToolBar;

namespace corvane {

class TForm1;

// The body of the scheduler worker, run on thread1's worker thread from the first show until it
// sees the worker's stop request (thread.Terminated()).
using SchedulerLoop = std::function<void(TForm1& form1, TBMDExecuteThread& thread, void*& data)>;

// The secondary windows, in the order of their creation.  Held, not owned: the start-up code
// owns them.  An empty entry makes its menu item and tool button do nothing.
struct SecondaryWindows {
  QPointer<SecondaryWindow> Form2;  // Preferences
  QPointer<SecondaryWindow> Form3;  // About
  QPointer<SecondaryWindow> Form5;  // Environment editor
  QPointer<SecondaryWindow> Form6;  // Job editor
  QPointer<SecondaryWindow> Form7;  // Command editor
  QPointer<SecondaryWindow> Form8;  // Scheduler editor
  QPointer<SecondaryWindow> Form9;  // Date picker
};

// What the main window is built with.  Tests put fakes in place of the library, the dialogs,
// the notification area and the preference store.
struct MainWindowServices {
  std::unique_ptr<LibraryFacade> library;      // required
  std::unique_ptr<UiServices> ui;              // none: the real dialogs and shell
  std::unique_ptr<Preferences> preferences;    // none: the per-user store
  std::unique_ptr<TrayBackend> trayBackend;    // none: the real notification area
  ProgramPaths paths;
  QString autostartDir;                        // empty: the desktop's autostart folder
  SchedulerLoop schedulerLoop;                 // none: the worker idles until it is stopped
};

// Bytes of a result or a stored name as text on screen, each byte as its Latin-1 character.
// Line breaks (CR LF, CR CR LF, a lone CR or LF) become single line breaks.
QString DisplayText(std::string_view bytes);

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(MainWindowServices services);
  // Stops the worker (if ShutdownWorker has not) and waits for it.
  ~TForm1() override;

  // ---- what the other windows and the scheduler worker use ----------------------------------

  // The preference operations (GUI thread).
  std::int32_t ReadKeyint(std::string_view name, std::int32_t def) const;
  void WriteKeyint(std::string_view name, std::int32_t value);
  QString ReadKeystr(std::string_view name, const QString& def) const;
  void WriteKeystr(std::string_view name, const QString& value);

  // The cipher manager of stored values: "IDEA", cmCTS, the fixed key (set at the first show).
  // GUI thread only.
  TCipherManager c1;
  // A cipher manager set up as c1 is, for a thread of its own.
  static std::unique_ptr<TCipherManager> MakeStoredValueCipher();

  TSystray* tray1 = nullptr;    // child of this window
  TBMDThread* thread1 = nullptr;  // child of this window; none after ShutdownWorker

  const ProgramPaths& Paths() const { return paths_; }
  // The settings files of the lists (byte paths, as the settings library takes them).
  const std::string& EnvIniPath() const { return envIniPath_; }
  const std::string& JobIniPath() const { return jobIniPath_; }

  LibraryFacade& Library() const { return *library_; }
  UiServices& Ui() const { return *ui_; }
  Preferences& Prefs() const { return *preferences_; }

  SecondaryWindows& Windows() { return windows_; }

  // Installs the scheduler loop.  An idling worker takes it at its next poll (within a few
  // milliseconds), so it may be installed after the first show (from the scheduler editor's
  // construction, for example); once the worker has taken a loop, later ones are not run.
  void SetSchedulerLoop(SchedulerLoop loop);

  // Refill the environment / job list with the section names of the file on disk, in file
  // order; nothing is selected afterwards.
  void RefillEnvironmentList();
  void RefillJobList();
  // The same from names at hand (bytes).
  void SetEnvironmentNames(const std::vector<std::string>& names);
  void SetJobNames(const std::vector<std::string>& names);

  // The selected names as bytes ("" when nothing is selected).
  std::string SelectedEnvironment() const;
  std::string SelectedJob() const;

  // Sets the worker's stop request and waits for the worker while serving the GUI thread's
  // events (its pending synchronised calls among them).  Called once the message loop has ended.
  void ShutdownWorker();

  // Whether the first show has run.
  bool FirstShowDone() const { return firstShowDone_; }

  // ---- the event handlers ----------------------------------------------------------------------
  void FormShow();
  void ToolButton3Click();   // Execute
  void FormClose();
  void Quit1Click();
  void Preferences1Click();
  void About1Click();
  void ToolButton15Click();  // Environment
  void ToolButton11Click();  // Job
  void ToolButton16Click();  // Scheduler (tool bar)
  void Scheduler1Click();    // Scheduler (menu)
  void ComboBox3Change();
  void tray1DblClick(QObject* Sender);
  void LogFile1Click();
  void OutputFile1Click();
  void Corvane20Help1Click();
  void ToolButton13Click();  // Help (tool bar)
  void thread1Execute(QObject* Sender, TBMDExecuteThread* Thread, void*& Data);
  void SynchroEvent2(QObject* Sender, TBMDExecuteThread* Thread, void*& Data);

  // ---- the components ----------------------------------------------------------------------
  QToolBar* ToolBar1 = nullptr;
  QComboBox* ComboBox1 = nullptr;  // environments
  QComboBox* ComboBox2 = nullptr;  // jobs
  QComboBox* ComboBox3 = nullptr;  // protocol
  QPlainTextEdit* Memo1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;

  // Menu items, by their names.
  QAction* Preferences1 = nullptr;
  QAction* Quit1 = nullptr;
  QAction* Environment1 = nullptr;
  QAction* Jobs1 = nullptr;
  QAction* Scheduler1 = nullptr;
  QAction* LogFile1 = nullptr;
  QAction* OutputFile1 = nullptr;
  QAction* Execute1 = nullptr;
  QAction* Corvane20Help1 = nullptr;
  QAction* About1 = nullptr;
  // Tool buttons, left to right.
  QAction* ToolButton15 = nullptr;  // Environment
  QAction* ToolButton11 = nullptr;  // Job
  QAction* ToolButton3 = nullptr;   // Execute
  QAction* ToolButtonPreferences = nullptr;
  QAction* ToolButton16 = nullptr;  // Scheduler
  QAction* ToolButton13 = nullptr;  // Help
  QAction* ToolButtonQuit = nullptr;

  // The memo's colours as set (background, text).
  QColor MemoColor() const;
  void SetMemoColor(const QColor& color);
  QColor MemoFontColor() const;
  void SetMemoFontColor(const QColor& color);

 signals:
  // Emitted when the window has closed (the program then ends).
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void BuildToolBar();
  void BuildCentre();
  void Present(SecondaryWindow* window);
  void OpenFile(const QString& path);
  void SetNames(QComboBox* box, const std::vector<std::string>& names);
  static std::string SelectedName(const QComboBox* box);
  void SetControlsEnabled(bool enabled);

  std::unique_ptr<LibraryFacade> library_;
  std::unique_ptr<UiServices> ui_;
  std::unique_ptr<Preferences> preferences_;
  ProgramPaths paths_;
  QString autostartDir_;
  mutable std::mutex schedulerLoopMutex_;
  SchedulerLoop schedulerLoop_;  // guarded by schedulerLoopMutex_
  SecondaryWindows windows_;
  std::string envIniPath_;
  std::string jobIniPath_;
  bool firstShowDone_ = false;
  bool closing_ = false;
};

}  // namespace corvane
