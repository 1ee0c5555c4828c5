// The main window of Corvane: the operator picks an environment, a job and a protocol,
// executes the job and reads the output.  It owns what the other windows share: the preference
// operations, the cipher manager of stored values (storedValueCipher_), the notification-area
// icon (trayIcon_), the background thread that runs the scheduler worker (schedulerThread_), the
// library facade, the program's paths and the registry of the secondary windows.
//
// Threads: everything here runs on the GUI thread, except runSchedulerThread (the worker) and what
// the scheduler loop calls from there, and the library call of an Execute, which runs on a thread
// of its own (ExecuteRun) while the window goes on serving the desktop.  storedValueCipher_ is the
// GUI thread's: a worker makes its own manager with MakeStoredValueCipher().
#pragma once

#include <QElapsedTimer>
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

#include "cipher/base/managers.h"
#include "console/components/background_thread.h"
#include "console/components/tray_icon.h"
#include "console/core/execute_run.h"
#include "console/core/library_facade.h"
#include "console/core/preferences.h"
#include "console/core/program_paths.h"
#include "console/windows/secondary_window.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QShowEvent;
class QStatusBar;
class QTimer;
class QToolBar;

namespace corvane {

class HelpWindow;
class MainWindow;

// The body of the scheduler worker, run on schedulerThread_'s worker thread from the first show
// until it sees the worker's stop request (thread.Terminated()).
using SchedulerLoop = std::function<void(MainWindow& mainWindow, BackgroundWorker& thread, void*& data)>;

// The secondary windows, in the order of their creation.  Held, not owned: the start-up code
// owns them.  An empty entry makes its menu item and tool button do nothing.
struct SecondaryWindows {
  QPointer<SecondaryWindow> preferencesWindow;
  QPointer<SecondaryWindow> aboutWindow;
  QPointer<SecondaryWindow> environmentWindow;
  QPointer<SecondaryWindow> jobWindow;
  QPointer<SecondaryWindow> commandWindow;
  QPointer<SecondaryWindow> schedulerWindow;
  QPointer<SecondaryWindow> datePickerWindow;
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

// Bytes of a stored name or of the library's background answer as text on screen, each byte as
// its Latin-1 character (remote output goes through OutputText instead).
// Line breaks (CR LF, CR CR LF, a lone CR or LF) become single line breaks.
QString DisplayText(std::string_view bytes);

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(MainWindowServices services);
  // Stops the worker (if ShutdownWorker has not) and waits for it.
  ~MainWindow() override;

  // ---- what the other windows and the scheduler worker use ----------------------------------

  // The preference operations (GUI thread).
  std::int32_t ReadInteger(std::string_view name, std::int32_t def) const;
  void WriteInteger(std::string_view name, std::int32_t value);
  QString ReadText(std::string_view name, const QString& def) const;
  void WriteText(std::string_view name, const QString& value);

  // The cipher manager of stored values: "IDEA", cmCTS, the fixed key (set at the first show).
  // GUI thread only.
  TCipherManager storedValueCipher_;
  // A cipher manager set up as storedValueCipher_ is, for a thread of its own.
  static std::unique_ptr<TCipherManager> MakeStoredValueCipher();

  TrayIcon* trayIcon_ = nullptr;    // child of this window
  BackgroundThread* schedulerThread_ = nullptr;  // child of this window; none after ShutdownWorker

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

  // Sets the worker's stop request and waits for the worker, at most 10 s, serving the GUI
  // thread's events (its pending synchronised calls among them); a worker that has not ended by
  // then is reported (standard error, system log) and the program ends at once with exit status 1
  // (every save is done by then).  Called once the message loop has ended.
  void ShutdownWorker();

  // Whether the first show has run.
  bool FirstShowDone() const { return firstShowDone_; }

  // Whether an Execute is under way (from its start until its output is shown).
  bool ExecuteRunning() const { return run_ != nullptr; }

  // Ends the program as closing this window does, asking nothing: a signal or the end of the
  // desktop session, with nobody there to answer.  A dialog waiting for an answer is cancelled
  // first; every open secondary window then closes as its Close button does (the editors save),
  // a foreground run is let go as "Yes" on the quit question does, and the window closes (the
  // worker is asked to stop, the start-at-logon entry is written).  Messages go to the standard
  // error meanwhile.
  void EndUnattended();
  // Whether the window has closed (by the operator or by EndUnattended).
  bool Closing() const { return closing_; }

  // ---- the event handlers ----------------------------------------------------------------------
  void onFirstShow();
  void onExecute();      // "Execute" (menu and tool bar)
  void onClose();
  void onQuit();         // "Quit" (menu and tool bar)
  void onPreferences();  // "Preferences" (menu and tool bar)
  void onAbout();        // "About..."
  void onEnvironment();  // "Environment" (menu and tool bar)
  void onJob();          // "Job" (menu and tool bar)
  void onScheduler();    // "Scheduler" (menu and tool bar)
  void onProtocolChosen();
  void onTrayIconDoubleClicked(QObject* sender);
  void onTrayIconClicked(QObject* sender);  // a single click (a D-Bus tray's activation)
  // "Log File...", "Output File...": the desktop opens the file; where it cannot (no program for
  // text files, no xdg-open), the file is shown in FileViewer(); a missing file is said so.
  void onLogFile();
  void onOutputFile();
  // The read-only window that shows the log or the output file when the desktop cannot.
  HelpWindow& FileViewer() const { return *fileViewer_; }
  void onHelp();         // "Help / Tutorial" and the tool bar's "Help": the help text in helpWindow_
  // The scheduler thread's body, on its worker thread.
  void runSchedulerThread(QObject* sender, BackgroundWorker* thread, void*& data);
  // The scheduler worker's synchronised call after a run: an open scheduler editor reloads.
  void reloadSchedulerEditor(QObject* sender, BackgroundWorker* thread, void*& data);

  // ---- what the Preferences window changes ------------------------------------------------------
  // The output's colours as set (background, text) and its font.  The text is shown in the colour
  // set unless that is too close to the background to be read (ReadableTextColor).
  QColor OutputColor() const;
  void SetOutputColor(const QColor& color);
  QColor OutputTextColor() const;
  void SetOutputTextColor(const QColor& color);
  QFont OutputFont() const;
  void SetOutputFont(const QFont& font);
  // Whether minimizing hides the program in the notification area.
  void SetMinimizeToTray(bool enabled);

  // ---- the controls (public for the tests that drive the window) -------------------------------
  QToolBar* toolBar_ = nullptr;
  QComboBox* environmentList_ = nullptr;
  QComboBox* jobList_ = nullptr;
  QComboBox* protocolList_ = nullptr;
  QPlainTextEdit* output_ = nullptr;
  // While a foreground run goes on: which job runs on which host, and for how long.
  QStatusBar* statusBar_ = nullptr;

  // Menu items.
  QAction* preferencesAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* environmentAction_ = nullptr;
  QAction* jobAction_ = nullptr;
  QAction* schedulerAction_ = nullptr;
  QAction* logFileAction_ = nullptr;
  QAction* outputFileAction_ = nullptr;
  QAction* executeAction_ = nullptr;
  QAction* helpAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  // The help text's window ("Help / Tutorial", the tool bar's "Help"); a child of this window.
  HelpWindow* helpWindow_ = nullptr;
  // The notification-area icon's context menu: "Restore" and "Quit".
  QMenu* trayMenu_ = nullptr;
  QAction* trayRestoreAction_ = nullptr;
  QAction* trayQuitAction_ = nullptr;
  // Tool buttons, left to right.
  QAction* environmentButton_ = nullptr;
  QAction* jobButton_ = nullptr;
  QAction* executeButton_ = nullptr;
  QAction* preferencesButton_ = nullptr;
  QAction* schedulerButton_ = nullptr;
  QAction* helpButton_ = nullptr;
  QAction* quitButton_ = nullptr;

 signals:
  // Emitted when the window has closed (the program then ends).
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  // While an Execute runs, closing asks first: No keeps the window open (the output is shown when
  // the run ends); Yes closes at once and the run's output is dropped.  Closing closes every open
  // secondary window as its Close button does, so the editors save what they show; an editor that
  // refuses to close (a text the files cannot hold) keeps the program open.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void BuildToolBar();
  void BuildCentre();
  void Present(SecondaryWindow* window);
  // `what` names the file in messages ("log file"); `missing` says why it does not exist yet.
  void OpenFile(const QString& path, const QString& what, const QString& missing);
  void SetNames(QComboBox* box, const std::vector<std::string>& names);
  static std::string SelectedName(const QComboBox* box);
  void SetControlsEnabled(bool enabled);
  void SetBusy(bool busy);
  void onRunEnded(const ExecuteOutcome& outcome, bool background);
  // The status bar while a foreground run goes on: the job, the host and the time it has taken,
  // brought up to date every second; cleared when the window is no longer busy.
  void ShowRunStatus(const std::string& job, const std::string& environment);
  void UpdateRunStatus();
  // The remote host of an environment ("" when it has none or it cannot be read).
  std::string HostOf(const std::string& environment);
  // Closing while an Execute runs: answers whether the window may close.
  bool MayCloseDuringRun();
  // Closes every open secondary window as its Close button does; answers whether all of them
  // closed (an unattended end goes on past one that refuses, which is reported).
  bool CloseSecondaryWindows();
  // Cancels every modal dialog that waits for an answer; answers whether there was one.
  static bool CancelOpenDialogs();

  std::shared_ptr<LibraryFacade> library_;  // shared with a run in progress
  std::unique_ptr<UiServices> ui_;
  std::unique_ptr<Preferences> preferences_;
  ProgramPaths paths_;
  QString autostartDir_;
  QColor outputTextColor_{Qt::black};  // as set; the shown one may differ (see SetOutputTextColor)
  mutable std::mutex schedulerLoopMutex_;
  SchedulerLoop schedulerLoop_;  // guarded by schedulerLoopMutex_
  SecondaryWindows windows_;
  HelpWindow* fileViewer_ = nullptr;  // a child of this window, as helpWindow_
  std::string envIniPath_;
  std::string jobIniPath_;
  bool firstShowDone_ = false;
  bool closing_ = false;
  bool busy_ = false;
  std::unique_ptr<ExecuteRun> run_;  // the Execute under way
  bool runAbandoned_ = false;        // the operator quit without waiting for it
  bool unattended_ = false;          // the program ends by EndUnattended
  QTimer* runStatusTimer_ = nullptr;  // child of this window
  QElapsedTimer runClock_;           // since the foreground run began
  QString runStatusText_;            // the status without the time
  int dialogRounds_ = 0;             // EndUnattended's rounds of cancelling dialogs
};

}  // namespace corvane
