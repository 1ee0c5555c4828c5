#include "console/windows/console_services.h"

#include <stdexcept>

#include "console/core/autostart.h"

namespace corvane {

void ConsoleServices::Complete() {
  if (!library) throw std::invalid_argument("The program has no library");
  if (!ui) ui = std::make_unique<UiServices>();
  if (!preferences) preferences = std::make_unique<Preferences>();
  if (autostartDir.isEmpty()) autostartDir = AutostartEntry::DefaultDirectory();
  if (!storedValueCipher) storedValueCipher = std::make_unique<TCipherManager>();
  if (!scheduler) scheduler = std::make_unique<SchedulerService>(SchedulerLoop{});
}

}  // namespace corvane
