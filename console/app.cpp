#include "console/app.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>

#include <utility>

#include "console/about_window.h"
#include "console/preferences_window.h"

// The editor windows and the date picker join the program as their classes arrive; each follows
// the contract in console/secondary_window.h (constructor `explicit TFormN(TForm1&)`).
#if __has_include("console/environment_window.h")
#include "console/environment_window.h"
#define CORVANE_HAVE_FORM5 1
#endif
#if __has_include("console/job_window.h")
#include "console/job_window.h"
#define CORVANE_HAVE_FORM6 1
#endif
#if __has_include("console/command_window.h")
#include "console/command_window.h"
#define CORVANE_HAVE_FORM7 1
#endif
#if __has_include("console/scheduler_window.h")
#include "console/scheduler_window.h"
#define CORVANE_HAVE_FORM8 1
#endif
#if __has_include("console/scheduler_worker.h")
#include "console/scheduler_worker.h"
#define CORVANE_HAVE_SCHEDULER_LOOP 1
#endif
#if __has_include("console/date_window.h")
#include "console/date_window.h"
#define CORVANE_HAVE_FORM9 1
#endif

namespace corvane {
namespace {

constexpr char kProgramIcon[] = ":/corvane/resources/corvane.png";

template <typename Window>
QPointer<SecondaryWindow> Add(std::vector<std::unique_ptr<SecondaryWindow>>& windows, TForm1& form1) {
  auto window = std::make_unique<Window>(form1);
  QPointer<SecondaryWindow> pointer(window.get());
  windows.push_back(std::move(window));
  return pointer;
}

}  // namespace

ConsoleWindows::ConsoleWindows(TForm1& form1) {
  SecondaryWindows& registry = form1.Windows();
  registry.Form2 = Add<TForm2>(windows_, form1);
  registry.Form3 = Add<TForm3>(windows_, form1);
#ifdef CORVANE_HAVE_FORM5
  registry.Form5 = Add<TForm5>(windows_, form1);
#endif
#ifdef CORVANE_HAVE_FORM6
  registry.Form6 = Add<TForm6>(windows_, form1);
#endif
#ifdef CORVANE_HAVE_FORM7
  registry.Form7 = Add<TForm7>(windows_, form1);
#endif
#ifdef CORVANE_HAVE_FORM8
  registry.Form8 = Add<TForm8>(windows_, form1);
#endif
#ifdef CORVANE_HAVE_FORM9
  registry.Form9 = Add<TForm9>(windows_, form1);
#endif
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
#ifdef CORVANE_HAVE_SCHEDULER_LOOP
  if (!services.schedulerLoop) services.schedulerLoop = MakeSchedulerLoop();
#endif

  TForm1 form1(std::move(services));
  QObject::connect(&form1, &TForm1::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  form1.show();  // the first show runs here, before any other window exists
  int code = 0;
  {
    ConsoleWindows windows(form1);
    code = QApplication::exec();
    // The worker may still be in a synchronised call to a window: end it while they all exist.
    form1.ShutdownWorker();
  }
  return code;
}

}  // namespace corvane
