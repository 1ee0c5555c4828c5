#include "console/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

#include "cipher/stored_key.h"
#include "console/autostart.h"
#include "settings/ini_file.h"

namespace corvane {
namespace {

constexpr char kProgramIcon[] = ":/corvane/resources/corvane.png";
constexpr int kIdlePollMs = 20;

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

// Restores the menu, the tool bar and the cursor on every road out of a run.
class BusyState {
 public:
  explicit BusyState(std::function<void(bool)> setEnabled) : setEnabled_(std::move(setEnabled)) {
    setEnabled_(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~BusyState() { End(); }
  BusyState(const BusyState&) = delete;
  BusyState& operator=(const BusyState&) = delete;

  void End() {
    if (ended_) return;
    ended_ = true;
    QApplication::restoreOverrideCursor();
    setEnabled_(true);
  }

 private:
  std::function<void(bool)> setEnabled_;
  bool ended_ = false;
};

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

TForm1::TForm1(MainWindowServices services)
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
  StatusBar1 = statusBar();

  // The stored form of c1: Blowfish in cmCTS; the first show switches it to the stored-value
  // cipher.
  c1.SetMode(TCipherMode::cmCTS);
  c1.ReadStoredCipher("TCipher_Blowfish");

  tray1 = new TSystray(this, std::move(services.trayBackend));
  tray1->SetIcon(windowIcon());
  tray1->SetHint(kApplicationTitle);
  tray1->OnDblClick = [this](QObject* sender) { tray1DblClick(sender); };

  thread1 = new TBMDThread(this);
  thread1->OnExecute = [this](QObject* sender, TBMDExecuteThread* thread, void*& data) {
    thread1Execute(sender, thread, data);
  };
}

TForm1::~TForm1() { ShutdownWorker(); }

void TForm1::BuildMenu() {
  QMenuBar* bar = menuBar();
  const auto item = [this](QMenu* menu, const char* caption, QKeySequence shortcut, auto handler) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  const auto keys = [](QKeyCombination combination) { return QKeySequence(combination); };
  const auto ctrlAlt = Qt::CTRL | Qt::ALT;

  QMenu* file = bar->addMenu(QStringLiteral("File"));
  Preferences1 = item(file, "Preferences", keys(ctrlAlt | Qt::Key_P), &TForm1::Preferences1Click);
  file->addSeparator();  // N1
  Quit1 = item(file, "Quit", keys(ctrlAlt | Qt::Key_Q), &TForm1::Quit1Click);

  QMenu* view = bar->addMenu(QStringLiteral("View"));
  Environment1 = item(view, "Environment", keys(ctrlAlt | Qt::Key_E), &TForm1::ToolButton15Click);
  Jobs1 = item(view, "Job", keys(ctrlAlt | Qt::Key_J), &TForm1::ToolButton11Click);
  Scheduler1 = item(view, "Scheduler", keys(ctrlAlt | Qt::Key_S), &TForm1::Scheduler1Click);
  view->addSeparator();  // N3
  LogFile1 = item(view, "Log File...", QKeySequence(), &TForm1::LogFile1Click);
  OutputFile1 = item(view, "Output File...", QKeySequence(), &TForm1::OutputFile1Click);

  QMenu* action = bar->addMenu(QStringLiteral("Action"));
  Execute1 = item(action, "Execute", keys(ctrlAlt | Qt::Key_X), &TForm1::ToolButton3Click);

  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  Corvane20Help1 = item(help, "Help / Tutorial", QKeySequence(Qt::Key_F1), &TForm1::Corvane20Help1Click);
  help->addSeparator();  // N2
  About1 = item(help, "About...", keys(ctrlAlt | Qt::Key_A), &TForm1::About1Click);
}

void TForm1::BuildToolBar() {
  ToolBar1 = new QToolBar(QStringLiteral("ToolBar1"), this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(32, 32));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  addToolBar(Qt::TopToolBarArea, ToolBar1);

  QStyle* look = style();
  const auto button = [&](QStyle::StandardPixmap picture, const char* hint, auto handler) {
    ToolBar1->addSeparator();
    QAction* action = ToolBar1->addAction(look->standardIcon(picture), QString::fromLatin1(hint));
    action->setToolTip(QString::fromLatin1(hint));
    connect(action, &QAction::triggered, this, handler);
    if (QWidget* widget = ToolBar1->widgetForAction(action)) widget->setFixedSize(39, 38);
    return action;
  };
  ToolButton15 = button(QStyle::SP_DirIcon, "Environment", &TForm1::ToolButton15Click);
  ToolButton11 = button(QStyle::SP_FileIcon, "Job", &TForm1::ToolButton11Click);
  ToolButton3 = button(QStyle::SP_MediaPlay, "Execute", &TForm1::ToolButton3Click);
  ToolButtonPreferences = button(QStyle::SP_FileDialogDetailedView, "Preferences", &TForm1::Preferences1Click);
  ToolButton16 = button(QStyle::SP_BrowserReload, "Scheduler", &TForm1::ToolButton16Click);
  ToolButton13 = button(QStyle::SP_DialogHelpButton, "Help", &TForm1::ToolButton13Click);
  ToolButtonQuit = button(QStyle::SP_DialogCloseButton, "Quit", &TForm1::Quit1Click);
}

void TForm1::BuildCentre() {
  auto* centre = new QWidget(this);
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(2, 2, 2, 2);

  auto* frame = new QFrame(centre);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Raised);
  auto* grid = new QGridLayout(frame);
  ComboBox1 = new DropDownList(frame);
  ComboBox2 = new DropDownList(frame);
  ComboBox3 = new DropDownList(frame);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
  ComboBox3->setObjectName(QStringLiteral("ComboBox3"));
  ComboBox3->setToolTip(QStringLiteral("Select Protocol"));
  ComboBox3->addItem(QStringLiteral("Remote Exec"));
  ComboBox3->addItem(QStringLiteral("Remote Shell"));
  ComboBox3->setCurrentIndex(-1);
  grid->addWidget(BoldLabel(QStringLiteral("Environment:"), frame), 0, 0);
  grid->addWidget(ComboBox1, 0, 1);
  grid->addWidget(BoldLabel(QStringLiteral("Job:"), frame), 1, 0);
  grid->addWidget(ComboBox2, 1, 1);
  grid->addWidget(BoldLabel(QStringLiteral("Protocol:"), frame), 2, 0);
  grid->addWidget(ComboBox3, 2, 1);
  grid->setColumnStretch(1, 1);
  for (QComboBox* box : {ComboBox1, ComboBox2, ComboBox3}) {
    box->setMinimumWidth(200);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
  // Only the operator's choice is a change: a selection made from code writes nothing.
  connect(ComboBox3, &QComboBox::activated, this, [this](int) { ComboBox3Change(); });
  layout->addWidget(frame);

  Memo1 = new QPlainTextEdit(centre);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(Memo1, 1);

  setCentralWidget(centre);
}

// ---- preferences --------------------------------------------------------------------------------

std::int32_t TForm1::ReadKeyint(std::string_view name, std::int32_t def) const {
  return preferences_->ReadKeyint(name, def);
}
void TForm1::WriteKeyint(std::string_view name, std::int32_t value) { preferences_->WriteKeyint(name, value); }
QString TForm1::ReadKeystr(std::string_view name, const QString& def) const {
  return preferences_->ReadKeystr(name, def);
}
void TForm1::WriteKeystr(std::string_view name, const QString& value) { preferences_->WriteKeystr(name, value); }

std::unique_ptr<TCipherManager> TForm1::MakeStoredValueCipher() {
  auto manager = std::make_unique<TCipherManager>();
  manager->SetMode(TCipherMode::cmCTS);
  manager->SetAlgorithm(kStoredValueAlgorithm);
  manager->InitKey(StoredValueKeyText());
  return manager;
}

// ---- memo ---------------------------------------------------------------------------------------

QColor TForm1::MemoColor() const { return Memo1->palette().color(QPalette::Base); }

void TForm1::SetMemoColor(const QColor& color) {
  QPalette palette = Memo1->palette();
  palette.setColor(QPalette::Base, color);
  Memo1->setPalette(palette);
}

QColor TForm1::MemoFontColor() const { return Memo1->palette().color(QPalette::Text); }

void TForm1::SetMemoFontColor(const QColor& color) {
  QPalette palette = Memo1->palette();
  palette.setColor(QPalette::Text, color);
  Memo1->setPalette(palette);
}

// ---- lists --------------------------------------------------------------------------------------

void TForm1::SetNames(QComboBox* box, const std::vector<std::string>& names) {
  box->clear();
  for (const std::string& name : names) {
    box->addItem(DisplayText(name), QByteArray(name.data(), static_cast<qsizetype>(name.size())));
  }
  box->setCurrentIndex(-1);
}

void TForm1::SetEnvironmentNames(const std::vector<std::string>& names) { SetNames(ComboBox1, names); }
void TForm1::SetJobNames(const std::vector<std::string>& names) { SetNames(ComboBox2, names); }

void TForm1::RefillEnvironmentList() { SetEnvironmentNames(IniFile(envIniPath_).Sections()); }
void TForm1::RefillJobList() { SetJobNames(IniFile(jobIniPath_).Sections()); }

std::string TForm1::SelectedName(const QComboBox* box) {
  if (box->currentIndex() < 0) return {};
  return box->currentData().toByteArray().toStdString();
}

std::string TForm1::SelectedEnvironment() const { return SelectedName(ComboBox1); }
std::string TForm1::SelectedJob() const { return SelectedName(ComboBox2); }

// ---- first show ---------------------------------------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShowDone_ || event->spontaneous()) return;
  firstShowDone_ = true;
  Guarded(*ui_, this, [this] { FormShow(); });
}

void TForm1::FormShow() {
  // 1. The preference store exists from here on.
  preferences_->Open();
  // Minimizing into the notification area follows MINIMIZE from the start.
  tray1->SetEnabled(ReadKeyint(pref::MINIMIZE, pref::kMinimizeDefault) == 1);

  // 2. The memo's colours and font.
  SetMemoColor(FromStoredColor(ReadKeyint(pref::BGCLR, pref::kBgColorDefault)));
  SetMemoFontColor(FromStoredColor(ReadKeyint(pref::FONTCOLOR, pref::kFontColorDefault)));
  QFont font = Memo1->font();
  const std::int32_t size = ReadKeyint(pref::FONTSIZE, pref::kFontSizeDefault);
  font.setPointSize(size > 0 ? size : pref::kFontSizeDefault);
  ApplyFontStyleByte(font, ReadKeyint(pref::FONTSTYLE, pref::kFontStyleDefault));
  // The character set (FONTCHARSET) has no counterpart in the font system here; it is kept in
  // the preferences as it is.
  font.setFamily(ReadKeystr(pref::FONTNAME, QString::fromLatin1(pref::kFontNameDefault)));
  Memo1->setFont(font);

  // 3. The protocol, without running its change handler; an index out of range selects nothing.
  const std::int32_t protocol = ReadKeyint(pref::PROTOCOL, pref::kProtocolDefault);
  ComboBox3->setCurrentIndex(protocol >= 0 && protocol < ComboBox3->count() ? protocol : -1);

  // 4. The scheduler worker. A worker the system refuses is reported; the window still works.
  Guarded(*ui_, this, [this] { thread1->Start(); });

  // 5., 6. The lists, in file order, nothing selected.  A file that cannot be read is reported
  // and leaves its list empty; the rest of the first show still runs.
  envIniPath_ = ProgramPaths::Bytes(paths_.EnvIniPath());
  jobIniPath_ = ProgramPaths::Bytes(paths_.JobIniPath());
  Guarded(*ui_, this, [this] { RefillEnvironmentList(); });
  Guarded(*ui_, this, [this] { RefillJobList(); });

  // 7. The cipher of stored values.
  c1.SetAlgorithm(kStoredValueAlgorithm);
  c1.InitKey(StoredValueKeyText());
}

// ---- execute ------------------------------------------------------------------------------------

void TForm1::SetControlsEnabled(bool enabled) {
  menuBar()->setEnabled(enabled);
  ToolBar1->setEnabled(enabled);
  // The menu's shortcuts stay with the menu.
  for (QAction* action : {Preferences1, Quit1, Environment1, Jobs1, Scheduler1, LogFile1, OutputFile1,
                          Execute1, Corvane20Help1, About1}) {
    action->setEnabled(enabled);
  }
}

void TForm1::ToolButton3Click() {
  Guarded(*ui_, this, [this] {
    Memo1->clear();
    const auto owner = static_cast<std::uintptr_t>(window()->winId());
    BusyState busy([this](bool enabled) { SetControlsEnabled(enabled); });
    ExecuteRequest request;
    request.protocolIndex = ComboBox3->currentIndex();
    request.environment = SelectedEnvironment();
    request.job = SelectedJob();
    if (request.environment.empty()) {
      busy.End();
      ui_->Message(this, QStringLiteral("Please Select an Environment Name"));
      return;
    }
    if (request.job.empty()) {
      busy.End();
      ui_->Message(this, QStringLiteral("Please Select a Job Name"));
      return;
    }
    request.dataDir = paths_.DataDirBytes();
    request.ownerWindow = owner;
    request.background = ReadKeyint(pref::EXECBACK, pref::kExecBackDefault) == 1;
    if (!request.background) {
      // The foreground run blocks this thread until the remote side is done: let the cleared
      // memo and the wait cursor show first.
      Memo1->viewport()->repaint();
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    const std::string text = RunExecute(*library_, request);
    Memo1->appendPlainText(DisplayText(text));
  });
}

// ---- close --------------------------------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    FormClose();
  }
  event->accept();
  emit Closed();
}

void TForm1::FormClose() {
  // 1. Ask the worker to stop; it is waited for once the message loop has ended.
  if (thread1 != nullptr) thread1->Stop();
  // 2., 3. The start-at-logon entry.  A failure is reported and does not keep the window open.
  Guarded(*ui_, this, [this] {
    const bool runAtLogon = ReadKeyint(pref::RUNSTART, pref::kRunStartDefault) == 1;
    AutostartEntry(autostartDir_).Apply(runAtLogon, paths_.programFile);
  });
}

void TForm1::Quit1Click() { close(); }

void TForm1::ShutdownWorker() {
  if (thread1 == nullptr) return;
  TBMDThread* thread = std::exchange(thread1, nullptr);
  delete thread;  // sets the stop request and waits, serving the GUI thread's events
}

// ---- windows and files --------------------------------------------------------------------------

void TForm1::Present(SecondaryWindow* window) {
  if (window == nullptr) return;
  Guarded(*ui_, this, [window] { window->present(); });
}

void TForm1::Preferences1Click() { Present(windows_.Form2); }
void TForm1::About1Click() { Present(windows_.Form3); }
void TForm1::ToolButton15Click() { Present(windows_.Form5); }
void TForm1::ToolButton11Click() { Present(windows_.Form6); }
void TForm1::ToolButton16Click() { Present(windows_.Form8); }
void TForm1::Scheduler1Click() { Present(windows_.Form8); }

void TForm1::ComboBox3Change() {
  Guarded(*ui_, this, [this] { WriteKeyint(pref::PROTOCOL, ComboBox3->currentIndex()); });
}

void TForm1::tray1DblClick(QObject*) { tray1->Restore(); }

void TForm1::OpenFile(const QString& path) { ui_->Open(this, QUrl::fromLocalFile(path)); }

void TForm1::LogFile1Click() { OpenFile(paths_.LogPath()); }
void TForm1::OutputFile1Click() { OpenFile(paths_.OutputPath()); }
void TForm1::Corvane20Help1Click() { OpenFile(paths_.HelpPath()); }
void TForm1::ToolButton13Click() { Corvane20Help1Click(); }

// ---- scheduler worker ---------------------------------------------------------------------------

void TForm1::SetSchedulerLoop(SchedulerLoop loop) {
  std::lock_guard lock(schedulerLoopMutex_);
  schedulerLoop_ = std::move(loop);
}

void TForm1::thread1Execute(QObject*, TBMDExecuteThread* Thread, void*& Data) {
  // Without a scheduler loop the worker idles until it is asked to stop.
  while (!Thread->Terminated()) {
    SchedulerLoop loop;
    {
      std::lock_guard lock(schedulerLoopMutex_);
      loop = schedulerLoop_;
    }
    if (loop) {
      loop(*this, *Thread, Data);
      return;
    }
    QThread::msleep(kIdlePollMs);
  }
}

void TForm1::SynchroEvent2(QObject*, TBMDExecuteThread*, void*&) {
  SecondaryWindow* scheduler = windows_.Form8;
  if (scheduler == nullptr || !scheduler->isVisible()) return;
  Guarded(*ui_, scheduler, [scheduler] { scheduler->ReloadFromDisk(); });
}

}  // namespace corvane
