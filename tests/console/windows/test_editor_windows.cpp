// The environment, job and command editor windows over a real main window (offscreen), with
// scripted dialogs, a temporary program directory and the real cipher of stored values.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>

#include "console/console_fixture.h"
#include "console/main_window_parts.h"
#include "console/editor_fixture.h"
#include "console/windows/app.h"
#include "console/windows/command_window.h"
#include "console/windows/environment_window.h"
#include "console/windows/job_window.h"
#include "remote/real_peers.h"
#include "settings/ini_file.h"
#include "settings/settings_test_util.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

struct ScriptLog {
  QStringList messages;
  std::deque<std::optional<QString>> inputs;  // answers of the input dialogs (nothing: Cancel)
  QStringList captions;
};

class ScriptedUi final : public UiServices {
 public:
  explicit ScriptedUi(std::shared_ptr<ScriptLog> log) : log_(std::move(log)) {}
  void Message(QWidget*, const QString& text) override { log_->messages.push_back(text); }
  bool Confirm(QWidget*, const QString&) override { return true; }
  std::optional<QString> InputText(QWidget*, const QString& caption, const QString&, const QString&) override {
    log_->captions.push_back(caption);
    if (log_->inputs.empty()) {
      ADD_FAILURE() << "unexpected input dialog " << caption.toStdString();
      return std::nullopt;
    }
    std::optional<QString> answer = log_->inputs.front();
    log_->inputs.pop_front();
    return answer;
  }
  bool ChooseFont(QWidget*, QFont&) override { return false; }
  bool Open(QWidget*, const QUrl&) override { return true; }

 private:
  std::shared_ptr<ScriptLog> log_;
};

// Chooses an item as the operator does: the list's selection changes and it reports activation.
void Choose(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  box->setCurrentIndex(index);
  emit box->activated(index);
}

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items.append(box->itemText(i));
  return items;
}

class EditorWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InitStoredValueManager(cipher_);
  }
  void TearDown() override {
    windows_.reset();
    mainWindow_.reset();
    services_.reset();
  }

  // The main window after its first show, with every secondary window created.
  MainWindow& Start() {
    services_ = std::make_unique<ConsoleServices>();
    ConsoleServices& services = *services_;
    services.library = TakeLibrary();
    services.ui = std::make_unique<ScriptedUi>(log_);
    services.preferences = std::make_unique<Preferences>(dir_.path() + "/config/Corvane.conf");
    services.trayBackend = std::make_unique<test::NoTray>();
    services.paths = ProgramPaths::Resolve(dir_.path() + "/Corvane", dir_.path() + "/fallback");
    services.autostartDir = dir_.path() + "/autostart";
    mainWindow_ = std::make_unique<MainWindow>(services);
    mainWindow_->show();
    windows_ = std::make_unique<ConsoleWindows>(*mainWindow_, services);
    return *mainWindow_;
  }
  virtual std::unique_ptr<LibraryFacade> TakeLibrary() { return std::make_unique<test::FakeLibrary>(library_); }
  EnvironmentWindow& Environments() { return windows_->Environment(); }
  JobWindow& Jobs() { return windows_->Job(); }
  CommandWindow& CommandEditor() { return windows_->Command(); }

  std::string EnvPath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneEnv.ini"); }
  std::string JobPath() const { return ProgramPaths::Bytes(dir_.path() + "/CorvaneJob.ini"); }
  std::string Plain(const std::string& path, std::string_view section, std::string_view key) {
    return StoredValues(cipher_).Read(IniFile(path), section, key);
  }
  void WriteValues(const std::string& path, std::string_view section,
                   const std::vector<std::pair<std::string, std::string>>& values) {
    IniFile file(path);
    for (const auto& [key, value] : values) StoredValues(cipher_).Write(file, section, key, value);
    file.WriteBack();
  }

  test::Watchdog watchdog_;
  QTemporaryDir dir_;
  TCipherManager cipher_;
  std::shared_ptr<test::LibraryLog> library_ = std::make_shared<test::LibraryLog>();
  std::shared_ptr<ScriptLog> log_ = std::make_shared<ScriptLog>();
  std::unique_ptr<ConsoleServices> services_;  // outlives the windows
  std::unique_ptr<MainWindow> mainWindow_;
  std::unique_ptr<ConsoleWindows> windows_;
};

TEST_F(EditorWindowsTest, WindowsAreRegisteredHiddenWithTheirCaptions) {
  MainWindow& mainWindow = Start();
  ASSERT_EQ(Environments().parentWidget(), &mainWindow);
  ASSERT_EQ(Jobs().parentWidget(), &mainWindow);
  ASSERT_EQ(CommandEditor().parentWidget(), &mainWindow);
  EXPECT_EQ(Environments().windowTitle(), "Corvane 2.0 - Environment");
  EXPECT_EQ(Jobs().windowTitle(), "Corvane 2.0 - Job");
  EXPECT_EQ(CommandEditor().windowTitle(), "Corvane 2.0 - Command");
  for (QWidget* window : {static_cast<QWidget*>(&Environments()), static_cast<QWidget*>(&Jobs()),
                          static_cast<QWidget*>(&CommandEditor())}) {
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->parentWidget(), &mainWindow);  // a child window of the main window
    EXPECT_TRUE(window->isWindow());
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  }
  EXPECT_EQ(Environments().minimumSize(), Environments().maximumSize());    // fixed size
  EXPECT_NE(CommandEditor().minimumSize(), CommandEditor().maximumSize());  // resizable
  EXPECT_TRUE(CommandEditor().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  // The group captions and the buttons that end the windows are bold, the rest is not.
  EXPECT_TRUE(Environments().variableGroup_->font().bold());
  EXPECT_TRUE(Environments().closeButton_->font().bold());
  EXPECT_FALSE(Environments().valueEdit_->font().bold());
  EXPECT_FALSE(Jobs().jobList_->font().bold());
  EXPECT_FALSE(Jobs().displayBox_->font().bold());
  EXPECT_TRUE(CommandEditor().cancelButton_->font().bold());
  EXPECT_TRUE(CommandEditor().okButton_->font().bold());

  mainWindow.onEnvironment();
  mainWindow.onJob();
  EXPECT_TRUE(Environments().isVisible());
  EXPECT_TRUE(Jobs().isVisible());
  EXPECT_FALSE(CommandEditor().isVisible());
}

// Every editor window comes up centred on the main window, also those that take their size from
// their layout (the scheduler editor and the date picker) at the first show.
TEST_F(EditorWindowsTest, WindowsComeUpCentredOnTheMainWindow) {
  MainWindow& mainWindow = Start();
  mainWindow.move(40, 30);
  const QPoint centre = mainWindow.frameGeometry().center();
  for (SecondaryWindow* window :
       std::initializer_list<SecondaryWindow*>{&windows_->Environment(), &windows_->Job(), &windows_->Command(),
                                               &windows_->Scheduler(), &windows_->DatePicker()}) {
    window->present();
    const QPoint offset = window->frameGeometry().center() - centre;
    EXPECT_LE(offset.manhattanLength(), 4)
        << window->windowTitle().toStdString() << " is off by " << offset.x() << "," << offset.y();
    window->hide();
  }
}

TEST_F(EditorWindowsTest, EnvironmentEditedThroughTheWindow) {
  WriteValues(EnvPath(), "prod", {{"RHost", "old.example"}, {"RLogin", "ops"}});
  MainWindow& mainWindow = Start();
  mainWindow.onEnvironment();
  EnvironmentWindow& environmentWindow = Environments();
  EXPECT_EQ(Items(environmentWindow.environmentList_), QStringList{"prod"});
  EXPECT_EQ(environmentWindow.environmentList_->currentIndex(), -1);

  // Selecting from code runs no handler.
  environmentWindow.environmentList_->setCurrentIndex(0);
  EXPECT_FALSE(environmentWindow.Editor().CurrentEnvironment());
  Choose(environmentWindow.environmentList_, "prod");
  EXPECT_EQ(Items(environmentWindow.variableList_), (QStringList{"RHost", "RLogin"}));
  Choose(environmentWindow.variableList_, "RHost");
  EXPECT_EQ(environmentWindow.valueEdit_->text(), "old.example");
  environmentWindow.valueEdit_->setText("new.example");

  log_->inputs.push_back(QStringLiteral("Alpha"));
  environmentWindow.newEnvironmentButton_->click();  // leaves RHost through New environment
  EXPECT_EQ(log_->captions, QStringList{"New Environment"});
  EXPECT_EQ(Items(environmentWindow.environmentList_), (QStringList{"Alpha", "prod"}));
  EXPECT_EQ(environmentWindow.environmentList_->currentText(), "Alpha");
  EXPECT_EQ(Items(environmentWindow.variableList_), (QStringList{"LLogin", "RHost", "RLogin", "RPwd"}));
  EXPECT_EQ(environmentWindow.valueEdit_->text(), "");

  // The main window learns of the new environment only at the close, at the end of its list.
  EXPECT_EQ(test::EnvironmentList(mainWindow)->count(), 1);
  environmentWindow.closeButton_->click();
  EXPECT_FALSE(environmentWindow.isVisible());
  ASSERT_EQ(test::EnvironmentList(mainWindow)->count(), 2);
  EXPECT_EQ(test::EnvironmentList(mainWindow)->itemText(0), "prod");
  EXPECT_EQ(test::EnvironmentList(mainWindow)->itemText(1), "Alpha");
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "new.example");
  EXPECT_EQ(IniFile(EnvPath()).Keys("Alpha"), (std::vector<std::string>{"LLogin", "RLogin", "RPwd", "RHost"}));
  EXPECT_TRUE(log_->messages.empty());

  // The next show starts afresh.
  mainWindow.onEnvironment();
  EXPECT_EQ(environmentWindow.environmentList_->currentIndex(), -1);
  EXPECT_EQ(environmentWindow.variableList_->count(), 0);
  EXPECT_EQ(environmentWindow.valueEdit_->text(), "");
}

TEST_F(EditorWindowsTest, EnvironmentWindowMessagesAndRefusedText) {
  WriteValues(EnvPath(), "prod", {{"RHost", "h"}});
  Start().onEnvironment();
  EnvironmentWindow& environmentWindow = Environments();
  environmentWindow.newVariableButton_->click();
  EXPECT_EQ(log_->messages, QStringList{"You must select a Environment name before"});
  // Each refused name comes back in the input dialog; the operator cancels it there.
  log_->inputs.push_back(QStringLiteral("PROD"));
  log_->inputs.push_back(std::nullopt);
  environmentWindow.newEnvironmentButton_->click();
  log_->inputs.push_back(QString::fromUtf8("caf\u00e9 \u20ac"));  // the euro sign is not Latin-1
  log_->inputs.push_back(std::nullopt);
  environmentWindow.newEnvironmentButton_->click();
  EXPECT_EQ(log_->messages, (QStringList{"You must select a Environment name before", "This name already exists",
                                         QString::fromLatin1(kNameNotLatin1.data(), kNameNotLatin1.size())}));
}

// What the operator types into a single-line field stays as typed: a text the file can hold is
// stored as it is, one it cannot hold (Cyrillic, the euro sign) is refused with a message when it
// would be stored, and stays in the field to be corrected; nothing is stored or run without a
// character of it.
TEST_F(EditorWindowsTest, TypedTextIsKeptOrRefusedNeverCut) {
  WriteValues(EnvPath(), "prod", {{"RHost", "old.example"}, {"RLogin", "ops"}});
  WriteValues(JobPath(), "a", {{"Command", "one;"}, {"Target", "/srv"}});
  WriteValues(JobPath(), "b", {{"Command", "two;"}});
  MainWindow& mainWindow = Start();
  mainWindow.onEnvironment();
  mainWindow.onJob();
  EnvironmentWindow& environmentWindow = Environments();
  JobWindow& jobWindow = Jobs();
  Choose(environmentWindow.environmentList_, "prod");
  Choose(environmentWindow.variableList_, "RHost");
  Choose(jobWindow.jobList_, "a");
  Choose(jobWindow.variableList_, "Target");

  struct Case {
    const char* what;
    QLineEdit* field;
    std::function<void()> leave;  // what stores the field: leaving its variable or job
    QComboBox* list;              // the list that must still show what the field belongs to
    QString shown;
    QWidget* window;
    QString refusal;
    std::string path, section, key, stored;  // what the file holds for the field
  };
  const QString notLatin1 = QString::fromUtf8("echo \u041f\u0440\u0438\u0432\u0435\u0442 \u20acuro");
  const std::vector<Case> cases = {
      {"environment value", environmentWindow.valueEdit_,
       [&] { Choose(environmentWindow.variableList_, "RLogin"); }, environmentWindow.variableList_, "RHost",
       &environmentWindow, QString::fromLatin1(kValueNotLatin1), EnvPath(), "prod", "RHost", "old.example"},
      {"job command", jobWindow.commandEdit_, [&] { Choose(jobWindow.jobList_, "b"); }, jobWindow.jobList_, "a",
       &jobWindow, QString::fromLatin1(kCommandNotLatin1), JobPath(), "a", "Command", "one;"},
      {"job variable value", jobWindow.valueEdit_, [&] { Choose(jobWindow.jobList_, "b"); },
       jobWindow.variableList_, "Target", &jobWindow, QString::fromLatin1(kValueNotLatin1), JobPath(), "a",
       "Target", "/srv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log_->messages.clear();
    const QString before = c.field->text();
    c.field->clear();
    test::TypeText(c.field, notLatin1);
    EXPECT_EQ(c.field->text(), notLatin1);  // every character typed is there
    c.leave();
    EXPECT_EQ(log_->messages, QStringList{c.refusal});
    EXPECT_EQ(c.field->text(), notLatin1);
    EXPECT_EQ(c.list->currentText(), c.shown);
    // Closing is refused the same way: the window stays open, the file as it was.
    c.window->close();
    EXPECT_TRUE(c.window->isVisible());
    EXPECT_EQ(log_->messages, (QStringList{c.refusal, c.refusal}));
    EXPECT_EQ(Plain(c.path, c.section, c.key), c.stored);
    // Latin-1 text, accents and the section sign included, is stored as typed.
    c.field->setText(before);
  }
  log_->messages.clear();
  environmentWindow.valueEdit_->clear();
  test::TypeText(environmentWindow.valueEdit_, QString::fromUtf8("na\u00efve \u00a7 caf\u00e9"));
  jobWindow.commandEdit_->clear();
  test::TypeText(jobWindow.commandEdit_, QString::fromUtf8("echo Gr\u00fc\u00dfe;"));
  environmentWindow.closeButton_->click();
  jobWindow.closeButton_->click();
  EXPECT_FALSE(environmentWindow.isVisible());
  EXPECT_FALSE(jobWindow.isVisible());
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "na\xEFve \xA7 caf\xE9");
  EXPECT_EQ(Plain(JobPath(), "a", "Command"),
            "echo Gr\xFC\xDF"
            "e;");
  EXPECT_EQ(Plain(JobPath(), "a", "Target"), "/srv");
  EXPECT_TRUE(log_->messages.empty()) << log_->messages.join(" | ").toStdString();
}

TEST_F(EditorWindowsTest, UndecryptableValueIsReportedAndTheSelectionStays) {
  {
    IniFile file(EnvPath());
    StoredValues(cipher_).Write(file, "prod", "RLogin", "ops");
    file.Write("prod", "RHost", "plain.text");
    file.WriteBack();
  }
  Start().onEnvironment();
  EnvironmentWindow& environmentWindow = Environments();
  Choose(environmentWindow.environmentList_, "prod");
  Choose(environmentWindow.variableList_, "RLogin");
  environmentWindow.valueEdit_->setText("root");
  Choose(environmentWindow.variableList_, "RHost");
  ASSERT_EQ(log_->messages.size(), 1u);
  EXPECT_EQ(log_->messages[0], "Input is not an valid MIME Base 64 Format.");
  EXPECT_EQ(environmentWindow.variableList_->currentText(), "RLogin");  // the field still belongs to RLogin
  EXPECT_EQ(environmentWindow.valueEdit_->text(), "root");
  environmentWindow.closeButton_->click();
  EXPECT_EQ(Plain(EnvPath(), "prod", "RLogin"), "root");
}

TEST_F(EditorWindowsTest, FailedSaveKeepsTheWindowOpenAndTheFileUnchanged) {
  WriteValues(EnvPath(), "prod", {{"RHost", "h"}});
  WriteValues(JobPath(), "j", {{"Command", "ls;"}});
  const std::string envBefore = test::ReadBytes(EnvPath());
  const std::string jobBefore = test::ReadBytes(JobPath());
  MainWindow& mainWindow = Start();
  mainWindow.onEnvironment();
  mainWindow.onJob();
  Choose(Environments().environmentList_, "prod");
  Choose(Environments().variableList_, "RHost");
  Environments().valueEdit_->setText("changed");
  Choose(Jobs().jobList_, "j");
  Jobs().commandEdit_->setText("df;");
  {
    test::FileSizeLimit full(8);  // every write fails as on a full disk
    Environments().closeButton_->click();
    Jobs().closeButton_->click();
  }
  ASSERT_EQ(log_->messages.size(), 2u);
  EXPECT_TRUE(log_->messages[0].startsWith("Cannot create file \"" + dir_.path() + "/CorvaneEnv.ini\""))
      << log_->messages[0].toStdString();
  EXPECT_TRUE(log_->messages[1].startsWith("Cannot create file")) << log_->messages[1].toStdString();
  EXPECT_TRUE(Environments().isVisible());
  EXPECT_TRUE(Jobs().isVisible());
  EXPECT_EQ(Environments().valueEdit_->text(), "changed");
  EXPECT_EQ(test::ReadBytes(EnvPath()), envBefore);
  EXPECT_EQ(test::ReadBytes(JobPath()), jobBefore);

  Environments().closeButton_->click();  // with room again the close goes through
  Jobs().closeButton_->click();
  EXPECT_FALSE(Environments().isVisible());
  EXPECT_FALSE(Jobs().isVisible());
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "changed");
  EXPECT_EQ(Plain(JobPath(), "j", "Command"), "df;");
}

TEST_F(EditorWindowsTest, JobEditedThroughTheWindowAndTheCommandEditor) {
  WriteValues(JobPath(), "backup", {{"Command", "tar czf x.tgz /srv; ls"}});
  MainWindow& mainWindow = Start();
  mainWindow.onJob();
  JobWindow& jobWindow = Jobs();
  CommandWindow& commandWindow = CommandEditor();
  Choose(jobWindow.jobList_, "backup");
  EXPECT_EQ(jobWindow.commandEdit_->text(), "tar czf x.tgz /srv; ls");

  jobWindow.editCommandButton_->click();
  ASSERT_TRUE(commandWindow.isVisible());
  EXPECT_EQ(commandWindow.commandText_->toPlainText(), "tar czf x.tgz /srv\n ls");
  commandWindow.commandText_->setPlainText("  tar czf x.tgz /srv \n\n ls -l\n   \nuptime");
  commandWindow.okButton_->click();
  EXPECT_FALSE(commandWindow.isVisible());
  EXPECT_EQ(jobWindow.commandEdit_->text(), "tar czf x.tgz /srv;ls -l;uptime;");

  // A variable with its Display flag; ticking stores nothing until the variable is left.
  log_->inputs.push_back(QStringLiteral("Target"));
  jobWindow.newVariableButton_->click();
  EXPECT_EQ(jobWindow.variableList_->currentText(), "Target");
  jobWindow.valueEdit_->setText("/srv");
  jobWindow.displayBox_->setChecked(true);
  // Each refused name comes back in the input dialog; the operator cancels it there.
  log_->inputs.push_back(QStringLiteral(" command "));
  log_->inputs.push_back(std::nullopt);
  jobWindow.newVariableButton_->click();
  log_->inputs.push_back(QStringLiteral("x\u00a7"));
  log_->inputs.push_back(std::nullopt);
  jobWindow.newVariableButton_->click();
  EXPECT_EQ(log_->messages, (QStringList{"\"Command\" is an invalid job parameter name",
                                         QString::fromUtf8("\"\u00a7\" is an invalid value")}));
  EXPECT_TRUE(jobWindow.displayBox_->isChecked());  // still on Target

  jobWindow.closeButton_->click();
  EXPECT_FALSE(jobWindow.isVisible());
  EXPECT_EQ(Plain(JobPath(), "backup", "Command"), "tar czf x.tgz /srv;ls -l;uptime;");
  EXPECT_EQ(Plain(JobPath(), "backup", "Target"), "/srv");
  EXPECT_EQ(Plain(JobPath(), "backup", "\xA7Target"), "Y");
  ASSERT_EQ(test::JobList(mainWindow)->count(), 1);

  // Shown again: the flag reads back.
  mainWindow.onJob();
  Choose(jobWindow.jobList_, "backup");
  Choose(jobWindow.variableList_, "Target");
  EXPECT_TRUE(jobWindow.displayBox_->isChecked());
  EXPECT_EQ(jobWindow.valueEdit_->text(), "/srv");
}

// The command editor's OK goes through whenever the job editor is open on the job it was opened
// for, however the operator got there; it is refused, keeping the text, only while the job editor
// shows another job or is closed, and the advice of the refusal then works.
TEST_F(EditorWindowsTest, CommandEditorOkFollowsTheJobTheJobEditorShows) {
  WriteValues(JobPath(), "a", {{"Command", "one;"}});
  WriteValues(JobPath(), "b", {{"Command", "two;"}});
  MainWindow& mainWindow = Start();
  mainWindow.onJob();
  JobWindow& jobWindow = Jobs();
  CommandWindow& commandWindow = CommandEditor();
  const QString refusal = QString::fromLatin1(kCommandJobNotShown).arg("a");
  EXPECT_EQ(refusal,
            "The job editor does not show the job \"a\". Open the job editor, select \"a\" there "
            "and press OK again, or press Cancel to drop this command.");
  Choose(jobWindow.jobList_, "a");
  jobWindow.editCommandButton_->click();
  commandWindow.commandText_->setPlainText("meant for a");

  // Another job shown: refused, nothing changes anywhere.
  Choose(jobWindow.jobList_, "b");  // both windows stay usable
  commandWindow.okButton_->click();
  EXPECT_EQ(log_->messages, QStringList{refusal});
  EXPECT_TRUE(commandWindow.isVisible());
  EXPECT_EQ(jobWindow.commandEdit_->text(), "two;");
  EXPECT_EQ(commandWindow.commandText_->toPlainText(), "meant for a");

  // Back on a, as the refusal advises: the same OK goes through.
  Choose(jobWindow.jobList_, "a");
  commandWindow.okButton_->click();
  EXPECT_EQ(log_->messages.size(), 1u);
  EXPECT_FALSE(commandWindow.isVisible());
  EXPECT_EQ(jobWindow.commandEdit_->text(), "meant for a;");

  // Choosing the same job again, or another variable, changes nothing either.
  jobWindow.editCommandButton_->click();
  commandWindow.commandText_->setPlainText("again for a");
  Choose(jobWindow.jobList_, "a");
  commandWindow.okButton_->click();
  EXPECT_EQ(log_->messages.size(), 1u);
  EXPECT_EQ(jobWindow.commandEdit_->text(), "again for a;");

  // Text the job file cannot hold stays in the editor.
  jobWindow.editCommandButton_->click();
  commandWindow.commandText_->setPlainText(QString::fromUtf8("echo \u20ac"));
  commandWindow.okButton_->click();
  EXPECT_EQ(log_->messages.back(), QString::fromLatin1(kCommandNotLatin1));
  EXPECT_TRUE(commandWindow.isVisible());
  EXPECT_EQ(jobWindow.commandEdit_->text(), "again for a;");

  // Closing through the title bar hides without clearing; Cancel clears.
  commandWindow.close();
  EXPECT_FALSE(commandWindow.isVisible());
  EXPECT_FALSE(commandWindow.commandText_->toPlainText().isEmpty());
  jobWindow.editCommandButton_->click();
  commandWindow.cancelButton_->click();
  EXPECT_FALSE(commandWindow.isVisible());
  EXPECT_TRUE(commandWindow.commandText_->toPlainText().isEmpty());
  EXPECT_EQ(jobWindow.commandEdit_->text(), "again for a;");

  // The job editor closed: refused; opened again on a, as advised: taken, and saved at its close.
  jobWindow.editCommandButton_->click();
  commandWindow.commandText_->setPlainText("after the close");
  jobWindow.closeButton_->click();
  commandWindow.okButton_->click();
  EXPECT_EQ(log_->messages.back(), refusal);
  EXPECT_TRUE(commandWindow.isVisible());
  EXPECT_EQ(Plain(JobPath(), "a", "Command"), "again for a;");
  mainWindow.onJob();
  commandWindow.okButton_->click();  // open, but on no job yet
  EXPECT_EQ(log_->messages.back(), refusal);
  Choose(jobWindow.jobList_, "a");
  const auto refusals = log_->messages.size();
  commandWindow.okButton_->click();
  EXPECT_EQ(log_->messages.size(), refusals);
  EXPECT_FALSE(commandWindow.isVisible());
  jobWindow.closeButton_->click();
  EXPECT_EQ(Plain(JobPath(), "a", "Command"), "after the close;");
  EXPECT_EQ(Plain(JobPath(), "b", "Command"), "two;");
}

// The windows' creation (the command editor's among them) applies the stored preference.
TEST_F(EditorWindowsTest, CommandEditorCreationAppliesTheMinimizePreference) {
  MainWindow& mainWindow = Start();
  EXPECT_FALSE(mainWindow.Tray().Enabled());
  services_->preferences->WriteInteger(pref::MINIMIZE, 1);
  auto another = std::make_unique<ConsoleWindows>(mainWindow, *services_);
  EXPECT_TRUE(mainWindow.Tray().Enabled());
  services_->preferences->WriteInteger(pref::MINIMIZE, 0);
  auto yetAnother = std::make_unique<ConsoleWindows>(mainWindow, *services_);
  EXPECT_FALSE(mainWindow.Tray().Enabled());
}

// ---- end to end: what the editors create runs through the real library and rexec server --------

// The shared library of this build, loaded at run time with its three exports.
class LoadedCorvaneDll final : public LibraryFacade {
 public:
  explicit LoadedCorvaneDll(const std::string& path) : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) return;
    execute_ = reinterpret_cast<Execute>(::dlsym(handle_, "execute"));
    executeA_ = reinterpret_cast<ExecuteA>(::dlsym(handle_, "executeA"));
    release_ = reinterpret_cast<Release>(::dlsym(handle_, "releasebuffer"));
  }
  ~LoadedCorvaneDll() override {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  bool Loaded() const { return execute_ != nullptr && executeA_ != nullptr && release_ != nullptr; }

  char* execute(const char* env, const char* job, std::int32_t protocol, const char* dataDir,
                std::uintptr_t owner) override {
    return execute_(env, job, protocol, dataDir, owner);
  }
  char* executeA(const char* env, const char* job, std::int32_t protocol, const char* dataDir,
                 const char* parameters) override {
    return executeA_(env, job, protocol, dataDir, parameters);
  }
  void releasebuffer(char* buffer) override { release_(buffer); }

 private:
  using Execute = char* (*)(const char*, const char*, std::int32_t, const char*, std::uintptr_t);
  using ExecuteA = char* (*)(const char*, const char*, std::int32_t, const char*, const char*);
  using Release = void (*)(char*);
  void* handle_;
  Execute execute_ = nullptr;
  ExecuteA executeA_ = nullptr;
  Release release_ = nullptr;
};

// Debian's in.rexecd served as inetd would, on port 512 of a loopback address of its own (the
// library always connects to port 512 of RHost), for this test only: addresses 127.91.x.y are
// drawn until one is free. Nothing when none is.
std::unique_ptr<test::DaemonServer> StartRexecOnOwnLoopbackAddress() {
  std::mt19937 random(static_cast<unsigned>(::getpid()) ^ std::random_device{}());
  for (int attempt = 0; attempt < 50; ++attempt) {
    const std::string address =
        "127.91." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
    try {
      return std::make_unique<test::DaemonServer>(test::kRexecDaemon, 512, address);
    } catch (const std::exception&) {
      // Taken: the next address.
    }
  }
  return nullptr;
}

class EditorsEndToEndTest : public EditorWindowsTest {
 protected:
  void SetUp() override {
    EditorWindowsTest::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "the real rexec server needs root";
    ASSERT_EQ(test::PrepareRealPeers(), "");
    ASSERT_EQ(::access(test::DaemonPath(test::kRexecDaemon).c_str(), X_OK), 0) << "in.rexecd is not installed";
    server_ = StartRexecOnOwnLoopbackAddress();
    ASSERT_NE(server_, nullptr) << "no loopback address with a free port 512";
    auto library =
        std::make_unique<LoadedCorvaneDll>(std::string(CORVANE_BINARY_DIR) + "/console/libCorvaneDll.so");
    ASSERT_TRUE(library->Loaded()) << ::dlerror();
    dll_ = std::move(library);
  }
  void TearDown() override {
    EditorWindowsTest::TearDown();
    if (server_) {
      EXPECT_EQ(server_->Failure(), "");
    }
    server_.reset();
  }
  std::unique_ptr<LibraryFacade> TakeLibrary() override { return std::move(dll_); }

  // Chooses the variable and types its value.
  void SetVariable(EnvironmentWindow& environmentWindow, const char* name, const QString& value) {
    Choose(environmentWindow.variableList_, QString::fromLatin1(name));
    environmentWindow.valueEdit_->setText(value);
  }

  std::unique_ptr<test::DaemonServer> server_;
  std::unique_ptr<LibraryFacade> dll_;
};

TEST_F(EditorsEndToEndTest, EnvironmentAndJobFromTheEditorsRunThroughExecute) {
  MainWindow& mainWindow = Start();

  mainWindow.onEnvironment();
  EnvironmentWindow& environmentWindow = Environments();
  log_->inputs.push_back(QStringLiteral("Lab"));
  environmentWindow.newEnvironmentButton_->click();
  SetVariable(environmentWindow, "RHost", QString::fromStdString(server_->Address()));
  SetVariable(environmentWindow, "RLogin", QString::fromLatin1(test::kPeerUser));
  SetVariable(environmentWindow, "RPwd", QString::fromLatin1(test::kPeerPassword));
  log_->inputs.push_back(QStringLiteral("greeting"));
  environmentWindow.newVariableButton_->click();
  environmentWindow.valueEdit_->setText(QStringLiteral("hello from the editor"));
  environmentWindow.closeButton_->click();
  ASSERT_FALSE(environmentWindow.isVisible());

  mainWindow.onJob();
  JobWindow& jobWindow = Jobs();
  log_->inputs.push_back(QStringLiteral("Hello"));
  jobWindow.newJobButton_->click();
  jobWindow.editCommandButton_->click();
  CommandEditor().commandText_->setPlainText(
      QStringLiteral("echo corvane-editors\n  echo @\"greeting\" @\"who\"  \n"));
  CommandEditor().okButton_->click();
  EXPECT_EQ(jobWindow.commandEdit_->text(), "echo corvane-editors;echo @\"greeting\" @\"who\";");
  log_->inputs.push_back(QStringLiteral("who"));
  jobWindow.newVariableButton_->click();
  jobWindow.valueEdit_->setText(QStringLiteral("and the job"));
  jobWindow.closeButton_->click();
  ASSERT_FALSE(jobWindow.isVisible());
  EXPECT_TRUE(log_->messages.empty()) << log_->messages.join(" | ").toStdString();

  ASSERT_EQ(test::EnvironmentList(mainWindow)->count(), 1);
  ASSERT_EQ(test::JobList(mainWindow)->count(), 1);
  test::EnvironmentList(mainWindow)->setCurrentIndex(0);
  test::JobList(mainWindow)->setCurrentIndex(0);
  test::ProtocolList(mainWindow)->setCurrentIndex(0);  // Remote Exec
  test::ExecuteAndWait(mainWindow);
  EXPECT_EQ(test::Output(mainWindow)->toPlainText(), "corvane-editors\nhello from the editor and the job\n");
}

}  // namespace
}  // namespace corvane
