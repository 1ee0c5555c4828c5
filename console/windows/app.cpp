#include "console/windows/app.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QSessionManager>

#include <cstdio>
#include <exception>
#include <utility>

#include "console/components/end_signals.h"
#include "console/windows/about_window.h"
#include "console/windows/command_window.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/environment_window.h"
#include "console/windows/job_window.h"
#include "console/windows/preferences_window.h"
#include "console/windows/scheduler_loop.h"
#include "console/windows/scheduler_window.h"

namespace corvane {
namespace {

constexpr char kProgramIcon[] = ":/corvane/resources/corvane.png";

template <typename Window>
QPointer<SecondaryWindow> Add(std::vector<std::unique_ptr<SecondaryWindow>>& windows, MainWindow& mainWindow) {
  auto window = std::make_unique<Window>(mainWindow);
  QPointer<SecondaryWindow> pointer(window.get());
  windows.push_back(std::move(window));
  return pointer;
}

}  // namespace

ConsoleWindows::ConsoleWindows(MainWindow& mainWindow) {
  SecondaryWindows& registry = mainWindow.Windows();
  registry.preferencesWindow = Add<PreferencesWindow>(windows_, mainWindow);
  registry.aboutWindow = Add<AboutWindow>(windows_, mainWindow);
  registry.environmentWindow = Add<EnvironmentWindow>(windows_, mainWindow);
  registry.jobWindow = Add<JobWindow>(windows_, mainWindow);
  registry.commandWindow = Add<CommandWindow>(windows_, mainWindow);
  registry.schedulerWindow = Add<SchedulerWindow>(windows_, mainWindow);
  registry.datePickerWindow = Add<DatePickerWindow>(windows_, mainWindow);
}

ConsoleWindows::~ConsoleWindows() {
  while (!windows_.empty()) windows_.pop_back();
}

void SetUpApplication() {
  QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
  QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
  QApplication::setWindowIcon(QIcon(QString::fromLatin1(kProgramIcon)));
  // Closing the main window ends the program, whatever else is open.
  QApplication::setQuitOnLastWindowClosed(false);
}

int RunConsole(ProgramSetup setup) {
  SetUpApplication();

  MainWindowServices services;
  services.library = std::move(setup.library);
  services.ui = std::move(setup.ui);
  services.paths = ProgramPaths::ForThisProgram();
  services.schedulerLoop = std::move(setup.schedulerLoop);
  if (!services.schedulerLoop) services.schedulerLoop = MakeSchedulerLoop();

  MainWindow mainWindow(std::move(services));
  QObject::connect(&mainWindow, &MainWindow::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  mainWindow.show();  // the first show runs here, before any other window exists
  int code = 0;
  {
    ConsoleWindows windows(mainWindow);
    // The end from outside (a signal, the end of the session) goes the way of closing the main
    // window, so the editors save what they show.
    std::unique_ptr<EndSignals> endSignals;
    try {
      endSignals = std::make_unique<EndSignals>();
      QObject::connect(endSignals.get(), &EndSignals::Received, &mainWindow,
                       [&mainWindow](int) {
                         mainWindow.EndUnattended();
                       });
      // Once the window has closed, what is left is the end itself: a signal ends it at once.
      QObject::connect(&mainWindow, &MainWindow::Closed, endSignals.get(),
                       [handlers = endSignals.get()] { handlers->RestorePreviousHandlers(); });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Corvane 2.0: the end signals are not handled: %s\n", e.what());
    }
    // The session manager's request to save: the program ends once the request has been answered.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &mainWindow,
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
