#include "console/windows/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <syslog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cipher/base/stored_key.h"
#include "console/core/autostart.h"
#include "console/windows/help_window.h"
#include "console/core/output_text.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

constexpr char kProgramIcon[] = ":/corvane/resources/corvane.png";
constexpr int kIdlePollMs = 20;
// How long ending the program waits for the scheduler worker.
constexpr std::chrono::milliseconds kSchedulerStopLimit{10000};

// A drop-down list that takes no typed text; typing into it opens the list.
class DropDownList final : public QComboBox {
 public:
  explicit DropDownList(QWidget* parent) : QComboBox(parent) { setEditable(false); }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && count() > 0) {
      showPopup();
      return;
    }
    QComboBox::keyPressEvent(event);
  }
};

QLabel* BoldLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

std::string NormaliseLineBreaks(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      std::size_t j = i;
      while (j < bytes.size() && bytes[j] == '\r') ++j;
      if (j < bytes.size() && bytes[j] == '\n') {
        out += '\n';  // CR LF, CR CR LF: one line break
        i = j;
      } else {
        out += '\n';  // a lone CR
      }
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

QString DisplayText(std::string_view bytes) {
  const std::string text = NormaliseLineBreaks(bytes);
  // Texts are 8-bit bytes end to end; the widgets show them as Latin-1.
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

MainWindow::MainWindow(MainWindowServices services)
    : library_(std::move(services.library)),
      ui_(services.ui ? std::move(services.ui) : std::make_unique<UiServices>()),
      preferences_(services.preferences ? std::move(services.preferences) : std::make_unique<Preferences>()),
      paths_(std::move(services.paths)),
      autostartDir_(services.autostartDir.isEmpty() ? AutostartEntry::DefaultDirectory()
                                                    : std::move(services.autostartDir)),
      schedulerLoop_(std::move(services.schedulerLoop)) {
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  setWindowIcon(QIcon(QString::fromLatin1(kProgramIcon)));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  resize(704, 486);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }

  BuildMenu();
  BuildToolBar();
  BuildCentre();
  statusBar_ = statusBar();
  // Larger than the screen (a large scale factor): fitted into it, so the menu stays reachable.
  FitIntoScreen(*this);
  runStatusTimer_ = new QTimer(this);
  runStatusTimer_->setInterval(1000);
  connect(runStatusTimer_, &QTimer::timeout, this, [this] { UpdateRunStatus(); });

  // The cipher manager's stored form: Blowfish in cmCTS; the first show switches it to the
  // stored-value cipher.
  storedValueCipher_.SetMode(TCipherMode::cmCTS);
  storedValueCipher_.ReadStoredCipher("TCipher_Blowfish");

  helpWindow_ = new HelpWindow(this, *ui_);
  fileViewer_ = new HelpWindow(this, *ui_, QString::fromLatin1(kApplicationTitle));

  trayIcon_ = new TrayIcon(this, std::move(services.trayBackend));
  trayIcon_->SetIcon(windowIcon());
  trayIcon_->SetHint(kApplicationTitle);
  trayIcon_->OnDblClick = [this](QObject* sender) { onTrayIconDoubleClicked(sender); };
  // A D-Bus notification area (KDE Plasma, GNOME with AppIndicator, any Wayland desktop) sends a
  // single activation and never a double click: a click brings the program back as well, and the
  // icon has a context menu that every notification area can show.
  trayIcon_->OnLeftClick = [this](QObject* sender) { onTrayIconClicked(sender); };
  trayMenu_ = new QMenu(this);
  trayRestoreAction_ = trayMenu_->addAction(QStringLiteral("&Restore"));
  connect(trayRestoreAction_, &QAction::triggered, this, [this] { trayIcon_->Restore(); });
  trayQuitAction_ = trayMenu_->addAction(QStringLiteral("&Quit"));
  connect(trayQuitAction_, &QAction::triggered, this, &MainWindow::onQuit);
  trayIcon_->SetPopupMenu(trayMenu_);

  schedulerThread_ = new BackgroundThread(this);
  schedulerThread_->OnExecute = [this](QObject* sender, BackgroundWorker* thread, void*& data) {
    runSchedulerThread(sender, thread, data);
  };
}

MainWindow::~MainWindow() {
  // A run still in the library is let go (its outcome is dropped); the cursor is given back.
  run_.reset();
  SetBusy(false);
  ShutdownWorker();
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  const auto item = [this](QMenu* menu, const char* caption, QKeySequence shortcut, auto handler) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  const auto keys = [](QKeyCombination combination) { return QKeySequence(combination); };
  const auto ctrlAlt = Qt::CTRL | Qt::ALT;

  // Each caption keeps its words; "&" marks the letter of its keyboard mnemonic (Alt+F for File),
  // which Qt underlines and does not show.
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  preferencesAction_ = item(file, "&Preferences", keys(ctrlAlt | Qt::Key_P), &MainWindow::onPreferences);
  file->addSeparator();
  quitAction_ = item(file, "&Quit", keys(ctrlAlt | Qt::Key_Q), &MainWindow::onQuit);

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  environmentAction_ = item(view, "&Environment", keys(ctrlAlt | Qt::Key_E), &MainWindow::onEnvironment);
  jobAction_ = item(view, "&Job", keys(ctrlAlt | Qt::Key_J), &MainWindow::onJob);
  schedulerAction_ = item(view, "&Scheduler", keys(ctrlAlt | Qt::Key_S), &MainWindow::onScheduler);
  view->addSeparator();
  logFileAction_ = item(view, "&Log File...", QKeySequence(), &MainWindow::onLogFile);
  outputFileAction_ = item(view, "&Output File...", QKeySequence(), &MainWindow::onOutputFile);

  QMenu* action = bar->addMenu(QStringLiteral("&Action"));
  executeAction_ = item(action, "E&xecute", keys(ctrlAlt | Qt::Key_X), &MainWindow::onExecute);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  helpAction_ = item(help, "&Help / Tutorial", QKeySequence(Qt::Key_F1), &MainWindow::onHelp);
  help->addSeparator();
  aboutAction_ = item(help, "&About...", keys(ctrlAlt | Qt::Key_A), &MainWindow::onAbout);
}

void MainWindow::BuildToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Tool Bar"), this);
  toolBar_->setObjectName(QStringLiteral("toolBar"));
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setIconSize(QSize(32, 32));
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  addToolBar(Qt::TopToolBarArea, toolBar_);

  // The program's own pictures (SVG, drawn for it): the style's stock icons look pale and
  // disabled under some themes.
  const auto button = [&](const char* picture, const char* hint, auto handler) {
    toolBar_->addSeparator();
    const QIcon icon(QStringLiteral(":/corvane/resources/icons/%1.svg").arg(QLatin1String(picture)));
    QAction* action = toolBar_->addAction(icon, QString::fromLatin1(hint));
    action->setToolTip(QString::fromLatin1(hint));
    connect(action, &QAction::triggered, this, handler);
    if (QWidget* widget = toolBar_->widgetForAction(action)) widget->setFixedSize(39, 38);
    return action;
  };
  environmentButton_ = button("environment", "Environment", &MainWindow::onEnvironment);
  jobButton_ = button("job", "Job", &MainWindow::onJob);
  executeButton_ = button("execute", "Execute", &MainWindow::onExecute);
  preferencesButton_ = button("preferences", "Preferences", &MainWindow::onPreferences);
  schedulerButton_ = button("scheduler", "Scheduler", &MainWindow::onScheduler);
  helpButton_ = button("help", "Help", &MainWindow::onHelp);
  quitButton_ = button("quit", "Quit", &MainWindow::onQuit);
}

void MainWindow::BuildCentre() {
  auto* centre = new QWidget(this);
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(2, 2, 2, 2);

  auto* frame = new QFrame(centre);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Raised);
  auto* grid = new QGridLayout(frame);
  environmentList_ = new DropDownList(frame);
  jobList_ = new DropDownList(frame);
  protocolList_ = new DropDownList(frame);
  environmentList_->setObjectName(QStringLiteral("environmentList"));
  jobList_->setObjectName(QStringLiteral("jobList"));
  protocolList_->setObjectName(QStringLiteral("protocolList"));
  protocolList_->setToolTip(QStringLiteral("Select Protocol"));
  protocolList_->addItem(QStringLiteral("Remote Exec"));
  protocolList_->addItem(QStringLiteral("Remote Shell"));
  protocolList_->setCurrentIndex(-1);
  grid->addWidget(BoldLabel(QStringLiteral("Environment:"), frame), 0, 0);
  grid->addWidget(environmentList_, 0, 1);
  grid->addWidget(BoldLabel(QStringLiteral("Job:"), frame), 1, 0);
  grid->addWidget(jobList_, 1, 1);
  grid->addWidget(BoldLabel(QStringLiteral("Protocol:"), frame), 2, 0);
  grid->addWidget(protocolList_, 2, 1);
  grid->setColumnStretch(1, 1);
  for (QComboBox* box : {environmentList_, jobList_, protocolList_}) {
    box->setMinimumWidth(200);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
  // Only the operator's choice is a change: a selection made from code writes nothing.
  connect(protocolList_, &QComboBox::activated, this, [this](int) { onProtocolChosen(); });
  layout->addWidget(frame);

  output_ = new QPlainTextEdit(centre);
  output_->setObjectName(QStringLiteral("output"));
  output_->setReadOnly(true);
  output_->setLineWrapMode(QPlainTextEdit::NoWrap);
  output_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(output_, 1);

  setCentralWidget(centre);
}

// ---- preferences --------------------------------------------------------------------------------

std::int32_t MainWindow::ReadInteger(std::string_view name, std::int32_t def) const {
  return preferences_->ReadInteger(name, def);
}
void MainWindow::WriteInteger(std::string_view name, std::int32_t value) { preferences_->WriteInteger(name, value); }
QString MainWindow::ReadText(std::string_view name, const QString& def) const {
  return preferences_->ReadText(name, def);
}
void MainWindow::WriteText(std::string_view name, const QString& value) {
  preferences_->WriteText(name, value);
}

std::unique_ptr<TCipherManager> MainWindow::MakeStoredValueCipher() {
  auto manager = std::make_unique<TCipherManager>();
  manager->SetMode(TCipherMode::cmCTS);
  manager->SetAlgorithm(kStoredValueAlgorithm);
  manager->InitKey(StoredValueKeyText());
  return manager;
}

// ---- output -------------------------------------------------------------------------------------

QColor MainWindow::OutputColor() const { return output_->palette().color(QPalette::Base); }

void MainWindow::SetOutputColor(const QColor& color) {
  QPalette palette = output_->palette();
  palette.setColor(QPalette::Base, color);
  palette.setColor(QPalette::Text, ReadableTextColor(outputTextColor_, color));
  output_->setPalette(palette);
}

QColor MainWindow::OutputTextColor() const { return outputTextColor_; }

QFont MainWindow::OutputFont() const { return output_->font(); }

void MainWindow::SetOutputFont(const QFont& font) { output_->setFont(font); }

void MainWindow::SetMinimizeToTray(bool enabled) { trayIcon_->SetEnabled(enabled); }

void MainWindow::SetOutputTextColor(const QColor& color) {
  outputTextColor_ = color;
  QPalette palette = output_->palette();
  palette.setColor(QPalette::Text, ReadableTextColor(color, palette.color(QPalette::Base)));
  output_->setPalette(palette);
}

// ---- lists --------------------------------------------------------------------------------------

void MainWindow::SetNames(QComboBox* box, const std::vector<std::string>& names) {
  box->clear();
  for (const std::string& name : names) {
    box->addItem(DisplayText(name), QByteArray(name.data(), static_cast<qsizetype>(name.size())));
  }
  box->setCurrentIndex(-1);
}

void MainWindow::SetEnvironmentNames(const std::vector<std::string>& names) { SetNames(environmentList_, names); }
void MainWindow::SetJobNames(const std::vector<std::string>& names) { SetNames(jobList_, names); }

void MainWindow::RefillEnvironmentList() { SetEnvironmentNames(IniFile(envIniPath_).Sections()); }
void MainWindow::RefillJobList() { SetJobNames(IniFile(jobIniPath_).Sections()); }

std::string MainWindow::SelectedName(const QComboBox* box) {
  if (box->currentIndex() < 0) return {};
  return box->currentData().toByteArray().toStdString();
}

std::string MainWindow::SelectedEnvironment() const { return SelectedName(environmentList_); }
std::string MainWindow::SelectedJob() const { return SelectedName(jobList_); }

// ---- first show ---------------------------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShowDone_ || event->spontaneous()) return;
  firstShowDone_ = true;
  Guarded(*ui_, this, [this] { onFirstShow(); });
}

void MainWindow::onFirstShow() {
  // 1. The preference store exists from here on.
  preferences_->Open();
  // Minimizing into the notification area follows MINIMIZE from the start.
  trayIcon_->SetEnabled(ReadInteger(pref::MINIMIZE, pref::kMinimizeDefault) == 1);

  // 2. The memo's colours and font.
  SetOutputColor(FromStoredColor(ReadInteger(pref::BGCLR, pref::kBgColorDefault)));
  SetOutputTextColor(FromStoredColor(ReadInteger(pref::FONTCOLOR, pref::kFontColorDefault)));
  QFont font = output_->font();
  const std::int32_t size = ReadInteger(pref::FONTSIZE, pref::kFontSizeDefault);
  font.setPointSize(size > 0 ? size : pref::kFontSizeDefault);
  ApplyFontStyleByte(font, ReadInteger(pref::FONTSTYLE, pref::kFontStyleDefault));
  // The character set (FONTCHARSET) has no counterpart in the font system here; it is kept in
  // the preferences as it is.
  font.setFamily(ReadText(pref::FONTNAME, QString::fromLatin1(pref::kFontNameDefault)));
  output_->setFont(font);

  // 3. The protocol, without running its change handler; an index out of range selects nothing.
  const std::int32_t protocol = ReadInteger(pref::PROTOCOL, pref::kProtocolDefault);
  protocolList_->setCurrentIndex(protocol >= 0 && protocol < protocolList_->count() ? protocol : -1);

  // 4. The scheduler worker. A worker the system refuses is reported; the window still works.
  Guarded(*ui_, this, [this] { schedulerThread_->Start(); });

  // 5., 6. The lists, in file order, nothing selected.  A file that cannot be read is reported
  // and leaves its list empty; the rest of the first show still runs.
  envIniPath_ = ProgramPaths::Bytes(paths_.EnvIniPath());
  jobIniPath_ = ProgramPaths::Bytes(paths_.JobIniPath());
  Guarded(*ui_, this, [this] { RefillEnvironmentList(); });
  Guarded(*ui_, this, [this] { RefillJobList(); });

  // 7. The cipher of stored values.
  storedValueCipher_.SetAlgorithm(kStoredValueAlgorithm);
  storedValueCipher_.InitKey(StoredValueKeyText());
}

// ---- execute ------------------------------------------------------------------------------------

void MainWindow::SetControlsEnabled(bool enabled) {
  menuBar()->setEnabled(enabled);
  toolBar_->setEnabled(enabled);
  // The menu's shortcuts stay with the menu.
  for (QAction* action : {preferencesAction_, quitAction_, environmentAction_, jobAction_, schedulerAction_,
                          logFileAction_, outputFileAction_, executeAction_, helpAction_, aboutAction_}) {
    action->setEnabled(enabled);
  }
}

void MainWindow::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  SetControlsEnabled(!busy);
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
    runStatusTimer_->stop();
    runStatusText_.clear();
    statusBar_->clearMessage();
  }
}

std::string MainWindow::HostOf(const std::string& environment) {
  try {
    return StoredValues(storedValueCipher_).Read(IniFile(envIniPath_), environment, "RHost");
  } catch (const std::exception&) {
    return {};  // the run itself reports what is wrong with the environment
  }
}

void MainWindow::ShowRunStatus(const std::string& job, const std::string& environment) {
  const std::string host = HostOf(environment);
  runStatusText_ = host.empty() ? QStringLiteral("Job \"%1\" running in environment \"%2\"")
                                      .arg(DisplayText(job), DisplayText(environment))
                                : QStringLiteral("Job \"%1\" running on %2 (environment \"%3\")")
                                      .arg(DisplayText(job), DisplayText(host), DisplayText(environment));
  runClock_.start();
  UpdateRunStatus();
  runStatusTimer_->start();
}

void MainWindow::UpdateRunStatus() {
  if (runStatusText_.isEmpty()) return;
  const qint64 seconds = runClock_.elapsed() / 1000;
  const QString taken = QStringLiteral("%1:%2:%3")
                            .arg(seconds / 3600)
                            .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
  statusBar_->showMessage(runStatusText_ + QStringLiteral(" for ") + taken);
}

void MainWindow::onExecute() {
  if (run_) return;  // one run at a time (the menu and the tool bar are off while it runs)
  Guarded(*ui_, this, [this] {
    // Every road out of here that starts no run gives the controls and the cursor back (before a
    // failure is shown).
    struct RestoreUnlessStarted {
      MainWindow* window;
      ~RestoreUnlessStarted() {
        if (!window->run_) window->SetBusy(false);
      }
    } restore{this};
    output_->clear();
    const auto owner = static_cast<std::uintptr_t>(window()->winId());
    SetBusy(true);
    ExecuteRequest request;
    request.protocolIndex = protocolList_->currentIndex();
    request.environment = SelectedEnvironment();
    request.job = SelectedJob();
    if (request.environment.empty()) {
      SetBusy(false);
      ui_->Message(this, QStringLiteral("Please Select an Environment Name"));
      return;
    }
    if (request.job.empty()) {
      SetBusy(false);
      ui_->Message(this, QStringLiteral("Please Select a Job Name"));
      return;
    }
    request.dataDir = paths_.DataDirBytes();
    request.ownerWindow = owner;
    request.background = ReadInteger(pref::EXECBACK, pref::kExecBackDefault) == 1;
    const bool background = request.background;
    if (!background) ShowRunStatus(request.job, request.environment);
    // The library call runs on a thread of its own; this thread goes on serving the window (and
    // shows the library's operator prompt) until the outcome comes back.
    run_ = std::make_unique<ExecuteRun>(library_, std::move(request), this,
                                        [this, background](const ExecuteOutcome& outcome) {
                                          onRunEnded(outcome, background);
                                        });
  });
}

void MainWindow::onRunEnded(const ExecuteOutcome& outcome, bool background) {
  if (!run_) return;
  run_.reset();  // the library call has returned: this joins its thread
  if (runAbandoned_) {
    // The window has closed; the operator was told that this output would not be shown.
    SetBusy(false);
    return;
  }
  if (outcome.failure) {
    SetBusy(false);
    ui_->Message(this, QString::fromLocal8Bit(*outcome.failure));
    return;
  }
  const ExecuteResult& result = outcome.result;
  // Remote output is shown as UTF-8 where it is valid UTF-8; the background answer is the
  // library's own text, shown byte for byte as the names are.
  output_->appendPlainText(background ? DisplayText(result.text) : OutputText(result.text, result.cut));
  SetBusy(false);
}

bool MainWindow::MayCloseDuringRun() {
  bool quit = false;
  // The question is no part of the run: the ordinary cursor while it is asked.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  Guarded(*ui_, this, [&] {
    quit = ui_->Confirm(this, QStringLiteral("A job is still running and its output has not come back yet.\n\n"
                                             "Quit now? Its output will be lost.\n"
                                             "No keeps the window open; the output is shown when the job ends."));
  });
  QApplication::restoreOverrideCursor();
  if (!quit) return false;
  // The run may have ended while the question was open; then its output is on screen already.
  if (run_) runAbandoned_ = true;
  return true;
}

// ---- close --------------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    emit Closed();
    return;
  }
  const bool abandonedBefore = runAbandoned_;
  if (run_ && !runAbandoned_ && !MayCloseDuringRun()) {
    event->ignore();
    return;
  }
  // Windows hidden in the notification area are open all the same: back on screen, they close as
  // their Close buttons do.
  if (trayIcon_ != nullptr && trayIcon_->Shown()) trayIcon_->Restore();
  if (!CloseSecondaryWindows()) {
    // The program stays, so a run still under way keeps its output.
    runAbandoned_ = abandonedBefore;
    event->ignore();
    return;
  }
  closing_ = true;
  onClose();
  event->accept();
  emit Closed();
}

void MainWindow::onClose() {
  // 1. Ask the worker to stop; it is waited for once the message loop has ended.
  if (schedulerThread_ != nullptr) schedulerThread_->Stop();
  // 2., 3. The start-at-logon entry.  A failure is reported and does not keep the window open.
  Guarded(*ui_, this, [this] {
    const bool runAtLogon = ReadInteger(pref::RUNSTART, pref::kRunStartDefault) == 1;
    AutostartEntry(autostartDir_).Apply(runAtLogon, paths_.programFile);
  });
}

void MainWindow::onQuit() { close(); }

bool MainWindow::CloseSecondaryWindows() {
  // The date picker and the command editor before the editors they write into.
  const std::vector<QPointer<SecondaryWindow>> windows{
      windows_.datePickerWindow, windows_.commandWindow, windows_.environmentWindow, windows_.jobWindow,
      windows_.schedulerWindow,  windows_.preferencesWindow, windows_.aboutWindow, helpWindow_};
  bool allClosed = true;
  for (const QPointer<SecondaryWindow>& window : windows) {
    if (window.isNull() || !window->isVisible()) continue;
    window->close();
    if (window.isNull() || !window->isVisible()) continue;
    if (!unattended_) return false;
    ui_->Message(this, QStringLiteral("\"%1\" could not save what it shows; the program ends without it.")
                           .arg(window->windowTitle()));
    allClosed = false;
  }
  return allClosed || unattended_;
}

bool MainWindow::CancelOpenDialogs() {
  bool cancelled = false;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog == nullptr || !dialog->isVisible() || !dialog->isModal()) continue;
    dialog->reject();
    cancelled = true;
  }
  return cancelled;
}

void MainWindow::EndUnattended() {
  if (closing_) return;
  unattended_ = true;
  ui_->SetUnattended(true);
  // A dialog's own event loop must unwind before the windows close: cancel it and come back once
  // it has (a few rounds at most; a dialog that keeps coming back does not hold the end up).
  constexpr int kMaxDialogRounds = 20;
  constexpr int kDialogUnwindMs = 10;
  if (dialogRounds_ < kMaxDialogRounds && CancelOpenDialogs()) {
    ++dialogRounds_;
    QTimer::singleShot(kDialogUnwindMs, this, &MainWindow::EndUnattended);
    return;
  }
  // A foreground run ends as "Yes" on the quit question does: its output is let go.
  if (run_) runAbandoned_ = true;
  close();
}

void MainWindow::ShutdownWorker() {
  if (schedulerThread_ == nullptr) return;
  // The worker sees the stop request at its next step (its pause wakes at once, a synchronised
  // call still waiting is dropped); one that has not ended within the limit is stuck in a call
  // that never returns, and the program ends without it rather than hang.
  schedulerThread_->Stop();
  const QDeadlineTimer limit(kSchedulerStopLimit);
  // The GUI thread's events are served meanwhile: a synchronised call the worker waits in is only
  // dropped once the GUI thread takes it from its queue. (Serving them may also take back the
  // ended worker, so it is looked up afresh each round.)
  for (;;) {
    BackgroundWorker* worker = schedulerThread_->Worker();
    if (worker == nullptr || worker->wait(QDeadlineTimer(kIdlePollMs))) break;
    if (limit.hasExpired()) {
      const char* text = "Corvane: the scheduler did not end within 10 s; the program ends without it";
      std::fprintf(stderr, "%s\n", text);
      std::fflush(nullptr);
      ::syslog(LOG_USER | LOG_WARNING, "%s", text);
      std::_Exit(EXIT_FAILURE);
    }
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  BackgroundThread* thread = std::exchange(schedulerThread_, nullptr);
  delete thread;  // the worker has ended: takes back what is left of it, serving the GUI thread's events
}

// ---- windows and files --------------------------------------------------------------------------

void MainWindow::Present(SecondaryWindow* window) {
  if (window == nullptr) return;
  Guarded(*ui_, this, [window] { window->present(); });
}

void MainWindow::onPreferences() { Present(windows_.preferencesWindow); }
void MainWindow::onAbout() { Present(windows_.aboutWindow); }
void MainWindow::onEnvironment() { Present(windows_.environmentWindow); }
void MainWindow::onJob() { Present(windows_.jobWindow); }
void MainWindow::onScheduler() { Present(windows_.schedulerWindow); }

void MainWindow::onProtocolChosen() {
  Guarded(*ui_, this, [this] { WriteInteger(pref::PROTOCOL, protocolList_->currentIndex()); });
}

void MainWindow::onTrayIconDoubleClicked(QObject*) { trayIcon_->Restore(); }

void MainWindow::onTrayIconClicked(QObject*) {
  if (trayIcon_->Shown()) trayIcon_->Restore();
}

void MainWindow::OpenFile(const QString& path, const QString& what, const QString& missing) {
  Guarded(*ui_, this, [&] {
    if (!QFileInfo::exists(path)) {
      ui_->Message(this, QStringLiteral("Cannot open the %1 \"%2\": it does not exist yet (%3).")
                             .arg(what, path, missing));
      return;
    }
    if (!QFileInfo(path).isFile()) {  // a FIFO or a device would hold the window in its open
      ui_->Message(this, QStringLiteral("Cannot open the %1 \"%2\": it is not a regular file.").arg(what, path));
      return;
    }
    if (ui_->Open(this, QUrl::fromLocalFile(path))) return;
    // No program of the desktop took it: the program shows it itself, read anew each time.
    if (!fileViewer_->loadFile(path)) {
      ui_->Message(this, QStringLiteral("Cannot open the %1 \"%2\": %3").arg(what, path, fileViewer_->errorString()));
      return;
    }
    fileViewer_->setWindowTitle(QString::fromLatin1(kApplicationTitle) + QStringLiteral(" - ") + path);
    fileViewer_->present();
  });
}

void MainWindow::onLogFile() {
  OpenFile(paths_.LogPath(), QStringLiteral("log file"), QStringLiteral("no scheduled job has run yet"));
}
void MainWindow::onOutputFile() {
  OpenFile(paths_.OutputPath(), QStringLiteral("output file"),
           QStringLiteral("no job has run in the background yet"));
}
void MainWindow::onHelp() {
  // The help file is plain text: shown in a window of the program, read anew at each opening.
  // (A desktop handed CORVANE.HLP takes it for a Windows help file and opens nothing usable.)
  Guarded(*ui_, this, [this] {
    if (!helpWindow_->isVisible() && !helpWindow_->loadFile(paths_.HelpPath())) {
      ui_->Message(this, QStringLiteral("Cannot open the help file \"%1\": %2")
                             .arg(paths_.HelpPath(), helpWindow_->errorString()));
      return;
    }
    helpWindow_->present();
  });
}

// ---- scheduler worker ---------------------------------------------------------------------------

void MainWindow::SetSchedulerLoop(SchedulerLoop loop) {
  std::lock_guard lock(schedulerLoopMutex_);
  schedulerLoop_ = std::move(loop);
}

void MainWindow::runSchedulerThread(QObject*, BackgroundWorker* thread, void*& data) {
  // Without a scheduler loop the worker idles until it is asked to stop.
  while (!thread->Terminated()) {
    SchedulerLoop loop;
    {
      std::lock_guard lock(schedulerLoopMutex_);
      loop = schedulerLoop_;
    }
    if (loop) {
      loop(*this, *thread, data);
      return;
    }
    QThread::msleep(kIdlePollMs);
  }
}

void MainWindow::reloadSchedulerEditor(QObject*, BackgroundWorker*, void*&) {
  SecondaryWindow* scheduler = windows_.schedulerWindow;
  if (scheduler == nullptr || !scheduler->isVisible()) return;
  Guarded(*ui_, scheduler, [scheduler] { scheduler->ReloadFromDisk(); });
}

}  // namespace corvane
