// The signals that end the program from outside: SIGTERM (the end of the desktop session, a
// service manager's stop, `kill`), SIGINT (Ctrl+C in the terminal it was started from) and SIGHUP
// (that terminal closed).  Their handler does nothing but write the signal's number into a socket
// pair, which is safe inside a signal handler; a QSocketNotifier on the other end turns it into
// the Qt signal Received on the thread that made the object, where the program can end as closing
// its main window does.
//
// One instance at a time (the handlers are process-wide).  Destroying it puts the earlier
// handlers back and closes both ends.
#pragma once

#include <QObject>

#include <csignal>
#include <iterator>

#include "posix/descriptor.h"

class QSocketNotifier;

namespace corvane {

class EndSignals final : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers.  Throws std::system_error when the socket pair or a handler cannot be
  // set up (nothing is left installed then), std::logic_error when another instance exists.
  explicit EndSignals(QObject* parent = nullptr);
  ~EndSignals() override;
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

  // Puts the earlier handlers back (once the end has begun, a second signal then ends the program
  // at once, as it would without this object); Received comes no more.
  void RestorePreviousHandlers() noexcept;

  // The signals handled, in the order of their handlers.
  static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

 signals:
  // One of kSignals arrived (several arriving together give one Received, with the first).
  void Received(int signalNumber);

 private:
  void onReadable();
  void RestoreHandlers(std::size_t installed) noexcept;
  void CloseDescriptors() noexcept;

  posix::Descriptor readEnd_;
  posix::Descriptor writeEnd_;
  bool handlersInstalled_ = false;
  struct sigaction previous_[std::size(kSignals)]{};
  QSocketNotifier* notifier_ = nullptr;  // child of this object
};

}  // namespace corvane
