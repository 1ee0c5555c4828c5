#include "console/windows/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
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
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

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

MainWindow::MainWindow(ConsoleServices& services)
    : services_((services.Complete(), services)),
      ui_(*services.ui),
      preferences_(*services.preferences),
      storedValueCipher_(*services.storedValueCipher),
      scheduler_(*services.scheduler) {
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
  statusBar_->setObjectName(QStringLiteral("statusBar"));
  // Larger than the screen (a large scale factor): fitted into it, so the menu stays reachable.
  FitIntoScreen(*this);
  runStatusTimer_ = new QTimer(this);
  runStatusTimer_->setInterval(1000);
  connect(runStatusTimer_, &QTimer::timeout, this, [this] { UpdateRunStatus(); });

  // The cipher manager's stored form: Blowfish in cmCTS; the first show switches it to the
  // stored-value cipher.
  storedValueCipher_.SetMode(TCipherMode::cmCTS);
  storedValueCipher_.ReadStoredCipher("TCipher_Blowfish");

  helpWindow_ = new HelpWindow(this, ui_);
  helpWindow_->setObjectName(QStringLiteral("helpWindow"));
  fileViewer_ = new HelpWindow(this, ui_, QString::fromLatin1(kApplicationTitle));
  fileViewer_->setObjectName(QStringLiteral("fileViewer"));

  BuildTrayIcon();
}

void MainWindow::BuildTrayIcon() {
  trayIcon_ = new TrayIcon(this, std::move(services_.trayBackend));
  trayIcon_->setObjectName(QStringLiteral("trayIcon"));
  trayIcon_->SetIcon(windowIcon());
  trayIcon_->SetHint(kApplicationTitle);
  trayIcon_->OnDblClick = [this](QObject* sender) { onTrayIconDoubleClicked(sender); };
  // A D-Bus notification area (KDE Plasma, GNOME with AppIndicator, any Wayland desktop) sends a
  // single activation and never a double click: a click brings the program back as well, and the
  // icon has a context menu that every notification area can show.
  trayIcon_->OnLeftClick = [this](QObject* sender) { onTrayIconClicked(sender); };
  trayMenu_ = new QMenu(this);
  trayMenu_->setObjectName(QStringLiteral("trayMenu"));
  trayRestoreAction_ = trayMenu_->addAction(QStringLiteral("&Restore"));
  trayRestoreAction_->setObjectName(QStringLiteral("trayRestoreAction"));
  connect(trayRestoreAction_, &QAction::triggered, this, [this] { trayIcon_->Restore(); });
  trayQuitAction_ = trayMenu_->addAction(QStringLiteral("&Quit"));
  trayQuitAction_->setObjectName(QStringLiteral("trayQuitAction"));
  connect(trayQuitAction_, &QAction::triggered, this, &MainWindow::onQuit);
  trayIcon_->SetPopupMenu(trayMenu_);
}

MainWindow::~MainWindow() {
  // A run still in the library is let go (its outcome is dropped); the cursor is given back.
  run_.reset();
  SetBusy(false);
  ShutdownWorker();
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  const auto item = [this](QMenu* menu, const char* name, const char* caption, QKeySequence shortcut,
                           auto handler) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  const auto keys = [](QKeyCombination combination) { return QKeySequence(combination); };
  const auto ctrlAlt = Qt::CTRL | Qt::ALT;

  // Each caption keeps its words; "&" marks the letter of its keyboard mnemonic (Alt+F for File),
  // which Qt underlines and does not show.
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  preferencesAction_ =
      item(file, "preferencesAction", "&Preferences", keys(ctrlAlt | Qt::Key_P), &MainWindow::onPreferences);
  file->addSeparator();
  quitAction_ = item(file, "quitAction", "&Quit", keys(ctrlAlt | Qt::Key_Q), &MainWindow::onQuit);

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  environmentAction_ =
      item(view, "environmentAction", "&Environment", keys(ctrlAlt | Qt::Key_E), &MainWindow::onEnvironment);
  jobAction_ = item(view, "jobAction", "&Job", keys(ctrlAlt | Qt::Key_J), &MainWindow::onJob);
  schedulerAction_ =
      item(view, "schedulerAction", "&Scheduler", keys(ctrlAlt | Qt::Key_S), &MainWindow::onScheduler);
  view->addSeparator();
  logFileAction_ = item(view, "logFileAction", "&Log File...", QKeySequence(), &MainWindow::onLogFile);
  outputFileAction_ = item(view, "outputFileAction", "&Output File...", QKeySequence(), &MainWindow::onOutputFile);

  QMenu* action = bar->addMenu(QStringLiteral("&Action"));
  executeAction_ = item(action, "executeAction", "E&xecute", keys(ctrlAlt | Qt::Key_X), &MainWindow::onExecute);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  helpAction_ = item(help, "helpAction", "&Help / Tutorial", QKeySequence(Qt::Key_F1), &MainWindow::onHelp);
  help->addSeparator();
  aboutAction_ = item(help, "aboutAction", "&About...", keys(ctrlAlt | Qt::Key_A), &MainWindow::onAbout);
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
    action->setObjectName(QLatin1String(picture) + QStringLiteral("Button"));
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
  Guarded(ui_, this, [this] { onFirstShow(); });
}

void MainWindow::onFirstShow() {
  // The preference store exists from here on.
  preferences_.Open();
  // Minimizing into the notification area follows MINIMIZE from the start.
  trayIcon_->SetEnabled(preferences_.ReadInteger(pref::MINIMIZE, pref::kMinimizeDefault) == 1);
  ApplyOutputPreferences();
  ApplyProtocolPreference();
  // A scheduler worker the system refuses is reported; the window still works.
  Guarded(ui_, this, [this] { scheduler_.Start(); });
  OpenLists();
  PrepareStoredValueCipher();
}

void MainWindow::ApplyOutputPreferences() {
  SetOutputColor(FromStoredColor(preferences_.ReadInteger(pref::BGCLR, pref::kBgColorDefault)));
  SetOutputTextColor(FromStoredColor(preferences_.ReadInteger(pref::FONTCOLOR, pref::kFontColorDefault)));
  QFont font = output_->font();
  const std::int32_t size = preferences_.ReadInteger(pref::FONTSIZE, pref::kFontSizeDefault);
  font.setPointSize(size > 0 ? size : pref::kFontSizeDefault);
  ApplyFontStyleByte(font, preferences_.ReadInteger(pref::FONTSTYLE, pref::kFontStyleDefault));
  // The character set (FONTCHARSET) has no counterpart in the font system here; it is kept in
  // the preferences as it is.
  font.setFamily(preferences_.ReadText(pref::FONTNAME, QString::fromLatin1(pref::kFontNameDefault)));
  output_->setFont(font);
}

void MainWindow::ApplyProtocolPreference() {
  // Selected without running its change handler; an index out of range selects nothing.
  const std::int32_t protocol = preferences_.ReadInteger(pref::PROTOCOL, pref::kProtocolDefault);
  protocolList_->setCurrentIndex(protocol >= 0 && protocol < protocolList_->count() ? protocol : -1);
}

void MainWindow::OpenLists() {
  // In file order, nothing selected.  A file that cannot be read is reported and leaves its list
  // empty; the rest of the first show still runs.
  envIniPath_ = ProgramPaths::Bytes(services_.paths.EnvIniPath());
  jobIniPath_ = ProgramPaths::Bytes(services_.paths.JobIniPath());
  Guarded(ui_, this, [this] { RefillEnvironmentList(); });
  Guarded(ui_, this, [this] { RefillJobList(); });
}

void MainWindow::PrepareStoredValueCipher() {
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
  Guarded(ui_, this, [this] {
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
      ui_.Message(this, QStringLiteral("Please Select an Environment Name"));
      return;
    }
    if (request.job.empty()) {
      SetBusy(false);
      ui_.Message(this, QStringLiteral("Please Select a Job Name"));
      return;
    }
    request.dataDir = services_.paths.DataDirBytes();
    request.ownerWindow = owner;
    request.background = preferences_.ReadInteger(pref::EXECBACK, pref::kExecBackDefault) == 1;
    const bool background = request.background;
    if (!background) ShowRunStatus(request.job, request.environment);
    // The library call runs on a thread of its own; this thread goes on serving the window (and
    // shows the library's operator prompt) until the outcome comes back.
    run_ = std::make_unique<ExecuteRun>(
        services_.library, std::move(request), this,
        [this, background](const ExecuteOutcome& outcome) { onRunEnded(outcome, background); });
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
    ui_.Message(this, QString::fromLocal8Bit(*outcome.failure));
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
  Guarded(ui_, this, [&] {
    quit = ui_.Confirm(this, QStringLiteral("A job is still running and its output has not come back yet.\n\n"
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
  // The worker is asked to stop here and waited for once the message loop has ended.
  scheduler_.Stop();
  // The start-at-logon entry follows RUNSTART.  A failure is reported and does not keep the
  // window open.
  Guarded(ui_, this, [this] {
    const bool runAtLogon = preferences_.ReadInteger(pref::RUNSTART, pref::kRunStartDefault) == 1;
    AutostartEntry(services_.autostartDir).Apply(runAtLogon, services_.paths.programFile);
  });
}

void MainWindow::onQuit() { close(); }

bool MainWindow::CloseSecondaryWindows() {
  std::vector<QPointer<SecondaryWindow>> windows = closingOrder_;
  windows.emplace_back(helpWindow_);
  bool allClosed = true;
  for (const QPointer<SecondaryWindow>& window : windows) {
    if (window.isNull() || !window->isVisible()) continue;
    window->close();
    if (window.isNull() || !window->isVisible()) continue;
    if (!unattended_) return false;
    ui_.Message(this, QStringLiteral("\"%1\" could not save what it shows; the program ends without it.")
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
  ui_.SetUnattended(true);
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

void MainWindow::ShutdownWorker() { scheduler_.Shutdown(); }

void MainWindow::SetClosingOrder(std::vector<QPointer<SecondaryWindow>> windows) {
  closingOrder_ = std::move(windows);
}

// ---- windows and files --------------------------------------------------------------------------

void MainWindow::onPreferences() { emit preferencesRequested(); }
void MainWindow::onAbout() { emit aboutRequested(); }
void MainWindow::onEnvironment() { emit environmentRequested(); }
void MainWindow::onJob() { emit jobRequested(); }
void MainWindow::onScheduler() { emit schedulerRequested(); }

void MainWindow::onProtocolChosen() {
  Guarded(ui_, this, [this] { preferences_.WriteInteger(pref::PROTOCOL, protocolList_->currentIndex()); });
}

void MainWindow::onTrayIconDoubleClicked(QObject*) { trayIcon_->Restore(); }

void MainWindow::onTrayIconClicked(QObject*) {
  if (trayIcon_->Shown()) trayIcon_->Restore();
}

void MainWindow::OpenFile(const QString& path, const QString& what, const QString& missing) {
  Guarded(ui_, this, [&] {
    if (!QFileInfo::exists(path)) {
      ui_.Message(
          this, QStringLiteral("Cannot open the %1 \"%2\": it does not exist yet (%3).").arg(what, path, missing));
      return;
    }
    if (!QFileInfo(path).isFile()) {  // a FIFO or a device would hold the window in its open
      ui_.Message(this, QStringLiteral("Cannot open the %1 \"%2\": it is not a regular file.").arg(what, path));
      return;
    }
    if (ui_.Open(this, QUrl::fromLocalFile(path))) return;
    // No program of the desktop took it: the program shows it itself, read anew each time.
    if (!fileViewer_->loadFile(path)) {
      ui_.Message(this,
                  QStringLiteral("Cannot open the %1 \"%2\": %3").arg(what, path, fileViewer_->errorString()));
      return;
    }
    fileViewer_->setWindowTitle(QString::fromLatin1(kApplicationTitle) + QStringLiteral(" - ") + path);
    fileViewer_->present();
  });
}

void MainWindow::onLogFile() {
  OpenFile(services_.paths.LogPath(), QStringLiteral("log file"), QStringLiteral("no scheduled job has run yet"));
}
void MainWindow::onOutputFile() {
  OpenFile(services_.paths.OutputPath(), QStringLiteral("output file"),
           QStringLiteral("no job has run in the background yet"));
}
void MainWindow::onHelp() {
  // The help file is plain text: shown in a window of the program, read anew at each opening.
  // (A desktop handed CORVANE.HLP takes it for a Windows help file and opens nothing usable.)
  Guarded(ui_, this, [this] {
    if (!helpWindow_->isVisible() && !helpWindow_->loadFile(services_.paths.HelpPath())) {
      ui_.Message(this, QStringLiteral("Cannot open the help file \"%1\": %2")
                            .arg(services_.paths.HelpPath(), helpWindow_->errorString()));
      return;
    }
    helpWindow_->present();
  });
}

}  // namespace corvane
