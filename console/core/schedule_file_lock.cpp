#include "console/core/schedule_file_lock.h"

namespace corvane {

std::mutex& ScheduleFileMutex() noexcept {
  static std::mutex mutex;
  return mutex;
}

}  // namespace corvane
