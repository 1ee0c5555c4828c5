// The main window of Corvane: the operator picks an environment, a job and a protocol,
// executes the job and reads the output.  It is built over the program's services (which it
// borrows: they outlive it), starts the scheduler service at its first show and stops it when it
// closes, and owns its notification-area icon.  The secondary windows are not its business: it
// asks for them by signals (preferencesRequested(), ...), which the start-up code connects, and
// closes the open ones in the order it is given when it closes.
//
// Threads: everything here runs on the GUI thread, except the library call of an Execute, which
// runs on a thread of its own (ExecuteRun) while the window goes on serving the desktop.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/components/tray_icon.h"
#include "console/core/execute_run.h"
#include "console/core/preferences.h"
#include "console/windows/console_services.h"
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

// Bytes of a stored name or of the library's background answer as text on screen, each byte as
// its Latin-1 character (remote output goes through OutputText instead).
// Line breaks (CR LF, CR CR LF, a lone CR or LF) become single line breaks.
QString DisplayText(std::string_view bytes);

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `services` is completed (ConsoleServices::Complete) and borrowed: it must outlive the window.
  // The window takes its notification-area backend.
  explicit MainWindow(ConsoleServices& services);
  // Stops the worker (if ShutdownWorker has not) and waits for it.
  ~MainWindow() override;

  // Refill the environment / job list with the section names of the file on disk, in file
  // order; nothing is selected afterwards.
  void RefillEnvironmentList();
  void RefillJobList();
  // The same from names at hand (bytes): what an editor wrote back on closing.
  void SetEnvironmentNames(const std::vector<std::string>& names);
  void SetJobNames(const std::vector<std::string>& names);

  // The selected names as bytes ("" when nothing is selected).
  std::string SelectedEnvironment() const;
  std::string SelectedJob() const;

  // The settings files of the lists (byte paths, as the settings library takes them); set at the
  // first show.
  const std::string& EnvIniPath() const { return envIniPath_; }
  const std::string& JobIniPath() const { return jobIniPath_; }

  // The secondary windows that closing this window closes (as their Close buttons do), in the
  // order given: the date picker and the command editor before the editors they write into.
  void SetClosingOrder(std::vector<QPointer<SecondaryWindow>> windows);

  // Stops the scheduler service and waits for its worker, at most 10 s, serving the GUI thread's
  // events (SchedulerService::Shutdown). Called once the message loop has ended.
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

  // The notification-area icon (a child of this window).
  TrayIcon& Tray() const { return *trayIcon_; }
  // The help text's window ("Help / Tutorial", the tool bar's "Help"); a child of this window.
  HelpWindow& Help() const { return *helpWindow_; }
  // The read-only window that shows the log or the output file when the desktop cannot.
  HelpWindow& FileViewer() const { return *fileViewer_; }

  // ---- the event handlers ----------------------------------------------------------------------
  void onFirstShow();
  void onExecute();  // "Execute" (menu and tool bar)
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
  void onHelp();  // "Help / Tutorial" and the tool bar's "Help": the help text in Help()

  // ---- what the Preferences window changes ------------------------------------------------------
  // The output's colours as set (background, text) and its font.  The text is shown in the colour
  // set unless that is too close to the background to be read (ReadableTextColor).
  QColor OutputColor() const;
  void SetOutputColor(const QColor& color);
  QColor OutputTextColor() const;
  void SetOutputTextColor(const QColor& color);
  QFont OutputFont() const;
  void SetOutputFont(const QFont& font);
  OutputLook CurrentOutputLook() const { return {OutputColor(), OutputTextColor(), OutputFont()}; }
  // Whether minimizing hides the program in the notification area.
  void SetMinimizeToTray(bool enabled);

 signals:
  // Emitted when the window has closed (the program then ends).
  void Closed();
  // The operator asks for a secondary window (menu item, shortcut, tool button).
  void preferencesRequested();
  void aboutRequested();
  void environmentRequested();
  void jobRequested();
  void schedulerRequested();

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
  void BuildTrayIcon();
  // The first show's steps, in their order.
  void ApplyOutputPreferences();
  void ApplyProtocolPreference();
  void OpenLists();
  void PrepareStoredValueCipher();
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

  ConsoleServices& services_;
  UiServices& ui_;
  Preferences& preferences_;
  TCipherManager& storedValueCipher_;
  SchedulerService& scheduler_;
  QColor outputTextColor_{Qt::black};  // as set; the shown one may differ (see SetOutputTextColor)
  std::vector<QPointer<SecondaryWindow>> closingOrder_;
  std::string envIniPath_;
  std::string jobIniPath_;
  bool firstShowDone_ = false;
  bool closing_ = false;
  bool busy_ = false;
  std::unique_ptr<ExecuteRun> run_;   // the Execute under way
  bool runAbandoned_ = false;         // the operator quit without waiting for it
  bool unattended_ = false;           // the program ends by EndUnattended
  QTimer* runStatusTimer_ = nullptr;  // child of this window
  QElapsedTimer runClock_;            // since the foreground run began
  QString runStatusText_;             // the status without the time
  int dialogRounds_ = 0;              // EndUnattended's rounds of cancelling dialogs

  // The controls, children of this window; tests find them by their object names.
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
  HelpWindow* helpWindow_ = nullptr;
  HelpWindow* fileViewer_ = nullptr;
  TrayIcon* trayIcon_ = nullptr;
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
};

}  // namespace corvane
