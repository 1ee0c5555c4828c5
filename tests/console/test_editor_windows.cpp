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
#include <memory>
#include <optional>
#include <random>

#include "console/app.h"
#include "console/command_window.h"
#include "console/console_fixture.h"
#include "console/editor_fixture.h"
#include "console/environment_window.h"
#include "console/job_window.h"
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
  void Open(QWidget*, const QUrl&) override {}

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
    form1_.reset();
  }

  // The main window after its first show, with every secondary window created.
  TForm1& Start() {
    MainWindowServices services;
    services.library = TakeLibrary();
    services.ui = std::make_unique<ScriptedUi>(log_);
    services.preferences = std::make_unique<Preferences>(dir_.path() + "/config/Corvane.conf");
    services.trayBackend = std::make_unique<test::NoTray>();
    services.paths = ProgramPaths::Resolve(dir_.path() + "/Corvane", dir_.path() + "/fallback");
    services.autostartDir = dir_.path() + "/autostart";
    form1_ = std::make_unique<TForm1>(std::move(services));
    form1_->show();
    windows_ = std::make_unique<ConsoleWindows>(*form1_);
    return *form1_;
  }
  virtual std::unique_ptr<LibraryFacade> TakeLibrary() { return std::make_unique<test::FakeLibrary>(library_); }
  TForm5& Form5() { return *qobject_cast<TForm5*>(form1_->Windows().Form5.data()); }
  TForm6& Form6() { return *qobject_cast<TForm6*>(form1_->Windows().Form6.data()); }
  TForm7& Form7() { return *qobject_cast<TForm7*>(form1_->Windows().Form7.data()); }

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
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<ConsoleWindows> windows_;
};

TEST_F(EditorWindowsTest, WindowsAreRegisteredHiddenWithTheirCaptions) {
  TForm1& form1 = Start();
  ASSERT_NE(qobject_cast<TForm5*>(form1.Windows().Form5.data()), nullptr);
  ASSERT_NE(qobject_cast<TForm6*>(form1.Windows().Form6.data()), nullptr);
  ASSERT_NE(qobject_cast<TForm7*>(form1.Windows().Form7.data()), nullptr);
  EXPECT_EQ(Form5().windowTitle(), "Corvane 2.0 - Environment");
  EXPECT_EQ(Form6().windowTitle(), "Corvane 2.0 - Job");
  EXPECT_EQ(Form7().windowTitle(), "Corvane 2.0 - Command");
  for (QWidget* window : {static_cast<QWidget*>(&Form5()), static_cast<QWidget*>(&Form6()),
                          static_cast<QWidget*>(&Form7())}) {
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  }
  EXPECT_EQ(Form5().minimumSize(), Form5().maximumSize());  // fixed size
  EXPECT_NE(Form7().minimumSize(), Form7().maximumSize());  // resizable
  EXPECT_TRUE(Form7().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  // The group captions and the buttons that end the windows are bold, the rest is not.
  EXPECT_TRUE(Form5().GroupBox2->font().bold());
  EXPECT_TRUE(Form5().Button1->font().bold());
  EXPECT_FALSE(Form5().Edit1->font().bold());
  EXPECT_FALSE(Form6().ComboBox1->font().bold());
  EXPECT_FALSE(Form6().cb1->font().bold());
  EXPECT_TRUE(Form7().Button1->font().bold());
  EXPECT_TRUE(Form7().Button2->font().bold());

  form1.ToolButton15Click();
  form1.ToolButton11Click();
  EXPECT_TRUE(Form5().isVisible());
  EXPECT_TRUE(Form6().isVisible());
  EXPECT_FALSE(Form7().isVisible());
}

// Every editor window comes up centred on the main window, also those that take their size from
// their layout (the scheduler editor and the date picker) at the first show.
TEST_F(EditorWindowsTest, WindowsComeUpCentredOnTheMainWindow) {
  TForm1& form1 = Start();
  form1.move(40, 30);
  const QPoint centre = form1.frameGeometry().center();
  for (SecondaryWindow* window : {form1.Windows().Form5.data(), form1.Windows().Form6.data(),
                                  form1.Windows().Form7.data(), form1.Windows().Form8.data(),
                                  form1.Windows().Form9.data()}) {
    ASSERT_NE(window, nullptr);
    window->present();
    const QPoint offset = window->frameGeometry().center() - centre;
    EXPECT_LE(offset.manhattanLength(), 4) << window->windowTitle().toStdString() << " is off by "
                                           << offset.x() << "," << offset.y();
    window->hide();
  }
}

TEST_F(EditorWindowsTest, EnvironmentEditedThroughTheWindow) {
  WriteValues(EnvPath(), "prod", {{"RHost", "old.example"}, {"RLogin", "ops"}});
  TForm1& form1 = Start();
  form1.ToolButton15Click();
  TForm5& form5 = Form5();
  EXPECT_EQ(Items(form5.ComboBox1), QStringList{"prod"});
  EXPECT_EQ(form5.ComboBox1->currentIndex(), -1);

  // Selecting from code runs no handler.
  form5.ComboBox1->setCurrentIndex(0);
  EXPECT_FALSE(form5.Editor().CurrentEnvironment());
  Choose(form5.ComboBox1, "prod");
  EXPECT_EQ(Items(form5.ComboBox2), (QStringList{"RHost", "RLogin"}));
  Choose(form5.ComboBox2, "RHost");
  EXPECT_EQ(form5.Edit1->text(), "old.example");
  form5.Edit1->setText("new.example");

  log_->inputs.push_back(QStringLiteral("Alpha"));
  form5.Button2->click();  // leaves RHost through New environment
  EXPECT_EQ(log_->captions, QStringList{"New Environment"});
  EXPECT_EQ(Items(form5.ComboBox1), (QStringList{"Alpha", "prod"}));
  EXPECT_EQ(form5.ComboBox1->currentText(), "Alpha");
  EXPECT_EQ(Items(form5.ComboBox2), (QStringList{"LLogin", "RHost", "RLogin", "RPwd"}));
  EXPECT_EQ(form5.Edit1->text(), "");

  // The main window learns of the new environment only at the close, at the end of its list.
  EXPECT_EQ(form1.ComboBox1->count(), 1);
  form5.Button1->click();
  EXPECT_FALSE(form5.isVisible());
  ASSERT_EQ(form1.ComboBox1->count(), 2);
  EXPECT_EQ(form1.ComboBox1->itemText(0), "prod");
  EXPECT_EQ(form1.ComboBox1->itemText(1), "Alpha");
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "new.example");
  EXPECT_EQ(IniFile(EnvPath()).Keys("Alpha"), (std::vector<std::string>{"LLogin", "RLogin", "RPwd", "RHost"}));
  EXPECT_TRUE(log_->messages.empty());

  // The next show starts afresh.
  form1.ToolButton15Click();
  EXPECT_EQ(form5.ComboBox1->currentIndex(), -1);
  EXPECT_EQ(form5.ComboBox2->count(), 0);
  EXPECT_EQ(form5.Edit1->text(), "");
}

TEST_F(EditorWindowsTest, EnvironmentWindowMessagesAndRefusedText) {
  WriteValues(EnvPath(), "prod", {{"RHost", "h"}});
  Start().ToolButton15Click();
  TForm5& form5 = Form5();
  form5.Button3->click();
  EXPECT_EQ(log_->messages, QStringList{"You must select a Environment name before"});
  log_->inputs.push_back(QStringLiteral("PROD"));
  form5.Button2->click();
  log_->inputs.push_back(QString::fromUtf8("caf\u00e9 \u20ac"));  // the euro sign is not Latin-1
  form5.Button2->click();
  EXPECT_EQ(log_->messages, (QStringList{"You must select a Environment name before", "This name already exists",
                                         QString::fromLatin1(kNameNotLatin1.data(), kNameNotLatin1.size())}));
  // The value field takes nothing that the file cannot hold.
  QString typed = QString::fromUtf8("\u20ac5");
  int pos = 0;
  EXPECT_EQ(form5.Edit1->validator()->validate(typed, pos), QValidator::Invalid);
  QString latin1 = QString::fromUtf8("na\u00efve \u00a7");
  EXPECT_EQ(form5.Edit1->validator()->validate(latin1, pos), QValidator::Acceptable);
}

TEST_F(EditorWindowsTest, UndecryptableValueIsReportedAndTheSelectionStays) {
  {
    IniFile file(EnvPath());
    StoredValues(cipher_).Write(file, "prod", "RLogin", "ops");
    file.Write("prod", "RHost", "plain.text");
    file.WriteBack();
  }
  Start().ToolButton15Click();
  TForm5& form5 = Form5();
  Choose(form5.ComboBox1, "prod");
  Choose(form5.ComboBox2, "RLogin");
  form5.Edit1->setText("root");
  Choose(form5.ComboBox2, "RHost");
  ASSERT_EQ(log_->messages.size(), 1u);
  EXPECT_EQ(log_->messages[0], "Input is not an valid MIME Base 64 Format.");
  EXPECT_EQ(form5.ComboBox2->currentText(), "RLogin");  // the field still belongs to RLogin
  EXPECT_EQ(form5.Edit1->text(), "root");
  form5.Button1->click();
  EXPECT_EQ(Plain(EnvPath(), "prod", "RLogin"), "root");
}

TEST_F(EditorWindowsTest, FailedSaveKeepsTheWindowOpenAndTheFileUnchanged) {
  WriteValues(EnvPath(), "prod", {{"RHost", "h"}});
  WriteValues(JobPath(), "j", {{"Command", "ls;"}});
  const std::string envBefore = test::ReadBytes(EnvPath());
  const std::string jobBefore = test::ReadBytes(JobPath());
  TForm1& form1 = Start();
  form1.ToolButton15Click();
  form1.ToolButton11Click();
  Choose(Form5().ComboBox1, "prod");
  Choose(Form5().ComboBox2, "RHost");
  Form5().Edit1->setText("changed");
  Choose(Form6().ComboBox1, "j");
  Form6().Edit1->setText("df;");
  {
    test::FileSizeLimit full(8);  // every write fails as on a full disk
    Form5().Button1->click();
    Form6().Button1->click();
  }
  ASSERT_EQ(log_->messages.size(), 2u);
  EXPECT_TRUE(log_->messages[0].startsWith("Cannot create file \"" + dir_.path() + "/CorvaneEnv.ini\""))
      << log_->messages[0].toStdString();
  EXPECT_TRUE(log_->messages[1].startsWith("Cannot create file")) << log_->messages[1].toStdString();
  EXPECT_TRUE(Form5().isVisible());
  EXPECT_TRUE(Form6().isVisible());
  EXPECT_EQ(Form5().Edit1->text(), "changed");
  EXPECT_EQ(test::ReadBytes(EnvPath()), envBefore);
  EXPECT_EQ(test::ReadBytes(JobPath()), jobBefore);

  Form5().Button1->click();  // with room again the close goes through
  Form6().Button1->click();
  EXPECT_FALSE(Form5().isVisible());
  EXPECT_FALSE(Form6().isVisible());
  EXPECT_EQ(Plain(EnvPath(), "prod", "RHost"), "changed");
  EXPECT_EQ(Plain(JobPath(), "j", "Command"), "df;");
}

TEST_F(EditorWindowsTest, JobEditedThroughTheWindowAndTheCommandEditor) {
  WriteValues(JobPath(), "backup", {{"Command", "tar czf x.tgz /srv; ls"}});
  TForm1& form1 = Start();
  form1.ToolButton11Click();
  TForm6& form6 = Form6();
  TForm7& form7 = Form7();
  Choose(form6.ComboBox1, "backup");
  EXPECT_EQ(form6.Edit1->text(), "tar czf x.tgz /srv; ls");

  form6.Button6->click();
  ASSERT_TRUE(form7.isVisible());
  EXPECT_EQ(form7.Memo1->toPlainText(), "tar czf x.tgz /srv\n ls");
  form7.Memo1->setPlainText("  tar czf x.tgz /srv \n\n ls -l\n   \nuptime");
  form7.Button2->click();
  EXPECT_FALSE(form7.isVisible());
  EXPECT_EQ(form6.Edit1->text(), "tar czf x.tgz /srv;ls -l;uptime;");

  // A variable with its Display flag; ticking stores nothing until the variable is left.
  log_->inputs.push_back(QStringLiteral("Target"));
  form6.Button3->click();
  EXPECT_EQ(form6.ComboBox2->currentText(), "Target");
  form6.Edit2->setText("/srv");
  form6.cb1->setChecked(true);
  log_->inputs.push_back(QStringLiteral(" command "));
  form6.Button3->click();
  log_->inputs.push_back(QStringLiteral("x\u00a7"));
  form6.Button3->click();
  EXPECT_EQ(log_->messages, (QStringList{"\"Command\" is an invalid job parameter name",
                                         QString::fromUtf8("\"\u00a7\" is an invalid value")}));
  EXPECT_TRUE(form6.cb1->isChecked());  // still on Target

  form6.Button1->click();
  EXPECT_FALSE(form6.isVisible());
  EXPECT_EQ(Plain(JobPath(), "backup", "Command"), "tar czf x.tgz /srv;ls -l;uptime;");
  EXPECT_EQ(Plain(JobPath(), "backup", "Target"), "/srv");
  EXPECT_EQ(Plain(JobPath(), "backup", "\xA7Target"), "Y");
  ASSERT_EQ(form1.ComboBox2->count(), 1);

  // Shown again: the flag reads back.
  form1.ToolButton11Click();
  Choose(form6.ComboBox1, "backup");
  Choose(form6.ComboBox2, "Target");
  EXPECT_TRUE(form6.cb1->isChecked());
  EXPECT_EQ(form6.Edit2->text(), "/srv");
}

TEST_F(EditorWindowsTest, CommandEditorRefusesWhenTheJobEditorMovedOn) {
  WriteValues(JobPath(), "a", {{"Command", "one;"}});
  WriteValues(JobPath(), "b", {{"Command", "two;"}});
  Start().ToolButton11Click();
  TForm6& form6 = Form6();
  TForm7& form7 = Form7();
  Choose(form6.ComboBox1, "a");
  form6.Button6->click();
  form7.Memo1->setPlainText("meant for a");
  Choose(form6.ComboBox1, "b");  // both windows stay usable
  form7.Button2->click();
  ASSERT_EQ(log_->messages.size(), 1u);
  EXPECT_EQ(log_->messages[0], QString::fromLatin1(kCommandJobChanged).arg("a"));
  EXPECT_TRUE(form7.isVisible());
  EXPECT_EQ(form6.Edit1->text(), "two;");
  EXPECT_EQ(form7.Memo1->toPlainText(), "meant for a");

  // Back on a: the same OK now goes through.  Choosing a again is a new selection, though.
  Choose(form6.ComboBox1, "a");
  form7.Button2->click();
  EXPECT_EQ(log_->messages.size(), 2u);
  form6.Button6->click();
  form7.Memo1->setPlainText("meant for a");
  form7.Button2->click();
  EXPECT_EQ(log_->messages.size(), 2u);
  EXPECT_FALSE(form7.isVisible());
  EXPECT_EQ(form6.Edit1->text(), "meant for a;");

  // Text the job file cannot hold stays in the editor.
  form6.Button6->click();
  form7.Memo1->setPlainText(QString::fromUtf8("echo \u20ac"));
  form7.Button2->click();
  EXPECT_EQ(log_->messages.back(), QString::fromLatin1(kCommandNotLatin1));
  EXPECT_TRUE(form7.isVisible());
  EXPECT_EQ(form6.Edit1->text(), "meant for a;");

  // Closing through the title bar hides without clearing; Cancel clears.
  form7.close();
  EXPECT_FALSE(form7.isVisible());
  EXPECT_FALSE(form7.Memo1->toPlainText().isEmpty());
  form6.Button6->click();
  form7.Button1->click();
  EXPECT_FALSE(form7.isVisible());
  EXPECT_TRUE(form7.Memo1->toPlainText().isEmpty());
  EXPECT_EQ(form6.Edit1->text(), "meant for a;");

  // After the job editor closed, OK is refused as well.
  form6.Button6->click();
  form6.Button1->click();
  form7.Button2->click();
  EXPECT_EQ(log_->messages.back(), QString::fromLatin1(kCommandJobChanged).arg("a"));
  EXPECT_EQ(Plain(JobPath(), "a", "Command"), "meant for a;");
}

TEST_F(EditorWindowsTest, CommandEditorCreationAppliesTheMinimizePreference) {
  TForm1& form1 = Start();
  EXPECT_FALSE(form1.tray1->Enabled());
  form1.WriteKeyint(pref::MINIMIZE, 1);
  TForm7 another(form1);
  EXPECT_TRUE(form1.tray1->Enabled());
  form1.WriteKeyint(pref::MINIMIZE, 0);
  TForm7 yetAnother(form1);
  EXPECT_FALSE(form1.tray1->Enabled());
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
    const std::string address = "127.91." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
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
    auto library = std::make_unique<LoadedCorvaneDll>(std::string(CORVANE_BINARY_DIR) + "/console/libCorvaneDll.so");
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
  void SetVariable(TForm5& form5, const char* name, const QString& value) {
    Choose(form5.ComboBox2, QString::fromLatin1(name));
    form5.Edit1->setText(value);
  }

  std::unique_ptr<test::DaemonServer> server_;
  std::unique_ptr<LibraryFacade> dll_;
};

TEST_F(EditorsEndToEndTest, EnvironmentAndJobFromTheEditorsRunThroughExecute) {
  TForm1& form1 = Start();

  form1.ToolButton15Click();
  TForm5& form5 = Form5();
  log_->inputs.push_back(QStringLiteral("Lab"));
  form5.Button2->click();
  SetVariable(form5, "RHost", QString::fromStdString(server_->Address()));
  SetVariable(form5, "RLogin", QString::fromLatin1(test::kPeerUser));
  SetVariable(form5, "RPwd", QString::fromLatin1(test::kPeerPassword));
  log_->inputs.push_back(QStringLiteral("greeting"));
  form5.Button3->click();
  form5.Edit1->setText(QStringLiteral("hello from the editor"));
  form5.Button1->click();
  ASSERT_FALSE(form5.isVisible());

  form1.ToolButton11Click();
  TForm6& form6 = Form6();
  log_->inputs.push_back(QStringLiteral("Hello"));
  form6.Button2->click();
  form6.Button6->click();
  Form7().Memo1->setPlainText(QStringLiteral("echo corvane-editors\n  echo @\"greeting\" @\"who\"  \n"));
  Form7().Button2->click();
  EXPECT_EQ(form6.Edit1->text(), "echo corvane-editors;echo @\"greeting\" @\"who\";");
  log_->inputs.push_back(QStringLiteral("who"));
  form6.Button3->click();
  form6.Edit2->setText(QStringLiteral("and the job"));
  form6.Button1->click();
  ASSERT_FALSE(form6.isVisible());
  EXPECT_TRUE(log_->messages.empty()) << log_->messages.join(" | ").toStdString();

  ASSERT_EQ(form1.ComboBox1->count(), 1);
  ASSERT_EQ(form1.ComboBox2->count(), 1);
  form1.ComboBox1->setCurrentIndex(0);
  form1.ComboBox2->setCurrentIndex(0);
  form1.ComboBox3->setCurrentIndex(0);  // Remote Exec
  form1.ToolButton3Click();
  EXPECT_EQ(form1.Memo1->toPlainText(), "corvane-editors\nhello from the editor and the job\n");
}

}  // namespace
}  // namespace corvane
