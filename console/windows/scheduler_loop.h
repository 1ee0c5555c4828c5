// The scheduler thread's body in the running program: a SchedulerWorker on the main window's data
// directory, calling the main window's library, pausing on the worker's stop wait (it wakes at the
// end of the pause or at the stop request, not in between), stopping on its stop request, and
// reloading the scheduler editor through the worker's synchronised call to
// MainWindow::reloadSchedulerEditor.
#pragma once

#include "console/windows/main_window.h"

namespace corvane {

SchedulerLoop MakeSchedulerLoop();

}  // namespace corvane
