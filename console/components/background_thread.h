// Background thread component: owns at most one worker thread at a time and turns the worker's
// life into events raised on the GUI thread (OnStart, OnUpdate, OnTerminate) and on the worker
// (OnExecute).  A worker hands calls to the GUI thread through SynchronizeEvent.
//
// Threads: every member function of BackgroundThreadBase, BackgroundThread and
// BackgroundThreadGroup runs on the GUI thread (the thread the component lives in).  Of
// BackgroundWorker, Terminated, WaitForStop, Percent, SetPercent, Data and SynchronizeEvent are
// meant for the worker's OnExecute handler.
#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QTimer;

namespace corvane {

class BackgroundWorker;
class BackgroundThread;
class BackgroundThreadGroup;

// Thread priorities, in the order of Qt's seven levels.
enum class ThreadPriority : std::uint8_t {
  Idle = 0,
  Lowest = 1,
  Lower = 2,
  Normal = 3,
  Higher = 4,
  Highest = 5,
  TimeCritical = 6,
};

// The Qt priority a ThreadPriority maps to (one to one).
QThread::Priority ToQtPriority(ThreadPriority priority);

// Event shapes.  `data` is the run's data value, passed by reference.
using WorkerEvent = std::function<void(QObject* sender, BackgroundWorker* thread, void*& data)>;
using WorkerUpdateEvent =
    std::function<void(QObject* sender, BackgroundWorker* thread, void*& data, std::int32_t percent)>;

// Common base of the thread component and the group.
class BackgroundThreadBase : public QObject {
  Q_OBJECT
 public:
  ~BackgroundThreadBase() override;

  BackgroundThreadBase(const BackgroundThreadBase&) = delete;
  BackgroundThreadBase& operator=(const BackgroundThreadBase&) = delete;

  virtual bool Running() const = 0;
  virtual void Start() = 0;
  virtual void Start(void* data) = 0;
  virtual void Stop() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

  BackgroundThreadGroup* ThreadGroup() const { return threadGroup_; }
  // Leaves the current group, then joins `group` (none leaves the link empty).  A group that
  // refuses the member (it would close a cycle) leaves the link empty.
  void SetThreadGroup(BackgroundThreadGroup* group);

  std::int32_t UpdatePriority = 0;
  WorkerUpdateEvent OnUpdate;
  WorkerEvent OnStart;
  WorkerEvent OnTerminate;

 protected:
  explicit BackgroundThreadBase(QObject* owner);

  // Counts this component's running workers into / out of `group` (and its parents).
  virtual void NotifyGroupStart(BackgroundThreadGroup* group) = 0;
  virtual void NotifyGroupStop(BackgroundThreadGroup* group) = 0;
  virtual bool JoinGroup(BackgroundThreadGroup* group) = 0;
  virtual void LeaveGroup(BackgroundThreadGroup* group) = 0;

  // Guards the raising of OnStart, OnUpdate and OnTerminate.  Re-entrant, so a handler may
  // start the component again (a new OnStart inside OnTerminate).
  std::recursive_mutex lock_;

 private:
  friend class BackgroundThreadGroup;
  BackgroundThreadGroup* threadGroup_ = nullptr;
};

// The worker thread of one run of a BackgroundThread.
class BackgroundWorker : public QThread {
  Q_OBJECT
 public:
  ~BackgroundWorker() override;

  // The stop request.  While the component has suspended the worker, this call is where the
  // worker pauses until it is resumed (or asked to stop by the component's destruction).
  bool Terminated();
  bool StopRequested() const { return stop_.load(); }

  // A pause that ends early on the stop request: sleeps until the stop request is set or
  // `timeout` has passed, without waking in between, then answers Terminated() (so a suspended
  // worker pauses here too).
  bool WaitForStop(std::chrono::milliseconds timeout);
  // How often WaitForStop has begun to sleep: once per call that found no stop request, and once
  // more for every wake-up that was neither the stop request nor the end of the time-out.
  std::uint64_t StopWaitRounds() const { return stopWaitRounds_.load(); }

  std::int32_t Percent() const { return percent_.load(); }
  void SetPercent(std::int32_t percent) { percent_.store(percent); }

  // The run's data value; every event of the run receives a reference to it.
  void*& Data() { return data_; }

  BackgroundThread* Owner() const { return owner_; }

  // Runs `event` on the GUI thread with (owner, this worker, a reference to a stored copy of
  // `data`) and returns when it has run to its end.  Nothing happens once the stop request is
  // set, or when `event` is empty; a call that is still waiting when the stop request is set is
  // dropped without running.  Called on the GUI thread itself, the event runs directly.  An
  // exception thrown by the event is rethrown here, on the calling thread.
  void SynchronizeEvent(void* data, const WorkerEvent& event);

  // True while the worker waits for a synchronised call to run on the GUI thread.
  bool WaitingForSynchronize() const { return waitingSync_.load(); }

  // The exception that ended the body, if any.
  std::exception_ptr FatalException() const { return fatal_; }

 protected:
  void run() override;

 private:
  friend class BackgroundThread;
  BackgroundWorker(BackgroundThread* owner, void* data);

  void RequestStop();
  void AddSuspend();
  void RemoveSuspend();
  void ReleaseSuspend();  // ends every suspension for good (component destruction)
  void WaitWhileSuspended();

  BackgroundThread* owner_;
  void* data_;
  std::atomic<std::int32_t> percent_{0};
  std::atomic<bool> stop_{false};
  std::mutex stopMutex_;  // taken with each setting of stop_, so that WaitForStop misses none
  std::condition_variable stopCv_;
  std::atomic<std::uint64_t> stopWaitRounds_{0};
  std::atomic<bool> waitingSync_{false};
  std::exception_ptr fatal_;
  WorkerEvent execute_;  // OnExecute as it was when the worker began

  // The pending synchronised call.
  void* syncData_ = nullptr;
  WorkerEvent syncEvent_;

  std::mutex suspendMutex_;
  std::condition_variable suspendCv_;
  int suspendCount_ = 0;
  bool suspendReleased_ = false;
};

// The thread component.
class BackgroundThread : public BackgroundThreadBase {
  Q_OBJECT
 public:
  explicit BackgroundThread(QObject* owner = nullptr);
  // Stops a live worker and waits for it while processing the GUI thread's events (which also
  // serves its pending synchronised calls); raises no OnTerminate.
  ~BackgroundThread() override;

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

  ThreadPriority Priority() const { return priority_; }
  void SetPriority(ThreadPriority priority);

  // The live worker, or none.
  BackgroundWorker* Worker() const { return worker_.get(); }

  WorkerEvent OnExecute;

 protected:
  void NotifyGroupStart(BackgroundThreadGroup* group) override;
  void NotifyGroupStop(BackgroundThreadGroup* group) override;
  bool JoinGroup(BackgroundThreadGroup* group) override;
  void LeaveGroup(BackgroundThreadGroup* group) override;

  // The worker's body: raises OnExecute (as captured at start) on the worker thread.
  virtual void DoExecute(BackgroundWorker* thread);

 private:
  friend class BackgroundWorker;
  friend class BackgroundThreadGroup;

  void RefreshTick();
  void WorkerFinished(BackgroundWorker* worker);
  void ThreadEnded(std::unique_ptr<BackgroundWorker> ending);
  void ThreadReleased(std::unique_ptr<BackgroundWorker> ending);
  static void Dispose(std::unique_ptr<BackgroundWorker> finished);

  QTimer* timer_;  // child of this component
  std::unique_ptr<BackgroundWorker> worker_;
  ThreadPriority priority_ = ThreadPriority::Normal;
  bool releasing_ = false;
};

// A group of thread components (and sub-groups) reported on as a whole.
class BackgroundThreadGroup : public BackgroundThreadBase {
  Q_OBJECT
 public:
  explicit BackgroundThreadGroup(QObject* owner = nullptr);
  // Leaves its own group, then detaches every member.
  ~BackgroundThreadGroup() override;

  bool Running() const override { return RunningCount() > 0; }
  void Start() override { Start(nullptr); }
  void Start(void* data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  // Started and not yet ended workers under the group.
  std::int32_t RunningCount() const;
  // Direct members, in order of joining.
  std::vector<BackgroundThreadBase*> Members() const;
  // Every thread component under the group, through its sub-groups too.
  std::vector<BackgroundThread*> Threads() const;

  WorkerUpdateEvent OnThreadUpdate;
  WorkerEvent OnThreadStart;
  WorkerEvent OnThreadTerminate;

 protected:
  void NotifyGroupStart(BackgroundThreadGroup* group) override;
  void NotifyGroupStop(BackgroundThreadGroup* group) override;
  bool JoinGroup(BackgroundThreadGroup* group) override;
  void LeaveGroup(BackgroundThreadGroup* group) override;

 private:
  friend class BackgroundThread;

  bool InGroupChain(const BackgroundThreadBase* candidate) const;
  bool AddMember(BackgroundThreadBase* member);
  void RemoveMember(BackgroundThreadBase* member);
  void ThreadStarted(QObject* sender, BackgroundWorker* thread, void*& data);
  void ThreadStopped(QObject* sender, BackgroundWorker* thread, void*& data);
  void ThreadUpdated(QObject* sender, BackgroundWorker* thread, void*& data, std::int32_t senderPriority,
                     std::int32_t percent);
  void CollectThreads(std::vector<BackgroundThread*>& out) const;

  mutable std::recursive_mutex groupLock_;
  std::vector<BackgroundThreadBase*> members_;
  std::int32_t runningCount_ = 0;
  bool destroying_ = false;
};

}  // namespace corvane
