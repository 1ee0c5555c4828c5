#include "console/windows/app.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QSessionManager>

#include <cstdio>
#include <exception>
#include <utility>

#include "console/components/end_signals.h"
#include "console/core/preferences.h"

namespace corvane {
namespace {

constexpr char kProgramIcon[] = ":/corvane/resources/corvane.png";

// `request` opens `window`: present(), a failure shown by `ui` over `parent`.
template <typename Sender, typename Signal>
void OpenOn(Sender* sender, Signal request, SecondaryWindow* window, UiServices& ui, QWidget* parent) {
  if (window == nullptr) return;
  QObject::connect(sender, request, window,
                   [window, &ui, parent] { Guarded(ui, parent, [window] { window->present(); }); });
}

}  // namespace

void ConnectMainWindow(MainWindow& mainWindow, UiServices& ui, const MainWindowTargets& windows) {
  OpenOn(&mainWindow, &MainWindow::preferencesRequested, windows.preferences, ui, &mainWindow);
  OpenOn(&mainWindow, &MainWindow::aboutRequested, windows.about, ui, &mainWindow);
  OpenOn(&mainWindow, &MainWindow::environmentRequested, windows.environment, ui, &mainWindow);
  OpenOn(&mainWindow, &MainWindow::jobRequested, windows.job, ui, &mainWindow);
  OpenOn(&mainWindow, &MainWindow::schedulerRequested, windows.scheduler, ui, &mainWindow);
  mainWindow.SetClosingOrder({windows.datePicker, windows.command, windows.environment, windows.job,
                              windows.scheduler, windows.preferences, windows.about});
}

void ConnectPreferences(PreferencesWindow& preferences, MainWindow& mainWindow) {
  QObject::connect(&preferences, &PreferencesWindow::outputColorChanged, &mainWindow, &MainWindow::SetOutputColor);
  QObject::connect(&preferences, &PreferencesWindow::outputFontChanged, &mainWindow, &MainWindow::SetOutputFont);
  QObject::connect(&preferences, &PreferencesWindow::outputTextColorChanged, &mainWindow,
                   &MainWindow::SetOutputTextColor);
  QObject::connect(&preferences, &PreferencesWindow::minimizeToTrayChanged, &mainWindow,
                   &MainWindow::SetMinimizeToTray);
}

void ConnectDatePicker(SchedulerWindow& scheduler, DatePickerWindow& picker, UiServices& ui) {
  OpenOn(&scheduler, &SchedulerWindow::startDatePickRequested, &picker, ui, &scheduler);
}

void ConnectSchedulerReload(SchedulerService& scheduler, SecondaryWindow& editor, UiServices& ui) {
  QObject::connect(&scheduler, &SchedulerService::editorReloadRequested, &editor, [&editor, &ui] {
    if (!editor.isVisible()) return;
    Guarded(ui, &editor, [&editor] { editor.ReloadFromDisk(); });
  });
}

ConsoleWindows::ConsoleWindows(MainWindow& mainWindow, ConsoleServices& services) {
  services.Complete();
  UiServices& ui = *services.ui;
  TCipherManager& cipher = *services.storedValueCipher;
  preferences_ = std::make_unique<PreferencesWindow>(&mainWindow, ui, *services.preferences,
                                                     [&mainWindow] { return mainWindow.CurrentOutputLook(); });
  about_ = std::make_unique<AboutWindow>(&mainWindow, ui);
  environment_ = std::make_unique<EnvironmentWindow>(&mainWindow, ui, cipher, services.paths);
  job_ = std::make_unique<JobWindow>(&mainWindow, ui, cipher, services.paths);
  command_ = std::make_unique<CommandWindow>(&mainWindow, ui);
  // The stored minimize-to-tray preference applies from the command editor's creation on.
  Guarded(ui, command_.get(), [&] {
    mainWindow.SetMinimizeToTray(services.preferences->ReadInteger(pref::MINIMIZE, pref::kMinimizeDefault) == 1);
  });
  scheduler_ = std::make_unique<SchedulerWindow>(&mainWindow, ui, cipher, services.paths);
  datePicker_ = std::make_unique<DatePickerWindow>(&mainWindow, ui, *scheduler_);

  ConnectMainWindow(mainWindow, ui,
                    {preferences_.get(), about_.get(), environment_.get(), job_.get(), command_.get(),
                     scheduler_.get(), datePicker_.get()});
  ConnectPreferences(*preferences_, mainWindow);
  QObject::connect(environment_.get(), &EnvironmentWindow::environmentNamesChanged, &mainWindow,
                   &MainWindow::SetEnvironmentNames);
  QObject::connect(job_.get(), &JobWindow::jobNamesChanged, &mainWindow, &MainWindow::SetJobNames);
  QObject::connect(job_.get(), &JobWindow::commandEditRequested, command_.get(), &CommandWindow::editCommand);
  QObject::connect(command_.get(), &CommandWindow::commandAccepted, job_.get(),
                   [job = job_.get(), command = command_.get()](const std::string& name, const std::string& text) {
                     if (job->takeCommand(name, text)) command->commandTaken();
                   });
  ConnectDatePicker(*scheduler_, *datePicker_, ui);
  ConnectSchedulerReload(*services.scheduler, *scheduler_, ui);
}

ConsoleWindows::~ConsoleWindows() = default;

void SetUpApplication() {
  QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
  QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
  QApplication::setWindowIcon(QIcon(QString::fromLatin1(kProgramIcon)));
  // Closing the main window ends the program, whatever else is open.
  QApplication::setQuitOnLastWindowClosed(false);
}

int RunConsole(ProgramSetup setup) {
  SetUpApplication();

  ConsoleServices services;
  services.library = std::move(setup.library);
  services.ui = std::move(setup.ui);
  services.paths = ProgramPaths::ForThisProgram();
  SchedulerLoop schedulerLoop = std::move(setup.schedulerLoop);
  if (!schedulerLoop) schedulerLoop = MakeSchedulerLoop(services.library, services.paths.DataDirBytes());
  services.scheduler = std::make_unique<SchedulerService>(std::move(schedulerLoop));
  services.Complete();

  MainWindow mainWindow(services);
  QObject::connect(&mainWindow, &MainWindow::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  mainWindow.show();  // the first show runs here, before any other window exists
  int code = 0;
  {
    ConsoleWindows windows(mainWindow, services);
    // The end from outside (a signal, the end of the session) goes the way of closing the main
    // window, so the editors save what they show.
    std::unique_ptr<EndSignals> endSignals;
    try {
      endSignals = std::make_unique<EndSignals>();
      QObject::connect(endSignals.get(), &EndSignals::Received, &mainWindow,
                       [&mainWindow](int) { mainWindow.EndUnattended(); });
      // Once the window has closed, what is left is the end itself: a signal ends it at once.
      QObject::connect(&mainWindow, &MainWindow::Closed, endSignals.get(),
                       [handlers = endSignals.get()] { handlers->RestorePreviousHandlers(); });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Corvane 2.0: the end signals are not handled: %s\n", e.what());
    }
    // The session manager's request to save: the program ends once the request has been answered.
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, &mainWindow,
        [&mainWindow](QSessionManager&) {
          QMetaObject::invokeMethod(&mainWindow, &MainWindow::EndUnattended, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    code = QApplication::exec();
    // The worker may still be in a synchronised call to a window: end it while they all exist.
    mainWindow.ShutdownWorker();
  }
  return code;
}

}  // namespace corvane
