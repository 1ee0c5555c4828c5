// The main window over a fake library, fake dialogs and a temporary program directory: the first
// show, the lists, Execute on all its roads (its library call on a thread of its own, the
// library's prompt from there, a close during a run), the close with its start-at-logon entry, the menus,
// the shell openers, the secondary windows the main window opens and the scheduler worker's seam.
#include "console/console_fixture.h"
#include "console/main_window_parts.h"

#include <sys/stat.h>

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <thread>
#include <set>
#include <optional>
#include <string>

#include "cipher/base/stored_key.h"
#include "console/core/autostart.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"
#include "console/windows/about_window.h"
#include "console/windows/app.h"
#include "console/windows/help_window.h"
#include "console/components/scheduler_service.h"
#include "remote/qt_prompt.h"
#include "settings/date_time_text.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane {
namespace {

using test::ConsoleTest;

QString MemoText(const MainWindow& form) { return test::Output(form)->toPlainText(); }

bool ControlsEnabled(MainWindow& form) {
  return form.menuBar()->isEnabled() && test::ToolBar(form)->isEnabled() &&
         test::Action(form, "executeAction")->isEnabled() && QApplication::overrideCursor() == nullptr;
}

void Select(QComboBox* box, int index) { box->setCurrentIndex(index); }

TEST_F(ConsoleTest, FirstShowWithEmptyPreferences) {
  MainWindow& form = Shown();
  EXPECT_TRUE(form.FirstShowDone());
  EXPECT_EQ(form.windowTitle(), "Corvane 2.0");
  EXPECT_EQ(form.size(), QSize(704, 486));
  EXPECT_EQ(form.OutputColor(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(form.OutputTextColor(), QColor(0, 0, 0));
  EXPECT_EQ(test::Output(form)->font().family(), "Arial");
  EXPECT_EQ(test::Output(form)->font().pointSize(), 8);
  EXPECT_FALSE(test::Output(form)->font().bold());
  EXPECT_EQ(test::ProtocolList(form)->currentIndex(), 0);
  EXPECT_EQ(test::ProtocolList(form)->currentText(), "Remote Exec");
  EXPECT_EQ(test::EnvironmentList(form)->count(), 0);
  EXPECT_EQ(test::JobList(form)->count(), 0);
  EXPECT_FALSE(form.Tray().Enabled());
  EXPECT_TRUE(SchedulerThread()->Running());
  // Nothing is written: the store is only made to exist.
  EXPECT_TRUE(StoredKeys().isEmpty());
  EXPECT_TRUE(ui_->messages.empty());
  // The stored-value cipher.
  TCipherManager& storedValueCipher = *Services().storedValueCipher;
  EXPECT_EQ(storedValueCipher.Algorithm(), "IDEA");
  EXPECT_EQ(storedValueCipher.Mode(), TCipherMode::cmCTS);
  TCipherManager reference;
  InitStoredValueManager(reference);
  EXPECT_EQ(storedValueCipher.EncryptText("abc"), reference.EncryptText("abc"));
  EXPECT_EQ(storedValueCipher.DecryptText(reference.EncryptText("secret")), "secret");
}

TEST_F(ConsoleTest, FirstShowAppliesStoredPreferences) {
  Store("BGCLR", "255");           // red
  Store("FONTCOLOR", "16711680");  // blue
  Store("FONTSIZE", "12");
  Store("FONTSTYLE", "3");
  Store("FONTNAME", "Courier New");
  Store("PROTOCOL", "1");
  Store("MINIMIZE", "1");
  MainWindow& form = Shown();
  EXPECT_EQ(form.OutputColor(), QColor(255, 0, 0));
  EXPECT_EQ(form.OutputTextColor(), QColor(0, 0, 255));
  EXPECT_EQ(test::Output(form)->font().pointSize(), 12);
  EXPECT_TRUE(test::Output(form)->font().bold());
  EXPECT_TRUE(test::Output(form)->font().italic());
  EXPECT_FALSE(test::Output(form)->font().underline());
  EXPECT_EQ(test::Output(form)->font().family(), "Courier New");
  EXPECT_EQ(test::ProtocolList(form)->currentIndex(), 1);
  EXPECT_TRUE(form.Tray().Enabled());
}

TEST_F(ConsoleTest, UnreadablePreferencesFallBackToDefaults) {
  Store("BGCLR", "silver");
  Store("FONTSIZE", "");
  Store("PROTOCOL", "0x1");
  MainWindow& form = Shown();
  EXPECT_EQ(form.OutputColor(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(test::Output(form)->font().pointSize(), 8);
  EXPECT_EQ(test::ProtocolList(form)->currentIndex(), 0);
}

TEST_F(ConsoleTest, ListsKeepFileOrderAndSelectNothing) {
  WriteFile("CorvaneEnv.ini", "[zeta]\r\nRHost=x\r\n\r\n[Alpha]\r\n\r\n[mid env]\r\n");
  WriteFile("CorvaneJob.ini", "[b-job]\r\n[a-job]\r\n");
  MainWindow& form = Shown();
  ASSERT_EQ(test::EnvironmentList(form)->count(), 3);
  EXPECT_EQ(test::EnvironmentList(form)->itemText(0), "zeta");
  EXPECT_EQ(test::EnvironmentList(form)->itemText(1), "Alpha");
  EXPECT_EQ(test::EnvironmentList(form)->itemText(2), "mid env");
  ASSERT_EQ(test::JobList(form)->count(), 2);
  EXPECT_EQ(test::JobList(form)->itemText(0), "b-job");
  EXPECT_EQ(test::EnvironmentList(form)->currentIndex(), -1);
  EXPECT_EQ(test::JobList(form)->currentIndex(), -1);
  EXPECT_EQ(form.SelectedEnvironment(), "");

  // A refill after an editor has rewritten the file.
  WriteFile("CorvaneEnv.ini", "[one]\r\n[two]\r\n");
  Select(test::EnvironmentList(form), 0);
  form.RefillEnvironmentList();
  ASSERT_EQ(test::EnvironmentList(form)->count(), 2);
  EXPECT_EQ(test::EnvironmentList(form)->itemText(1), "two");
  EXPECT_EQ(test::EnvironmentList(form)->currentIndex(), -1);
}

TEST_F(ConsoleTest, NamesAreKeptAsBytes) {
  // Names are bytes: every byte is shown as its Latin-1 character and passed back to the library
  // byte for byte, whatever the bytes happen to look like.
  WriteFile("CorvaneEnv.ini", "[caf\xE9]\r\n");
  WriteFile("CorvaneJob.ini", "[j\xC3\xA9]\r\n");
  MainWindow& form = Shown();
  EXPECT_EQ(test::EnvironmentList(form)->itemText(0), QString::fromLatin1("caf\xE9"));
  EXPECT_EQ(test::JobList(form)->itemText(0), QString::fromLatin1("j\xC3\xA9"));
  Select(test::EnvironmentList(form), 0);
  Select(test::JobList(form), 0);
  test::ExecuteAndWait(form);
  ASSERT_EQ(library_->calls.size(), 1u);
  EXPECT_EQ(library_->calls[0].environment, "caf\xE9");
  EXPECT_EQ(library_->calls[0].job, "j\xC3\xA9");
}

TEST_F(ConsoleTest, MissingSelectionGivesOneMessageAndNoCall) {
  WriteFile("CorvaneEnv.ini", "[env]\r\n");
  WriteFile("CorvaneJob.ini", "[job]\r\n");
  struct Case {
    int environment, job;
    const char* message;
  };
  for (const Case& c : {Case{-1, 0, "Please Select an Environment Name"}, Case{0, -1, "Please Select a Job Name"},
                        Case{-1, -1, "Please Select an Environment Name"}}) {
    SCOPED_TRACE(c.message);
    MainWindow& form = Shown();
    test::Output(form)->setPlainText("old output");
    Select(test::EnvironmentList(form), c.environment);
    Select(test::JobList(form), c.job);
    ui_->messages.clear();
    test::ExecuteAndWait(form);
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages[0], c.message);
    EXPECT_TRUE(library_->calls.empty());
    EXPECT_TRUE(ControlsEnabled(form));
    EXPECT_EQ(MemoText(form), "");
  }
}

class ExecuteTest : public ConsoleTest {
 protected:
  MainWindow& Ready() {
    WriteFile("CorvaneEnv.ini", "[env1]\r\n[env2]\r\n");
    WriteFile("CorvaneJob.ini", "[job1]\r\n");
    MainWindow& form = Shown();
    Select(test::EnvironmentList(form), 1);
    Select(test::JobList(form), 0);
    return form;
  }
};

TEST_F(ExecuteTest, ForegroundShowsTheFirst32000Bytes) {
  library_->result = std::string(31999, 'a') + "bc" + std::string(7999, 'z');  // 40000 bytes
  MainWindow& form = Ready();
  test::ExecuteAndWait(form);
  ASSERT_EQ(library_->calls.size(), 1u);
  const test::LibraryCall& call = library_->calls[0];
  EXPECT_EQ(call.exportName, "execute");
  EXPECT_EQ(call.environment, "env2");
  EXPECT_EQ(call.job, "job1");
  EXPECT_EQ(call.protocolIndex, 0);
  EXPECT_EQ(call.dataDir, QFile::encodeName(Dir()).toStdString());
  EXPECT_EQ(call.ownerWindow, static_cast<std::uintptr_t>(form.winId()));
  EXPECT_EQ(library_->releases, 1);
  EXPECT_EQ(MemoText(form), QString(31999, 'a') + "b");
  EXPECT_TRUE(ControlsEnabled(form));
}

TEST_F(ExecuteTest, ForegroundLineBreaksBecomeSingleBreaks) {
  library_->result = "one\r\ntwo\r\r\nthree\rfour\nfive";
  MainWindow& form = Ready();
  test::ExecuteAndWait(form);
  EXPECT_EQ(MemoText(form), "one\ntwo\nthree\nfour\nfive");
}

TEST_F(ExecuteTest, ForegroundOutputIsUtf8WhereValidAndTheCutCountsBytes) {
  struct Case {
    const char* what;
    std::string result;
    bool background;
    QString shown;
  };
  const std::string umlauts = [] {
    std::string text = "a";
    for (int i = 0; i < 16000; ++i) text += "\xC3\xBC";  // 32001 bytes
    return text;
  }();
  for (const Case& c : {
           Case{"UTF-8 and Latin-1 lines",
                "Gr\xC3\xBC\xC3\x9F"
                "e\r\n\xA7 1\r\n",
                false,
                QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                  "e\n\xC2\xA7 1\n")},
           Case{"a whole output ending in a Latin-1 letter", "caf\xE9", false, QString::fromLatin1("caf\xE9")},
           Case{"cut after 32000 bytes, inside a character", umlauts, false,
                "a" + QString(15999, QChar(0xFC)) + QChar(QChar::ReplacementCharacter)},
           Case{"the background answer stays Latin-1", "caf\xC3\xA9", true, QString::fromLatin1("caf\xC3\xA9")},
       }) {
    SCOPED_TRACE(c.what);
    Store("EXECBACK", c.background ? "1" : "0");
    library_->result = c.result;
    MainWindow& form = Ready();
    test::ExecuteAndWait(form);
    EXPECT_EQ(MemoText(form), c.shown);
  }
  EXPECT_EQ(library_->releases, 4);
}

TEST_F(ExecuteTest, EachRunClearsTheMemo) {
  MainWindow& form = Ready();
  library_->result = "first";
  test::ExecuteAndWait(form);
  library_->result = "second";
  test::ExecuteAndWait(form);
  EXPECT_EQ(MemoText(form), "second");
  EXPECT_EQ(library_->releases, 2);
}

TEST_F(ExecuteTest, BackgroundHandedOver) {
  Store("EXECBACK", "1");
  library_->result = "0";
  MainWindow& form = Ready();
  test::ProtocolList(form)->setCurrentIndex(1);
  test::ExecuteAndWait(form);
  ASSERT_EQ(library_->calls.size(), 1u);
  EXPECT_EQ(library_->calls[0].exportName, "executeA");
  EXPECT_EQ(library_->calls[0].parameters, "");
  EXPECT_FALSE(library_->calls[0].parametersNull);
  EXPECT_EQ(library_->calls[0].protocolIndex, 1);
  EXPECT_EQ(MemoText(form), "Job was sent to server");
  EXPECT_EQ(library_->releases, 1);
}

TEST_F(ExecuteTest, BackgroundErrorIsShownWhole) {
  Store("EXECBACK", "1");
  library_->result = "Error: Invalid Host Name (RHost)" + std::string(40000, '!');
  MainWindow& form = Ready();
  test::ExecuteAndWait(form);
  EXPECT_EQ(MemoText(form).size(), 32u + 40000u);
  EXPECT_EQ(library_->releases, 1);
}

TEST_F(ExecuteTest, FailuresLeaveTheControlsRestored) {
  MainWindow& form = Ready();
  library_->failure = "Input is not an valid MIME base64 Format.";
  test::ExecuteAndWait(form);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0], "Input is not an valid MIME base64 Format.");
  EXPECT_TRUE(ControlsEnabled(form));

  library_->failure.clear();
  library_->noBuffer = true;
  test::ExecuteAndWait(form);
  ASSERT_EQ(ui_->messages.size(), 2u);
  EXPECT_EQ(ui_->messages[1], "The library returned no result from execute");
  EXPECT_TRUE(ControlsEnabled(form));
  EXPECT_EQ(library_->releases, 0);
}

TEST_F(ExecuteTest, ProtocolOutOfRangeSelectsNothingAndPassesMinusOne) {
  Store("PROTOCOL", "5");
  MainWindow& form = Ready();
  EXPECT_EQ(test::ProtocolList(form)->currentIndex(), -1);
  test::ExecuteAndWait(form);
  ASSERT_EQ(library_->calls.size(), 1u);
  EXPECT_EQ(library_->calls[0].protocolIndex, -1);
}

TEST_F(ExecuteTest, OnlyTheOperatorsProtocolChoiceIsWritten) {
  MainWindow& form = Ready();
  test::ProtocolList(form)->setCurrentIndex(1);  // from code: not written
  EXPECT_FALSE(Stored("PROTOCOL").isValid());
  emit test::ProtocolList(form)->activated(1);  // the operator's pick
  EXPECT_EQ(Stored("PROTOCOL").toString(), "1");
}

// ---- a run off the GUI thread ---------------------------------------------------------------------

// A run that waits inside the library until the test lets it go.
class BlockedRunTest : public ExecuteTest {
 protected:
  void SetUp() override {
    ExecuteTest::SetUp();
    library_->duringRun = [this](std::uintptr_t) {
      inLibrary_ = true;
      release_.Wait();
    };
  }
  // Starts Execute and serves the window until the run is inside the library.
  MainWindow& StartBlockedRun() {
    MainWindow& form = Ready();
    form.onExecute();
    EXPECT_TRUE(test::PumpUntil([this] { return inLibrary_.load(); }));
    return form;
  }
  void TearDown() override {
    release_.Open();  // a failed test must not leave a run waiting
    DestroyWindows();
    // A run holds the fake library until it has handed its buffer back.
    EXPECT_TRUE(test::WaitUntil([this] { return library_.use_count() == 1; }));
    ExecuteTest::TearDown();
  }
  test::Gate release_;
  std::atomic<bool> inLibrary_{false};
};

TEST_F(BlockedRunTest, TheWindowKeepsServingWhileTheLibraryRuns) {
  library_->result = "done\r\n";
  MainWindow& form = StartBlockedRun();

  // The GUI thread serves its timers and paints while the run waits in the library.
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  timer.start(1);
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++paints;
      return false;
    }
  } painted;
  test::Output(form)->viewport()->installEventFilter(&painted);
  test::Output(form)->viewport()->update();
  ASSERT_TRUE(test::PumpUntil([&] { return ticks >= 3 && painted.paints > 0; }));

  // Foreground until it ends: the menu and the tool bar are off, the cursor waits, nothing is
  // shown or handed back yet, and a second Execute starts nothing.
  EXPECT_TRUE(form.ExecuteRunning());
  EXPECT_FALSE(form.menuBar()->isEnabled());
  EXPECT_FALSE(test::ToolBar(form)->isEnabled());
  EXPECT_FALSE(test::Action(form, "executeAction")->isEnabled());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_EQ(MemoText(form), "");
  EXPECT_EQ(library_->releases, 0);
  form.onExecute();
  EXPECT_EQ(library_->callCount.load(), 1);

  release_.Open();
  ASSERT_TRUE(test::PumpUntil([&] { return !form.ExecuteRunning(); }));
  EXPECT_EQ(MemoText(form), "done\n");
  EXPECT_EQ(library_->releases, 1);
  EXPECT_TRUE(ControlsEnabled(form));
  test::Output(form)->viewport()->removeEventFilter(&painted);
}

TEST_F(BlockedRunTest, CloseDuringARunAsksAndNoKeepsTheWindowUntilTheOutputIsShown) {
  MainWindow& form = StartBlockedRun();
  bool closed = false;
  QObject::connect(&form, &MainWindow::Closed, [&closed] { closed = true; });
  ui_->confirmAnswer = false;
  EXPECT_FALSE(form.close());
  ASSERT_EQ(ui_->questions.size(), 1u);
  EXPECT_TRUE(ui_->questions[0].startsWith("A job is still running")) << ui_->questions[0].toStdString();
  EXPECT_FALSE(closed);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.ExecuteRunning());

  release_.Open();
  ASSERT_TRUE(test::PumpUntil([&] { return !form.ExecuteRunning(); }));
  EXPECT_EQ(MemoText(form), "output");
  EXPECT_TRUE(ControlsEnabled(form));
  // With the run over, closing asks nothing.
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(closed);
  EXPECT_EQ(ui_->questions.size(), 1u);
}

TEST_F(BlockedRunTest, CloseDuringARunAndQuitEndsWithoutWaitingForTheLibrary) {
  MainWindow& form = StartBlockedRun();
  bool closed = false;
  QObject::connect(&form, &MainWindow::Closed, [&closed] { closed = true; });
  ui_->confirmAnswer = true;
  EXPECT_TRUE(form.close());
  EXPECT_EQ(ui_->questions.size(), 1u);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(form.isVisible());
  // The window goes while the run is still in the library: nothing waits for it, and the
  // cursor is given back.
  DestroyWindows();  // the window and the services it was built over
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(library_->releases, 0);
  // The run ends by itself when the library returns, and still hands its buffer back once.
  release_.Open();
  ASSERT_TRUE(test::WaitUntil([this] { return library_.use_count() == 1; }));
  EXPECT_EQ(library_->releases, 1);
}

TEST_F(BlockedRunTest, ReturnOnTheRealQuitQuestionKeepsTheWindowAndTheOutput) {
  MainWindow& form = StartBlockedRun();
  bool closed = false;
  QObject::connect(&form, &MainWindow::Closed, [&closed] { closed = true; });
  ui_->realQuestion = true;
  // The operator presses Return on the question as it comes up.
  QString defaultButton;
  bool answered = false;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || answered) return;
    answered = true;
    if (box->defaultButton() != nullptr) defaultButton = box->defaultButton()->text();
    QTest::keyClick(box, Qt::Key_Return);
  });
  answer.start(5);
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(answered);
  EXPECT_EQ(defaultButton.remove(QLatin1Char('&')), "No");
  EXPECT_FALSE(closed);
  EXPECT_TRUE(form.isVisible());
  ASSERT_TRUE(form.ExecuteRunning());

  release_.Open();
  ASSERT_TRUE(test::PumpUntil([&] { return !form.ExecuteRunning(); }));
  EXPECT_EQ(MemoText(form), "output");
}

TEST_F(BlockedRunTest, AnEndFromOutsideDuringARunAsksNothingAndLetsTheRunGo) {
  MainWindow& form = StartBlockedRun();
  bool closed = false;
  QObject::connect(&form, &MainWindow::Closed, [&closed] { closed = true; });
  ui_->confirmAnswer = false;  // an operator's No would keep the window: nobody is asked
  form.EndUnattended();
  EXPECT_TRUE(ui_->questions.empty());
  EXPECT_TRUE(closed);
  EXPECT_FALSE(form.isVisible());
  // As after "Yes": the output of the run that ends later is not shown.
  release_.Open();
  ASSERT_TRUE(test::PumpUntil([&] { return !form.ExecuteRunning(); }));
  EXPECT_EQ(MemoText(form), "");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(BlockedRunTest, TheStatusBarSaysWhichJobRunsOnWhichHostAndForHowLong) {
  // The environment's host as the editors store it.
  IniFile file(QFile::encodeName(Dir() + "/CorvaneEnv.ini").toStdString());
  TCipherManager cipher;
  InitStoredValueManager(cipher);
  StoredValues(cipher).Write(file, "env2", "RHost", "build.example");
  file.WriteBack();
  WriteFile("CorvaneJob.ini", "[job1]\r\n");
  MainWindow& form = Shown();
  Select(test::EnvironmentList(form), 0);
  Select(test::JobList(form), 0);
  EXPECT_EQ(test::StatusBar(form)->currentMessage(), "");
  form.onExecute();
  ASSERT_TRUE(test::PumpUntil([this] { return inLibrary_.load(); }));
  EXPECT_EQ(test::StatusBar(form)->currentMessage(),
            "Job \"job1\" running on build.example (environment \"env2\") for 0:00:00");
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  // Brought up to date while the run goes on.
  ASSERT_TRUE(test::PumpUntil([&form] { return test::StatusBar(form)->currentMessage().endsWith("for 0:00:01"); },
                              std::chrono::milliseconds(5000)))
      << test::StatusBar(form)->currentMessage().toStdString();
  release_.Open();
  ASSERT_TRUE(test::PumpUntil([&] { return !form.ExecuteRunning(); }));
  EXPECT_EQ(test::StatusBar(form)->currentMessage(), "");
}

TEST_F(ExecuteTest, TheLibrarysPromptFromTheRunThreadIsShownOnTheGuiThreadOwnedByTheWindow) {
  // The fake library asks as the real one does, through the library's Qt prompt, from the run
  // thread; the test answers the dialog where it appears.
  struct Case {
    const char* what;
    bool accept;
    std::optional<std::string> answer;
  };
  for (const Case& c : {Case{"OK", true, std::string("8080 \xE9")}, Case{"Cancel", false, std::nullopt}}) {
    SCOPED_TRACE(c.what);
    std::optional<std::string> answer = std::string("not asked");
    QThread* askedFrom = nullptr;
    library_->duringRun = [&](std::uintptr_t owner) {
      askedFrom = QThread::currentThread();
      QtRunUi ui(owner);
      answer = ui.AskValue("Job Parameter", "Enter Value for port parameter:", "512");
      ui.SetBusy(true);  // the library's wait cursor, from the run thread
      ui.SetBusy(false);
    };
    MainWindow& form = Ready();
    test::PromptAnswerer seen(c.accept ? std::optional<QString>(QString::fromLatin1("8080 \xE9")) : std::nullopt);
    test::ExecuteAndWait(form);
    ASSERT_TRUE(seen.shown);
    EXPECT_NE(askedFrom, qApp->thread());
    EXPECT_TRUE(seen.onGuiThread);
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.parent, &form);
    EXPECT_EQ(seen.title, "Job Parameter");
    EXPECT_EQ(seen.label, "Enter Value for port parameter:");
    EXPECT_EQ(seen.preset, "512");
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(MemoText(form), "output");
    EXPECT_TRUE(ControlsEnabled(form));  // the library's cursor calls, too, are balanced
  }
}

TEST_F(ExecuteTest, MenuAndToolBarReachExecute) {
  MainWindow& form = Ready();
  for (QAction* action : {test::Action(form, "executeAction"), test::Action(form, "executeButton")}) {
    action->trigger();
    ASSERT_TRUE(test::PumpUntil([&] { return !form.ExecuteRunning(); }));
  }
  EXPECT_EQ(library_->calls.size(), 2u);
}

// A menu caption as shown: the mnemonic's marker removed ("&&" shows one "&").
QString Caption(const QAction* action) {
  QString text = action->text();
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
      .remove(QLatin1Char('&'))
      .replace(QChar(1), QLatin1Char('&'));
  return text;
}

void ExpectMnemonics(const QList<QAction*>& actions) {
  std::set<int> keys;
  for (const QAction* action : actions) {
    if (action->isSeparator()) continue;
    const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
    EXPECT_FALSE(mnemonic.isEmpty()) << action->text().toStdString() << " has no mnemonic";
    if (!mnemonic.isEmpty()) {
      EXPECT_TRUE(keys.insert(mnemonic[0].toCombined()).second) << action->text().toStdString();
    }
  }
}

TEST_F(ConsoleTest, MenusAndToolBarAsDesigned) {
  MainWindow& form = Window();
  struct Item {
    QAction* action;
    const char* text;
    QKeySequence shortcut;
  };
  const auto ctrlAlt = [](Qt::Key key) { return QKeySequence(Qt::CTRL | Qt::ALT | key); };
  for (const Item& item : {Item{test::Action(form, "preferencesAction"), "Preferences", ctrlAlt(Qt::Key_P)},
                           Item{test::Action(form, "quitAction"), "Quit", ctrlAlt(Qt::Key_Q)},
                           Item{test::Action(form, "environmentAction"), "Environment", ctrlAlt(Qt::Key_E)},
                           Item{test::Action(form, "jobAction"), "Job", ctrlAlt(Qt::Key_J)},
                           Item{test::Action(form, "schedulerAction"), "Scheduler", ctrlAlt(Qt::Key_S)},
                           Item{test::Action(form, "logFileAction"), "Log File...", QKeySequence()},
                           Item{test::Action(form, "outputFileAction"), "Output File...", QKeySequence()},
                           Item{test::Action(form, "executeAction"), "Execute", ctrlAlt(Qt::Key_X)},
                           Item{test::Action(form, "helpAction"), "Help / Tutorial", QKeySequence(Qt::Key_F1)},
                           Item{test::Action(form, "aboutAction"), "About...", ctrlAlt(Qt::Key_A)}}) {
    EXPECT_EQ(Caption(item.action), item.text);
    EXPECT_EQ(item.action->shortcut(), item.shortcut) << item.text;
  }
  QStringList menus;
  for (QAction* menu : form.menuBar()->actions()) menus << Caption(menu);
  EXPECT_EQ(menus, QStringList({"File", "View", "Action", "Help"}));
  // Every menu and every item has a keyboard mnemonic, none twice in one menu.
  ExpectMnemonics(form.menuBar()->actions());
  for (QAction* menu : form.menuBar()->actions()) ExpectMnemonics(menu->menu()->actions());
  ExpectMnemonics(test::TrayMenu(form)->actions());
  EXPECT_EQ(QKeySequence::mnemonic(form.menuBar()->actions()[0]->text()), QKeySequence(Qt::ALT | Qt::Key_F));

  // The tool bar shows the program's own pictures.
  for (const auto& [button, picture] :
       std::vector<std::pair<QAction*, const char*>>{{test::Action(form, "environmentButton"), "environment"},
                                                     {test::Action(form, "jobButton"), "job"},
                                                     {test::Action(form, "executeButton"), "execute"},
                                                     {test::Action(form, "preferencesButton"), "preferences"},
                                                     {test::Action(form, "schedulerButton"), "scheduler"},
                                                     {test::Action(form, "helpButton"), "help"},
                                                     {test::Action(form, "quitButton"), "quit"}}) {
    const QImage own = QIcon(QString(":/corvane/resources/icons/%1.svg").arg(picture)).pixmap(32).toImage();
    ASSERT_FALSE(own.isNull()) << picture;
    EXPECT_EQ(button->icon().pixmap(32).toImage(), own) << picture;
  }

  QStringList hints;
  for (QAction* action : test::ToolBar(form)->actions()) {
    if (!action->isSeparator()) hints << action->toolTip();
  }
  EXPECT_EQ(hints, QStringList({"Environment", "Job", "Execute", "Preferences", "Scheduler", "Help", "Quit"}));
  EXPECT_EQ(test::ToolBar(form)->actions().size(), 14);  // each button after a separator
  EXPECT_EQ(test::ProtocolList(form)->toolTip(), "Select Protocol");
  ASSERT_EQ(test::ProtocolList(form)->count(), 2);
  EXPECT_EQ(test::ProtocolList(form)->itemText(0), "Remote Exec");
  EXPECT_EQ(test::ProtocolList(form)->itemText(1), "Remote Shell");
  for (QComboBox* box : {test::EnvironmentList(form), test::JobList(form), test::ProtocolList(form)})
    EXPECT_FALSE(box->isEditable());
  QStringList captions;
  for (QLabel* label : test::EnvironmentList(form)->parentWidget()->findChildren<QLabel*>()) {
    captions << label->text();
    EXPECT_TRUE(label->font().bold()) << label->text().toStdString();
  }
  EXPECT_EQ(captions, QStringList({"Environment:", "Job:", "Protocol:"}));
  EXPECT_TRUE(test::Output(form)->isReadOnly());
  EXPECT_EQ(test::Output(form)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(test::Output(form)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(ConsoleTest, ShellOpenersOpenTheirFiles) {
  MainWindow& form = Shown();
  WriteFile("log.txt", "block\r\n");  // only a file that exists is handed to the desktop
  WriteFile("output.txt", "output\r\n");
  form.onLogFile();
  form.onOutputFile();
  ASSERT_EQ(ui_->opened.size(), 2u);
  EXPECT_EQ(ui_->opened[0], QUrl::fromLocalFile(Dir() + "/log.txt"));
  EXPECT_EQ(ui_->opened[1], QUrl::fromLocalFile(Dir() + "/output.txt"));
}

// Log File... and Output File... never do nothing: a file not there yet is said so with why; one
// the desktop cannot open is shown in the program's own read-only window, read anew each time.
TEST_F(ConsoleTest, FilesTheDesktopCannotOpenAreShownOrExplained) {
  MainWindow& form = Shown();
  test::Action(form, "logFileAction")->trigger();
  test::Action(form, "outputFileAction")->trigger();
  EXPECT_TRUE(ui_->opened.empty());
  ASSERT_EQ(ui_->messages.size(), 2u);
  EXPECT_EQ(ui_->messages[0], "Cannot open the log file \"" + Dir() +
                                  "/log.txt\": it does not exist yet (no scheduled job has run yet).");
  EXPECT_EQ(ui_->messages[1], "Cannot open the output file \"" + Dir() +
                                  "/output.txt\": it does not exist yet (no job has run in the background yet).");
  EXPECT_FALSE(form.FileViewer().isVisible());

  ui_->openAnswer = false;  // no program of the desktop takes text files
  WriteFile("log.txt", "*****\r\nSchedule Job Name: Nightly\r\n");
  test::Action(form, "logFileAction")->trigger();
  ASSERT_EQ(ui_->opened.size(), 1u);
  EXPECT_EQ(ui_->messages.size(), 2u);
  ASSERT_TRUE(form.FileViewer().isVisible());
  EXPECT_EQ(form.FileViewer().text(), "*****\nSchedule Job Name: Nightly\n");
  EXPECT_EQ(form.FileViewer().windowTitle(), "Corvane 2.0 - " + Dir() + "/log.txt");
  EXPECT_FALSE(form.Help().isVisible());
  WriteFile("output.txt", "remote output\r\n");
  test::Action(form, "outputFileAction")->trigger();
  EXPECT_EQ(form.FileViewer().text(), "remote output\n");
  EXPECT_EQ(form.FileViewer().windowTitle(), "Corvane 2.0 - " + Dir() + "/output.txt");

  // A FIFO is never opened (it would hold the window until a writer came).
  form.FileViewer().close();
  ASSERT_TRUE(QFile::remove(Dir() + "/log.txt"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(Dir() + "/log.txt").constData(), 0600), 0);
  test::Action(form, "logFileAction")->trigger();
  ASSERT_EQ(ui_->messages.size(), 3u);
  EXPECT_EQ(ui_->messages[2], "Cannot open the log file \"" + Dir() + "/log.txt\": it is not a regular file.");
  EXPECT_FALSE(form.FileViewer().isVisible());
  EXPECT_EQ(ui_->opened.size(), 2u);
}

// A FIFO log.txt holds neither the scheduler's pass nor the end of the program: the due job is
// handed to the library with its own parameter values and rescheduled, and closing ends the worker.
TEST_F(ConsoleTest, FifoLogHoldsNeitherTheSchedulerNorQuit) {
  ASSERT_EQ(::mkfifo(QFile::encodeName(Dir() + "/log.txt").constData(), 0600), 0);
  TCipherManager cipher;
  InitStoredValueManager(cipher);
  const StoredValues values(cipher);
  const std::string schedulePath = QFile::encodeName(Dir() + "/CorvaneSchd.ini").toStdString();
  LocalDateTime start = SystemClock().Now();
  start.second = 0;
  start.millisecond = 0;
  IniFile schedule;
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"active", "1"},
                                                        {"once", "1"},
                                                        {"start", FormatDateTimeText(AddMinutes(start, -1))},
                                                        {"job", "Job1"},
                                                        {"envir", "Env1"},
                                                        {"prot", "Remote Exec"},
                                                        {"\xA7who", "sched"}}) {
    values.Write(schedule, "Once", key, value);
  }
  schedule.WriteBack(schedulePath);
  library_->result = "0";
  realScheduler_ = true;
  MainWindow& form = Shown();
  ASSERT_TRUE(test::PumpUntil([&] { return values.Read(IniFile(schedulePath), "Once", "active") == "0"; },
                              std::chrono::seconds(30)));
  form.close();
  form.ShutdownWorker();
  ASSERT_EQ(library_->calls.size(), 1u);
  EXPECT_EQ(library_->calls[0].exportName, "executeA");
  EXPECT_EQ(library_->calls[0].parameters, "who=sched");
  EXPECT_EQ(values.Read(IniFile(schedulePath), "Once", "start"), "");
  EXPECT_TRUE(ui_->messages.empty());  // the scheduler has no window to speak through
}

// A scheduler stuck in a call that never returns does not hold the end of the program: after the
// time limit it is reported and the program ends with exit status 1.
TEST_F(ConsoleTest, EndingTheProgramWaitsForAStuckSchedulerOnlySoLong) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child's own program folder (its fixture's) goes inside this one, which is removed.
  const test::ChildTemporaryFolders childFolders(QFile::encodeName(Dir()));
  EXPECT_EXIT(
      {
        auto inLoop = std::make_shared<std::atomic<bool>>(false);
        schedulerLoop_ = [inLoop](SchedulerService&, BackgroundWorker&, void*&) {
          *inLoop = true;
          std::this_thread::sleep_for(std::chrono::seconds(40));  // deaf to the stop request
        };
        MainWindow& form = Shown();
        if (!test::PumpUntil([&] { return inLoop->load(); })) std::_Exit(2);
        form.close();
        form.ShutdownWorker();
        std::_Exit(0);  // not reached
      },
      ::testing::ExitedWithCode(1), "the scheduler did not end within 10 s");
}

// Help shows the help file in a read-only window of the program, not through the desktop.
TEST_F(ConsoleTest, HelpShowsTheHelpTextInAWindowOfTheProgram) {
  MainWindow& form = Shown();
  test::Action(form, "helpAction")->trigger();  // no help file beside the program: said so, no window
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_TRUE(ui_->messages[0].startsWith("Cannot open the help file \"" + Dir() + "/CORVANE.HLP\""))
      << ui_->messages[0].toStdString();
  EXPECT_FALSE(form.Help().isVisible());

  WriteFile("CORVANE.HLP", "HELP\r\n\xA7 1 Start\r\n");
  test::Action(form, "helpAction")->trigger();
  ASSERT_TRUE(form.Help().isVisible());
  EXPECT_EQ(form.Help().text(), QString::fromLatin1("HELP\n\xA7 1 Start\n"));
  EXPECT_EQ(form.Help().parentWidget(), &form);
  const auto* view = form.Help().findChild<QPlainTextEdit*>();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isReadOnly());
  form.Help().close();
  WriteFile("CORVANE.HLP", "NEWER\n");
  test::Action(form, "helpButton")->trigger();  // read anew at each opening
  EXPECT_TRUE(form.Help().isVisible());
  EXPECT_EQ(form.Help().text(), "NEWER\n");
  EXPECT_TRUE(ui_->opened.empty());
  EXPECT_EQ(ui_->messages.size(), 1u);
}

// ---- close and the start-at-logon entry ---------------------------------------------------------

class CloseTest : public ConsoleTest {
 protected:
  // Closes the main window; answers whether it closed.
  bool CloseMainWindow() {
    MainWindow& form = Shown();
    bool closed = false;
    QObject::connect(&form, &MainWindow::Closed, [&closed] { closed = true; });
    form.onQuit();
    return closed && !form.isVisible();
  }
  QString Entry() const { return AutostartDir() + "/Corvane.desktop"; }
};

TEST_F(CloseTest, NothingWrittenWithoutRunStart) {
  EXPECT_TRUE(CloseMainWindow());
  EXPECT_FALSE(QFile::exists(Entry()));
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(CloseTest, RunStartCreatesTheEntry) {
  Store("RUNSTART", "1");
  EXPECT_TRUE(CloseMainWindow());
  QFile entry(Entry());
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  EXPECT_EQ(entry.readAll(), AutostartEntry::EntryText(Dir() + "/Corvane"));
}

TEST_F(CloseTest, ExistingEntryIsKept) {
  Store("RUNSTART", "1");
  QDir().mkpath(AutostartDir());
  QFile old(Entry());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("[Desktop Entry]\nExec=/elsewhere/Corvane\n");
  old.close();
  EXPECT_TRUE(CloseMainWindow());
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "[Desktop Entry]\nExec=/elsewhere/Corvane\n");
}

TEST_F(CloseTest, RunStartZeroRemovesTheEntry) {
  Store("RUNSTART", "0");
  AutostartEntry(AutostartDir()).Create("/opt/Corvane");
  ASSERT_TRUE(QFile::exists(Entry()));
  EXPECT_TRUE(CloseMainWindow());
  EXPECT_FALSE(QFile::exists(Entry()));
}

TEST_F(CloseTest, UnwritableAutostartFolderStillCloses) {
  Store("RUNSTART", "1");
  WriteFile("autostart", "a file where the folder should be");
  EXPECT_TRUE(CloseMainWindow());
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_TRUE(ui_->messages[0].contains("autostart")) << ui_->messages[0].toStdString();
}

TEST_F(CloseTest, CloseAsksTheWorkerToStop) {
  schedulerLoop_ = [](SchedulerService&, BackgroundWorker& thread, void*&) {
    while (!thread.Terminated()) QThread::msleep(5);
  };
  Shown();
  ASSERT_TRUE(SchedulerThread()->Running());
  EXPECT_TRUE(CloseMainWindow());
  // The close does not wait; the worker ends by itself once it sees the stop request.
  EXPECT_TRUE(test::PumpUntil([&] { return !SchedulerThread()->Running(); }));
}

// ---- the scheduler worker's seam ----------------------------------------------------------------

TEST_F(ConsoleTest, SchedulerLoopRunsOnTheWorkerUntilStopped) {
  std::atomic<int> runs{0};
  std::atomic<bool> onWorker{false};
  std::atomic<bool> ended{false};
  QThread* gui = QThread::currentThread();
  SchedulerService* running = nullptr;
  schedulerLoop_ = [&](SchedulerService& service, BackgroundWorker& thread, void*&) {
    ++runs;
    onWorker = QThread::currentThread() != gui && &service == running;
    while (!thread.Terminated()) QThread::msleep(5);
    ended = true;
  };
  running = Services().scheduler.get();  // the service made with the main window runs the loop
  MainWindow& form = Shown();
  ASSERT_TRUE(test::WaitUntil([&] { return runs.load() == 1; }));
  EXPECT_TRUE(onWorker.load());
  form.ShutdownWorker();
  EXPECT_TRUE(ended.load());
  EXPECT_EQ(SchedulerThread(), nullptr);
  EXPECT_EQ(runs.load(), 1);
}

// ---- the secondary windows ----------------------------------------------------------------------

class CountingWindow final : public SecondaryWindow {
 public:
  CountingWindow(QWidget* main, UiServices& ui) : SecondaryWindow(main, ui) { resize(200, 100); }
  int shows = 0;
  int reloads = 0;
  int closeRequests = 0;
  std::function<bool()> mayClose = [] { return true; };
  void ReloadFromDisk() override { ++reloads; }

 protected:
  void onShow() override { ++shows; }
  bool onClose() override {
    ++closeRequests;
    return mayClose();
  }
};

class WindowsTest : public ConsoleTest {
 protected:
  void DestroyWindows() override {
    windows_.clear();
    ConsoleTest::DestroyWindows();
  }
  CountingWindow* Make() {
    windows_.push_back(std::make_unique<CountingWindow>(&Window(), *Services().ui));
    return windows_.back().get();
  }
  // The main window opens `targets` as the start-up code has it open the program's windows.
  void Open(const MainWindowTargets& targets) { ConnectMainWindow(Window(), *Services().ui, targets); }
  std::vector<std::unique_ptr<CountingWindow>> windows_;
};

TEST_F(WindowsTest, EachMenuItemPresentsItsWindowOnce) {
  MainWindow& form = Shown();
  CountingWindow* preferences = Make();
  CountingWindow* environment = Make();
  CountingWindow* job = Make();
  CountingWindow* scheduler = Make();
  Open({.preferences = preferences, .environment = environment, .job = job, .scheduler = scheduler});

  form.onScheduler();
  form.onScheduler();  // already visible: shown once, not reset
  EXPECT_TRUE(scheduler->isVisible());
  EXPECT_EQ(scheduler->shows, 1);
  test::Action(form, "environmentAction")->trigger();
  test::Action(form, "jobButton")->trigger();
  test::Action(form, "preferencesAction")->trigger();
  EXPECT_EQ(environment->shows, 1);
  EXPECT_EQ(job->shows, 1);
  EXPECT_EQ(preferences->shows, 1);
  // A transient child window of the main window, not on top of every other program.
  EXPECT_EQ(scheduler->parentWidget(), &form);
  EXPECT_FALSE(scheduler->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  ASSERT_NE(scheduler->windowHandle(), nullptr);
  EXPECT_EQ(scheduler->windowHandle()->transientParent(), form.windowHandle());
  // Centred on the main window.
  EXPECT_LE((scheduler->geometry().center() - form.geometry().center()).manhattanLength(), 1);

  // Without a window the items do nothing.
  form.onAbout();
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(WindowsTest, CloseIsGuarded) {
  Shown();
  CountingWindow* window = Make();
  window->present();
  window->mayClose = [] { return false; };
  window->close();
  EXPECT_TRUE(window->isVisible());
  window->mayClose = []() -> bool { throw std::runtime_error("Cannot create file \"x\""); };
  window->close();
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0], "Cannot create file \"x\"");
  window->mayClose = [] { return true; };
  window->close();
  EXPECT_FALSE(window->isVisible());
  window->present();
  EXPECT_EQ(window->shows, 2);  // every opening runs the show handler
}

// The show handler runs when the operator opens the window, and only then: a window shown again
// by the notification area or hidden and shown by the window system keeps what it shows.
TEST_F(WindowsTest, OnlyOpeningRunsTheShowHandler) {
  trayAvailable_ = true;
  MainWindow& form = Shown();
  form.Tray().SetEnabled(true);
  CountingWindow* job = Make();
  Open({.job = job});
  form.onJob();
  ASSERT_EQ(job->shows, 1);

  form.setWindowState(Qt::WindowMinimized);  // into the notification area
  ASSERT_TRUE(form.Tray().Shown());
  EXPECT_FALSE(job->isVisible());
  form.Tray().Restore();
  EXPECT_TRUE(job->isVisible());
  EXPECT_TRUE(form.isVisible());
  job->hide();  // unmapped and mapped again by the window system
  job->show();
  form.onJob();  // open already: brought to the front only
  EXPECT_EQ(job->shows, 1);

  job->close();
  test::Action(form, "jobButton")->trigger();  // opened again by the operator
  EXPECT_EQ(job->shows, 2);
}

// A D-Bus notification area sends a single activation and never a double click: a click brings
// the program back from the tray, a double click still does, and the icon's context menu
// (handed to the notification area, which shows it itself) has Restore and Quit.
TEST_F(ConsoleTest, TrayClickDoubleClickAndContextMenu) {
  trayAvailable_ = true;
  MainWindow& form = Shown();
  form.Tray().SetEnabled(true);
  ASSERT_NE(tray_, nullptr);
  ASSERT_EQ(tray_->contextMenu, test::TrayMenu(form));
  QStringList captions;
  for (const QAction* action : test::TrayMenu(form)->actions()) captions.append(Caption(action));
  EXPECT_EQ(captions, (QStringList{"Restore", "Quit"}));

  const auto minimize = [&] {
    form.setWindowState(form.windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(form.Tray().Shown());
    ASSERT_FALSE(form.isVisible());
  };
  const auto restored = [&] {
    return form.isVisible() && !form.Tray().Shown() && !(form.windowState() & Qt::WindowMinimized);
  };
  tray_->Click(QSystemTrayIcon::Trigger);  // not in the tray: a click changes nothing
  EXPECT_TRUE(restored());
  minimize();
  tray_->Click(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(restored());
  minimize();
  tray_->Click(QSystemTrayIcon::Trigger);  // an X11 tray's double click: a click, then the double
  tray_->Click(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(restored());
  minimize();
  tray_->Click(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(restored());
  minimize();
  tray_->Click(QSystemTrayIcon::Context);  // the notification area shows the menu, not the program
  EXPECT_FALSE(test::TrayMenu(form)->isVisible());
  test::Action(form, "trayRestoreAction")->trigger();
  EXPECT_TRUE(restored());

  minimize();
  bool closed = false;
  QObject::connect(&form, &MainWindow::Closed, [&] { closed = true; });
  test::Action(form, "trayQuitAction")->trigger();
  EXPECT_TRUE(closed);
}

// Opening a window that is open but minimised (through its own title bar) brings it back, in
// front and with the focus, and leaves what it shows as it is.
TEST_F(WindowsTest, OpeningAMinimisedWindowBringsItBack) {
  MainWindow& form = Shown();
  CountingWindow* environment = Make();
  Open({.environment = environment});
  test::Action(form, "environmentAction")->trigger();
  environment->setWindowState(Qt::WindowMinimized);
  form.activateWindow();
  ASSERT_TRUE(test::PumpUntil([&] { return QApplication::activeWindow() == &form; }));
  test::Action(form, "environmentAction")->trigger();
  EXPECT_TRUE(environment->isVisible());
  EXPECT_FALSE(environment->windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(test::PumpUntil([&] { return QApplication::activeWindow() == environment; }));
  EXPECT_EQ(environment->shows, 1);
}

// Every showing comes up centred on the main window, the first one where the later ones do.
TEST_F(WindowsTest, EveryShowingIsCentredOnTheMainWindow) {
  MainWindow& form = Shown();
  CountingWindow* preferences = Make();
  Open({.preferences = preferences});
  form.onPreferences();
  const QRect first = preferences->geometry();
  EXPECT_EQ(first.center(), form.geometry().center());
  preferences->close();
  form.onPreferences();
  EXPECT_EQ(preferences->geometry(), first);
  preferences->close();
  form.move(form.pos() + QPoint(37, 23));
  form.onPreferences();
  EXPECT_EQ(preferences->geometry(), first.translated(37, 23));
}

TEST_F(WindowsTest, SchedulerReloadReachesAVisibleSchedulerEditorOnly) {
  Shown();
  CountingWindow* scheduler = Make();
  SchedulerService& service = *Services().scheduler;
  emit service.editorReloadRequested();  // no editor: nothing
  EXPECT_EQ(scheduler->reloads, 0);
  ConnectSchedulerReload(service, *scheduler, *Services().ui);
  emit service.editorReloadRequested();
  EXPECT_EQ(scheduler->reloads, 0);
  scheduler->present();
  emit service.editorReloadRequested();
  EXPECT_EQ(scheduler->reloads, 1);
}

TEST_F(WindowsTest, AboutWindowOpensTheWebAddress) {
  MainWindow& form = Shown();
  AboutWindow about(&form, *Services().ui);
  Open({.about = &about});
  test::Action(form, "aboutAction")->trigger();
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(about.windowTitle(), "About...");
  EXPECT_EQ(about.size(), QSize(235, 154));
  EXPECT_EQ(about.productLabel_->text(), "Corvane Version 2.0");
  for (QLabel* label : {about.productLabel_, about.makerLabel_, about.webAddressLabel_}) {
    SCOPED_TRACE(label->text().toStdString());
    EXPECT_TRUE(label->font().bold());
    // The whole text shows in the label's place.
    EXPECT_LE(label->sizeHint().width(), label->width());
    EXPECT_LE(label->geometry().right(), about.width());
  }
  EXPECT_EQ(about.productLabel_->font().pointSize(), 10);
  EXPECT_TRUE(about.webAddressLabel_->font().underline());
  about.onWebAddressClicked();
  ASSERT_EQ(ui_->opened.size(), 1u);
  EXPECT_EQ(ui_->opened[0], QUrl(kProductWebAddress));
  EXPECT_TRUE(ui_->messages.empty());
  ui_->openAnswer = false;  // no browser opened: said so, with the address to type elsewhere
  about.onWebAddressClicked();
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0],
            QStringLiteral("Cannot open the web address \"%1\": no web browser could be started for it.")
                .arg(QString::fromLatin1(kProductWebAddress)));
  about.onCloseClicked();
  EXPECT_FALSE(about.isVisible());
}

// ---- paths and display --------------------------------------------------------------------------

TEST(ProgramPathsTest, DataDirectoryIsTheProgramDirectoryWhenWritable) {
  QTemporaryDir dir;
  const ProgramPaths paths = ProgramPaths::Resolve(dir.path() + "/Corvane", dir.path() + "/fallback");
  EXPECT_EQ(paths.programDir, dir.path());
  EXPECT_EQ(paths.dataDir, dir.path());
  EXPECT_EQ(paths.EnvIniPath(), dir.path() + "/CorvaneEnv.ini");
  EXPECT_EQ(paths.JobIniPath(), dir.path() + "/CorvaneJob.ini");
  EXPECT_EQ(paths.LogPath(), dir.path() + "/log.txt");
  EXPECT_EQ(paths.OutputPath(), dir.path() + "/output.txt");
  EXPECT_EQ(paths.HelpPath(), dir.path() + "/CORVANE.HLP");
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/fallback"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
}

TEST(ProgramPathsTest, UnwritableProgramDirectoryUsesTheFallback) {
  QTemporaryDir dir;
  // Nobody, root included, can create files in /proc.
  const ProgramPaths paths = ProgramPaths::Resolve("/proc/Corvane", dir.path() + "/data/");
  EXPECT_EQ(paths.programDir, "/proc");
  EXPECT_EQ(paths.dataDir, dir.path() + "/data");
  EXPECT_TRUE(QFileInfo(paths.dataDir).isDir());
  EXPECT_EQ(paths.HelpPath(), "/proc/CORVANE.HLP");
  EXPECT_EQ(paths.LogPath(), dir.path() + "/data/log.txt");
}

// A program in an installed layout (bin/ with ../share/corvane/ beside it) keeps its files in the
// per-user folder although bin/ is writable (as it is for root); a bin/ without that folder, or a
// folder of another name with it, keeps them beside the program.
TEST(ProgramPathsTest, InstalledLayoutKeepsItsFilesInThePerUserFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
  ASSERT_TRUE(QDir(dir.path()).mkpath("tools"));
  EXPECT_EQ(ProgramPaths::Resolve(dir.path() + "/bin/Corvane", dir.path() + "/data").dataDir, dir.path() + "/bin");
  ASSERT_TRUE(QDir(dir.path()).mkpath("share/corvane"));
  EXPECT_EQ(ProgramPaths::Resolve(dir.path() + "/tools/Corvane", dir.path() + "/data").dataDir,
            dir.path() + "/tools");
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/data"));
  const ProgramPaths installed = ProgramPaths::Resolve(dir.path() + "/bin/Corvane", dir.path() + "/data");
  EXPECT_EQ(installed.dataDir, dir.path() + "/data");
  EXPECT_TRUE(QFileInfo(installed.dataDir).isDir());
  EXPECT_EQ(installed.OutputPath(), dir.path() + "/data/output.txt");
  EXPECT_EQ(QDir(dir.path() + "/bin").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
}

// An installed program finds the help file in its installation's data folder; one beside the
// program (the build tree, a folder of its own) comes first.
TEST(ProgramPathsTest, HelpFileBesideTheProgramOrWhereTheInstallationPutsIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
  const QString installed =
      QDir::cleanPath(dir.path() + "/bin/" + ProgramPaths::kInstalledHelpDir + "/CORVANE.HLP");
  EXPECT_EQ(installed, dir.path() + "/share/corvane/CORVANE.HLP");
  // Neither exists: the place beside the program is named.
  EXPECT_EQ(ProgramPaths::Resolve(dir.path() + "/bin/Corvane", dir.path() + "/data").HelpPath(),
            dir.path() + "/bin/CORVANE.HLP");
  ASSERT_TRUE(QDir(dir.path()).mkpath("share/corvane"));
  ASSERT_TRUE(QFile(installed).open(QIODevice::WriteOnly));
  EXPECT_EQ(ProgramPaths::Resolve(dir.path() + "/bin/Corvane", dir.path() + "/data").HelpPath(), installed);
  ASSERT_TRUE(QFile(dir.path() + "/bin/CORVANE.HLP").open(QIODevice::WriteOnly));
  EXPECT_EQ(ProgramPaths::Resolve(dir.path() + "/bin/Corvane", dir.path() + "/data").HelpPath(),
            dir.path() + "/bin/CORVANE.HLP");
}

TEST(DisplayTextTest, Cases) {
  struct Case {
    std::string bytes;
    QString shown;
  };
  for (const Case& c : {Case{"a\r\nb", "a\nb"}, Case{"a\r\r\nb\r\n", "a\nb\n"}, Case{"a\rb\nc", "a\nb\nc"},
                        Case{"\xE9t\xE9", QString::fromLatin1("\xE9t\xE9")},
                        Case{"\xC3\xA9t", QString::fromLatin1("\xC3\xA9t")}, Case{"", ""}}) {
    EXPECT_EQ(DisplayText(c.bytes), c.shown) << c.bytes;
  }
}

}  // namespace
}  // namespace corvane
