// Corvane: the job console.
#include <QApplication>

#include <utility>

#include "console/windows/app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  corvane::ProgramSetup setup;
  setup.library = corvane::MakeCorvaneDllFacade();
  return corvane::RunConsole(std::move(setup));
}
