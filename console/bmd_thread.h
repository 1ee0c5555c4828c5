// Background thread component: owns at most one worker thread at a time and turns the worker's
// life into events raised on the GUI thread (OnStart, OnUpdate, OnTerminate) and on the worker
// (OnExecute).  A worker hands calls to the GUI thread through SynchronizeEvent.
//
// Threads: every member function of TBMDThreadBase, TBMDThread and TBMDThreadGroup runs on the
// GUI thread (the thread the component lives in).  Of TBMDExecuteThread, Terminated, Percent,
// SetPercent, Data and SynchronizeEvent are meant for the worker's OnExecute handler.
#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QTimer;

namespace corvane {

class TBMDExecuteThread;
class TBMDThread;
class TBMDThreadGroup;

// Thread priorities, in the order of Qt's seven levels.
enum class TThreadPriority : std::uint8_t {
  tpIdle = 0,
  tpLowest = 1,
  tpLower = 2,
  tpNormal = 3,
  tpHigher = 4,
  tpHighest = 5,
  tpTimeCritical = 6,
};

// The Qt priority a TThreadPriority maps to (one to one).
QThread::Priority ToQtPriority(TThreadPriority priority);

// Event shapes.  Data is the run's data value, passed by reference.
using TBMDThreadDataNotifyEvent =
    std::function<void(QObject* Sender, TBMDExecuteThread* Thread, void*& Data)>;
using TBMDThreadUpdateNotifyEvent = std::function<void(
    QObject* Sender, TBMDExecuteThread* Thread, void*& Data, std::int32_t Percent)>;

// Common base of the thread component and the group.
class TBMDThreadBase : public QObject {
  Q_OBJECT
 public:
  ~TBMDThreadBase() override;

  TBMDThreadBase(const TBMDThreadBase&) = delete;
  TBMDThreadBase& operator=(const TBMDThreadBase&) = delete;

  virtual bool Running() const = 0;
  virtual void Start() = 0;
  virtual void Start(void* data) = 0;
  virtual void Stop() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

  TBMDThreadGroup* ThreadGroup() const { return threadGroup_; }
  // Leaves the current group, then joins `group` (none leaves the link empty).  A group that
  // refuses the member (it would close a cycle) leaves the link empty.
  void SetThreadGroup(TBMDThreadGroup* group);

  std::int32_t UpdatePriority = 0;
  TBMDThreadUpdateNotifyEvent OnUpdate;
  TBMDThreadDataNotifyEvent OnStart;
  TBMDThreadDataNotifyEvent OnTerminate;

 protected:
  explicit TBMDThreadBase(QObject* owner);

  // Counts this component's running workers into / out of `group` (and its parents).
  virtual void NotifyGroupStart(TBMDThreadGroup* group) = 0;
  virtual void NotifyGroupStop(TBMDThreadGroup* group) = 0;
  virtual bool JoinGroup(TBMDThreadGroup* group) = 0;
  virtual void LeaveGroup(TBMDThreadGroup* group) = 0;

  // Guards the raising of OnStart, OnUpdate and OnTerminate.  Re-entrant, so a handler may
  // start the component again (a new OnStart inside OnTerminate).
  std::recursive_mutex lock_;

 private:
  friend class TBMDThreadGroup;
  TBMDThreadGroup* threadGroup_ = nullptr;
};

// The worker thread of one run of a TBMDThread.
class TBMDExecuteThread : public QThread {
  Q_OBJECT
 public:
  ~TBMDExecuteThread() override;

  // The stop request.  While the component has suspended the worker, this call is where the
  // worker pauses until it is resumed (or asked to stop by the component's destruction).
  bool Terminated();
  bool StopRequested() const { return stop_.load(); }

  std::int32_t Percent() const { return percent_.load(); }
  void SetPercent(std::int32_t percent) { percent_.store(percent); }

  // The run's data value; every event of the run receives a reference to it.
  void*& Data() { return data_; }

  TBMDThread* Owner() const { return owner_; }

  // Runs `event` on the GUI thread with (owner, this worker, a reference to a stored copy of
  // `data`) and returns when it has run to its end.  Nothing happens once the stop request is
  // set, or when `event` is empty; a call that is still waiting when the stop request is set is
  // dropped without running.  Called on the GUI thread itself, the event runs directly.  An
  // exception thrown by the event is rethrown here, on the calling thread.
  void SynchronizeEvent(void* data, const TBMDThreadDataNotifyEvent& event);

  // True while the worker waits for a synchronised call to run on the GUI thread.
  bool WaitingForSynchronize() const { return waitingSync_.load(); }

  // The exception that ended the body, if any.
  std::exception_ptr FatalException() const { return fatal_; }

 protected:
  void run() override;

 private:
  friend class TBMDThread;
  TBMDExecuteThread(TBMDThread* owner, void* data);

  void RequestStop();
  void AddSuspend();
  void RemoveSuspend();
  void ReleaseSuspend();  // ends every suspension for good (component destruction)
  void WaitWhileSuspended();

  TBMDThread* owner_;
  void* data_;
  std::atomic<std::int32_t> percent_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> waitingSync_{false};
  std::exception_ptr fatal_;
  TBMDThreadDataNotifyEvent execute_;  // OnExecute as it was when the worker began

  // The pending synchronised call.
  void* syncData_ = nullptr;
  TBMDThreadDataNotifyEvent syncEvent_;

  std::mutex suspendMutex_;
  std::condition_variable suspendCv_;
  int suspendCount_ = 0;
  bool suspendReleased_ = false;
};

// The thread component.
class TBMDThread : public TBMDThreadBase {
  Q_OBJECT
 public:
  explicit TBMDThread(QObject* owner = nullptr);
  // Stops a live worker and waits for it while processing the GUI thread's events (which also
  // serves its pending synchronised calls); raises no OnTerminate.
  ~TBMDThread() override;

  bool Running() const override { return worker_ != nullptr; }
  void Start() override { Start(nullptr); }
  // Runs a new worker unless one is running.  When OnStart throws, or the system cannot create
  // the thread (std::runtime_error "Thread creation error"), the exception leaves here and the
  // component stays idle.
  void Start(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  std::uint32_t RefreshInterval() const;
  void SetRefreshInterval(std::uint32_t milliseconds);

  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority priority);

  // The live worker, or none.
  TBMDExecuteThread* Worker() const { return worker_.get(); }

  TBMDThreadDataNotifyEvent OnExecute;

 protected:
  void NotifyGroupStart(TBMDThreadGroup* group) override;
  void NotifyGroupStop(TBMDThreadGroup* group) override;
  bool JoinGroup(TBMDThreadGroup* group) override;
  void LeaveGroup(TBMDThreadGroup* group) override;

  // The worker's body: raises OnExecute (as captured at start) on the worker thread.
  virtual void DoExecute(TBMDExecuteThread* thread);

 private:
  friend class TBMDExecuteThread;
  friend class TBMDThreadGroup;

  void RefreshTick();
  void WorkerFinished(TBMDExecuteThread* worker);
  void ThreadEnded(std::unique_ptr<TBMDExecuteThread> ending);
  void ThreadReleased(std::unique_ptr<TBMDExecuteThread> ending);
  static void Dispose(std::unique_ptr<TBMDExecuteThread> finished);

  QTimer* timer_;  // child of this component
  std::unique_ptr<TBMDExecuteThread> worker_;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  bool releasing_ = false;
};

// A group of thread components (and sub-groups) reported on as a whole.
class TBMDThreadGroup : public TBMDThreadBase {
  Q_OBJECT
 public:
  explicit TBMDThreadGroup(QObject* owner = nullptr);
  // Leaves its own group, then detaches every member.
  ~TBMDThreadGroup() override;

  bool Running() const override { return RunningCount() > 0; }
  void Start() override { Start(nullptr); }
  void Start(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  // Started and not yet ended workers under the group.
  std::int32_t RunningCount() const;
  // Direct members, in order of joining.
  std::vector<TBMDThreadBase*> Members() const;
  // Every thread component under the group, through its sub-groups too.
  std::vector<TBMDThread*> Threads() const;

  TBMDThreadUpdateNotifyEvent OnThreadUpdate;
  TBMDThreadDataNotifyEvent OnThreadStart;
  TBMDThreadDataNotifyEvent OnThreadTerminate;

 protected:
  void NotifyGroupStart(TBMDThreadGroup* group) override;
  void NotifyGroupStop(TBMDThreadGroup* group) override;
  bool JoinGroup(TBMDThreadGroup* group) override;
  void LeaveGroup(TBMDThreadGroup* group) override;

 private:
  friend class TBMDThread;

  bool InGroupChain(const TBMDThreadBase* candidate) const;
  bool AddMember(TBMDThreadBase* member);
  void RemoveMember(TBMDThreadBase* member);
  void ThreadStarted(QObject* sender, TBMDExecuteThread* thread, void*& data);
  void ThreadStopped(QObject* sender, TBMDExecuteThread* thread, void*& data);
  void ThreadUpdated(QObject* sender, TBMDExecuteThread* thread, void*& data,
                     std::int32_t senderPriority, std::int32_t percent);
  void CollectThreads(std::vector<TBMDThread*>& out) const;

  mutable std::recursive_mutex groupLock_;
  std::vector<TBMDThreadBase*> members_;
  std::int32_t runningCount_ = 0;
  bool destroying_ = false;
};

}  // namespace corvane
