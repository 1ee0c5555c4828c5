// The one lock of the schedule file within this process.
//
// The scheduler editor (GUI thread) and the scheduler worker both rewrite CorvaneSchd.ini whole.
// Every read-modify-write of the file, on either side, happens while a ScheduleFileLock is held,
// so neither side can write back a copy that misses the other side's latest change.
//
// Rules for holders: keep the lock only around reading, changing and writing the file. Never
// hold it across a library call, a log write, a synchronised call to the GUI thread or anything
// that shows a window (a message box runs a nested event loop, and the worker's synchronised
// reload of the editor would then wait for a lock that its own thread holds).
#pragma once

#include <mutex>

namespace corvane {

// The process-wide mutex behind ScheduleFileLock.
std::mutex& ScheduleFileMutex() noexcept;

class ScheduleFileLock {
 public:
  ScheduleFileLock() : lock_(ScheduleFileMutex()) {}
  ScheduleFileLock(const ScheduleFileLock&) = delete;
  ScheduleFileLock& operator=(const ScheduleFileLock&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
};

}  // namespace corvane
